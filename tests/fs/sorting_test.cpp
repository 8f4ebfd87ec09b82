#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include <set>

#include "platform/fs/listing/entrysorter.h"
#include "platform/fs/listing/sortkey.h"

namespace kv {
namespace {

DirEntry sortEntry(std::string name, bool dir = false, std::uint64_t size = 0, std::int64_t mtime = 0) {
    DirEntry e;
    e.name = std::move(name);
    e.sortKey = SortKey::make(e.name);
    e.isDir = dir;
    e.size = size;
    e.mtimeNs = mtime;
    return e;
}

std::vector<std::string> sortedNames(const std::vector<DirEntry>& entries, const EntrySorter& sorter) {
    std::vector<std::string> out;
    for (auto i : sorter.order(entries)) {
        out.push_back(entries[i].name);
    }
    return out;
}

TEST(SortKey, NameOrder) {
    // Each row: names that must come out in exactly this order.
    const std::vector<std::vector<std::string>> rows = {
        {"file1", "file2", "file10", "file20", "file100"},
        {"a", "B", "c", "D"},
        {"x9.txt", "x10.txt", "x010b.txt"},
        {"img 2", "img 10", "imgA"},
        {"v1.2.9", "v1.2.10", "v1.10.0"},
        {"\xC3\x89mile", "emma"},  // accent folded: "Emile" < "emma"
        {"99999999999999999999", "100000000000000000000"},
        {"A", "a"},     // equal keys: raw bytes decide, so the order is stable
        {"a01", "a1"},  // same number: the raw bytes decide
    };
    for (const auto& row : rows) {
        std::vector<DirEntry> entries;
        for (auto it = row.rbegin(); it != row.rend(); ++it) {
            entries.push_back(sortEntry(*it));
        }
        EXPECT_EQ(sortedNames(entries, EntrySorter()), row);
    }
}

TEST(SortKey, NonUtf8NamesGetAKey) {
    const std::string bad = "caf\xE9";  // Latin-1, not UTF-8
    EXPECT_FALSE(SortKey::make(bad).empty());
    EXPECT_EQ(SortKey::fold("ABC\xE9"), "abc\xE9");
    EXPECT_EQ(SortKey::fold("\xC3\x84pfel"), SortKey::fold("apfel"));
}

TEST(EntrySorter, ColumnsOrdersAndFoldersFirst) {
    std::vector<DirEntry> e = {sortEntry("b.txt", false, 30, 3), sortEntry("a.png", false, 10, 2),
                               sortEntry("Zdir", true, 0, 1),    sortEntry("c.jpg", false, 20, 5),
                               sortEntry("adir", true, 0, 9),    sortEntry("README", false, 5, 4)};
    struct Row {
        SortColumn col;
        SortOrder order;
        std::vector<std::string> expected;
    };
    const std::vector<Row> rows = {
        {SortColumn::Name, SortOrder::Ascending, {"adir", "Zdir", "a.png", "b.txt", "c.jpg", "README"}},
        {SortColumn::Name, SortOrder::Descending, {"Zdir", "adir", "README", "c.jpg", "b.txt", "a.png"}},
        {SortColumn::Size, SortOrder::Ascending, {"adir", "Zdir", "README", "a.png", "c.jpg", "b.txt"}},
        {SortColumn::Modified, SortOrder::Ascending, {"Zdir", "adir", "a.png", "b.txt", "README", "c.jpg"}},
        {SortColumn::Type, SortOrder::Ascending, {"adir", "Zdir", "README", "c.jpg", "a.png", "b.txt"}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(sortedNames(e, EntrySorter(r.col, r.order)), r.expected) << static_cast<int>(r.col);
    }
}

TEST(EntrySorter, MergingBatchesEqualsSortingAll) {
    std::mt19937 rng(7);
    std::vector<DirEntry> entries;
    std::vector<std::uint32_t> order;
    for (const auto& sorter : {EntrySorter(), EntrySorter(SortColumn::Size, SortOrder::Descending)}) {
        entries.clear();
        order.clear();
        std::set<std::string> taken;
        for (int batch = 0; batch < 5; ++batch) {
            const auto first = static_cast<std::uint32_t>(entries.size());
            for (int i = 0; i < 300; ++i) {
                // A folder never holds one name twice; keys may still tie ("f7x" and "f07X").
                std::string name = "f" + std::string(rng() % 2, '0') + std::to_string(rng() % 1000) +
                                   (rng() % 2 ? "x" : "X");
                if (taken.insert(name).second) {
                    entries.push_back(sortEntry(name, rng() % 5 == 0, rng() % 100));
                }
            }
            sorter.merge(entries, order, first);
        }
        EXPECT_EQ(order, sorter.order(entries));
    }
}

}  // namespace
}  // namespace kv
