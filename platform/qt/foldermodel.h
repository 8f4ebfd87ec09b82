#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs/background.h"
#include "platform/fs/direntry.h"
#include "platform/fs/entrysorter.h"
#include "platform/fs/listingsource.h"
#include "platform/fs/rowstore.h"
#include "platform/qt/mimeiconcache.h"

namespace kv {

// The rows of one listing (name, size, type, modified) for Qt's views: a table model over a RowStore,
// fed by a ListingSource. Batches are sorted on pool threads and merged at a pace the views can
// follow; a big re-sort runs on a worker; types and icons are looked up only for the rows painted.
class FolderModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { NameColumn, SizeColumn, TypeColumn, ModifiedColumn, ColumnCount };

    enum class ListingState {
        Idle,
        Listing,     // the source streams batches, merged into the rows as they come
        Draining,    // the source is done; batches still being sorted, or the rows wait for a new order
        Refreshing,  // listing again to compare: the rows stay until the whole new listing is in
    };

    // sources makes the source of each folder (default: the folder on disk); icons is the cache the
    // painted rows look their types up in (default: one shared by every model).
    explicit FolderModel(QObject* parent = nullptr, ListingSourceFactory sources = {},
                         std::shared_ptr<MimeIconCache> icons = {});
    ~FolderModel() override;

    // Lists the folder at path (raw bytes); rows appear as the listing streams in.
    void setFolder(const QByteArray& path);
    // Lists the folder again and applies the difference as rows removed, changed and inserted, so
    // the selection, the current item and the scroll position stay where they were.
    void refresh();
    // The watcher named the entries that changed: only those are looked at again.
    void refreshNames(const std::vector<std::string>& names);
    const QByteArray& folder() const { return m_path; }
    bool isLoading() const { return m_state == ListingState::Listing || m_state == ListingState::Draining; }
    ListingState listingState() const { return m_state; }

    void setShowHidden(bool show);
    bool showHidden() const { return m_store.showHidden(); }

    const DirEntry& entryAt(int row) const { return m_store.entryAt(row); }
    QByteArray pathAt(int row) const;
    // The row whose name starts with the text (type-ahead), searching on from `from`; -1 when none.
    int findPrefix(const QString& text, int from) const;
    int rowOfName(const QByteArray& name) const;
    SortColumn sortColumn() const { return m_sorter.column(); }
    Qt::SortOrder sortOrder() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Editing a name asks for a rename (renameRequested); the row changes once the disk has.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // Drags carry the items as text/uri-list; what a drop does is the view's decision.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    static QString displayName(const std::string& rawName);

  signals:
    // The listing finished: error 0, or errno with its text.
    void listed(int error, const QString& message);
    // A refresh (whole or of some names) was applied.
    void refreshed();
    void renameRequested(const QByteArray& path, const QByteArray& newName);

  private:
    // A batch of the listing, received and not yet shown, sorted by sortedBy on a pool thread.
    struct Batch {
        std::vector<DirEntry> entries;
        EntrySorter sortedBy;
    };

    // Replays the store's steps as the model's signals.
    void play(const RowChanges& changes);
    void relayout(const RowChange& change);
    void addBatch(std::vector<DirEntry>&& batch, const EntrySorter& sortedBy);
    // Merges the batches received so far into the rows: at most one merge per interval.
    void applyPending();
    void listingDone(int error, const QString& message);
    // Ends the listing once every batch is in and the rows are in the wanted order.
    void maybeFinish();
    // What waited for the listing or the re-sort: queued batches, the listing's end, queued refreshes.
    void resume();
    void applyRefresh(std::vector<DirEntry>&& fresh, int error, const QString& message);
    void startNames();
    void applyNames(int error, std::vector<DirEntry>&& found, std::vector<std::string>&& gone);
    // The rows keep their old order until the worker's new one is applied with one relayout.
    void startSort();
    void sortDone(std::vector<std::uint32_t>&& order, const EntrySorter& sortedBy, std::uint64_t version);
    bool sortWaiting() const { return !(m_sorter == m_store.sorter()); }

    ListingSourceFactory m_sources;
    std::shared_ptr<MimeIconCache> m_icons;
    Receiver m_receiver;
    QByteArray m_path;
    std::unique_ptr<ListingSource> m_source;
    RowStore m_store;
    EntrySorter m_sorter;  // the order asked for; the store's is the one the rows are in
    ListingState m_state = ListingState::Idle;
    // Bumped by setFolder: whatever a worker brings back for an older folder is dropped.
    quint64 m_generation = 0;
    std::vector<Batch> m_pending;
    // Batches of this listing that the pool is still sorting; the listing's end waits for them.
    std::shared_ptr<std::atomic<int>> m_batchesSorting;
    int m_endError = 0;
    QString m_endMessage;
    QTimer m_applyTimer;
    QElapsedTimer m_sinceApply;
    // Asked for while a listing ran: done once it ends, rather than restarting it, so a folder that
    // keeps changing is still shown as it was a moment ago instead of never.
    bool m_refreshQueued = false;
    std::vector<std::string> m_namesQueued;
    bool m_namesRunning = false;
    bool m_sortRunning = false;
};

}  // namespace kv
