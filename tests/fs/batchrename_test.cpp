#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <set>

#include "fs/faultyfsops.h"
#include "fs/scriptedresolver.h"
#include "fs/tempdir.h"
#include "platform/fs/listing/folderlister.h"
#include "platform/fs/operations/batchrenamejob.h"
#include "platform/fs/operations/renameplan.h"
#include "platform/fs/operations/undojob.h"

namespace kv {
namespace {

using Status = RenameRow::Status;
using test::TempDir;
using test::writeFile;

// 2026-03-04 05:06:07 local time.
std::int64_t aTime() {
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 2;
    tm.tm_mday = 4;
    tm.tm_hour = 5;
    tm.tm_min = 6;
    tm.tm_sec = 7;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm)) * 1000000000;
}

TEST(RenamePlan, MasksFindReplaceAndCase) {
    struct Case {
        const char* path;
        bool isDir;
        size_t index;
        RenameRules rules;
        const char* expected;
        Status status;
    };
    auto rules = [](auto change) {
        RenameRules r;
        change(r);
        return r;
    };
    const Case cases[] = {
        {"/p/IMG_0042.JPG", false, 4, rules([](RenameRules& r) { r.nameMask = "Holiday_[C:3]"; }),
         "Holiday_005.JPG", Status::Ready},
        {"/p/a.txt", false, 2, rules([](RenameRules& r) {
             r.nameMask = "[C]-[N]";
             r.counterStart = 10;
             r.counterStep = 5;
             r.counterDigits = 4;
         }),
         "0020-a.txt", Status::Ready},
        {"/p/report.final.pdf", false, 0, rules([](RenameRules& r) { r.nameMask = "[N2-4][N1]"; }),
         "epor.pdf", Status::Ready},
        {"/p/Ärger.txt", false, 0, rules([](RenameRules& r) { r.nameMask = "[N2-][N1]"; }), "rgerÄ.txt",
         Status::Ready},
        {"/p/Ärger.txt", false, 0, rules([](RenameRules& r) { r.nameMask = "[N9-12]x"; }), "x.txt",
         Status::Ready},
        {"/photos/trip/x.jpg", false, 0, rules([](RenameRules& r) { r.nameMask = "[P]_[D]_[T]"; }),
         "trip_2026-03-04_05.06.07.jpg", Status::Ready},
        {"/p/x.tar.gz", false, 0, rules([](RenameRules& r) { r.extensionMask = "tgz"; }), "x.tar.tgz",
         Status::Ready},
        {"/p/folder.d", true, 0, rules([](RenameRules& r) { r.nameMask = "[N]_[E]"; }), "folder.d_",
         Status::Ready},
        {"/p/.bashrc", false, 0, rules([](RenameRules& r) { r.nameMask = "[N]"; }), ".bashrc",
         Status::Unchanged},
        {"/p/keep [X] [N.txt", false, 0, rules([](RenameRules&) {}), "keep [X] [N.txt", Status::Unchanged},
        {"/p/a-b-a.txt", false, 0, rules([](RenameRules& r) {
             r.find = "A";
             r.replace = "z";
             r.matchCase = false;
         }),
         "z-b-z.txt", Status::Ready},
        {"/p/a-b-a.txt", false, 0, rules([](RenameRules& r) {
             r.find = "A";
             r.replace = "z";
         }),
         "a-b-a.txt", Status::Unchanged},
        {"/p/2026_05_img.png", false, 0, rules([](RenameRules& r) {
             r.find = R"((\d+)_(\d+)_(\w+))";
             r.replace = "$3 \\2-$1";
             r.regularExpression = true;
         }),
         "img 05-2026.png", Status::Ready},
        {"/p/x.txt", false, 0, rules([](RenameRules& r) {
             r.find = "(";
             r.regularExpression = true;
         }),
         "", Status::BadPattern},
        {"/p/the QUICK brown's fox.TXT", false, 0,
         rules([](RenameRules& r) { r.caseChange = RenameRules::Case::Words; }), "The Quick Brown's Fox.Txt",
         Status::Ready},
        {"/p/Straße.TXT", false, 0, rules([](RenameRules& r) { r.caseChange = RenameRules::Case::Upper; }),
         "STRASSE.TXT", Status::Ready},
        {"/p/\xff\xfe.txt", false, 0, rules([](RenameRules& r) { r.caseChange = RenameRules::Case::Lower; }),
         "", Status::NotText},
        {"/p/\xff\xfe.txt", false, 0, rules([](RenameRules& r) { r.nameMask = "[N2]b"; }),
         "\xfe"
         "b.txt",
         Status::Ready},
        {"/p/a.txt", false, 0, rules([](RenameRules& r) {
             r.nameMask = "";
             r.extensionMask = "";
         }),
         "", Status::Empty},
        {"/p/a.txt", false, 0, rules([](RenameRules& r) { r.nameMask = "x/y"; }), "x/y.txt",
         Status::BadCharacter},
        {"/p/a.txt", false, 0, rules([](RenameRules& r) { r.nameMask = std::string(300, 'n'); }), nullptr,
         Status::TooLong},
    };
    for (const Case& c : cases) {
        Status status{};
        const std::string name = RenamePlan::newName({c.path, c.isDir, aTime()}, c.index, c.rules, status);
        if (c.expected) {
            EXPECT_EQ(name, c.expected) << c.path << " with " << c.rules.nameMask;
        }
        EXPECT_EQ(status, c.status) << c.path << " with " << c.rules.nameMask;
    }
}

