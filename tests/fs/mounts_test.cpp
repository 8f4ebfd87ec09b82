#include <gtest/gtest.h>
#include <unistd.h>

#include "fs/tempdir.h"
#include "platform/fs/drives/mounts.h"
#include "platform/fs/drives/mountwatcher.h"

namespace kv {
namespace {

using test::TempDir;
using test::writeFile;

const char* kTable =
    "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
    "23 27 0:22 / /sys rw,relatime - sysfs sysfs rw\n"
    "25 24 0:23 / /dev/shm rw,relatime - tmpfs tmpfs rw\n"
    "26 24 0:24 / /dev/pts rw,relatime - devpts devpts rw\n"
    "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
    "30 25 0:27 / /dev/shm rw,relatime - tmpfs tmpfs rw\n"
    "31 23 0:28 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
    "40 27 0:40 / /run/user/1000 rw - tmpfs tmpfs rw\n"
    "41 27 8:17 / /run/media/me/STICK rw master:3 master:4 - vfat /dev/sdb1 rw\n"
    "42 27 8:18 / /mnt/My\\040Disk rw - ext4 /dev/sdb2 rw\n"
    "43 27 7:1 / /snap/core/123 ro - squashfs /dev/loop1 ro\n"
    "44 27 0:50 / /var/lib/docker/overlay2/x/merged rw - overlay overlay rw\n"
    "45 27 0:51 / /sys/kernel/debug rw - debugfs debugfs rw\n"
    "46 27 0:52 / /media/nas rw - nfs4 server:/export rw\n"
    "47 27 0:53 / /proc/sys/fs/binfmt_misc rw - binfmt_misc binfmt_misc rw\n";

// The volume a path is on, from the table alone (a drop's move-or-copy must not ask a hung mount).
TEST(Mounts, TheMountPointOfAPathIsTheLongestThatHoldsIt) {
    const struct {
        const char* path;
        const char* point;
    } rows[] = {{"/home/me/a", "/"},
                {"/mnt/My Disk", "/mnt/My Disk"},
                {"/mnt/My Disk/photos/x.jpg", "/mnt/My Disk"},
                {"/mnt/My Diskette", "/"},
                {"/run/media/me/STICK/f", "/run/media/me/STICK"},
                {"/sys/fs/cgroup/x", "/sys/fs/cgroup"},
                {"/", "/"}};
    for (const auto& row : rows) EXPECT_EQ(Mounts::mountPointOf(row.path, kTable), row.point) << row.path;
}

TEST(Mounts, ListsUserVolumesOnly) {
    TempDir dir;
    // A stand-in for /dev/disk/by-label: a link per label to the device node.
    mkdir((dir / "labels").c_str(), 0755);
    writeFile(dir / "sdb2", "");
    ASSERT_EQ(symlink((dir / "sdb2").c_str(), (dir / "labels/Backup\\x20Disk").c_str()), 0);
    Mounts mounts("/home/me", "/nonexistent", dir / "labels");
    // /dev/sdb2 does not exist here; map the table's device to the stand-in.
    std::string table = kTable;
    table.replace(table.find("/dev/sdb2"), 9, dir / "sdb2");

    std::vector<std::string> texts;
    for (const auto& e : mounts.entriesFrom(table)) {
        texts.push_back(e.text());
    }
    const std::vector<std::string> expected = {
        "/home/me [Home]",
        "/ [ext4]",
        "/dev/shm [shm]",
        "/run/media/me/STICK [STICK]",
        "/mnt/My Disk [Backup Disk]",
        "/media/nas [nas]",
    };
    EXPECT_EQ(texts, expected);
}

// A source outside /dev is taken as written, never followed: a FUSE volume may name a file on another
// volume as its source, and that volume may hang. Here a link to the labelled device stands for it.
TEST(Mounts, FollowsNoSourceOutsideDev) {
    TempDir dir;
    mkdir((dir / "labels").c_str(), 0755);
    writeFile(dir / "sdb2", "");
    ASSERT_EQ(symlink((dir / "sdb2").c_str(), (dir / "labels/Backup").c_str()), 0);
    ASSERT_EQ(symlink((dir / "sdb2").c_str(), (dir / "image").c_str()), 0);
    Mounts mounts("/home/me", "/nonexistent", dir / "labels");
    const std::string table = "40 27 0:50 / /media/direct rw - ext4 " + (dir / "sdb2") +
                              " rw\n"
                              "41 27 0:51 / /media/viafile rw - fuse " +
                              (dir / "image") + " rw\n";
    std::vector<std::string> texts;
    for (const auto& e : mounts.entriesFrom(table)) texts.push_back(e.text());
    EXPECT_EQ(texts, (std::vector<std::string>{"/home/me [Home]", "/media/direct [Backup]",
                                               "/media/viafile [viafile]"}));
}

TEST(Mounts, ReadsThisMachine) {
    const auto entries = Mounts().entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_TRUE(entries.front().isHome);
    for (const auto& e : entries) {
        EXPECT_NE(e.fsType, "proc");
        EXPECT_NE(e.fsType, "sysfs");
        EXPECT_NE(e.root.rfind("/proc", 0), 0u);
        EXPECT_EQ(Mounts::rootOf(e.text()), e.root);
    }
}

TEST(Mounts, RootOfEntryText) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"/root [Home]", "/root"},
        {"/media/usb [STICK]", "/media/usb"},
        {"/mnt/x [a [b]]", "/mnt/x"},
        {"/mnt/x [a [b]]  ", "/mnt/x"},
        {"/media/odd[name]", "/media/odd[name]"},  // no space before the bracket: part of the path
        {"/plain/path", "/plain/path"},
        {"c: [SYSTEM]", "c:"},
        {"[only]", "[only]"},
        {"", ""},
    };
    for (const auto& [text, root] : rows) {
        EXPECT_EQ(Mounts::rootOf(text), root) << text;
    }
}

TEST(MountWatcher, NoticesChangedTable) {
    TempDir dir;
    writeFile(dir / "table", kTable);
    MountWatcher watcher(dir / "table");
    EXPECT_FALSE(watcher.changed());
    writeFile(dir / "table", std::string(kTable) + "50 27 8:1 / /media/new rw - ext4 /dev/sdc1 rw\n");
    EXPECT_TRUE(watcher.changed());
    EXPECT_FALSE(watcher.changed());
}

TEST(MountWatcher, RealTableStaysQuiet) {
    MountWatcher watcher;
    ASSERT_GE(watcher.fd(), 0);
    EXPECT_FALSE(watcher.wait(10));
}

}  // namespace
}  // namespace kv
