#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include "fs/tempdir.h"
#include "platform/fs/core/siblingname.h"
#include "platform/fs/operations/duplicatejob.h"
#include "platform/fs/operations/linkjob.h"
#include "platform/fs/operations/newitemjob.h"
#include "platform/fs/operations/undojob.h"

namespace kv {
namespace {

using test::exists;
using test::readFile;
using test::TempDir;
using test::writeFile;

JobResult runSiblingJob(FileJob& job) {
    job.start();
    job.wait();
    return job.result();
}

std::string readLink(const std::string& path) {
    char target[4096];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

TEST(SiblingName, StemAndExtension) {
    struct Row {
        std::string_view name;
        bool isDir;
        size_t stem;
    } rows[] = {
        {"file.txt", false, 4},      {"archive.tar.gz", false, 7},
        {"backup.TAR.XZ", false, 6}, {"a.tar.zst", false, 1},
        {".bashrc", false, 7},       {".config.bak", false, 7},
        {"folder.d", true, 8},       {"noext", false, 5},
        {"photo.jpeg", false, 5},    {".tar.gz", false, 4},
        {"trailing.", false, 8},     {"x.gz", false, 1},
        {"tar.gz", false, 3},        {"", false, 0},
    };
    for (const Row& r : rows) EXPECT_EQ(paths::stemLength(r.name, r.isDir), r.stem) << r.name;
    // Text as UTF-16 counts in its own units.
    EXPECT_EQ(paths::stemLength(std::u16string_view(u"résumé.pdf"), false), 6u);
}

TEST(SiblingName, CountsUpWhileTaken) {
    std::set<std::string> taken = {"a (copy).txt", "a (copy 2).txt", "dir.d (link)"};
    auto isTaken = [&](const std::string& n) { return taken.count(n) != 0; };
    EXPECT_EQ(paths::siblingName("a.txt", false, "copy", isTaken), "a (copy 3).txt");
    EXPECT_EQ(paths::siblingName("b.tar.gz", false, "copy", isTaken), "b (copy).tar.gz");
    EXPECT_EQ(paths::siblingName("dir.d", true, "link", isTaken), "dir.d (link 2)");
    const std::string longName = std::string(250, 'n') + ".txt";
    const std::string fitted = paths::siblingName(longName, false, "copy", isTaken);
    EXPECT_EQ(fitted.size(), 255u);
    EXPECT_TRUE(fitted.ends_with(" (copy).txt"));
}

TEST(SiblingJobs, NewFileIsEmptyTakesAFreeNameAndUndoTrashesIt) {
    TempDir dir;
    writeFile(dir / "New File", "kept");
    NewFileJob job(dir.path());
    const JobResult r = runSiblingJob(job);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.undo.created, std::vector<std::string>{dir / "New File (2)"});
    EXPECT_EQ(r.undo.kind, UndoInfo::Kind::NewFile);
    EXPECT_EQ(readFile(dir / "New File (2)"), "");
    EXPECT_EQ(readFile(dir / "New File"), "kept");
    UndoJob undo(r.undo, dir / "Trash");
    EXPECT_TRUE(runSiblingJob(undo).ok());
    EXPECT_FALSE(exists(dir / "New File (2)"));
    EXPECT_TRUE(exists(dir / "Trash/files/New File (2)"));
}

TEST(SiblingJobs, LinksPointAtTheItemByNameAndAClashCountsOn) {
    TempDir dir;
    writeFile(dir / "a.txt", "A");
    mkdir((dir / "sub").c_str(), 0755);
    writeFile(dir / "a (link).txt", "in the way");
    LinkJob job({dir / "a.txt", dir / "sub"});
    const JobResult r = runSiblingJob(job);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.undo.created, (std::vector<std::string>{dir / "a (link 2).txt", dir / "sub (link)"}));
    EXPECT_EQ(readLink(dir / "a (link 2).txt"), "a.txt");
    EXPECT_EQ(readLink(dir / "sub (link)"), "sub");
    EXPECT_EQ(readFile(dir / "a (link).txt"), "in the way");
}

// Made in another folder (a drop's Link Here): the item's own name where it is free, its whole path.
TEST(SiblingJobs, LinksMadeInAnotherFolderTakeTheItemsNameAndPath) {
    TempDir dir;
    writeFile(dir / "a.txt", "A");
    writeFile(dir / "b.txt", "B");
    mkdir((dir / "into").c_str(), 0755);
    writeFile(dir / "into/b.txt", "in the way");
    LinkJob job({dir / "a.txt", dir / "b.txt"}, dir / "into");
    const JobResult r = runSiblingJob(job);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.undo.created, (std::vector<std::string>{dir / "into/a.txt", dir / "into/b (link).txt"}));
    EXPECT_EQ(readLink(dir / "into/a.txt"), dir / "a.txt");
    EXPECT_EQ(readFile(dir / "into/b (link).txt"), "B");
}

TEST(SiblingJobs, DuplicatesCopyFilesAndFoldersBesideThemselves) {
    TempDir dir;
    writeFile(dir / "a.txt", "A");
    writeFile(dir / "a (copy).txt", "older copy");
    mkdir((dir / "tree").c_str(), 0755);
    writeFile(dir / "tree/inner", "I");
    DuplicateJob job({dir / "a.txt", dir / "tree"});
    const JobResult r = runSiblingJob(job);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(readFile(dir / "a (copy 2).txt"), "A");
    EXPECT_EQ(readFile(dir / "a (copy).txt"), "older copy");
    EXPECT_EQ(readFile(dir / "tree (copy)/inner"), "I");
    EXPECT_EQ(r.undo.kind, UndoInfo::Kind::Copy);
    EXPECT_EQ(r.undo.created.size(), 2u);

    DuplicateJob gone({dir / "missing"});
    EXPECT_FALSE(runSiblingJob(gone).ok()) << "a vanished item is reported, not skipped silently";
}

}  // namespace
}  // namespace kv
