#include "platform/qt/location/recentfolders.h"

namespace kv {

void RecentFolders::visited(const QByteArray& folder) {
    if (folder.isEmpty()) return;
    m_folders.removeAll(folder);
    m_folders.prepend(folder);
    while (m_folders.size() > kMax) m_folders.removeLast();
}

}  // namespace kv
