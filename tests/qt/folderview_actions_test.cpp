#include <dirent.h>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include "filemanager_support.h"
#include "platform/qt/propertiesdialog.h"
#include "platform/qt/undostack.h"

namespace kv::test {
namespace {

QAction* findAction(QMenu* menu, const char* name) {
    for (QAction* a : menu->findChildren<QAction*>(name)) return a;
    return nullptr;
}

int countEntries(const std::string& dir) {
    int n = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d))
            n += std::string(e->d_name) != "." && std::string(e->d_name) != "..";
        ::closedir(d);
    }
    return n;
}

class FolderViewActions : public ::testing::Test {
  protected:
    ViewFixture f;
    QWidget* v() { return f.view->currentView(); }

    void SetUp() override {
        writeFile(f.dir / "alpha.txt", "A");
        writeFile(f.dir / "beta.txt", "B");
        ASSERT_TRUE(f.show(f.dir.path()));
    }
    // The name editor F2 opened, as the user types into it.
    void typeIntoEditor(const QString& text) {
        QLineEdit* editor = nullptr;
        ASSERT_TRUE(waitFor([&] { return (editor = v()->findChild<QLineEdit*>()) && editor->isVisible(); }));
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
    }
    void undoAndWait() {
        QTest::keyClick(v(), Qt::Key_Z, Qt::ControlModifier);
        ASSERT_TRUE(f.idle());
    }
};

TEST_F(FolderViewActions, RenameWithF2ThenUndo) {
    ASSERT_TRUE(f.view->selectName("alpha.txt"));
    QTest::keyClick(v(), Qt::Key_F2);
    typeIntoEditor("gamma.txt");
    ASSERT_TRUE(waitFor([&] { return exists(f.dir / "gamma.txt"); }));
    EXPECT_FALSE(exists(f.dir / "alpha.txt"));
    ASSERT_TRUE(waitFor([&] {
        return f.view->selectedPaths() == QList<QByteArray>{QByteArray::fromStdString(f.dir / "gamma.txt")};
    })) << "the renamed item stays selected";
    ASSERT_TRUE(f.idle());

    undoAndWait();
    EXPECT_EQ(readFile(f.dir / "alpha.txt"), "A");
    EXPECT_FALSE(exists(f.dir / "gamma.txt"));
    EXPECT_TRUE(f.listed("alpha.txt"));
}

TEST_F(FolderViewActions, AnUnchangedEditKeepsANameThatIsNotUtf8) {
    const std::string odd = std::string("caf\xe9.txt");
    writeFile(f.dir / odd, "latin-1");
    f.refreshAndWait();
    ASSERT_TRUE(f.view->selectName(QByteArray::fromStdString(odd)));
    QTest::keyClick(v(), Qt::Key_F2);
    typeIntoEditor(
        f.view->model()
            ->data(f.view->model()->index(f.view->model()->rowOfName(QByteArray::fromStdString(odd)), 0),
                   Qt::EditRole)
            .toString());
    ASSERT_TRUE(f.idle());
    EXPECT_EQ(readFile(f.dir / odd), "latin-1");
    EXPECT_FALSE(f.ops->undoStack()->canUndo()) << "nothing was renamed";
}

TEST_F(FolderViewActions, NewFolderFromTheMenuOpensItsNameAndUndoRemovesIt) {
    std::unique_ptr<QMenu> menu(f.view->createContextMenu(false));
    QAction* create = findAction(menu.get(), "newFolder");
    ASSERT_TRUE(create);
    create->trigger();
    ASSERT_TRUE(waitFor([&] { return exists(f.dir / "New Folder"); }));
    ASSERT_TRUE(waitFor([&] {
        return v()->findChild<QLineEdit*>() && v()->findChild<QLineEdit*>()->isVisible();
    })) << "the new folder's name is open for editing";
    typeIntoEditor("Projects");
    ASSERT_TRUE(waitFor([&] { return exists(f.dir / "Projects"); }));
    ASSERT_TRUE(f.idle());

    undoAndWait();  // the rename
    EXPECT_TRUE(exists(f.dir / "New Folder"));
    undoAndWait();  // the new folder
    EXPECT_FALSE(exists(f.dir / "New Folder"));
}

TEST_F(FolderViewActions, DeleteKeyTrashesAndUndoBringsItBack) {
    ASSERT_TRUE(f.view->selectName("beta.txt"));
    QTest::keyClick(v(), Qt::Key_Delete);
    ASSERT_TRUE(f.idle());
    EXPECT_FALSE(exists(f.dir / "beta.txt"));
    EXPECT_EQ(countEntries(f.trashDir / "Trash/files"), 1);
    EXPECT_EQ(countEntries(f.trashDir / "Trash/info"), 1);
    ASSERT_TRUE(waitFor([&] { return f.view->model()->rowOfName("beta.txt") < 0; }));

    undoAndWait();
    EXPECT_EQ(readFile(f.dir / "beta.txt"), "B");
    EXPECT_EQ(countEntries(f.trashDir / "Trash/files"), 0);
    EXPECT_TRUE(f.listed("beta.txt"));
}

