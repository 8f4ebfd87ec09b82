#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fs/tempdir.h"
#include "platform/fs/archives/tempcopies.h"

namespace kv::test {
namespace {

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// A child process that waits until it is killed: a pid that is alive, and then one that is gone.
class Child {
  public:
    Child() {
        m_pid = ::fork();
        if (m_pid == 0) {
            ::pause();
            ::_exit(0);
        }
    }
    ~Child() { end(); }
    pid_t pid() const { return m_pid; }
    void end() {
        if (m_pid <= 0) return;
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

  private:
    pid_t m_pid = -1;
};

TEST(TempCopies, ThisRunsCopiesGoAtItsEndExceptThoseGivenAway) {
    TempDir base;
    {
        TempCopies copies(base.path());
        const std::string a = copies.make(false), b = copies.make(false);
        ASSERT_FALSE(a.empty());
        EXPECT_EQ(a.rfind(copies.runFolder() + "/", 0), 0u);
        EXPECT_EQ(modeOf(copies.parent()), 0700u);
        ::mkdir((a + "/sub").c_str(), 0700);
        writeFile(a + "/sub/f.txt", "x");
        EXPECT_TRUE(copies.remove(a));
        EXPECT_FALSE(exists(a));
        EXPECT_FALSE(copies.remove(base / "elsewhere")) << "only its own copies";
        copies.removeThisRun();
        EXPECT_FALSE(exists(b));
        EXPECT_FALSE(exists(copies.runFolder()));
        EXPECT_TRUE(exists(copies.parent()));
    }
    TempCopies copies(base.path());
    const std::string opened = copies.make(true), previewed = copies.make(false),
                      dropped = copies.make(false);
    copies.keep(dropped);
    copies.removeThisRun();
    EXPECT_TRUE(exists(opened));
    EXPECT_TRUE(exists(dropped));
    EXPECT_FALSE(exists(previewed));
}

TEST(TempCopies, AStartRemovesOnlyTheRunsOfProcessesThatAreGone) {
    TempDir base, outside;
    writeFile(outside / "precious.txt", "keep me");
    TempCopies copies(base.path());
    ASSERT_FALSE(copies.make(false).empty());  // makes the per-user folder

    Child living, dying;
    const pid_t gone = dying.pid();
    const std::string dead = TempCopies::runName(gone);
    ASSERT_FALSE(dead.empty());
    dying.end();
    ASSERT_EQ(TempCopies::runName(gone), "");

    struct Row {
        std::string name;
        bool kept;
    } rows[] = {
        {dead, false},
        {TempCopies::runName(living.pid()), true},
        {TempCopies::runName(::getpid()), true},       // this run's
        {std::to_string(living.pid()) + "-1", false},  // its pid, another process's start time
        {"notes", true},                               // not a run's: left alone
    };
    for (const Row& r : rows) {
        const std::string run = copies.parent() + "/" + r.name;
        ::mkdir(run.c_str(), 0700);
        ::mkdir((run + "/AbC123").c_str(), 0700);
        writeFile(run + "/AbC123/copy.txt", "copy");
        // What a copy may hold: links out of it, to a folder and to a file.
        ASSERT_EQ(::symlink(outside.path().c_str(), (run + "/AbC123/to-folder").c_str()), 0);
        ASSERT_EQ(::symlink((outside / "precious.txt").c_str(), (run + "/AbC123/to-file").c_str()), 0);
    }
    EXPECT_EQ(copies.removeLeftovers(), 2);
    for (const Row& r : rows) EXPECT_EQ(exists(copies.parent() + "/" + r.name), r.kept) << r.name;
    EXPECT_EQ(readFile(outside / "precious.txt"), "keep me");
}

TEST(TempCopies, RemovingATreeRemovesLinksNotWhatTheyPointTo) {
    TempDir base, outside;
    ::mkdir((outside / "dir").c_str(), 0755);
    writeFile(outside / "dir/inside.txt", "target");
    const std::string tree = base / "tree";
    ::mkdir(tree.c_str(), 0700);
    ::mkdir((tree + "/deep").c_str(), 0700);
    // A folder the archive made read-only still empties.
    ::mkdir((tree + "/deep/locked").c_str(), 0700);
    writeFile(tree + "/deep/locked/f.txt", "f");
    ::chmod((tree + "/deep/locked").c_str(), 0500);
    ASSERT_EQ(::symlink((outside / "dir").c_str(), (tree + "/deep/link").c_str()), 0);
    EXPECT_TRUE(TempCopies::removeTree(tree));
    EXPECT_FALSE(exists(tree));
    EXPECT_EQ(readFile(outside / "dir/inside.txt"), "target");

    // The top itself a link: the link goes, never what it names.
    ASSERT_EQ(::symlink((outside / "dir").c_str(), tree.c_str()), 0);
    EXPECT_TRUE(TempCopies::removeTree(tree));
    EXPECT_FALSE(exists(tree));
    EXPECT_TRUE(exists(outside / "dir/inside.txt"));
}

TEST(TempCopies, APerUserFolderThatIsALinkIsNotUsed) {
    TempDir base, outside;
    ::mkdir((outside / "1234-5").c_str(), 0700);
    TempCopies copies(base.path());
    ASSERT_EQ(::symlink(outside.path().c_str(), copies.parent().c_str()), 0);
    EXPECT_EQ(copies.make(false), "");
    EXPECT_EQ(copies.removeLeftovers(), 0);
    EXPECT_TRUE(exists(outside / "1234-5"));
}

}  // namespace
}  // namespace kv::test
