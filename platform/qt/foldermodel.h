#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QIcon>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs/direntry.h"
#include "platform/fs/entrysorter.h"
#include "platform/fs/folderlister.h"

namespace kv {

// The rows of one folder: name, size, type, modified. Entries arrive from a lister thread in batches and
// are shown through an index vector in the chosen order; icons and types are looked up by name, and
// only for the rows being painted.
class FolderModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { NameColumn, SizeColumn, TypeColumn, ModifiedColumn, ColumnCount };

    explicit FolderModel(QObject* parent = nullptr);
    ~FolderModel() override;

    // Lists the folder at path (raw bytes); rows appear as the listing streams in.
    void setFolder(const QByteArray& path);
    // Lists the folder again and applies the difference as rows removed, changed and inserted, so
    // the selection, the current item and the scroll position stay where they were.
    void refresh();
    // The watcher named the entries that changed: only those are looked at again.
    void refreshNames(const std::vector<std::string>& names) {
        (void)names;
        refresh();
    }
    const QByteArray& folder() const { return m_path; }
    bool isLoading() const { return m_loading; }

    void setShowHidden(bool show);
    bool showHidden() const { return m_showHidden; }

    const DirEntry& entryAt(int row) const { return (*m_entries)[m_order[static_cast<size_t>(row)]]; }
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
    // A refresh was applied.
    void refreshed();
    void renameRequested(const QByteArray& path, const QByteArray& newName);

  private:
    void addBatch(std::vector<DirEntry>&& batch, quint64 generation, const EntrySorter& sortedBy);
    // Merges the batches received so far into the rows: at most one relayout per kApplyIntervalMs.
    void applyPending();
    void finish(int error, const QString& message, quint64 generation);
    void completeFinish(int error, const QString& message);
    // Orders a big folder on a worker thread; the rows keep their old order until the new one is
    // applied with one relayout.
    void startSort();
    void sortDone(std::vector<std::uint32_t>&& order, const EntrySorter& sortedBy, quint64 sortGeneration);
    void applyRefresh(std::vector<DirEntry>&& fresh, int error, const QString& message, quint64 generation,
                      quint64 refreshGeneration);
    // Changes the order of the rows, keeping persistent indexes on their entries.
    void relayout(const std::function<void()>& change);
    void applyFilter();
    // Brings m_bits up to date for the entries from `from` on.
    void syncBits(std::size_t from);
    QIcon iconFor(const DirEntry& e) const;
    QString mimeNameFor(const DirEntry& e) const;
    QString typeFor(const DirEntry& e) const;

    QByteArray m_path;
    // Everything listed, hidden ones included. Shared with a sort worker, which reads it while the
    // UI thread only reads it too: every change waits until the worker is done (m_sorting).
    std::shared_ptr<std::vector<DirEntry>> m_entries;
    std::vector<std::uint32_t> m_sorted;  // every entry in display order
    std::vector<std::uint32_t> m_order;   // the rows shown: m_sorted less hidden entries unless shown
    // Per entry, what the views ask of every row when they lay out (flags) and the hidden filter:
    // a byte each, so a pass over 100,000 rows stays in cache instead of visiting every entry.
    static constexpr std::uint8_t kDirBit = 1;
    static constexpr std::uint8_t kHiddenBit = 2;
    std::vector<std::uint8_t> m_bits;
    EntrySorter m_sorter;
    bool m_showHidden = false;
    bool m_loading = false;
    bool m_refreshing = false;
    // Asked while a listing ran: refresh once it ends, rather than restarting it, so a folder that
    // keeps changing is still shown as it was a moment ago instead of never.
    bool m_refreshPending = false;
    quint64 m_generation = 0;
    // A batch of the listing, received and not yet shown, sorted by sortedBy on a pool thread.
    struct Batch {
        std::vector<DirEntry> entries;
        EntrySorter sortedBy;
    };
    std::vector<Batch> m_pending;
    // Batches of this listing that the pool is still sorting; the listing's end waits for them.
    std::shared_ptr<std::atomic<int>> m_batchesSorting;
    bool m_finishWaiting = false;
    QTimer m_applyTimer;
    QElapsedTimer m_sinceApply;
    bool m_sorting = false;     // the rows wait for a new order
    bool m_sortWorker = false;  // a worker is reading m_entries
    quint64 m_sortGeneration = 0;
    // The listing ended while a sort ran: its end is announced once the sort is applied.
    bool m_finishPending = false;
    int m_finishError = 0;
    QString m_finishMessage;
    quint64 m_refreshGeneration = 0;
    std::unique_ptr<FolderLister> m_lister;
    std::unique_ptr<FolderLister> m_refresher;
};

}  // namespace kv
