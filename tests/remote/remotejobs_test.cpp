// The file jobs on servers, through the GVfs daemons of the test's own session bus, against sshd and
// pyftpdlib on 127.0.0.1 serving folders of this machine: what a job wrote is checked on the disk.
#include <gtest/gtest.h>

#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "fs/tempdir.h"
#include "platform/fs/remote/remotejobs.h"
#include "remote/jobhelpers.h"
#include "remote/servers.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
using test::contents;
using test::finish;
using test::kJobWait;
using test::makeTree;
using test::mtimeOf;
using test::randomBytes;
using test::Script;

class RemoteJobsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (::geteuid() != 0 && !test::exists("/run/sshd")) return;
        ssh = new test::SshServer;
        if (ssh->running()) test::mountAt(ssh->address("/"), {});
    }
    static void TearDownTestSuite() { delete ssh; }
    void SetUp() override {
        if (!ssh) GTEST_SKIP() << "sshd wants /run/sshd, which only its service or root makes";
        ASSERT_TRUE(ssh->running()) << ssh->problem();
    }

    std::string at(const std::string& localPath) const { return ssh->address(localPath); }

    static test::SshServer* ssh;
};

test::SshServer* RemoteJobsTest::ssh = nullptr;

TEST_F(RemoteJobsTest, ATreeGoesToTheServerAndBackByteForByte) {
    test::TempDir local, served, back;
    makeTree(local / "tree");
    const auto original = contents(local / "tree");

    RemoteTransferJob up(TransferMode::Copy, {local / "tree"}, at(served.path()));
    const JobResult sent = finish(up);
    EXPECT_TRUE(sent.ok()) << sent.reports.size();
    EXPECT_EQ(contents(served / "tree"), original) << "no temporary left, nothing missing";
    EXPECT_EQ(mtimeOf(served / "tree/big.bin"), 1000000000);
    EXPECT_EQ(sent.undo.kind, UndoInfo::Kind::Copy);
    EXPECT_EQ(sent.undo.created, std::vector<std::string>{at(served / "tree")});
    EXPECT_EQ(up.progress().bytesDone, up.progress().bytesTotal);
    EXPECT_EQ(up.progress().itemsTotal, 8u);

    RemoteTransferJob down(TransferMode::Copy, {at(served / "tree")}, back.path());
    const JobResult fetched = finish(down);
    EXPECT_TRUE(fetched.ok());
    EXPECT_EQ(contents(back / "tree"), original);
    EXPECT_EQ(mtimeOf(back / "tree/big.bin"), 1000000000);
}

