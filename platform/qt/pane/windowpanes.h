#pragma once

#include <QList>

class QWidget;

namespace kv {

class FolderView;

// The folder panes of one window that a key or a command can go to: the folder views that are shown
// and show a folder (a browser view showing a web page hides its folder view), in reading order: top
// to bottom, then left to right, by where they are on the screen.
class PaneFinder {
  public:
    static QList<FolderView*> panes(const QWidget* window);
    // The panes of view's window besides view.
    static QList<FolderView*> others(const FolderView& view);
    // The pane after (or before) view, round the end; null when it is the only one.
    static FolderView* next(const FolderView& view, bool forward);
};

}  // namespace kv
