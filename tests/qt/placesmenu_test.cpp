// Managing the shared bookmarks from the places menu: a bookmark's own menu, and Edit Bookmarks….

#include <sys/stat.h>

#include <QContextMenuEvent>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeWidget>

#include "filemanager_support.h"
#include "platform/qt/location/bookmarksdialog.h"
#include "platform/qt/location/placesmenu.h"
#include "platform/qt/location/recentfolders.h"

namespace kv::test {
namespace {

class PlacesMenuTest : public ::testing::Test {
  protected:
    TempDir config;
    QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    std::string file = config / "gtk-3.0/bookmarks";
    RecentFolders recent;
    QWidget window;
    PlacesMenu* places = new PlacesMenu(recent, &window);

    void SetUp() override {
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.path()));
        ::mkdir((config / "gtk-3.0").c_str(), 0700);
        window.show();
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", oldConfig); }
    // The file as written, and the menu read again from it.
    bool load(const std::string& text) {
        writeFile(file, text);
        places->reload();
        return waitFor([&] { return places->loaded() && titles() == titlesIn(text).mid(0, 200); });
    }
    // The bookmarks' entries of the menu, in order.
    QStringList titles() const {
        QStringList out;
        for (const QAction* a : places->actions())
            if (a->property("bookmarkIndex").isValid()) out << a->text();
        return out;
    }
    static QStringList titlesIn(const std::string& text) {
        QStringList out;
        for (const Bookmark& b : Bookmarks::parse(QByteArray::fromStdString(text))) out << b.title();
        return out;
    }
};

TEST_F(PlacesMenuTest, ABookmarksMenuRenamesRemovesAndMovesIt) {
    const std::string before = "file:///a A\n\nsftp://server/b B\nfile:///c\n";
    struct Case {
        int index;
        const char* action;
        const char* answer;  // for Rename…
        std::string after;
    } cases[] = {
        {0, "renameBookmark", "Renamed", "file:///a Renamed\n\nsftp://server/b B\nfile:///c\n"},
        {2, "renameBookmark", "Named", "file:///a A\n\nsftp://server/b B\nfile:///c Named\n"},
        {1, "removeBookmark", nullptr, "file:///a A\n\nfile:///c\n"},
        {1, "moveBookmarkUp", nullptr, "sftp://server/b B\n\nfile:///a A\nfile:///c\n"},
        {1, "moveBookmarkDown", nullptr, "file:///a A\n\nfile:///c\nsftp://server/b B\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        ASSERT_TRUE(load(before));
        std::unique_ptr<QMenu> menu(places->bookmarkMenu(c.index));
        menu->setAttribute(Qt::WA_DeleteOnClose, false);
        QAction* action = menu->findChild<QAction*>(c.action);
        ASSERT_NE(action, nullptr);
        action->trigger();
        if (c.answer) {
            QInputDialog* ask = nullptr;
            ASSERT_TRUE(waitFor([&] { return (ask = findTopLevel<QInputDialog>()) != nullptr; }));
            ask->setTextValue(c.answer);
            ask->accept();
        }
        EXPECT_TRUE(waitFor([&] { return readFile(file) == c.after; })) << readFile(file);
        EXPECT_TRUE(waitFor([&] { return titles() == titlesIn(c.after); }));
    }
    // The first moves only down, the last only up.
    std::unique_ptr<QMenu> first(places->bookmarkMenu(0)), last(places->bookmarkMenu(2));
    EXPECT_FALSE(first->findChild<QAction*>("moveBookmarkUp")->isEnabled());
    EXPECT_TRUE(first->findChild<QAction*>("moveBookmarkDown")->isEnabled());
    EXPECT_FALSE(last->findChild<QAction*>("moveBookmarkDown")->isEnabled());
}

TEST_F(PlacesMenuTest, ARightClickOnABookmarkOpensItsMenu) {
    ASSERT_TRUE(load("file:///a A\nfile:///b B\n"));
    places->popup(window.mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(waitFor([&] { return places->isVisible(); }));
    QAction* b = nullptr;
    for (QAction* a : places->actions())
        if (a->text() == "B") b = a;
    ASSERT_NE(b, nullptr);
    const QPoint at = places->actionGeometry(b).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, places->mapToGlobal(at));
    QApplication::sendEvent(places, &click);
    QMenu* menu = places->findChild<QMenu*>("bookmarkMenu");
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(waitFor([&] { return menu->isVisible(); }));
    EXPECT_FALSE(menu->findChild<QAction*>("moveBookmarkDown")->isEnabled()) << "the menu of B, the last";
    menu->close();
    places->close();
}

// The editor lists the bookmarks the menu shows; those after them (and blank lines) stay as they were.
TEST_F(PlacesMenuTest, EditBookmarksRenamesMovesAndRemovesAndKeepsTheRest) {
    std::string text = "file:///a A\n\nfile:///b\n";
    std::string rest;
    for (int i = 0; i < 201; ++i) rest += "file:///n" + std::to_string(i) + "\n";
    ASSERT_TRUE(load(text + rest));
    QAction* edit = places->findChild<QAction*>("editBookmarks");
    ASSERT_TRUE(edit && edit->isEnabled());
    edit->trigger();
    BookmarksDialog* dialog = nullptr;
    ASSERT_TRUE(waitFor([&] { return (dialog = findTopLevel<BookmarksDialog>()) != nullptr; }));
    QTreeWidget* list = dialog->list();
    ASSERT_EQ(list->topLevelItemCount(), 200);
    EXPECT_EQ(dialog->findChild<QLabel*>("moreBookmarks")->text(),
              "3 more bookmarks after these are kept as they are.");
    // b renamed, moved to the top, n0 removed.
    list->setCurrentItem(list->topLevelItem(1));
    list->currentItem()->setText(0, "Bee");
    dialog->findChild<QPushButton*>("moveBookmarkUp")->click();
    EXPECT_FALSE(dialog->findChild<QPushButton*>("moveBookmarkUp")->isEnabled());
    list->setCurrentItem(list->topLevelItem(2));
    ASSERT_EQ(list->currentItem()->text(0), "n0");
    dialog->findChild<QPushButton*>("removeBookmark")->click();
    dialog->accept();
    const std::string expected = "file:///b Bee\n\nfile:///a A\n" + rest.substr(rest.find('\n') + 1);
    EXPECT_TRUE(waitFor([&] { return readFile(file) == expected; })) << readFile(file).substr(0, 80);
}

TEST_F(PlacesMenuTest, AnEditOfBookmarksChangedMeanwhileSaysSoAndWritesNothing) {
    ASSERT_TRUE(load("file:///a\nfile:///b\n"));
    QSignalSpy failed(places, &PlacesMenu::editFailed);
    writeFile(file, "file:///a\nfile:///b Renamed elsewhere\n");
    places->removeBookmark(0);
    ASSERT_TRUE(waitFor([&] { return failed.size() == 1; }));
    EXPECT_TRUE(failed[0][0].toString().contains("changed by another program"))
        << failed[0][0].toString().toStdString();
    EXPECT_EQ(readFile(file), "file:///a\nfile:///b Renamed elsewhere\n");
    EXPECT_TRUE(waitFor([&] { return titles() == QStringList{"a", "Renamed elsewhere"}; }));
}

}  // namespace
}  // namespace kv::test
