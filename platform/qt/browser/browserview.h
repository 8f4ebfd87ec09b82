#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <functional>

#include "platform/fs/places/location.h"
#include "platform/fs/search/searchquery.h"
#include "platform/qt/location/browsehistory.h"
#include "platform/qt/pane/folderpane.h"

class QStackedWidget;
class QWebEngineView;

namespace kv {

class FolderView;
class LocationBar;
class RecentFolders;

// One control that shows folders and web pages, with one history. Navigate decides by the text: a drive
// list entry (its volume name dropped), an absolute path, a file: URL or the trash ("trash:/") opens
// the folder view; anything else
// is a web address. The web engine is created the first time this view needs it. A location bar
// on top shows where the view is and moves it (Back, Forward, breadcrumbs, a typed location, places).
// Back and Forward step through the page's own history before they leave the page. A search's results
// are a step of their own: Back returns to the folder searched, Forward runs the search again.
class BrowserView : public QWidget, public BrowserPane {
    Q_OBJECT
  public:
    using Location = kv::Location;
    // What a location text names. Pure: no filesystem access, so a hung mount cannot stall the caller.
    static Location classify(const QString& text) { return Location::classify(text); }

    // Chooses how web pages are drawn; call it before the application object is made. Without a
    // graphics processor they are drawn in software (see the definition).
    static void chooseRendering();
    // Call it right after the application object is made (it also sets up the icon theme).
    static void applicationMade();

    // Every view of the program gets the same services: one undo stack, one folder watch, one list of
    // recent folders. They outlive the view.
    explicit BrowserView(const PaneServices& services, QWidget* parent = nullptr);
    ~BrowserView() override;

    using QWidget::show;  // not hidden by show(Location) below

    QWidget* paneWidget() override { return this; }
    void navigate(const QString& text) override;
    // A folder by its bytes, which a text cannot always carry.
    void openFolder(const QByteArray& path);
    // One step back in the history; nothing when there is no earlier page.
    void goBack() override;
    void goForward() override;
    bool canGoBack() const override;
    bool canGoForward() const override;
    // Adds the folder shown to the desktop's shared bookmarks.
    void addBookmark();
    void stop();
    // The folder's name, or the page's title (its address while it has none).
    QString locationName() const override;

    FolderView* folderView() const { return m_folder; }
    QWebEngineView* webView() const { return m_web; }
    bool showsFolder() const override;
    bool showsWeb() const override;
    FolderPane& folderPane() override;
    LocationBar* locationBar() const { return m_bar; }
    // Where the file chooser a page opens starts (by default the home folder).
    void setChooserFolder(std::function<QString()> folder) { m_chooserFolder = std::move(folder); }
    // What takes the keyboard focus when the focus moves into this view: its list or its page.
    QWidget* focusTarget() const;

    // The view's history, the item current in the folder shown included; and a history taken from
    // another view, shown at its current step.
    BrowseHistory history() const;
    void restore(BrowseHistory history);
    // A locked view keeps its place: a new location asked of it is offered as a tab (tabWanted).
    void setLocked(bool locked) { m_locked = locked; }
    bool locked() const { return m_locked; }

  signals:
    void locationChanged();
    // The user asked for a location in a tab of its own (a middle click, Open in New Tab, a locked
    // view); behind the current tab when background.
    void tabWanted(const kv::Location& where, bool background);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    static bool s_glIntegrationSet;
    void show(const Location& where);
    void ensureWeb();
    void push(const Location& where);
    void leave();
    // The item current in the folder shown; empty when none (or a page is shown).
    QByteArray currentName() const;
    void showStep();
    void updateBar();
    void enterLocation(const QString& text);
    void focusContent();
    void searchStarted(const SearchQuery& query);
    void searchClosed();

    LocationBar* m_bar;
    QStackedWidget* m_stack;
    FolderView* m_folder;
    QWebEngineView* m_web = nullptr;
    RecentFolders& m_recent;
    BrowseHistory m_history;
    std::function<QString()> m_chooserFolder;
    bool m_locked = false;
};

}  // namespace kv
