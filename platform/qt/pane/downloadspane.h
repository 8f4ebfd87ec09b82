#pragma once

class QWidget;

namespace kv {

class FolderPane;

// The folder pane of a window that things saved from its web pages go into: the one the user used
// last (it had the keyboard focus), and before any was used the drive pane the window's record names
// for downloads (the main window's first), else the first pane in reading order. Only a pane that shows a
// folder on disk counts. The window itself keeps the mark, so nothing outlives it.
class DownloadsPane {
  public:
    static void used(FolderPane& pane);
    // Null when the window shows no folder.
    static FolderPane* of(const QWidget* window);
};

}  // namespace kv
