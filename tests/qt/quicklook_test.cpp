// Quick look: what it makes of a file, what its pages may load, and the window that follows a pane.

#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWebEngineView>
#include <functional>
#include <memory>

#include "filemanager_support.h"
#include "loopbackserver.h"
#include "platform/fs/archives/archivelocation.h"
#include "platform/fs/archives/compressjob.h"
#include "platform/qt/quicklook/previewcontent.h"
#include "platform/qt/quicklook/previewinterceptor.h"
#include "platform/qt/quicklook/quicklook.h"

namespace kv::test {
namespace {

TEST(PreviewText, GuessesTheEncoding) {
    struct Case {
        QByteArray bytes;
        QString text;
        QString encoding;
    };
    const Case cases[] = {
        {"plain ascii", "plain ascii", "UTF-8"},
        {"caf\xc3\xa9", "café", "UTF-8"},
        {"\xef\xbb\xbf"
         "bom",
         "bom", "UTF-8"},
        {QByteArray("\xff\xfeh\0i\0", 6), "hi", "UTF-16LE"},
        {"caf\xe9 \x80", "café €", "Windows-1252"},
        {"", "", "UTF-8"},
        {"caf\xc3", "caf\u00c3", "Windows-1252"},  // a whole text that ends inside a character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.toHex().toStdString());
        QString encoding;
        EXPECT_EQ(PreviewContent::decode(c.bytes, &encoding), c.text);
        EXPECT_EQ(encoding, c.encoding);
    }
    // The start of a longer text may end inside a character.
    QString encoding;
    EXPECT_EQ(PreviewContent::decode("caf\xc3", &encoding, true), "caf");
    EXPECT_EQ(encoding, "UTF-8");
}

TEST(PreviewText, IsEscapedAndRunsNothing) {
    const QByteArray page = PreviewContent::textPage("<script>alert(1)</script> & co", "a<b>.txt", false);
    EXPECT_TRUE(page.contains("&lt;script&gt;alert(1)&lt;/script&gt; &amp; co"));
    EXPECT_TRUE(page.contains("<title>a&lt;b&gt;.txt</title>"));
    EXPECT_FALSE(page.contains("<script>"));
    EXPECT_TRUE(page.contains("default-src 'none'"));
}

TEST(PreviewContentOfFiles, ShowsWhatTheEngineShowsAndMakesPagesForTheRest) {
    TempDir dir;
    writeFile(dir / "page.html", "<html><body>hi</body></html>");
    writeFile(dir / "doc.pdf", "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
    writeFile(dir / "notes.txt", "caf\xe9");
    writeFile(dir / "code.cpp", "int main() { return 0; }\n");
    writeFile(dir / "pic.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>");
    writeFile(dir / "blob.bin", std::string("\x01\x02\0\x03", 4));
    writeFile(dir / "locked.txt", "secret");
    ::chmod((dir / "locked.txt").c_str(), 0);
    ::mkdir((dir / "folder").c_str(), 0755);
    struct Case {
        const char* name;
        QByteArray type;
        bool file;  // the file itself, else a page made for it
        QByteArray pageHolds;
    };
    const Case cases[] = {
        {"page.html", "text/html", true, {}},
        {"doc.pdf", "application/pdf", true, {}},
        {"pic.svg", "image/svg+xml", true, {}},
        {"notes.txt", "text/html", false, "café"},
        {"code.cpp", "text/html", false, "int main() { return 0; }"},
        {"blob.bin", "text/html", false, "no preview for this type"},
        {"folder", "text/html", false, "A folder."},
        {"missing", "text/html", false, "cannot be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PreviewContent content = PreviewContent::make(QByteArray::fromStdString(dir / c.name));
        EXPECT_EQ(content.mimeType, c.type);
        EXPECT_EQ(content.fd != nullptr, c.file);
        EXPECT_TRUE(content.page.contains(c.pageHolds));
    }
    if (::geteuid() != 0) {
        const PreviewContent locked = PreviewContent::make(QByteArray::fromStdString(dir / "locked.txt"));
        EXPECT_TRUE(locked.page.contains("cannot be read"));
    }
}

TEST(PreviewRequests, LoadOnlyTheFileUnlessThePageMayReachTheNetwork) {
    const QUrl page("kv-preview://p3/page.html");
    struct Case {
        const char* url;
        const char* remoteFor;
        bool allowed;
    };
    const Case cases[] = {
        {"kv-preview://p3/page.html", "", true},
        {"data:text/plain,x", "", true},
        {"blob:kv-preview://p3/1234", "", true},
        {"chrome-extension://mhjfbmdgcfjbbpaeojofohoefgiehjai/index.html", "", true},
        {"http://127.0.0.1:8000/leak", "", false},
        {"https://example.org/", "", false},
        {"wss://example.org/", "", false},
        {"file:///etc/passwd", "", false},
        {"ftp://example.org/x", "", false},
        {"http://127.0.0.1:8000/leak", "p3", true},
        {"wss://example.org/", "p3", true},
        {"http://127.0.0.1:8000/leak", "p2", false},
        {"file:///etc/passwd", "p3", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.url) + " " + c.remoteFor);
        EXPECT_EQ(PreviewInterceptor::allows(QUrl(c.url), page, c.remoteFor), c.allowed);
    }
}

// Where the preview goes on a 1366x768 screen (a panel takes 28 pixels), for the panes of the windows.
TEST(QuickLookPlace, BesideThePaneElseAwayFromTheItem) {
    const QRect area(0, 0, 1366, 740);
    const QSize wanted(751, 555);
    struct Row {
        const char* what;
        QRect pane, item, frame;
    } rows[] = {
        {"the main window's left pane", {0, 400, 683, 340}, {10, 420, 200, 20}, {683, 185, 683, 555}},
        {"its right pane", {683, 400, 683, 340}, {700, 420, 200, 20}, {0, 185, 683, 555}},
        {"the second of four columns", {341, 50, 342, 690}, {350, 80, 300, 20}, {683, 117, 683, 555}},
        {"a pane as wide as the screen, the item on the left",
         {0, 30, 1366, 710},
         {20, 60, 100, 90},
         {615, 107, 751, 555}},
        {"the item on the right", {0, 30, 1366, 710}, {1250, 60, 100, 90}, {0, 107, 751, 555}},
        {"a row as wide as the screen", {0, 30, 1366, 710}, {0, 300, 1366, 24}, {307, 324, 751, 416}},
        {"the row low on the screen", {0, 30, 1366, 710}, {0, 600, 1366, 24}, {307, 45, 751, 555}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const QRect frame = QuickLook::placeBeside(area, r.pane, r.item, wanted);
        EXPECT_EQ(frame, r.frame);
        EXPECT_FALSE(frame.intersects(r.item));
        EXPECT_TRUE(area.contains(frame));
    }
}

class QuickLookTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (qgetenv("QT_QPA_PLATFORM") == "offscreen") GTEST_SKIP() << "the web engine needs a display";
        writeFile(f.dir / "a-probe.html", probe().toStdString());
        writeFile(f.dir / "b-notes.txt", "caf\xe9 au lait");
        writeFile(f.dir / "c-other.txt", "other file's secret");
        ASSERT_TRUE(ViewFixture::show(*f.view, f.dir.path()));
        ASSERT_TRUE(f.view->selectName("a-probe.html"));
        f.view->focusItems();
    }
    void TearDown() override {
        if (QuickLook* look = QuickLook::of(*f.view)) look->hide();
    }
    // A page that tries the network and another local file, and says in its title what it got.
    QByteArray probe() const {
        const QByteArray other =
            QUrl::fromLocalFile(QString::fromStdString(f.dir / "c-other.txt")).toEncoded();
        return "<html><head><title>probing</title></head><body>probe<script>"
               "const tryit = u => fetch(u).then(r => r.text()).then(() => 'read', () => 'blocked');"
               "Promise.all([tryit('" +
               server.url("/leak").toUtf8() + "'), tryit('" + other +
               "')]).then(([net, file]) => { document.title = 'net:' + net + ' file:' + file; });"
               "</script></body></html>";
    }
    QString title(QuickLook* look) { return look->webView()->title(); }
    void key(int k) { QTest::keyClick(f.view->currentView(), static_cast<Qt::Key>(k)); }

    LoopbackServer server;
    ViewFixture f;
};

TEST_F(QuickLookTest, APreviewedPageReachesNeitherTheNetworkNorOtherFiles) {
    key(Qt::Key_Space);
    QuickLook* look = QuickLook::of(*f.view);
    ASSERT_NE(look, nullptr);
    ASSERT_TRUE(look->isVisible());
    // The pane keeps the keys.
    EXPECT_FALSE(look->isAncestorOf(QApplication::focusWidget()));
    ASSERT_TRUE(waitFor([&] { return title(look) == "net:blocked file:blocked"; }, 20000))
        << title(look).toStdString();
    EXPECT_FALSE(server.received("/leak"));
    EXPECT_TRUE(waitFor([&] { return look->remoteBar()->isVisible(); }));

    // Allowed for this page: the network, never the other file.
    look->remoteBar()->findChild<QPushButton*>("allowRemote")->click();
    EXPECT_TRUE(waitFor([&] { return title(look) == "net:read file:blocked"; }, 20000))
        << title(look).toStdString();
    EXPECT_TRUE(server.received("/leak"));
}

TEST_F(QuickLookTest, FollowsThePaneAndClosesWithSpaceOrEscape) {
    key(Qt::Key_Space);
    QuickLook* look = QuickLook::of(*f.view);
    ASSERT_NE(look, nullptr);
    // Beside the pane, which keeps in sight.
    const QRect pane(f.view->mapToGlobal(QPoint(0, 0)), f.view->size());
    EXPECT_FALSE(look->frameGeometry().intersects(pane)) << look->frameGeometry().x();
    ASSERT_TRUE(waitFor([&] { return look->webView()->title().startsWith("net:"); }, 20000));

    key(Qt::Key_Down);
    EXPECT_EQ(look->shownUrl().path(), "/b-notes.txt");
    EXPECT_TRUE(waitFor([&] { return look->webView()->title() == "b-notes.txt"; }, 20000));
    QString text;
    look->webView()->page()->toPlainText([&](const QString& t) { text = t; });
    EXPECT_TRUE(waitFor([&] { return text.contains("café au lait"); })) << text.toStdString();
    EXPECT_TRUE(text.contains("Windows-1252"));

    key(Qt::Key_Escape);
    EXPECT_FALSE(look->isVisible());
    key(Qt::Key_Space);
    EXPECT_TRUE(look->isVisible());
    key(Qt::Key_Space);
    EXPECT_FALSE(look->isVisible());

    // Space in the preview window closes it too.
    key(Qt::Key_Space);
    ASSERT_TRUE(look->isVisible());
    ASSERT_TRUE(waitFor([&] { return look->webView()->focusProxy() != nullptr; }));
    QTest::keyClick(look->webView()->focusProxy(), Qt::Key_Space);
    EXPECT_FALSE(look->isVisible());
}

// A pane as wide as the screen: the preview keeps off the current item as the arrows move it.
TEST_F(QuickLookTest, MovesOutOfTheCurrentItemsWay) {
    for (int i = 0; i < 30; ++i) writeFile(f.dir / ("d-" + std::to_string(i + 10) + ".txt"), "x");
    f.view->setGeometry(f.view->screen()->availableGeometry());
    ASSERT_TRUE(ViewFixture::show(*f.view, f.dir.path()));
    ASSERT_TRUE(f.view->selectName("b-notes.txt"));
    key(Qt::Key_Space);
    QuickLook* look = QuickLook::of(*f.view);
    ASSERT_TRUE(look && look->isVisible());
    QAbstractItemView* list = f.view->currentView();
    auto itemRect = [&] {
        const QRect r = list->visualRect(list->currentIndex()) & list->viewport()->rect();
        return QRect(list->viewport()->mapToGlobal(r.topLeft()), r.size());
    };
    for (int step = 0; step < 30; ++step) {
        key(Qt::Key_Down);
        EXPECT_TRUE(waitFor([&] { return !look->frameGeometry().intersects(itemRect()); }))
            << "step " << step << ": item at " << itemRect().y() << ", preview from "
            << look->frameGeometry().y();
    }
}

// An item of an archive is shown from a copy taken out of it; a folder in it is not extracted.
TEST_F(QuickLookTest, AnItemOfAnArchiveIsShownFromACopy) {
    ::mkdir((f.dir / "made").c_str(), 0755);
    ::mkdir((f.dir / "made/inner").c_str(), 0755);
    writeFile(f.dir / "made/inner/big.txt", "not to be taken out");
    writeFile(f.dir / "made/note.txt", "packed note");
    CompressJob job({f.dir / "made/note.txt", f.dir / "made/inner"}, f.dir / "pack.zip", ArchiveFormat::Zip);
    job.start();
    job.wait();
    ASSERT_TRUE(job.result().ok());
    ASSERT_TRUE(ViewFixture::show(*f.view, ArchiveLocation::make(f.dir / "pack.zip")));
    ASSERT_TRUE(f.view->selectName("note.txt"));
    key(Qt::Key_Space);
    QuickLook* look = QuickLook::of(*f.view);
    ASSERT_TRUE(look && look->isVisible());
    ASSERT_TRUE(waitFor([&] { return look->shownUrl().path().endsWith("note.txt"); }, 20000));
    EXPECT_TRUE(waitFor([&] { return look->webView()->title() == "note.txt"; }, 20000));
    // The answer may come after the test.
    auto text = std::make_shared<QString>();
    look->webView()->page()->toPlainText([text](const QString& t) { *text = t; });
    EXPECT_TRUE(waitFor([&] { return text->contains("packed note"); })) << text->toStdString();
    const QString copy = look->shownUrl().path();
    EXPECT_TRUE(copy.endsWith("note.txt")) << copy.toStdString();

    ASSERT_TRUE(f.view->selectName("inner"));
    EXPECT_TRUE(waitFor([&] { return look->shownUrl().path() != copy; }, 20000));
    EXPECT_TRUE(look->shownUrl().path().endsWith("inner")) << look->shownUrl().path().toStdString();
}

// When the pane shows another folder, the preview shows the new current item if it is a file and
// closes otherwise (no current item, or the folder Up came from).
TEST_F(QuickLookTest, FollowsThePaneIntoAnotherFolder) {
    ::mkdir((f.dir / "sub").c_str(), 0755);
    writeFile(f.dir / "sub/inner.txt", "inside");
    QObject::connect(f.view.get(), &FolderView::folderRequested, f.view.get(),
                     [&](const QByteArray& path) { f.view->showFolder(path); });
    const QByteArray sub = QByteArray::fromStdString(f.dir / "sub");
    struct Step {
        const char* what;
        std::function<void()> go;
        const char* shown;  // the file previewed afterwards; empty: closed
    };
    const Step steps[] = {
        {"into a folder, a file made current",
         [&] {
             f.view->showFolder(sub);
             f.view->selectWhenListed("inner.txt");
         },
         "/inner.txt"},
        {"Up: the folder left is current", [&] { f.view->goUp(); }, ""},
        {"into a folder with nothing current", [&] { f.view->showFolder(sub); }, ""},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        ASSERT_TRUE(ViewFixture::show(*f.view, f.dir.path()));
        ASSERT_TRUE(f.view->selectName("b-notes.txt"));
        if (QuickLook* open = QuickLook::of(*f.view); !open || !open->isVisible()) key(Qt::Key_Space);
        QuickLook* look = QuickLook::of(*f.view);
        ASSERT_TRUE(look && look->isVisible());
        ASSERT_EQ(look->shownUrl().path(), "/b-notes.txt");
        step.go();
        ASSERT_TRUE(waitFor([&] { return !f.view->model()->isLoading(); }));
        QApplication::processEvents();
        if (*step.shown) {
            EXPECT_TRUE(look->isVisible());
            EXPECT_EQ(look->shownUrl().path(), step.shown);
        } else {
            EXPECT_FALSE(look->isVisible());
        }
    }
}

}  // namespace
}  // namespace kv::test
