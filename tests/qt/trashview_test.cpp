#include <algorithm>

#include <QDateTime>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTreeView>

#include "filemanager_support.h"
#include "platform/fs/trash/trash.h"
#include "platform/qt/browser/browserview.h"
#include "platform/qt/common/clipboardformat.h"
#include "platform/qt/dragdrop/folderdragdrop.h"
#include "platform/qt/folderview/folderactions.h"
#include "platform/qt/jobs/clashdialog.h"
#include "platform/qt/listing/foldernote.h"
#include "platform/qt/trash/trashplace.h"

namespace kv::test {
namespace {

// A menu's entries, outside its submenus: "id" each, "!id" when disabled.
std::string entries(QMenu* menu) {
    QStringList out;
    for (const QAction* a : menu->actions())
        if (!a->isSeparator() && !a->menu()) out << QString(a->isEnabled() ? "" : "!") + a->objectName();
    return out.join(' ').toStdString();
}

QAction* trashAction(QMenu* menu, const char* name) {
    for (QAction* a : menu->findChildren<QAction*>(name)) return a;
    return nullptr;
}

// A folder view on the trash, which holds what another program put there by hand and what the view
// itself trashed.
class TrashView : public ::testing::Test {
  protected:
    ViewFixture f;
    std::string trash() { return f.trashDir / "Trash"; }

    void SetUp() override {
        f.ops->setTrashVolumes([] { return std::vector<std::string>{}; });  // no real volume's trash
        for (const char* d : {"", "/files", "/info"}) ::mkdir((trash() + d).c_str(), 0700);
        // Trashed from a folder that is gone since, by another program's trash code.
        writeFile(trash() + "/files/report.txt", "R");
        writeFile(trash() + "/info/report.txt.trashinfo",
                  "[Trash Info]\nPath=" + Trash::encodePath(f.dir / "sub dir/report.txt") +
                      "\nDeletionDate=2026-12-01T10:11:12\n");
        writeFile(f.dir / "mine.txt", "M");
        ASSERT_TRUE(f.show(f.dir.path()));
        ASSERT_TRUE(f.view->selectName("mine.txt"));
        QTest::keyClick(v(), Qt::Key_Delete);
        ASSERT_TRUE(f.idle());
        ASSERT_TRUE(f.show("trash:/"));
        ASSERT_EQ(f.view->model()->rowCount(), 2);
    }
    void TearDown() override { closeAll<ClashDialog>(); }

