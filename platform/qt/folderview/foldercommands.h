#pragma once

#include <QByteArray>
#include <QItemSelection>
#include <QList>
#include <QRegularExpression>
#include <QString>

namespace kv {

class FolderModel;
class FolderPane;

// The everyday commands of a folder view beyond open, copy and paste: what the FolderActions rows for
// them run. The file-changing ones are jobs (FileOperations), their result selected once listed.
class FolderCommands {
  public:
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

    // The text Copy Path puts on the clipboard.
    static QString pathsText(const QList<QByteArray>& paths);
    // One expression per wildcard of the text (separated by ';' or ','), matching whole names, letter
    // case ignored.
    static QList<QRegularExpression> patterns(const QString& text);
    // The rows (all columns) whose shown names match one of the patterns, as contiguous ranges.
    static QItemSelection rowsMatching(const FolderModel& model, const QList<QRegularExpression>& patterns);
};

}  // namespace kv
