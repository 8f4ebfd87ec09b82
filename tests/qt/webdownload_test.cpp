#include <sys/xattr.h>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QHostAddress>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "filemanager_support.h"
#include "platform/qt/browser/browserview.h"
#include "platform/qt/browser/downloadswindow.h"
#include "platform/qt/common/sizetext.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/jobs/fileoperations.h"
#include "platform/qt/jobs/progresswindow.h"
#include "platform/qt/jobs/undostack.h"
#include "platform/qt/listing/statusline.h"
#include "platform/qt/pane/downloadnotice.h"
#include "platform/qt/web/webdownloads.h"
#include "platform/qt/web/webdrop.h"
#include "qtprogram.h"

namespace kv::test {
namespace {

// A loopback server for the downloads: /page sets a cookie and shows /pic.png, which it serves only
// with that cookie and the page as referrer; /bin is 1 MiB of noise; /named gives a non-ASCII name
// in its Content-Disposition; /stall announces 8 MiB and sends 64 KiB of it.
class FileServer : public QObject {
  public:
    FileServer() {
        QRandomGenerator noise(17);
        binary.resize(1 << 20);
        noise.fillRange(reinterpret_cast<quint32*>(binary.data()), binary.size() / 4);
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, s, [this, s] { answer(s); });
        });
    }
    QString url(const char* path) const {
        return QString("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }

    QByteArray binary, png;
    int refusedImages = 0;
    int drops = 0;  // requests for /drop
    QByteArray lastRefused;

  private:
    void answer(QTcpSocket* s) {
        const QByteArray request = s->readAll();
        const QByteArray path = request.split(' ').value(1);
        QByteArray head = "HTTP/1.1 200 OK\r\nConnection: close\r\n", body;
        if (path == "/page") {
            head += "Content-Type: text/html\r\nSet-Cookie: k=v; Path=/\r\n";
            body =
                "<html><head><title>Files</title></head><body><img src='/pic.png'>"
                "<a href='/bin'>Binary</a></body></html>";
        } else if (path == "/pic.png") {
            const bool known = request.contains("\r\nCookie: k=v") &&
                               request.contains("\r\nReferer: " + url("/page").toLatin1() + "\r\n");
            if (!known) ++refusedImages;
            if (!known) lastRefused = request;
            head = known ? head + "Content-Type: image/png\r\n"
                         : "HTTP/1.1 403 Forbidden\r\nConnection: close\r\n";
            body = known ? png : QByteArray("no");
        } else if (path == "/bin") {
            head += "Content-Type: application/octet-stream\r\n";
            body = binary;
        } else if (path == "/named") {
            head +=
                "Content-Type: application/octet-stream\r\n"
                "Content-Disposition: attachment; filename*=UTF-8''%C3%A9t%C3%A9%20%E2%82%AC.bin\r\n";
            body = "named";
        } else if (path == "/drop") {
            ++drops;
            s->write(
                "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: "
                "10485760\r\n\r\n" +
                QByteArray(300 * 1024, 'd'));
            s->disconnectFromHost();  // the rest never comes: the server went away
            return;
        } else if (path == "/stall") {
            s->write(
                "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: "
                "8388608\r\n\r\n" +
                QByteArray(65536, 's'));
            return;  // the rest never comes
        } else {
            head = "HTTP/1.1 404 Not Found\r\nConnection: close\r\n";
        }
        s->write(head + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
        s->disconnectFromHost();
    }

    QTcpServer m_server;
};

QByteArray sha(const QByteArray& data) {
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray attribute(const QString& path, const char* name) {
    char value[1024];
    const ssize_t n = ::getxattr(QFile::encodeName(path).constData(), name, value, sizeof value);
    return n < 0 ? QByteArray() : QByteArray(value, static_cast<int>(n));
}

class WebDownloadTest : public QtProgramTest {
  protected:
    void SetUp() override {
        if (qgetenv("QT_QPA_PLATFORM") == "offscreen") GTEST_SKIP() << "the web engine needs a display";
        QtProgramTest::SetUp();
        setStartPage(server.url("/page").toStdString());
        program().start();
        xtra = widget<BrowserView>("Form1", "xtra");
        hard = widget<BrowserView>("Form1", "Hard");
        ASSERT_TRUE(xtra && hard);
        ASSERT_TRUE(QTest::qWaitFor([&] { return xtra->locationName() == "Files"; }, 30000));
        folder = home() + "/into";
        QDir().mkpath(folder);
        hard->openFolder(QFile::encodeName(folder));
        ops().setReportsShown(false);
        QObject::connect(&ops(), &FileOperations::reported, [this](const QString& text) { reports << text; });
        ops().setHomeTrash(QFile::encodeName(home() + "/trash"));
    }
    void TearDown() override {
        // The profile, and with it its downloads, outlives the test: nothing may answer for it from here.
        if (xtra) {
            WebDownloads& downloads = WebDownloads::of(page()->profile());
            downloads.setAskSeveral({});
            downloads.setAskWhere({});
        }
        QtProgramTest::TearDown();
    }
    FileOperations& ops() { return hard->folderView()->fileOperations(); }
    QWebEnginePage* page() { return xtra->webView()->page(); }
    QStringList names() {
        QStringList found = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        found.sort();
        return found;
    }
    // Waits for the folder to hold exactly these names, and for the jobs to end.
    bool waitForNames(const QStringList& expected) {
        return QTest::qWaitFor([&] { return names() == expected && ops().runningJobs() == 0; }, 30000);
    }
    // A drag out of the page, as the engine makes one.
    void dropOnHard(QMimeData& data, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        EXPECT_EQ(
            WebDrop::drop(*xtra->webView(), &data, QFile::encodeName(folder), modifiers, *hard->folderView()),
            Qt::CopyAction);
    }

    FileServer server;
    BrowserView* xtra = nullptr;
    BrowserView* hard = nullptr;
    QString folder;
    QStringList reports;  // what the jobs told the user
};

TEST_F(WebDownloadTest, ADownloadGoesIntoTheDownloadsPaneAsSentAndUndoTrashesIt) {
    page()->download(QUrl(server.url("/bin")));
    ASSERT_TRUE(waitForNames({"bin"})) << names().join(", ").toStdString();
    const QString saved = folder + "/bin";
    EXPECT_EQ(sha(fileBytes(saved)), sha(server.binary));
    if (!attribute(saved, "user.xdg.origin.url").isEmpty()) {
        EXPECT_EQ(attribute(saved, "user.xdg.origin.url"), server.url("/bin").toLatin1());
        EXPECT_EQ(attribute(saved, "user.xdg.referrer.url"), server.url("/page").toLatin1());
    }
    ASSERT_TRUE(ops().undoStack()->canUndo());
    EXPECT_EQ(ops().undoStack()->nextDescription(), "Download of 1 item");
    ops().undo(hard);
    ASSERT_TRUE(waitForNames({}));
    EXPECT_TRUE(QFile::exists(home() + "/trash/files/bin"));
}

// A finished download says where it went in the status line of the pane it went into, and selects its
// file there; a click on the notice brings the file back into view from elsewhere.
TEST_F(WebDownloadTest, ADownloadIsAnnouncedInItsPaneAndItsFileSelected) {
    FolderView* pane = hard->folderView();
    page()->download(QUrl(server.url("/bin")));
    const QList<QByteArray> saved{QFile::encodeName(folder + "/bin")};
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane->selectedPaths() == saved; }, 30000));
    DownloadNotice* notice = DownloadNotice::of(*pane);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->fullText(), "Saved bin — " + sizeText(1 << 20));
    EXPECT_TRUE(notice->isVisible());
    EXPECT_FALSE(pane->statusLine()->findChild<QLabel*>("counts")->isVisible()) << "it stands in their place";

    hard->openFolder(QFile::encodeName(home()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane->folder() == QFile::encodeName(home()); }, 10000));
    QTest::mouseClick(notice, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return pane->selectedPaths() == saved; }, 15000));
}

