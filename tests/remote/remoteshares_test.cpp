// Samba shares and WebDAV places through the GVfs daemons of the test's own session bus, against smbd
// and rclone on 127.0.0.1 serving folders of this machine: what a job wrote is checked on the disk.
#include <gtest/gtest.h>

#include <QTest>

#include <sys/stat.h>

#include <atomic>
#include <memory>

#include "fs/tempdir.h"
#include "platform/fs/remote/remotejobs.h"
#include "platform/fs/remote/remotemounts.h"
#include "remote/jobhelpers.h"
#include "remote/listinghelpers.h"
#include "remote/servers.h"

namespace kv {
namespace {

constexpr const char* kPassword = "pass word 42";

// A Samba server's user share.
struct Smb {
    static constexpr bool keepsTime = true;
    test::TempDir open, home;
    test::SmbServer server{open.path(), home.path(), kPassword};

    bool running() const { return server.running(); }
    std::string problem() const { return server.problem(); }
    const std::string& served() const { return home.path(); }
    // The place of a path below the share ("" for its root), with the user.
    std::string at(const std::string& rel) const { return server.address("home", server.user(), rel); }
};

// A WebDAV server. GVfs's dav back end sets no times: an upload is as new as its arrival.
struct Dav {
    static constexpr bool keepsTime = false;
    test::TempDir root;
    test::DavServer server{root.path(), "kim", kPassword};

    bool running() const { return server.running(); }
    std::string problem() const { return server.problem(); }
    const std::string& served() const { return root.path(); }
    std::string at(const std::string& rel) const { return server.address("kim", rel.empty() ? "/" : rel); }
};

template <class Kind>
class RemoteShareTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        kind = new Kind;
        ::mkdir((kind->served() + "/listed").c_str(), 0755);
        ::mkdir((kind->served() + "/listed/inner").c_str(), 0755);
        for (int i = 0; i < 70; ++i) test::writeFile(kind->served() + "/listed/f" + std::to_string(i), "x");
    }
    static void TearDownTestSuite() {
        delete kind;
        kind = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(kind->running()) << kind->problem(); }

    // Whatever ran before, the place asks for its password again: it is mounted, then unmounted.
    static void unmounted() {
        mount();
        std::string why = "no answer";
        std::atomic<bool> done = false;
        remotemounts::unmount(kind->at("/"), [&](const std::string& error) {
            why = error;
            done = true;
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return done.load(); }, test::kJobWait));
        ASSERT_EQ(why, "");
    }
    static void mount() { ASSERT_EQ(test::mountAt(kind->at(""), kPassword), 0); }
    static std::string at(const std::string& rel) { return kind->at(rel); }
    static std::string served(const std::string& rel) { return kind->served() + rel; }

    static Kind* kind;
};

template <class Kind>
Kind* RemoteShareTest<Kind>::kind = nullptr;

using Kinds = ::testing::Types<Smb, Dav>;
TYPED_TEST_SUITE(RemoteShareTest, Kinds);

TYPED_TEST(RemoteShareTest, AWrongPasswordIsAskedAgainThenTheFolderLists) {
    this->unmounted();
    auto asker = std::make_shared<test::Asker>();
    asker->answers = {test::Asker::password("", "wrong"), test::Asker::password("", kPassword)};
    RemoteListingSource source(this->at("/listed"), test::askerOf(asker));
    test::Outcome listing;
    listing.start(source);
    ASSERT_TRUE(QTest::qWaitFor([&] { return listing.isDone(); }, test::kJobWait));
    EXPECT_EQ(listing.error, 0) << listing.message;
    ASSERT_EQ(asker->count(), 2u);
    EXPECT_TRUE(asker->asked[0].askPassword);
    EXPECT_FALSE(asker->asked[0].retry);
    EXPECT_TRUE(asker->asked[1].retry);
    EXPECT_EQ(listing.entries.size(), 71u);
    for (const DirEntry& e : listing.entries) EXPECT_EQ(e.isDir, e.name == "inner") << e.name;
}

