// Several folder views in one window are panes: F6 and Shift+F6 move the keyboard focus between them
// in reading order, the pane without the focus shows its selection in the inactive colours, and the
// selection copies or moves to another pane's folder.

#include <QGridLayout>
#include <QMenu>

#include "filemanager_support.h"
#include "platform/qt/folderview/folderactions.h"
#include "platform/qt/pane/panehighlight.h"
#include "platform/qt/pane/panemenu.h"
#include "platform/qt/pane/windowpanes.h"

namespace kv::test {
namespace {

QByteArray rawPath(const std::string& s) {
    return QByteArray::fromStdString(s);
}

// A window of n folder views, each on a folder of its own, two to a row.
struct PaneWindow {
    TempDir trash;
    std::unique_ptr<OwnedPaneServices> services = std::make_unique<OwnedPaneServices>();
    FileOperations* ops = &services->ops;
    std::vector<std::unique_ptr<TempDir>> dirs;
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    std::vector<FolderView*> panes;

    explicit PaneWindow(int n) {
        ops->setHomeTrash(rawPath(trash / "Trash"));
        ops->setReportsShown(false);
        auto* grid = new QGridLayout(window.get());
        for (int k = 0; k < n; ++k) {
            dirs.push_back(std::make_unique<TempDir>());
            auto* v = new FolderView(*services);
            grid->addWidget(v, k / 2, k % 2);
            panes.push_back(v);
        }
        window->resize(900, 700);
        window->show();
        for (int k = 0; k < n; ++k) ViewFixture::show(*panes[k], dirs[k]->path());
        window->activateWindow();
        (void)QTest::qWaitForWindowActive(window.get());
    }
    const std::string& dir(int k) const { return dirs[static_cast<size_t>(k)]->path(); }
    std::vector<bool> active() const {
        std::vector<bool> out;
        for (const FolderView* v : panes) out.push_back(v->isActivePane());
        return out;
    }
    bool idle() {
        return waitFor([&] { return ops->runningJobs() == 0; });
    }
};

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

TEST(Panes, FoundInReadingOrderAndOnlyWhenShown) {
    PaneWindow w(4);
    const QList<FolderPane*> all = WindowPanes::panes(w.window.get());
    ASSERT_EQ(all.size(), 4);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(all[k], w.panes[static_cast<size_t>(k)]) << k;
    EXPECT_EQ(WindowPanes::others(*w.panes[1]), (QList<FolderPane*>{w.panes[0], w.panes[2], w.panes[3]}));
    // A hidden view (a browser view showing a web page) is no pane.
    w.panes[2]->hide();
    EXPECT_EQ(WindowPanes::others(*w.panes[1]), (QList<FolderPane*>{w.panes[0], w.panes[3]}));
    EXPECT_EQ(WindowPanes::next(*w.panes[1], true), w.panes[3]);
    EXPECT_EQ(WindowPanes::next(*w.panes[0], false), w.panes[3]);
}

TEST(Panes, F6MovesTheFocusInReadingOrderAndTheOthersLookInactive) {
    PaneWindow w(4);
    ASSERT_TRUE(w.window->isActiveWindow());
    w.panes[0]->focusItems();
    EXPECT_EQ(w.active(), (std::vector<bool>{true, false, false, false}));
    const struct {
        Qt::KeyboardModifiers modifiers;
        int expected;
    } steps[] = {{Qt::NoModifier, 1}, {Qt::NoModifier, 2},    {Qt::NoModifier, 3},
                 {Qt::NoModifier, 0}, {Qt::ShiftModifier, 3}, {Qt::ShiftModifier, 2}};
    for (const auto& s : steps) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6, s.modifiers);
        EXPECT_EQ(QApplication::focusWidget(), w.panes[static_cast<size_t>(s.expected)]->currentView());
        std::vector<bool> want(4, false);
        want[static_cast<size_t>(s.expected)] = true;
        EXPECT_EQ(w.active(), want);
    }

    // The selection's colours: the window's own in the pane with the focus, the inactive ones elsewhere,
    // even though the window is active.
    const QPalette natural = w.panes[0]->palette();
    const QColor active = natural.color(QPalette::Active, QPalette::Highlight);
    const QColor inactive = PaneHighlight::inactiveHighlight(natural);
    EXPECT_NE(active, inactive);
    EXPECT_EQ(w.panes[2]->currentView()->palette().color(QPalette::Active, QPalette::Highlight), active);
    EXPECT_EQ(w.panes[0]->currentView()->palette().color(QPalette::Active, QPalette::Highlight), inactive);
    // A view made later (icons) takes the pane's colours too.
    w.panes[0]->setMode(FolderView::Mode::Icons);
    EXPECT_EQ(w.panes[0]->currentView()->palette().color(QPalette::Active, QPalette::Highlight), inactive);
    w.panes[0]->focusItems();
    EXPECT_EQ(w.panes[0]->currentView()->palette().color(QPalette::Active, QPalette::Highlight), active);
    EXPECT_EQ(w.panes[2]->currentView()->palette().color(QPalette::Active, QPalette::Highlight), inactive);
}

TEST(Panes, TheKeysClashWithNoOtherCommand) {
    PaneWindow w(1);
    const FolderView* view = w.panes[0];
    for (const char* id : {"nextPane", "previousPane", "copyToPane", "moveToPane"}) {
        const FolderActions::Command* c = FolderActions::find(id);
        ASSERT_TRUE(c) << id;
        for (const FolderActions::Key& k : c->keys) {
            QKeyEvent press(QEvent::KeyPress, k.combination.key(), k.combination.keyboardModifiers());
            EXPECT_EQ(FolderActions::commandFor(&press, *view), c) << id;
        }
    }
}