// The Downloads list of the web pane's menu: a saved file, one cancelled there and tried again.
TEST_F(WebDownloadTest, TheDownloadsListCancelsRetriesAndShowsInTheFolder) {
    ops().setProgressDelay(60000);
    page()->download(QUrl(server.url("/bin")));
    ASSERT_TRUE(waitForNames({"bin"}));
    // A right click on the page, which the engine turns into the view's menu.
    QWidget* surface = xtra->webView()->focusProxy();
    ASSERT_TRUE(surface);
    QTest::mouseClick(surface, Qt::RightButton, {}, QPoint(300, 200));
    QMenu* menu = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (menu = findTopLevel<QMenu>()) != nullptr; }, 10000));
    ASSERT_TRUE(menu->findChild<QAction*>("downloads"));
    menu->findChild<QAction*>("downloads")->trigger();
    menu->close();
    DownloadsWindow* window = DownloadsWindow::instance();
    ASSERT_TRUE(window && window->isVisible());
    QTreeWidget* list = window->list();
    auto button = [&](const char* name) { return window->findChild<QPushButton*>(name); };
    auto last = [&] { return list->topLevelItem(list->topLevelItemCount() - 1); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return last()->text(0) == "bin"; }, 10000));
    EXPECT_EQ(last()->text(1), "Saved — " + sizeText(1 << 20));
    EXPECT_EQ(last()->text(2), folder);
    EXPECT_TRUE(button("open")->isEnabled());
    EXPECT_FALSE(button("retry")->isEnabled());

    hard->openFolder(QFile::encodeName(home()));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return hard->folderView()->folder() == QFile::encodeName(home()); }, 10000));
    button("showInFolder")->click();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return hard->folderView()->selectedPaths() ==
                   QList<QByteArray>{QFile::encodeName(folder + "/bin")};
        },
        15000));

    page()->download(QUrl(server.url("/stall")));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return last()->text(0) == "stall" && button("cancelDownload")->isEnabled(); }, 30000));
    const int entries = list->topLevelItemCount();
    button("cancelDownload")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return last()->text(1) == "Cancelled"; }, 30000))
        << last()->text(1).toStdString();
    ASSERT_TRUE(button("retry")->isEnabled());
    button("retry")->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return list->topLevelItemCount() == entries + 1 && button("cancelDownload")->isEnabled(); },
        30000));
    EXPECT_EQ(last()->text(0), "stall");
    button("cancelDownload")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return last()->text(1) == "Cancelled"; }, 30000));
    EXPECT_TRUE(waitForNames({"bin"})) << names().join(", ").toStdString();
    window->close();
}

