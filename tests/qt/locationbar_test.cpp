#include <sys/stat.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QCompleter>
#include <QDateTime>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QToolButton>
#include <QWebEngineView>

#include "filemanager_support.h"
#include "platform/fs/archives/archivelocation.h"
#include "platform/fs/archives/compressjob.h"
#include "platform/fs/places/bookmarks.h"
#include "platform/qt/browser/browserview.h"
#include "platform/qt/common/sizetext.h"
#include "platform/qt/listing/statusline.h"
#include "platform/qt/location/breadcrumbbar.h"
#include "platform/qt/location/locationbar.h"
#include "platform/qt/location/placesmenu.h"
#include "platform/qt/search/filterbar.h"
#include "platform/qt/search/folderfind.h"
#include "platform/qt/search/searchbar.h"

namespace kv::test {
namespace {

QByteArray bytes(const std::string& s) {
    return QByteArray::fromStdString(s);
}

void makeDirs(const std::string& path) {
    for (size_t at = 1; at != std::string::npos; at = path.find('/', at + 1))
        ::mkdir(path.substr(0, at).c_str(), 0700);
    ::mkdir(path.c_str(), 0700);
}

// The menu a button or an arrow opened, once it has what it was reading.
QMenu* openMenu(const char* name) {
    QMenu* menu = nullptr;
    waitFor([&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible() && m->objectName() == name) menu = m;
        return menu && !menu->actions().isEmpty() && menu->actions().front()->isEnabled();
    });
    return menu;
}

QAction* actionNamed(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text) return a;
    return nullptr;
}

class LocationBarTest : public ::testing::Test {
  protected:
    TempDir dir;
    TempDir config;
    std::unique_ptr<OwnedPaneServices> services = std::make_unique<OwnedPaneServices>();
    FileOperations* ops = &services->ops;
    std::unique_ptr<BrowserView> view;
    QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");

    void SetUp() override {
        qputenv("XDG_CONFIG_HOME", bytes(config.path()));
        ops->setReportsShown(false);
        // The trash shown is the test's: no real volume's (one that hangs would hold the test).
        ops->setHomeTrash(bytes(config / "Trash"));
        ops->setTrashVolumes([] { return std::vector<std::string>{}; });
        view = std::make_unique<BrowserView>(*services);
        view->resize(900, 400);
        view->show();
        view->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    }
    void TearDown() override {
        view.reset();
        qputenv("XDG_CONFIG_HOME", oldConfig);
    }
    LocationBar* bar() { return view->locationBar(); }
    BreadcrumbBar* crumbs() { return bar()->breadcrumbs(); }
    QByteArray folder() { return view->folderView()->folder(); }
    QAbstractItemView* list() { return view->folderView()->currentView(); }
    bool listed() {
        return waitFor([&] { return !view->folderView()->model()->isLoading(); });
    }
    bool open(const std::string& path) {
        view->openFolder(bytes(path));
        return listed();
    }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : list();
        QTest::keyClick(target, static_cast<Qt::Key>(k), m);
    }
    void type(const QString& text) {
        bar()->startEditing();
        bar()->editor()->setText(text);
        QTest::keyClick(bar()->editor(), Qt::Key_Return);
    }
};

