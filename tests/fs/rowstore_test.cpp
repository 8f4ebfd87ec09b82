#include "platform/fs/listing/rowstore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "platform/fs/listing/sortkey.h"

namespace kv {
namespace {

using Kind = RowChange::Kind;

}  // namespace

void PrintTo(const RowChange& c, std::ostream* os) {
    static const char* kinds[] = {"Inserted", "Removed", "Moved", "Changed", "Relaid", "Reset"};
    *os << kinds[static_cast<int>(c.kind)] << "(" << c.first << ".." << c.last;
    if (c.kind == Kind::Moved) *os << " to " << c.to;
    *os << ")";
}

namespace {

using Names = std::vector<std::string>;

// "name" is a file of the given size; "name/" a folder.
DirEntry entry(std::string name, std::uint64_t size = 0) {
    DirEntry e;
    e.isDir = !name.empty() && name.back() == '/';
    if (e.isDir) name.pop_back();
    e.name = name;
    e.hidden = name[0] == '.';
    e.mode = e.isDir ? S_IFDIR : S_IFREG;
    e.size = size;
    e.sortKey = SortKey::make(e.name);
    return e;
}

std::vector<DirEntry> entries(const Names& names) {
    std::vector<DirEntry> out;
    for (const auto& n : names) out.push_back(entry(n));
    return out;
}

Names shownNames(const RowStore& s) {
    Names out;
    for (int row = 0; row < s.rowCount(); ++row) out.push_back(s.entryAt(row).name);
    return out;
}

// Replays the steps on the store and, independently, on a copy of the names shown before; checks
// after each step that the store's rows are what the steps say, and at the end that the orders agree.
void replayAndCheck(RowStore& s, const RowChanges& changes) {
    Names names = shownNames(s);
    for (const RowChange& c : changes) {
        s.replay(c);
        const Names now = shownNames(s);
        switch (c.kind) {
            case Kind::Inserted:
                ASSERT_LE(c.first, static_cast<int>(names.size()));
                names.insert(names.begin() + c.first, now.begin() + c.first, now.begin() + c.last + 1);
                break;
            case Kind::Removed:
                ASSERT_LT(c.last, static_cast<int>(names.size()));
                names.erase(names.begin() + c.first, names.begin() + c.last + 1);
                break;
            case Kind::Moved: {
                ASSERT_TRUE(c.to < c.first || c.to > c.last + 1) << "not a move";
                Names moved(names.begin() + c.first, names.begin() + c.last + 1);
                names.erase(names.begin() + c.first, names.begin() + c.last + 1);
                const int at = c.to > c.last ? c.to - (c.last - c.first + 1) : c.to;
                names.insert(names.begin() + at, moved.begin(), moved.end());
                break;
            }
            case Kind::Changed:
                ASSERT_LT(c.last, static_cast<int>(names.size()));
                break;
            case Kind::Relaid:
            case Kind::Reset:
                names = now;
                break;
        }
        ASSERT_EQ(names, now) << "after step " << int(c.kind) << " " << c.first << ".." << c.last;
    }
    // The rows are the sorted order less what the filter hides, and the sorted order is sorted.
    const auto& sorted = s.sorted();
    for (std::size_t k = 1; k < sorted.size(); ++k)
        ASSERT_FALSE(s.sorter().less(s.entry(sorted[k]), s.entry(sorted[k - 1]))) << k;
    std::vector<std::uint32_t> visible;
    for (std::uint32_t id : sorted)
        if (s.showHidden() || !s.entry(id).hidden) visible.push_back(id);
    if (visible != s.rows()) {
        // A name filter may hide more: the rows must still be a subsequence of the sorted order.
        ASSERT_TRUE(std::includes(
            visible.begin(), visible.end(), s.rows().begin(), s.rows().end(),
            [&](std::uint32_t a, std::uint32_t b) { return s.sorter().less(s.entry(a), s.entry(b)); }));
    }
}

struct Case {
    const char* what;
    Names before;
    std::function<RowChanges(RowStore&)> op;
    Names after;
    RowChanges steps;
};

RowStore storeWith(const Names& names, const EntrySorter& sorter = {}) {
    RowStore s;
    s.setSorter(sorter);
    s.insert(entries(names));
    s.settle();
    return s;
}

RowChanges updated(RowStore& s, std::vector<DirEntry> fresh) {
    return s.update(fresh);
}

TEST(RowStore, EachOperationReturnsTheStepsItTook) {
    const EntrySorter bySize(SortColumn::Size);
    const std::vector<Case> cases = {
        {"insert into nothing",
         {},
         [](RowStore& s) {
             return s.insert(entries({"b", "a"}));
         },
         {"a", "b"},
         {{Kind::Inserted, 0, 1}}},
        {"insert between",
         {"a", "c", "e"},
         [](RowStore& s) {
             return s.insert(entries({"d", "b"}));
         },
         {"a", "b", "c", "d", "e"},
         {{Kind::Inserted, 1, 1}, {Kind::Inserted, 3, 3}}},
        {"insert a run at the end",
         {"a"},
         [](RowStore& s) {
             return s.insert(entries({"c", "b"}));
         },
         {"a", "b", "c"},
         {{Kind::Inserted, 1, 2}}},
        {"folders go first",
         {"a", "b"},
         [](RowStore& s) { return s.insert(entries({"z/"})); },
         {"z", "a", "b"},
         {{Kind::Inserted, 0, 0}}},
        {"insert nothing", {"a"}, [](RowStore& s) { return s.insert({}); }, {"a"}, {}},
        {"remove back to front",
         {"a", "b", "c", "d", "e"},
         [](RowStore& s) {
             return s.remove({"b", "e", "c"});
         },
         {"a", "d"},
         {{Kind::Removed, 4, 4}, {Kind::Removed, 1, 2}}},
        {"remove what is not there", {"a"}, [](RowStore& s) { return s.remove({"x"}); }, {"a"}, {}},
        {"remove everything",
         {"a", "b"},
         [](RowStore& s) {
             return s.remove({"a", "b"});
         },
         {},
         {{Kind::Removed, 0, 1}}},
        {"remove a hidden entry: no row",
         {".h", "a"},
         [](RowStore& s) { return s.remove({".h"}); },
         {"a"},
         {}},
        {"a changed file keeps its row",
         {"a", "b", "c"},
         [](RowStore& s) { return updated(s, {entry("b", 7)}); },
         {"a", "b", "c"},
         {{Kind::Changed, 1, 1}}},
        {"unchanged data changes nothing",
         {"a", "b"},
         [](RowStore& s) { return updated(s, {entry("b")}); },
         {"a", "b"},
         {}},
        {"a file turned folder moves up",
         {"a", "b", "c"},
         [](RowStore& s) { return updated(s, {entry("c/")}); },
         {"c", "a", "b"},
         {{Kind::Moved, 2, 2, 0}, {Kind::Changed, 0, 0}}},
        {"clear", {"a", "b"}, [](RowStore& s) { return s.clear(); }, {}, {{Kind::Reset, 0, 0}}},
        {"clear nothing", {}, [](RowStore& s) { return s.clear(); }, {}, {}},
        {"hidden shown",
         {".h", "a", ".i", "b"},
         [](RowStore& s) { return s.setShowHidden(true); },
         {".h", ".i", "a", "b"},
         {{Kind::Inserted, 0, 1}}},
        {"hidden shown again: nothing", {"a"}, [](RowStore& s) { return s.setShowHidden(false); }, {"a"}, {}},
        {"a name filter",
         {"ab", "b", "ac", "c"},
         [](RowStore& s) { return s.setFilter([](const DirEntry& e) { return e.name[0] == 'a'; }); },
         {"ab", "ac"},
         {{Kind::Removed, 2, 3}}},
        {"sorted by name, descending",
         {"a", "b", "c"},
         [](RowStore& s) { return s.setSorter(EntrySorter(SortColumn::Name, SortOrder::Descending)); },
         {"c", "b", "a"},
         {{Kind::Relaid, 0, 0}}},
        {"sorted as it already is",
         {"a", "b"},
         [](RowStore& s) { return s.setSorter(EntrySorter()); },
         {"a", "b"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RowStore s = storeWith(c.before);
        const RowChanges steps = c.op(s);
        EXPECT_EQ(steps, c.steps);
        replayAndCheck(s, steps);
        EXPECT_EQ(shownNames(s), c.after);
    }
}

TEST(RowStore, ChangedEntriesMoveWhereTheSortPutsThem) {
    const EntrySorter bySize(SortColumn::Size);
    struct Row {
        const char* what;
        std::vector<DirEntry> fresh;
        Names after;
        RowChanges steps;
    };
    const std::vector<Row> rows = {
        {"the smallest grows to the largest",
         {entry("a", 10)},
         {"b", "c", "d", "a"},
         {{Kind::Moved, 0, 0, 4}, {Kind::Changed, 3, 3}}},
        {"the largest shrinks to the smallest",
         {entry("d", 0)},
         {"d", "a", "b", "c"},
         {{Kind::Moved, 3, 3, 0}, {Kind::Changed, 0, 0}}},
        {"two swap",
         {entry("b", 3), entry("c", 2)},
         {"a", "c", "b", "d"},
         {{Kind::Moved, 1, 1, 3}, {Kind::Changed, 1, 2}}},
        {"grows but stays", {entry("b", 2)}, {"a", "b", "c", "d"}, {{Kind::Changed, 1, 1}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        RowStore s;
        s.setSorter(bySize);
        s.insert({entry("a", 1), entry("b", 1), entry("c", 3), entry("d", 4)});
        s.settle();
        // b is 1 byte, like a: the name decides between them.
        std::vector<DirEntry> fresh = r.fresh;
        const RowChanges steps = s.update(fresh);
        EXPECT_EQ(steps, r.steps);
        replayAndCheck(s, steps);
        EXPECT_EQ(shownNames(s), r.after);
    }
}

TEST(RowStore, UpdateLeavesTheNamesItDoesNotHold) {
    RowStore s = storeWith({"a", "b"});
    std::vector<DirEntry> fresh = {entry("new"), entry("a", 5), entry("b")};
    replayAndCheck(s, s.update(fresh));
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_EQ(fresh[0].name, "new");
    EXPECT_EQ(s.entryAt(0).size, 5u);
}

TEST(RowStore, ANewListingIsSplitIntoGoneChangedAndAdded) {
    RowStore s = storeWith({"a", "b", "c"});
    std::vector<DirEntry> fresh = {entry("zz"), entry("c", 7), entry("b")};
    RowStore::ListingDiff d = RowStore::diffListing(*s.snapshot(), std::move(fresh));
    EXPECT_EQ(d.gone, Names{"a"});
    ASSERT_EQ(d.changed.size(), 1u);
    EXPECT_EQ(d.changed[0].name, "c");
    ASSERT_EQ(d.added.size(), 1u);
    EXPECT_EQ(d.added[0].name, "zz");
    // Applied in its three parts, the store holds what the new listing holds.
    replayAndCheck(s, s.remove(d.gone));
    replayAndCheck(s, s.update(d.changed));
    EXPECT_TRUE(d.changed.empty());
    replayAndCheck(s, s.insert(std::move(d.added)));
    EXPECT_EQ(shownNames(s), (Names{"b", "c", "zz"}));
    EXPECT_EQ(s.entryAt(1).size, 7u);
}

TEST(RowStore, ManyScatteredRowsBecomeOneRelayout) {
    Names odd, even;
    for (int k = 0; k < 200; ++k) (k % 2 ? odd : even).push_back("n" + std::to_string(1000 + k));
    RowStore s = storeWith(odd);
    const RowChanges steps = s.insert(entries(even));
    EXPECT_EQ(steps, (RowChanges{{Kind::Relaid, 0, 0}}));
    replayAndCheck(s, steps);
    EXPECT_EQ(s.rowCount(), 200);
}

TEST(RowStore, BatchesSortedElsewhereAreMergedInOrder) {
    RowStore s = storeWith({"m"});
    std::vector<std::vector<DirEntry>> runs = {entries({"a", "x"}), entries({"b", "n", "y"}), entries({"c"})};
    replayAndCheck(s, s.merge(std::move(runs), true));
    EXPECT_EQ(shownNames(s), (Names{"a", "b", "c", "m", "n", "x", "y"}));
}

// New entries among many find their places by search, not by a merge: each table row merges runs into
// a store and checks the steps, the order, and that nothing is lost or doubled.
TEST(RowStore, MergedEntriesLandInTheirPlacesWithTheirSteps) {
    struct Row {
        const char* what;
        Names before;
        std::vector<Names> runs;
        bool runsSorted;
        bool showHidden;
        Names after;  // shown
        RowChanges steps;
    } rows[] = {
        {"into nothing", {}, {{"b", "a"}}, false, false, {"a", "b"}, {{Kind::Inserted, 0, 1}}},
        {"before all", {"m", "n"}, {{"a", "b"}}, true, false, {"a", "b", "m", "n"}, {{Kind::Inserted, 0, 1}}},
        {"after all", {"a", "b"}, {{"y", "z"}}, true, false, {"a", "b", "y", "z"}, {{Kind::Inserted, 2, 3}}},
        {"between, two runs",
         {"a", "c", "e"},
         {{"b"}, {"d", "f"}},
         true,
         false,
         {"a", "b", "c", "d", "e", "f"},
         {{Kind::Inserted, 1, 1}, {Kind::Inserted, 3, 3}, {Kind::Inserted, 5, 5}}},
        {"unsorted runs",
         {"c"},
         {{"d", "a"}, {"b"}},
         false,
         false,
         {"a", "b", "c", "d"},
         {{Kind::Inserted, 0, 1}, {Kind::Inserted, 3, 3}}},
        {"hidden ones take no row",
         {".h", "b"},
         {{".a", "a", "c"}},
         true,
         false,
         {"a", "b", "c"},
         {{Kind::Inserted, 0, 0}, {Kind::Inserted, 2, 2}}},
        {"hidden ones shown",
         {".h", "b"},
         {{".a", "c"}},
         true,
         true,
         {".a", ".h", "b", "c"},
         {{Kind::Inserted, 0, 0}, {Kind::Inserted, 3, 3}}},
        {"only hidden", {"b"}, {{".a"}}, true, false, {"b"}, {}},
        {"folders first", {"a", "z"}, {{"m/"}}, true, false, {"m", "a", "z"}, {{Kind::Inserted, 0, 0}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        RowStore s = storeWith(r.before);
        replayAndCheck(s, s.setShowHidden(r.showHidden));
        std::vector<std::vector<DirEntry>> runs;
        for (const Names& run : r.runs) runs.push_back(entries(run));
        const RowChanges steps = s.merge(std::move(runs), r.runsSorted);
        EXPECT_EQ(steps, r.steps);
        replayAndCheck(s, steps);
        EXPECT_EQ(shownNames(s), r.after);
    }
}

// A big store and scattered new entries in chunks, as a listing of a huge folder merges them: every
// entry is there once, in the sorter's order, whichever order the store keeps.
TEST(RowStore, ChunksMergedIntoABigStoreKeepEveryEntryInOrder) {
    std::mt19937 rng(11);
    for (const EntrySorter& sorter : {EntrySorter(), EntrySorter(SortColumn::Size, SortOrder::Descending)}) {
        Names first;
        for (int k = 0; k < 3000; k += 3) first.push_back("f" + std::to_string(k));
        RowStore s = storeWith(first, sorter);
        Names rest;
        for (int k = 0; k < 3000; ++k)
            if (k % 3) rest.push_back("f" + std::to_string(k) + (k % 50 == 0 ? "/" : ""));
        std::shuffle(rest.begin(), rest.end(), rng);
        for (std::size_t from = 0; from < rest.size(); from += 250) {
            std::vector<DirEntry> chunk;
            for (std::size_t k = from; k < std::min(rest.size(), from + 250); ++k)
                chunk.push_back(entry(rest[k], rng() % 7));
            std::sort(chunk.begin(), chunk.end(),
                      [&](const DirEntry& a, const DirEntry& b) { return sorter.less(a, b); });
            std::vector<std::vector<DirEntry>> runs;
            runs.push_back(std::move(chunk));
            replayAndCheck(s, s.merge(std::move(runs), true));
            if (HasFatalFailure()) return;
        }
        Names shown = shownNames(s);
        EXPECT_EQ(shown.size(), 3000u);
        std::sort(shown.begin(), shown.end());
        EXPECT_EQ(std::adjacent_find(shown.begin(), shown.end()), shown.end()) << "a name twice";
    }
}

// The watcher's names are matched against many entries through a sieve: every name it holds is found.
TEST(RowStore, ManyNamesAmongManyEntriesAreAllFound) {
    Names all;
    for (int k = 0; k < 5000; ++k) all.push_back("file" + std::to_string(k) + (k % 2 ? ".txt" : ".dat"));
    RowStore s = storeWith(all);
    std::vector<DirEntry> fresh;
    Names gone;
    for (int k = 0; k < 5000; k += 17) {
        fresh.push_back(entry(all[static_cast<std::size_t>(k)], 42));
        if (k % 2) gone.push_back(all[static_cast<std::size_t>(k) + 1]);
    }
    const std::size_t asked = fresh.size();
    replayAndCheck(s, s.update(fresh));
    EXPECT_TRUE(fresh.empty()) << fresh.size() << " of " << asked << " names not found";
    int changed = 0;
    for (int row = 0; row < s.rowCount(); ++row) changed += s.entryAt(row).size == 42;
    EXPECT_EQ(changed, static_cast<int>(asked));
    replayAndCheck(s, s.remove(gone));
    EXPECT_EQ(s.rowCount(), static_cast<int>(all.size() - gone.size()));
    for (const std::string& n : gone) EXPECT_LT(s.rowOfName(n), 0) << n;
}

TEST(RowStore, AnOrderFromChangedEntriesIsRefused) {
    RowStore s = storeWith({"a", "b", "c"});
    const EntrySorter descending(SortColumn::Name, SortOrder::Descending);
    auto snapshot = s.snapshot();
    const std::uint64_t version = s.version();
    std::vector<std::uint32_t> order = descending.order(*snapshot);
    // The store changes while the worker sorts: the worker's entries stay as they were.
    replayAndCheck(s, s.remove({"b"}));
    EXPECT_EQ(snapshot->size(), 3u);
    RowChanges steps;
    EXPECT_FALSE(s.applyOrder(std::move(order), descending, version, steps));
    EXPECT_TRUE(steps.empty());
    EXPECT_EQ(shownNames(s), (Names{"a", "c"}));

    snapshot = s.snapshot();
    ASSERT_TRUE(s.applyOrder(descending.order(*snapshot), descending, s.version(), steps));
    replayAndCheck(s, steps);
    EXPECT_EQ(shownNames(s), (Names{"c", "a"}));
    EXPECT_EQ(s.sorter(), descending);
}

// Random operations on a few dozen names, every step checked: what the table cannot think of.
TEST(RowStore, RandomOperationsKeepTheOrdersConsistent) {
    std::mt19937 rng(7);
    auto name = [&] {
        const int n = static_cast<int>(rng() % 40);
        return std::string(n % 5 == 0 ? "." : "") + "f" + std::to_string(n) + (n % 7 == 0 ? "/" : "");
    };
    const EntrySorter sorters[] = {EntrySorter(), EntrySorter(SortColumn::Size),
                                   EntrySorter(SortColumn::Size, SortOrder::Descending),
                                   EntrySorter(SortColumn::Type, SortOrder::Descending)};
    RowStore s;
    int kinds[6] = {};
    for (int step = 0; step < 3000; ++step) {
        SCOPED_TRACE(step);
        RowChanges changes;
        switch (rng() % 7) {
            case 0: {
                std::vector<DirEntry> fresh;
                for (int k = static_cast<int>(rng() % 4); k >= 0; --k) {
                    DirEntry e = entry(name(), rng() % 5);
                    if (s.rowOfName(e.name) < 0 &&
                        std::none_of(fresh.begin(), fresh.end(),
                                     [&](const DirEntry& f) { return f.name == e.name; }))
                        fresh.push_back(e);
                }
                changes = s.update(fresh);  // the known ones; nothing here is known
                replayAndCheck(s, changes);
                changes = s.insert(std::move(fresh));
                break;
            }
            case 1:
            case 2: {
                std::vector<DirEntry> fresh;
                for (int k = static_cast<int>(rng() % 24); k >= 0; --k)
                    fresh.push_back(entry(name(), rng() % 5));
                changes = s.update(fresh);
                break;
            }
            case 3:
                changes = s.remove({name(), name()});
                break;
            case 4:
                changes = s.setShowHidden(rng() % 2 == 0);
                break;
            case 5:
                changes = s.setSorter(sorters[rng() % 4]);
                break;
            case 6:
                changes = rng() % 10 == 0
                              ? s.clear()
                              : s.setFilter(rng() % 3 == 0 ? RowStore::Filter() : [](const DirEntry& e) {
                                    return e.name.size() % 2 == 0;
                                });
                break;
        }
        for (const RowChange& c : changes) ++kinds[static_cast<int>(c.kind)];
        replayAndCheck(s, changes);
        if (HasFatalFailure()) return;
    }
    for (int k = 0; k < 6; ++k) EXPECT_GT(kinds[k], 0) << "no step of kind " << k << " was tried";
}

}  // namespace
}  // namespace kv
