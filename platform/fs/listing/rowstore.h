#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/listing/direntry.h"
#include "platform/fs/listing/entrysorter.h"
#include "platform/fs/listing/rowchange.h"

namespace kv {

// The rows of one listing, whatever its source: the entries, their sorted order, the visible order
// (the sorted one less what the filter hides) and a flag byte per entry.
//
// Every operation works out the new visible order and returns the steps that lead to it from the rows
// shown now; the rows advance one step per replay(), so a Qt adapter can call beginInsertRows (and the
// others) while the rows are still the old ones and end them once they are the new ones. Replay every
// step of an operation before the next one (the next operation settles whatever is left).
//
// Entries have numbers (ids) that the orders refer to. A removed entry keeps its number while the
// steps that remove its rows are replayed and is dropped at the start of the next operation.
class RowStore {
  public:
    // Per entry, what views ask of every row when they lay out (flags) and what the hidden filter
    // tests: a byte each, so a pass over 100,000 rows stays in cache instead of visiting every entry.
    static constexpr std::uint8_t kDirFlag = 1;
    static constexpr std::uint8_t kHiddenFlag = 2;
    static constexpr std::uint8_t kGoneFlag = 4;

    // A further test a row must pass to be shown, besides the hidden-files one (a name filter).
    using Filter = std::function<bool(const DirEntry&)>;

    RowStore();

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    const DirEntry& entryAt(int row) const { return (*m_entries)[idAt(row)]; }
    std::uint8_t flagsAt(int row) const { return m_flags[idAt(row)]; }
    std::uint32_t idAt(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    const DirEntry& entry(std::uint32_t id) const { return (*m_entries)[id]; }
    std::uint8_t flagsOf(std::uint32_t id) const { return m_flags[id]; }
    // The rows as shown: entry ids in row order.
    const std::vector<std::uint32_t>& rows() const { return m_rows; }
    // Every entry, hidden ones included, in the sorter's order.
    const std::vector<std::uint32_t>& sorted() const { return m_sorted; }
    int rowOfName(std::string_view name) const;
    // The order the rows are in (a re-sort on a worker changes it only once its order is applied).
    const EntrySorter& sorter() const { return m_sorter; }
    bool showHidden() const { return m_showHidden; }

    // Everything is gone.
    RowChanges clear();
    // New entries, in runs; with runsSorted each run is already in the sorter's order, so they are
    // merged in linear passes instead of sorted.
    RowChanges merge(std::vector<std::vector<DirEntry>>&& runs, bool runsSorted);
    RowChanges insert(std::vector<DirEntry>&& entries);
    RowChanges remove(const std::vector<std::string>& names);
    // New data for entries the store holds, matched by name: rows that keep their place change, the
    // others move. The entries taken are removed from `entries`: what is left are names it did not hold.
    // The names in `entries` are distinct.
    RowChanges update(std::vector<DirEntry>& entries);
    // What a new listing of the whole folder changes in the entries held (a snapshot's): the names
    // gone, the entries whose data changed and the new ones. Safe on any thread; the UI thread then
    // applies the three parts (remove, update, insert), which cost what changed, not the whole folder.
    struct ListingDiff {
        std::vector<std::string> gone;
        std::vector<DirEntry> changed;
        std::vector<DirEntry> added;
    };
    static ListingDiff diffListing(const std::vector<DirEntry>& held, std::vector<DirEntry>&& fresh);
    // What a store of the same folder takes over from another (share, then adopt): the entries, shared
    // by both until either changes them (it copies them then), their flags and their order.
    struct Shared {
        std::shared_ptr<const std::vector<DirEntry>> entries;
        std::vector<std::uint8_t> flags;
        std::vector<std::uint32_t> sorted;
        EntrySorter sorter;
    };
    Shared share();
    // Everything held before is replaced by what another store shared; the filter and the hidden-files
    // setting stay this store's own. sorted may be another order than the giver's (made on a worker
    // from the entries): it is taken with its sorter.
    RowChanges adopt(Shared&& from);
    // A copy of the entries made elsewhere (on a worker, from the snapshot `of`), so that the first
    // change to them need not copy them on the caller's thread: taken when the store still holds
    // exactly those entries, and dropped otherwise (false). Neither the rows nor the version change.
    bool takeCopy(std::shared_ptr<std::vector<DirEntry>> copy,
                  const std::shared_ptr<const std::vector<DirEntry>>& of);
    RowChanges setShowHidden(bool show);
    RowChanges setFilter(Filter filter);
    // Sorts at once, on the caller's thread.
    RowChanges setSorter(const EntrySorter& sorter);

    // A re-sort elsewhere: sort a snapshot (entries that never change, safe to read on any thread),
    // then hand the order back with the version the snapshot had. An order made from entries that
    // have changed since is refused (false): sort again.
    std::shared_ptr<const std::vector<DirEntry>> snapshot();
    std::uint64_t version() const { return m_version; }
    bool applyOrder(std::vector<std::uint32_t>&& order, const EntrySorter& sortedBy, std::uint64_t version,
                    RowChanges& changes);

    // Hands back the spare capacity a listing's growth left (a big folder's entries grew by doubling).
    void shrinkToFit();

    // Advances the rows by one step of the last operation's changes.
    void replay(const RowChange& change);
    // Replays whatever is left (for callers that show no view).
    void settle();

  private:
    std::vector<DirEntry>& entriesForWrite();
    // Settles and drops the removed entries: every operation starts with it.
    void begin();
    void compact();
    bool isVisible(std::uint32_t id) const;
    void computeNext();
    // The steps from the rows to m_next, when the entries both hold keep their relative order.
    RowChanges diff();
    RowChanges finish(RowChanges&& changes);
    void setFlags(std::uint32_t id);
    std::vector<std::uint32_t> idsOfNames(const std::vector<std::string>& names) const;

    // Shared with workers through snapshot(); copied before a change while one holds it.
    std::shared_ptr<std::vector<DirEntry>> m_entries;
    std::vector<std::uint8_t> m_flags;
    std::vector<std::uint32_t> m_sorted;
    std::vector<std::uint32_t> m_rows;  // the visible order as replayed so far
    std::vector<std::uint32_t> m_next;  // the visible order the pending steps lead to
    std::size_t m_pendingSteps = 0;
    bool m_anyGone = false;
    EntrySorter m_sorter;
    bool m_showHidden = false;
    Filter m_filter;
    std::uint64_t m_version = 0;
};

}  // namespace kv