TEST_F(LocationBarTest, BreadcrumbsLeadFromARootToTheFolderAndOpenTheirBytes) {
    const std::string odd = dir / "caf\xe9";
    makeDirs(dir / "a/b/c/d");
    makeDirs(odd + "/inner");
    struct Row {
        std::string path;
        std::string clickOn;  // a crumb to click, expected to open its folder
    };
    const Row rows[] = {
        {dir / "a/b/c/d", dir / "a/b"},
        {"/", "/"},
        {odd + "/inner", odd},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        ASSERT_TRUE(open(row.path));
        const QList<QByteArray> shown = crumbs()->shownFolders();
        ASSERT_FALSE(shown.isEmpty());
        EXPECT_EQ(shown.back(), bytes(row.path));
        EXPECT_TRUE(crumbs()->hiddenFolders().isEmpty());
        // Each crumb is the one before it and one more name.
        for (qsizetype i = 1; i < shown.size(); ++i) {
            const QByteArray& parent = shown[i - 1];
            EXPECT_TRUE(shown[i].startsWith(parent == "/" ? parent : parent + '/')) << shown[i].toStdString();
            EXPECT_FALSE(shown[i].mid(parent.size() + 1).contains('/')) << shown[i].toStdString();
        }
        QToolButton* button = crumbs()->buttonOf(bytes(row.clickOn));
        ASSERT_NE(button, nullptr);
        button->click();
        ASSERT_TRUE(listed());
        EXPECT_EQ(folder(), bytes(row.clickOn));
        EXPECT_EQ(crumbs()->shownFolders().back(), bytes(row.clickOn));
    }
    // The name that is not UTF-8 shows with a replacement character.
    ASSERT_TRUE(open(odd));
    EXPECT_EQ(crumbs()->buttonOf(bytes(odd))->text(), QString::fromUtf8("caf\xef\xbf\xbd"));
}

TEST_F(LocationBarTest, InsideAnArchiveTheCrumbsGoThroughTheArchiveFile) {
    makeDirs(dir / "made/top/sub");
    writeFile(dir / "made/top/sub/b.txt", "beta");
    const std::string zip = dir / "pack.zip";
    CompressJob job({dir / "made/top"}, zip, ArchiveFormat::Zip);
    job.start();
    job.wait();
    ASSERT_TRUE(job.result().ok());
    const QByteArray top = bytes(ArchiveLocation::make(zip)),
                     inner = bytes(ArchiveLocation::make(zip, "top"));
    ASSERT_TRUE(open(ArchiveLocation::make(zip, "top/sub")));

    const QList<QByteArray> shown = crumbs()->shownFolders();
    ASSERT_GE(shown.size(), 4);
    EXPECT_EQ(shown.mid(shown.size() - 4), (QList<QByteArray>{bytes(dir.path()), top, inner,
                                                              bytes(ArchiveLocation::make(zip, "top/sub"))}));
    EXPECT_EQ(crumbs()->buttonOf(top)->text(), "pack.zip");
    EXPECT_EQ(crumbs()->buttonOf(inner)->text(), "top");
    // The folders inside are not on disk: their arrows only separate.
    EXPECT_TRUE(crumbs()->buttonOf(bytes(dir.path()), true)->isEnabled());
    EXPECT_FALSE(crumbs()->buttonOf(inner, true)->isEnabled());

    crumbs()->buttonOf(inner)->click();
    ASSERT_TRUE(listed());
    EXPECT_EQ(folder(), inner);
    crumbs()->buttonOf(bytes(dir.path()))->click();
    ASSERT_TRUE(listed());
    EXPECT_EQ(folder(), bytes(dir.path()));
}

TEST_F(LocationBarTest, ANarrowBarKeepsTheRootAndTheFolderAndOffersTheRest) {
    const std::string deep =
        dir / "first-long-folder-name/second-long-folder-name/third-long-folder-name/last";
    makeDirs(deep);
    ASSERT_TRUE(open(deep));
    const QList<QByteArray> all = crumbs()->shownFolders();
    ASSERT_GE(all.size(), 5);
    view->resize(300, 400);
    ASSERT_TRUE(waitFor([&] { return !crumbs()->hiddenFolders().isEmpty(); }));
    const QList<QByteArray> shown = crumbs()->shownFolders();
    EXPECT_EQ(shown.front(), all.front());
    EXPECT_EQ(shown.back(), all.back());
    EXPECT_EQ(shown.size() + crumbs()->hiddenFolders().size(), all.size());
    EXPECT_TRUE(crumbs()->moreButton()->isVisible());
    for (const QByteArray& f : shown) {
        const QToolButton* b = crumbs()->buttonOf(f);
        EXPECT_LE(b->geometry().right(), crumbs()->width()) << f.toStdString();
    }
    // The "…" button offers the hidden folders and opens them.
    const QByteArray hidden = crumbs()->hiddenFolders().back();
    crumbs()->moreButton()->click();
    QMenu* menu = openMenu("hiddenCrumbMenu");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().size(), crumbs()->hiddenFolders().size());
    menu->actions().back()->trigger();
    menu->close();
    ASSERT_TRUE(listed());
    EXPECT_EQ(folder(), hidden);

    view->resize(1400, 400);
    ASSERT_TRUE(open(deep));
    EXPECT_TRUE(waitFor([&] { return crumbs()->hiddenFolders().isEmpty(); }));
    EXPECT_FALSE(crumbs()->moreButton()->isVisible());
}

