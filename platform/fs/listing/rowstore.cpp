// RowStore's entries: their storage (shared with workers through snapshots), the operations that add,
// remove and update them by name, and the steps those changes lead to. The orders shown, the filter
// and the replay of steps are in rowstoreorder.cpp.
#include "platform/fs/listing/rowstore.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "platform/fs/listing/rowsteps.h"

namespace kv {

using rowsteps::kMaxRuns;
using rowsteps::runs;

namespace {

// More entries changing their place than this are re-placed in one relayout, as more than kMaxRuns
// runs of rows are.
constexpr std::size_t kMaxMoves = 32;

bool sameData(const DirEntry& a, const DirEntry& b) {
    return a.size == b.size && a.mtimeNs == b.mtimeNs && a.mode == b.mode && a.isDir == b.isDir &&
           a.isSymlink == b.isSymlink && a.isBrokenLink == b.isBrokenLink;
}

// A quick "certainly not wanted" for names: a few bits per wanted name, set by its length and two of
// its bytes. Matching a few hundred names against 200,000 entries then hashes or compares only the
// entries that pass (a few percent), not every one.
class NameSieve {
  public:
    template <typename Names>
    explicit NameSieve(const Names& names) {
        for (const auto& n : names) {
            const std::size_t b = bit(n);
            m_bits[b / 64] |= std::uint64_t(1) << (b % 64);
        }
    }
    bool mayHold(std::string_view name) const {
        const std::size_t b = bit(name);
        return (m_bits[b / 64] >> (b % 64)) & 1;
    }

