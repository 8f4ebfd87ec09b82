// The web view's guard, menu and keys, against pages from a loopback server: a page that reports every
// drag, drop and paste it sees, and the files it could read, back to the server.

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebEngineHistory>

#include "filemanager_support.h"
#include "loopbackserver.h"
#include "platform/qt/browser/browserview.h"
#include "platform/qt/common/wholetitle.h"
#include "platform/qt/web/webdropguard.h"
#include "platform/qt/web/webfindbar.h"
#include "platform/qt/web/webview.h"

namespace kv::test {
namespace {

const QByteArray kReporter = R"(<html><head><title>reporter</title></head>
<body style="margin:0"><textarea style="width:100vw;height:100vh"></textarea><script>
let entered = false;
function report(what, body) { fetch('/report/' + what, {method: 'POST', body: body}); }
function send(files) { for (const f of files) f.text().then(t => report('file', f.name + ':' + t)); }
document.addEventListener('dragenter', e => {
  if (!entered) report('dragenter', Array.from(e.dataTransfer.types).join(','));
  entered = true;
});
document.addEventListener('dragover', e => e.preventDefault());
document.addEventListener('drop', e => {
  e.preventDefault(); report('drop', String(e.dataTransfer.files.length)); send(e.dataTransfer.files);
});
document.addEventListener('paste', e => {
  report('paste', String(e.clipboardData.files.length) + ':' + e.clipboardData.getData('text/plain'));
  send(e.clipboardData.files);
});
</script></body></html>)";

const QByteArray kLinks = R"(<html><head><title>links</title></head><body style="margin:0">
<a href="/a" style="display:block;height:200px;background:#eee">a link</a>
<p>apple banana apple cherry apple</p></body></html>)";

// A window like the main window: a web pane over two folder panes.
class WebGuardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (qgetenv("QT_QPA_PLATFORM") == "offscreen") GTEST_SKIP() << "the web engine needs a display";
        server.page("/reporter", kReporter);
        server.page("/links", kLinks);
        server.page("/a", "<html><head><title>Page A</title></head><body>a</body></html>");
        window.resize(900, 700);
        web = new BrowserView(*fixture.services, &window);
        web->setGeometry(0, 0, 900, 400);
        left = new BrowserView(*fixture.services, &window);
        left->setGeometry(0, 400, 450, 300);
        right = new BrowserView(*fixture.services, &window);
        right->setGeometry(450, 400, 450, 300);
        window.show();
        left->openFolder(QByteArray::fromStdString(fixture.dir.path()));
        right->openFolder(QFile::encodeName(QDir::homePath()));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        // Shortcuts act in the active window only.
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    void TearDown() override { closeAll<QMessageBox>(); }

    bool open(const QByteArray& path, const QString& title) {
        web->navigate(server.url(path));
        return waitFor([&] { return web->locationName() == title; }, 20000) &&
               waitFor([&] { return view()->focusProxy() != nullptr; });
    }
    WebView* view() { return static_cast<WebView*>(web->webView()); }
    QWidget* content() { return view()->focusProxy() ? view()->focusProxy() : view(); }

    // A drag entering the page, moving over it and dropped, as the window delivers one: to the widget
    // under the pointer that takes drops.
    void dropFiles(const QList<QUrl>& files) {
        QMimeData data;
        data.setUrls(files);
        drop(data);
    }
    void drop(const QMimeData& data) {
        const QPoint at(100, 100);
        QWidget* target = view()->childAt(at);
        while (target && target != view() && !target->acceptDrops()) target = target->parentWidget();
        if (!target) target = view();
        const QPoint pos = target->mapFrom(view(), at);
        QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDragMoveEvent move(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        QDropEvent drop(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }
    QMessageBox* question() {
        QMessageBox* box = nullptr;
        waitFor([&] {
            box = findTopLevel<QMessageBox>();
            return box && box->objectName() == "giveFilesQuestion";
        });
        return box;
    }
    QUrl file(const std::string& name, const QByteArray& content) {
        writeFile(fixture.dir / name, content.toStdString());
        return QUrl::fromLocalFile(QString::fromStdString(fixture.dir / name));
    }

    LoopbackServer server;
    ViewFixture fixture;
    QWidget window;
    BrowserView* web = nullptr;
    BrowserView* left = nullptr;
    BrowserView* right = nullptr;
};

TEST_F(WebGuardTest, ADropOfFilesIsGivenOnlyWhenTheUserSaysYes) {
    ASSERT_TRUE(open("/reporter", "reporter"));
    const QList<QUrl> files = {file("secret-one.txt", "first secret"),
                               file("secret-two.txt", "second secret")};
    struct Case {
        QMessageBox::StandardButton answer;
        bool given;
    };
    for (const Case& c : {Case{QMessageBox::No, false}, Case{QMessageBox::Yes, true}}) {
        SCOPED_TRACE(c.given ? "Yes" : "No");
        dropFiles(files);
        QMessageBox* box = question();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), "Give 2 files to 127.0.0.1?");
        EXPECT_TRUE(box->informativeText().contains("secret-one.txt"));
        EXPECT_TRUE(box->informativeText().contains("secret-two.txt"));
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
        // Wide enough for its whole title in a window manager's frame.
        ASSERT_TRUE(waitFor([&] { return box->isVisible(); }));
        EXPECT_GE(box->width(), WholeTitle::widthFor(box->windowTitle()));
        box->button(c.answer)->click();
        if (c.given) {
            // Each file is read on its own: their reports may come in either order.
            EXPECT_TRUE(
                waitFor([&] { return server.received("/report/file", "secret-two.txt:second secret"); }));
            EXPECT_TRUE(
                waitFor([&] { return server.received("/report/file", "secret-one.txt:first secret"); }));
        } else {
            EXPECT_FALSE(server.received("/report/")) << server.log().last().path.constData();
            // A drag of text, which goes to the page unasked, comes after the files' drag: once the page
            // has reported its drop, it would have seen the files' drag. It saw nothing of it, not even
            // its start: the page reports only the first drag to enter it.
            QMimeData text;
            text.setText("plain words");
            drop(text);
            ASSERT_TRUE(waitFor([&] { return server.received("/report/drop", "0"); }));
            EXPECT_TRUE(server.received("/report/dragenter", "text/plain"));
            EXPECT_FALSE(server.received("/report/dragenter", "Files"));
            EXPECT_FALSE(server.received("/report/drop", "2"));
            EXPECT_FALSE(server.anyBodyContains("secret"));
        }
    }
}

