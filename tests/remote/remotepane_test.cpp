// A browser view opening a place on an FTP server of the test's own: the question asked in the pane,
// a wrong password, the crumbs from the server, Up and Back, and Cancel going back where the pane was.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "fs/tempdir.h"
#include "platform/qt/browser/browserview.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/folderview/ownedpaneservices.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/location/breadcrumbbar.h"
#include "platform/qt/location/locationbar.h"
#include "platform/qt/remote/mountpanel.h"
#include "remote/servers.h"

namespace kv::test {
namespace {

constexpr int kLimit = 60000;

class RemotePane : public ::testing::Test {
  protected:
    TempDir local;
    TempDir served;
    TempDir config;
    std::unique_ptr<FtpServer> server;
    std::unique_ptr<OwnedPaneServices> services = std::make_unique<OwnedPaneServices>();
    std::unique_ptr<BrowserView> view;

    void SetUp() override {
        ::mkdir((served / "docs").c_str(), 0755);
        ::mkdir((served / "docs/deeper").c_str(), 0755);
        writeFile(served / "docs/note.txt", "hello");
        server = std::make_unique<FtpServer>(
            served.path(), std::map<std::string, std::string>{{"pane", "secret"}, {"quits", "secret"}});
        ASSERT_TRUE(server->running()) << "pyftpdlib did not start";
        services->ops.setReportsShown(false);
        services->ops.setHomeTrash(QByteArray::fromStdString(config / "Trash"));
        services->ops.setTrashVolumes([] { return std::vector<std::string>{}; });
        view = std::make_unique<BrowserView>(*services);
        view->resize(900, 500);
        view->show();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
        view->openFolder(QByteArray::fromStdString(local.path()));
        ASSERT_TRUE(listed());
    }
    void TearDown() override { view.reset(); }

    QByteArray folder() { return view->folderView()->folder(); }
    MountPanel* panel() { return view->findChild<MountPanel*>(); }
    bool listed() {
        return QTest::qWaitFor([&] { return !view->folderView()->model()->isLoading(); }, kLimit);
    }
    bool asked() {
        return QTest::qWaitFor([&] { return panel()->asking() && panel()->isVisible(); }, kLimit);
    }
    void type(const std::string& address) {
        view->locationBar()->startEditing();
        view->locationBar()->editor()->setText(QString::fromStdString(address));
        QTest::keyClick(view->locationBar()->editor(), Qt::Key_Return);
    }
};

TEST_F(RemotePane, APasswordAskedInThePaneOpensTheServersFolder) {
    type(server->address("pane", "/docs"));
    ASSERT_TRUE(asked());
    EXPECT_FALSE(panel()->retryNote()->isVisible());
    EXPECT_TRUE(panel()->passwordField()->hasFocus());
    QTest::keyClicks(panel()->passwordField(), "wrong");
    QTest::keyClick(panel()->passwordField(), Qt::Key_Return);
    EXPECT_FALSE(panel()->isVisible());
    // The server turns the password down, and the pane asks again, saying why.
    ASSERT_TRUE(asked());
    EXPECT_TRUE(panel()->retryNote()->isVisible());
    QTest::keyClicks(panel()->passwordField(), "secret");
    panel()->connectButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->folderView()->model()->rowCount() == 2; }, kLimit));
    ASSERT_TRUE(listed());
    EXPECT_EQ(folder().toStdString(), server->address("pane", "/docs"));

    // The crumbs start at the server's root, named by the user and the server.
    const QList<QByteArray> crumbs = view->locationBar()->breadcrumbs()->shownFolders();
    ASSERT_EQ(crumbs.size(), 2);
    QToolButton* root = view->locationBar()->breadcrumbs()->buttonOf(crumbs.front());
    ASSERT_TRUE(root);
    EXPECT_EQ(root->text(), "pane@127.0.0.1");
    EXPECT_TRUE(view->locationBar()->findChild<QToolButton*>("search")->isVisible());

    // Up to the root, which shows the folder left as current; Back returns.
    view->folderView()->goUp();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return folder().toStdString() == server->address("pane", "/"); }, kLimit));
    ASSERT_TRUE(listed());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QModelIndex current = view->folderView()->currentView()->currentIndex();
            return current.isValid() && view->folderView()->model()->nameAt(current.row()) == "docs";
        },
        kLimit));
    view->goBack();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return folder().toStdString() == server->address("pane", "/docs"); }, kLimit));
}

TEST_F(RemotePane, CancelGoesBackWhereThePaneWasWithoutAWord) {
    type(server->address("quits"));
    ASSERT_TRUE(asked());
    panel()->cancelButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return folder().toStdString() == local.path(); }, kLimit));
    ASSERT_TRUE(listed());
    EXPECT_FALSE(panel()->isVisible());
    EXPECT_TRUE(view->locationBar()->message().isEmpty()) << view->locationBar()->message().toStdString();
    EXPECT_FALSE(view->canGoForward()) << "the place given up on is no step forward";
}

// The panel alone: a choice (a host key the server's back end asks about), then a password question
// offering anonymous access and remembering, answered each way.
TEST(MountPanelAnswers, ChoicesAnonymousRememberAndEscape) {
    MountPanel panel;
    panel.resize(500, 300);
    std::vector<MountAnswer> answers;
    const MountReply reply = [&](const MountAnswer& a) { answers.push_back(a); };

    MountQuestion hostKey;
    hostKey.kind = MountQuestion::Kind::Choice;
    hostKey.message = "The identity of the server cannot be verified.";
    hostKey.choices = {"Log In Anyway", "Cancel Login"};
    panel.ask(hostKey, reply);
    QList<QPushButton*> choices = panel.findChildren<QPushButton*>("mountChoice");
    ASSERT_EQ(choices.size(), 2);
    EXPECT_EQ(choices[0]->text(), "Log In Anyway");
    EXPECT_FALSE(panel.passwordField()->isVisibleTo(&panel));
    choices[0]->click();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_FALSE(answers[0].cancelled);
    EXPECT_EQ(answers[0].choice, 0);
    EXPECT_FALSE(panel.asking());

    MountQuestion password;
    password.askPassword = password.askUser = password.anonymousAllowed = password.canRemember = true;
    password.user = "kim";
    panel.ask(password, reply);
    EXPECT_TRUE(panel.findChildren<QPushButton*>("mountChoice").isEmpty());
    EXPECT_EQ(panel.userField()->text(), "kim");
    ASSERT_TRUE(panel.rememberChoice()->isVisibleTo(&panel));
    panel.passwordField()->setText("pw");
    panel.rememberChoice()->setCurrentIndex(1);
    panel.connectButton()->click();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[1].user, "kim");
    EXPECT_EQ(answers[1].password, "pw");
    EXPECT_FALSE(answers[1].anonymous);
    EXPECT_EQ(answers[1].remember, MountAnswer::Remember::ForSession);

    panel.ask(password, reply);
    panel.findChild<QCheckBox*>()->setChecked(true);
    EXPECT_FALSE(panel.passwordField()->isEnabled());
    panel.connectButton()->click();
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_TRUE(answers[2].anonymous);

    panel.ask(password, reply);
    QTest::keyClick(&panel, Qt::Key_Escape);
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_TRUE(answers[3].cancelled);
    EXPECT_FALSE(panel.asking());
}

}  // namespace
}  // namespace kv::test