TEST_F(LocationBarTest, TheArrowListsSubfoldersAndOpensOne) {
    makeDirs(dir / "top/one");
    makeDirs(dir / "top/two");
    writeFile(dir / "top/file.txt", "x");
    ASSERT_TRUE(open(dir / "top"));
    crumbs()->buttonOf(bytes(dir / "top"), true)->click();
    QMenu* menu = openMenu("subfolderMenu");
    ASSERT_NE(menu, nullptr);
    QStringList names;
    for (QAction* a : menu->actions()) names << a->text();
    EXPECT_EQ(names, (QStringList{"one", "two"}));
    actionNamed(menu, "two")->trigger();
    menu->close();
    ASSERT_TRUE(listed());
    EXPECT_EQ(folder(), bytes(dir / "top/two"));
}

TEST_F(LocationBarTest, ATypedPathOpensAndAVanishedOneIsRefused) {
    makeDirs(dir / "here");
    makeDirs(dir / "there/sub");
    writeFile(dir / "file.txt", "x");
    ASSERT_TRUE(open(dir / "here"));
    list()->setFocus();

    // Ctrl+L turns the breadcrumbs into the path as text; Escape brings them back.
    key(Qt::Key_L, Qt::ControlModifier);
    ASSERT_TRUE(bar()->editor()->isVisible());
    EXPECT_EQ(bar()->editor()->text(), QString::fromStdString(dir / "here"));
    EXPECT_FALSE(crumbs()->isVisible());
    key(Qt::Key_Escape);
    EXPECT_FALSE(bar()->editor()->isVisible());
    EXPECT_TRUE(crumbs()->isVisible());

    // A trailing slash names the same folder.
    type(QString::fromStdString(dir / "there/"));
    ASSERT_TRUE(waitFor([&] { return folder() == bytes(dir / "there"); }));
    EXPECT_TRUE(crumbs()->isVisible());
    EXPECT_TRUE(bar()->message().isEmpty());

    struct Row {
        std::string typed;
        const char* says;
    };
    for (const Row& row : {Row{dir / "gone", "does not exist"}, Row{dir / "file.txt", "is not a folder"}}) {
        type(QString::fromStdString(row.typed));
        ASSERT_TRUE(waitFor([&] { return !bar()->message().isEmpty(); })) << row.typed;
        EXPECT_TRUE(bar()->message().contains(row.says)) << bar()->message().toStdString();
        EXPECT_EQ(folder(), bytes(dir / "there")) << "the view stays where it was";
        EXPECT_TRUE(bar()->editor()->isVisible()) << "the text stays to be corrected";
    }
}

