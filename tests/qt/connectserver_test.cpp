// Connect to Server…: the address its parts make, and the recent servers it and the places menu offer.

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include "filemanager_support.h"
#include "platform/qt/remote/connectdialog.h"
#include "platform/qt/remote/recentservers.h"
#include "platform/qt/remote/serverevents.h"

namespace kv::test {
namespace {

class ConnectToServerTest : public ::testing::Test {
  protected:
    TempDir config;
    std::string file = config / "servers.json";

    static void set(ConnectDialog& d, const char* name, const QString& text) {
        d.findChild<QLineEdit*>(name)->setText(text);
    }
};

TEST_F(ConnectToServerTest, TheDialogBuildsTheAddressFromItsPartsAndRefusesAWrongOne) {
    struct Row {
        const char* scheme;
        const char* server;
        const char* port;
        const char* folder;
        const char* user;
        const char* address;  // empty: refused, with a note
    };
    const Row rows[] = {
        {"sftp", "Example.org", "", "", "", "sftp://example.org/"},
        {"ftp", "  host ", "2121", "pub/new", "kim", "ftp://kim@host:2121/pub/new"},
        {"smb", "nas", "", "/share/a b%", "DOM;kim@corp", "smb://DOM%3Bkim%40corp@nas/share/a%20b%25"},
        {"dav", "::1", "8080", "/x/../y/", "", "dav://[::1]:8080/y"},
        {"davs", "cloud", "", "/", "", "davs://cloud/"},
        {"sftp", "", "", "/srv", "kim", ""},
        {"sftp", "   ", "", "", "", ""},
        {"sftp", "host", "70000", "", "", ""},
        {"sftp", "host", "ssh", "", "", ""},
        {"sftp", "host/dir", "", "", "", ""},
        {"sftp", "kim@host", "", "", "", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.server) + " " + r.port + " " + r.folder);
        ConnectDialog dialog({});
        dialog.show();
        auto* scheme = dialog.findChild<QComboBox*>("scheme");
        scheme->setCurrentIndex(scheme->findData(QString::fromLatin1(r.scheme)));
        set(dialog, "server", r.server);
        set(dialog, "port", r.port);
        set(dialog, "folder", r.folder);
        set(dialog, "user", r.user);
        QSignalSpy connected(&dialog, &ConnectDialog::connectTo);
        dialog.findChild<QPushButton*>("connect")->click();
        auto* note = dialog.findChild<QLabel*>("note");
        if (*r.address) {
            ASSERT_EQ(connected.size(), 1);
            EXPECT_EQ(connected[0][0].toString(), r.address);
            EXPECT_FALSE(dialog.isVisible());
        } else {
            EXPECT_TRUE(connected.isEmpty());
            EXPECT_TRUE(dialog.isVisible());
            EXPECT_TRUE(note->isVisible());
            EXPECT_FALSE(note->text().isEmpty());
        }
    }
    // A recent server fills the parts in.
    ConnectDialog dialog({"ftp://kim@host:2121/"});
    auto* recent = dialog.findChild<QComboBox*>("recentServers");
    ASSERT_NE(recent, nullptr);
    recent->setCurrentIndex(1);
    emit recent->activated(1);
    QString why;
    EXPECT_EQ(dialog.address(&why), "ftp://kim@host:2121/");
}

TEST_F(ConnectToServerTest, RecentServersKeepTheLatestTenOnceEachAndSurviveADamagedFile) {
    {
        RecentServers servers(QString::fromStdString(file));
        EXPECT_TRUE(servers.servers().isEmpty());
        for (int i = 0; i < 12; ++i) servers.visited(QString("sftp://h%1/some/folder").arg(i));
        servers.visited("ftp://kim@H3:21/pub");
        servers.visited("sftp://h11/elsewhere");  // listed already: goes first, once
        servers.visited("/home/kim");             // no server
        const QStringList expected = {"sftp://h11/", "ftp://kim@h3:21/", "sftp://h10/", "sftp://h9/",
                                      "sftp://h8/",  "sftp://h7/",       "sftp://h6/",  "sftp://h5/",
                                      "sftp://h4/",  "sftp://h3/"};
        EXPECT_EQ(servers.servers(), expected);
        EXPECT_EQ(RecentServers(QString::fromStdString(file)).servers(), expected);
    }
    for (const char* damaged :
         {"{\"servers\": [\"sftp://a/\", ", "[1, 2]", "{\"servers\": [3, \"not://x\"]}"}) {
        writeFile(file, damaged);
        RecentServers servers(QString::fromStdString(file));
        EXPECT_TRUE(servers.servers().isEmpty()) << damaged;
        servers.visited("davs://cloud/x");
        EXPECT_EQ(RecentServers(QString::fromStdString(file)).servers(), QStringList{"davs://cloud/"});
    }
}

}  // namespace
}  // namespace kv::test

namespace kv::test {
namespace {

// A server unmounted from any pane's places sends the views on it home, saying so; others stay.
TEST(ServerUnmounted, ViewsOnItGoHomeAndSaySo) {
    ViewFixture f;
    // Nothing answers on the discard port: the listing fails, the view stays on the place.
    const QByteArray onIt = "ftp://127.0.0.1:9/pub", elsewhere = "ftp://127.0.0.2:9/pub";
    auto other = f.makeView();
    QList<QByteArray> requested, requestedElsewhere;
    QObject::connect(f.view.get(), &FolderView::folderRequested,
                     [&](const QByteArray& p) { requested << p; });
    QObject::connect(other.get(), &FolderView::folderRequested,
                     [&](const QByteArray& p) { requestedElsewhere << p; });
    f.view->showFolder(onIt);
    other->showFolder(elsewhere);
    emit ServerEvents::shared().unmounted("ftp://127.0.0.1:9/");
    EXPECT_EQ(requested, QList<QByteArray>{QFile::encodeName(QDir::homePath())});
    EXPECT_TRUE(requestedElsewhere.isEmpty());
    const auto* banner = f.view->findChild<QLabel*>("banner");
    EXPECT_TRUE(banner->isVisible() && banner->text().contains("disconnected"))
        << banner->text().toStdString();
}

}  // namespace
}  // namespace kv::test
