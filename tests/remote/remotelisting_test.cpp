// Remote listings through the GVfs daemons of the test's own session bus (private-session.sh), against
// an FTP server of its own on 127.0.0.1.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "fs/tempdir.h"
#include "platform/fs/remote/remotelistingsource.h"
#include "remote/listinghelpers.h"
#include "remote/servers.h"

namespace kv {
namespace {

// GVfs answers some calls on the program's main context, which the UI thread's event loop runs: the
// tests wait with it running, as the program does.
constexpr int kLimit = 60000;

using test::Asker;
using test::askerOf;
using test::Outcome;

class RemoteListingTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        root = new test::TempDir;
        for (int i = 0; i < 150; ++i) test::writeFile(*root / ("f" + std::to_string(1000 + i)), "x");
        test::writeFile(*root / "five", "12345");
        test::writeFile(*root / ".hidden", "");
        ::mkdir((*root / "sub").c_str(), 0755);
        test::writeFile(*root / "sub/inner", "");
        server =
            new test::FtpServer(root->path(), {{"kim", "secret"}, {"cancel", "secret"}, {"leave", "secret"}});
    }
    static void TearDownTestSuite() {
        delete server;
        delete root;
    }
    void SetUp() override { ASSERT_TRUE(server->running()) << "pyftpdlib did not start"; }

    static test::TempDir* root;
    static test::FtpServer* server;
};

test::TempDir* RemoteListingTest::root = nullptr;
test::FtpServer* RemoteListingTest::server = nullptr;