TEST_F(WebDownloadTest, APageDownloadingOneFileAfterAnotherIsAskedAboutOnce) {
    // Downloads no click started, each ended before the next: the second asks, once for the site.
    int asked = 0;
    WebDownloads::of(page()->profile()).setAskSeveral([&](QWidget*, const QString& site) {
        ++asked;
        EXPECT_EQ(site, "127.0.0.1");
        return false;
    });
    int seen = 0;   // connected after the downloads' own handler, so it runs once that has decided
    QObject scope;  // the profile outlives the test: the connection must not
    QObject::connect(page()->profile(), &QWebEngineProfile::downloadRequested, &scope, [&] { ++seen; });
    page()->download(QUrl(server.url("/bin")));
    ASSERT_TRUE(waitForNames({"bin"}));
    page()->download(QUrl(server.url("/named")));
    page()->download(QUrl(server.url("/named")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen == 3; }, 30000));
    EXPECT_EQ(asked, 1) << "the answer holds for the site";
    EXPECT_TRUE(waitForNames({"bin"})) << names().join(", ").toStdString();
}

TEST_F(WebDownloadTest, TheServersNameIsKeptNonAsciiAndAll) {
    page()->download(QUrl(server.url("/named")));
    ASSERT_TRUE(waitForNames({"été €.bin"})) << names().join(", ").toStdString();
    EXPECT_EQ(fileBytes(folder + "/été €.bin"), "named");
}

TEST_F(WebDownloadTest, ATakenNameAsksAndKeepBothKeepsBoth) {
    QFile old(folder + "/bin");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    int asked = 0;
    ops().setResolverFactory([&asked] {
        struct KeepBoth : JobResolver {
            int& asked;
            explicit KeepBoth(int& a) : asked(a) {}
            void resolveClash(const ClashRequest&, ClashReply reply) override {
                ++asked;
                reply({ClashChoice::KeepBoth, false});
            }
            void resolveError(const ErrorRequest&, ErrorReply reply) override {
                reply({ErrorChoice::Skip, false});
            }
        };
        return std::make_shared<KeepBoth>(asked);
    });
    page()->download(QUrl(server.url("/bin")));
    ASSERT_TRUE(waitForNames({"bin", "bin (2)"})) << names().join(", ").toStdString();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(fileBytes(folder + "/bin"), "old");
    EXPECT_EQ(sha(fileBytes(folder + "/bin (2)")), sha(server.binary));
}

TEST_F(WebDownloadTest, ADownloadWhoseServerGoesAwayFailsOnceAndLeavesNoFile) {
    // The engine resumes a cut-off download by itself, again and again, each time as a new request,
    // while the first one never ends: one failure is said, and nothing is left running or on disk.
    page()->download(QUrl(server.url("/drop")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reports.isEmpty(); }, 60000)) << "the failure is said";
    EXPECT_TRUE(waitForNames({})) << names().join(", ").toStdString();
    EXPECT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports.front().contains("connection")) << reports.front().toStdString();
    EXPECT_LE(server.drops, 2) << "the first request, and at most the engine's one try again";
}

