#include "platform/qt/location/recentfolders.h"

namespace kv {

RecentFolders& RecentFolders::of(QObject& owner) {
    if (auto* r = owner.findChild<RecentFolders*>(QString(), Qt::FindDirectChildrenOnly)) return *r;
    return *new RecentFolders(&owner);
}

void RecentFolders::visited(const QByteArray& folder) {
    if (folder.isEmpty()) return;
    m_folders.removeAll(folder);
    m_folders.prepend(folder);
    while (m_folders.size() > kMax) m_folders.removeLast();
}

}  // namespace kv
