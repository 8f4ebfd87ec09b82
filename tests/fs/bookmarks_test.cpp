#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "fs/tempdir.h"
#include "platform/fs/listing/subfolders.h"
#include "platform/fs/places/bookmarks.h"

namespace kv {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// As another file manager of the desktop writes it: labels, a remote location, a trash URI, a name
// that is not UTF-8 and no newline after the last line.
const char* kForeign =
    "file:///home/me/Music\n"
    "file:///home/me/My%20Projects Work%20stuff label\n"
    "sftp://server/srv/data Server\n"
    "trash:///\n"
    "\n"
    "file://localhost/opt/caf%E9\n"
    "file://otherhost/x\n"
    "file:///srv/a%2Fb?query Last";

TEST(Bookmarks, ParsesWhatAnotherProgramWrote) {
    struct Row {
        QByteArray uri;
        QString label;
        QByteArray path;
        QString title;
    };
    const std::vector<Row> expected{
        {"file:///home/me/Music", "", "/home/me/Music", "Music"},
        {"file:///home/me/My%20Projects", "Work%20stuff label", "/home/me/My Projects", "Work%20stuff label"},
        {"sftp://server/srv/data", "Server", "", "Server"},
        {"trash:///", "", "", "trash:///"},
        {"file://localhost/opt/caf%E9", "", "/opt/caf\xe9", QString::fromUtf8("caf\xef\xbf\xbd")},
        {"file://otherhost/x", "", "", "file://otherhost/x"},
        {"file:///srv/a%2Fb?query", "Last", "/srv/a/b", "Last"},
    };
    const std::vector<Bookmark> got = Bookmarks::parse(kForeign);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(expected[i].uri.toStdString());
        EXPECT_EQ(got[i].uri, expected[i].uri);
        EXPECT_EQ(got[i].label, expected[i].label);
        EXPECT_EQ(got[i].path, expected[i].path);
        EXPECT_EQ(got[i].title(), expected[i].title);
    }
}

TEST(Bookmarks, UriRoundTripsAnyBytes) {
    for (const QByteArray& path : {QByteArray("/"), QByteArray("/a b/c%d"), QByteArray("/x/caf\xe9#?&+"),
                                   QByteArray("/\xd0\xb4\xd0\xbe\xd0\xbc")}) {
        const QByteArray uri = Bookmarks::uriOf(path);
        EXPECT_TRUE(uri.startsWith("file:///")) << uri.toStdString();
        EXPECT_FALSE(uri.contains(' ')) << "a space would end the URI";
        EXPECT_EQ(Bookmarks::pathOf(uri), path);
    }
    EXPECT_EQ(Bookmarks::uriOf("/a b"), "file:///a%20b");
}

TEST(Bookmarks, AMissingFileHasNone) {
    TempDir dir;
    EXPECT_TRUE(Bookmarks::load(QString::fromStdString(dir / "nothing")).empty());
}

TEST(Bookmarks, OnlyARegularFileIsReadAndOnlyItsFirstBytes) {
    TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(Bookmarks::load(QString::fromStdString(fifo)).empty()) << "read without waiting for a writer";
    writeFile(dir / "big", "file:///a\nfile:///b\nfile:///cut-in-the-middle\n");
    const std::vector<Bookmark> got = Bookmarks::load(QString::fromStdString(dir / "big"), 25);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].uri, "file:///b");
}

