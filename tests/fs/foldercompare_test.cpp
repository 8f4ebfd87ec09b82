#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <map>

#include "fs/scriptedresolver.h"
#include "fs/tempdir.h"
#include "platform/fs/compare/foldercompare.h"
#include "platform/fs/compare/syncjob.h"
#include "platform/fs/operations/undojob.h"

namespace kv {
namespace {

using K = CompareKind;
using test::readFile;
using test::TempDir;

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kT0 = 1'700'000'000 * kSecond;

void put(const std::string& path, const std::string& data, std::int64_t mtimeNs) {
    test::writeFile(path, data);
    const timespec times[2] = {{0, UTIME_OMIT}, {mtimeNs / kSecond, mtimeNs % kSecond}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// Two trees with every kind of difference. Each file: left (content, time), right (content, time).
class FolderCompareTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::mkdir((dir / "L").c_str(), 0755);
        ::mkdir((dir / "R").c_str(), 0755);
        for (const char* sub : {"L/sub", "R/sub", "L/onlyLeftDir", "L/skip", "R/skip"})
            ::mkdir((dir / sub).c_str(), 0755);
        put(dir / "L/same.txt", "abc", kT0);
        put(dir / "R/same.txt", "abc", kT0);
        put(dir / "L/sub/newerLeft.txt", "new!", kT0 + 100 * kSecond);
        put(dir / "R/sub/newerLeft.txt", "old", kT0);
        put(dir / "L/newerRight.txt", "old", kT0);
        put(dir / "R/newerRight.txt", "new!", kT0 + 100 * kSecond);
        put(dir / "L/onlyLeft.txt", "l", kT0);
        put(dir / "L/onlyLeftDir/inside.txt", "i", kT0);
        put(dir / "R/sub/onlyRight.txt", "r", kT0);
        put(dir / "L/fat.txt", "fat", kT0 + kSecond + kSecond / 2);  // a FAT copy's time: within 2 s
        put(dir / "R/fat.txt", "fat", kT0);
        put(dir / "L/differs.txt", "short", kT0);
        put(dir / "R/differs.txt", "longer", kT0);
        put(dir / "L/sameSize.txt", "aaaa", kT0);
        put(dir / "R/sameSize.txt", "abab", kT0);
        put(dir / "L/Case.TXT", "c", kT0);
        put(dir / "R/case.txt", "c", kT0);
        put(dir / "L/skip/x.o", "o", kT0);
        put(dir / "R/skip/x.o", "oo", kT0 + 100 * kSecond);
    }

    CompareOptions options() const {
        CompareOptions o;
        o.left = dir / "L";
        o.right = dir / "R";
        return o;
    }

    // relative path: kind, for every row.
    static std::map<std::string, K> kinds(const CompareResult& r) {
        std::map<std::string, K> out;
        for (const CompareRow& row : r.rows) {
            const std::string& name = row.left.present() ? row.left.name : row.right.name;
            out[row.dir.empty() ? name : row.dir + "/" + name] = row.kind;
        }
        return out;
    }

    TempDir dir;
};

TEST_F(FolderCompareTest, KindsByNameSizeTimeContentCaseAndMasks) {
    const std::map<std::string, K> base = {{"same.txt", K::Same},
                                           {"sub/newerLeft.txt", K::NewerLeft},
                                           {"newerRight.txt", K::NewerRight},
                                           {"onlyLeft.txt", K::OnlyLeft},
                                           {"onlyLeftDir", K::OnlyLeft},
                                           {"sub/onlyRight.txt", K::OnlyRight},
                                           {"fat.txt", K::Same},
                                           {"differs.txt", K::Differs},
                                           {"sameSize.txt", K::Same},
                                           {"Case.TXT", K::OnlyLeft},
                                           {"case.txt", K::OnlyRight},
                                           {"skip/x.o", K::NewerRight}};
    struct Case {
        const char* what;
        std::function<void(CompareOptions&)> set;
        std::map<std::string, K> changes;  // rows whose kind differs from base
        std::vector<std::string> gone;     // rows of base that are not there
    };
    const Case cases[] = {
        {"name, size and time", [](CompareOptions&) {}, {}, {}},
        {"content where sizes agree",
         [](CompareOptions& o) { o.byContent = true; },
         {{"sameSize.txt", K::Differs}},
         {}},
        {"names' case ignored",
         [](CompareOptions& o) { o.ignoreCase = true; },
         {{"Case.TXT", K::Same}},
         {"case.txt"}},
        {"this folder only",
         [](CompareOptions& o) { o.recursive = false; },
         {},
         {"sub/newerLeft.txt", "sub/onlyRight.txt", "skip/x.o"}},
        {"masks",
         [](CompareOptions& o) {
             o.include = "*.txt; *.TXT";
             o.exclude = "skip;same*";
         },
         {},
         {"skip/x.o", "same.txt", "sameSize.txt"}},
        {"no tolerance", [](CompareOptions& o) { o.toleranceNs = 0; }, {{"fat.txt", K::NewerLeft}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CompareOptions o = options();
        c.set(o);
        std::map<std::string, K> expected = base;
        for (const auto& [path, kind] : c.changes) expected[path] = kind;
        for (const std::string& path : c.gone) expected.erase(path);
        const CompareResult r = FolderCompare::run(o);
        EXPECT_TRUE(r.errors.empty());
        EXPECT_EQ(kinds(r), expected);
    }
}

TEST_F(FolderCompareTest, DefaultActions) {
    using A = SyncAction;
    const struct {
        K kind;
        A twoWay, mirror;
    } cases[] = {
        {K::OnlyLeft, A::CopyRight, A::CopyRight},  {K::OnlyRight, A::CopyLeft, A::DeleteRight},
        {K::NewerLeft, A::CopyRight, A::CopyRight}, {K::NewerRight, A::CopyLeft, A::CopyRight},
        {K::Same, A::Nothing, A::Nothing},          {K::Differs, A::Nothing, A::CopyRight},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FolderCompare::defaultAction(c.kind, false), c.twoWay) << static_cast<int>(c.kind);
        EXPECT_EQ(FolderCompare::defaultAction(c.kind, true), c.mirror) << static_cast<int>(c.kind);
    }
}

// A mirror run makes the right like the left in one job: the newer file replaces the older (asked
// as a clash), what only the right has goes to the trash; one undo brings everything back.
TEST_F(FolderCompareTest, MirrorThroughTheJobEngineWithAClashAndAnUndo) {
    CompareOptions o = options();
    o.mirror = true;
    o.exclude = "skip";
    const CompareResult before = FolderCompare::run(o);
    const std::string trash = dir / "Trash";

    SyncJob job(SyncJob::planOf(before.rows, o), trash);
    auto resolver = std::make_shared<test::ScriptedResolver>();
    resolver->onClash = [](const ClashRequest&) { return ClashDecision{ClashChoice::Replace, true}; };
    job.setResolver(resolver);
    job.start();
    job.wait();
    ASSERT_TRUE(job.result().ok());
    EXPECT_GE(resolver->clashes.size(), 1u);
    EXPECT_EQ(readFile(dir / "R/sub/newerLeft.txt"), "new!");
    EXPECT_EQ(readFile(dir / "R/newerRight.txt"), "old");
    EXPECT_EQ(readFile(dir / "R/onlyLeftDir/inside.txt"), "i");
    EXPECT_FALSE(test::exists(dir / "R/sub/onlyRight.txt"));

    // Equal now: the right's case.txt went to the trash before the left's Case.TXT came.
    for (const CompareRow& row : FolderCompare::run(o).rows) {
        EXPECT_EQ(row.kind, K::Same) << row.dir << "/" << row.left.name << row.right.name;
    }

    UndoJob undo(job.result().undo, trash);
    undo.start();
    undo.wait();
    EXPECT_TRUE(undo.result().ok());
    EXPECT_EQ(readFile(dir / "R/sub/newerLeft.txt"), "old");
    EXPECT_EQ(readFile(dir / "R/sub/onlyRight.txt"), "r");
    EXPECT_FALSE(test::exists(dir / "R/onlyLeft.txt"));
    EXPECT_EQ(kinds(FolderCompare::run(o)), kinds(before));
}

TEST_F(FolderCompareTest, CancelStopsTheComparison) {
    const std::atomic<bool> cancel{true};
    CompareOptions o = options();
    o.byContent = true;
    EXPECT_TRUE(FolderCompare::run(o, &cancel).cancelled);
}

}  // namespace
}  // namespace kv