TEST_F(LocationBarTest, TypingAPathOffersItsFolders) {
    makeDirs(dir / "pick/alpha");
    makeDirs(dir / "pick/alps");
    makeDirs(dir / "pick/beta");
    ASSERT_TRUE(open(dir.path()));
    bar()->startEditing();
    bar()->editor()->clear();
    QTest::keyClicks(bar()->editor(), QString::fromStdString(dir / "pick/al"));
    QCompleter* completer = bar()->editor()->completer();
    ASSERT_TRUE(waitFor([&] { return completer->completionCount() == 2; }));
    QStringList offered;
    for (int i = 0; completer->setCurrentRow(i); ++i) offered << completer->currentCompletion();
    EXPECT_EQ(offered, (QStringList{QString::fromStdString(dir / "pick/alpha/"),
                                    QString::fromStdString(dir / "pick/alps/")}));

    // A folder whose name is not UTF-8 is offered as it shows and opened by its bytes.
    const std::string odd = dir / "pick/caf\xe9";
    makeDirs(odd);
    bar()->editor()->clear();
    QTest::keyClicks(bar()->editor(), QString::fromStdString(dir / "pick/c"));
    ASSERT_TRUE(waitFor([&] { return completer->completionCount() == 1; }));
    bar()->editor()->setText(completer->currentCompletion());
    QTest::keyClick(bar()->editor(), Qt::Key_Return);
    ASSERT_TRUE(waitFor([&] { return folder() == bytes(odd); }));
    // Entered unchanged, the path of the folder shown stands for its bytes too.
    bar()->startEditing();
    QTest::keyClick(bar()->editor(), Qt::Key_Return);
    EXPECT_TRUE(waitFor([&] { return !bar()->editor()->isVisible(); }));
    EXPECT_EQ(folder(), bytes(odd));
    EXPECT_TRUE(bar()->message().isEmpty()) << bar()->message().toStdString();
}

TEST(LocationBarClassify, TypedTextIsAFolderOrAnAddress) {
    struct Row {
        const char* typed;
        bool folder;
    };
    for (const Row& row : {Row{"/tmp", true}, Row{"file:///tmp", true}, Row{"http://127.0.0.1:8/x", false},
                           Row{"example.org", false}, Row{"about:blank", false}}) {
        EXPECT_EQ(BrowserView::classify(row.typed).folder, row.folder) << row.typed;
    }
}

TEST_F(LocationBarTest, BackAndForwardStepThroughTheFolders) {
    for (const char* d : {"a", "b", "c", "d"}) makeDirs(dir / d);
    EXPECT_FALSE(bar()->backButton()->isEnabled());
    for (const char* d : {"a", "b", "c"}) ASSERT_TRUE(open(dir / d));
    EXPECT_TRUE(bar()->backButton()->isEnabled());
    EXPECT_FALSE(bar()->forwardButton()->isEnabled());

    list()->setFocus();
    key(Qt::Key_Left, Qt::AltModifier);  // the key
    EXPECT_EQ(folder(), bytes(dir / "b"));
    bar()->backButton()->click();  // the bar's button
    EXPECT_EQ(folder(), bytes(dir / "a"));
    EXPECT_FALSE(bar()->backButton()->isEnabled());
    view->goBack();  // nothing further back: nothing happens
    EXPECT_EQ(folder(), bytes(dir / "a"));
    EXPECT_TRUE(bar()->forwardButton()->isEnabled());
    QTest::mouseClick(list()->viewport(), Qt::ForwardButton);  // the mouse's button
    EXPECT_EQ(folder(), bytes(dir / "b"));
    key(Qt::Key_Right, Qt::AltModifier);
    EXPECT_EQ(folder(), bytes(dir / "c"));
    QTest::mouseClick(list()->viewport(), Qt::BackButton);
    EXPECT_EQ(folder(), bytes(dir / "b"));

    // A new folder drops the steps ahead; the same folder again is no new step.
    ASSERT_TRUE(open(dir / "d"));
    ASSERT_TRUE(open(dir / "d"));
    EXPECT_FALSE(view->canGoForward());
    view->goBack();
    EXPECT_EQ(folder(), bytes(dir / "b"));
    view->goBack();
    EXPECT_EQ(folder(), bytes(dir / "a"));
}