TEST(Bookmarks, AddingKeepsEveryOtherLineAndAddsNoDuplicate) {
    TempDir dir;
    const std::string file = dir / "gtk-3.0/bookmarks";
    ::mkdir((dir / "gtk-3.0").c_str(), 0700);
    writeFile(file, kForeign);
    const QString qfile = QString::fromStdString(file);
    QString error;
    ASSERT_TRUE(Bookmarks::add(qfile, "/data/new one", "", &error)) << error.toStdString();
    EXPECT_EQ(readFile(file), std::string(kForeign) + "\nfile:///data/new%20one\n");
    // Named already (with or without a trailing slash): nothing changes.
    ASSERT_TRUE(Bookmarks::add(qfile, "/home/me/Music/", "", &error));
    ASSERT_TRUE(Bookmarks::add(qfile, "/data/new one", "", &error));
    EXPECT_EQ(readFile(file), std::string(kForeign) + "\nfile:///data/new%20one\n");
    // With a label; no temporary file is left beside it.
    ASSERT_TRUE(Bookmarks::add(qfile, "/opt/caf\xe9/x", "Caf\xc3\xa9", &error));
    const std::vector<Bookmark> all = Bookmarks::load(qfile);
    ASSERT_EQ(all.size(), 9u);
    EXPECT_EQ(all.back().path, "/opt/caf\xe9/x");
    EXPECT_EQ(all.back().label, QString::fromUtf8("Caf\xc3\xa9"));
    int entries = 0;
    if (DIR* d = ::opendir((dir / "gtk-3.0").c_str())) {
        while (const dirent* e = ::readdir(d)) entries += e->d_name[0] != '.';
        ::closedir(d);
    }
    EXPECT_EQ(entries, 1);
}

TEST(Bookmarks, AddingCreatesTheFileAndItsFolder) {
    TempDir dir;
    const std::string file = dir / "config/gtk-3.0/bookmarks";
    QString error;
    ASSERT_TRUE(Bookmarks::add(QString::fromStdString(file), "/srv", "", &error)) << error.toStdString();
    EXPECT_EQ(readFile(file), "file:///srv\n");
}

TEST(Bookmarks, AddingFollowsALinkedFile) {
    TempDir dir;
    writeFile(dir / "real", "file:///a\n");
    ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "bookmarks").c_str()), 0);
    QString error;
    ASSERT_TRUE(Bookmarks::add(QString::fromStdString(dir / "bookmarks"), "/b", "", &error));
    EXPECT_EQ(readFile(dir / "real"), "file:///a\nfile:///b\n");
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "bookmarks").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(Bookmarks, AnUnreadableFileIsNotOverwritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    TempDir dir;
    writeFile(dir / "bookmarks", "file:///keep\n");
    ::chmod((dir / "bookmarks").c_str(), 0200);
    QString error;
    EXPECT_FALSE(Bookmarks::add(QString::fromStdString(dir / "bookmarks"), "/b", "", &error));
    EXPECT_FALSE(error.isEmpty());
    ::chmod((dir / "bookmarks").c_str(), 0600);
    EXPECT_EQ(readFile(dir / "bookmarks"), "file:///keep\n");
}

