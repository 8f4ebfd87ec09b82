// RowStore's orders: which entries show (the hidden-files flag and the filter), the sorted and visible
// orders, the steps from the rows shown to the new ones and their replay. The entries themselves and
// the operations that change them are in rowstore.cpp.
#include "platform/fs/listing/rowstore.h"

#include <algorithm>

#include "platform/fs/listing/rowsteps.h"

namespace kv {

using rowsteps::kMaxRuns;
using rowsteps::runs;

bool RowStore::isVisible(std::uint32_t id) const {
    const std::uint8_t f = m_flags[id];
    if (f & kGoneFlag) return false;
    if (!m_showHidden && (f & kHiddenFlag)) return false;
    return !m_filter || m_filter((*m_entries)[id]);
}

void RowStore::computeNext() {
    m_next.clear();
    m_next.reserve(m_sorted.size());
    for (std::uint32_t id : m_sorted)
        if (isVisible(id)) m_next.push_back(id);
}

void RowStore::settle() {
    if (m_pendingSteps == 0) return;
    m_rows = std::move(m_next);
    m_next = {};
    m_pendingSteps = 0;
}

RowChanges RowStore::finish(RowChanges&& changes) {
    m_pendingSteps = changes.size();
    if (changes.empty()) m_next = {};
    return std::move(changes);
}

RowChanges RowStore::diff() {
    if (m_rows == m_next) return {};
    RowChanges out;
    if (m_rows.empty()) {
        out.push_back({RowChange::Kind::Inserted, 0, static_cast<int>(m_next.size()) - 1, 0});
        return out;
    }
    if (m_next.empty()) {
        out.push_back({RowChange::Kind::Removed, 0, static_cast<int>(m_rows.size()) - 1, 0});
        return out;
    }
    std::vector<std::uint8_t> inOld(m_entries->size(), 0), inNew(m_entries->size(), 0);
    for (std::uint32_t id : m_rows) inOld[id] = 1;
    for (std::uint32_t id : m_next) inNew[id] = 1;
    RowChanges removed, inserted;
    runs(
        m_rows.size(), [&](std::size_t i) { return !inNew[m_rows[i]]; }, RowChange::Kind::Removed, removed);
    runs(
        m_next.size(), [&](std::size_t i) { return !inOld[m_next[i]]; }, RowChange::Kind::Inserted, inserted);
    if (removed.size() + inserted.size() > kMaxRuns) return {{RowChange::Kind::Relaid, 0, 0, 0}};
    // Removals back to front leave the rows before each run where they were; insertions front to back
    // then meet rows already in their final places.
    out.assign(removed.rbegin(), removed.rend());
    out.insert(out.end(), inserted.begin(), inserted.end());
    return out;
}

RowChanges RowStore::clear() {
    begin();
    for (auto& f : m_flags) f |= kGoneFlag;
    m_anyGone = !m_flags.empty();
    m_sorted.clear();
    m_next.clear();
    if (m_rows.empty()) return finish({});
    return finish({{RowChange::Kind::Reset, 0, 0, 0}});
}

RowStore::Shared RowStore::share() {
    Shared out;
    out.entries = snapshot();  // settled and compacted: no entry is flagged gone
    out.flags = m_flags;
    out.sorted = m_sorted;
    out.sorter = m_sorter;
    return out;
}

RowChanges RowStore::adopt(Shared&& from) {
    begin();
    // Never written while the giver (or anyone) holds them too: entriesForWrite copies them first.
    m_entries = std::const_pointer_cast<std::vector<DirEntry>>(std::move(from.entries));
    m_flags = std::move(from.flags);
    m_sorted = std::move(from.sorted);
    m_sorter = from.sorter;
    m_anyGone = false;
    ++m_version;
    computeNext();
    // The rows held so far were of other entries: they are all replaced.
    if (!m_rows.empty()) return finish({{RowChange::Kind::Reset, 0, 0, 0}});
    if (m_next.empty()) return finish({});
    return finish({{RowChange::Kind::Inserted, 0, static_cast<int>(m_next.size()) - 1, 0}});
}

bool RowStore::takeCopy(std::shared_ptr<std::vector<DirEntry>> copy,
                        const std::shared_ptr<const std::vector<DirEntry>>& of) {
    if (!copy || m_entries != of || copy->size() != m_entries->size()) return false;
    m_entries = std::move(copy);
    return true;
}

RowChanges RowStore::setShowHidden(bool show) {
    begin();
    if (show == m_showHidden) return finish({});
    m_showHidden = show;
    computeNext();
    return finish(diff());
}

RowChanges RowStore::setFilter(Filter filter) {
    begin();
    m_filter = std::move(filter);
    computeNext();
    return finish(diff());
}

RowChanges RowStore::setSorter(const EntrySorter& sorter) {
    begin();
    m_sorter = sorter;
    m_sorted = sorter.order(*m_entries);
    computeNext();
    if (m_next == m_rows) return finish({});
    return finish({{RowChange::Kind::Relaid, 0, 0, 0}});
}

bool RowStore::applyOrder(std::vector<std::uint32_t>&& order, const EntrySorter& sortedBy,
                          std::uint64_t version, RowChanges& changes) {
    begin();
    changes.clear();
    if (version != m_version || order.size() != m_entries->size()) return false;
    m_sorter = sortedBy;
    m_sorted = std::move(order);
    computeNext();
    if (m_next != m_rows) changes.push_back({RowChange::Kind::Relaid, 0, 0, 0});
    changes = finish(std::move(changes));
    return true;
}

void RowStore::replay(const RowChange& c) {
    if (m_pendingSteps == 0) return;
    const auto first = m_rows.begin() + c.first;
    switch (c.kind) {
        case RowChange::Kind::Inserted:
            m_rows.insert(first, m_next.begin() + c.first, m_next.begin() + c.last + 1);
            break;
        case RowChange::Kind::Removed:
            m_rows.erase(first, m_rows.begin() + c.last + 1);
            break;
        case RowChange::Kind::Moved: {
            const int count = c.last - c.first + 1;
            if (c.to > c.last) {
                std::rotate(first, m_rows.begin() + c.last + 1, m_rows.begin() + c.to);
            } else {
                std::rotate(m_rows.begin() + c.to, first, first + count);
            }
            break;
        }
        case RowChange::Kind::Changed:
            break;
        case RowChange::Kind::Relaid:
        case RowChange::Kind::Reset:
            m_rows = m_next;
            break;
    }
    if (--m_pendingSteps == 0) {
        m_next = {};
    }
}

int RowStore::rowOfName(std::string_view name) const {
    for (std::size_t row = 0; row < m_rows.size(); ++row)
        if ((*m_entries)[m_rows[row]].name == name) return static_cast<int>(row);
    return -1;
}

}  // namespace kv