TEST_F(LocationBarTest, UpAndBackSelectTheFolderCameFrom) {
    makeDirs(dir / "parent/aa");
    makeDirs(dir / "parent/child");
    makeDirs(dir / "parent/zz");
    ASSERT_TRUE(open(dir / "parent/child"));
    list()->setFocus();
    key(Qt::Key_Backspace);
    ASSERT_TRUE(listed());
    EXPECT_EQ(folder(), bytes(dir / "parent"));
    ASSERT_TRUE(
        waitFor([&] { return view->folderView()->selectedPaths() == QList{bytes(dir / "parent/child")}; }));
    key(Qt::Key_Return);
    ASSERT_TRUE(listed());
    EXPECT_EQ(folder(), bytes(dir / "parent/child"));

    // Back to a folder makes current the item that was current when it was left.
    key(Qt::Key_Up, Qt::AltModifier);
    ASSERT_TRUE(listed());
    ASSERT_TRUE(view->folderView()->selectName("zz"));
    ASSERT_TRUE(open(dir / "parent/aa"));
    view->goBack();
    ASSERT_TRUE(listed());
    EXPECT_TRUE(
        waitFor([&] { return view->folderView()->selectedPaths() == QList{bytes(dir / "parent/zz")}; }));
}

TEST_F(LocationBarTest, PlacesOfferBookmarksAddOneAndListRecentFolders) {
    makeDirs(dir / "one");
    makeDirs(dir / "two two");
    makeDirs(config / "gtk-3.0");
    writeFile(config / "gtk-3.0/bookmarks", "sftp://server/x Server\nfile://" + dir.path() + "/one Mine");
    ASSERT_TRUE(open(dir / "one"));
    ASSERT_TRUE(open(dir / "two two"));

    PlacesMenu* places = bar()->placesMenu();
    places->reload();
    ASSERT_TRUE(waitFor([&] { return places->loaded(); }));
    QAction* mine = actionNamed(places, "Mine");
    ASSERT_NE(mine, nullptr);
    EXPECT_TRUE(actionNamed(places, "Server")->isEnabled());  // a folder on a server opens in the pane
    ASSERT_NE(actionNamed(places, "Home"), nullptr);
    EXPECT_NE(places->findChild<QAction*>("trash"), nullptr);
    QMenu* recent = places->findChild<QMenu*>("recentMenu");
    ASSERT_NE(recent, nullptr);
    ASSERT_GE(recent->actions().size(), 2);
    EXPECT_EQ(recent->actions()[0]->data().toByteArray(), bytes(dir / "two two"));
    EXPECT_EQ(recent->actions()[1]->data().toByteArray(), bytes(dir / "one"));
    mine->trigger();
    ASSERT_TRUE(listed());
    EXPECT_EQ(folder(), bytes(dir / "one"));

    // Ctrl+D adds the folder shown; the other lines stay as they were.
    ASSERT_TRUE(open(dir / "two two"));
    list()->setFocus();
    key(Qt::Key_D, Qt::ControlModifier);
    const std::string expected =
        "sftp://server/x Server\nfile://" + dir.path() + "/one Mine\nfile://" + dir.path() + "/two%20two\n";
    EXPECT_TRUE(waitFor([&] { return readFile(config / "gtk-3.0/bookmarks") == expected; }))
        << readFile(config / "gtk-3.0/bookmarks");
    EXPECT_TRUE(waitFor([&] { return actionNamed(places, "two two") != nullptr; }));
}

TEST_F(LocationBarTest, AHugeBookmarksFileShowsItsFirstBookmarksWithShortLabels) {
    // Thousands of lines and a label of a megabyte: the menu was rebuilt line by line while shown.
    makeDirs(config / "gtk-3.0");
    std::string text = "file:///long " + std::string(512 * 1024, 'x') + "\n";
    for (int i = 0; i < 5000; ++i) text += "file:///b" + std::to_string(i) + "\n";
    writeFile(config / "gtk-3.0/bookmarks", text);
    PlacesMenu* places = bar()->placesMenu();
    places->reload();
    ASSERT_TRUE(waitFor([&] { return places->loaded(); }));
    int bookmarks = 0;
    for (const QAction* a : places->actions()) {
        EXPECT_LE(a->text().size(), 80) << a->text().left(20).toStdString();
        EXPECT_LE(a->toolTip().size(), 120);
        if (a->data().toByteArray().startsWith("file:///")) ++bookmarks;
    }
    EXPECT_EQ(bookmarks, 200);
    EXPECT_NE(actionNamed(places, "4801 more bookmarks not shown"), nullptr);
}

