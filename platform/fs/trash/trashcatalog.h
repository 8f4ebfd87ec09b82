#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/fs/trash/trashrecord.h"

namespace kv {

// What the rows of a trash listing carry besides a folder entry's fields (where each item came
// from), kept beside the rows rather than in every folder entry of every listing. Filled by the
// listing's threads before they hand the rows over, read by the model on the UI thread.
class TrashCatalog {
  public:
    // Keyed by the item's path in the trash, which is its row's name; a record replaces the older one.
    void add(std::vector<TrashRecord>&& records);
    std::optional<TrashRecord> find(const std::string& trashedPath) const;
    // The trash folders listed (their files/ folders), for watching.
    void addFolder(const std::string& filesDir);
    std::vector<std::string> folders() const;

  private:
    mutable std::mutex m_mutex;
    std::unordered_map<std::string, TrashRecord> m_records;
    std::vector<std::string> m_folders;
};

}  // namespace kv
