#include "platform/fs/trash/trashcatalog.h"

#include <algorithm>

namespace kv {

void TrashCatalog::add(std::vector<TrashRecord>&& records) {
    std::lock_guard lock(m_mutex);
    for (TrashRecord& r : records) {
        std::string key = r.item.trashedPath;
        m_records.insert_or_assign(std::move(key), std::move(r));
    }
}

std::optional<TrashRecord> TrashCatalog::find(const std::string& trashedPath) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_records.find(trashedPath);
    if (it == m_records.end()) return std::nullopt;
    return it->second;
}

void TrashCatalog::addFolder(const std::string& filesDir) {
    std::lock_guard lock(m_mutex);
    if (std::find(m_folders.begin(), m_folders.end(), filesDir) == m_folders.end())
        m_folders.push_back(filesDir);
}

std::vector<std::string> TrashCatalog::folders() const {
    std::lock_guard lock(m_mutex);
    return m_folders;
}

}  // namespace kv
