#pragma once

#include <QList>

#include "platform/forms/record.h"

class QWidget;

namespace kv {

class BrowserPane;
class FolderPane;

// The panes of the program's windows. Every folder view and browser view enters itself here when it
// is made and leaves when it goes, so any caller can ask which panes a window has, in reading order
// (top to bottom, then left to right, by where they are on the screen), and which is beside a given
// one, without walking the widget tree or knowing the windows' control names. UI thread only.
class WindowPanes {
  public:
    // What a browser view is to its window, as the window's record says (PaneRole).
    using Role = PaneRole;

    static void add(FolderPane& pane);
    static void remove(FolderPane& pane);
    static void add(BrowserPane& pane);
    static void remove(BrowserPane& pane);

    // The folder panes of the window a key or a command can go to: shown, and showing a folder (a
    // browser view showing a web page hides its folder view), in reading order.
    static QList<FolderPane*> panes(const QWidget* window);
    // The panes of the pane's window besides it.
    static QList<FolderPane*> others(const FolderPane& pane);
    // The pane after (or before) this one, round the end; null when it is the only one.
    static FolderPane* next(const FolderPane& pane, bool forward);

    // The folder pane whose widget this is; null when it is none.
    static FolderPane* paneOf(const QWidget* widget);

    // The browser views of the window, shown or not, in reading order.
    static QList<BrowserPane*> browsers(const QWidget* window);
    // The browser view whose folder pane this is; null for a folder view of its own.
    static BrowserPane* browserOf(const FolderPane& pane);
    // The browser view the widget is in (or is); null when none.
    static BrowserPane* browserAround(const QWidget* widget);

    static void setRole(BrowserPane& pane, Role role);
    static Role role(const BrowserPane& pane);
    // The window's browser view with that role; null when it has none.
    static BrowserPane* withRole(const QWidget* window, Role role);
};

}  // namespace kv
