// The parts of previews that need no images: the cache's names for a file, the desktop's thumbnailer
// entries and their command lines, running one with a time limit, and which volumes are slow.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QUrl>
#include <chrono>

#include "fs/tempdir.h"
#include "platform/fs/drives/volumekind.h"
#include "platform/fs/thumbnails/thumbnailerprocess.h"
#include "platform/fs/thumbnails/thumbnailers.h"
#include "platform/fs/thumbnails/thumbnailpaths.h"

using namespace kv;
using kv::test::TempDir;

TEST(ThumbnailPaths, UriEncodesEveryByteAsTheStandardSays) {
    struct Case {
        QByteArray path;
        QByteArray uri;
    };
    const Case cases[] = {
        {"/home/jens/photos/me.png", "file:///home/jens/photos/me.png"},
        {"/tmp/two words.jpg", "file:///tmp/two%20words.jpg"},
        {"/tmp/caf\xC3\xA9.jpg", "file:///tmp/caf%C3%A9.jpg"},
        // A name that is not UTF-8 keeps its bytes.
        {"/tmp/bad\xFF\x80name.png", "file:///tmp/bad%FF%80name.png"},
        {"/tmp/a#b?c%d;e[f]\"g<h>\\i^j`k{l|m}.png",
         "file:///tmp/a%23b%3Fc%25d%3Be%5Bf%5D%22g%3Ch%3E%5Ci%5Ej%60k%7Bl%7Cm%7D.png"},
        {"/tmp/!$&'()*+,=:@~-_.png", "file:///tmp/!$&'()*+,=:@~-_.png"},
        {"/tmp/tab\tnl\n", "file:///tmp/tab%09nl%0A"},
    };
    for (const Case& c : cases) EXPECT_EQ(ThumbnailPaths::uriFor(c.path), c.uri) << c.path.constData();
}

TEST(ThumbnailPaths, AgreesWithQUrlWhereQUrlCanNameTheFile) {
    // QUrl needs the name as text, so it cannot name a file whose bytes are not UTF-8; and it leaves
    // ';' as it is, which GLib (and so every thumbnail of the GNOME desktop) encodes.
    for (const char* p : {"/home/u/Pictures/Summer 2024/IMG 0001.JPG", "/tmp/caf\xC3\xA9 #1 (copy).png",
                          "/tmp/\xE6\x97\xA5\xE6\x9C\xAC.png", "/tmp/100%.png"}) {
        const QByteArray path(p);
        EXPECT_EQ(ThumbnailPaths::uriFor(path), QUrl::fromLocalFile(QString::fromUtf8(path)).toEncoded())
            << p;
    }
}

TEST(ThumbnailPaths, NamesAndSizes) {
    // The standard's own example.
    EXPECT_EQ(ThumbnailPaths::fileNameFor("file:///home/jens/photos/me.png"),
              "c6ee772d9e49320e97ec29a7eb5b1697.png");
    const std::pair<int, ThumbnailPaths::Size> sizes[] = {
        {16, ThumbnailPaths::Normal},   {128, ThumbnailPaths::Normal}, {129, ThumbnailPaths::Large},
        {256, ThumbnailPaths::Large},   {512, ThumbnailPaths::XLarge}, {513, ThumbnailPaths::XXLarge},
        {4096, ThumbnailPaths::XXLarge}};
    for (const auto& [px, size] : sizes) EXPECT_EQ(ThumbnailPaths::sizeFor(px), size) << px;
    EXPECT_EQ(ThumbnailPaths::folderName(ThumbnailPaths::XLarge), "x-large");
    EXPECT_EQ(ThumbnailPaths::folderName(ThumbnailPaths::XXLarge), "xx-large");

    const QByteArray saved = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", "/var/tmp/c");
    EXPECT_EQ(ThumbnailPaths::defaultRoot(), "/var/tmp/c/thumbnails");
    qputenv("XDG_CACHE_HOME", "relative/is/ignored");
    EXPECT_TRUE(ThumbnailPaths::defaultRoot().endsWith("/.cache/thumbnails"));
    qputenv("XDG_CACHE_HOME", saved);
}

