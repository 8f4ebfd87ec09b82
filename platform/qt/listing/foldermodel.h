#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/fs/archives/archiveindexcache.h"
#include "platform/fs/listing/direntry.h"
#include "platform/fs/listing/entrysorter.h"
#include "platform/fs/listing/listingsource.h"
#include "platform/fs/listing/namefilter.h"
#include "platform/fs/listing/rowstore.h"
#include "platform/fs/remote/mountquestion.h"
#include "platform/fs/trash/trashcatalog.h"
#include "platform/fs/trash/trashdirs.h"
#include "platform/qt/common/mimeiconcache.h"
#include "platform/qt/listing/folderlisting.h"

namespace kv {

class FolderSizes;
class FolderWatch;

// The rows of one listing (name, size, type, modified) for Qt's views: a table model over a RowStore
// that a FolderListing fills from a ListingSource. Each change of the store comes as row steps, replayed
// here as the model's signals; types and icons are looked up only for the rows painted.
//
// The trash ("trash:/") is a listing too: its rows are named by the items' paths in the trash, show
// the names the items had, where they came from (OriginColumn, shown for the trash only) and when
// they were deleted (the Modified column's place), and cannot be edited or dropped onto.
class FolderModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // OriginColumn: where a trashed item was; FolderColumn: where a search's result lies below the
    // search's start. Each is hidden where it means nothing.
    enum Column {
        NameColumn,
        SizeColumn,
        TypeColumn,
        ModifiedColumn,
        OriginColumn,
        FolderColumn,
        ColumnCount
    };
    // What the delegate draws besides the text: a folder, a link's emblem, a cut item dimmed.
    enum Role { IsDirRole = Qt::UserRole + 1, IsLinkRole, IsCutRole };

    using ListingState = FolderListing::State;

    // sources makes the source of each folder (default: the folder on disk); icons is the cache the
    // painted rows look their types up in (default: one shared by every model).
    explicit FolderModel(QObject* parent = nullptr, ListingSourceFactory sources = {},
                         std::shared_ptr<MimeIconCache> icons = {});
    ~FolderModel() override;

    // Lists the folder at path (raw bytes); rows appear as the listing streams in. When another model
    // shows the folder whole and current, its rows are taken instead of reading the disk again.
    void setFolder(const QByteArray& path);
    // The watch that tells this model of its folder's changes (through the view, which follows the
    // folder). While the watch of a folder is in place, the rows listed of it stay current: another
    // model told by the same watch may take them.
    void setWatch(const FolderWatch* watch) { m_watch = watch; }
    // Shows a search's results (rows named by their paths relative to root) in place of a folder;
    // pathAt() then joins root and the row's name. setFolder() ends it.
    void showSearch(const QByteArray& root, std::unique_ptr<ListingSource> source);
    bool isSearch() const { return m_search; }
    // Ends a running search: its results so far stay.
    void stopSearch() { m_listing.stop(); }

    // Shows only the rows whose name holds the text (or matches it with * and ?); empty shows all.
    void setNameFilter(const QString& text);
    // The filter is about to be used: the names it would fold on the first keystroke are folded on a
    // worker now.
    void prepareNameFilter();
    const QString& nameFilter() const { return m_filterText; }
    // The rows there would be without the name filter (hidden files only while shown).
    int unfilteredCount() const;
    // Lists the folder again and applies the difference as rows removed, changed and inserted, so
    // the selection, the current item and the scroll position stay where they were.
    void refresh();
    // The watcher named the entries that changed: only those are looked at again.
    void refreshNames(const std::vector<std::string>& names);
    // Counts the sizes of the folders among the rows into the Size column (FolderSizes), off the UI
    // thread; they are kept until the listing is read again.
    void countFolderSizes(const QList<int>& rows);
    // Dates of today and yesterday said so ("Today 14:02") instead of in full.
    void setRelativeDates(bool relative);
    // A date as the Modified column shows it; now is today's.
    static QString dateText(const QDateTime& when, bool relative,
                            const QDateTime& now = QDateTime::currentDateTime());
    const FolderSizes& folderSizes() const { return *m_sizes; }
    const QByteArray& folder() const { return m_path; }
    bool isLoading() const {
        return listingState() == ListingState::Listing || listingState() == ListingState::Draining;
    }
    ListingState listingState() const { return m_listing.state(); }

