#pragma once

namespace kv {

class ArchiveSession;
class FileOperations;
class FolderWatch;
class RecentFolders;
class VolumeSpace;

// What the program's panes share, handed to each pane when it is made: the file operations (jobs,
// their questions, undo), the watch on the folders shown, the archives' copies and passwords, the
// folders shown lately, and the free space of the volumes shown. Whoever makes the panes owns these
// (OwnedPaneServices), and they outlive the panes.
struct PaneServices {
    FileOperations& ops;
    FolderWatch& watch;
    ArchiveSession& archives;
    RecentFolders& recent;
    VolumeSpace& space;
};

}  // namespace kv
