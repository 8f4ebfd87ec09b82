#pragma once

#include <functional>

class QMenu;
class QWebEngineView;

namespace kv {

class WebDropGuard;

// The right-click menu of a web page. It offers only what works here: Back, Forward and Reload; for
// a link Copy Link, Save Link into the Folder Beside, Save Link As… and Open Link in Pane (the
// window's other panes, by what they show); for an image Save Image into the Folder Beside and Copy
// Image; Cut, Copy, Paste and Select All where they apply; Find in Page… and Downloads…. No developer tools
// and no "new tab" or "new window" entries: there are no tabs, and a new window would be this same view.
class WebMenu {
  public:
    // The menu for the view's last right-click (QWebEngineView::lastContextMenuRequest); the caller
    // owns it. guard pastes into the page; showFind opens the view's find bar; showDownloads, where
    // given, the list of this run's downloads ("Downloads…").
    static QMenu* create(QWebEngineView& view, WebDropGuard* guard, std::function<void()> showFind,
                         std::function<void()> showDownloads = {});
};

}  // namespace kv
