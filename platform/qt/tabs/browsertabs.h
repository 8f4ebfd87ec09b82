#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

#include "platform/forms/record.h"
#include "platform/fs/places/location.h"
#include "platform/qt/pane/paneservices.h"
#include "platform/qt/tabs/tabstate.h"

class QMimeData;
class QStackedWidget;

namespace kv {

class BrowserView;
class TabStrip;

// A browser view's place in its window with tabs: one BrowserView per tab, each with its own history,
// and a strip of tabs above them shown only while there are two or more (one tab looks as a view
// without tabs does). The window's calls (navigate, Back, the location's name) reach the current tab.
// Tabs restored from the session are made when first shown.
//
// Keys, anywhere in the view: Ctrl+T new tab at the current folder, Ctrl+W closes (never the last),
// Ctrl+Tab / Ctrl+Shift+Tab and Ctrl+PgDn / Ctrl+PgUp step through the tabs, Alt+1…9 by position,
// Ctrl+Shift+T reopens the last tab closed with its history.
class BrowserTabs : public QWidget {
    Q_OBJECT
  public:
    BrowserTabs(const PaneServices& services, PaneRole role, QWidget* parent = nullptr);
    ~BrowserTabs() override;

    // The tab shown; there is always one.
    BrowserView* current() const;
    int currentIndex() const { return m_current; }
    int count() const { return static_cast<int>(m_tabs.size()); }
    // The tab's view, made now if the tab was restored and not yet shown.
    BrowserView* viewAt(int index);
    // Null for a restored tab not yet shown.
    BrowserView* madeViewAt(int index) const { return m_tabs[static_cast<size_t>(index)].view; }
    TabStrip* strip() const { return m_strip; }
    QString titleAt(int index) const;
    QString locationAt(int index) const;

    // A new tab after the current one, showing where (empty: the current tab's folder); it becomes
    // current unless background. Returns its index.
    int openTab(const Location& where, bool background);
    // A tab made from a state (reopened, moved here, duplicated) at index (-1: after the current one).
    int insertTab(TabState state, int index, bool background);
    // Closes the tab; the last one is never closed.
    void closeTab(int index);
    void closeOthers(int index);
    void closeToTheRight(int index);
    int duplicate(int index);
    bool canReopen() const { return !m_closed.empty(); }
    void reopenClosed();
    void setLocked(int index, bool locked);
    bool isLocked(int index) const;
    void setCurrent(int index);
    // Moves the current tab by `by` positions round the end.
    void step(int by);
    void moveTab(int from, int to);

    // What a tab is now, to keep or move; and the tabs from a session, the current one shown.
    TabState stateAt(int index) const;
    QList<TabState> states() const;
    void restore(const QList<TabState>& tabs, int current);

    // Where the focus goes when it moves into the pane.
    QWidget* focusTarget() const;
    // The tabbed pane the widget is in; null when none.
    static BrowserTabs* around(const QWidget* widget);

  signals:
    // A tab was opened, closed, moved or made current, or the current tab went elsewhere.
    void changed();
    // The pane is about to go: its tabs are still there to be kept.
    void aboutToGo();

  private:
    struct Tab {
        BrowserView* view = nullptr;
        TabState pending;      // a tab not made yet, or waiting: what it will show
        bool waiting = false;  // made, and waiting to be told whether its folder is left
    };
    const TabState* pendingOf(int index) const;

    BrowserView* makeView();
    void show(int index);
    void updateTab(int index);
    void updateStrip();
    // Closes the tab, kept to be reopened when keep.
    void removeTab(int index, bool keep);
    void showMenu(int index, const QPoint& global);
    void dropFiles(int index, const QMimeData* data, Qt::KeyboardModifiers modifiers);
    static void applyView(BrowserView* view, const TabState& state);

    PaneServices m_services;
    PaneRole m_role;
    TabStrip* m_strip;
    QStackedWidget* m_stack;
    std::vector<Tab> m_tabs;
    int m_current = 0;
    int m_behind = 0;                // tabs opened behind the current one since it became current
    std::vector<TabState> m_closed;  // the latest last
};

}  // namespace kv