TEST_F(WebGuardTest, PastingFilesIntoAPageAsksTheSame) {
    ASSERT_TRUE(open("/reporter", "reporter"));
    auto* data = new QMimeData;
    data->setUrls({file("pasted.txt", "pasted secret")});
    QApplication::clipboard()->setMimeData(data);
    content()->setFocus();
    bool focused = false;
    view()->page()->runJavaScript(
        "document.querySelector('textarea').focus(); document.activeElement.tagName",
        [&](const QVariant& tag) { focused = tag.toString() == "TEXTAREA"; });
    ASSERT_TRUE(waitFor([&] { return focused; }));

    QTest::keyClick(content(), Qt::Key_V, Qt::ControlModifier);
    QMessageBox* box = question();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Give 1 file to 127.0.0.1?");
    box->button(QMessageBox::No)->click();
    EXPECT_FALSE(server.received("/report/"));

    QTest::keyClick(content(), Qt::Key_V, Qt::ControlModifier);
    box = question();
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::Yes)->click();
    EXPECT_TRUE(waitFor([&] { return server.received("/report/paste"); }));
    // The paste that was refused would have been reported before this one.
    EXPECT_EQ(server.count("/report/paste"), 1);

    // Text is pasted without a question.
    QApplication::clipboard()->setText("plain words");
    QTest::keyClick(content(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(waitFor([&] { return server.received("/report/paste", "plain words"); }));
    EXPECT_EQ(findTopLevel<QMessageBox>(), nullptr);
}

TEST_F(WebGuardTest, APageChoosesFilesInTheProgramsOwnDialog) {
    server.page("/chooser", R"(<html><head><title>chooser</title></head><body style="margin:0">
<input type="file" style="position:absolute;left:0;top:0;width:300px;height:100px"><script>
document.querySelector('input').addEventListener('change', e => {
  for (const f of e.target.files)
    f.text().then(t => fetch('/report/file', {method: 'POST', body: f.name + ':' + t}));
});</script></body></html>)");
    const QUrl chosen = file("chosen.txt", "chosen content");
    const QString folder = QString::fromStdString(fixture.dir.path());
    web->setChooserFolder([folder] { return folder; });
    ASSERT_TRUE(open("/chooser", "chooser"));

    // The dialog runs its own event loop while the engine waits: it is answered from a timer.
    QString startedIn;
    QStringList seen;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<QFileDialog*>(w); dialog && dialog->isVisible()) {
                answer.stop();
                startedIn = dialog->directory().absolutePath();
                // Typed, as a user would: selectFile leaves alone a name field that has the focus.
                if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit"))
                    name->setText(chosen.toLocalFile());
                else
                    dialog->selectFile(chosen.toLocalFile());
                seen << dialog->objectName() + ":" + dialog->selectedFiles().join(',');
                static_cast<QDialog*>(dialog)->done(QDialog::Accepted);  // as the Open button does
            }
    });
    answer.start(100);
    QTest::mouseClick(content(), Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_TRUE(waitFor([&] { return server.received("/report/file", "chosen.txt:chosen content"); }, 20000));
    EXPECT_EQ(startedIn, folder);
    EXPECT_EQ(seen, QStringList{"webFileChooser:" + chosen.toLocalFile()});
}

// The names of a menu's menuEntries, its submenus' menuEntries after their own.
QStringList menuEntries(const QMenu* menu) {
    QStringList names;
    for (const QAction* a : menu->actions()) {
        if (a->isSeparator()) continue;
        names << (a->menu() ? a->menu()->objectName() : a->objectName());
        if (a->menu())
            for (const QString& n : menuEntries(a->menu())) names << a->menu()->objectName() + "/" + n;
    }
    return names;
}