// A socket bound to a free port of 127.0.0.1 (listening, or not: refusing connections); -1 on failure.
int loopbackPort(bool listening, int* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        (listening && ::listen(fd, 8) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    *port = ntohs(addr.sin_port);
    return fd;
}

TEST_F(RemoteListingTest, WrongPasswordIsAskedAgainThenTheFolderStreamsIn) {
    auto asker = std::make_shared<Asker>();
    asker->answers = {Asker::password("kim", "wrong"), Asker::password("kim", "secret")};
    RemoteListingSource source(server->address("kim"), askerOf(asker));
    Outcome listing;
    listing.start(source);
    ASSERT_TRUE(QTest::qWaitFor([&] { return listing.isDone(); }, kLimit));
    EXPECT_EQ(listing.error, 0) << listing.message;
    ASSERT_EQ(asker->count(), 2u);
    EXPECT_TRUE(asker->asked[0].askPassword);
    EXPECT_FALSE(asker->asked[0].retry);
    EXPECT_TRUE(asker->asked[1].retry);
    EXPECT_EQ(listing.entries.size(), 153u);
    EXPECT_GE(listing.batches, 2) << "the first rows come in a batch of their own";
    for (const DirEntry& e : listing.entries) {
        EXPECT_EQ(e.isDir, e.name == "sub") << e.name;
        EXPECT_EQ(e.hidden, e.name == ".hidden") << e.name;
        if (e.name == "five") {
            EXPECT_EQ(e.size, 5u);
        }
    }

    // Mounted now: a folder below lists without a question.
    RemoteListingSource below(server->address("kim", "/sub"), {});
    Outcome inner;
    inner.start(below);
    ASSERT_TRUE(QTest::qWaitFor([&] { return inner.isDone(); }, kLimit));
    EXPECT_EQ(inner.error, 0) << inner.message;
    ASSERT_EQ(inner.entries.size(), 1u);
    EXPECT_EQ(inner.entries[0].name, "inner");
}

TEST_F(RemoteListingTest, CancellingTheQuestionEndsTheListingSilently) {
    auto asker = std::make_shared<Asker>();
    asker->answers = {MountAnswer{}};
    RemoteListingSource source(server->address("cancel"), askerOf(asker));
    Outcome listing;
    listing.start(source);
    ASSERT_TRUE(QTest::qWaitFor([&] { return listing.isDone(); }, kLimit));
    EXPECT_EQ(listing.error, ECANCELED);
    EXPECT_EQ(listing.message, "");
    EXPECT_TRUE(listing.entries.empty());
    EXPECT_EQ(asker->count(), 1u);
}

TEST_F(RemoteListingTest, LeavingWithdrawsTheOpenQuestion) {
    auto asker = std::make_shared<Asker>();
    Outcome left;
    {
        RemoteListingSource source(server->address("leave"), askerOf(asker));
        left.start(source);
        ASSERT_TRUE(QTest::qWaitFor([&] { return asker->count() == 1; }, kLimit));
    }
    // The mount given up on asks no more; opening the place again asks afresh and lists it.
    {
        std::lock_guard lock(asker->mutex);
        asker->answers = {Asker::password("leave", "secret")};
    }
    RemoteListingSource again(server->address("leave"), askerOf(asker));
    Outcome listing;
    listing.start(again);
    ASSERT_TRUE(QTest::qWaitFor([&] { return listing.isDone(); }, kLimit));
    EXPECT_EQ(listing.error, 0) << listing.message;
    EXPECT_EQ(asker->count(), 2u);
    EXPECT_FALSE(left.isDone());
    asker->open.front()(Asker::password("leave", "secret"));  // too late: nothing happens
}

TEST_F(RemoteListingTest, AServerThatIsNotThereSaysWhy) {
    // A port bound but not listening refuses connections, and stays ours while the test runs.
    int port = 0;
    const int fd = loopbackPort(false, &port);
    ASSERT_GE(fd, 0);
    const std::string address = "ftp://kim@127.0.0.1:" + std::to_string(port) + "/";
    auto asker = std::make_shared<Asker>();
    RemoteListingSource source(address, askerOf(asker));
    Outcome listing;
    listing.start(source);
    ASSERT_TRUE(QTest::qWaitFor([&] { return listing.isDone(); }, kLimit));
    ::close(fd);
    EXPECT_NE(listing.error, 0);
    EXPECT_NE(listing.error, ECANCELED);
    EXPECT_FALSE(listing.message.empty());
    EXPECT_EQ(asker->count(), 0u);
}

TEST_F(RemoteListingTest, AServerThatStopsAnsweringEndsTheListingWithItsReason) {
    // Takes connections and never says a word: the FTP back end waits for a greeting that never comes.
    int port = 0;
    const int fd = loopbackPort(true, &port);
    ASSERT_GE(fd, 0);
    auto asker = std::make_shared<Asker>();
    RemoteListingSource source("ftp://kim@127.0.0.1:" + std::to_string(port) + "/", askerOf(asker));
    Outcome listing;
    listing.start(source);
    ASSERT_TRUE(QTest::qWaitFor([&] { return listing.isDone(); }, kLimit));
    ::close(fd);
    EXPECT_EQ(listing.error, ETIMEDOUT);
    EXPECT_NE(listing.message.find("did not answer"), std::string::npos) << listing.message;
    EXPECT_EQ(asker->count(), 0u);
}

std::optional<std::string> knownHosts() {
    const std::string file = std::string(::getpwuid(::getuid())->pw_dir) + "/.ssh/known_hosts";
    if (!test::exists(file)) return std::nullopt;
    return test::readFile(file);
}

// GVfs's sftp back end trusts a loopback address's host key without a question (ssh's
// NoHostAuthenticationForLocalhost), so the key the agent holds is all it takes here.
TEST(RemoteSftp, AKeyFromTheAgentOpensTheFolderWithoutAQuestion) {
    if (::geteuid() != 0 && !test::exists("/run/sshd"))
        GTEST_SKIP() << "sshd wants /run/sshd, which only its service or root makes";
    const std::optional<std::string> hostsBefore = knownHosts();
    {
        test::TempDir served;
        for (const char* name : {"one", "two", "three"}) test::writeFile(served / name, name);
        ::mkdir((served / "inner").c_str(), 0755);
        test::SshServer ssh;
        ASSERT_TRUE(ssh.running()) << ssh.problem();
        auto asker = std::make_shared<Asker>();
        RemoteListingSource source(ssh.address(served.path()), askerOf(asker));
        Outcome listing;
        listing.start(source);
        ASSERT_TRUE(QTest::qWaitFor([&] { return listing.isDone(); }, kLimit));
        EXPECT_EQ(listing.error, 0) << listing.message;
        EXPECT_EQ(listing.entries.size(), 4u);
        EXPECT_EQ(asker->count(), 0u);
        for (const DirEntry& e : listing.entries) EXPECT_EQ(e.isDir, e.name == "inner") << e.name;
    }
    EXPECT_EQ(knownHosts(), hostsBefore) << "known_hosts is as it was";
}

}  // namespace
}  // namespace kv
