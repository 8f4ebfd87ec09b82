#pragma once

#include <QByteArray>
#include <QMenu>
#include <vector>

#include "platform/fs/places/bookmarks.h"
#include "platform/fs/remote/remotemounts.h"

namespace kv {

class RecentFolders;

// The places a view can jump to: the home folder and the user's usual folders that exist, the trash,
// the bookmarks the desktop's file managers share, Add Bookmark, Edit Bookmarks…, and the folders
// visited recently. What it shows is read off the UI thread each time it opens (a bookmark another
// program added shows up), and the menu fills in as the reading arrives. A bookmark's own menu (a right
// click, or the menu key) renames, removes and moves it; the changes are written to the shared file
// off the UI thread, and the menu shows them once written. The servers' places: the folders on servers
// mounted now (each can be unmounted), Connect to Server…, and the servers opened recently.
class PlacesMenu : public QMenu {
    Q_OBJECT
  public:
    PlacesMenu(RecentFolders& recent, QWidget* parent = nullptr);

    // The folder Add Bookmark would add; empty (a web page) disables it.
    void setCurrentFolder(const QByteArray& folder) { m_current = folder; }
    // Reads the places now; the menu is rebuilt when they arrive (the menu reads them by itself
    // each time it opens).
    void reload();
    bool loaded() const { return m_loaded; }

    // The menu of the bookmark shown at `index`: Rename…, Remove, Move Up, Move Down.
    QMenu* bookmarkMenu(int index);
    // Each asks or writes at once; the menu closes first for those that ask.
    void renameBookmark(int index);
    void removeBookmark(int index);
    void moveBookmark(int index, int by);
    void editBookmarks();
    // Opens Connect to Server… (the menu closes first); its address goes to locationChosen.
    void connectToServer();
    // Unmounts the mounted place whose root is uri; unmountFailed says why when it cannot.
    void unmount(const QString& uri);

  signals:
    void folderChosen(const QByteArray& folder);
    // A location that is not a local folder: the trash, a web address.
    void locationChosen(const QString& text);
    void addBookmarkChosen();
    // The bookmarks could not be changed; the text says why.
    void editFailed(const QString& text);
    void unmountFailed(const QString& text);

  public:
    struct Place {
        QString title;
        QByteArray path;
        bool home = false;
        bool operator==(const Place&) const = default;
    };

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void rebuild();
    // Asks for the mounted servers; the menu is rebuilt when they changed.
    void reloadMounted();
    void addMounted();
    void addServers();
    // The bookmarks shown, which an edit names by their places.
    std::vector<Bookmark> shownBookmarks() const;
    // Rewrites the bookmarks read as `order` lists them.
    void write(const std::vector<Bookmark>& read, std::vector<BookmarkChange> order);

    RecentFolders& m_recent;
    QByteArray m_current;
    std::vector<Place> m_places;
    std::vector<Bookmark> m_bookmarks;
    std::vector<remotemounts::Mounted> m_mounted;
    int m_mountedGeneration = 0;
    bool m_loaded = false;
    int m_generation = 0;
};

}  // namespace kv