TEST_F(LocationBarTest, TheViewWithTheFocusIsMarked) {
    QWidget window;
    BrowserView left(*services, &window);
    BrowserView right(*services, &window);
    QLineEdit elsewhere(&window);
    left.setGeometry(0, 0, 400, 300);
    right.setGeometry(400, 0, 400, 300);
    elsewhere.setGeometry(0, 300, 200, 30);
    window.resize(800, 330);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    left.openFolder(bytes(dir.path()));
    right.openFolder(bytes(dir.path()));

    left.focusTarget()->setFocus();
    EXPECT_TRUE(waitFor([&] { return left.locationBar()->isActive(); }));
    EXPECT_FALSE(right.locationBar()->isActive());
    right.focusTarget()->setFocus();
    EXPECT_TRUE(waitFor([&] { return right.locationBar()->isActive(); }));
    EXPECT_FALSE(left.locationBar()->isActive());
    // The text field of the bar is the view's too.
    right.locationBar()->startEditing();
    EXPECT_TRUE(right.locationBar()->isActive());
    elsewhere.setFocus();
    EXPECT_TRUE(waitFor([&] { return !right.locationBar()->isActive(); }));
    EXPECT_FALSE(left.locationBar()->isActive());
}

TEST_F(LocationBarTest, BackStepsThroughThePageBeforeTheFolder) {
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen") GTEST_SKIP() << "the web engine needs a display";
    const QString one = "data:text/html,<title>one</title>";
    const QString two = "data:text/html,<title>two</title>";
    auto shows = [&](const QString& title) {
        return waitFor([&] { return view->showsWeb() && view->locationName() == title; }, 20000);
    };
    makeDirs(dir / "before");
    ASSERT_TRUE(open(dir / "before"));
    type(one);
    ASSERT_TRUE(shows("one"));
    EXPECT_FALSE(crumbs()->isVisible());
    EXPECT_TRUE(bar()->reloadButton()->isVisible());
    EXPECT_TRUE(waitFor([&] { return bar()->editor()->text() == view->webView()->url().toString(); }));
    // The page moves on by itself (a link), in the engine's history.
    view->webView()->load(QUrl(two));
    ASSERT_TRUE(shows("two"));
    ASSERT_TRUE(waitFor([&] { return bar()->backButton()->isEnabled(); }));

    view->focusTarget()->setFocus();
    ASSERT_TRUE(waitFor([&] { return view->webView()->isAncestorOf(QApplication::focusWidget()); }));
    key(Qt::Key_Left, Qt::AltModifier);
    ASSERT_TRUE(shows("one")) << "the page's own step first";
    view->goBack();
    EXPECT_TRUE(view->showsFolder());
    EXPECT_EQ(folder(), bytes(dir / "before"));
    EXPECT_TRUE(crumbs()->isVisible());
    EXPECT_TRUE(bar()->forwardButton()->isEnabled());

    // Forward shows the page as it was left, its own forward step included.
    view->goForward();
    ASSERT_TRUE(shows("one"));
    EXPECT_TRUE(view->canGoForward());
    view->goForward();
    ASSERT_TRUE(shows("two"));
    EXPECT_TRUE(waitFor([&] { return !bar()->forwardButton()->isEnabled(); }));
}

}  // namespace
}  // namespace kv::test

