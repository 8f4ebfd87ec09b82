#pragma once

#include <cstdint>
#include <vector>

#include "platform/fs/listing/direntry.h"

namespace kv {

// Folder: the folder part of a search result's name (its path relative to the search's start).
enum class SortColumn { Name, Size, Type, Modified, Folder };
enum class SortOrder { Ascending, Descending };

// Orders the rows of a listing without moving the entries: the model keeps its entries where the
// lister put them and shows them through an index vector, so a re-sort by another column is one
// std::sort over 4-byte indices with the precomputed keys. Pure functions of their arguments: safe to
// run on any thread, which is what keeps a 100,000-row re-sort off the UI thread.
class EntrySorter {
  public:
    EntrySorter(SortColumn column = SortColumn::Name, SortOrder order = SortOrder::Ascending,
                bool foldersFirst = true);

    // True when entry a belongs before entry b. Every column falls back to the name key, then to the
    // raw name bytes, so the order is total and the same on every run.
    bool less(const DirEntry& a, const DirEntry& b) const;

    // The indices 0..entries.size()-1 in display order.
    std::vector<std::uint32_t> order(const std::vector<DirEntry>& entries) const;

    // A listing arrives in batches: entries[0..firstNew) are already ordered by `order`; the new ones
    // from firstNew on are sorted and merged in, which costs far less than sorting everything again.
    void merge(const std::vector<DirEntry>& entries, std::vector<std::uint32_t>& order,
               std::uint32_t firstNew) const;

    bool operator==(const EntrySorter&) const = default;

    SortColumn column() const { return m_column; }
    SortOrder sortOrder() const { return m_order; }

  private:
    int compareByColumn(const DirEntry& a, const DirEntry& b) const;

    SortColumn m_column;
    SortOrder m_order;
    bool m_foldersFirst;
};

}  // namespace kv
