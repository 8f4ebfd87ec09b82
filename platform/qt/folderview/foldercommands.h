#pragma once

#include <QByteArray>
#include <QItemSelection>
#include <QList>
#include <QRegularExpression>
#include <QString>

class QMimeData;

namespace kv {

class FolderModel;
class FolderPane;

// The everyday commands of a folder view beyond open, copy and paste: what the FolderActions rows for
// them run. The file-changing ones are jobs (FileOperations), their result selected once listed.
class FolderCommands {
  public:
    // The selection: opened with the default applications, on the clipboard (cut marks them to be moved
    // on paste), to the trash, deleted for good (asked first unless confirm is false).
    static void openExternally(FolderPane& view);
    static void copySelection(FolderPane& view, bool cut);
    static void trashSelection(FolderPane& view);
    static void deleteSelection(FolderPane& view, bool confirm = true);
    // What a copy or a drag of these items carries (ClipboardFormat; ArchivePlace for an archive's).
    static QMimeData* mimeDataOf(FolderPane& view, const QList<QByteArray>& paths, bool cut);
    // The clipboard's items copied or moved into the folder shown, or into dir.
    static void paste(FolderPane& view);
    static void pasteInto(FolderPane& view, const QByteArray& dir);
    // Copies or moves the selection into the folder of the window's other pane, or of the one the user
    // picks from a menu of them when there are several.
    static void transferToPane(FolderPane& view, bool move);
    // Gives the keyboard focus to the next (or previous) pane of the window, in reading order.
    static void focusPane(FolderPane& view, bool forward);
    // A new folder, selected with its name open for editing once listed.
    static void newFolder(FolderPane& view);
    static void showProperties(FolderPane& view);
    static void undo(FolderPane& view);
    static void openWith(FolderPane& view);
    // $TERMINAL (a command, may hold options) or x-terminal-emulator, started in the folder shown.
    static void openTerminal(FolderPane& view);
    // The selected items' paths, one a line, as text on the clipboard; the folder's when none is.
    static void copyPaths(FolderPane& view);
    static void createLinks(FolderPane& view);
    static void duplicate(FolderPane& view);
    static void newFile(FolderPane& view);
    // Asks for wildcards ("*.jpg;*.png") and selects the rows whose names match one.
    static void selectByPattern(FolderPane& view);
    static void invertSelection(FolderPane& view);
    // Renames the selected items in one step (RenameDialog), as one job.
    static void renameSelection(FolderPane& view);
    // Copies or moves the selected items to a folder the user types (TargetDialog), the next pane's
    // folder given at first.
    static void transferAsking(FolderPane& view, bool move);
    // Opens the selected files with the desktop's application for text.
    static void openInEditor(FolderPane& view);
    // A compare window of this folder (left) and the next pane's (right).
    static void compareFolders(FolderPane& view);

    // The text Copy Path puts on the clipboard.
    static QString pathsText(const QList<QByteArray>& paths);
    // One expression per wildcard of the text (separated by ';' or ','), matching whole names, letter
    // case ignored.
    static QList<QRegularExpression> patterns(const QString& text);
    // The rows (all columns) whose shown names match one of the patterns, as contiguous ranges.
    static QItemSelection rowsMatching(const FolderModel& model, const QList<QRegularExpression>& patterns);
};

}  // namespace kv