TYPED_TEST(RemoteShareTest, ATreeGoesToTheServerAndBackByteForByte) {
    this->mount();
    test::TempDir local, back;
    test::makeTree(local / "tree");
    const auto original = test::contents(local / "tree");
    ::mkdir(this->served("/up").c_str(), 0755);

    RemoteTransferJob up(TransferMode::Copy, {local / "tree"}, this->at("/up"));
    const JobResult sent = test::finish(up);
    EXPECT_TRUE(sent.ok()) << test::describe(sent);
    EXPECT_EQ(test::contents(this->served("/up/tree")), original) << "no temporary left, nothing missing";
    if (TypeParam::keepsTime) {
        EXPECT_EQ(test::mtimeOf(this->served("/up/tree/big.bin")), 1000000000);
    }
    EXPECT_EQ(sent.undo.created, std::vector<std::string>{this->at("/up/tree")});

    RemoteTransferJob down(TransferMode::Copy, {this->at("/up/tree")}, back.path());
    EXPECT_TRUE(test::finish(down).ok());
    EXPECT_EQ(test::contents(back / "tree"), original);
}

TYPED_TEST(RemoteShareTest, ARenameKeepsTheItemAndTrashIsRefusedUntilDeletedForGood) {
    this->mount();
    ::mkdir(this->served("/ops").c_str(), 0755);
    test::writeFile(this->served("/ops/a.txt"), "kept");
    test::makeTree(this->served("/ops/doomed"));

    RemoteRenameJob rename(this->at("/ops/a.txt"), "named é.txt");
    const JobResult renamed = test::finish(rename);
    EXPECT_TRUE(renamed.ok()) << test::describe(renamed);
    EXPECT_EQ(test::readFile(this->served("/ops/named é.txt")), "kept");
    EXPECT_FALSE(test::exists(this->served("/ops/a.txt")));

    // These servers have no trash: the item stays, said so.
    RemoteDeleteJob toTrash({this->at("/ops/doomed")}, true);
    const JobResult noTrash = test::finish(toTrash);
    ASSERT_EQ(noTrash.reports.size(), 1u);
    EXPECT_EQ(noTrash.reports[0].problem, JobProblem::NoTrash);
    EXPECT_TRUE(test::exists(this->served("/ops/doomed/sub/deeper/note")));
    RemoteDeleteJob forGood({this->at("/ops/doomed"), this->at("/ops/named é.txt")}, false);
    const JobResult deleted = test::finish(forGood);
    EXPECT_TRUE(deleted.ok()) << test::describe(deleted);
    EXPECT_FALSE(test::exists(this->served("/ops/doomed")));
    EXPECT_FALSE(test::exists(this->served("/ops/named é.txt")));
}

// A share open to guests lists without a password (anonymously, when the back end asks at all), and
// what a guest writes arrives.
TEST(RemoteSmbGuest, AnOpenShareListsAndTakesFilesWithoutAPassword) {
    test::TempDir open, home, local;
    test::writeFile(open / "readme", "hello");
    ::mkdir((open / "docs").c_str(), 0755);
    test::SmbServer smb(open.path(), home.path(), kPassword);
    ASSERT_TRUE(smb.running()) << smb.problem();

    auto asker = std::make_shared<test::Asker>();
    MountAnswer anonymous;
    anonymous.cancelled = false;
    anonymous.anonymous = true;
    asker->answers = {anonymous};
    RemoteListingSource source(smb.address("open", ""), test::askerOf(asker));
    test::Outcome listing;
    listing.start(source);
    ASSERT_TRUE(QTest::qWaitFor([&] { return listing.isDone(); }, test::kJobWait));
    EXPECT_EQ(listing.error, 0) << listing.message;
    EXPECT_EQ(listing.entries.size(), 2u);
    EXPECT_LE(asker->count(), 1u);
    if (asker->count() == 1) {
        EXPECT_TRUE(asker->asked[0].anonymousAllowed);
    }

    test::writeFile(local / "note", "from a guest");
    RemoteTransferJob up(TransferMode::Copy, {local / "note"}, smb.address("open", "", "/docs"));
    EXPECT_TRUE(test::finish(up).ok());
    EXPECT_EQ(test::readFile(open / "docs/note"), "from a guest");
}

}  // namespace
}  // namespace kv
