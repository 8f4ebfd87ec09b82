#include <QClipboard>
#include <QMimeData>

#include "filemanager_support.h"
#include "platform/qt/common/clipboardformat.h"

namespace kv::test {
namespace {

TEST(FileManagerClipboard, RoundTripKeepsRawBytesAndTheCutFlag) {
    const QList<QByteArray> paths = {"/tmp/plain.txt",   "/tmp/with space & #hash%.txt",
                                     "/tmp/caf\xc3\xa9", QByteArray("/tmp/latin1-\xe9\xff", 14),
                                     "/tmp/new\nline",   "sftp://kim@host:2222/srv/a b%#?.txt"};
    for (bool cut : {false, true}) {
        std::unique_ptr<QMimeData> data(ClipboardFormat::toMimeData(paths, cut));
        const ClipboardFormat::Content back = ClipboardFormat::fromMimeData(data.get());
        EXPECT_EQ(back.paths, paths);
        EXPECT_EQ(back.cut, cut);
        // What other file managers read: the first line says copy or cut, URIs are plain ASCII.
        const QByteArray gnome = data->data("x-special/gnome-copied-files");
        EXPECT_TRUE(gnome.startsWith(cut ? "cut\nfile:///tmp/plain.txt\n" : "copy\nfile:///tmp/plain.txt\n"));
        const QByteArray uris = data->data("text/uri-list");
        EXPECT_TRUE(uris.startsWith("file:///tmp/plain.txt\r\n"));
        for (char c : uris) EXPECT_TRUE(static_cast<unsigned char>(c) < 0x80);
    }
}

TEST(FileManagerClipboard, ReadsWhatOtherProgramsWrite) {
    struct Row {
        const char* format;
        QByteArray payload;
        QList<QByteArray> paths;
        bool cut;
    } rows[] = {
        {"x-special/gnome-copied-files",
         "cut\nfile:///home/u/a\nfile:///home/u/b%20c",
         {"/home/u/a", "/home/u/b c"},
         true},
        {"x-special/gnome-copied-files", "copy\r\nfile:///x\r\n", {"/x"}, false},
        {"text/uri-list", "# comment\r\nfile:///x\r\nfile://localhost/y\r\n", {"/x", "/y"}, false},
        {"text/uri-list", "http://example.com/a\r\nfile://otherhost/z\r\nfile:///ok\r\n", {"/ok"}, false},
        {"text/uri-list", "", {}, false},
        // Items on servers, as other file managers write them.
        {"x-special/gnome-copied-files",
         "copy\nsftp://kim@host/home/kim/a%20b\nsmb://srv/share/c",
         {"sftp://kim@host/home/kim/a b", "smb://srv/share/c"},
         false},
    };
    for (const Row& r : rows) {
        QMimeData data;
        data.setData(r.format, r.payload);
        const ClipboardFormat::Content c = ClipboardFormat::fromMimeData(&data);
        EXPECT_EQ(c.paths, r.paths) << r.payload.constData();
        EXPECT_EQ(c.cut, r.cut) << r.payload.constData();
        EXPECT_EQ(ClipboardFormat::hasFiles(&data), !r.paths.isEmpty());
    }
    QMimeData kde;
    kde.setData("text/uri-list", "file:///k\r\n");
    kde.setData("application/x-kde-cutselection", "1");
    EXPECT_TRUE(ClipboardFormat::fromMimeData(&kde).cut);
    QMimeData text;
    text.setText("/etc/passwd");
    EXPECT_FALSE(ClipboardFormat::hasFiles(&text)) << "plain text is not taken for files";
}

TEST(FileManagerClipboard, CopyAndCutThenPasteThroughTheKeys) {
    ViewFixture f;
    writeFile(f.dir / "one.txt", "1");
    writeFile(f.dir / "two.txt", "2");
    ::mkdir((f.dir / "dest").c_str(), 0755);
    ASSERT_TRUE(f.show(f.dir.path()));
    QWidget* v = f.view->currentView();

    ASSERT_TRUE(f.view->selectName("one.txt"));
    QTest::keyClick(v, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(ClipboardFormat::fromMimeData(QGuiApplication::clipboard()->mimeData()).paths,
              QList<QByteArray>{QByteArray::fromStdString(f.dir / "one.txt")});

    auto second = f.makeView();
    ASSERT_TRUE(ViewFixture::show(*second, f.dir / "dest"));
    QTest::keyClick(second->currentView(), Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(readFile(f.dir / "dest/one.txt"), "1");
    EXPECT_TRUE(exists(f.dir / "one.txt"));

    ASSERT_TRUE(f.view->selectName("two.txt"));
    QTest::keyClick(v, Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(ClipboardFormat::fromMimeData(QGuiApplication::clipboard()->mimeData()).cut);
    QTest::keyClick(second->currentView(), Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(readFile(f.dir / "dest/two.txt"), "2");
    EXPECT_FALSE(exists(f.dir / "two.txt"));
    EXPECT_FALSE(ClipboardFormat::hasFiles(QGuiApplication::clipboard()->mimeData()))
        << "cut files are pasted once";
    EXPECT_TRUE(f.listed(*second, "two.txt"));
}

}  // namespace
}  // namespace kv::test