// Edits of the bookmarks a menu showed (the first three here): every other line stays where it was.
TEST(Bookmarks, EditingRewritesOnlyTheBookmarksRead) {
    const std::string before =
        "file:///a A\n"
        "\n"
        "sftp://server/b\r\n"
        "file:///c\n"
        "file:///not-shown Kept\n"
        "file:///also-not-shown";
    auto change = [](size_t from, std::optional<QString> label = std::nullopt) {
        return BookmarkChange{from, std::move(label)};
    };
    struct Case {
        const char* what;
        std::vector<BookmarkChange> order;
        std::string after;
    } cases[] = {
        {"nothing changed", {change(0), change(1), change(2)}, before},
        {"renamed, a new line in the name made a blank",
         {change(0, "New\nname "), change(1, "Server"), change(2, "")},
         "file:///a New name\n\nsftp://server/b Server\nfile:///c\n"
         "file:///not-shown Kept\nfile:///also-not-shown"},
        {"a label removed",
         {change(0, ""), change(1), change(2)},
         "file:///a\n\nsftp://server/b\r\nfile:///c\nfile:///not-shown Kept\nfile:///also-not-shown"},
        {"the first removed",
         {change(1), change(2)},
         "sftp://server/b\r\n\nfile:///c\nfile:///not-shown Kept\nfile:///also-not-shown"},
        {"moved down",
         {change(1), change(0), change(2)},
         "sftp://server/b\r\n\nfile:///a A\nfile:///c\nfile:///not-shown Kept\nfile:///also-not-shown"},
        {"all removed", {}, "\nfile:///not-shown Kept\nfile:///also-not-shown"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeFile(dir / "bookmarks", before);
        const QString file = QString::fromStdString(dir / "bookmarks");
        std::vector<Bookmark> read = Bookmarks::load(file);
        read.resize(3);
        QString error;
        ASSERT_TRUE(Bookmarks::edit(file, read, c.order, &error)) << error.toStdString();
        EXPECT_EQ(readFile(dir / "bookmarks"), c.after);
    }
}

TEST(Bookmarks, AnEditOfAFileChangedMeanwhileOrNotAFileWritesNothing) {
    TempDir dir;
    writeFile(dir / "bookmarks", "file:///a\nfile:///b\n");
    const QString file = QString::fromStdString(dir / "bookmarks");
    const std::vector<Bookmark> read = Bookmarks::load(file);
    writeFile(dir / "bookmarks", "file:///a\nfile:///b Renamed elsewhere\n");
    QString error;
    EXPECT_FALSE(Bookmarks::edit(file, read, {BookmarkChange{1, {}}}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(dir / "bookmarks"), "file:///a\nfile:///b Renamed elsewhere\n");
    // A bookmark named twice is no edit.
    writeFile(dir / "bookmarks", "file:///a\nfile:///b\n");
    EXPECT_FALSE(Bookmarks::edit(file, read, {BookmarkChange{0, {}}, BookmarkChange{0, {}}}, &error));
    EXPECT_EQ(readFile(dir / "bookmarks"), "file:///a\nfile:///b\n");

    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(Bookmarks::edit(QString::fromStdString(fifo), {}, {}, &error)) << "read without waiting";
    EXPECT_FALSE(Bookmarks::add(QString::fromStdString(fifo), "/x", "", &error)) << "read without waiting";
}

// The menu shows the bookmarks of the file's first bytes; an edit of those keeps the rest of a longer file.
TEST(Bookmarks, AnEditKeepsWhatLiesBeyondTheBytesShown) {
    TempDir dir;
    std::string text = "file:///first\n";
    for (int i = 0; text.size() < 3 * 1024 * 1024; ++i) text += "file:///far/" + std::to_string(i) + "\n";
    writeFile(dir / "bookmarks", text);
    const QString file = QString::fromStdString(dir / "bookmarks");
    std::vector<Bookmark> read = Bookmarks::load(file);
    ASSERT_LT(read.size(), static_cast<size_t>(std::count(text.begin(), text.end(), '\n')));
    read.resize(2);
    QString error;
    ASSERT_TRUE(Bookmarks::edit(file, read, {BookmarkChange{1, {}}}, &error)) << error.toStdString();
    EXPECT_EQ(readFile(dir / "bookmarks"), text.substr(text.find('\n') + 1));
}

TEST(Bookmarks, TheFileFollowsXdgConfigHome) {
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(Bookmarks::defaultFile(), "/cfg/gtk-3.0/bookmarks");
    qputenv("XDG_CONFIG_HOME", "relative");
    EXPECT_TRUE(Bookmarks::defaultFile().endsWith("/.config/gtk-3.0/bookmarks"));
    qputenv("XDG_CONFIG_HOME", old);
}

TEST(SubFolders, ListsFoldersAndLinksToThemInViewOrder) {
    TempDir dir;
    for (const char* d : {"b", "A", "file10", "file2", ".hidden", "caf\xe9"})
        ::mkdir((dir / d).c_str(), 0700);
    writeFile(dir / "plain.txt", "x");
    ASSERT_EQ(::symlink((dir / "b").c_str(), (dir / "link").c_str()), 0);
    ASSERT_EQ(::symlink((dir / "plain.txt").c_str(), (dir / "filelink").c_str()), 0);
    const SubFolders::Result r = SubFolders::list(QByteArray::fromStdString(dir.path()));
    EXPECT_EQ(r.error, 0);
    EXPECT_EQ(r.names, (std::vector<QByteArray>{"A", "b", "caf\xe9", "file2", "file10", "link"}));
    EXPECT_EQ(SubFolders::list(QByteArray::fromStdString(dir.path()), true).names.front(), ".hidden");
    EXPECT_EQ(SubFolders::list(QByteArray::fromStdString(dir / "missing")).error, ENOENT);
    EXPECT_EQ(SubFolders::list(QByteArray::fromStdString(dir / "plain.txt")).error, ENOTDIR);
}

}  // namespace
}  // namespace kv
