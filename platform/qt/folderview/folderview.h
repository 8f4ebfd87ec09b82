#pragma once

#include <QLabel>
#include <QListView>
#include <QStackedWidget>
#include <QTreeView>

#include "platform/fs/search/searchquery.h"
#include "platform/qt/folderview/typeahead.h"
#include "platform/qt/jobs/fileoperations.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/pane/folderpane.h"
#include "platform/qt/pane/paneservices.h"

namespace kv {

class ArchivePlace;
class DetailsColumns;
class FilterBar;
class FolderDelegate;
class FolderDragDrop;
class FolderFind;
class FolderFollower;
class SearchBar;
class FolderNote;
class ServerPlace;
class FolderThumbnails;
class PaneHighlight;
class StatusLine;
class TrashPlace;
class WidestName;

// A folder's contents as a file manager shows them: details (name, size, type, modified, sortable),
// icons or list; double-click or Enter opens a folder here and a file with the desktop's application;
// Shift/Ctrl select several; typing finds a name (TypeAhead). Its commands, their keys and its two
// right-click menus are one table (FolderActions); files dropped on it are FolderDragDrop's. It
// follows changes on disk. Listing, watching and every file operation run off the UI thread. Under
// the rows, a status line counts them; several folder views in one window are panes (WindowPanes): a
// key moves between them and the selection copies or moves to another.
class FolderView : public QWidget, public FolderPane {
    Q_OBJECT
  public:
    enum class Mode { Icons, List, Details };

    // services: what the program's panes share (file operations, folder watch, ...); they outlive
    // the view.
    explicit FolderView(const PaneServices& services, QWidget* parent = nullptr);
    ~FolderView() override;

    using FolderPane::paneWidget;
    QWidget* paneWidget() override { return this; }
    void showFolder(const QByteArray& path) override;
    const QByteArray& folder() const override { return m_model->folder(); }
    FolderModel* model() const override { return m_model; }
    const PaneServices& services() const override { return m_services; }
    FolderDragDrop* dragDrop() const { return m_dragDrop; }
    // What the view does while it shows the trash ("trash:/"), and the trash's commands.
    TrashPlace* trashPlace() const { return m_trashPlace; }
    // Archives opened like folders, extracting and compressing.
    ArchivePlace* archivePlace() const override { return m_archivePlace; }
    QAbstractItemView* currentView() const override;
    void setMode(Mode mode);
    Mode mode() const { return m_mode; }
    // The icon view's icon edge, from kMinIconSize to kMaxIconSize; zoomIn/zoomOut step through
    // kIconSizes (Ctrl+wheel, Ctrl+Plus, Ctrl+Minus). The grid follows, and the previews' size.
    static constexpr int kIconSizes[] = {32, 48, 64, 96, 128, 160, 192, 256};
    static constexpr int kMinIconSize = 32;
    static constexpr int kMaxIconSize = 256;
    int iconSize() const { return m_iconSize; }
    void setIconSize(int px);
    void zoom(int steps);
    // The icon view's previews ("Show Previews"): on by default, except on network shares and
    // removable drives, where they come only when the user turns them on there.
    bool previewsShown() const;
    void setShowPreviews(bool show);
    FolderThumbnails* thumbnails() const { return m_thumbs; }
    // The selected rows, and the selected items' paths (raw bytes), in display order.
    QList<int> selectedRows() const override;
    bool hasSelection() const;
    QList<QByteArray> selectedPaths() const override;
    // Makes the item current and the only one selected; false when it is not listed.
    bool selectName(const QByteArray& name);
    // The same once the listing under way has it (at once when it is complete).
    void selectWhenListed(const QByteArray& name);