namespace kv::test {
namespace {

TEST_F(LocationBarTest, ItsFilterAndSearchButtonsOpenTheFolderViewsBars) {
    ASSERT_TRUE(open(dir.path()));
    auto* filter = bar()->findChild<QToolButton*>("filter");
    auto* search = bar()->findChild<QToolButton*>("search");
    ASSERT_TRUE(filter && search);
    EXPECT_TRUE(filter->isVisible() && search->isVisible());
    filter->click();
    EXPECT_TRUE(waitFor([&] { return view->folderView()->find()->filterBar()->isVisible(); }));
    search->click();
    EXPECT_TRUE(waitFor([&] { return view->folderView()->find()->searchBar()->isVisible(); }));
}

TEST_F(LocationBarTest, TheTrashCanBeTypedAsAPlace) {
    ASSERT_TRUE(open(dir.path()));
    type("trash:/");
    EXPECT_TRUE(waitFor([&] { return view->folderView()->model()->isTrash(); }));
    EXPECT_TRUE(bar()->message().isEmpty()) << bar()->message().toStdString();
    // Back to crumbs as for a folder: one, which opens the trash; its text only while edited.
    EXPECT_TRUE(waitFor([&] { return crumbs()->isVisible() && !bar()->editor()->isVisible(); }));
    ASSERT_EQ(crumbs()->shownFolders(), QList<QByteArray>{"trash:/"});
    QToolButton* crumb = crumbs()->buttonOf("trash:/");
    ASSERT_NE(crumb, nullptr);
    EXPECT_EQ(crumb->text(), "Trash");
    EXPECT_FALSE(crumbs()->buttonOf("trash:/", true)->isEnabled()) << "no folders below it to list";
    bar()->startEditing();
    EXPECT_TRUE(bar()->editor()->isVisible());
    EXPECT_EQ(bar()->editor()->text(), "trash:/");
    QTest::keyClick(bar()->editor(), Qt::Key_Escape);
    EXPECT_TRUE(crumbs()->isVisible() && !bar()->editor()->isVisible());
    ASSERT_TRUE(open(dir.path()));
    EXPECT_FALSE(view->folderView()->model()->isTrash());
    view->goBack();
    EXPECT_TRUE(waitFor([&] { return view->folderView()->model()->isTrash(); }));
    ASSERT_NE(crumbs()->buttonOf("trash:/"), nullptr);
    crumbs()->buttonOf("trash:/")->click();
    EXPECT_TRUE(waitFor([&] { return view->folderView()->model()->isTrash() && crumbs()->isVisible(); }));
}

// A screen reader names a button by its accessible name, else its text: every button of a view says
// what it does, icon buttons and "✕" included.
TEST_F(LocationBarTest, EveryButtonHasAName) {
    makeDirs(dir / "a/b");
    ASSERT_TRUE(open(dir / "a/b"));
    view->folderView()->find()->showFilter();
    view->folderView()->find()->showSearchBar();
    ASSERT_TRUE(waitFor([&] { return view->folderView()->find()->searchBar()->isVisible(); }));
    int buttons = 0;
    for (QAbstractButton* b : view->findChildren<QAbstractButton*>()) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
        ASSERT_NE(a, nullptr);
        const QString name = a->text(QAccessible::Name);
        // A crumb is named by its folder, whatever that is called; a sign is no name.
        EXPECT_TRUE(!name.isEmpty() && name != "✕" && name != "…")
            << b->metaObject()->className() << " " << b->objectName().toStdString() << " ("
            << b->toolTip().toStdString() << ") is called \"" << name.toStdString() << '"';
        ++buttons;
    }
    EXPECT_GE(buttons, 10);
}

}  // namespace
}  // namespace kv::test

