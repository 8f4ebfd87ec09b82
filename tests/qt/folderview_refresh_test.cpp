#include <sys/mount.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QWheelEvent>
#include <cstdio>

#include "filemanager_support.h"
#include "platform/qt/folderview/folderdelegate.h"
#include "platform/qt/forms/drivelist.h"
#include "platform/qt/listing/foldernote.h"

namespace kv::test {
namespace {

TEST(FolderViewRefresh, FollowsTheDiskAndKeepsTheSelection) {
    ViewFixture f;
    for (int k = 0; k < 200; ++k) writeFile(f.dir / ("file" + std::to_string(k)), "x");
    ASSERT_TRUE(f.show(f.dir.path()));
    ASSERT_TRUE(f.view->selectName("file150"));
    QScrollBar* bar = f.view->currentView()->verticalScrollBar();
    const int scrolled = bar->value();
    ASSERT_GT(scrolled, 0);

    writeFile(f.dir / "aaa-new", "new");  // sorts above the selection
    ::unlink((f.dir / "file3").c_str());
    ASSERT_TRUE(f.listed("aaa-new")) << "the watcher saw the new file";
    ASSERT_TRUE(waitFor([&] { return f.view->model()->rowOfName("file3") < 0; }));
    EXPECT_EQ(f.view->selectedPaths(), QList<QByteArray>{QByteArray::fromStdString(f.dir / "file150")});
    EXPECT_EQ(f.view->model()->rowCount(), 200);
    EXPECT_NEAR(bar->value(), scrolled, 2) << "the view did not jump";

    // A changed file updates its row in place.
    writeFile(f.dir / "file150", "much longer now");
    ASSERT_TRUE(
        waitFor([&] { return f.view->model()->entryAt(f.view->model()->rowOfName("file150")).size == 15; }));
    EXPECT_EQ(f.view->selectedPaths().size(), 1);
}

// The batches of a listing are sorted on pool threads and may come back in any order: the listing
// ends only once every one of them is in, and the rows are in order whichever came first.
// What an empty view says follows what the folder holds: hidden files are mentioned only when there are
// some, with the key that shows them.
TEST(FolderViewRefresh, TheEmptyNoteSaysWhyNothingIsShown) {
    ViewFixture f;
    const auto* note = f.view->findChild<FolderNote*>();
    ASSERT_TRUE(f.show(f.dir.path()));
    ASSERT_TRUE(waitFor([&] { return note->isVisible(); }));
    EXPECT_EQ(note->text(), "This folder is empty.");
    writeFile(f.dir / ".one", "x");
    f.refreshAndWait();
    EXPECT_EQ(note->text(), "Nothing to show: 1 hidden item is not shown.\nCtrl+H shows hidden files.");
    writeFile(f.dir / ".two", "x");
    f.refreshAndWait();
    EXPECT_TRUE(note->text().startsWith("Nothing to show: 2 hidden items are not shown."))
        << note->text().toStdString();
    f.view->setShowHidden(true);
    ASSERT_TRUE(waitFor([&] { return note->isHidden(); }));
    f.view->setShowHidden(false);
    ASSERT_TRUE(waitFor([&] { return note->isVisible(); }));
}

TEST(FolderViewRefresh, AListingEndsWithEveryBatchInAndInOrder) {
    ViewFixture f;
    const int kFiles = 20000;  // several of the lister's batches
    for (int k = 0; k < kFiles; ++k) writeFile(f.dir / ("f" + std::to_string(k * 7919 % kFiles)), "");
    FolderModel* model = f.view->model();
    int rowsAtEnd = -1;
    QObject::connect(model, &FolderModel::listed, [&] { rowsAtEnd = model->rowCount(); });
    ASSERT_TRUE(f.show(f.dir.path()));
    EXPECT_EQ(rowsAtEnd, kFiles);
    for (int row = 1; row < model->rowCount(); ++row) {
        ASSERT_LT(model->entryAt(row - 1).sortKey, model->entryAt(row).sortKey) << "row " << row;
    }
    EXPECT_EQ(model->entryAt(0).name, "f0");
    EXPECT_EQ(model->entryAt(kFiles - 1).name, "f" + std::to_string(kFiles - 1));
}

TEST(FolderViewRefresh, ABurstOfChangesEndsInTheRightListing) {
    ViewFixture f;
    ASSERT_TRUE(f.show(f.dir.path()));
    for (int k = 0; k < 2000; ++k) writeFile(f.dir / ("n" + std::to_string(k)), "");
    for (int k = 0; k < 2000; k += 2) ::unlink((f.dir / ("n" + std::to_string(k))).c_str());
    ASSERT_TRUE(waitFor([&] { return f.view->model()->rowCount() == 1000; }, 10000))
        << f.view->model()->rowCount();
    EXPECT_LT(f.view->model()->rowOfName("n0"), 0);
    EXPECT_GE(f.view->model()->rowOfName("n1999"), 0);
}

TEST(FolderViewRefresh, AFolderThatVanishesShowsItsParent) {
    ViewFixture f;
    ::mkdir((f.dir / "doomed").c_str(), 0755);
    QByteArray requested;
    QObject::connect(f.view.get(), &FolderView::folderRequested, [&](const QByteArray& p) {
        requested = p;
        f.view->showFolder(p);
    });
    ASSERT_TRUE(f.show(f.dir / "doomed"));
    // A folder removed before its watch is in place would go unnoticed by the watch.
    ASSERT_TRUE(
        waitFor([&] { return f.services->watch.isWatching(QByteArray::fromStdString(f.dir / "doomed")); }));
    ::rmdir((f.dir / "doomed").c_str());
    ASSERT_TRUE(waitFor([&] { return !requested.isEmpty(); }));
    EXPECT_EQ(requested, QByteArray::fromStdString(f.dir.path()));
}

// Unmounting the volume a view shows leaves an empty mount point and ends every watch inside it: the
// view says so and goes to the home folder, where the drive list has gone too. (Mounting needs root.)
TEST(FolderViewRefresh, ARemovedVolumeSendsTheViewHomeWithANote) {
    ViewFixture f;
    const std::string point = f.dir / "volume";
    ::mkdir(point.c_str(), 0755);
    if (::mount("kvtest", point.c_str(), "tmpfs", 0, "size=1m") != 0) GTEST_SKIP() << "cannot mount here";
    writeFile(point + "/inside", "x");
    ::mkdir((point + "/sub").c_str(), 0755);
    QByteArray requested;
    QObject::connect(f.view.get(), &FolderView::folderRequested, [&](const QByteArray& p) {
        requested = p;
        f.view->showFolder(p);
    });
    ASSERT_TRUE(f.show(point + "/sub"));
    ASSERT_TRUE(
        waitFor([&] { return f.services->watch.isWatching(QByteArray::fromStdString(point + "/sub")); }));
    ASSERT_EQ(::umount2(point.c_str(), MNT_DETACH), 0);
    ASSERT_TRUE(waitFor([&] { return !requested.isEmpty(); }));
    EXPECT_EQ(requested, QFile::encodeName(QDir::homePath()));
    auto* banner = f.view->findChild<QLabel*>("banner");
    ASSERT_TRUE(banner);
    EXPECT_TRUE(banner->isVisible());
    EXPECT_TRUE(banner->text().contains("removed")) << banner->text().toStdString();
}

// One notch of the wheel over a drive list that the user is not working in must not take its pane to
// another drive.
TEST(DriveListWheel, DoesNothingWithoutTheKeyboardFocus) {
    DriveList list;
    list.addItems({"/a [A]", "/b [B]", "/c [C]"});
    list.setCurrentIndex(1);
    list.show();
    int changes = 0;
    QObject::connect(&list, &DriveList::driveChanged, [&] { ++changes; });
    QObject::connect(&list, &QComboBox::activated, [&] { ++changes; });
    ASSERT_FALSE(list.hasFocus());
    QWheelEvent wheel(QPointF(5, 5), list.mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&list, &wheel);
    EXPECT_EQ(list.currentIndex(), 1);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(list.focusPolicy(), Qt::StrongFocus) << "the wheel does not take the focus either";
}

}  // namespace
}  // namespace kv::test

