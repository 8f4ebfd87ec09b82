#include <gtest/gtest.h>
#include <unistd.h>
#include <regex>

#include "fs/tempdir.h"
#include "platform/fs/operations/undojob.h"
#include "platform/fs/trash/trash.h"
#include "platform/fs/trash/trashjob.h"

namespace kv {
namespace {

using test::exists;
using test::readFile;
using test::TempDir;
using test::writeFile;

// Checks a .trashinfo the way a desktop trash reads it; returns the decoded Path.
std::string checkInfo(const std::string& infoPath) {
    const std::string text = readFile(infoPath);
    const std::regex format(
        "\\[Trash "
        "Info\\]\nPath=([A-Za-z0-9/%._~!*'()-]+)\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
    std::smatch m;
    EXPECT_TRUE(std::regex_match(text, m, format)) << text;
    return m.size() > 1 ? Trash::decodePath(m[1].str()) : std::string();
}

TEST(Trash, HomeTrashInfoIsValidAndRestores) {
    TempDir dir;
    FsOps ops;
    Trash trash(ops, dir / "home/Trash");
    const std::vector<std::string> names = {"plain.txt", "with space & 100%.txt", "caf\xE9\xFF"};
    std::vector<TrashedItem> items;
    for (const std::string& n : names) {
        writeFile(dir / n, n);
        TrashedItem item;
        JobReport message;
        ASSERT_EQ(trash.trash(dir / n, item, message), 0) << message.error;
        EXPECT_FALSE(exists(dir / n));
        EXPECT_EQ(item.trashedPath, dir / "home/Trash/files/" + n);
        EXPECT_EQ(item.infoPath, dir / "home/Trash/info/" + n + ".trashinfo");
        EXPECT_EQ(checkInfo(item.infoPath), dir / n);
        items.push_back(item);
    }
    // The same name again gets its own entry.
    writeFile(dir / "plain.txt", "second");
    TrashedItem second;
    JobReport message;
    ASSERT_EQ(trash.trash(dir / "plain.txt", second, message), 0);
    EXPECT_NE(second.trashedPath, items[0].trashedPath);
    EXPECT_EQ(readFile(second.trashedPath), "second");

    ASSERT_EQ(trash.restore(items[2], message), 0) << message.error;
    EXPECT_EQ(readFile(dir / names[2]), names[2]);
    EXPECT_FALSE(exists(items[2].infoPath));
    // A restore never replaces what took the old place.
    writeFile(dir / "plain.txt", "newcomer");
    EXPECT_EQ(trash.restore(items[0], message), -EEXIST);
    EXPECT_EQ(readFile(dir / "plain.txt"), "newcomer");
    EXPECT_TRUE(exists(items[0].trashedPath));
}

TEST(Trash, RefusesTheTrashItself) {
    TempDir dir;
    FsOps ops;
    Trash trash(ops, dir / "Trash");
    writeFile(dir / "f", "");
    TrashedItem item;
    JobReport message;
    ASSERT_EQ(trash.trash(dir / "f", item, message), 0);
    EXPECT_NE(trash.trash(item.trashedPath, item, message), 0);
    EXPECT_NE(trash.trash(dir / "Trash", item, message), 0);
    EXPECT_TRUE(exists(dir / "Trash/files/f"));
}

TEST(Trash, OtherVolumeUsesItsOwnTrash) {
    TempDir home;
    TempDir vol("/dev/shm");
    if (test::deviceOf(home.path()) == test::deviceOf(vol.path())) {
        GTEST_SKIP() << "no second filesystem";
    }
    writeFile(vol / "doc", "d");
    TrashJob job({vol / "doc"}, home / "Trash");
    job.start();
    job.wait();
    const JobResult r = job.result();
    ASSERT_TRUE(r.ok()) << r.reports[0].error;
    ASSERT_EQ(r.undo.trashed.size(), 1u);
    const TrashedItem& item = r.undo.trashed[0];
    const std::string topTrash = "/dev/shm/.Trash-" + std::to_string(getuid());
    EXPECT_EQ(item.trashedPath.rfind(topTrash + "/files/", 0), 0u) << item.trashedPath;
    // Relative to the volume's top, as the layout asks for a volume's own trash.
    EXPECT_EQ("/dev/shm/" + checkInfo(item.infoPath), vol / "doc");
    UndoJob undo(r.undo, home / "Trash");
    undo.start();
    undo.wait();
    EXPECT_TRUE(undo.result().ok());
    EXPECT_EQ(readFile(vol / "doc"), "d");
    rmdir((topTrash + "/files").c_str());
    rmdir((topTrash + "/info").c_str());
    rmdir(topTrash.c_str());
}

TEST(Trash, PathEncodingRoundTrips) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"/a b/c", "/a%20b/c"},
        {"/x%y", "/x%25y"},
        {"/\xC3\xA9", "/%C3%A9"},
        {"/\xFF", "/%FF"},
        {"/keep-_.~!*'()", "/keep-_.~!*'()"},
    };
    for (const auto& [raw, encoded] : rows) {
        EXPECT_EQ(Trash::encodePath(raw), encoded);
        EXPECT_EQ(Trash::decodePath(encoded), raw);
    }
}

}  // namespace
}  // namespace kv