    void setShowHidden(bool show);
    bool showHidden() const { return m_store.showHidden(); }
    // Every entry listed, hidden ones and those the name filter leaves out included.
    int entryCount() const { return static_cast<int>(m_store.sorted().size()); }

    const DirEntry& entryAt(int row) const { return m_store.entryAt(row); }
    // RowStore's flag byte: a pass over every row reads these instead of the entries.
    std::uint8_t flagsAt(int row) const { return m_store.flagsAt(row); }
    QByteArray pathAt(int row) const;
    // The name a row shows (in the trash: the name the item had).
    QString nameAt(int row) const;

    // Lists the trash from these trash folders (default: the user's and every volume's).
    void setTrashDirs(TrashDirs dirs) { m_trashDirs = std::move(dirs); }
    bool isTrash() const;
    // A folder inside an archive ("archive:..."): read-only, its items are taken out by extracting.
    bool isArchive() const;
    // A folder on a server ("sftp://..."), listed through GIO. The asker is given what mounting its
    // server asks (a password, a host key) for the listings made from now on.
    bool isRemote() const;
    void setMountAsker(MountAsker asker) { m_asker = std::move(asker); }
    // The indexes of the archives this model listed lately (moving between their folders reads none).
    const std::shared_ptr<ArchiveIndexCache>& archiveIndexes() const { return m_archives; }
    // What the trash knows about a row of it; nothing outside the trash.
    std::optional<TrashRecord> trashRecordAt(int row) const;
    // The trash folders' files/ folders the last trash listing read.
    std::vector<std::string> trashFolders() const { return m_trash->folders(); }
    // The row whose name starts with the text (type-ahead), searching on from `from`; -1 when none.
    int findPrefix(const QString& text, int from) const;
    int rowOfName(const QByteArray& name) const;
    SortColumn sortColumn() const { return m_listing.sorter().column(); }
    Qt::SortOrder sortOrder() const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Editing a name asks for a rename (renameRequested); the row changes once the disk has.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // Drags carry the items as text/uri-list (or what maker makes of their paths: items of an
    // archive); what a drop does is the view's decision.
    using MimeDataMaker = std::function<QMimeData*(const QList<QByteArray>& paths)>;
    void setMimeDataMaker(MimeDataMaker maker) { m_mimeDataMaker = std::move(maker); }
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // The items cut to the clipboard (full paths), drawn dimmed until pasted or replaced (CutMarks).
    void setCutPaths(QSet<QByteArray> paths);
    // A row's base name (a search result's name is a relative path) and the folder part before it.
    static QString baseDisplayName(const std::string& rawName);
    // Where a search's result lies: its folder's path from the searched folder, which it starts with
    // ("Projects" for a result right in Projects, "Projects/src/lib" below it).
    QString folderDisplayName(const std::string& rawName) const;

  signals:
    // The listing finished: error 0, or errno with its text.
    void listed(int error, const QString& message);
    // A refresh (whole or of some names) was applied.
    void refreshed();
    void renameRequested(const QByteArray& path, const QByteArray& newName);

  private:
    // Every model alive (UI thread): where setFolder looks for one to take the rows of.
    static std::vector<FolderModel*>& live();
    // Another model whose rows of the folder at path this one may take, or null.
    FolderModel* giverFor(const QByteArray& path) const;
    void list(const QByteArray& path);
    // Replays the store's steps as the model's signals.
    void play(const RowChanges& changes);
    void relayout(const RowChange& change);

    // The row with the name it shows (raw bytes), which is what its type and icon go by.
    std::string shownName(int row) const;
    DirEntry shownEntry(int row) const;

    std::shared_ptr<MimeIconCache> m_icons;
    QByteArray m_path;
    TrashDirs m_trashDirs;
    std::shared_ptr<TrashCatalog> m_trash = std::make_shared<TrashCatalog>();
    std::shared_ptr<ArchiveIndexCache> m_archives = std::make_shared<ArchiveIndexCache>();
    MountAsker m_asker;
    MimeDataMaker m_mimeDataMaker;
    RowStore m_store;
    FolderListing m_listing;
    QSet<QByteArray> m_cutPaths;
    FolderSizes* m_sizes = nullptr;
    bool m_relativeDates = false;
    NameFilter m_filter;
    QString m_filterText;
    bool m_search = false;
    // The trash or an archive: asked by flags(), which a view calls for every row when it lays out.
    bool m_readOnly = false;
    const FolderWatch* m_watch = nullptr;
};

}  // namespace kv