TEST_F(WebDownloadTest, ACancelledDownloadLeavesNoFile) {
    ops().setProgressDelay(0);
    page()->download(QUrl(server.url("/stall")));
    ProgressWindow* progress = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* p = qobject_cast<ProgressWindow*>(w); p && p->isVisible()) progress = p;
            return progress != nullptr && !names().isEmpty();  // the partial file is being written
        },
        30000));
    EXPECT_TRUE(names().front().startsWith(".kv-")) << names().front().toStdString();
    QTest::mouseClick(progress->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    EXPECT_TRUE(waitForNames({})) << names().join(", ").toStdString();
}

// A page that starts downloads by itself (no click, no key) runs one at a time; for a second one the
// page is asked about once, and a No holds for the page's later ones too.
TEST_F(WebDownloadTest, DownloadsNoClickStartedRunOneAtATimeAndAskOnce) {
    ops().setProgressDelay(0);
    page()->download(QUrl(server.url("/stall")));  // stays running
    ASSERT_TRUE(QTest::qWaitFor([&] { return !names().isEmpty(); }, 30000));
    int asked = 0;
    auto answerNo = [&asked] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                ++asked;
                box->button(QMessageBox::No)->click();
            }
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, answerNo);
    poll.start(50);
    page()->download(QUrl(server.url("/bin")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked == 1; }, 30000));
    // Connected after the downloads' own handler, this runs once that has decided about the request.
    bool decided = false;
    const auto c =
        QObject::connect(page()->profile(), &QWebEngineProfile::downloadRequested,
                         [&](QWebEngineDownloadRequest* r) { decided |= r->url() == server.url("/named"); });
    page()->download(QUrl(server.url("/named")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return decided; }, 30000));
    QObject::disconnect(c);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(names().contains("bin"));
    EXPECT_FALSE(names().contains("été €.bin"));
    poll.stop();
    // The first one is cancelled as a person would, so nothing of it is left running.
    ProgressWindow* progress = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* p = qobject_cast<ProgressWindow*>(w); p && p->isVisible()) progress = p;
            return progress != nullptr;
        },
        30000));
    QTest::mouseClick(progress->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    EXPECT_TRUE(waitForNames({})) << names().join(", ").toStdString();
}

TEST_F(WebDownloadTest, AFailedDownloadSaysWhyAndLeavesNoFile) {
    page()->download(QUrl(server.url("/missing")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reports.isEmpty() && ops().runningJobs() == 0; }, 30000));
    EXPECT_TRUE(reports.front().contains(server.url("/missing"))) << reports.front().toStdString();
    EXPECT_TRUE(names().isEmpty()) << names().join(", ").toStdString();
}

TEST_F(WebDownloadTest, SaveLinkAsAsksWhereOnceThenTheDownloadsPaneAgain) {
    const QString elsewhere = home() + "/chosen";
    QDir().mkpath(elsewhere);
    QString suggested;
    WebDownloads::of(page()->profile()).setAskWhere([&](QWidget*, const QString& offered) {
        suggested = offered;
        return elsewhere + "/picked.bin";
    });
    page()->setProperty("kvAskWhere", true);
    page()->download(QUrl(server.url("/bin")));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QFile::exists(elsewhere + "/picked.bin") && ops().runningJobs() == 0; }, 30000));
    EXPECT_EQ(suggested, folder + "/bin");  // offered beside, under the server's name
    EXPECT_FALSE(page()->property("kvAskWhere").toBool());
    EXPECT_EQ(sha(fileBytes(elsewhere + "/picked.bin")), sha(server.binary));
    page()->download(QUrl(server.url("/named")));
    EXPECT_TRUE(waitForNames({"été €.bin"}));
}

TEST_F(WebDownloadTest, ADroppedImageIsTheServersFileFetchedWithThePagesCookieAndReferrer) {
    QMimeData data;
    data.setHtml("<img src=\"" + server.url("/pic.png") + "\">");
    data.setUrls({QUrl::fromLocalFile(home() + "/engine-copy.png")});
    data.setImageData(QImage(40, 30, QImage::Format_ARGB32));  // a re-encoded stand-in: not what is saved
    dropOnHard(data);
    ASSERT_TRUE(waitForNames({"pic.png"}))
        << names().join(", ").toStdString() << reports.join("\n").toStdString()
        << server.lastRefused.toStdString();
    EXPECT_EQ(server.refusedImages, 0);
    EXPECT_EQ(sha(fileBytes(folder + "/pic.png")), sha(server.png));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return hard->folderView()->selectedPaths() ==
                   QList<QByteArray>{QFile::encodeName(folder + "/pic.png")};
        },
        15000));
}