// Names two items would take, names kept by items outside the batch or refused, chains and swaps.
TEST(RenamePlan, ClashesAreShownBeforeAnythingHappens) {
    const std::set<std::string> onDisk = {"a", "b", "c", "d", "other", "x", "y"};
    auto taken = [&](const std::string&, const std::string& name) { return onDisk.count(name) > 0; };
    struct Case {
        std::vector<std::pair<const char*, const char*>> renames;
        std::vector<Status> expected;
    };
    const Case cases[] = {
        {{{"a", "b"}, {"b", "c"}, {"c", "a"}}, {Status::Ready, Status::Ready, Status::Ready}},  // a ring
        {{{"a", "b"}, {"b", "new"}}, {Status::Ready, Status::Ready}},                           // a chain
        {{{"a", "n"}, {"b", "n"}}, {Status::Duplicate, Status::Duplicate}},
        {{{"a", "other"}}, {Status::Taken}},
        {{{"a", "b"}, {"b", "/"}}, {Status::Taken, Status::BadCharacter}},  // b stays: a cannot have its name
        {{{"x", "z"}, {"y", "z"}, {"a", "x"}}, {Status::Duplicate, Status::Duplicate, Status::Taken}},
    };
    for (const Case& c : cases) {
        std::vector<RenameRow> plan;
        for (const auto& [from, to] : c.renames) {
            const bool bad = std::string(to).find('/') != std::string::npos;
            plan.push_back({std::string("/d/") + from, to, bad ? Status::BadCharacter : Status::Ready});
        }
        RenamePlan::settle(plan, taken);
        for (size_t i = 0; i < plan.size(); ++i)
            EXPECT_EQ(plan[i].status, c.expected[i]) << c.renames[i].first << " -> " << c.renames[i].second;
    }
}

class BatchRename : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"a", "b", "c", "x", "y", "p", "q", "s"}) writeFile(dir / name, name);
    }
    JobResult run(std::vector<std::pair<std::string, std::string>> renames,
                  std::shared_ptr<FsOps> ops = nullptr) {
        for (auto& [path, name] : renames) path = dir / path;
        BatchRenameJob job(std::move(renames));
        if (ops) job.setOps(std::move(ops));
        job.setResolver(std::make_shared<test::ScriptedResolver>());  // every error: Skip
        job.start();
        job.wait();
        return job.result();
    }
    // name: content, for every entry of the folder.
    std::map<std::string, std::string> contents() {
        std::vector<DirEntry> entries;
        FolderLister::listNow(dir.path(), entries);
        std::map<std::string, std::string> out;
        for (const DirEntry& e : entries) out[e.name] = test::readFile(dir / e.name);
        return out;
    }
    TempDir dir;
};

TEST_F(BatchRename, ChainsRingsAndSwapsSucceedAndUndoAsOne) {
    const auto before = contents();
    const JobResult r =
        run({{"a", "b"}, {"b", "c"}, {"c", "a"}, {"x", "y"}, {"y", "x"}, {"p", "q"}, {"q", "r"}, {"s", "s"}});
    EXPECT_TRUE(r.ok());
    const std::map<std::string, std::string> expected = {{"a", "c"}, {"b", "a"}, {"c", "b"}, {"x", "y"},
                                                         {"y", "x"}, {"q", "p"}, {"r", "q"}, {"s", "s"}};
    EXPECT_EQ(contents(), expected);

    UndoJob undo(r.undo);
    undo.start();
    undo.wait();
    EXPECT_TRUE(undo.result().ok());
    EXPECT_EQ(contents(), before);
}

// A rename that fails leaves its item, and the items waiting for its name, as they were; the others go.
TEST_F(BatchRename, AFailureLeavesTheRestAsTheyWere) {
    auto ops = std::make_shared<test::FaultyFsOps>();
    ops->hook = [](const std::string& op, const std::string& path) {
        return op == "rename" && (path.ends_with("/c") || path.ends_with("/q")) ? -EACCES : 0;
    };
    const auto before = contents();
    const JobResult r = run({{"a", "b"}, {"b", "c"}, {"c", "a"}, {"p", "q"}, {"q", "r"}, {"x", "z"}}, ops);
    ASSERT_EQ(r.reports.size(), 2u);
    auto expected = before;
    expected.erase("x");
    expected["z"] = "x";
    EXPECT_EQ(contents(), expected) << "the ring and the chain stay; nothing is left under a temporary name";
}

}  // namespace
}  // namespace kv