  private:
    static std::size_t bit(std::string_view n) {
        if (n.empty()) return 0;
        const auto last = static_cast<unsigned char>(n.back());
        const auto mid = static_cast<unsigned char>(n[n.size() / 2]);
        return (n.size() * 131 + last * 31 + mid * 7 + static_cast<unsigned char>(n[n.size() * 3 / 4])) %
               kBits;
    }
    static constexpr std::size_t kBits = 8192;
    std::uint64_t m_bits[kBits / 64] = {};
};

// Where each of `items` (sorted) goes in `into` (sorted by the same order): after the entries it does
// not sort before. Each search gallops on from the last place found, so k items among n cost about
// k·log(n/k) comparisons.
template <typename Less>
std::vector<std::size_t> placesIn(const std::vector<std::uint32_t>& into,
                                  const std::vector<std::uint32_t>& items, Less less) {
    std::vector<std::size_t> places;
    places.reserve(items.size());
    const std::size_t n = into.size();
    std::size_t lo = 0;
    for (std::uint32_t id : items) {
        // into[lo - 1] does not sort after id; find hi with id sorting before into[hi] (or hi == n).
        std::size_t hi = lo, step = 1;
        while (hi < n && !less(id, into[hi])) {
            lo = hi + 1;
            hi = std::min(n, lo + step);
            step *= 2;
        }
        const auto at = std::upper_bound(into.begin() + static_cast<std::ptrdiff_t>(lo),
                                         into.begin() + static_cast<std::ptrdiff_t>(hi), id, less);
        lo = static_cast<std::size_t>(at - into.begin());
        places.push_back(lo);
    }
    return places;
}

// `into` with items[j] placed before into[places[j]] (places ascending).
std::vector<std::uint32_t> spliced(const std::vector<std::uint32_t>& into,
                                   const std::vector<std::uint32_t>& items,
                                   const std::vector<std::size_t>& places) {
    std::vector<std::uint32_t> out;
    out.reserve(into.size() + items.size());
    std::size_t from = 0;
    for (std::size_t j = 0; j < items.size(); ++j) {
        out.insert(out.end(), into.begin() + static_cast<std::ptrdiff_t>(from),
                   into.begin() + static_cast<std::ptrdiff_t>(places[j]));
        out.push_back(items[j]);
        from = places[j];
    }
    out.insert(out.end(), into.begin() + static_cast<std::ptrdiff_t>(from), into.end());
    return out;
}

}  // namespace

RowStore::RowStore() : m_entries(std::make_shared<std::vector<DirEntry>>()) {}

std::vector<DirEntry>& RowStore::entriesForWrite() {
    // A worker still sorts the old entries: it keeps them, and they stay as they were.
    if (m_entries.use_count() > 1) m_entries = std::make_shared<std::vector<DirEntry>>(*m_entries);
    return *m_entries;
}

void RowStore::setFlags(std::uint32_t id) {
    const DirEntry& e = (*m_entries)[id];
    m_flags[id] = static_cast<std::uint8_t>((e.isDir ? kDirFlag : 0) | (e.hidden ? kHiddenFlag : 0));
}

void RowStore::begin() {
    settle();
    if (m_anyGone) compact();
}

void RowStore::compact() {
    m_anyGone = false;
    ++m_version;
    std::vector<DirEntry>& entries = entriesForWrite();
    std::vector<std::uint32_t> newId(entries.size(), 0);
    std::uint32_t next = 0;
    for (std::size_t id = 0; id < entries.size(); ++id) {
        if (m_flags[id] & kGoneFlag) continue;
        newId[id] = next;
        if (next != id) {
            entries[next] = std::move(entries[id]);
            m_flags[next] = m_flags[id];
        }
        ++next;
    }
    entries.resize(next);
    m_flags.resize(next);
    // Rows do not depend on entry numbers: renumbering needs no step.
    for (auto& id : m_sorted) id = newId[id];
    for (auto& id : m_rows) id = newId[id];
}

RowChanges RowStore::merge(std::vector<std::vector<DirEntry>>&& batches, bool runsSorted) {
    begin();
    std::vector<DirEntry>& entries = entriesForWrite();
    const auto firstNew = static_cast<std::uint32_t>(entries.size());
    std::vector<std::size_t> bounds{0};  // the runs within the new entries
    for (auto& b : batches) {
        if (entries.empty() && b.capacity() > b.size()) {
            entries = std::move(b);  // the lister made room in the first batch for the whole folder
        } else {
            entries.insert(entries.end(), std::make_move_iterator(b.begin()),
                           std::make_move_iterator(b.end()));
        }
        bounds.push_back(entries.size() - firstNew);
    }
    if (entries.size() == firstNew) return finish({});
    ++m_version;
    m_flags.resize(entries.size());
    for (std::size_t id = firstNew; id < entries.size(); ++id) setFlags(static_cast<std::uint32_t>(id));
    auto less = [&](std::uint32_t a, std::uint32_t b) { return m_sorter.less(entries[a], entries[b]); };
    std::vector<std::uint32_t> fresh(entries.size() - firstNew);
    std::iota(fresh.begin(), fresh.end(), firstNew);
    if (runsSorted) {
        // Merge the runs pairwise, a linear pass per level.
        while (bounds.size() > 2) {
            std::vector<std::size_t> next{0};
            for (std::size_t i = 0; i + 2 < bounds.size(); i += 2) {
                std::inplace_merge(fresh.begin() + static_cast<std::ptrdiff_t>(bounds[i]),
                                   fresh.begin() + static_cast<std::ptrdiff_t>(bounds[i + 1]),
                                   fresh.begin() + static_cast<std::ptrdiff_t>(bounds[i + 2]), less);
                next.push_back(bounds[i + 2]);
            }
            if ((bounds.size() - 1) % 2 == 1) next.push_back(bounds.back());
            bounds = std::move(next);
        }
    } else {
        std::sort(fresh.begin(), fresh.end(), less);
    }
    // A few thousand new entries among 200,000: a merge would compare every old entry (scattered in
    // memory, each a cache miss); finding each new one's place costs about k·log(n/k) comparisons
    // instead, and the rest is copying ids. The rows shown are the visible part of the sorted order,
    // so the new ones that show find their rows the same way, which gives the steps directly.
    m_sorted = spliced(m_sorted, fresh, placesIn(m_sorted, fresh, less));
    std::vector<std::uint32_t> shown;
    std::vector<std::size_t> rowsAt;
    rowsAt.reserve(fresh.size());
    // Where the new rows go among the shown ones: the row of the first old entry after each new one in
    // the sorted order, found in one walk (the rows are the sorted order's visible part, in its order).
    for (std::size_t i = 0, row = 0; i < m_sorted.size(); ++i) {
        const std::uint32_t id = m_sorted[i];
        if (id >= firstNew) {
            if (isVisible(id)) {
                shown.push_back(id);
                rowsAt.push_back(row);
            }
        } else if (row < m_rows.size() && m_rows[row] == id) {
            ++row;
        }
    }
    m_next = spliced(m_rows, shown, rowsAt);
    if (shown.empty()) return finish({});
    if (m_rows.empty())
        return finish({{RowChange::Kind::Inserted, 0, static_cast<int>(shown.size()) - 1, 0}});
    // Each new row's final place is its place among the old rows plus the new ones before it; runs of
    // consecutive places are inserted front to back, each meeting the rows before it in their final places.
    RowChanges out;
    for (std::size_t j = 0; j < shown.size(); ++j) {
        const int row = static_cast<int>(rowsAt[j] + j);
        if (!out.empty() && out.back().last + 1 == row) {
            out.back().last = row;
        } else {
            if (out.size() == kMaxRuns) return finish({{RowChange::Kind::Relaid, 0, 0, 0}});
            out.push_back({RowChange::Kind::Inserted, row, row, 0});
        }
    }
    return finish(std::move(out));
}

RowChanges RowStore::insert(std::vector<DirEntry>&& entries) {
    std::vector<std::vector<DirEntry>> one;
    one.push_back(std::move(entries));
    return merge(std::move(one), false);
}

std::vector<std::uint32_t> RowStore::idsOfNames(const std::vector<std::string>& names) const {
    std::vector<std::uint32_t> ids;
    if (names.empty()) return ids;
    const std::vector<DirEntry>& entries = *m_entries;
    // A few names (a watcher's report) are compared directly: hashing every entry's name would cost
    // more than the comparisons, which mostly stop at the length.
    const bool few = names.size() <= 8;
    std::unordered_set<std::string_view> wanted;
    if (!few) wanted.insert(names.begin(), names.end());
    const NameSieve sieve(names);
    for (std::size_t id = 0; id < entries.size(); ++id) {
        if (m_flags[id] & kGoneFlag) continue;
        const std::string& name = entries[id].name;
        if (!sieve.mayHold(name)) continue;
        const bool hit =
            few ? std::find(names.begin(), names.end(), name) != names.end() : wanted.count(name) > 0;
        if (hit) ids.push_back(static_cast<std::uint32_t>(id));
    }
    return ids;
}

RowChanges RowStore::remove(const std::vector<std::string>& names) {
    begin();
    if (names.empty()) return finish({});
    const std::vector<std::uint32_t> ids = idsOfNames(names);
    if (ids.empty()) return finish({});
    ++m_version;
    for (std::uint32_t id : ids) m_flags[id] |= kGoneFlag;
    m_anyGone = true;
    std::erase_if(m_sorted, [&](std::uint32_t id) { return (m_flags[id] & kGoneFlag) != 0; });
    m_next = m_rows;
    std::erase_if(m_next, [&](std::uint32_t id) { return (m_flags[id] & kGoneFlag) != 0; });
    return finish(diff());
}

RowStore::ListingDiff RowStore::diffListing(const std::vector<DirEntry>& held,
                                            std::vector<DirEntry>&& fresh) {
    ListingDiff out;
    std::unordered_map<std::string_view, std::size_t> heldAt;
    heldAt.reserve(held.size());
    for (std::size_t i = 0; i < held.size(); ++i) heldAt.emplace(held[i].name, i);
    std::vector<std::uint8_t> present(held.size(), 0);
    for (DirEntry& e : fresh) {
        const auto it = heldAt.find(e.name);
        if (it == heldAt.end()) {
            out.added.push_back(std::move(e));
            continue;
        }
        present[it->second] = 1;
        if (!sameData(held[it->second], e)) out.changed.push_back(std::move(e));
    }
    for (std::size_t i = 0; i < held.size(); ++i)
        if (!present[i]) out.gone.push_back(held[i].name);
    return out;
}

RowChanges RowStore::update(std::vector<DirEntry>& fresh) {
    begin();
    if (fresh.empty()) return finish({});
    // Each fresh entry's id, or -1: in one pass over the entries, comparing a few names directly
    // (a watcher's report) and hashing them when there are many (a whole new listing).
    std::vector<std::int64_t> idOf(fresh.size(), -1);
    const std::vector<DirEntry>& held = *m_entries;
    std::vector<std::string_view> freshNames;
    freshNames.reserve(fresh.size());
    for (const DirEntry& e : fresh) freshNames.push_back(e.name);
    // For a whole new listing every name passes: the sieve would only cost.
    const bool sift = fresh.size() < 2048;
    const NameSieve sieve(sift ? freshNames : std::vector<std::string_view>{});
    if (fresh.size() >= 16) {
        std::unordered_map<std::string_view, std::size_t> wanted;
        wanted.reserve(fresh.size());
        for (std::size_t k = 0; k < fresh.size(); ++k) wanted.emplace(fresh[k].name, k);
        for (std::size_t id = 0; id < held.size(); ++id) {
            if (m_flags[id] & kGoneFlag) continue;
            if (sift && !sieve.mayHold(held[id].name)) continue;
            if (auto it = wanted.find(held[id].name); it != wanted.end())
                idOf[it->second] = static_cast<std::int64_t>(id);
        }
    } else {
        for (std::size_t id = 0; id < held.size(); ++id) {
            if (m_flags[id] & kGoneFlag || !sieve.mayHold(held[id].name)) continue;
            for (std::size_t k = 0; k < fresh.size(); ++k)
                if (held[id].name == fresh[k].name) idOf[k] = static_cast<std::int64_t>(id);
        }
    }
    std::vector<std::uint32_t> changed;
    std::vector<std::size_t> changedFrom;  // where each changed entry's new data is in fresh
    std::vector<std::uint8_t> wasVisible;
    std::vector<std::uint8_t> taken(fresh.size(), 0);
    std::vector<std::uint8_t> seen(m_entries->size(), 0);
    for (std::size_t k = 0; k < fresh.size(); ++k) {
        const std::int64_t found = idOf[k];
        if (found < 0) continue;
        taken[k] = 1;
        const auto id = static_cast<std::uint32_t>(found);
        if (seen[id] || sameData((*m_entries)[id], fresh[k])) continue;
        seen[id] = 1;
        changed.push_back(id);
        changedFrom.push_back(k);
        wasVisible.push_back(isVisible(id));
    }
    if (!changed.empty()) {
        std::vector<DirEntry>& entries = entriesForWrite();
        for (std::size_t c = 0; c < changed.size(); ++c) {
            entries[changed[c]] = std::move(fresh[changedFrom[c]]);
            setFlags(changed[c]);
        }
    }
    std::size_t keep = 0;
    for (std::size_t k = 0; k < fresh.size(); ++k)
        if (!taken[k]) {
            if (keep != k) fresh[keep] = std::move(fresh[k]);
            ++keep;
        }
    fresh.resize(keep);
    if (changed.empty()) return finish({});
    ++m_version;
    const std::vector<DirEntry>& entries = *m_entries;

    // Only the changed entries can move: take them out and merge them back in, a linear pass.
    std::vector<std::uint8_t> isChanged(entries.size(), 0);
    for (std::uint32_t id : changed) isChanged[id] = 1;
    auto less = [&](std::uint32_t a, std::uint32_t b) { return m_sorter.less(entries[a], entries[b]); };
    std::erase_if(m_sorted, [&](std::uint32_t id) { return isChanged[id] != 0; });
    std::vector<std::uint32_t> moved = changed;
    std::sort(moved.begin(), moved.end(), less);
    if (moved.size() <= kMaxMoves) {
        // A few: each finds its place by binary search, not by a merge comparing every entry.
        for (std::uint32_t id : moved)
            m_sorted.insert(std::upper_bound(m_sorted.begin(), m_sorted.end(), id, less), id);
    } else {
        const auto keepSorted = static_cast<std::ptrdiff_t>(m_sorted.size());
        m_sorted.insert(m_sorted.end(), moved.begin(), moved.end());
        std::inplace_merge(m_sorted.begin(), m_sorted.begin() + keepSorted, m_sorted.end(), less);
    }
    computeNext();

    bool visibilityChanged = false;
    for (std::size_t c = 0; c < changed.size(); ++c)
        visibilityChanged = visibilityChanged || (isVisible(changed[c]) != (wasVisible[c] != 0));
    RowChanges out;
    if (visibilityChanged || (m_rows != m_next && changed.size() > kMaxMoves))
        return finish({{RowChange::Kind::Relaid, 0, 0, 0}});
    if (m_rows != m_next) {
        // Each changed row goes just before the row that follows it in the new order, last one first:
        // a row placed so stays next to its follower while the ones before it are placed.
        std::vector<std::uint32_t> sim = m_rows;
        std::vector<std::uint32_t> byFinal;
        for (std::size_t i = 0; i < m_next.size(); ++i)
            if (isChanged[m_next[i]]) byFinal.push_back(static_cast<std::uint32_t>(i));
        for (auto it = byFinal.rbegin(); it != byFinal.rend(); ++it) {
            const std::size_t at = *it;
            const std::uint32_t id = m_next[at];
            const auto from = static_cast<std::size_t>(std::find(sim.begin(), sim.end(), id) - sim.begin());
            std::size_t to = sim.size();
            if (at + 1 < m_next.size())
                to =
                    static_cast<std::size_t>(std::find(sim.begin(), sim.end(), m_next[at + 1]) - sim.begin());
            if (to == from + 1) continue;
            out.push_back({RowChange::Kind::Moved, static_cast<int>(from), static_cast<int>(from),
                           static_cast<int>(to)});
            sim.erase(sim.begin() + static_cast<std::ptrdiff_t>(from));
            sim.insert(sim.begin() + static_cast<std::ptrdiff_t>(to > from ? to - 1 : to), id);
        }
    }
    RowChanges data;
    runs(
        m_next.size(), [&](std::size_t i) { return isChanged[m_next[i]] != 0; }, RowChange::Kind::Changed,
        data);
    if (data.size() > kMaxRuns) data = {{RowChange::Kind::Changed, data.front().first, data.back().last, 0}};
    out.insert(out.end(), data.begin(), data.end());
    return finish(std::move(out));
}

std::shared_ptr<const std::vector<DirEntry>> RowStore::snapshot() {
    begin();
    return m_entries;
}

namespace {
constexpr std::size_t kUntouchedTailBytes = 1 << 20;
}  // namespace

void RowStore::shrinkToFit() {
    std::vector<DirEntry>& entries = *m_entries;
    if (m_entries.use_count() > 1 || entries.capacity() <= entries.size() + entries.size() / 8) return;
    // A big vector's block is mapped on its own and its spare tail was never touched, so it costs no
    // resident memory; shrinking it would move every entry on the UI thread (tens of milliseconds for
    // 100,000) for nothing but address space.
    if (entries.capacity() * sizeof(DirEntry) > kUntouchedTailBytes) return;
    entries.shrink_to_fit();
    m_flags.shrink_to_fit();
    m_sorted.shrink_to_fit();
    m_rows.shrink_to_fit();
}

}  // namespace kv
