#pragma once

#include <QUrl>

class QMenu;
class QWidget;

namespace kv {

class FolderPane;

// "Open Source Page" for a file saved from the web: the page it was saved from (its recorded referrer,
// else its recorded address), opened in the web pane of the pane's window.
class SourcePage {
  public:
    // Adds the entry to an item menu when the one selected file records where it came from. The
    // attributes are read off the UI thread; the entry appears once they are.
    static void offer(QMenu& menu, FolderPane& view);
    // Opens page in the web pane of from's window; the desktop's browser where the window has none.
    static void open(const QUrl& page, QWidget* from);
};

}  // namespace kv