TEST(Thumbnailers, ExecLinesExpandToRawArguments) {
    struct Case {
        QString exec;
        std::vector<std::string> argv;
    };
    const std::string path = "/tmp/a b\xFF.pdf", uri = "file:///tmp/a%20b%FF.pdf", out = "/tmp/o.png";
    const Case cases[] = {
        {"/usr/bin/t -s %s %u %o", {"/usr/bin/t", "-s", "256", uri, out}},
        {"t --input=%i --out %o", {"t", "--input=" + path, "--out", out}},
        {"t \"quoted arg\" %% %x", {"t", "quoted arg", "%", ""}},
        {"  t   \"a \\\"b\\\"\"  ", {"t", "a \"b\""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Thumbnailers::expand(c.exec, path, uri, out, 256), c.argv) << c.exec.toStdString();
}

TEST(Thumbnailers, ReadsEntriesAndSkipsThoseThatCannotRun) {
    TempDir user, system;
    kv::test::writeFile(user / "mine.thumbnailer",
                        "[Thumbnailer Entry]\nExec=/bin/true mine %u %o\nMimeType=application/x-a;\n");
    kv::test::writeFile(system / "theirs.thumbnailer",
                        "# a comment\n[Thumbnailer Entry]\nTryExec=/bin/true\nExec=/bin/true theirs %i %o\n"
                        "MimeType=application/x-a;application/x-b;\n");
    kv::test::writeFile(system / "missing.thumbnailer",
                        "[Thumbnailer Entry]\nTryExec=/no/such/program\nExec=/bin/true %u %o\n"
                        "MimeType=application/x-c;\n");
    kv::test::writeFile(system / "other-group.thumbnailer",
                        "[Desktop Entry]\nExec=/bin/true %u %o\nMimeType=application/x-d;\n");
    kv::test::writeFile(system / "not-a-thumbnailer.txt",
                        "[Thumbnailer Entry]\nExec=/bin/true\nMimeType=application/x-e;\n");
    const Thumbnailers t({QString::fromStdString(user.path()), QString::fromStdString(system.path()),
                          QStringLiteral("/no/such/folder")});
    EXPECT_TRUE(t.handles("application/x-a"));
    EXPECT_TRUE(t.handles("application/x-b"));
    EXPECT_FALSE(t.handles("application/x-c"));
    EXPECT_FALSE(t.handles("application/x-d"));
    EXPECT_FALSE(t.handles("application/x-e"));
    // The user's folder comes first.
    EXPECT_EQ(t.command("application/x-a", "/p", "file:///p", "/o", 128)[1], "mine");
    EXPECT_EQ(t.command("application/x-b", "/p", "file:///p", "/o", 128)[2], "/p");
    EXPECT_TRUE(t.command("text/plain", "/p", "file:///p", "/o", 128).empty());
}

TEST(ThumbnailerProcess, ReportsHowTheProgramEnded) {
    using O = ThumbnailerProcess::Outcome;
    EXPECT_EQ(ThumbnailerProcess::run({"/bin/true"}, 5000), O::Exited);
    EXPECT_EQ(ThumbnailerProcess::run({"/bin/false"}, 5000), O::Failed);
    EXPECT_EQ(ThumbnailerProcess::run({"/no/such/program"}, 5000), O::NotStarted);
    EXPECT_EQ(ThumbnailerProcess::run({}, 5000), O::NotStarted);
}

TEST(ThumbnailerProcess, AProgramThatHangsIsKilledWithWhatItStarted) {
    TempDir dir;
    const std::string pidFile = dir / "child.pid";
    // The shell starts a child that would outlive it if only the shell were killed.
    const auto t0 = std::chrono::steady_clock::now();
    const auto outcome =
        ThumbnailerProcess::run({"/bin/sh", "-c", "sleep 30 & echo $! > " + pidFile + "; wait"}, 300);
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(outcome, ThumbnailerProcess::Outcome::TimedOut);
    EXPECT_LT(took, std::chrono::seconds(3));
    const std::string pid = kv::test::readFile(pidFile);
    ASSERT_FALSE(pid.empty());
    // The child is gone (or a zombie about to be reaped by init) shortly after.
    bool gone = false;
    for (int i = 0; i < 750 && !gone; ++i) {  // up to 15 s
        const std::string stat = kv::test::readFile("/proc/" + std::to_string(std::stoi(pid)) + "/stat");
        gone = stat.empty() || stat.find(") Z") != std::string::npos;
        if (!gone) usleep(20000);
    }
    EXPECT_TRUE(gone);
}

TEST(VolumeKind, NetworkSharesAndRemovableDrivesAreSlow) {
    TempDir sys;
    ::mkdir((sys / "sdb").c_str(), 0755);
    ::mkdir((sys / "sdb/sdb1").c_str(), 0755);
    ::mkdir((sys / "sda").c_str(), 0755);
    ::mkdir((sys / "sda/sda2").c_str(), 0755);
    kv::test::writeFile(sys / "sdb/removable", "1\n");
    kv::test::writeFile(sys / "sda/removable", "0\n");
    // The test's folder stands for /sys/class/block, whose entries link to the disks' partitions.
    ASSERT_EQ(::symlink((sys / "sdb/sdb1").c_str(), (sys / "sdb1").c_str()), 0);
    ASSERT_EQ(::symlink((sys / "sda/sda2").c_str(), (sys / "sda2").c_str()), 0);
    const std::string table =
        "22 1 8:2 / / rw - ext4 /dev/sda2 rw\n"
        "30 22 0:40 / /mnt/nas rw - nfs4 server:/export rw\n"
        "31 22 0:41 / /mnt/win rw - cifs //host/share rw\n"
        "32 22 0:42 / /home/u/remote rw - fuse.sshfs u@host: rw\n"
        "33 22 8:17 / /mnt/stick rw - vfat /dev/sdb1 rw\n"
        "34 22 8:33 / /run/media/u/Photos rw - exfat /dev/sdc1 rw\n"
        "35 22 0:43 / /mnt/over\\040here rw - nfs server:/x rw\n"
        "36 35 8:2 / /mnt/over\\040here rw - ext4 /dev/sda2 rw\n";
    struct Case {
        const char* path;
        bool remote;
        bool removable;
    };
    const Case cases[] = {
        {"/home/u/Pictures", false, false}, {"/mnt/nas/photos", true, false},
        {"/mnt/win", true, false},          {"/home/u/remote/x", true, false},
        {"/mnt/stick/DCIM", false, true},   {"/run/media/u/Photos/2024", false, true},
        {"/mnt/over here/a", false, false},  // the local disk mounted on top is what a path reaches
    };
    for (const Case& c : cases) {
        const VolumeKind k = VolumeKind::of(c.path, table, sys.path());
        EXPECT_EQ(k.remote, c.remote) << c.path;
        EXPECT_EQ(k.removable, c.removable) << c.path;
        EXPECT_EQ(k.slow(), c.remote || c.removable) << c.path;
    }
}
