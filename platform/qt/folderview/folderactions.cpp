#include "platform/qt/folderview/folderactions.h"
#include "platform/qt/search/folderfind.h"

#include <QActionGroup>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <map>

#include "platform/qt/archives/archiveplace.h"
#include "platform/qt/common/clipboardformat.h"
#include "platform/qt/folderview/foldercommands.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/jobs/fileoperations.h"
#include "platform/qt/jobs/undostack.h"
#include "platform/qt/pane/windowpanes.h"
#include "platform/qt/preferences/preferences.h"
#include "platform/qt/preferences/preferencesdialog.h"
#include "platform/qt/quicklook/quicklook.h"
#include "platform/qt/trash/trashplace.h"

namespace kv {

namespace {

using Key = FolderActions::Key;
using Mode = FolderView::Mode;
constexpr unsigned kEmpty = FolderActions::EmptyArea;
constexpr unsigned kItems = FolderActions::Items;
constexpr unsigned kBoth = kEmpty | kItems;
constexpr unsigned kFolders = FolderActions::InFolders;
constexpr unsigned kTrash = FolderActions::InTrash;
constexpr unsigned kArchive = FolderActions::InArchive;
// On a server: the commands that GIO's file jobs carry out (copy, move, rename, new folder, delete).
constexpr unsigned kServer = FolderActions::OnServer;

Key key(QKeyCombination combination) {
    return {combination, QKeySequence::UnknownKey};
}
Key standard(QKeySequence::StandardKey k) {
    return {QKeyCombination(), k};
}

QString translated(const char* text) {
    return QCoreApplication::translate("kv::FolderView", text);
}

bool canPaste(const FolderView&) {
    return ClipboardFormat::hasFiles(QGuiApplication::clipboard()->mimeData());
}

// Another pane of the window to copy or move the selection to.
bool canTransferToPane(const FolderView& v) {
    return v.hasSelection() && !WindowPanes::others(v).isEmpty();
}

bool canUndo(const FolderView& v) {
    return v.fileOperations().undoStack()->canUndo();
}

// A sort entry keeps the order and changes the column.
void sortByColumn(FolderView& v, int column) {
    v.sortBy(column, v.model()->sortOrder());
}
bool sortedBy(const FolderView& v, int column) {
    return static_cast<int>(v.model()->sortColumn()) == column;
}

std::vector<FolderActions::Command> makeCommands() {
    using S = FolderActions::Submenu;
    return {
        {.id = "viewIcons",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Icons"),
         .keys = {key(Qt::CTRL | Qt::Key_1)},
         .menus = kEmpty,
         .submenu = S::View,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView", "Large icons"),
         .run = [](FolderView& v) { v.setMode(Mode::Icons); },
         .checked = [](const FolderView& v) { return v.mode() == Mode::Icons; },
         .exclusive = true},
        {.id = "viewList",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "List"),
         .keys = {key(Qt::CTRL | Qt::Key_2)},
         .menus = kEmpty,
         .submenu = S::View,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView", "Names in columns"),
         .run = [](FolderView& v) { v.setMode(Mode::List); },
         .checked = [](const FolderView& v) { return v.mode() == Mode::List; },
         .exclusive = true},
        {.id = "viewDetails",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Details"),
         .keys = {key(Qt::CTRL | Qt::Key_3)},
         .menus = kEmpty,
         .submenu = S::View,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView", "Show more details (size, type, date)"),
         .run = [](FolderView& v) { v.setMode(Mode::Details); },
         .checked = [](const FolderView& v) { return v.mode() == Mode::Details; },
         .exclusive = true},
        {.id = "zoomIn",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Zoom In"),
         .keys = {key(Qt::CTRL | Qt::Key_Plus), key(Qt::CTRL | Qt::SHIFT | Qt::Key_Plus),
                  key(Qt::CTRL | Qt::Key_Equal), standard(QKeySequence::ZoomIn)},
         .menus = kEmpty,
         .separatorBefore = kEmpty,
         .submenu = S::View,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView", "Larger icons (also Ctrl and the mouse wheel)"),
         .run = [](FolderView& v) { v.zoom(1); },
         .enabled =
             [](const FolderView& v) {
                 return v.mode() == Mode::Icons && v.iconSize() < FolderView::kMaxIconSize;
             }},
        {.id = "zoomOut",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Zoom Out"),
         .keys = {key(Qt::CTRL | Qt::Key_Minus), standard(QKeySequence::ZoomOut)},
         .menus = kEmpty,
         .submenu = S::View,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView", "Smaller icons (also Ctrl and the mouse wheel)"),
         .run = [](FolderView& v) { v.zoom(-1); },
         .enabled =
             [](const FolderView& v) {
                 return v.mode() == Mode::Icons && v.iconSize() > FolderView::kMinIconSize;
             }},
        {.id = "sortName",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Name"),
         .keys = {},
         .menus = kEmpty,
         .submenu = S::SortBy,
         .run = [](FolderView& v) { sortByColumn(v, FolderModel::NameColumn); },
         .checked = [](const FolderView& v) { return sortedBy(v, FolderModel::NameColumn); },
         .exclusive = true},
        {.id = "sortSize",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Size"),
         .keys = {},
         .menus = kEmpty,
         .submenu = S::SortBy,
         .run = [](FolderView& v) { sortByColumn(v, FolderModel::SizeColumn); },
         .checked = [](const FolderView& v) { return sortedBy(v, FolderModel::SizeColumn); },
         .exclusive = true},
        {.id = "sortType",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Type"),
         .keys = {},
         .menus = kEmpty,
         .submenu = S::SortBy,
         .run = [](FolderView& v) { sortByColumn(v, FolderModel::TypeColumn); },
         .checked = [](const FolderView& v) { return sortedBy(v, FolderModel::TypeColumn); },
         .exclusive = true},
        {.id = "sortModified",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Modified"),
         .keys = {},
         .menus = kEmpty,
         .submenu = S::SortBy,
         .run = [](FolderView& v) { sortByColumn(v, FolderModel::ModifiedColumn); },
         .checked = [](const FolderView& v) { return sortedBy(v, FolderModel::ModifiedColumn); },
         .exclusive = true,
         // The trash shows when its items were deleted in that column.
         .label =
             [](const FolderView& v) {
                 return v.model()->isTrash() ? FolderView::tr("Deleted") : FolderView::tr("Modified");
             }},
        {.id = "sortDescending",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Descending"),
         .keys = {},
         .menus = kEmpty,
         .separatorBefore = kEmpty,
         .submenu = S::SortBy,
         .run =
             [](FolderView& v) {
                 const bool up = v.model()->sortOrder() == Qt::AscendingOrder;
                 v.sortBy(static_cast<int>(v.model()->sortColumn()),
                          up ? Qt::DescendingOrder : Qt::AscendingOrder);
             },
         .checked = [](const FolderView& v) { return v.model()->sortOrder() == Qt::DescendingOrder; }},
        {.id = "showHidden",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Show Hidden Files"),
         .keys = {key(Qt::CTRL | Qt::Key_H)},
         .menus = kEmpty,
         .run = [](FolderView& v) { v.setShowHidden(!v.model()->showHidden()); },
         .checked = [](const FolderView& v) { return v.model()->showHidden(); }},
        {.id = "showPreviews",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Show Previews"),
         .keys = {},
         .menus = kEmpty,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView", "Show pictures of the files' contents in the icon view"),
         .run = [](FolderView& v) { v.setShowPreviews(!v.previewsShown()); },
         .enabled = [](const FolderView& v) { return v.mode() == Mode::Icons; },
         .checked = [](const FolderView& v) { return v.previewsShown(); }},
        {.id = "refresh",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Refresh"),
         .keys = {key(Qt::Key_F5), key(Qt::CTRL | Qt::Key_R)},
         .menus = kEmpty,
         .run = [](FolderView& v) { v.refresh(); },
         .commander = std::vector<Key>{key(Qt::CTRL | Qt::Key_R)}},
        {.id = "open",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Open"),
         .keys = {key(Qt::Key_Return), key(Qt::Key_Enter)},
         .menus = kItems,
         .run = [](FolderView& v) { v.openSelected(); },
         .places = kFolders | kArchive | kServer},
        {.id = "openInNewTab",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Open in New Tab"),
         .keys = {key(Qt::CTRL | Qt::Key_Return), key(Qt::CTRL | Qt::Key_Enter)},
         .menus = kItems,
         .run = [](FolderView& v) { v.openSelectedInTabs(); },
         .shown =
             [](const FolderView& v) {
                 for (int row : v.selectedRows())
                     if (!v.folderOfRow(row).isEmpty()) return true;
                 return false;
             },
         .places = kFolders | kArchive | kServer},
        {.id = "openExternally",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Open with the Default Application"),
         .keys = {},
         .menus = kItems,
         .run = [](FolderView& v) { FolderCommands::openExternally(v); },
         .places = kFolders},
        {.id = "restore",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Restore"),
         .keys = {},
         .menus = kItems,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView", "Put the items back where they were deleted from"),
         .run = [](FolderView& v) { v.trashPlace()->restoreSelection(); },
         .places = kTrash},
        {.id = "deleteFromTrash",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Delete Permanently…"),
         .keys = {key(Qt::Key_Delete), key(Qt::SHIFT | Qt::Key_Delete)},
         .menus = kItems,
         .run = [](FolderView& v) { v.trashPlace()->deleteSelection(); },
         .places = kTrash},
        {.id = "openWith",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Open With…"),
         .keys = {},
         .menus = kItems,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView", "Choose the application that opens the selected files"),
         .run = [](FolderView& v) { FolderCommands::openWith(v); },
         .enabled = [](const FolderView& v) { return v.hasSelection(); },
         .places = kFolders | kServer},
        {.id = "quickLook",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Quick Look"),
         .keys = {key(Qt::Key_Space)},
         .menus = kItems,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView",
                                  "Show the current file in a preview window; Space or Escape closes it"),
         .run = [](FolderView& v) { QuickLook::toggle(v); },
         .enabled = [](const FolderView& v) { return v.currentView()->currentIndex().isValid(); },
         .places = kFolders | kTrash | kArchive,
         .commander = std::vector<Key>{key(Qt::Key_F3)}},
        {.id = "cut",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Cut"),
         .keys = {standard(QKeySequence::Cut)},
         .menus = kItems,
         .separatorBefore = kItems,
         .run = [](FolderView& v) { FolderCommands::copySelection(v, true); },
         .places = kFolders | kServer},
        {.id = "copy",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Copy"),
         .keys = {standard(QKeySequence::Copy)},
         .menus = kItems,
         .run = [](FolderView& v) { FolderCommands::copySelection(v, false); },
         .places = kFolders | kTrash | kArchive | kServer},
        {.id = "copyPath",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Copy Path"),
         .keys = {key(Qt::CTRL | Qt::ALT | Qt::Key_C)},
         .menus = kBoth,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView",
                                  "Copy the paths of the selected items (or of the folder) as text"),
         .run = [](FolderView& v) { FolderCommands::copyPaths(v); }},
        {.id = "pasteInto",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Paste into Folder"),
         .keys = {},
         .menus = kItems,
         .run =
             [](FolderView& v) {
                 const QList<QByteArray> paths = v.selectedPaths();
                 if (paths.size() == 1) FolderCommands::pasteInto(v, paths.front());
             },
         .enabled =
             [](const FolderView& v) {
                 const QList<int> rows = v.selectedRows();
                 return canPaste(v) && rows.size() == 1 && v.model()->entryAt(rows.front()).isDir;
             },
         .places = kFolders | kServer},
        // F5 and F6 are taken by Refresh and the panes; Ctrl+Shift+C and M mean nothing else here.
        {.id = "copyToPane",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Copy to Pane…"),
         .keys = {key(Qt::CTRL | Qt::SHIFT | Qt::Key_C)},
         .menus = kItems,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView", "Copy the selected items to the folder of another pane"),
         .run = [](FolderView& v) { FolderCommands::transferToPane(v, false); },
         .enabled = canTransferToPane,
         .places = kFolders | kTrash | kArchive | kServer},
        {.id = "moveToPane",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Move to Pane…"),
         .keys = {key(Qt::CTRL | Qt::SHIFT | Qt::Key_M)},
         .menus = kItems,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView", "Move the selected items to the folder of another pane"),
         .run = [](FolderView& v) { FolderCommands::transferToPane(v, true); },
         .enabled = canTransferToPane,
         .places = kFolders | kServer},
        {.id = "copyToFolder",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Copy to Folder…"),
         .keys = {},
         .menus = kItems,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView",
                                  "Copy the selected items to a folder you type, the next pane's at first"),
         .run = [](FolderView& v) { FolderCommands::transferAsking(v, false); },
         .places = kFolders,
         .commander = std::vector<Key>{key(Qt::Key_F5)}},
        {.id = "moveToFolder",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Move to Folder…"),
         .keys = {},
         .menus = kItems,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView",
                                  "Move the selected items to a folder you type, the next pane's at first"),
         .run = [](FolderView& v) { FolderCommands::transferAsking(v, true); },
         .places = kFolders,
         .commander = std::vector<Key>{key(Qt::Key_F6)}},
        {.id = "openInEditor",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Open in Text Editor"),
         .keys = {},
         .menus = kItems,
         .run = [](FolderView& v) { FolderCommands::openInEditor(v); },
         .enabled = [](const FolderView& v) { return !v.selectedRows().isEmpty(); },
         .places = kFolders,
         .commander = std::vector<Key>{key(Qt::Key_F4)}},
        {.id = "mark",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Mark and Move Down"),
         .keys = {key(Qt::Key_Insert)},
         .run = [](FolderView& v) { v.markCurrent(); }},
        {.id = "extractHere",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Extract Here"),
         .keys = {},
         .menus = kItems,
         .separatorBefore = kItems,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView", "Extract the selected archives into this folder"),
         .run = [](FolderView& v) { v.archivePlace()->extractHere(); },
         .shown = [](const FolderView& v) { return v.archivePlace()->selectionIsArchives(); },
         .places = kFolders},
        {.id = "extractToPane",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Extract to Pane…"),
         .keys = {},
         .menus = kItems,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView",
                                  "Extract the selected archives into the folder of another pane"),
         .run = [](FolderView& v) { v.archivePlace()->extractToPane(); },
         .enabled = canTransferToPane,
         .shown = [](const FolderView& v) { return v.archivePlace()->selectionIsArchives(); },
         .places = kFolders},
        {.id = "compress",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Compress…"),
         .keys = {},
         .menus = kItems,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView",
                                  "Make an archive (zip, tar.gz, tar.xz, tar.zst) of the selected items"),
         .run = [](FolderView& v) { v.archivePlace()->compress(); },
         .enabled = [](const FolderView& v) { return v.hasSelection(); },
         .places = kFolders},
        {.id = "duplicate",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Duplicate"),
         .keys = {key(Qt::CTRL | Qt::SHIFT | Qt::Key_D)},
         .menus = kItems,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView", "Copy the selected items beside themselves"),
         .run = [](FolderView& v) { FolderCommands::duplicate(v); },
         .places = kFolders},
        {.id = "createLink",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Create Link"),
         .keys = {},
         .menus = kItems,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView",
                                  "Make a symbolic link to each selected item, in this folder"),
         .run = [](FolderView& v) { FolderCommands::createLinks(v); },
         .places = kFolders},
        {.id = "paste",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Paste"),
         .keys = {standard(QKeySequence::Paste)},
         .menus = kEmpty,
         .separatorBefore = kEmpty,
         .run = [](FolderView& v) { FolderCommands::paste(v); },
         .enabled = canPaste,
         .places = kFolders | kServer},
        {.id = "newFolder",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "New Folder"),
         .keys = {key(Qt::CTRL | Qt::SHIFT | Qt::Key_N)},
         .menus = kEmpty,
         .run = [](FolderView& v) { FolderCommands::newFolder(v); },
         .places = kFolders | kServer,
         .commander = std::vector<Key>{key(Qt::Key_F7), key(Qt::CTRL | Qt::SHIFT | Qt::Key_N)}},
        {.id = "emptyTrash",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Empty Trash…"),
         .keys = {},
         .menus = kEmpty,
         .separatorBefore = kEmpty,
         .run = [](FolderView& v) { v.trashPlace()->empty(); },
         .enabled = [](const FolderView& v) { return v.model()->rowCount() > 0; },
         .places = kTrash},
        {.id = "newFile",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "New File"),
         .keys = {key(Qt::CTRL | Qt::ALT | Qt::Key_N)},
         .menus = kEmpty,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView", "Make an empty file and name it"),
         .run = [](FolderView& v) { FolderCommands::newFile(v); },
         .places = kFolders},
        {.id = "openTerminal",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Open Terminal Here"),
         .keys = {key(Qt::SHIFT | Qt::Key_F4)},
         .menus = kEmpty,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView",
                                  "Start a terminal in this folder: $TERMINAL, else the first found"),
         .run = [](FolderView& v) { FolderCommands::openTerminal(v); },
         .places = kFolders},
        {.id = "compareFolders",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Compare Folders…"),
         .keys = {},
         .menus = kEmpty,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView",
                                  "Compare this folder with the next pane's, and make them alike"),
         .run = [](FolderView& v) { FolderCommands::compareFolders(v); },
         .places = kFolders},
        {.id = "selectByPattern",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Select by Pattern…"),
         .keys = {key(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
         .menus = kEmpty,
         .separatorBefore = kEmpty,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView",
                                  "Select the items whose names match wildcards such as *.jpg"),
         .run = [](FolderView& v) { FolderCommands::selectByPattern(v); }},
        {.id = "invertSelection",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Invert Selection"),
         .keys = {key(Qt::CTRL | Qt::SHIFT | Qt::Key_I)},
         .menus = kEmpty,
         .run = [](FolderView& v) { FolderCommands::invertSelection(v); }},
        {.id = "rename",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Rename…"),
         .keys = {key(Qt::Key_F2)},
         .menus = kItems,
         .separatorBefore = kItems,
         .run =
             [](FolderView& v) {
                 if (v.selectedRows().size() == 1)
                     v.renameCurrent();
                 else if (!v.model()->isRemote())  // renaming many is for folders on this computer
                     FolderCommands::renameSelection(v);
             },
         .enabled = [](const FolderView& v) { return !v.selectedRows().isEmpty(); },
         .places = kFolders | kServer},
        {.id = "calculateSize",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Calculate Size"),
         .keys = {},
         .menus = kItems,
         .tip = QT_TRANSLATE_NOOP("kv::FolderView",
                                  "Count the size of the selected folders into the Size column"),
         .run = [](FolderView& v) { v.model()->countFolderSizes(v.selectedRows()); },
         .enabled =
             [](const FolderView& v) {
                 for (int row : v.selectedRows())
                     if (v.model()->entryAt(row).isDir) return true;
                 return false;
             },
         .places = kFolders,
         .commander = std::vector<Key>{key(Qt::Key_Space)}},
        {.id = "renameMany",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Rename with Masks…"),
         .keys = {key(Qt::SHIFT | Qt::Key_F2)},
         .menus = kItems,
         .tip = QT_TRANSLATE_NOOP(
             "kv::FolderView", "Rename the selected items by a mask, find and replace, or a change of case"),
         .run = [](FolderView& v) { FolderCommands::renameSelection(v); },
         .enabled = [](const FolderView& v) { return !v.selectedRows().isEmpty(); },
         .places = kFolders},
        {.id = "trash",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Move to Trash"),
         .keys = {key(Qt::Key_Delete)},
         .menus = kItems,
         .run = [](FolderView& v) { FolderCommands::trashSelection(v); },
         .places = kFolders | kServer,
         .commander = std::vector<Key>{key(Qt::Key_F8), key(Qt::Key_Delete)}},
        {.id = "delete",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Delete Permanently…"),
         .keys = {key(Qt::SHIFT | Qt::Key_Delete)},
         .menus = kItems,
         .run = [](FolderView& v) { FolderCommands::deleteSelection(v, true); },
         .places = kFolders | kServer,
         .commander = std::vector<Key>{key(Qt::SHIFT | Qt::Key_F8), key(Qt::SHIFT | Qt::Key_Delete)}},
        {.id = "undo",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Undo"),
         .keys = {standard(QKeySequence::Undo)},
         .menus = kBoth,
         .separatorBefore = kBoth,
         .run = [](FolderView& v) { FolderCommands::undo(v); },
         .enabled = canUndo,
         .label =
             [](const FolderView& v) {
                 const UndoStack* stack = v.fileOperations().undoStack();
                 return stack->canUndo() ? FolderView::tr("Undo %1").arg(stack->nextDescription())
                                         : FolderView::tr("Undo");
             }},
        {.id = "preferences",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Preferences…"),
         .keys = {key(Qt::CTRL | Qt::Key_Comma)},
         .menus = kEmpty,
         .run =
             [](FolderView& v) {
                 auto* dialog = new PreferencesDialog(Preferences::shared(), v.window());
                 dialog->setAttribute(Qt::WA_DeleteOnClose);
                 dialog->open();
             }},
        {.id = "properties",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Properties"),
         .keys = {key(Qt::ALT | Qt::Key_Return), key(Qt::ALT | Qt::Key_Enter)},
         .menus = kBoth,
         .separatorBefore = kBoth,
         .run = [](FolderView& v) { FolderCommands::showProperties(v); },
         // The trash itself is no folder to show the properties of.
         .shown = [](const FolderView& v) { return !v.model()->isTrash() || !v.selectedRows().isEmpty(); },
         .places = kFolders | kTrash},
        {.id = "up",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Up"),
         .keys = {key(Qt::Key_Backspace), key(Qt::ALT | Qt::Key_Up)},
         .run = [](FolderView& v) { v.goUp(); },
         .places = kFolders | kArchive},
        {.id = "selectAll",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Select All"),
         .keys = {standard(QKeySequence::SelectAll)},
         .run = [](FolderView& v) { v.selectAll(); }},
        // As browsers move between a page's panes; Tab keeps going through the window's controls.
        {.id = "nextPane",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Next Pane"),
         .keys = {key(Qt::Key_F6), key(Qt::CTRL | Qt::Key_F6)},
         .run = [](FolderView& v) { FolderCommands::focusPane(v, true); },
         .commander = std::vector<Key>{key(Qt::CTRL | Qt::Key_F6)}},
        {.id = "previousPane",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Previous Pane"),
         .keys = {key(Qt::SHIFT | Qt::Key_F6), key(Qt::CTRL | Qt::SHIFT | Qt::Key_F6)},
         .run = [](FolderView& v) { FolderCommands::focusPane(v, false); },
         .commander = std::vector<Key>{key(Qt::CTRL | Qt::SHIFT | Qt::Key_F6)}},
        {.id = "filter",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Filter"),
         .keys = {key(Qt::CTRL | Qt::Key_I)},
         .run = [](FolderView& v) { v.find()->showFilter(); }},
        {.id = "find",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Find"),
         .keys = {key(Qt::CTRL | Qt::Key_F)},
         .run = [](FolderView& v) { v.find()->showSearchBar(); },
         .places = kFolders | kServer},
        // Closes the quick look, the filter, stops a search or leaves its results; nothing otherwise.
        {.id = "escape",
         .text = QT_TRANSLATE_NOOP("kv::FolderView", "Close Filter or Search"),
         .keys = {key(Qt::Key_Escape)},
         .run =
             [](FolderView& v) {
                 if (!QuickLook::closeFor(v)) v.find()->escape();
             }},
    };
}

}  // namespace