namespace kv::test {
namespace {

// The details view keeps each cell's text laid out by text and width: a narrower column must get a
// text elided for it, not the one laid out for the wider column, and a new font lays out anew.
TEST(FolderDelegate, ElidesForEachWidthAndFont) {
    const QFont font = QApplication::font();
    const QString name = QStringLiteral("a rather long file name that no narrow column can hold.txt");
    const int full = QFontMetrics(font).horizontalAdvance(name);
    EXPECT_EQ(FolderDelegate::shownText(name, font, full + 10, Qt::ElideRight), name);
    for (const int width : {full / 2, full / 4}) {
        const QString shown = FolderDelegate::shownText(name, font, width, Qt::ElideRight);
        EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << width;
        EXPECT_LE(QFontMetrics(font).horizontalAdvance(shown), width);
    }
    EXPECT_TRUE(FolderDelegate::shownText(name, font, full / 2, Qt::ElideMiddle).contains(QChar(0x2026)));
    EXPECT_FALSE(FolderDelegate::shownText(name, font, full / 2, Qt::ElideMiddle).endsWith(QChar(0x2026)));
    QFont big = font;
    big.setPointSizeF(font.pointSizeF() * 2);
    const QString inBig = FolderDelegate::shownText(name, big, full + 10, Qt::ElideRight);
    EXPECT_TRUE(inBig.endsWith(QChar(0x2026)));
    EXPECT_EQ(FolderDelegate::shownText(name, font, full + 10, Qt::ElideRight), name);
}

// In the icon view a name has its grid cell's width whatever the first name's was ("Desktop" before
// "Documents" elided the latter in a cell with room for it).
TEST(FolderDelegate, IconCellsAreAsWideAsTheGrid) {
    ViewFixture f;
    ::mkdir((f.dir / "a").c_str(), 0755);
    ASSERT_TRUE(f.show(f.dir.path()));
    f.view->setMode(FolderView::Mode::Icons);
    auto* icons = qobject_cast<QListView*>(f.view->currentView());
    ASSERT_NE(icons, nullptr);
    // A name nearly as wide as the grid, far wider than the icon and "a" under it.
    const QFontMetrics metrics(icons->font());
    QString name = "Downloads";
    while (metrics.horizontalAdvance(name + "x") < icons->gridSize().width() - 14) name += "x";
    ::mkdir((f.dir / "sub").c_str(), 0755);
    ::mkdir((f.dir / ("sub/" + name.toStdString())).c_str(), 0755);
    ::mkdir((f.dir / "sub/A").c_str(), 0755);
    ASSERT_TRUE(f.show(f.dir / "sub"));  // as the user goes from folder to folder in the icon view
    QApplication::processEvents();
    const QModelIndex longer = f.view->model()->index(f.view->model()->rowOfName(name.toUtf8()), 0);
    ASSERT_TRUE(longer.isValid());
    EXPECT_GE(icons->visualRect(longer).width(), metrics.horizontalAdvance(name));
    EXPECT_LE(icons->visualRect(longer).width(), icons->gridSize().width());
}

}  // namespace
}  // namespace kv::test
