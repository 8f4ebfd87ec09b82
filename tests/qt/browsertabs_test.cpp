#include <sys/stat.h>

#include <QFile>
#include <QHBoxLayout>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <fstream>

#include "filemanager_support.h"
#include "platform/qt/browser/browserview.h"
#include "platform/qt/folderview/folderactions.h"
#include "platform/qt/preferences/preferences.h"
#include "platform/qt/tabs/browsertabs.h"
#include "platform/qt/tabs/sessionfile.h"
#include "platform/qt/tabs/sessionkeeper.h"
#include "platform/qt/tabs/tabstrip.h"

namespace kv::test {
namespace {

QByteArray bytes(const std::string& s) {
    return QByteArray::fromStdString(s);
}

// Two tabbed panes side by side in one window, on a folder with a few subfolders.
class TabsTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::unique_ptr<OwnedPaneServices> services = std::make_unique<OwnedPaneServices>();
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    BrowserTabs* left = new BrowserTabs(*services, PaneRole::None, window.get());
    BrowserTabs* right = new BrowserTabs(*services, PaneRole::None, window.get());

    void SetUp() override {
        for (const char* name : {"a", "b", "c", "a/inner"}) ::mkdir((dir / name).c_str(), 0700);
        std::ofstream(dir / "file.txt") << "x";
        auto* layout = new QHBoxLayout(window.get());
        layout->addWidget(left);
        layout->addWidget(right);
        window->resize(1000, 500);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        for (BrowserTabs* pane : {left, right}) pane->current()->openFolder(bytes(dir.path()));
        ASSERT_TRUE(listedIn(left, "a"));
        left->focusTarget()->setFocus();
    }
    void TearDown() override {
        window.reset();
        services.reset();
    }