TEST_F(WebGuardTest, TheMenuOfALinkOffersWhatWorksAndOpensItInAPane) {
    ASSERT_TRUE(open("/links", "links"));
    QTest::mouseMove(content(), QPoint(40, 40));
    QTest::mouseClick(content(), Qt::RightButton, {}, QPoint(40, 40));
    QMenu* menu = nullptr;
    ASSERT_TRUE(waitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }));
    EXPECT_EQ(menuEntries(menu),
              (QStringList{"back", "forward", "reload", "copyLink", "saveLink", "saveLinkAs",
                           "openLinkInPane", "openLinkInPane/openInPane", "openLinkInPane/openInPane",
                           "selectAll", "find", "downloads"}));
    for (const QAction* a : menu->findChildren<QAction*>()) {
        EXPECT_FALSE(a->text().contains("Inspect")) << a->text().toStdString();
        EXPECT_FALSE(a->text().contains("New", Qt::CaseInsensitive)) << a->text().toStdString();
    }
    EXPECT_FALSE(menu->findChild<QAction*>("back")->isEnabled());

    // The panes are named by what they show, top to bottom, left to right.
    const QMenu* panes = menu->findChild<QMenu*>("openLinkInPane");
    ASSERT_EQ(panes->actions().size(), 2);
    EXPECT_EQ(panes->actions()[0]->text(), left->locationName());
    panes->actions()[1]->trigger();
    menu->close();
    EXPECT_TRUE(waitFor([&] { return right->locationName() == "Page A"; }, 20000));
    EXPECT_EQ(web->locationName(), "links");
}

TEST_F(WebGuardTest, BrowserKeysWorkInThePage) {
    server.page("/first", "<html><head><title>first</title></head><body>1</body></html>");
    ASSERT_TRUE(open("/first", "first"));
    ASSERT_TRUE(open("/links", "links"));
    content()->setFocus();

    QTest::keyClick(content(), Qt::Key_Left, Qt::AltModifier);
    EXPECT_TRUE(waitFor([&] { return web->locationName() == "first"; }, 20000));
    QTest::keyClick(content(), Qt::Key_Right, Qt::AltModifier);
    EXPECT_TRUE(waitFor([&] { return web->locationName() == "links"; }, 20000));

    for (const QKeyCombination key : {QKeyCombination(Qt::Key_F5), QKeyCombination(Qt::CTRL | Qt::Key_R)}) {
        const int before = server.count("/links");
        QTest::keyClick(content(), key.key(), key.keyboardModifiers());
        EXPECT_TRUE(waitFor([&] { return server.count("/links") == before + 1; }, 20000));
    }

    ASSERT_TRUE(waitFor([&] { return view()->focusProxy() != nullptr; }));
    content()->setFocus();
    QTest::keyClick(content(), Qt::Key_F, Qt::ControlModifier);
    WebFindBar* bar = view()->findBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_TRUE(bar->field()->hasFocus());
    QTest::keyClicks(bar->field(), "apple");
    EXPECT_TRUE(waitFor([&] { return bar->resultText() == "1 of 3"; }));
    QTest::keyClick(bar->field(), Qt::Key_Return);
    EXPECT_TRUE(waitFor([&] { return bar->resultText() == "2 of 3"; })) << bar->resultText().toStdString();
    // On round the end, and back.
    for (const auto& [shift, expected] : {std::pair{false, "3 of 3"}, std::pair{false, "1 of 3"},
                                          std::pair{true, "3 of 3"}, std::pair{true, "2 of 3"}}) {
        QTest::keyClick(bar->field(), Qt::Key_Return, shift ? Qt::ShiftModifier : Qt::NoModifier);
        EXPECT_TRUE(waitFor([&] { return bar->resultText() == expected; }))
            << bar->resultText().toStdString();
    }
    QTest::keyClicks(bar->field(), "z");
    EXPECT_TRUE(waitFor([&] { return bar->resultText() == "No matches"; }));
    QTest::keyClick(bar->field(), Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
}

TEST(WebDropGuardText, NamesTheSiteAndTheFiles) {
    EXPECT_EQ(WebDropGuard::question(1, "example.org"), "Give 1 file to example.org?");
    EXPECT_EQ(WebDropGuard::question(2, "example.org"), "Give 2 files to example.org?");
    QList<QUrl> files;
    for (int i = 0; i < 12; ++i) files << QUrl::fromLocalFile(QStringLiteral("/tmp/f%1.txt").arg(i));
    const QString list = WebDropGuard::fileList(files);
    EXPECT_TRUE(list.startsWith("f0.txt\nf1.txt\n"));
    EXPECT_TRUE(list.endsWith("f9.txt\nand 2 more"));
    QMimeData mixed;
    mixed.setUrls({QUrl("https://example.org/x"), QUrl::fromLocalFile("/tmp/a")});
    EXPECT_EQ(WebDropGuard::localFiles(&mixed), QList<QUrl>{QUrl::fromLocalFile("/tmp/a")});
}

}  // namespace
}  // namespace kv::test
