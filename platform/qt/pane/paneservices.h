#pragma once

namespace kv {

class ArchiveSession;
class FileOperations;
class FolderWatch;
class RecentFolders;

// What the program's panes share, handed to each pane when it is made: the file operations (jobs,
// their questions, undo), the watch on the folders shown, the archives' copies and passwords, and the
// folders shown lately. Whoever makes the panes owns these (OwnedPaneServices), and they outlive the
// panes.
struct PaneServices {
    FileOperations& ops;
    FolderWatch& watch;
    ArchiveSession& archives;
    RecentFolders& recent;
};

}  // namespace kv