TEST_F(RemoteJobsTest, ClashesAreAskedAndAMoveOnTheServerIsItsRename) {
    test::TempDir local, served;
    test::writeFile(local / "file", "new contents");
    ::mkdir((served / "dst").c_str(), 0755);
    test::writeFile(served / "dst/file", "old");

    auto script = std::make_shared<Script>();
    script->clashes = {ClashChoice::Replace, ClashChoice::KeepBoth};
    RemoteTransferJob replace(TransferMode::Copy, {local / "file"}, at(served / "dst"));
    EXPECT_TRUE(finish(replace, script).ok());
    ASSERT_EQ(script->askedClashes.size(), 1u);
    const ClashRequest& asked = script->askedClashes[0];
    EXPECT_EQ(asked.target, at(served / "dst/file"));
    EXPECT_EQ(asked.sourceSize, 12u);
    EXPECT_EQ(asked.targetSize, 3u);
    EXPECT_EQ(asked.suggestedName, "file (2)");
    EXPECT_EQ(test::readFile(served / "dst/file"), "new contents");

    RemoteTransferJob keepBoth(TransferMode::Copy, {local / "file"}, at(served / "dst"));
    const JobResult both = finish(keepBoth, script);
    EXPECT_TRUE(both.ok());
    EXPECT_EQ(both.undo.created, std::vector<std::string>{at(served / "dst/file (2)")});
    EXPECT_EQ(test::readFile(served / "dst/file (2)"), "new contents");

    // A move on one server: its own rename, recorded for undo, and undone.
    ::mkdir((served / "elsewhere").c_str(), 0755);
    const struct stat before = [&] {
        struct stat st {};
        ::stat((served / "dst/file (2)").c_str(), &st);
        return st;
    }();
    RemoteTransferJob move(TransferMode::Move, {at(served / "dst/file (2)")}, at(served / "elsewhere"));
    const JobResult moved = finish(move);
    EXPECT_TRUE(moved.ok());
    struct stat after {};
    ASSERT_EQ(::stat((served / "elsewhere/file (2)").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "renamed, not copied";
    EXPECT_FALSE(test::exists(served / "dst/file (2)"));
    ASSERT_EQ(moved.undo.kind, UndoInfo::Kind::Move);
    RemoteUndoJob undoMove(moved.undo);
    EXPECT_TRUE(finish(undoMove).ok());
    EXPECT_TRUE(test::exists(served / "dst/file (2)"));
    EXPECT_FALSE(test::exists(served / "elsewhere/file (2)"));

    // A folder into itself is refused; copied into its own folder, it is a second copy beside it.
    RemoteTransferJob intoItself(TransferMode::Move, {at(served / "dst")}, at(served / "dst"));
    const JobResult refused = finish(intoItself);
    ASSERT_EQ(refused.reports.size(), 1u);
    EXPECT_EQ(refused.reports[0].problem, JobProblem::IntoItself);
    RemoteTransferJob duplicate(TransferMode::Copy, {at(served / "dst")}, at(served.path()));
    EXPECT_TRUE(finish(duplicate).ok());
    EXPECT_EQ(test::readFile(served / "dst (2)/file"), "new contents");
}

TEST_F(RemoteJobsTest, FoldersAreMadeRenamedDeletedAndACopyUndone) {
    test::TempDir local, served;
    RemoteNewFolderJob made(at(served.path()), "made");
    const JobResult madeResult = finish(made);
    EXPECT_TRUE(madeResult.ok());
    EXPECT_EQ(madeResult.undo.created, std::vector<std::string>{at(served / "made")});
    RemoteNewFolderJob again(at(served.path()), "made");
    EXPECT_EQ(finish(again).undo.created, std::vector<std::string>{at(served / "made (2)")});

    test::writeFile(served / "other", "x");
    RemoteRenameJob onto(at(served / "made"), "other");
    const JobResult refused = finish(onto);
    ASSERT_EQ(refused.reports.size(), 1u);
    EXPECT_EQ(refused.reports[0].error, EEXIST);
    EXPECT_EQ(test::readFile(served / "other"), "x");
    RemoteRenameJob rename(at(served / "made"), "named é");
    const JobResult renamed = finish(rename);
    EXPECT_TRUE(renamed.ok());
    EXPECT_TRUE(test::exists(served / "named é"));
    ASSERT_EQ(renamed.undo.moved.size(), 1u);
    RemoteUndoJob undoRename(renamed.undo);
    EXPECT_TRUE(finish(undoRename).ok());
    EXPECT_TRUE(test::exists(served / "made"));
    RemoteUndoJob undoNew(madeResult.undo);
    EXPECT_TRUE(finish(undoNew).ok());
    EXPECT_FALSE(test::exists(served / "made"));

    makeTree(local / "tree");
    RemoteTransferJob copy(TransferMode::Copy, {local / "tree"}, at(served.path()));
    const JobResult copied = finish(copy);
    ASSERT_TRUE(test::exists(served / "tree/sub/deeper/note"));
    RemoteUndoJob undoCopy(copied.undo);
    EXPECT_TRUE(finish(undoCopy).ok());
    EXPECT_FALSE(test::exists(served / "tree"));
    EXPECT_TRUE(test::exists(local / "tree/sub/deeper/note"));

    // sftp has no trash: the item stays, said so; deleting for good takes the folder with its contents.
    makeTree(served / "doomed");
    RemoteDeleteJob toTrash({at(served / "doomed")}, true);
    const JobResult noTrash = finish(toTrash);
    ASSERT_EQ(noTrash.reports.size(), 1u);
    EXPECT_EQ(noTrash.reports[0].problem, JobProblem::NoTrash);
    EXPECT_TRUE(test::exists(served / "doomed/sub/deeper/note"));
    RemoteDeleteJob forGood({at(served / "doomed"), at(served / "other")}, false);
    EXPECT_TRUE(finish(forGood).ok());
    EXPECT_FALSE(test::exists(served / "doomed"));
    EXPECT_FALSE(test::exists(served / "other"));
}

// A copy cancelled, then one whose server dies, half-way through a large file.
TEST_F(RemoteJobsTest, AnInterruptedCopyLeavesNothingUnderItsName) {
    test::TempDir local, served;
    const std::string big = local / "big";
    test::writeFile(big, "");
    ASSERT_EQ(::truncate(big.c_str(), 2LL << 30), 0);  // sparse: costs no disk, streams at full speed
    test::writeFile(local / "after", "small");
    auto script = std::make_shared<Script>();
    auto halfway = [&](RemoteTransferJob& job) {
        job.setResolver(script);
        job.start();
        return QTest::qWaitFor([&] { return job.progress().bytesDone > 0 || job.isFinished(); }, kJobWait);
    };

    RemoteTransferJob cancelled(TransferMode::Copy, {big}, at(served.path()));
    ASSERT_TRUE(halfway(cancelled));
    ASSERT_FALSE(cancelled.isFinished()) << "too fast to be cut short";
    cancelled.cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return cancelled.isFinished(); }, kJobWait));
    EXPECT_TRUE(cancelled.result().cancelled);
    EXPECT_TRUE(cancelled.result().reports.empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return fs::is_empty(served.path()); }, kJobWait))
        << "the temporary goes";

    // A server of its own, whose death no other case sees.
    test::SshServer dying;
    ASSERT_TRUE(dying.running()) << dying.problem();
    ASSERT_EQ(test::mountAt(dying.address("/"), {}), 0);
    // The files after the large one are not tried: the job ends with the one error, asking nothing.
    RemoteTransferJob cut(TransferMode::Copy, {big, local / "after"}, dying.address(served.path()));
    ASSERT_TRUE(halfway(cut));
    ASSERT_FALSE(cut.isFinished()) << "too fast to be cut short";
    dying.dropSessions();
    // One error within the time limit and a little more, however the server's death shows.
    EXPECT_TRUE(QTest::qWaitFor([&] { return cut.isFinished(); }, 15000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return cut.isFinished(); }, kJobWait));
    const JobResult result = cut.result();
    EXPECT_FALSE(result.cancelled);
    std::string said;
    for (const JobReport& r : result.reports)
        said += std::to_string(static_cast<int>(r.action)) + " " + r.path + " errno " +
                std::to_string(r.error) + " problem " + std::to_string(static_cast<int>(r.problem)) + " " +
                r.other + "\n";
    ASSERT_EQ(result.reports.size(), 1u) << said;
    EXPECT_NE(result.reports[0].error, 0);
    EXPECT_TRUE(script->askedErrors.empty());
    EXPECT_FALSE(test::exists(served / "big"));
    EXPECT_FALSE(test::exists(served / "after"));
    for (const auto& e : fs::directory_iterator(served.path()))
        EXPECT_TRUE(e.path().filename().string().starts_with(".big.")) << e.path();
}

TEST(RemoteFtpJobs, AFolderGoesToTheServerAndBack) {
    test::TempDir local, served, back;
    test::FtpServer ftp(served.path(), {{"kim", "secret"}});
    ASSERT_TRUE(ftp.running());
    ASSERT_EQ(test::mountAt(ftp.address("kim"), "secret"), 0);
    ::mkdir((local / "docs").c_str(), 0755);
    ::mkdir((local / "docs/inner").c_str(), 0755);
    test::writeFile(local / "docs/inner/data", randomBytes(1 << 20, 3));
    test::writeFile(local / "docs/a b.txt", "text");
    RemoteTransferJob up(TransferMode::Copy, {local / "docs"}, ftp.address("kim"));
    EXPECT_TRUE(finish(up).ok());
    RemoteTransferJob down(TransferMode::Copy, {ftp.address("kim", "/docs")}, back.path());
    EXPECT_TRUE(finish(down).ok());
    EXPECT_EQ(contents(back / "docs"), contents(local / "docs"));
    EXPECT_EQ(contents(served / "docs"), contents(local / "docs"));
}

}  // namespace
}  // namespace kv
