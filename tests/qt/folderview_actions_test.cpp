#include <dirent.h>
#include <QClipboard>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include <set>

#include "filemanager_support.h"
#include "platform/qt/common/clipboardformat.h"
#include "platform/qt/compare/comparewindow.h"
#include "platform/qt/folderview/folderactions.h"
#include "platform/qt/jobs/undostack.h"
#include "platform/qt/location/targetdialog.h"
#include "platform/qt/preferences/preferences.h"
#include "platform/qt/properties/propertiesdialog.h"
#include "platform/qt/rename/renamedialog.h"
#include "platform/qt/search/filterbar.h"
#include "platform/qt/search/folderfind.h"
#include "platform/qt/search/searchbar.h"

namespace kv::test {
namespace {

QAction* findAction(QMenu* menu, const char* name) {
    for (QAction* a : menu->findChildren<QAction*>(name)) return a;
    return nullptr;
}

std::string readLink(const std::string& path) {
    char target[4096];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
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

// A menu as the user sees it, one entry a line: "-" a separator, "Title>" ... "<" a submenu, and
// "id|text|keys" with "!" first when disabled and " [x]" or " [ ]" after when checkable.
QStringList layout(const QMenu* menu) {
    QStringList out;
    for (const QAction* a : menu->actions()) {
        if (a->isSeparator()) {
            out << "-";
        } else if (a->menu()) {
            out << a->menu()->title() + ">";
            out += layout(a->menu());
            out << "<";
        } else {
            QString line = QString(a->isEnabled() ? "" : "!") + a->objectName() + "|" + a->text() + "|" +
                           a->shortcut().toString(QKeySequence::PortableText);
            if (a->isCheckable()) line += a->isChecked() ? " [x]" : " [ ]";
            out << line;
        }
    }
    return out;
}

QString keyText(QKeySequence::StandardKey key) {
    return QKeySequence(key).toString(QKeySequence::PortableText);
}

TEST_F(FolderViewActions, BothMenusListTheirEntriesInOrder) {
    QGuiApplication::clipboard()->clear();
    const QString undo = "undo|Undo|" + keyText(QKeySequence::Undo);
    std::unique_ptr<QMenu> empty(f.view->createContextMenu(false));
    const QStringList expectEmpty = {"View>",
                                     "viewIcons|Icons|Ctrl+1 [ ]",
                                     "viewList|List|Ctrl+2 [ ]",
                                     "viewDetails|Details|Ctrl+3 [x]",
                                     "-",
                                     "!zoomIn|Zoom In|Ctrl++",
                                     "!zoomOut|Zoom Out|Ctrl+-",
                                     "<",
                                     "Sort by>",
                                     "sortName|Name| [x]",
                                     "sortSize|Size| [ ]",
                                     "sortType|Type| [ ]",
                                     "sortModified|Modified| [ ]",
                                     "-",
                                     "sortDescending|Descending| [ ]",
                                     "<",
                                     "showHidden|Show Hidden Files|Ctrl+H [ ]",
                                     "!showPreviews|Show Previews| [x]",
                                     "refresh|Refresh|F5",
                                     "copyPath|Copy Path|Ctrl+Alt+C",
                                     "-",
                                     "!paste|Paste|" + keyText(QKeySequence::Paste),
                                     "newFolder|New Folder|Ctrl+Shift+N",
                                     "newFile|New File|Ctrl+Alt+N",
                                     "openTerminal|Open Terminal Here|Shift+F4",
                                     "compareFolders|Compare Folders…|",
                                     "-",
                                     "selectByPattern|Select by Pattern…|Ctrl+Shift+S",
                                     "invertSelection|Invert Selection|Ctrl+Shift+I",
                                     "-",
                                     "!" + undo,
                                     "preferences|Preferences…|Ctrl+,",
                                     "-",
                                     "properties|Properties|Alt+Return"};
    EXPECT_EQ(layout(empty.get()), expectEmpty);
    EXPECT_EQ(findAction(empty.get(), "viewDetails")->toolTip(), "Show more details (size, type, date)");

    ASSERT_TRUE(f.view->selectName("alpha.txt"));
    std::unique_ptr<QMenu> items(f.view->createContextMenu(true));
    const QStringList expectItems = {"open|Open|Return",
                                     "openExternally|Open with the Default Application|",
                                     "openWith|Open With…|",
                                     "quickLook|Quick Look|Space",
                                     "-",
                                     "cut|Cut|" + keyText(QKeySequence::Cut),
                                     "copy|Copy|" + keyText(QKeySequence::Copy),
                                     "copyPath|Copy Path|Ctrl+Alt+C",
                                     "!pasteInto|Paste into Folder|",
                                     "!copyToPane|Copy to Pane…|Ctrl+Shift+C",  // no other pane here
                                     "!moveToPane|Move to Pane…|Ctrl+Shift+M",
                                     "copyToFolder|Copy to Folder…|",
                                     "moveToFolder|Move to Folder…|",
                                     "openInEditor|Open in Text Editor|",
                                     "compress|Compress…|",
                                     "duplicate|Duplicate|Ctrl+Shift+D",
                                     "createLink|Create Link|",
                                     "-",
                                     "rename|Rename…|F2",
                                     "!calculateSize|Calculate Size|",
                                     "renameMany|Rename with Masks…|Shift+F2",
                                     "trash|Move to Trash|Del",
                                     "delete|Delete Permanently…|Shift+Del",
                                     "-",
                                     "!" + undo,
                                     "-",
                                     "properties|Properties|Alt+Return"};
    EXPECT_EQ(layout(items.get()), expectItems);
}

TEST_F(FolderViewActions, MenuStateFollowsTheViewTheClipboardAndTheUndoStack) {
    ::mkdir((f.dir / "sub").c_str(), 0755);
    f.refreshAndWait();
    ASSERT_TRUE(f.view->selectName("alpha.txt"));
    QTest::keyClick(v(), Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(v(), Qt::Key_Delete);  // something to undo
    ASSERT_TRUE(f.idle());
    ASSERT_TRUE(f.listed("sub"));
    ASSERT_TRUE(f.view->selectName("sub"));
    std::unique_ptr<QMenu> items(f.view->createContextMenu(true));
    EXPECT_TRUE(findAction(items.get(), "pasteInto")->isEnabled()) << "one folder, files on the clipboard";
    EXPECT_TRUE(findAction(items.get(), "undo")->isEnabled());
    EXPECT_TRUE(findAction(items.get(), "undo")->text().startsWith("Undo "));
    EXPECT_NE(findAction(items.get(), "undo")->text(), "Undo");

    f.view->currentView()->selectAll();
    std::unique_ptr<QMenu> several(f.view->createContextMenu(true));
    EXPECT_TRUE(findAction(several.get(), "rename")->isEnabled()) << "several names: the masks";
    EXPECT_FALSE(findAction(several.get(), "pasteInto")->isEnabled());

    f.view->setMode(FolderView::Mode::List);
    f.view->sortBy(FolderModel::SizeColumn, Qt::DescendingOrder);
    f.view->setShowHidden(true);
    std::unique_ptr<QMenu> empty(f.view->createContextMenu(false));
    for (const char* on : {"viewList", "sortSize", "sortDescending", "showHidden"})
        EXPECT_TRUE(findAction(empty.get(), on)->isChecked()) << on;
    for (const char* off : {"viewIcons", "viewDetails", "sortName"})
        EXPECT_FALSE(findAction(empty.get(), off)->isChecked()) << off;
    EXPECT_TRUE(findAction(empty.get(), "paste")->isEnabled());
    f.view->setShowHidden(false);
}

// One row per command: how it is reached (a key, or only its menu entry), what is selected first and
// what shows that its handler ran.
struct CommandCase {
    const char* id;
    QKeyCombination key;  // {} : menu only (triggered from the menu that shows it)
    const char* select;   // the item selected first, or null for none
    std::function<bool()> ran;
    std::function<void()> prepare = {};
};

TEST_F(FolderViewActions, EveryCommandReachesItsHandler) {
    ::mkdir((f.dir / "sub").c_str(), 0755);
    writeFile(f.dir / "sub/inner.txt", "I");
    writeFile(f.dir / ".hidden", "H");
    f.refreshAndWait();
    ASSERT_TRUE(f.listed("sub"));

    QList<QByteArray> requested;
    QObject::connect(f.view.get(), &FolderView::folderRequested,
                     [&](const QByteArray& p) { requested << p; });
    int refreshed = 0;
    int refreshedBefore = 0;
    QObject::connect(f.view->model(), &FolderModel::refreshed, [&] { ++refreshed; });
    auto clip = [] { return ClipboardFormat::fromMimeData(QGuiApplication::clipboard()->mimeData()); };
    const QByteArray dir = QByteArray::fromStdString(f.dir.path());
    const QByteArray parent = dir.left(dir.lastIndexOf('/'));
    auto requestedOnly = [&](const QByteArray& p) { return waitFor([&] { return requested == QList{p}; }); };
    auto sortedBy = [&](SortColumn c, Qt::SortOrder o) {
        return f.view->model()->sortColumn() == c && f.view->model()->sortOrder() == o;
    };
    auto dialogShown = [] {
        const bool shown = waitFor([] { return findTopLevel<PropertiesDialog>() != nullptr; });
        closeAll<PropertiesDialog>();
        return shown;
    };
    auto mode = [&](FolderView::Mode m) { return f.view->mode() == m; };
    const QByteArray sub = dir + "/sub";

    auto toIcons = [&] {
        f.view->setMode(FolderView::Mode::Icons);
        f.view->setIconSize(64);
    };
    auto iconsBack = [&](int size) {
        const bool zoomed = f.view->iconSize() == size;
        f.view->setMode(FolderView::Mode::Details);
        return zoomed;
    };
    const std::vector<CommandCase> cases = {
        {"viewIcons", Qt::CTRL | Qt::Key_1, nullptr, [&] { return mode(FolderView::Mode::Icons); }},
        {"viewList", Qt::CTRL | Qt::Key_2, nullptr, [&] { return mode(FolderView::Mode::List); }},
        {"viewDetails", Qt::CTRL | Qt::Key_3, nullptr, [&] { return mode(FolderView::Mode::Details); }},
        {"sortSize", {}, nullptr, [&] { return sortedBy(SortColumn::Size, Qt::AscendingOrder); }},
        {"sortDescending", {}, nullptr, [&] { return sortedBy(SortColumn::Size, Qt::DescendingOrder); }},
        {"sortModified", {}, nullptr, [&] { return sortedBy(SortColumn::Modified, Qt::DescendingOrder); }},
        {"sortType", {}, nullptr, [&] { return sortedBy(SortColumn::Type, Qt::DescendingOrder); }},
        {"sortDescending", {}, nullptr, [&] { return sortedBy(SortColumn::Type, Qt::AscendingOrder); }},
        {"sortName", {}, nullptr, [&] { return sortedBy(SortColumn::Name, Qt::AscendingOrder); }},
        {"showHidden", Qt::CTRL | Qt::Key_H, nullptr, [&] { return f.view->model()->showHidden(); }},
        {"showHidden", Qt::CTRL | Qt::Key_H, nullptr, [&] { return !f.view->model()->showHidden(); }},
        // The icon view's own: zoom and previews (the view goes back to details after each).
        {"zoomIn", Qt::CTRL | Qt::Key_Plus, nullptr, [&] { return iconsBack(96); }, toIcons},
        {"zoomOut", Qt::CTRL | Qt::Key_Minus, nullptr, [&] { return iconsBack(48); }, toIcons},
        {"showPreviews",
         {},
         nullptr,
         [&] {
             const bool off = !f.view->previewsShown();
             f.view->setShowPreviews(true);
             f.view->setMode(FolderView::Mode::Details);
             return off;
         },
         toIcons},
        {"refresh", Qt::Key_F5, nullptr,
         [&] { return waitFor([&] { return refreshed > refreshedBefore; }); }},
        {"refresh", Qt::CTRL | Qt::Key_R, nullptr,
         [&] { return waitFor([&] { return refreshed > refreshedBefore; }); }},
        {"open", Qt::Key_Return, "sub", [&] { return requestedOnly(sub); }},
        {"open", Qt::KeypadModifier | Qt::Key_Enter, "sub", [&] { return requestedOnly(sub); }},
        {"up", Qt::Key_Backspace, nullptr, [&] { return requestedOnly(parent); }},
        {"up", Qt::ALT | Qt::Key_Up, nullptr, [&] { return requestedOnly(parent); }},
        {"selectAll", Qt::CTRL | Qt::Key_A, "alpha.txt",
         [&] { return f.view->selectedPaths().size() == f.view->model()->rowCount(); }},
        {"copy", Qt::CTRL | Qt::Key_C, "alpha.txt",
         [&] { return clip().paths == QList{dir + "/alpha.txt"} && !clip().cut; }},
        {"cut", Qt::CTRL | Qt::Key_X, "beta.txt",
         [&] { return clip().paths == QList{dir + "/beta.txt"} && clip().cut; }},
        {"copy", Qt::CTRL | Qt::Key_C, "alpha.txt", [&] { return !clip().cut; }},
        {"pasteInto", {}, "sub", [&] { return waitFor([&] { return exists(f.dir / "sub/alpha.txt"); }); }},
        {"paste", Qt::CTRL | Qt::Key_V, nullptr,
         [&] { return waitFor([&] { return exists(f.dir / "inner.txt"); }); },
         [&] {
             QGuiApplication::clipboard()->setMimeData(
                 ClipboardFormat::toMimeData({sub + "/inner.txt"}, false));
         }},
        {"properties", Qt::ALT | Qt::Key_Return, "alpha.txt", [&] { return dialogShown(); }},
        {"properties", QKeyCombination(Qt::AltModifier | Qt::KeypadModifier, Qt::Key_Enter), "beta.txt",
         [&] { return dialogShown(); }},
        {"calculateSize",
         {},
         "sub",
         [&] {
             // Counted to the end (earlier rows pasted into it: its size is whatever they left).
             return waitFor([&] {
                 const QString t = f.view->model()
                                       ->index(f.view->model()->rowOfName("sub"), FolderModel::SizeColumn)
                                       .data()
                                       .toString();
                 return !t.isEmpty() && !t.endsWith("…");
             });
         }},
        {"mark", Qt::Key_Insert, "alpha.txt",
         [&] {
             return f.view->selectedRows().isEmpty() && f.view->currentView()->currentIndex().row() ==
                                                            f.view->model()->rowOfName("alpha.txt") + 1;
         }},
        {"renameMany", Qt::SHIFT | Qt::Key_F2, "alpha.txt",
         [&] {
             const bool shown = waitFor([] { return findTopLevel<RenameDialog>() != nullptr; });
             closeAll<RenameDialog>();
             return shown;
         }},
        {"rename", Qt::Key_F2, "alpha.txt",
         [&] {
             QLineEdit* editor = nullptr;
             const bool open =
                 waitFor([&] { return (editor = v()->findChild<QLineEdit*>()) && editor->isVisible(); });
             if (editor) QTest::keyClick(editor, Qt::Key_Escape);
             return open;
         }},
        {"newFolder", Qt::CTRL | Qt::SHIFT | Qt::Key_N, nullptr,
         [&] {
             // The new folder's name opens for editing; left as it is.
             QLineEdit* editor = nullptr;
             const bool made =
                 waitFor([&] { return (editor = v()->findChild<QLineEdit*>()) && editor->isVisible(); });
             if (editor) QTest::keyClick(editor, Qt::Key_Escape);
             return made && exists(f.dir / "New Folder");
         }},
        {"newFile", Qt::CTRL | Qt::ALT | Qt::Key_N, nullptr,
         [&] {
             QLineEdit* editor = nullptr;
             const bool made =
                 waitFor([&] { return (editor = v()->findChild<QLineEdit*>()) && editor->isVisible(); });
             if (editor) QTest::keyClick(editor, Qt::Key_Escape);
             return made && exists(f.dir / "New File");
         }},
        {"copyPath", Qt::CTRL | Qt::ALT | Qt::Key_C, "alpha.txt",
         [&] { return QGuiApplication::clipboard()->text() == QString::fromUtf8(dir + "/alpha.txt"); }},
        {"copyPath", Qt::CTRL | Qt::ALT | Qt::Key_C, nullptr,
         [&] { return QGuiApplication::clipboard()->text() == QString::fromUtf8(dir); }},
        {"duplicate", Qt::CTRL | Qt::SHIFT | Qt::Key_D, "alpha.txt",
         [&] { return waitFor([&] { return exists(f.dir / "alpha (copy).txt"); }); }},
        {"createLink",
         {},
         "alpha.txt",
         [&] {
             return waitFor([&] { return readLink(f.dir / "alpha (link).txt") == "alpha.txt"; }) &&
                    waitFor([&] { return f.view->selectedPaths() == QList{dir + "/alpha (link).txt"}; });
         }},
        {"invertSelection", Qt::CTRL | Qt::SHIFT | Qt::Key_I, "alpha.txt",
         [&] {
             return f.view->selectedPaths().size() == f.view->model()->rowCount() - 1 &&
                    !f.view->selectedPaths().contains(dir + "/alpha.txt");
         }},
        {"selectByPattern", Qt::CTRL | Qt::SHIFT | Qt::Key_S, nullptr,
         [&] {
             QInputDialog* ask = nullptr;
             if (!waitFor([&] { return (ask = findTopLevel<QInputDialog>()) != nullptr; })) return false;
             ask->setTextValue("beta*; *.none");
             ask->accept();
             return f.view->selectedPaths() == QList{dir + "/beta.txt"};
         }},
        {"openTerminal", Qt::SHIFT | Qt::Key_F4, nullptr,
         [&] { return waitFor([&] { return exists(f.dir / "terminal-was-here"); }); },
         [] { qputenv("TERMINAL", "touch terminal-was-here"); }},
        {"compareFolders",
         {},
         nullptr,
         [&] {
             CompareWindow* window = nullptr;
             const bool opened = waitFor([&] { return (window = findTopLevel<CompareWindow>()) != nullptr; });
             if (window) window->close();
             return opened;
         }},
        {"trash", Qt::Key_Delete, "beta.txt",
         [&] { return waitFor([&] { return !exists(f.dir / "beta.txt"); }); }},
        {"undo", Qt::CTRL | Qt::Key_Z, nullptr,
         [&] { return waitFor([&] { return exists(f.dir / "beta.txt"); }); }},
        {"delete", Qt::SHIFT | Qt::Key_Delete, "beta.txt",
         [&] {
             QMessageBox* box = nullptr;
             if (!waitFor([&] { return (box = findTopLevel<QMessageBox>()) != nullptr; })) return false;
             const bool asked = box->objectName() == "confirmDelete";
             box->button(QMessageBox::Cancel)->click();
             return asked && exists(f.dir / "beta.txt");
         }},
        {"filter", Qt::CTRL | Qt::Key_I, nullptr,
         [&] {
             const bool shown = f.view->find()->filterBar()->isVisible();
             f.view->closeFilter();
             return shown;
         }},
        {"find", Qt::CTRL | Qt::Key_F, nullptr,
         [&] {
             const bool shown = f.view->find()->searchBar()->isVisible();
             f.view->find()->endSearch();
             return shown;
         }},
        {"escape", Qt::Key_Escape, nullptr,
         [&] { return !f.view->find()->filterBar()->isVisible() && f.view->model()->nameFilter().isEmpty(); },
         [&] {
             f.view->find()->showFilter();
             f.view->find()->filterBar()->field()->setText("zzz");
         }},
    };

    std::set<QString> covered;
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.id);
        covered.insert(c.id);
        ASSERT_TRUE(f.idle());
        requested.clear();
        if (c.select) {
            ASSERT_TRUE(f.listed(c.select));
            ASSERT_TRUE(f.view->selectName(c.select));
        } else {
            f.view->currentView()->clearSelection();
        }
        if (c.prepare) c.prepare();
        refreshedBefore = refreshed;
        const FolderActions::Command* command = FolderActions::find(c.id);
        ASSERT_TRUE(command);
        if (c.key == QKeyCombination()) {
            std::unique_ptr<QMenu> menu(f.view->createContextMenu(c.select != nullptr));
            QAction* a = findAction(menu.get(), c.id);
            ASSERT_TRUE(a);
            ASSERT_TRUE(a->isEnabled());
            a->trigger();
        } else {
            QKeyEvent press(QEvent::KeyPress, c.key.key(), c.key.keyboardModifiers());
            EXPECT_EQ(FolderActions::commandFor(&press, *f.view), command);
            QTest::keyClick(v(), c.key.key(), c.key.keyboardModifiers());
        }
        EXPECT_TRUE(c.ran());
    }
    // Every command of a folder has a row, but the one that starts the desktop's applications, those
    // that need a window of several panes (panes_test.cpp) and Open With, which reads the desktop's
    // records that its own tests point at a folder of theirs (applications_test.cpp), and Quick Look,
    // which needs the web engine (quicklook_test.cpp), and Open in New Tab, which needs a pane with
    // tabs (browsertabs_test.cpp); the trash's commands have theirs in
    // trashview_test, the archives' in archiveview_test.
    const std::set<QString> elsewhere = {"copyToFolder",   "moveToFolder", "openInEditor", "preferences",
                                         "openExternally", "openWith",     "nextPane",     "previousPane",
                                         "copyToPane",     "moveToPane",   "quickLook",    "extractHere",
                                         "extractToPane",  "compress",     "openInNewTab"};
    qunsetenv("TERMINAL");
    for (const FolderActions::Command& c : FolderActions::commands())
        if (!elsewhere.count(c.id) && (c.places & FolderActions::InFolders)) {
            EXPECT_TRUE(covered.count(c.id)) << c.id << " has no row";
        }
}

// The commander's keys reach the same commands as the desktop's (or their own): F5 and F6 ask for the
// target folder, editable, and copy or move there; F8 trashes; Space counts a folder's size.
TEST_F(FolderViewActions, CommanderKeysReachTheirCommands) {
    Preferences::shared().setKeys(Preferences::Keys::Commander);
    struct Back {
        ~Back() { Preferences::shared().setKeys(Preferences::Keys::Desktop); }
    } back;
    ::mkdir((f.dir / "sub").c_str(), 0755);
    ASSERT_TRUE(f.listed("sub"));
    auto commandOf = [&](QKeyCombination k) {
        QKeyEvent press(QEvent::KeyPress, k.key(), k.keyboardModifiers());
        const FolderActions::Command* c = FolderActions::commandFor(&press, *f.view);
        return c ? QString(c->id) : QString();
    };
    const std::pair<QKeyCombination, const char*> keys[] = {
        {Qt::Key_F3, "quickLook"},          {Qt::Key_F4, "openInEditor"},
        {Qt::Key_F5, "copyToFolder"},       {Qt::Key_F6, "moveToFolder"},
        {Qt::Key_F7, "newFolder"},          {Qt::Key_F8, "trash"},
        {Qt::SHIFT | Qt::Key_F8, "delete"}, {Qt::Key_Insert, "mark"},
        {Qt::Key_Space, "calculateSize"},   {Qt::CTRL | Qt::Key_F6, "nextPane"},
        {Qt::CTRL | Qt::Key_R, "refresh"},  {Qt::Key_F2, "rename"}};
    for (const auto& [k, id] : keys) EXPECT_EQ(commandOf(k), id) << QKeySequence(k).toString().toStdString();

    for (const auto& [key, name, move] :
         {std::tuple{Qt::Key_F5, "alpha.txt", false}, {Qt::Key_F6, "beta.txt", true}}) {
        ASSERT_TRUE(f.view->selectName(name));
        QTest::keyClick(v(), key);
        TargetDialog* dialog = nullptr;
        ASSERT_TRUE(waitFor([&] { return (dialog = findTopLevel<TargetDialog>()) != nullptr; }));
        EXPECT_EQ(dialog->editor()->text().toStdString(), f.dir.path()) << "no other pane: this folder";
        dialog->editor()->setText(QString::fromStdString(f.dir / "sub"));
        QTest::keyClick(dialog->editor(), Qt::Key_Return);
        const std::string into = f.dir / (std::string("sub/") + name);
        EXPECT_TRUE(waitFor([&] { return exists(into); })) << name;
        EXPECT_EQ(exists(f.dir / name), !move) << name;
        ASSERT_TRUE(f.idle());
    }
    ASSERT_TRUE(f.view->selectName("sub"));
    QTest::keyClick(v(), Qt::Key_Space);
    EXPECT_TRUE(waitFor([&] {
        return f.view->model()
                   ->index(f.view->model()->rowOfName("sub"), FolderModel::SizeColumn)
                   .data()
                   .toString() == "2 B";
    }));
}

// The preferences of opening and of dates: a single click opens (a double click then opens once), and
// today's and yesterday's dates are said so.
TEST_F(FolderViewActions, SingleClickOpensAndDatesCanBeRelative) {
    Preferences::shared().setSingleClick(true);
    struct Back {
        ~Back() { Preferences::shared().setSingleClick(false); }
    } back;
    ::mkdir((f.dir / "sub").c_str(), 0755);
    ASSERT_TRUE(f.listed("sub"));
    int opened = 0;
    QObject::connect(f.view.get(), &FolderView::folderRequested, [&](const QByteArray&) { ++opened; });
    QAbstractItemView* view = f.view->currentView();
    const QPoint at = view->visualRect(f.view->model()->index(f.view->model()->rowOfName("sub"), 0)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(opened, 1);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(opened, 1) << "the clicks of one double click open once";

    const QDateTime now(QDate(2026, 12, 9), QTime(10, 0));
    const QTime t(14, 2);
    const QString time = QLocale().toString(t, QLocale::ShortFormat);
    EXPECT_EQ(FolderModel::dateText(QDateTime(QDate(2026, 12, 9), t), true, now), "Today " + time);
    EXPECT_EQ(FolderModel::dateText(QDateTime(QDate(2026, 12, 8), t), true, now), "Yesterday " + time);
    const QDateTime older(QDate(2026, 12, 7), t);
    EXPECT_EQ(FolderModel::dateText(older, true, now), QLocale().toString(older, QLocale::ShortFormat));
    EXPECT_EQ(FolderModel::dateText(QDateTime(QDate(2026, 12, 9), t), false, now),
              QLocale().toString(QDateTime(QDate(2026, 12, 9), t), QLocale::ShortFormat));
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
    EXPECT_EQ(dialog.fieldText("permissions"), "drwxr-xr-x (755)");
    ASSERT_TRUE(waitFor([&] { return !dialog.isCounting(); }));
    EXPECT_TRUE(dialog.sizeText().contains("1,234 bytes") || dialog.sizeText().contains("1234 bytes"))
        << dialog.sizeText().toStdString();
    EXPECT_EQ(dialog.fieldText("contains"), "2 files, 1 folder");

    // A file's checksums, on demand.
    PropertiesDialog file({QByteArray::fromStdString(f.dir / "alpha.txt")});
    auto* sum = file.findChild<QLineEdit*>("checksum");
    ASSERT_TRUE(sum);
    EXPECT_TRUE(sum->text().isEmpty()) << "nothing is read unasked";
    for (auto [button, expected] :
         {std::pair{"sha256", "559aead08264d5795d3909718cdd05abd49572e84fe55590eef31a88a08fdffd"},
          std::pair{"md5", "7fc56270e7a70fa81a5935b72eacbe29"}}) {
        file.findChild<QPushButton*>(button)->click();
        EXPECT_TRUE(waitFor([&] { return sum->text() == expected; })) << sum->text().toStdString();
    }
}

}  // namespace
}  // namespace kv::test

namespace kv::test {
namespace {

// A click, a key or the rubber band in the icon and list views selects what the commands act on (the
// selection is shared with the details view, which reads whole rows).
TEST_F(FolderViewActions, IconAndListSelectionsAreWhatCommandsActOn) {
    const QByteArray alpha = QByteArray::fromStdString(f.dir / "alpha.txt");
    const QByteArray beta = QByteArray::fromStdString(f.dir / "beta.txt");
    for (const FolderView::Mode mode : {FolderView::Mode::Icons, FolderView::Mode::List}) {
        f.view->setMode(mode);
        auto* view = qobject_cast<QAbstractItemView*>(v());
        ASSERT_NE(view, nullptr);
        view->clearSelection();
        const int row = f.view->model()->rowOfName("alpha.txt");
        const QRect r = view->visualRect(f.view->model()->index(row, FolderModel::NameColumn));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
        EXPECT_EQ(f.view->selectedPaths(), QList<QByteArray>{alpha}) << "a click, mode " << int(mode);
        QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier);
        EXPECT_EQ(f.view->selectedPaths(), (QList<QByteArray>{alpha, beta}))
            << "Shift+End, mode " << int(mode);
    }
    // And Delete moves what was clicked to the trash.
    auto* view = qobject_cast<QAbstractItemView*>(v());
    const QRect r = view->visualRect(f.view->model()->index(f.view->model()->rowOfName("beta.txt"), 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
    QTest::keyClick(view, Qt::Key_Delete);
    ASSERT_TRUE(waitFor([&] { return !exists(f.dir / "beta.txt"); }));
    ASSERT_TRUE(f.idle());
    EXPECT_TRUE(exists(f.dir / "alpha.txt"));
    undoAndWait();
    EXPECT_TRUE(exists(f.dir / "beta.txt"));
}

}  // namespace
}  // namespace kv::test
