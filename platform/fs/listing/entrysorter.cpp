#include "platform/fs/listing/entrysorter.h"

#include <algorithm>
#include <numeric>
#include <string_view>

#include "platform/fs/listing/sortkey.h"

namespace kv {

namespace {

int compareNames(const DirEntry& a, const DirEntry& b) {
    if (int c = a.sortKey.compare(b.sortKey); c != 0) {
        return c;
    }
    return a.name.compare(b.name);
}

std::string_view rawExtension(const std::string& name) {
    // A search's rows are named by their relative paths: the extension is the base name's.
    const size_t start = name.rfind('/') + 1;
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot <= start) {
        return {};
    }
    return std::string_view(name).substr(dot + 1);
}

}  // namespace

EntrySorter::EntrySorter(SortColumn column, SortOrder order, bool foldersFirst)
    : m_column(column), m_order(order), m_foldersFirst(foldersFirst) {}

int EntrySorter::compareByColumn(const DirEntry& a, const DirEntry& b) const {
    switch (m_column) {
        case SortColumn::Name:
            return 0;
        case SortColumn::Size:
            // Folders have no meaningful size here; they keep name order among themselves.
            if (a.isDir && b.isDir) {
                return 0;
            }
            return a.size < b.size ? -1 : a.size > b.size ? 1 : 0;
        case SortColumn::Modified:
            return a.mtimeNs < b.mtimeNs ? -1 : a.mtimeNs > b.mtimeNs ? 1 : 0;
        case SortColumn::Folder: {
            const std::string_view fa(a.name.data(), a.name.rfind('/') + 1);
            const std::string_view fb(b.name.data(), b.name.rfind('/') + 1);
            return fa.compare(fb);
        }
        case SortColumn::Type: {
            const std::string_view ea = rawExtension(a.name);
            const std::string_view eb = rawExtension(b.name);
            if (ea == eb) {
                return 0;
            }
            return SortKey::extension(a.name).compare(SortKey::extension(b.name));
        }
    }
    return 0;
}

bool EntrySorter::less(const DirEntry& a, const DirEntry& b) const {
    if (m_foldersFirst && a.isDir != b.isDir) {
        return a.isDir;
    }
    int c = compareByColumn(a, b);
    if (c == 0) {
        c = compareNames(a, b);
    }
    return m_order == SortOrder::Ascending ? c < 0 : c > 0;
}

std::vector<std::uint32_t> EntrySorter::order(const std::vector<DirEntry>& entries) const {
    std::vector<std::uint32_t> idx(entries.size());
    std::iota(idx.begin(), idx.end(), 0u);
    if (m_column == SortColumn::Type) {
        // Folding an extension per comparison would cost n log n conversions; fold each once.
        std::vector<std::string> ext(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            ext[i] = SortKey::extension(entries[i].name);
        }
        std::sort(idx.begin(), idx.end(), [&](std::uint32_t ia, std::uint32_t ib) {
            const DirEntry& a = entries[ia];
            const DirEntry& b = entries[ib];
            if (m_foldersFirst && a.isDir != b.isDir) {
                return a.isDir;
            }
            int c = ext[ia].compare(ext[ib]);
            if (c == 0) {
                c = compareNames(a, b);
            }
            return m_order == SortOrder::Ascending ? c < 0 : c > 0;
        });
        return idx;
    }
    std::sort(idx.begin(), idx.end(),
              [&](std::uint32_t a, std::uint32_t b) { return less(entries[a], entries[b]); });
    return idx;
}

void EntrySorter::merge(const std::vector<DirEntry>& entries, std::vector<std::uint32_t>& order,
                        std::uint32_t firstNew) const {
    const size_t oldSize = order.size();
    for (std::uint32_t i = firstNew; i < entries.size(); ++i) {
        order.push_back(i);
    }
    auto cmp = [&](std::uint32_t a, std::uint32_t b) { return less(entries[a], entries[b]); };
    std::sort(order.begin() + static_cast<std::ptrdiff_t>(oldSize), order.end(), cmp);
    std::inplace_merge(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(oldSize), order.end(), cmp);
}

}  // namespace kv
