#pragma once

#include <QWebEngineView>
#include <functional>

namespace kv {

class BrowserPane;
class WebDropGuard;
class WebFindBar;
class WebPage;

// The web pane's page view: the engine's view with the program's own menu (WebMenu), the browser's
// keys (F5 and Ctrl+R reload, Ctrl+F finds in the page, F3 finds again; Alt+Left and Alt+Right are
// the browser view's), a find bar (WebFindBar), and a guard that hands no file to a page unasked
// (WebDropGuard).
class WebView : public QWebEngineView {
    Q_OBJECT
  public:
    explicit WebView(QWidget* parent = nullptr);

    WebPage* webPage() const;
    // The browser view this page view is part of, or null.
    BrowserPane* browserPane() const;
    WebDropGuard* dropGuard() const { return m_guard; }
    // Opens the find bar (made the first time).
    void showFind();
    WebFindBar* findBar() const { return m_find; }
    // What the menu's "Downloads…" (and Ctrl+Shift+Y) opens; without it the menu has no such entry.
    void setShowDownloads(std::function<void()> show) { m_showDownloads = std::move(show); }

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    WebDropGuard* m_guard;
    WebFindBar* m_find = nullptr;
    std::function<void()> m_showDownloads;
};

}  // namespace kv
