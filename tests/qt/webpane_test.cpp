#include <QHostAddress>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QWebEngineView>

#include "platform/qt/browser/browserview.h"
#include "qtprogram.h"

namespace kv::test {
namespace {

// A loopback HTTP server with a few pages: /start, /a (titled), /untitled, /probe (tries to read a local
// file and puts the outcome in its title).
class PageServer : public QObject {
  public:
    PageServer() {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [s] {
                    const QByteArray request = s->readAll();
                    const QByteArray path = request.split(' ').value(1);
                    QByteArray body;
                    if (path == "/start")
                        body = "<html><head><title>Start</title></head><body>start</body></html>";
                    else if (path == "/a")
                        body = "<html><head><title>Page A</title></head><body>a</body></html>";
                    else if (path == "/untitled")
                        body = "<html><body>no title</body></html>";
                    else if (path == "/probe")
                        body =
                            "<html><head><title>probing</title></head><body><script>"
                            "fetch('file:///etc/hostname').then(r => r.text())"
                            ".then(() => { document.title = 'read'; }, () => { document.title = 'blocked'; "
                            "});"
                            "</script></body></html>";
                    else
                        body = "<html><head><title>Other</title></head></html>";
                    s->write(
                        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: "
                        "close\r\nContent-Length: " +
                        QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    s->disconnectFromHost();
                });
            }
        });
    }
    QString url(const char* path) const {
        return QString("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }

  private:
    QTcpServer m_server;
};

class WebPaneTest : public QtProgramTest {
  protected:
    void SetUp() override {
        if (qgetenv("QT_QPA_PLATFORM") == "offscreen") GTEST_SKIP() << "the web engine needs a display";
        QtProgramTest::SetUp();
    }
    bool waitForName(BrowserView* view, const QString& name) {
        return QTest::qWaitFor([&] { return view->locationName() == name; }, 20000);
    }
    PageServer pages;
};

TEST_F(WebPaneTest, OpensTheStartPageAndReportsItsTitle) {
    setStartPage(pages.url("/start").toStdString());
    program().start();
    auto* xtra = widget<BrowserView>("Form1", "xtra");
    ASSERT_NE(xtra, nullptr);
    EXPECT_TRUE(waitForName(xtra, "Start"));
    EXPECT_EQ(widget<QLineEdit>("Form1", "Text1")->text(), pages.url("/start"));
    // The drive panes show folders and never start a web engine of their own.
    EXPECT_EQ(widget<BrowserView>("Form1", "Hard")->webView(), nullptr);
}

TEST_F(WebPaneTest, GoBackEndsOnTheStartPage) {
    setStartPage(pages.url("/start").toStdString());
    program().start();
    auto* xtra = widget<BrowserView>("Form1", "xtra");
    ASSERT_TRUE(waitForName(xtra, "Start"));
    forms()["Form1"]["xtra"].Navigate(pages.url("/untitled").toStdString());
    // A page without a title is named by its address, which begins with "http".
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return xtra->locationName().startsWith(pages.url("/untitled")); }, 20000));
    QTest::mouseClick(widget("Form1", "Label4"), Qt::LeftButton);
    EXPECT_TRUE(waitForName(xtra, "Start"));
}

TEST_F(WebPaneTest, ChangeStartPageStoresAndOpensIt) {
    program().start();
    auto* text = widget<QLineEdit>("Form1", "Text1");
    text->clear();
    QTest::keyClicks(text, pages.url("/a"));
    QTest::mouseClick(widget("Form1", "Command1"), Qt::LeftButton);
    auto* xtra = widget<BrowserView>("Form1", "xtra");
    EXPECT_TRUE(waitForName(xtra, "Page A"));
    EXPECT_EQ(program().reg().ReadRegString(kHkeyCurrentUser, "Software\\Kestrovan1.1", "StartPage"),
              pages.url("/a").toStdString());
}

TEST_F(WebPaneTest, ARemotePageCannotReadLocalFiles) {
    setStartPage(pages.url("/probe").toStdString());
    program().start();
    auto* xtra = widget<BrowserView>("Form1", "xtra");
    EXPECT_TRUE(waitForName(xtra, "blocked"));
}

}  // namespace
}  // namespace kv::test