namespace kv::test {
namespace {

TEST_F(LocationBarTest, ASearchIsAStepThatBackLeavesForTheFolder) {
    makeDirs(dir / "a/b");
    writeFile(dir / "a/b/needle.txt", "x");
    writeFile(dir / "a/other.txt", "x");
    ASSERT_TRUE(open(dir.path()));
    FolderView* fv = view->folderView();
    auto found = [&] { return listed() && fv->isSearching() && fv->model()->rowCount() == 1; };

    fv->startSearch({.name = "needle"});
    ASSERT_TRUE(found());
    EXPECT_EQ(bar()->searchText(), "Search for “needle”");
    EXPECT_EQ(crumbs()->path(), bytes(dir.path())) << "the folder searched stays in the bar";
    EXPECT_EQ(fv->statusLine()->countsText(), "1 found in 3 folders");
    // A new search from the results refines them: still one step from the folder.
    fv->startSearch({.content = "x"});
    ASSERT_TRUE(listed());
    EXPECT_EQ(bar()->searchText(), "Search for “x” in the files");

    bar()->backButton()->click();
    EXPECT_FALSE(fv->isSearching());
    EXPECT_EQ(folder(), bytes(dir.path()));
    EXPECT_TRUE(bar()->searchText().isEmpty());
    EXPECT_FALSE(view->canGoBack());

    // Forward runs it again; closing the results (Escape twice: stop, leave) is Back too.
    view->goForward();
    EXPECT_TRUE(fv->isSearching());
    ASSERT_TRUE(listed());
    EXPECT_EQ(fv->model()->rowCount(), 2);
    EXPECT_EQ(bar()->searchText(), "Search for “x” in the files");
    fv->find()->endSearch();
    EXPECT_FALSE(fv->isSearching());
    EXPECT_FALSE(view->canGoBack());
    EXPECT_TRUE(view->canGoForward());

    // A folder opened from the results comes after them: Back returns to the results.
    fv->startSearch({.name = "b"});
    ASSERT_TRUE(found());
    ASSERT_TRUE(open(dir / "a/b"));
    EXPECT_TRUE(bar()->searchText().isEmpty());
    view->goBack();
    EXPECT_TRUE(fv->isSearching());
    ASSERT_TRUE(found());
    EXPECT_EQ(bar()->searchText(), "Search for “b”");
    view->goBack();
    EXPECT_EQ(folder(), bytes(dir.path()));
    EXPECT_FALSE(fv->isSearching());
}

}  // namespace
}  // namespace kv::test

namespace kv::test {
namespace {

// One row per search: what the bar says of it, filters included, so no search reads as "“”".
TEST(LocationBarSearchTitle, SaysWhatIsLookedForAndWhatNarrowsIt) {
    const std::int64_t dec2 = QDateTime(QDate(2026, 12, 2), QTime(0, 0)).toMSecsSinceEpoch() * 1000000;
    const QString since = QLocale().toString(QDate(2026, 12, 2), QLocale::ShortFormat);
    const QString k500 = sizeText(500 * 1024), g1 = sizeText(1ull << 30);
    struct Case {
        SearchQuery query;
        QString title;
    };
    const Case cases[] = {
        {{.name = "needle"}, "Search for “needle”"},
        {{.content = "x"}, "Search for “x” in the files"},
        {{.name = "report", .content = "budget"}, "Search for “report” containing “budget”"},
        {{}, "Search for everything"},
        {{.kind = SearchQuery::Kind::FoldersOnly}, "Search for all folders"},
        {{.kind = SearchQuery::Kind::FilesOnly, .minSize = 500 * 1024},
         "Search for all files (at least " + k500 + ")"},
        {{.maxSize = 1ull << 30}, "Search for all files (at most " + g1 + ")"},
        {{.name = "a",
          .kind = SearchQuery::Kind::FilesOnly,
          .minSize = 500 * 1024,
          .maxSize = 1ull << 30,
          .modifiedSinceNs = dec2},
         "Search for “a” (files only, " + k500 + " to " + g1 + ", modified since " + since + ")"},
        {{.content = "x", .modifiedSinceNs = dec2},
         "Search for “x” in the files (modified since " + since + ")"},
    };
    for (const Case& c : cases) EXPECT_EQ(LocationBar::searchTitle(c.query), c.title);
}

}  // namespace
}  // namespace kv::test
