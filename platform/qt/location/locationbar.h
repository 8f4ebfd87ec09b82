#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUrl>
#include <QWidget>
#include <vector>

#include "platform/fs/search/searchquery.h"

class QLabel;
class QLineEdit;
class QToolButton;

namespace kv {

class FolderCompletion;

class BreadcrumbBar;
class PlacesMenu;
class RecentFolders;

// The row at the top of a browser view: places, Back, Forward, (for pages) Reload or Stop, and where
// the view is: a folder as breadcrumbs, which a click on their empty part, or startEditing(), turns
// into a text field with folder-name completion; a page as its editable address. It says what the user
// asked for and leaves the doing to the view. A line along its bottom edge marks the active view.
class LocationBar : public QWidget {
    Q_OBJECT
  public:
    LocationBar(RecentFolders& recent, QWidget* parent = nullptr);

    void showFolder(const QByteArray& path);
    // A search's results: the folder searched as breadcrumbs, then "Search for “…”".
    void showSearch(const QByteArray& folder, const SearchQuery& query);
    // What the bar says of the search shown; empty when it shows none.
    QString searchText() const;
    // A search in words: the name and the text looked for, then the filters that narrow it, so a
    // search by filters alone still says what it is.
    static QString searchTitle(const SearchQuery& query);
    void showAddress(const QString& address, bool web);
    void setHistory(bool canGoBack, bool canGoForward);
    void setLoading(bool loading);
    void setActive(bool active);
    bool isActive() const { return m_active; }

    // The path or address as editable text, all selected, with the focus.
    void startEditing();
    // Back to the breadcrumbs (for a folder) and the text of the location shown.
    void stopEditing();
    // A message under the bar (a typed folder that does not exist, a bookmark that could not be
    // added); it stays until the next location or edit.
    void showMessage(const QString& text);
    const QString& message() const { return m_message; }

    BreadcrumbBar* breadcrumbs() const { return m_crumbs; }
    // The text field (made when first asked for).
    QLineEdit* editor();
    PlacesMenu* placesMenu() const { return m_places; }
    QToolButton* backButton() const { return m_back; }
    QToolButton* forwardButton() const { return m_forward; }
    QToolButton* reloadButton() const { return m_reload; }
    // Where the breadcrumbs start for a path: the deepest volume root or home folder above it.
    QByteArray rootFor(const QByteArray& path, QString* title = nullptr) const;

  signals:
    void backRequested();
    void forwardRequested();
    void reloadRequested();
    void stopRequested();
    void folderRequested(const QByteArray& folder);
    // Text typed and entered, or a place that is not a local folder.
    void locationEntered(const QString& text);
    void addBookmarkRequested();
    void filterRequested();
    void searchRequested();
    // The text field was left with Escape: the focus may go back to the list or page.
    void editingCancelled();

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Root {
        QByteArray path;
        QString title;
    };
    void readRoots();
    void showCrumbs();
    void hideSearch();
    // A folder, or a place such as the trash: crumbs, text only while edited.
    bool showsCrumbs() const { return !m_folder.isEmpty() || m_place; }

    QToolButton* m_placesButton;
    PlacesMenu* m_places;
    QToolButton* m_back;
    QToolButton* m_forward;
    QToolButton* m_reload;
    QToolButton* m_filter;
    QToolButton* m_search;
    BreadcrumbBar* m_crumbs;
    QLabel* m_searchNote;
    QLineEdit* m_editor = nullptr;             // see editor()
    FolderCompletion* m_completion = nullptr;  // with the editor
    QString m_editStart;                       // the folder's path as editing began
    QByteArray m_folder;                       // empty while a page (or other location) is shown
    QString m_address;
    bool m_place = false;  // the address is a place shown as crumbs (the trash)
    bool m_loading = false;
    bool m_active = false;
    QString m_message;
    std::vector<Root> m_roots;
};

}  // namespace kv