bool FolderActions::Key::matches(const QKeyEvent* event) const {
    if (standard != QKeySequence::UnknownKey) return event->matches(standard);
    const Qt::KeyboardModifiers m = event->modifiers() & ~Qt::KeypadModifier;
    return event->key() == combination.key() && m == combination.keyboardModifiers();
}

QKeySequence FolderActions::Key::sequence() const {
    return standard != QKeySequence::UnknownKey ? QKeySequence(standard) : QKeySequence(combination);
}

const std::vector<FolderActions::Command>& FolderActions::commands() {
    static const std::vector<Command> table = makeCommands();
    return table;
}

const FolderActions::Command* FolderActions::find(const QString& id) {
    for (const Command& c : commands())
        if (id == QLatin1String(c.id)) return &c;
    return nullptr;
}

bool FolderActions::existsIn(const Command& command, const FolderView& view) {
    return command.places & (view.model()->isTrash()     ? InTrash
                             : view.model()->isArchive() ? InArchive
                             : view.model()->isRemote()  ? OnServer
                                                         : InFolders);
}

const std::vector<FolderActions::Key>& FolderActions::keysOf(const Command& command) {
    return Preferences::shared().keys() == Preferences::Keys::Commander && command.commander
               ? *command.commander
               : command.keys;
}