TEST_F(WebDownloadTest, DroppedLinksAndTextsAreSavedAsWhatTheyAre) {
    QMimeData link;
    link.setUrls({QUrl(server.url("/bin"))});
    link.setText("Binary");
    dropOnHard(link);
    ASSERT_TRUE(waitForNames({"bin"}));
    EXPECT_EQ(sha(fileBytes(folder + "/bin")), sha(server.binary));

    dropOnHard(link, Qt::AltModifier);
    ASSERT_TRUE(waitForNames({"Binary.desktop", "bin"}))
        << names().join(", ").toStdString() << reports.join("\n").toStdString();
    EXPECT_EQ(fileBytes(folder + "/Binary.desktop"), "[Desktop Entry]\nType=Link\nName=Binary\nURL=" +
                                                         server.url("/bin").toUtf8() + "\nIcon=text-html\n");

    QMimeData text;
    text.setText("Selected words\nfrom the page");
    text.setHtml("<b>Selected words</b><br>from the page<img src='/pic.png'>");  // no address: a text
    dropOnHard(text);
    ASSERT_TRUE(waitForNames({"Binary.desktop", "Selected words from the page.txt", "bin"}));
    EXPECT_EQ(fileBytes(folder + "/Selected words from the page.txt"), "Selected words\nfrom the page");
}

// A link dragged from another program's browser onto a pane is downloaded into the pane's folder, in
// each of the forms browsers send; a Replace keeps the old file in the trash, and undo brings it back.
TEST_F(WebDownloadTest, AddressesDroppedFromOtherBrowsersAreDownloaded) {
    QWidget* viewport = hard->folderView()->currentView()->viewport();
    const QPoint at(5, 5);
    auto dropOnPane = [&](const QMimeData& data) {
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        EXPECT_TRUE(enter.isAccepted());
        EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
        EXPECT_TRUE(drop.isAccepted());
    };
    auto utf16 = [](const QString& text) {
        return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    };

    QMimeData list;
    list.setData("text/uri-list", server.url("/bin").toUtf8() + "\r\n");
    dropOnPane(list);
    ASSERT_TRUE(waitForNames({"bin"})) << names().join(", ").toStdString();
    EXPECT_EQ(sha(fileBytes(folder + "/bin")), sha(server.binary));

    QMimeData moz;
    moz.setData("text/x-moz-url", utf16(server.url("/named") + "\nA named file"));
    dropOnPane(moz);
    ASSERT_TRUE(waitForNames({"bin", "été €.bin"})) << names().join(", ").toStdString();

    QFile old(folder + "/bin");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
    old.write("old bytes");
    old.close();
    ops().setResolverFactory([] {
        struct Replace : JobResolver {
            void resolveClash(const ClashRequest&, ClashReply reply) override {
                reply({ClashChoice::Replace, false});
            }
            void resolveError(const ErrorRequest&, ErrorReply reply) override {
                reply({ErrorChoice::Skip, false});
            }
        };
        return std::make_shared<Replace>();
    });
    QMimeData netscape;
    netscape.setData("_NETSCAPE_URL", server.url("/bin").toUtf8() + "\nBinary");
    dropOnPane(netscape);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return sha(fileBytes(folder + "/bin")) == sha(server.binary); }, 30000));
    ASSERT_TRUE(waitForNames({"bin", "été €.bin"}));
    EXPECT_EQ(ops().undoStack()->nextDescription(), "Download of 1 item");
    ops().undo(hard);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fileBytes(folder + "/bin") == "old bytes"; }, 10000));
    EXPECT_TRUE(waitForNames({"bin", "été €.bin"}));
    EXPECT_TRUE(reports.isEmpty()) << reports.join("\n").toStdString();
}

TEST_F(WebDownloadTest, TheItemMenuOpensTheSourcePageInTheWebPane) {
    page()->download(QUrl(server.url("/bin")));
    ASSERT_TRUE(waitForNames({"bin"}));
    if (attribute(folder + "/bin", "user.xdg.referrer.url").isEmpty())
        GTEST_SKIP() << "no user attributes here";
    xtra->navigate("about:blank");
    FolderView* pane = hard->folderView();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane->model()->rowOfName("bin") >= 0; }, 10000));
    pane->selectWhenListed("bin");
    std::unique_ptr<QMenu> menu(pane->createContextMenu(true));
    QAction* open = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (open = menu->findChild<QAction*>("openSourcePage")) && open->isVisible(); }, 10000));
    open->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&] { return xtra->locationName() == "Files"; }, 30000));
}

}  // namespace
}  // namespace kv::test
