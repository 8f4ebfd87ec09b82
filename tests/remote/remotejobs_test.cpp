// The file jobs on servers, through the GVfs daemons of the test's own session bus, against sshd and
// pyftpdlib on 127.0.0.1 serving folders of this machine: what a job wrote is checked on the disk.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>

#include "fs/tempdir.h"
#include "platform/fs/jobs/jobresolver.h"
#include "platform/fs/remote/remotejobs.h"
#include "platform/fs/remote/remotelistingsource.h"
#include "remote/servers.h"

namespace kv {
namespace {

namespace fs = std::filesystem;
constexpr int kJobWait = 60000;

// Answers clashes from a script (Skip when it runs out) and skips every error, keeping what was asked.
struct Script : JobResolver {
    std::mutex mutex;
    std::deque<ClashChoice> clashes;
    std::vector<ClashRequest> askedClashes;
    std::vector<ErrorRequest> askedErrors;

    void resolveClash(const ClashRequest& request, ClashReply reply) override {
        std::lock_guard lock(mutex);
        askedClashes.push_back(request);
        ClashChoice choice = ClashChoice::Skip;
        if (!clashes.empty()) {
            choice = clashes.front();
            clashes.pop_front();
        }
        reply({choice, false});
    }
    void resolveError(const ErrorRequest& request, ErrorReply reply) override {
        std::lock_guard lock(mutex);
        askedErrors.push_back(request);
        reply({ErrorChoice::Skip, false});
    }
};

// Runs the job to its end with the Qt loop running (GVfs answers some calls on the main context).
JobResult finish(FileJob& job, std::shared_ptr<Script> script = std::make_shared<Script>()) {
    job.setResolver(script);
    job.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return job.isFinished(); }, kJobWait));
    return job.result();
}

std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string data(n, '\0');
    for (char& c : data) c = static_cast<char>(random());
    return data;
}

// Every file below root by its path relative to root, with its bytes ("/" marks a folder).
std::map<std::string, std::string> contents(const std::string& root) {
    std::map<std::string, std::string> all;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = fs::relative(e.path(), root).string();
        all[rel] = e.is_directory() ? "/" : test::readFile(e.path().string());
    }
    return all;
}

std::int64_t mtimeOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mtim.tv_sec;
}

class RemoteJobsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (::geteuid() != 0 && !test::exists("/run/sshd")) return;
        ssh = new test::SshServer;
        if (ssh->running()) mount(ssh->address("/"), {});
    }
    static void TearDownTestSuite() { delete ssh; }
    void SetUp() override {
        if (!ssh) GTEST_SKIP() << "sshd wants /run/sshd, which only its service or root makes";
        ASSERT_TRUE(ssh->running()) << ssh->problem();
    }

    // Lists the place once, which mounts it, answering a password question with the one given.
    static void mount(const std::string& address, std::optional<std::string> password) {
        RemoteListingSource source(address, [password](const MountQuestion& q, MountReply reply) {
            MountAnswer a;
            a.cancelled = !password;
            a.user = q.user;
            a.password = password.value_or("");
            QMetaObject::invokeMethod(
                qApp, [reply, a] { reply(a); }, Qt::QueuedConnection);
        });
        std::atomic<bool> done = false;
        std::atomic<int> error = -1;
        source.start([](std::vector<DirEntry>&&) {},
                     [&](int e, const std::string&) {
                         error = e;
                         done = true;
                     });
        ASSERT_TRUE(QTest::qWaitFor([&] { return done.load(); }, kJobWait));
        ASSERT_EQ(error, 0) << address;
    }
    std::string at(const std::string& localPath) const { return ssh->address(localPath); }

    // A tree with nested folders, a few MiB, a UTF-8 name with spaces and an empty file.
    static void makeTree(const std::string& root) {
        ::mkdir(root.c_str(), 0755);
        ::mkdir((root + "/sub").c_str(), 0755);
        ::mkdir((root + "/sub/deeper").c_str(), 0755);
        ::mkdir((root + "/sub/empty folder").c_str(), 0755);
        test::writeFile(root + "/big.bin", randomBytes(3 << 20, 1));
        test::writeFile(root + "/réunion à deux.txt", "ça va\n");
        test::writeFile(root + "/empty", "");
        test::writeFile(root + "/sub/deeper/note", randomBytes(70000, 2));
        const timeval old[2] = {{1000000000, 0}, {1000000000, 0}};
        ::utimes((root + "/big.bin").c_str(), old);
    }

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

}  // namespace
}  // namespace kv