TEST_F(FolderViewActions, UndoSaysSoWhenItCannot) {
    undoAndWait();
    ASSERT_EQ(f.reports.size(), 1);
    EXPECT_TRUE(f.reports.back().contains("nothing to undo"));

    ASSERT_TRUE(f.view->selectName("alpha.txt"));
    QTest::keyClick(v(), Qt::Key_F2);
    typeIntoEditor("moved.txt");
    ASSERT_TRUE(waitFor([&] { return exists(f.dir / "moved.txt"); }));
    ASSERT_TRUE(f.idle());
    ::unlink((f.dir / "moved.txt").c_str());  // gone behind our back
    undoAndWait();
    ASSERT_EQ(f.reports.size(), 2);
    EXPECT_TRUE(f.reports.back().contains("no longer exists")) << f.reports.back().toStdString();
}

TEST_F(FolderViewActions, ShiftDeleteAsksFirst) {
    ASSERT_TRUE(f.view->selectName("alpha.txt"));
    for (bool yes : {false, true}) {
        QTest::keyClick(v(), Qt::Key_Delete, Qt::ShiftModifier);
        QMessageBox* box = nullptr;
        ASSERT_TRUE(waitFor([&] { return (box = findTopLevel<QMessageBox>()) != nullptr; }));
        EXPECT_EQ(box->objectName(), "confirmDelete");
        box->button(yes ? QMessageBox::Yes : QMessageBox::Cancel)->click();
        ASSERT_TRUE(f.idle());
        EXPECT_EQ(exists(f.dir / "alpha.txt"), !yes);
    }
    EXPECT_EQ(countEntries(f.trashDir / "Trash/files"), 0) << "deleted for good, not trashed";
}

TEST_F(FolderViewActions, MenusOfferTheFileManagersEntries) {
    std::unique_ptr<QMenu> empty(f.view->createContextMenu(false));
    for (const char* name : {"viewIcons", "viewList", "viewDetails", "sortName", "sortSize", "sortType",
                             "sortModified", "showHidden", "refresh", "paste", "newFolder", "properties"})
        EXPECT_TRUE(findAction(empty.get(), name)) << name;
    EXPECT_TRUE(
        findAction(empty.get(), "viewDetails")->toolTip().contains("more details (size, type, date)"));
    findAction(empty.get(), "viewIcons")->trigger();
    EXPECT_EQ(f.view->mode(), FolderView::Mode::Icons);
    findAction(empty.get(), "sortSize")->trigger();
    EXPECT_EQ(f.view->model()->sortColumn(), SortColumn::Size);

    ASSERT_TRUE(f.view->selectName("alpha.txt"));
    std::unique_ptr<QMenu> items(f.view->createContextMenu(true));
    for (const char* name :
         {"open", "openExternally", "cut", "copy", "pasteInto", "rename", "trash", "delete", "properties"})
        EXPECT_TRUE(findAction(items.get(), name)) << name;
    EXPECT_FALSE(findAction(items.get(), "pasteInto")->isEnabled()) << "a file is no folder to paste into";
}

TEST_F(FolderViewActions, TypingFindsANameAndHiddenFilesToggle) {
    writeFile(f.dir / ".secret", "s");
    writeFile(f.dir / "bravo.txt", "b");
    f.refreshAndWait();
    QTest::keyClicks(v(), "br");
    EXPECT_EQ(f.view->selectedPaths(), QList<QByteArray>{QByteArray::fromStdString(f.dir / "bravo.txt")});
    EXPECT_LT(f.view->model()->rowOfName(".secret"), 0);
    QTest::keyClick(v(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_GE(f.view->model()->rowOfName(".secret"), 0);
}

TEST_F(FolderViewActions, PropertiesCountAFolderInTheBackground) {
    ::mkdir((f.dir / "tree").c_str(), 0755);
    ::mkdir((f.dir / "tree/deeper").c_str(), 0755);
    writeFile(f.dir / "tree/one", std::string(1000, 'x'));
    writeFile(f.dir / "tree/deeper/two", std::string(234, 'y'));
    PropertiesDialog dialog({QByteArray::fromStdString(f.dir / "tree")});
    EXPECT_EQ(dialog.fieldText("type"), "Folder");
    EXPECT_EQ(dialog.fieldText("location"), QString::fromStdString(f.dir.path()));
    EXPECT_TRUE(dialog.fieldText("permissions").startsWith("rwxr-xr-x (755)"));
    ASSERT_TRUE(waitFor([&] { return !dialog.isCounting(); }));
    EXPECT_TRUE(dialog.sizeText().contains("1,234 bytes") || dialog.sizeText().contains("1234 bytes"))
        << dialog.sizeText().toStdString();
    EXPECT_TRUE(dialog.sizeText().contains("2 files, 1 folders") || dialog.sizeText().contains("2 files"))
        << dialog.sizeText().toStdString();
}

}  // namespace
}  // namespace kv::test