    QWidget* v() { return f.view->currentView(); }
    FolderModel* model() { return f.view->model(); }
    int rowShowing(const QString& name) {
        for (int row = 0; row < model()->rowCount(); ++row)
            if (model()->nameAt(row) == name) return row;
        return -1;
    }
    bool select(const QString& name) {
        const int row = rowShowing(name);
        return row >= 0 && f.view->selectName(model()->pathAt(row));
    }
    QString cell(const QString& name, int column) {
        return model()->index(rowShowing(name), column).data().toString();
    }
    QMessageBox* question(const char* name) {
        QMessageBox* box = nullptr;
        EXPECT_TRUE(waitFor([&] { return (box = findTopLevel<QMessageBox>()) != nullptr; }));
        if (box) {
            EXPECT_EQ(box->objectName(), name);
        }
        return box;
    }
};

TEST_F(TrashView, ShowsOriginsAndDeletionDatesAndNoEditingCommands) {
    auto* details = qobject_cast<QTreeView*>(v());
    ASSERT_TRUE(details);
    QStringList shown;
    for (int visual = 0; visual < details->header()->count(); ++visual) {
        const int logical = details->header()->logicalIndex(visual);
        if (!details->header()->isSectionHidden(logical))
            shown << model()->headerData(logical, Qt::Horizontal, Qt::DisplayRole).toString();
    }
    EXPECT_EQ(shown.join(", ").toStdString(), "Name, Original Location, Deleted, Size, Type");
    EXPECT_EQ(cell("report.txt", FolderModel::OriginColumn), QString::fromStdString(f.dir / "sub dir"));
    EXPECT_EQ(cell("mine.txt", FolderModel::OriginColumn), QString::fromStdString(f.dir.path()));
    EXPECT_EQ(cell("report.txt", FolderModel::ModifiedColumn),
              QLocale().toString(QDateTime(QDate(2026, 12, 1), QTime(10, 11, 12)), QLocale::ShortFormat));
    EXPECT_FALSE(cell("mine.txt", FolderModel::TypeColumn).isEmpty());

    ASSERT_TRUE(select("report.txt"));
    std::unique_ptr<QMenu> items(f.view->createContextMenu(true));
    EXPECT_EQ(entries(items.get()),
              "restore deleteFromTrash quickLook copy copyPath !copyToPane undo properties");
    f.view->currentView()->clearSelection();
    std::unique_ptr<QMenu> empty(f.view->createContextMenu(false));
    EXPECT_EQ(entries(empty.get()),
              "showHidden !showPreviews refresh copyPath emptyTrash selectByPattern invertSelection undo "
              "preferences");
    EXPECT_EQ(trashAction(empty.get(), "sortModified")->text(), "Deleted");

    // Keys of the folder commands do nothing here: no name editor, no new folder, no opening.
    QTest::keyClick(v(), Qt::Key_F2);
    QTest::keyClick(v(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(v(), Qt::Key_Backspace);
    QTest::keyClick(v(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_FALSE(v()->findChild<QLineEdit*>() && v()->findChild<QLineEdit*>()->isVisible());
    EXPECT_EQ(f.view->folder(), "trash:/");
    EXPECT_EQ(f.ops->runningJobs(), 0);
    EXPECT_EQ(model()->rowCount(), 2);

    // Back in a folder, its own columns.
    ASSERT_TRUE(f.show(f.dir.path()));
    EXPECT_TRUE(details->header()->isSectionHidden(FolderModel::OriginColumn));
    EXPECT_EQ(model()->headerData(FolderModel::ModifiedColumn, Qt::Horizontal, Qt::DisplayRole), "Modified");
}

TEST_F(TrashView, RestoreFromTheMenuRecreatesTheFolderAndAsksOnAClash) {
    ASSERT_TRUE(select("report.txt"));
    std::unique_ptr<QMenu> menu(f.view->createContextMenu(true));
    trashAction(menu.get(), "restore")->trigger();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(readFile(f.dir / "sub dir/report.txt"), "R");
    EXPECT_FALSE(exists(trash() + "/info/report.txt.trashinfo"));
    ASSERT_TRUE(waitFor([&] { return model()->rowCount() == 1; })) << "the view follows the trash";

    // The name was taken in the meantime: asked as a transfer asks; Keep Both restores beside it.
    writeFile(f.dir / "mine.txt", "newcomer");
    ASSERT_TRUE(select("mine.txt"));
    menu.reset(f.view->createContextMenu(true));
    trashAction(menu.get(), "restore")->trigger();
    ClashDialog* clash = nullptr;
    ASSERT_TRUE(waitFor([&] { return (clash = findTopLevel<ClashDialog>()) != nullptr; }));
    clash->findChild<QPushButton*>("keepBoth")->click();
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(readFile(f.dir / "mine.txt"), "newcomer");
    EXPECT_EQ(readFile(f.dir / "mine (2).txt"), "M");
    ASSERT_TRUE(waitFor([&] { return model()->rowCount() == 0; }));
    EXPECT_TRUE(f.reports.isEmpty()) << f.reports.join("\n").toStdString();
}

TEST_F(TrashView, DeleteAndEmptyAskFirstThenRemoveItemAndInfo) {
    ASSERT_TRUE(select("report.txt"));
    for (bool yes : {false, true}) {
        QTest::keyClick(v(), Qt::Key_Delete);
        QMessageBox* box = question("confirmDeleteFromTrash");
        ASSERT_TRUE(box);
        EXPECT_TRUE(box->text().contains("report.txt")) << box->text().toStdString();
        box->button(yes ? QMessageBox::Yes : QMessageBox::Cancel)->click();
        ASSERT_TRUE(f.idle());
        EXPECT_EQ(exists(trash() + "/files/report.txt"), !yes);
        EXPECT_EQ(exists(trash() + "/info/report.txt.trashinfo"), !yes);
    }
    EXPECT_FALSE(exists(f.dir / "sub dir/report.txt")) << "deleted, not restored";
    ASSERT_TRUE(waitFor([&] { return model()->rowCount() == 1; }));

    std::unique_ptr<QMenu> menu(f.view->createContextMenu(false));
    trashAction(menu.get(), "emptyTrash")->trigger();
    QMessageBox* box = question("confirmEmptyTrash");
    ASSERT_TRUE(box);
    box->button(QMessageBox::Yes)->click();
    ASSERT_TRUE(f.idle());
    ASSERT_TRUE(waitFor([&] { return model()->rowCount() == 0; }));
    EXPECT_FALSE(exists(trash() + "/files/mine.txt"));
    EXPECT_FALSE(exists(trash() + "/info/mine.txt.trashinfo"));
    menu.reset(f.view->createContextMenu(false));
    EXPECT_FALSE(trashAction(menu.get(), "emptyTrash")->isEnabled()) << "nothing left to empty";
    const auto* note = f.view->findChild<FolderNote*>();
    ASSERT_TRUE(waitFor([&] { return note->isVisible(); }));
    EXPECT_EQ(note->text(), "The Trash is empty.") << "not a word about hidden files";
}

TEST_F(TrashView, FilesDroppedOnItAreTrashed) {
    writeFile(f.dir / "dropped.txt", "D");
    std::unique_ptr<QMimeData> data(
        ClipboardFormat::toMimeData({QByteArray::fromStdString(f.dir / "dropped.txt")}, false));
    EXPECT_EQ(f.view->dragDrop()->drop(data.get(), QPoint(5, 5), Qt::NoModifier), Qt::MoveAction);
    ASSERT_TRUE(f.idle());
    EXPECT_FALSE(exists(f.dir / "dropped.txt"));
    EXPECT_EQ(readFile(trash() + "/files/dropped.txt"), "D");
    ASSERT_TRUE(waitFor([&] { return rowShowing("dropped.txt") >= 0; }));
    // What is in the trash already stays where it is.
    data.reset(ClipboardFormat::toMimeData({model()->pathAt(rowShowing("dropped.txt"))}, false));
    EXPECT_EQ(f.view->dragDrop()->drop(data.get(), QPoint(5, 5), Qt::NoModifier), Qt::IgnoreAction);
}

TEST_F(TrashView, FollowsWhatOtherProgramsPutIntoTheTrash) {
    // The watches start on the watcher's own thread, a moment after the listing: only what comes after
    // that is followed.
    ASSERT_TRUE(waitFor([&] {
        const std::vector<std::string> dirs = model()->trashFolders();
        return !dirs.empty() && std::all_of(dirs.begin(), dirs.end(), [&](const std::string& d) {
            return f.services->watch.isWatching(QByteArray::fromStdString(d));
        });
    }));
    writeFile(trash() + "/info/late.txt.trashinfo", "[Trash Info]\nPath=/elsewhere/late.txt\n");
    writeFile(trash() + "/files/late.txt", "L");
    ASSERT_TRUE(waitFor([&] { return rowShowing("late.txt") >= 0; })) << "the trash folder is watched";
    EXPECT_EQ(cell("late.txt", FolderModel::OriginColumn), "/elsewhere");
    EXPECT_EQ(cell("late.txt", FolderModel::ModifiedColumn), "Unknown") << "no DeletionDate";
    ::unlink((trash() + "/files/late.txt").c_str());
    ASSERT_TRUE(waitFor([&] { return rowShowing("late.txt") < 0; }));

    // A click on the origins' header leaves the order as it is, and its mark where it was.
    auto* header = qobject_cast<QTreeView*>(v())->header();
    header->setSortIndicator(FolderModel::OriginColumn, Qt::AscendingOrder);
    EXPECT_EQ(header->sortIndicatorSection(), FolderModel::NameColumn);
    header->setSortIndicator(FolderModel::ModifiedColumn, Qt::DescendingOrder);
    EXPECT_EQ(model()->nameAt(0), "mine.txt") << "deleted last, shown first";
}

TEST_F(TrashView, ABrowserViewGoesThereByName) {
    BrowserView browser(*f.services);
    browser.navigate("trash:");
    EXPECT_TRUE(browser.showsFolder());
    EXPECT_EQ(browser.locationName(), "Trash");
    EXPECT_TRUE(waitFor([&] { return browser.folderView()->model()->rowCount() == 2; }));
}

TEST(TrashLocation, TheTrashIsAFolderLocation) {
    for (const char* text : {"trash:/", "trash:", "trash:///", "Trash:/"}) {
        const BrowserView::Location where = BrowserView::classify(text);
        EXPECT_TRUE(where.folder) << text;
        EXPECT_EQ(where.path, "trash:/") << text;
        EXPECT_TRUE(TrashPlace::isTrash(where.path));
    }
    EXPECT_FALSE(BrowserView::classify("trashcan.example").folder);
}

}  // namespace
}  // namespace kv::test
