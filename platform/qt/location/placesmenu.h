#pragma once

#include <QByteArray>
#include <QMenu>
#include <vector>

#include "platform/fs/places/bookmarks.h"

namespace kv {

class RecentFolders;

// The places a view can jump to: the home folder and the user's usual folders that exist, the trash,
// the bookmarks the desktop's file managers share, Add Bookmark, and the folders visited recently.
// What it shows is read off the UI thread each time it opens (a bookmark another program added shows
// up), and the menu fills in as the reading arrives.
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

  signals:
    void folderChosen(const QByteArray& folder);
    // A location that is not a local folder: the trash, a web address.
    void locationChosen(const QString& text);
    void addBookmarkChosen();

  public:
    struct Place {
        QString title;
        QByteArray path;
        bool home = false;
        bool operator==(const Place&) const = default;
    };

  private:
    void rebuild();

    RecentFolders& m_recent;
    QByteArray m_current;
    std::vector<Place> m_places;
    std::vector<Bookmark> m_bookmarks;
    bool m_loaded = false;
    int m_generation = 0;
};

}  // namespace kv