const FolderActions::Command* FolderActions::commandFor(const QKeyEvent* event, const FolderView& view) {
    for (const bool standardKeys : {false, true})
        for (const Command& c : commands())
            if (existsIn(c, view))
                for (const Key& k : keysOf(c))
                    if ((k.standard != QKeySequence::UnknownKey) == standardKeys && k.matches(event))
                        return &c;
    return nullptr;
}

QMenu* FolderActions::createMenu(FolderView& view, bool onItems) {
    const unsigned which = onItems ? Items : EmptyArea;
    auto* menu = new QMenu(&view);
    menu->setToolTipsVisible(true);
    struct Place {
        QMenu* menu = nullptr;
        QActionGroup* choices = nullptr;
    };
    std::map<Submenu, Place> places{{Submenu::None, {menu}}};
    for (const Command& c : commands()) {
        if (!(c.menus & which) || !existsIn(c, view) || (c.shown && !c.shown(view))) continue;
        Place& place = places[c.submenu];
        if (!place.menu) {
            const bool isView = c.submenu == Submenu::View;
            place.menu = menu->addMenu(isView ? FolderView::tr("View") : FolderView::tr("Sort by"));
            place.menu->setObjectName(isView ? "viewMenu" : "sortMenu");
        }
        if (c.separatorBefore & which) place.menu->addSeparator();
        QAction* a = place.menu->addAction(c.label ? c.label(view) : translated(c.text));
        a->setObjectName(c.id);
        if (!keysOf(c).empty()) {
            // Shown in the menu; the keys themselves are handled by the view, so they work without it.
            a->setShortcut(keysOf(c).front().sequence());
            a->setShortcutContext(Qt::WidgetShortcut);
        }
        if (c.tip) {
            a->setToolTip(translated(c.tip));
            a->setStatusTip(translated(c.tip));
            place.menu->setToolTipsVisible(true);
        }
        if (c.enabled) a->setEnabled(c.enabled(view));
        if (c.checked) {
            a->setCheckable(true);
            a->setChecked(c.checked(view));
        }
        if (c.exclusive) {
            if (!place.choices) place.choices = new QActionGroup(place.menu);
            place.choices->addAction(a);
        }
        QObject::connect(a, &QAction::triggered, &view, [run = c.run, v = &view] { run(*v); });
    }
    return menu;
}

}  // namespace kv
