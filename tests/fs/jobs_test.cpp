#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <thread>

#include "fs/faultyfsops.h"
#include "fs/scriptedresolver.h"
#include "fs/tempdir.h"
#include "fs/waituntil.h"
#include "platform/fs/listing/folderlister.h"
#include "platform/fs/operations/deletejob.h"
#include "platform/fs/operations/newitemjob.h"
#include "platform/fs/operations/renamejob.h"
#include "platform/fs/operations/transferjob.h"
#include "platform/fs/operations/undojob.h"
#include "platform/fs/trash/trashjob.h"

namespace kv {
namespace {

using test::exists;
using test::readFile;
using test::ScriptedResolver;
using test::TempDir;
using test::writeFile;

JobResult runJob(FileJob& job, std::shared_ptr<JobResolver> resolver = nullptr) {
    job.setResolver(std::move(resolver));
    job.start();
    job.wait();
    return job.result();
}

JobResult transfer(TransferMode mode, std::vector<std::string> sources, const std::string& target,
                   std::shared_ptr<JobResolver> resolver = nullptr) {
    TransferJob job(mode, std::move(sources), target);
    return runJob(job, std::move(resolver));
}

ino_t inodeOf(const std::string& p) {
    struct stat st {};
    ::lstat(p.c_str(), &st);
    return st.st_ino;
}

TEST(TransferJob, CopyKeepsContentsModesTimesAndLinks) {
    TempDir src, dst;
    mkdir((src / "tree").c_str(), 0750);
    mkdir((src / "tree/sub").c_str(), 0755);
    writeFile(src / "tree/a.bin", std::string(300000, 'a'));
    writeFile(src / "tree/sub/empty", "");
    chmod((src / "tree/a.bin").c_str(), 0640);
    ASSERT_EQ(symlink("../a.bin", (src / "tree/sub/link").c_str()), 0);
    const struct timespec times[2] = {{1000000, 0}, {1234567890, 123456789}};
    utimensat(AT_FDCWD, (src / "tree/a.bin").c_str(), times, 0);
    utimensat(AT_FDCWD, (src / "tree").c_str(), times, 0);

    const JobResult r = transfer(TransferMode::Copy, {src / "tree"}, dst.path());
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(readFile(dst / "tree/a.bin"), std::string(300000, 'a'));
    EXPECT_TRUE(exists(dst / "tree/sub/empty"));
    char buf[64] = {};
    ASSERT_GT(readlink((dst / "tree/sub/link").c_str(), buf, sizeof buf - 1), 0);
    EXPECT_STREQ(buf, "../a.bin");
    struct stat st {};
    stat((dst / "tree/a.bin").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
    stat((dst / "tree").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    EXPECT_EQ(st.st_mtim.tv_sec, 1234567890);
    EXPECT_EQ(r.undo.kind, UndoInfo::Kind::Copy);
    EXPECT_EQ(r.undo.created, std::vector<std::string>{dst / "tree"});
    EXPECT_TRUE(exists(src / "tree/a.bin"));
}

TEST(TransferJob, MoveWithinFilesystemRenames) {
    TempDir dir;
    mkdir((dir / "to").c_str(), 0755);
    writeFile(dir / "f", "data");
    const ino_t ino = inodeOf(dir / "f");
    const JobResult r = transfer(TransferMode::Move, {dir / "f"}, dir / "to");
    EXPECT_TRUE(r.ok());
    EXPECT_FALSE(exists(dir / "f"));
    EXPECT_EQ(inodeOf(dir / "to/f"), ino);
    ASSERT_EQ(r.undo.moved.size(), 1u);
    EXPECT_EQ(r.undo.moved[0], std::make_pair(dir / "f", dir / "to/f"));
}

TEST(TransferJob, MoveAcrossFilesystems) {
    TempDir src;
    TempDir dst("/dev/shm");
    if (test::deviceOf(src.path()) == test::deviceOf(dst.path())) {
        GTEST_SKIP() << "/dev/shm is on the same filesystem as /tmp here";
    }
    mkdir((src / "d").c_str(), 0755);
    writeFile(src / "d/x", std::string(100000, 'x'));
    ASSERT_EQ(symlink("x", (src / "d/l").c_str()), 0);
    const JobResult r = transfer(TransferMode::Move, {src / "d"}, dst.path());
    EXPECT_TRUE(r.ok()) << (r.reports.empty() ? "" : r.reports[0].path);
    EXPECT_FALSE(exists(src / "d"));
    EXPECT_EQ(readFile(dst / "d/x"), std::string(100000, 'x'));
    EXPECT_TRUE(exists(dst / "d/l"));
    EXPECT_EQ(r.undo.moved, (std::vector<std::pair<std::string, std::string>>{{src / "d", dst / "d"}}));
}

TEST(TransferJob, FolderIntoItselfIsRefused) {
    TempDir dir;
    mkdir((dir / "a").c_str(), 0755);
    mkdir((dir / "a/b").c_str(), 0755);
    writeFile(dir / "a/file", "keep");
    ASSERT_EQ(symlink((dir / "a/b").c_str(), (dir / "via-link").c_str()), 0);
    struct Row {
        TransferMode mode;
        std::string target;
    };
    for (const Row& row : {Row{TransferMode::Move, dir / "a"}, Row{TransferMode::Move, dir / "a/b"},
                           Row{TransferMode::Copy, dir / "a/b"}, Row{TransferMode::Move, dir / "via-link"},
                           Row{TransferMode::Copy, dir / "via-link"}}) {
        auto resolver = std::make_shared<ScriptedResolver>();
        const JobResult r = transfer(row.mode, {dir / "a"}, row.target, resolver);
        ASSERT_EQ(resolver->errors.size(), 1u) << row.target;
        EXPECT_FALSE(resolver->errors[0].canRetry);
        EXPECT_EQ(resolver->errors[0].report.problem, JobProblem::IntoItself);
        EXPECT_EQ(r.reports.size(), 1u);
        EXPECT_EQ(readFile(dir / "a/file"), "keep");
        EXPECT_FALSE(exists(dir / "a/b/a"));
    }
}

TEST(TransferJob, ClashAnswers) {
    struct Row {
        ClashChoice choice;
        std::string expectOld;  // content at the old name afterwards
        bool expectSecond;      // a "(2)" copy exists
    };
    for (const Row& row : {Row{ClashChoice::Skip, "old", false}, Row{ClashChoice::Replace, "new", false},
                           Row{ClashChoice::KeepBoth, "old", true}}) {
        for (TransferMode mode : {TransferMode::Copy, TransferMode::Move}) {
            TempDir src, dst;
            writeFile(src / "r.txt", "new");
            writeFile(dst / "r.txt", "old");
            auto resolver = std::make_shared<ScriptedResolver>();
            resolver->async = true;
            resolver->onClash = [&](const ClashRequest&) { return ClashDecision{row.choice, false}; };
            transfer(mode, {src / "r.txt"}, dst.path(), resolver);
            ASSERT_EQ(resolver->clashes.size(), 1u);
            EXPECT_EQ(resolver->clashes[0].suggestedName, "r (2).txt");
            EXPECT_EQ(readFile(dst / "r.txt"), row.expectOld);
            EXPECT_EQ(exists(dst / "r (2).txt"), row.expectSecond);
            if (row.expectSecond) {
                EXPECT_EQ(readFile(dst / "r (2).txt"), "new");
            }
            // A source stays unless its data reached the target.
            const bool delivered = row.choice != ClashChoice::Skip;
            EXPECT_EQ(exists(src / "r.txt"), mode == TransferMode::Copy || !delivered);
        }
    }
}

TEST(TransferJob, CaseOnlyClashAsks) {
    TempDir src, dst;
    writeFile(src / "a.txt", "lower");
    writeFile(dst / "A.txt", "upper");
    auto resolver = std::make_shared<ScriptedResolver>();
    transfer(TransferMode::Copy, {src / "a.txt"}, dst.path(), resolver);
    ASSERT_EQ(resolver->clashes.size(), 1u);
    EXPECT_TRUE(resolver->clashes[0].caseOnly);
    EXPECT_EQ(resolver->clashes[0].target, dst / "A.txt");
    EXPECT_FALSE(exists(dst / "a.txt"));
    EXPECT_EQ(readFile(dst / "A.txt"), "upper");

    // Replace: the new name and content, the differently-cased old one gone.
    resolver->onClash = [](const ClashRequest&) { return ClashDecision{ClashChoice::Replace, false}; };
    transfer(TransferMode::Move, {src / "a.txt"}, dst.path(), resolver);
    EXPECT_EQ(readFile(dst / "a.txt"), "lower");
    EXPECT_FALSE(exists(dst / "A.txt"));
}

TEST(TransferJob, FoldersMergeAndApplyToAll) {
    TempDir src, dst;
    mkdir((src / "d").c_str(), 0755);
    mkdir((dst / "d").c_str(), 0755);
    for (const char* n : {"1", "2", "3"}) {
        writeFile(src / "d/" + n, std::string("new") + n);
        writeFile(dst / "d/" + n, "old");
    }
    writeFile(src / "d/only-new", "n");
    writeFile(dst / "d/only-old", "o");
    auto resolver = std::make_shared<ScriptedResolver>();
    resolver->onClash = [](const ClashRequest& r) {
        return r.merge() ? ClashDecision{ClashChoice::Replace, false}
                         : ClashDecision{ClashChoice::Replace, true};
    };
    const JobResult r = transfer(TransferMode::Move, {src / "d"}, dst.path(), resolver);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(resolver->clashes.size(), 2u);  // the folder, then the first file "for all"
    EXPECT_EQ(readFile(dst / "d/1"), "new1");
    EXPECT_EQ(readFile(dst / "d/3"), "new3");
    EXPECT_EQ(readFile(dst / "d/only-old"), "o");
    EXPECT_EQ(readFile(dst / "d/only-new"), "n");
    EXPECT_FALSE(exists(src / "d"));
}

TEST(TransferJob, CopyIntoOwnFolderMakesSecondCopy) {
    TempDir dir;
    writeFile(dir / "f.txt", "x");
    auto resolver = std::make_shared<ScriptedResolver>();
    EXPECT_TRUE(transfer(TransferMode::Copy, {dir / "f.txt"}, dir.path(), resolver).ok());
    EXPECT_TRUE(resolver->clashes.empty());
    EXPECT_EQ(readFile(dir / "f (2).txt"), "x");
    // Moving into its own folder does nothing.
    EXPECT_TRUE(transfer(TransferMode::Move, {dir / "f.txt"}, dir.path(), resolver).ok());
    EXPECT_EQ(readFile(dir / "f.txt"), "x");
}

TEST(TransferJob, CancelWhileAskingAndPauseResume) {
    TempDir src, dst;
    writeFile(src / "f", "new");
    writeFile(dst / "f", "old");
    struct Silent : JobResolver {
        void resolveClash(const ClashRequest&, ClashReply reply) override {
            kept = reply;
            asked = true;
        }
        void resolveError(const ErrorRequest&, ErrorReply) override {}
        ClashReply kept;
        std::atomic<bool> asked{false};
    };
    auto resolver = std::make_shared<Silent>();
    {
        TransferJob job(TransferMode::Move, {src / "f"}, dst.path());
        job.setResolver(resolver);
        job.start();
        ASSERT_TRUE(test::waitUntil([&] { return bool(resolver->asked); }));
        EXPECT_FALSE(job.isFinished());  // waiting for the prompt
        job.cancel();
        job.wait();
        EXPECT_TRUE(job.result().cancelled);
    }
    resolver->kept({ClashChoice::Replace, false});  // a late answer is ignored
    EXPECT_EQ(readFile(dst / "f"), "old");
    EXPECT_EQ(readFile(src / "f"), "new");

    TransferJob job(TransferMode::Copy, {src / "f"}, dst / "..");
    job.start();
    job.pause();
    job.resume();
    job.wait();
    EXPECT_FALSE(job.result().cancelled);
}

TEST(TransferJob, ErrorRetryThenSuccess) {
    TempDir src, dst;
    writeFile(src / "f", std::string(200000, 'z'));
    auto ops = std::make_shared<test::FaultyFsOps>();
    int failures = 1;
    ops->hook = [&](const std::string& op, const std::string&) {
        return op == "write" && failures-- > 0 ? -EIO : 0;
    };
    auto resolver = std::make_shared<ScriptedResolver>();
    resolver->onError = [](const ErrorRequest&) { return ErrorDecision{ErrorChoice::Retry, false}; };
    TransferJob job(TransferMode::Copy, {src / "f"}, dst.path());
    job.setOps(ops);
    const JobResult r = runJob(job, resolver);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(resolver->errors.size(), 1u);
    EXPECT_EQ(readFile(dst / "f"), std::string(200000, 'z'));
}

// Small files go through the worker threads: a folder of many of them arrives whole, with every
// file's mode and times, and the folder's own read-only mode and times set only after its files are in.
TEST(TransferJob, ManySmallFilesArriveWholeWithModesAndTimes) {
    TempDir src, dst;
    TempDir other("/dev/shm");
    const int kFiles = 400;
    mkdir((src / "many").c_str(), 0755);
    const mode_t modes[] = {0600, 0644, 0755, 0444};
    for (int i = 0; i < kFiles; ++i) {
        const std::string p = src / ("many/f" + std::to_string(i));
        writeFile(p, std::string(static_cast<size_t>(i * 37 % 9000), static_cast<char>('a' + i % 26)));
        chmod(p.c_str(), modes[i % 4]);
        const struct timespec times[2] = {{1000000, 0}, {1500000000 + i, 0}};
        utimensat(AT_FDCWD, p.c_str(), times, 0);
    }
    chmod((src / "many").c_str(), 0555);
    const struct timespec dirTimes[2] = {{1000000, 0}, {1400000000, 0}};
    utimensat(AT_FDCWD, (src / "many").c_str(), dirTimes, 0);

    auto check = [&](const std::string& root, const char* what) {
        struct stat dst {};
        ASSERT_EQ(::lstat(root.c_str(), &dst), 0) << what;
        EXPECT_EQ(dst.st_mode & 07777, 0555u) << what;
        EXPECT_EQ(dst.st_mtim.tv_sec, 1400000000) << what;
        std::vector<DirEntry> listed;
        ASSERT_EQ(FolderLister::listNow(root, listed), 0);
        EXPECT_EQ(listed.size(), static_cast<size_t>(kFiles)) << what << ": a name too many or too few";
        for (int i = 0; i < kFiles; ++i) {
            const std::string p = root + "/f" + std::to_string(i);
            struct stat st {};
            ASSERT_EQ(::lstat(p.c_str(), &st), 0) << what << " f" << i;
            EXPECT_EQ(readFile(p),
                      std::string(static_cast<size_t>(i * 37 % 9000), static_cast<char>('a' + i % 26)));
            EXPECT_EQ(st.st_mode & 07777, modes[i % 4]) << what << " f" << i;
            EXPECT_EQ(st.st_mtim.tv_sec, 1500000000 + i) << what << " f" << i;
        }
    };
    // A strict umask takes bits away from what the copies are made with: they must get them back.
    const mode_t umaskBefore = umask(077);
    TransferJob copy(TransferMode::Copy, {src / "many"}, dst.path());
    const JobResult copied = runJob(copy);
    umask(umaskBefore);
    ASSERT_TRUE(copied.ok());
    check(dst / "many", "copy");
    EXPECT_EQ(copied.undo.created, std::vector<std::string>{dst / "many"});

    TransferJob move(TransferMode::Move, {dst / "many"}, other.path());
    ASSERT_TRUE(runJob(move).ok());
    check(other / "many", "move across filesystems");
    EXPECT_FALSE(exists(dst / "many"));
}

// A name taken by someone else while the copy was being made is asked about like any clash, and
// nothing is replaced without the answer; the copy that lost its name leaves nothing behind.
TEST(TransferJob, NameTakenDuringTheCopyIsAskedAbout) {
    struct Ops : test::FaultyFsOps {
        bool unnamed = true;
        int createUnnamed(const std::string& dir, mode_t mode) override {
            return unnamed ? FaultyFsOps::createUnnamed(dir, mode) : -EOPNOTSUPP;
        }
    };
    // A small file is made under its name; a big one without a name, or under a temporary name
    // where the filesystem has no unnamed files.
    enum class Way { OwnName, Unnamed, TemporaryName };
    // Files into an existing folder, and a folder the job makes itself (where it knows what is there).
    for (const bool intoNewFolder : {false, true}) {
        for (const Way way : {Way::OwnName, Way::Unnamed, Way::TemporaryName}) {
            for (const ClashChoice choice :
                 {ClashChoice::Skip, ClashChoice::KeepBoth, ClashChoice::Replace}) {
                TempDir src, dst;
                mkdir((src / "d").c_str(), 0755);
                std::vector<std::string> sources;
                const std::string ours7 = "new 7" + std::string(way == Way::OwnName ? 0 : 1 << 20, '7');
                for (int i = 0; i < 20; ++i) {
                    sources.push_back(src / ("d/f" + std::to_string(i)));
                    writeFile(sources.back(), i == 7 ? ours7 : "new " + std::to_string(i));
                }
                const std::string into = intoNewFolder ? dst / "d" : dst.path();
                if (intoNewFolder) {
                    sources = {src / "d"};
                }
                auto ops = std::make_shared<Ops>();
                ops->unnamed = way != Way::TemporaryName;
                const std::string raced = into + "/f7";
                ops->hook = [&](const std::string& op, const std::string& path) {
                    // Just before the copy of f7 takes its name, another program writes a file there.
                    const bool placingF7 = ((op == "create" || op == "link") && path == raced) ||
                                           (op == "rename" && path.find("/.kv-") != std::string::npos &&
                                            readFile(path) == ours7);
                    if (placingF7 && !exists(raced)) {
                        writeFile(raced, "theirs");
                    }
                    return 0;
                };
                auto resolver = std::make_shared<ScriptedResolver>();
                resolver->onClash = [&](const ClashRequest&) { return ClashDecision{choice, false}; };
                TransferJob job(TransferMode::Copy, sources, dst.path());
                job.setOps(ops);
                runJob(job, resolver);
                const std::string what = std::string(intoNewFolder ? "new folder" : "existing folder") +
                                         ", way " + std::to_string(static_cast<int>(way)) + ", answer " +
                                         std::to_string(static_cast<int>(choice));
                ASSERT_EQ(resolver->clashes.size(), 1u) << what;
                EXPECT_EQ(readFile(raced), choice == ClashChoice::Replace ? ours7 : "theirs") << what;
                EXPECT_EQ(exists(into + "/f7 (2)"), choice == ClashChoice::KeepBoth) << what;
                for (int i = 0; i < 20; ++i) {
                    if (i != 7) {
                        EXPECT_EQ(readFile(into + "/f" + std::to_string(i)), "new " + std::to_string(i))
                            << what;
                    }
                }
                std::vector<DirEntry> listed;
                FolderLister::listNow(into, listed);
                EXPECT_EQ(listed.size(), choice == ClashChoice::KeepBoth ? 21u : 20u)
                    << what << ": a temporary file left";
            }
        }
    }
}

TEST(Jobs, NonUtf8NameSurvivesEveryOperation) {
    TempDir dir;
    TempDir other("/dev/shm");
    const std::string name = "r\xE9sum\xE9\xFF.txt";  // Latin-1 bytes, not UTF-8
    mkdir((dir / "a").c_str(), 0755);
    mkdir((dir / "b").c_str(), 0755);
    writeFile(dir / "a/" + name, "payload");

    std::vector<DirEntry> listed;
    ASSERT_EQ(FolderLister::listNow(dir / "a", listed), 0);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, name);

    EXPECT_TRUE(transfer(TransferMode::Copy, {dir / "a/" + name}, dir / "b").ok());
    EXPECT_EQ(readFile(dir / "b/" + name), "payload");
    EXPECT_TRUE(transfer(TransferMode::Move, {dir / "b/" + name}, other.path()).ok());
    EXPECT_EQ(readFile(other / name), "payload");
    EXPECT_TRUE(transfer(TransferMode::Move, {other / name}, dir / "b").ok());

    const std::string renamed = "\xFE" + name;
    RenameJob rename(dir / "b/" + name, renamed);
    EXPECT_TRUE(runJob(rename).ok());
    EXPECT_EQ(readFile(dir / "b/" + renamed), "payload");

    TrashJob trash({dir / "b/" + renamed}, dir / "Trash");
    const JobResult r = runJob(trash);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.undo.trashed.size(), 1u);
    EXPECT_EQ(readFile(r.undo.trashed[0].trashedPath), "payload");
    UndoJob undo(r.undo, dir / "Trash");
    EXPECT_TRUE(runJob(undo).ok());
    EXPECT_EQ(readFile(dir / "b/" + renamed), "payload");
}

TEST(RenameJob, ValidatesAndAsksOnClash) {
    TempDir dir;
    writeFile(dir / "one", "1");
    writeFile(dir / "Two", "2");
    auto resolver = std::make_shared<ScriptedResolver>();
    for (const std::string& bad : std::vector<std::string>{"", ".", "..", "a/b", std::string(256, 'x')}) {
        RenameJob job(dir / "one", bad);
        EXPECT_FALSE(runJob(job, resolver).ok()) << bad;
    }
    RenameJob clash(dir / "one", "two");  // case-only against "Two"
    runJob(clash, resolver);
    ASSERT_EQ(resolver->clashes.size(), 1u);
    EXPECT_TRUE(resolver->clashes[0].caseOnly);
    EXPECT_EQ(readFile(dir / "Two"), "2");
    EXPECT_TRUE(exists(dir / "one"));

    RenameJob caseChange(dir / "Two", "TWO");
    const JobResult r = runJob(caseChange, resolver);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(readFile(dir / "TWO"), "2");
    UndoJob undo(r.undo);
    EXPECT_TRUE(runJob(undo).ok());
    EXPECT_EQ(readFile(dir / "Two"), "2");
}

TEST(NewFolderJob, PicksFreeNameAndUndoes) {
    TempDir dir;
    mkdir((dir / "new folder").c_str(), 0755);
    NewFolderJob job(dir.path());
    const JobResult r = runJob(job);
    ASSERT_EQ(r.undo.created.size(), 1u);
    EXPECT_EQ(r.undo.created[0], dir / "New Folder (2)");
    writeFile(dir / "New Folder (2)/x", "");
    UndoJob blocked(r.undo);
    const JobResult u = runJob(blocked);
    EXPECT_FALSE(u.ok());  // no longer empty: says so, keeps it
    EXPECT_TRUE(exists(dir / "New Folder (2)/x"));
    unlink((dir / "New Folder (2)/x").c_str());
    UndoJob undo(r.undo);
    EXPECT_TRUE(runJob(undo).ok());
    EXPECT_FALSE(exists(dir / "New Folder (2)"));
}

TEST(UndoJob, CopyAndMoveUndo) {
    TempDir dir;
    mkdir((dir / "to").c_str(), 0755);
    writeFile(dir / "f", "x");
    const JobResult copied = transfer(TransferMode::Copy, {dir / "f"}, dir / "to");
    UndoJob undoCopy(copied.undo, dir / "Trash");
    EXPECT_TRUE(runJob(undoCopy).ok());
    EXPECT_FALSE(exists(dir / "to/f"));
    EXPECT_TRUE(exists(dir / "Trash/files/f"));  // an undone copy goes to the trash, not away

    const JobResult moved = transfer(TransferMode::Move, {dir / "f"}, dir / "to");
    UndoJob undoMove(moved.undo);
    EXPECT_TRUE(runJob(undoMove).ok());
    EXPECT_EQ(readFile(dir / "f"), "x");
    UndoJob again(moved.undo);  // the item is no longer where the move put it
    const JobResult r = runJob(again);
    ASSERT_EQ(r.reports.size(), 1u);
    EXPECT_EQ(r.reports[0].problem, JobProblem::Gone);
}

// A merge that replaced files, undone: the moved items go back (their emptied source folder made
// again) and what Replace overwrote comes back from the trash, for a move and for a copy.
TEST(UndoJob, MergeWithReplaceUndoesWithoutLoss) {
    for (const TransferMode mode : {TransferMode::Move, TransferMode::Copy}) {
        TempDir dir;
        for (const char* d : {"alpha", "alpha/mergeme", "beta", "beta/mergeme"})
            mkdir((dir / d).c_str(), 0755);
        writeFile(dir / "alpha/mergeme/a.txt", "new a");
        writeFile(dir / "alpha/mergeme/b.txt", "b");
        writeFile(dir / "beta/mergeme/a.txt", "old a");
        writeFile(dir / "beta/mergeme/c.txt", "c");
        auto resolver = std::make_shared<ScriptedResolver>();
        resolver->onClash = [](const ClashRequest&) { return ClashDecision{ClashChoice::Replace, false}; };
        TransferJob job(mode, {dir / "alpha/mergeme"}, dir / "beta", dir / "Trash");
        const JobResult done = runJob(job, resolver);
        ASSERT_TRUE(done.ok());
        EXPECT_EQ(readFile(dir / "beta/mergeme/a.txt"), "new a");
        ASSERT_EQ(done.undo.replaced.size(), 1u);
        EXPECT_TRUE(done.undo.unrestorable.empty());
        EXPECT_EQ(exists(dir / "alpha/mergeme"), mode == TransferMode::Copy);

        UndoJob undo(done.undo, dir / "Trash");
        const JobResult undone = runJob(undo, resolver);
        EXPECT_TRUE(undone.ok()) << (undone.reports.empty() ? "" : undone.reports[0].path);
        EXPECT_EQ(readFile(dir / "beta/mergeme/a.txt"), "old a");
        EXPECT_EQ(readFile(dir / "beta/mergeme/c.txt"), "c");
        EXPECT_FALSE(exists(dir / "beta/mergeme/b.txt"));
        EXPECT_EQ(readFile(dir / "alpha/mergeme/a.txt"), "new a");
        EXPECT_EQ(readFile(dir / "alpha/mergeme/b.txt"), "b");
    }
}

TEST(DeleteJob, RemovesTreeButNotLinkTargets) {
    TempDir dir, outside;
    writeFile(outside / "precious", "p");
    mkdir((dir / "d").c_str(), 0755);
    mkdir((dir / "d/e").c_str(), 0755);
    writeFile(dir / "d/e/f", "");
    ASSERT_EQ(symlink(outside.path().c_str(), (dir / "d/link").c_str()), 0);
    DeleteJob job({dir / "d"});
    const JobResult r = runJob(job);
    EXPECT_TRUE(r.ok());
    EXPECT_FALSE(exists(dir / "d"));
    EXPECT_EQ(readFile(outside / "precious"), "p");
    EXPECT_EQ(job.progress().itemsDone, 4u);
}

}  // namespace
}  // namespace kv