    static QByteArray folderOf(BrowserView* view) { return view->folderView()->folder(); }
    static bool listedIn(BrowserTabs* pane, const char* name) {
        return waitFor([&] {
            FolderModel* model = pane->current()->folderView()->model();
            return !model->isLoading() && model->rowOfName(name) >= 0;
        });
    }
    void key(QKeyCombination combination) {
        QTest::keyClick(QApplication::focusWidget(), combination.key(), combination.keyboardModifiers());
    }
    QStringList titles(BrowserTabs* pane) {
        QStringList all;
        for (int i = 0; i < pane->count(); ++i) all << pane->titleAt(i);
        return all;
    }
    // The menu of a tab, and one of its entries triggered.
    void fromMenu(BrowserTabs* pane, int index, const char* id) {
        emit pane->strip()->menuRequested(index, pane->mapToGlobal(QPoint(10, 10)));
        std::unique_ptr<QMenu> menu(pane->findChild<QMenu*>("tabMenu"));
        ASSERT_TRUE(menu);
        QAction* action = menu->findChild<QAction*>(id);
        ASSERT_TRUE(action && action->isEnabled()) << id;
        action->trigger();
    }
};

TEST_F(TabsTest, KeysAndMenuOpenCloseCycleAndReopen) {
    const QByteArray root = bytes(dir.path());
    EXPECT_FALSE(left->strip()->isVisible());  // one tab looks as a view without tabs

    key(Qt::CTRL | Qt::Key_T);
    ASSERT_EQ(left->count(), 2);
    EXPECT_TRUE(left->strip()->isVisible());
    EXPECT_EQ(left->currentIndex(), 1);
    EXPECT_EQ(folderOf(left->current()), root);
    EXPECT_TRUE(left->current()->isAncestorOf(QApplication::focusWidget()));

    // Each tab has its own history.
    left->current()->openFolder(bytes(dir / "a"));
    ASSERT_TRUE(listedIn(left, "inner"));
    EXPECT_TRUE(left->current()->canGoBack());
    EXPECT_EQ(titles(left), QStringList({QString::fromStdString(dir.path()).section('/', -1), "a"}));
    EXPECT_EQ(left->strip()->tabToolTip(1), QString::fromStdString(dir / "a"));

    for (auto [k, expected] :
         std::initializer_list<std::pair<QKeyCombination, int>>{{Qt::CTRL | Qt::Key_Tab, 0},
                                                                {Qt::CTRL | Qt::Key_PageDown, 1},
                                                                {Qt::CTRL | Qt::Key_PageUp, 0},
                                                                {Qt::ALT | Qt::Key_9, 1},
                                                                {Qt::ALT | Qt::Key_1, 0}}) {
        key(k);
        EXPECT_EQ(left->currentIndex(), expected) << QKeySequence(k).toString().toStdString();
    }
    EXPECT_FALSE(left->madeViewAt(0)->canGoBack());
    EXPECT_EQ(right->count(), 1);  // keys act in the pane with the focus

    // Closed with its history, reopened with it.
    key(Qt::ALT | Qt::Key_2);
    key(Qt::CTRL | Qt::Key_W);
    ASSERT_EQ(left->count(), 1);
    EXPECT_FALSE(left->strip()->isVisible());
    key(Qt::CTRL | Qt::Key_W);
    EXPECT_EQ(left->count(), 1);  // the last tab stays
    key(Qt::CTRL | Qt::SHIFT | Qt::Key_T);
    ASSERT_EQ(left->count(), 2);
    ASSERT_TRUE(listedIn(left, "inner"));
    EXPECT_TRUE(left->current()->canGoBack());
    left->current()->goBack();
    EXPECT_EQ(folderOf(left->current()), root);

    fromMenu(left, 0, "duplicateTab");
    fromMenu(left, 0, "duplicateTab");
    ASSERT_EQ(left->count(), 4);
    fromMenu(left, 2, "closeTabsToTheRight");
    EXPECT_EQ(left->count(), 3);
    fromMenu(left, 1, "closeOtherTabs");
    EXPECT_EQ(left->count(), 1);

    // A locked tab keeps its folder: what it opens comes in a new tab.
    fromMenu(left, 0, "lockTab");
    EXPECT_TRUE(left->isLocked(0));
    left->current()->openFolder(bytes(dir / "b"));
    ASSERT_EQ(left->count(), 2);
    EXPECT_EQ(left->currentIndex(), 1);
    EXPECT_EQ(folderOf(left->madeViewAt(0)), root);
    EXPECT_EQ(folderOf(left->current()), bytes(dir / "b"));
}

TEST_F(TabsTest, FoldersOpenBehindByMiddleClickAndMenu) {
    FolderView* view = left->current()->folderView();
    QAbstractItemView* rows = view->currentView();
    const QModelIndex a = view->model()->index(view->model()->rowOfName("a"), 0);
    QTest::mouseClick(rows->viewport(), Qt::MiddleButton, {}, rows->visualRect(a).center());
    ASSERT_EQ(left->count(), 2);
    EXPECT_EQ(left->currentIndex(), 0);  // behind the current one
    EXPECT_EQ(folderOf(left->madeViewAt(1)), bytes(dir / "a"));

    // A file opens no tab; each selected folder does.
    ASSERT_TRUE(view->selectName("b"));
    rows->selectionModel()->select(view->model()->index(view->model()->rowOfName("c"), 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    rows->selectionModel()->select(view->model()->index(view->model()->rowOfName("file.txt"), 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    key(Qt::CTRL | Qt::Key_Return);
    ASSERT_EQ(left->count(), 4);
    EXPECT_EQ(titles(left).mid(1), QStringList({"a", "b", "c"}));  // in the order they were opened
    EXPECT_EQ(left->currentIndex(), 0);
}

TEST_F(TabsTest, TabsMoveAcrossPanesAndTakeDroppedFiles) {
    left->openTab({}, false);
    left->current()->openFolder(bytes(dir / "a"));
    ASSERT_TRUE(listedIn(left, "inner"));

    auto drop = [](TabStrip* strip, QMimeData* data, QPoint at, Qt::KeyboardModifiers modifiers) {
        QDragEnterEvent enter(at, Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(strip, &enter);
        QDragMoveEvent move(at, Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(strip, &move);
        QDropEvent dropped(at, Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(strip, &dropped);
    };
    // Moved (the second tab, history and all), then copied with Ctrl.
    Location inA;
    inA.folder = true;
    inA.path = bytes(dir / "a");
    right->openTab({}, true);
    ASSERT_TRUE(waitFor([&] { return right->strip()->isVisible(); }));
    for (Qt::KeyboardModifiers modifiers :
         {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ControlModifier)}) {
        QMimeData data;
        data.setData(TabStrip::kTabMime,
                     QByteArray::number(reinterpret_cast<quintptr>(left->strip()), 16) + " 1");
        drop(right->strip(), &data, right->strip()->tabRect(0).center() - QPoint(5, 0), modifiers);
        ASSERT_TRUE(waitFor([&] { return right->count() == (modifiers ? 4 : 3); }));
        EXPECT_EQ(right->currentIndex(), 0);
        EXPECT_EQ(folderOf(right->current()), bytes(dir / "a"));
        EXPECT_EQ(right->current()->canGoBack(), !modifiers);
        if (!modifiers) {
            EXPECT_EQ(left->count(), 1);
            left->openTab(inA, true);  // the second drag takes this one
        }
    }
    EXPECT_EQ(left->count(), 2);

    // Files dragged over a tab bring it forward; dropped on it, they go to its folder.
    ASSERT_EQ(right->currentIndex(), 0);
    const QPoint onLast = right->strip()->tabRect(right->count() - 1).center();
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir / "file.txt"))});
    QDragEnterEvent enter(onLast, Qt::MoveAction | Qt::CopyAction, &files, Qt::LeftButton, {});
    QApplication::sendEvent(right->strip(), &enter);
    QDragMoveEvent move(onLast, Qt::MoveAction | Qt::CopyAction, &files, Qt::LeftButton, {});
    QApplication::sendEvent(right->strip(), &move);
    ASSERT_TRUE(waitFor([&] { return right->currentIndex() == right->count() - 1; }));
    right->current()->openFolder(bytes(dir / "c"));
    // The strip may have scrolled to show the tab.
    drop(right->strip(), &files, right->strip()->tabRect(right->count() - 1).center(), {});
    EXPECT_TRUE(waitFor([&] { return QFile::exists(QString::fromStdString(dir / "c/file.txt")); }));
    EXPECT_TRUE(waitFor([&] { return !QFile::exists(QString::fromStdString(dir / "file.txt")); }));
}

TEST_F(TabsTest, SessionKeepsTabsAndComesBackWithoutLostFolders) {
    const std::string odd = dir / "caf\xe9";  // a name that is not UTF-8
    ::mkdir(odd.c_str(), 0700);
    ::mkdir((dir / "gone").c_str(), 0700);
    left->current()->openFolder(bytes(dir / "a"));
    ASSERT_TRUE(listedIn(left, "inner"));
    ASSERT_TRUE(left->current()->folderView()->selectName("inner"));
    left->current()->folderView()->setMode(FolderView::Mode::List);
    left->current()->folderView()->sortBy(FolderModel::SizeColumn, Qt::DescendingOrder);
    left->openTab({}, true);
    left->setLocked(1, true);
    left->insertTab(
        [&] {
            TabState odd;
            Location where;
            where.folder = true;
            where.path = bytes(dir / "caf\xe9");
            odd.history.push(where);
            return odd;
        }(),
        -1, true);
    right->current()->openFolder(bytes(dir / "gone"));
    ASSERT_TRUE(waitFor([&] { return !right->current()->folderView()->model()->isLoading(); }));

    const QString file = QString::fromStdString(dir / "session.json");
    SessionFile::Panes panes{{"w/left", {left->states(), 0}}, {"w/right", {right->states(), 0}}};
    ASSERT_TRUE(SessionFile::write(file, panes));
    ::rmdir((dir / "gone").c_str());
    const SessionFile::Panes read = SessionFile::read(file);
    ASSERT_EQ(read.size(), 2u);
    const SessionFile::Pane& l = read.at("w/left");
    ASSERT_EQ(l.tabs.size(), 3);
    EXPECT_EQ(l.tabs[0].history.steps().size(), 2u);
    EXPECT_EQ(l.tabs[0].history.position(), 1);
    EXPECT_EQ(l.tabs[0].selection, QList<QByteArray>{"inner"});
    EXPECT_EQ(l.tabs[0].mode, static_cast<int>(FolderView::Mode::List));
    EXPECT_EQ(l.tabs[0].sortColumn, static_cast<int>(FolderModel::SizeColumn));
    EXPECT_EQ(l.tabs[0].sortOrder, Qt::DescendingOrder);
    EXPECT_TRUE(l.tabs[1].locked);
    EXPECT_EQ(l.tabs[2].history.here()->where.path, bytes(odd));

    // Given back to fresh panes: only the shown tab is made; a vanished folder shows its parent.
    right->restore(read.at("w/right").tabs, 0);
    ASSERT_TRUE(waitFor([&] { return folderOf(right->current()) == bytes(dir.path()); }));
    const auto* banner = right->current()->folderView()->findChild<QLabel*>("banner");
    EXPECT_TRUE(banner->isVisible() && banner->text().contains("no longer exists"))
        << banner->text().toStdString();
    left->restore(l.tabs, 0);
    EXPECT_EQ(left->madeViewAt(1), nullptr);
    ASSERT_TRUE(listedIn(left, "inner"));
    EXPECT_TRUE(waitFor([&] { return left->current()->folderView()->selectedPaths().size() == 1; }));
    EXPECT_EQ(left->current()->folderView()->mode(), FolderView::Mode::List);
    EXPECT_TRUE(left->current()->canGoBack());
    EXPECT_EQ(left->titleAt(2), QString::fromUtf8("caf\xef\xbf\xbd"));
    left->setCurrent(2);
    EXPECT_TRUE(waitFor([&] { return folderOf(left->current()) == bytes(odd); }));

    // A damaged file is put aside and restores nothing.
    std::ofstream(file.toStdString()) << "{\"panes\": [1, 2";
    EXPECT_TRUE(SessionFile::read(file).empty());
    EXPECT_TRUE(QFile::exists(file + ".damaged"));
    EXPECT_FALSE(QFile::exists(file));
}

// The keeper gives a pane its tabs back when first shown, writes the tabs as they change, and leaves a
// pane it never showed as the file had it.
TEST_F(TabsTest, TheKeeperRestoresOnFirstShowAndWritesChanges) {
    Preferences::shared().setRestoreTabs(true);
    struct Off {
        ~Off() { Preferences::shared().setRestoreTabs(false); }
    } off;
    const QString file = QString::fromStdString(dir / "kept.json");
    TabState inA;
    Location a;
    a.folder = true;
    a.path = bytes(dir / "a");
    inA.history.push(a);
    TabState inB = inA;
    inB.history.push({true, bytes(dir / "b"), {}});
    ASSERT_TRUE(SessionFile::write(file, {{"keeper/pane", {{inA, inB}, 1}}, {"elsewhere/pane", {{inA}, 0}}}));

    SessionKeeper keeper(file);
    QWidget holder;
    holder.setObjectName("keeper");
    auto* pane = new BrowserTabs(*services, PaneRole::None, &holder);
    pane->setObjectName("pane");
    keeper.add(*pane);
    holder.show();
    ASSERT_TRUE(waitFor([&] { return pane->count() == 2; }));
    EXPECT_EQ(pane->currentIndex(), 1);
    EXPECT_TRUE(waitFor([&] { return folderOf(pane->current()) == bytes(dir / "b"); }));

    pane->closeTab(0);
    EXPECT_TRUE(waitFor([&] {
        const SessionFile::Panes kept = SessionFile::read(file);
        return kept.count("keeper/pane") && kept.at("keeper/pane").tabs.size() == 1 &&
               kept.count("elsewhere/pane");
    }));
}

}  // namespace
}  // namespace kv::test