    // What the menus and keys do (FolderActions).
    void openSelected();
    // Offers the selected folders (and archives that open like folders) as new tabs.
    void openSelectedInTabs();
    // The folder (or archive location) an item opens as; empty for a file.
    QByteArray folderOfRow(int row) const;
    void renameCurrent();
    // Marks (selects) the current item, or unmarks it, and makes the next one current (Insert).
    void markCurrent();
    void refresh() override;
    // Gives the keyboard focus to the rows.
    void focusItems() override;
    // Whether this pane holds the keyboard focus (its selection shows in the active colours).
    bool isActivePane() const;
    void goUp();
    void selectAll();
    void setShowHidden(bool show);
    void sortBy(int column, Qt::SortOrder order);
    void typeAhead(const QString& text);
    // Copies or moves the items into a folder, as a paste or a drop does.
    void transfer(const QList<QByteArray>& sources, const QByteArray& targetDir, bool move,
                  FileOperations::Done andThen = {}) override;

    // What a job started here does when it ends, while this view exists: andThen, then the folder
    // shown when the job began is listed again if it still is (at once: the watcher would take a
    // moment to tell).
    FileOperations::Done whenDone(FileOperations::Done andThen = {}) override;
    // Selects the item once a listing shows it (a new item), opening its name for editing when edit.
    void selectWhenListed(const QByteArray& name, bool edit) override;
    // The name filter and the search below the folder, with their bars (Ctrl+I, Ctrl+F), and what
    // Escape in the rows does to them.
    FolderFind* find() const { return m_find; }
    // A line above the rows saying what happened to the view (it went elsewhere, and why).
    void showBanner(const QString& text);
    // Closes the name filter; the rows' empty note follows.
    void closeFilter();
    // Searches below the folder shown (or below the one a search started from) and shows the results
    // in place of the folder's rows, until the view shows a folder again. A running search is replaced.
    void startSearch(const SearchQuery& query);
    bool isSearching() const { return m_model->isSearch(); }
    // Shows the column of the results' folders (FolderFind).
    void setSearchColumns(bool search);

    // The right-click menu for the empty area or for the selected items; the caller owns it.
    QMenu* createContextMenu(bool onItems);
    StatusLine* statusLine() const override { return m_status; }
    DetailsColumns* detailsColumns() const { return m_columns; }

  signals:
    // The user opened a folder inside the view, or asked for the parent folder.
    void folderRequested(const QByteArray& path);
    // A search below the folder began (the results replace the rows), and the user closed one: the
    // browser view keeps the results as a step of its history.
    void searchStarted(const SearchQuery& query);
    void searchClosed();
    // A folder to open in a tab of its own, behind the current one (a middle click, Open in New Tab).
    void newTabRequested(const QByteArray& path);
    // The person cancelled what the server of the place being opened asked: the place is given up on,
    // with nothing more said.
    void placeCancelled();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void setUpView(QAbstractItemView* v);
    QListView* iconsView();
    void activate(const QModelIndex& index);
    void listed(int error, const QString& message);
    void updateEmptyNote();
    void contextMenuAt(QAbstractItemView* view, const QPoint& pos);
    void applyPendingSelection();

    PaneServices m_services;
    FileOperations& m_ops;
    FolderModel* m_model;
    QStackedWidget* m_stack;
    QTreeView* m_details;
    WidestName* m_widest;
    DetailsColumns* m_columns;
    QListView* m_icons = nullptr;          // see iconsView()
    FolderThumbnails* m_thumbs = nullptr;  // made with m_icons
    int m_iconSize = 64;
    int m_wheelZoom = 0;  // Ctrl+wheel turned by less than a notch
    bool m_previews = true;
    bool m_previewsOnSlowVolumes = false;
    FolderNote* m_note;
    QLabel* m_banner;
    ServerPlace* m_server;
    StatusLine* m_status;
    PaneHighlight* m_highlight;
    FolderDragDrop* m_dragDrop;
    TrashPlace* m_trashPlace;
    ArchivePlace* m_archivePlace;
    FolderFollower* m_follower;
    FolderFind* m_find = nullptr;
    TypeAhead m_typeAhead;
    Mode m_mode = Mode::Details;
    QByteArray m_pendingSelect;  // a name to select (and maybe edit) once a refresh lists it
    bool m_pendingEdit = false;
};

}  // namespace kv