TEST(Panes, CopyAndMoveToTheOtherOfTwoPanes) {
    PaneWindow w(2);
    writeFile(w.dir(0) + "/copied", "c");
    writeFile(w.dir(0) + "/moved", "m");
    w.panes[0]->refresh();
    ASSERT_TRUE(waitFor([&] { return w.panes[0]->model()->rowCount() == 2; }));
    w.panes[0]->focusItems();

    ASSERT_TRUE(w.panes[0]->selectName("copied"));
    std::unique_ptr<QMenu> menu(w.panes[0]->createContextMenu(true));
    QAction* copy = menu->findChild<QAction*>("copyToPane");
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->isEnabled());
    EXPECT_EQ(copy->text(), "Copy to Pane…");
    QTest::keyClick(w.panes[0]->currentView(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(w.idle());
    EXPECT_TRUE(exists(w.dir(0) + "/copied"));
    EXPECT_TRUE(exists(w.dir(1) + "/copied"));
    ASSERT_TRUE(waitFor([&] { return w.panes[1]->model()->rowOfName("copied") >= 0; }));

    ASSERT_TRUE(w.panes[0]->selectName("moved"));
    QTest::keyClick(w.panes[0]->currentView(), Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(w.idle());
    EXPECT_FALSE(exists(w.dir(0) + "/moved"));
    EXPECT_TRUE(exists(w.dir(1) + "/moved"));
    ASSERT_TRUE(waitFor([&] { return w.panes[0]->model()->rowOfName("moved") < 0; }));

    // Alone in its window, or with nothing selected, a pane has nowhere to send anything.
    w.panes[1]->hide();
    menu.reset(w.panes[0]->createContextMenu(true));
    EXPECT_FALSE(menu->findChild<QAction*>("moveToPane")->isEnabled());
    w.panes[1]->show();
    w.panes[0]->currentView()->selectionModel()->clearSelection();
    menu.reset(w.panes[0]->createContextMenu(true));
    EXPECT_FALSE(menu->findChild<QAction*>("moveToPane")->isEnabled());
}

TEST(Panes, WithSeveralOtherPanesAMenuOfTheirFoldersAsks) {
    PaneWindow w(4);
    writeFile(w.dir(3) + "/item", "i");
    w.panes[3]->refresh();
    ASSERT_TRUE(waitFor([&] { return w.panes[3]->selectName("item"); }));
    w.panes[3]->focusItems();
    QTest::keyClick(w.panes[3]->currentView(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QMenu* chooser = nullptr;
    ASSERT_TRUE(waitFor(
        [&] { return (chooser = w.panes[3]->findChild<QMenu*>("paneChooser")) && chooser->isVisible(); }));
    QStringList entries;
    for (QAction* a : chooser->actions())
        if (!a->isSeparator()) entries << a->text();
    // Named by place as well as folder: panes often show the same one.
    EXPECT_EQ(entries, (QStringList{"&1  Top left pane: " + QString::fromStdString(w.dir(0)),
                                    "&2  Top right pane: " + QString::fromStdString(w.dir(1)),
                                    "&3  Bottom left pane: " + QString::fromStdString(w.dir(2))}));
    // The keys choose: the first entry is active, Down goes to the second.
    QTest::keyClick(chooser, Qt::Key_Down);
    QTest::keyClick(chooser, Qt::Key_Return);
    ASSERT_TRUE(w.idle());
    EXPECT_FALSE(exists(w.dir(0) + "/item"));
    EXPECT_TRUE(exists(w.dir(1) + "/item"));
    EXPECT_FALSE(exists(w.dir(2) + "/item"));
    EXPECT_TRUE(exists(w.dir(3) + "/item"));
}

// One row per layout: the panes' rectangles, and what each is called in a "Copy to" menu.
TEST(Panes, APaneIsNamedByWhereItIsInTheWindow) {
    struct Row {
        QList<QRect> panes;
        QStringList names;
    } rows[] = {
        {{QRect(0, 0, 400, 300)}, {"Pane"}},
        {{QRect(0, 300, 400, 300), QRect(400, 300, 400, 300)}, {"Left pane", "Right pane"}},
        {{QRect(0, 0, 300, 600), QRect(300, 0, 300, 600), QRect(600, 0, 300, 600)},
         {"Left pane", "Middle pane", "Right pane"}},
        {{QRect(0, 0, 450, 350), QRect(450, 0, 450, 350), QRect(0, 350, 450, 350), QRect(450, 350, 450, 350)},
         {"Top left pane", "Top right pane", "Bottom left pane", "Bottom right pane"}},
        // The four columns of the four-pane view, as wide as the window's design has them.
        {{QRect(-8, 48, 259, 683), QRect(248, 48, 259, 683), QRect(504, 48, 259, 683),
          QRect(760, 48, 259, 683)},
         {"Left pane", "Centre left pane", "Centre right pane", "Right pane"}},
        {{QRect(0, 0, 100, 100), QRect(100, 0, 100, 100), QRect(200, 0, 100, 100), QRect(300, 0, 100, 100),
          QRect(400, 0, 100, 100), QRect(500, 0, 100, 100)},
         {"Left pane", "Second from left pane", "Third from left pane", "Third from right pane",
          "Second from right pane", "Right pane"}},
        // Slightly uneven sizes are still one row.
        {{QRect(0, 10, 300, 500), QRect(301, 12, 299, 498)}, {"Left pane", "Right pane"}},
    };
    for (const Row& r : rows)
        for (qsizetype k = 0; k < r.panes.size(); ++k)
            EXPECT_EQ(PaneMenu::placeName(r.panes[k], r.panes), r.names[k]) << k;
}

}  // namespace
}  // namespace kv::test
