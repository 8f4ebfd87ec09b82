#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMimeData>

#include "filemanager_support.h"
#include "platform/qt/common/clipboardformat.h"
#include "platform/qt/dragdrop/dropdecision.h"
#include "platform/qt/dragdrop/folderdragdrop.h"

namespace kv::test {
namespace {

TEST(FileManagerDrop, DecisionByModifiersAndFilesystem) {
    struct Row {
        bool ctrl, shift, sameFs;
        Qt::DropAction expected;
    } rows[] = {
        {false, false, true, Qt::MoveAction}, {false, false, false, Qt::CopyAction},
        {true, false, true, Qt::CopyAction},  {true, false, false, Qt::CopyAction},
        {false, true, true, Qt::MoveAction},  {false, true, false, Qt::MoveAction},
        {true, true, true, Qt::CopyAction},   {true, true, false, Qt::CopyAction},
    };
    for (const Row& r : rows)
        EXPECT_EQ(DropDecision::decide(r.ctrl, r.shift, r.sameFs), r.expected)
            << "ctrl " << r.ctrl << " shift " << r.shift << " same " << r.sameFs;
}

TEST(FileManagerDrop, SourcesAlreadyThereAreLeftOut) {
    struct Row {
        QList<QByteArray> sources;
        QByteArray target;
        QList<QByteArray> expected;
    } rows[] = {
        {{"/a/x", "/a/y"}, "/a", {}},        // onto their own folder
        {{"/a/x", "/a/y"}, "/a/", {}},       // spelled with a slash
        {{"/a//x"}, "/a", {}},               // doubled slash
        {{"/a/x"}, "/a/x", {}},              // a folder onto itself
        {{"/a/x", "/b/y"}, "/a", {"/b/y"}},  // mixed: only the foreign one goes
        {{"/a/x"}, "/a/x/sub", {"/a/x"}},    // into itself: the job refuses, with its message
        {{"/a/x"}, "/", {"/a/x"}},
        {{"/x"}, "/", {}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(DropDecision::sourcesToTransfer(r.sources, r.target), r.expected) << r.target.constData();
}

TEST(FileManagerDrop, PlanUsesTheItemsFilesystem) {
    // Fake devices: /one/* on 1, /two/* on 2, /bad unknown.
    auto deviceOf = [](const QByteArray& p, bool, dev_t& dev) {
        if (p.startsWith("/bad")) return false;
        dev = p.startsWith("/one") ? 1 : 2;
        return true;
    };
    struct Row {
        QList<QByteArray> sources;
        QByteArray target;
        Qt::KeyboardModifiers mods;
        Qt::DropAction expected;
    } rows[] = {
        {{"/one/a/x"}, "/one/b", Qt::NoModifier, Qt::MoveAction},
        {{"/one/a/x"}, "/two/b", Qt::NoModifier, Qt::CopyAction},
        {{"/one/a/x", "/two/c/y"}, "/one/b", Qt::NoModifier, Qt::CopyAction},  // not all on one fs
        {{"/bad/x"}, "/one/b", Qt::NoModifier, Qt::CopyAction},                // unknown counts as another fs
        {{"/one/a/x"}, "/bad/b", Qt::NoModifier, Qt::CopyAction},
        {{"/one/a/x"}, "/one/b", Qt::ControlModifier, Qt::CopyAction},
        {{"/one/a/x"}, "/two/b", Qt::ShiftModifier, Qt::MoveAction},
        {{"/one/a/x"}, "/one/a", Qt::ShiftModifier, Qt::IgnoreAction},
        {{"/one/a/x"}, "/one/a", Qt::ControlModifier, Qt::CopyAction},  // a duplicate beside it
        {{"/one/a"}, "/one/a", Qt::ControlModifier, Qt::IgnoreAction},  // never into itself
    };
    for (const Row& r : rows)
        EXPECT_EQ(DropDecision::plan(r.sources, r.target, r.mods, deviceOf).action, r.expected)
            << r.sources.front().constData() << " -> " << r.target.constData();
}

class FileManagerDropOnView : public ::testing::Test {
  protected:
    ViewFixture f;
    TempDir shm{"/dev/shm"};

    void SetUp() override {
        if (shm.path().empty() || deviceOf(shm.path()) == deviceOf(f.dir.path()))
            GTEST_SKIP() << "needs /dev/shm on a filesystem of its own";
        writeFile(f.dir / "a.txt", "alpha");
        writeFile(f.dir / "b.txt", "beta");
        ::mkdir((f.dir / "sub").c_str(), 0755);
        writeFile(shm / "far.txt", "far away");
        ::mkdir((f.dir / "other").c_str(), 0755);
        ASSERT_TRUE(f.show(f.dir / "other"));
    }

    // Sends the drop the way the window system delivers it: to the view's viewport, entered first
    // (Qt delivers a drop only to a widget that took the drag's entry).
    Qt::DropAction drop(const QList<QByteArray>& paths, QPoint at, Qt::KeyboardModifiers mods,
                        Qt::MouseButtons buttons = Qt::LeftButton, bool rightDrag = false) {
        std::unique_ptr<QMimeData> data(ClipboardFormat::toMimeData(paths, false));
        if (rightDrag) FolderDragDrop::markAsking(data.get());
        QWidget* viewport = f.view->currentView()->viewport();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data.get(), buttons, mods);
        QCoreApplication::sendEvent(viewport, &enter);
        QDropEvent event(QPointF(at), Qt::CopyAction | Qt::MoveAction, data.get(), buttons, mods);
        QCoreApplication::sendEvent(viewport, &event);
        EXPECT_TRUE(f.idle());
        return event.isAccepted() ? event.dropAction() : Qt::IgnoreAction;
    }
    QPoint emptyArea() const {
        return f.view->currentView()->viewport()->rect().bottomRight() - QPoint(5, 5);
    }
    static QByteArray raw(const std::string& s) { return QByteArray::fromStdString(s); }
};

TEST_F(FileManagerDropOnView, SameFilesystemMovesOtherFilesystemCopies) {
    EXPECT_EQ(drop({raw(f.dir / "a.txt")}, emptyArea(), Qt::NoModifier), Qt::MoveAction);
    EXPECT_FALSE(exists(f.dir / "a.txt"));
    EXPECT_EQ(readFile(f.dir / "other/a.txt"), "alpha");

    EXPECT_EQ(drop({raw(shm / "far.txt")}, emptyArea(), Qt::NoModifier), Qt::CopyAction);
    EXPECT_EQ(readFile(shm / "far.txt"), "far away");
    EXPECT_EQ(readFile(f.dir / "other/far.txt"), "far away");
    EXPECT_TRUE(f.listed("far.txt")) << "the pane shows what landed in it";
}

TEST_F(FileManagerDropOnView, ModifiersOverrideTheDefault) {
    EXPECT_EQ(drop({raw(f.dir / "a.txt")}, emptyArea(), Qt::ControlModifier), Qt::CopyAction);
    EXPECT_TRUE(exists(f.dir / "a.txt"));
    EXPECT_TRUE(exists(f.dir / "other/a.txt"));

    EXPECT_EQ(drop({raw(shm / "far.txt")}, emptyArea(), Qt::ShiftModifier), Qt::MoveAction);
    EXPECT_FALSE(exists(shm / "far.txt"));
    EXPECT_EQ(readFile(f.dir / "other/far.txt"), "far away");
}

TEST_F(FileManagerDropOnView, OntoAFolderItemTargetsThatFolder) {
    ::mkdir((f.dir / "other/inner").c_str(), 0755);
    f.refreshAndWait();
    ASSERT_TRUE(f.listed("inner"));
    QAbstractItemView* v = f.view->currentView();
    const int row = f.view->model()->rowOfName("inner");
    const QPoint onFolder = v->visualRect(f.view->model()->index(row, 0)).center();
    EXPECT_EQ(f.view->dragDrop()->targetAt(onFolder), raw(f.dir / "other/inner"));
    EXPECT_EQ(drop({raw(f.dir / "b.txt")}, onFolder, Qt::NoModifier), Qt::MoveAction);
    EXPECT_EQ(readFile(f.dir / "other/inner/b.txt"), "beta");
}

TEST_F(FileManagerDropOnView, OntoTheSourcesOwnFolderMovesNothingAndCtrlDuplicates) {
    ASSERT_TRUE(f.show(f.dir.path()));
    EXPECT_EQ(drop({raw(f.dir / "a.txt")}, emptyArea(), Qt::NoModifier), Qt::IgnoreAction);
    EXPECT_EQ(drop({raw(f.dir / "a.txt")}, emptyArea(), Qt::ShiftModifier), Qt::IgnoreAction);
    EXPECT_FALSE(exists(f.dir / "a (2).txt"));
    // As Ctrl+C then Ctrl+V in the same folder.
    EXPECT_EQ(drop({raw(f.dir / "a.txt")}, emptyArea(), Qt::ControlModifier), Qt::CopyAction);
    EXPECT_TRUE(f.idle());
    EXPECT_EQ(readFile(f.dir / "a.txt"), "alpha");
    EXPECT_EQ(readFile(f.dir / "a (2).txt"), "alpha");
}

TEST_F(FileManagerDropOnView, DragMoveShowsTheActionTheDropWillTake) {
    std::unique_ptr<QMimeData> data(ClipboardFormat::toMimeData({raw(shm / "far.txt")}, false));
    QDragEnterEvent enter(emptyArea(), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(f.view->currentView()->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDragMoveEvent move(emptyArea(), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                        Qt::ShiftModifier);
    QCoreApplication::sendEvent(f.view->currentView()->viewport(), &move);
    EXPECT_TRUE(move.isAccepted());
    EXPECT_EQ(move.dropAction(), Qt::MoveAction);
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(f.view->currentView()->viewport(), &leave);
    EXPECT_TRUE(exists(shm / "far.txt")) << "hovering moves nothing";
}

// A drop with Alt held, with the right button, or of a drag the right button made asks; the plain
// drop's choice (here a move: one filesystem) comes first. Nothing happens before the answer.
TEST_F(FileManagerDropOnView, ADropThatAsksOffersMoveCopyLinkAndCancel) {
    struct Row {
        const char* how;
        Qt::KeyboardModifiers mods;
        Qt::MouseButtons buttons;
        bool rightDrag;
        const char* choice;
    } rows[] = {
        {"Alt", Qt::AltModifier, Qt::LeftButton, false, "cancelDrop"},
        {"Alt", Qt::AltModifier, Qt::LeftButton, false, "copyHere"},
        {"right button", Qt::NoModifier, Qt::RightButton, false, "linkHere"},
        {"right-button drag", Qt::NoModifier, Qt::NoButton, true, "moveHere"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.how) + " " + r.choice);
        EXPECT_EQ(drop({raw(f.dir / "a.txt")}, emptyArea(), r.mods, r.buttons, r.rightDrag), Qt::CopyAction);
        QMenu* menu = findTopLevel<QMenu>();
        ASSERT_TRUE(menu && menu->objectName() == "dropMenu");
        EXPECT_EQ(menu->defaultAction()->objectName(), "moveHere");
        EXPECT_TRUE(exists(f.dir / "a.txt")) << "nothing before the answer";
        EXPECT_FALSE(exists(f.dir / "other/a.txt"));
        menu->findChild<QAction*>(r.choice)->trigger();
        menu->close();
        ASSERT_TRUE(f.idle());
        const std::string choice = r.choice;
        EXPECT_EQ(exists(f.dir / "a.txt"), choice != "moveHere");
        EXPECT_EQ(exists(f.dir / "other/a.txt"), choice != "cancelDrop");
        if (choice == "linkHere") {
            EXPECT_EQ(QFile::symLinkTarget(QString::fromStdString(f.dir / "other/a.txt")),
                      QString::fromStdString(f.dir / "a.txt"));
        }
        if (choice == "copyHere") {
            EXPECT_EQ(readFile(f.dir / "other/a.txt"), "alpha");
        }
        ::unlink((f.dir / "other/a.txt").c_str());
        if (choice == "moveHere") writeFile(f.dir / "a.txt", "alpha");
    }
}

// An item's menu waits for the right button's release (the press may begin a drag); elsewhere it
// opens as before.
TEST_F(FileManagerDropOnView, AnItemsMenuOpensOnTheRightButtonsRelease) {
    ASSERT_TRUE(f.show(f.dir.path()));
    QAbstractItemView* v = f.view->currentView();
    const QPoint onItem =
        v->visualRect(f.view->model()->index(f.view->model()->rowOfName("a.txt"), 0)).center();
    QTest::mousePress(v->viewport(), Qt::RightButton, {}, onItem);
    QContextMenuEvent asked(QContextMenuEvent::Mouse, onItem, v->viewport()->mapToGlobal(onItem));
    QCoreApplication::sendEvent(v->viewport(), &asked);
    QCoreApplication::processEvents();
    EXPECT_FALSE(findTopLevel<QMenu>()) << "not on the press";
    QTest::mouseRelease(v->viewport(), Qt::RightButton, {}, onItem);
    EXPECT_TRUE(waitFor([] { return findTopLevel<QMenu>() != nullptr; }));
    closeAll<QMenu>();
}

}  // namespace
}  // namespace kv::test
