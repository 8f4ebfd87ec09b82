#include "platform/qt/foldermodel.h"

#include <QDateTime>
#include <QLocale>
#include <QMimeData>
#include <algorithm>
#include <string_view>

#include "platform/fs/folderlistingsource.h"
#include "platform/qt/clipboardformat.h"

namespace kv {

namespace {

// Batches are merged into the rows at most this often: a relayout of a big folder is O(rows) for the
// model and the views, so one per frame or two keeps the UI thread free while rows keep streaming in.
constexpr int kApplyIntervalMs = 16;
// ... plus a millisecond for every this many rows already shown.
constexpr std::size_t kRowsPerExtraMs = 1000;
// Below this many entries a re-sort takes a few milliseconds and runs at once; above it, on a worker.
constexpr std::size_t kSyncSortLimit = 20000;

}  // namespace

FolderModel::FolderModel(QObject* parent, ListingSourceFactory sources, std::shared_ptr<MimeIconCache> icons)
    : QAbstractTableModel(parent),
      m_sources(sources ? std::move(sources) : FolderListingSource::factory()),
      m_icons(icons ? std::move(icons) : MimeIconCache::shared()),
      m_receiver(this),
      m_batchesSorting(std::make_shared<std::atomic<int>>(0)) {
    m_applyTimer.setSingleShot(true);
    connect(&m_applyTimer, &QTimer::timeout, this, &FolderModel::applyPending);
}

FolderModel::~FolderModel() = default;

QString FolderModel::displayName(const std::string& rawName) {
    // Names are bytes; a name that is not UTF-8 still shows (with replacement characters) and every
    // operation keeps using its bytes.
    return QString::fromUtf8(rawName.data(), static_cast<qsizetype>(rawName.size()));
}

void FolderModel::play(const RowChanges& changes) {
    for (const RowChange& c : changes) {
        switch (c.kind) {
            case RowChange::Kind::Inserted:
                beginInsertRows({}, c.first, c.last);
                m_store.replay(c);
                endInsertRows();
                break;
            case RowChange::Kind::Removed:
                beginRemoveRows({}, c.first, c.last);
                m_store.replay(c);
                endRemoveRows();
                break;
            case RowChange::Kind::Moved:
                beginMoveRows({}, c.first, c.last, {}, c.to);
                m_store.replay(c);
                endMoveRows();
                break;
            case RowChange::Kind::Changed:
                m_store.replay(c);
                emit dataChanged(index(c.first, 0), index(c.last, ColumnCount - 1));
                break;
            case RowChange::Kind::Relaid:
                relayout(c);
                break;
            case RowChange::Kind::Reset:
                beginResetModel();
                m_store.replay(c);
                endResetModel();
                break;
        }
    }
}

void FolderModel::relayout(const RowChange& change) {
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<std::uint32_t> ids;
    ids.reserve(static_cast<size_t>(before.size()));
    for (const QModelIndex& i : before) ids.push_back(m_store.idAt(i.row()));
    m_store.replay(change);
    if (!before.isEmpty()) {
        // Persistent indexes (the selection, the current item) follow their entries to their new rows.
        std::uint32_t maxId = 0;
        for (std::uint32_t id : m_store.rows()) maxId = std::max(maxId, id);
        std::vector<int> rowOf(static_cast<size_t>(maxId) + 1, -1);
        for (int row = 0; row < m_store.rowCount(); ++row) rowOf[m_store.idAt(row)] = row;
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype k = 0; k < before.size(); ++k) {
            const std::uint32_t id = ids[static_cast<size_t>(k)];
            const int row = id < rowOf.size() ? rowOf[id] : -1;
            after << (row < 0 ? QModelIndex() : index(row, before[k].column()));
        }
        changePersistentIndexList(before, after);
    }
    emit layoutChanged();
}

void FolderModel::setFolder(const QByteArray& path) {
    m_path = path;
    ++m_generation;
    m_source = m_sources(path.toStdString());
    m_pending.clear();
    m_applyTimer.stop();
    m_refreshQueued = false;
    m_namesQueued.clear();
    m_namesRunning = false;
    m_sortRunning = false;  // a running worker's order is for the old entries: refused when it comes
    play(m_store.clear());
    play(m_store.setSorter(m_sorter));
    m_state = ListingState::Listing;
    m_batchesSorting = std::make_shared<std::atomic<int>>(0);
    m_endError = 0;
    m_endMessage.clear();
    const quint64 generation = m_generation;
    Receiver receiver = m_receiver;
    m_source->start(
        // Each batch is sorted on a pool thread, off the source's thread (the listing's critical
        // path) and off the UI thread, which then only merges it with the rows.
        [this, receiver, generation, sorting = m_batchesSorting,
         sorter = m_sorter](std::vector<DirEntry>&& batch) {
            auto owned = std::make_shared<std::vector<DirEntry>>(std::move(batch));
            ++*sorting;
            background::runOnPool([this, receiver, owned, generation, sorter] {
                std::sort(owned->begin(), owned->end(),
                          [&](const DirEntry& a, const DirEntry& b) { return sorter.less(a, b); });
                receiver.post([this, owned, generation, sorter] {
                    if (generation == m_generation) addBatch(std::move(*owned), sorter);
                });
            });
        },
        [this, receiver, generation](int error, const std::string& message) {
            receiver.post([this, generation, error, text = QString::fromStdString(message)] {
                if (generation == m_generation) listingDone(error, text);
            });
        });
}

void FolderModel::addBatch(std::vector<DirEntry>&& batch, const EntrySorter& sortedBy) {
    --*m_batchesSorting;
    if (!batch.empty()) m_pending.push_back({std::move(batch), sortedBy});
    if (m_state == ListingState::Draining && *m_batchesSorting == 0) {
        maybeFinish();
        return;
    }
    if (m_pending.empty() || sortWaiting()) return;  // applied once the new order is
    // The first rows show at once; later ones wait for the next slot. Each merge costs the views a
    // pass over every row, so the slots spread out as the folder grows: a big folder is merged a
    // few times a second rather than every frame, and the UI thread stays free in between.
    const qint64 interval =
        kApplyIntervalMs + static_cast<qint64>(static_cast<std::size_t>(rowCount()) / kRowsPerExtraMs);
    const qint64 since = m_sinceApply.isValid() ? m_sinceApply.elapsed() : interval;
    if (rowCount() == 0 || since >= interval) {
        applyPending();
    } else if (!m_applyTimer.isActive()) {
        m_applyTimer.start(static_cast<int>(interval - since));
    }
}

void FolderModel::applyPending() {
    m_applyTimer.stop();
    if (m_pending.empty() || sortWaiting()) return;
    m_sinceApply.start();
    bool presorted = true;
    std::vector<std::vector<DirEntry>> runs;
    runs.reserve(m_pending.size());
    for (Batch& b : m_pending) {
        presorted = presorted && b.sortedBy == m_store.sorter();
        runs.push_back(std::move(b.entries));
    }
    m_pending.clear();
    play(m_store.merge(std::move(runs), presorted));
}

void FolderModel::listingDone(int error, const QString& message) {
    m_state = ListingState::Draining;
    m_endError = error;
    m_endMessage = message;
    maybeFinish();
}

void FolderModel::maybeFinish() {
    if (m_state != ListingState::Draining || *m_batchesSorting > 0 || sortWaiting()) return;
    applyPending();
    m_state = ListingState::Idle;
    m_store.shrinkToFit();
    emit listed(m_endError, m_endMessage);
    if (m_endError != 0) m_refreshQueued = false;
    resume();
}

void FolderModel::resume() {
    applyPending();
    maybeFinish();
    if (m_state != ListingState::Idle || sortWaiting()) return;
    if (m_refreshQueued) {
        refresh();
    } else if (!m_namesQueued.empty() && !m_namesRunning) {
        startNames();
    }
}

void FolderModel::refresh() {
    if (m_path.isEmpty()) return;
    if (m_state != ListingState::Idle || sortWaiting()) {
        m_refreshQueued = true;
        return;
    }
    m_refreshQueued = false;
    // Every change named so far happened before this listing reads the folder: it sees them all.
    m_namesQueued.clear();
    m_state = ListingState::Refreshing;
    const quint64 generation = m_generation;
    Receiver receiver = m_receiver;
    // The batches arrive one after another on the source's thread and the end is reported after the
    // last of them, so the list is complete, and no longer touched, when the UI thread reads it.
    auto fresh = std::make_shared<std::vector<DirEntry>>();
    m_source->start(
        [fresh](std::vector<DirEntry>&& batch) {
            fresh->insert(fresh->end(), std::make_move_iterator(batch.begin()),
                          std::make_move_iterator(batch.end()));
        },
        [this, receiver, fresh, generation](int error, const std::string& message) {
            receiver.post([this, fresh, generation, error, text = QString::fromStdString(message)] {
                if (generation == m_generation) applyRefresh(std::move(*fresh), error, text);
            });
        });
}

void FolderModel::applyRefresh(std::vector<DirEntry>&& fresh, int error, const QString& message) {
    m_state = ListingState::Idle;
    if (error != 0) {
        m_refreshQueued = false;
        emit listed(error, message);
        return;
    }
    play(m_store.remove(m_store.namesMissingFrom(fresh)));
    play(m_store.update(fresh));
    play(m_store.insert(std::move(fresh)));
    emit refreshed();
    resume();
}

void FolderModel::refreshNames(const std::vector<std::string>& names) {
    if (m_path.isEmpty() || names.empty()) return;
    m_namesQueued.insert(m_namesQueued.end(), names.begin(), names.end());
    // While a listing runs the names wait for its end: it may or may not have read them yet.
    if (m_state == ListingState::Idle && !m_namesRunning && !sortWaiting()) startNames();
}

void FolderModel::startNames() {
    std::vector<std::string> names = std::move(m_namesQueued);
    m_namesQueued.clear();
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    m_namesRunning = true;
    const quint64 generation = m_generation;
    Receiver receiver = m_receiver;
    m_source->refreshNames(std::move(names),
                           [this, receiver, generation](int error, std::vector<DirEntry>&& found,
                                                        std::vector<std::string>&& gone) {
                               auto f = std::make_shared<std::vector<DirEntry>>(std::move(found));
                               auto g = std::make_shared<std::vector<std::string>>(std::move(gone));
                               receiver.post([this, generation, error, f, g] {
                                   if (generation == m_generation)
                                       applyNames(error, std::move(*f), std::move(*g));
                               });
                           });
}

void FolderModel::applyNames(int error, std::vector<DirEntry>&& found, std::vector<std::string>&& gone) {
    m_namesRunning = false;
    // A whole listing started since reads the folder after these names changed: it has them.
    if (m_state == ListingState::Refreshing) return;
    // An error means the folder itself is gone or unreadable: its watch reports that on its own.
    if (error == 0) {
        play(m_store.remove(gone));
        play(m_store.update(found));
        play(m_store.insert(std::move(found)));
        emit refreshed();
    }
    resume();
}

void FolderModel::setShowHidden(bool show) {
    play(m_store.setShowHidden(show));
}

void FolderModel::sort(int column, Qt::SortOrder order) {
    static const SortColumn columns[] = {SortColumn::Name, SortColumn::Size, SortColumn::Type,
                                         SortColumn::Modified};
    if (column < 0 || column >= ColumnCount) return;
    const EntrySorter next(columns[column],
                           order == Qt::AscendingOrder ? SortOrder::Ascending : SortOrder::Descending);
    if (next == m_sorter) return;  // the rows are in that order, or are getting it
    m_sorter = next;
    if (!sortWaiting()) {
        resume();  // back to the order the rows have: what waited for the other one goes on
    } else if (m_store.sorted().size() > kSyncSortLimit || m_sortRunning) {
        startSort();
    } else {
        play(m_store.setSorter(next));
        resume();
    }
}

void FolderModel::startSort() {
    // One worker at a time: one still running comes back with an order that is no longer wanted,
    // and the wanted one is started then.
    if (m_sortRunning) return;
    m_sortRunning = true;
    const quint64 generation = m_generation;
    const std::uint64_t version = m_store.version();
    Receiver receiver = m_receiver;
    background::runOnPool(
        [this, receiver, entries = m_store.snapshot(), sorter = m_sorter, version, generation] {
            auto order = std::make_shared<std::vector<std::uint32_t>>(sorter.order(*entries));
            receiver.post([this, order, sorter, version, generation] {
                if (generation == m_generation) sortDone(std::move(*order), sorter, version);
            });
        });
}

void FolderModel::sortDone(std::vector<std::uint32_t>&& order, const EntrySorter& sortedBy,
                           std::uint64_t version) {
    m_sortRunning = false;
    if (!sortWaiting()) return;
    RowChanges changes;
    // Another order is wanted now, or the entries changed while they were sorted: sort again.
    if (!(sortedBy == m_sorter) || !m_store.applyOrder(std::move(order), sortedBy, version, changes)) {
        startSort();
        return;
    }
    play(changes);
    resume();
}

QByteArray FolderModel::pathAt(int row) const {
    const std::string& name = entryAt(row).name;
    QByteArray p = m_path;
    if (!p.endsWith('/')) p += '/';
    p += QByteArray(name.data(), static_cast<qsizetype>(name.size()));
    return p;
}

int FolderModel::findPrefix(const QString& text, int from) const {
    const int n = rowCount();
    for (int k = 0; k < n; ++k) {
        const int row = (from + k) % n;
        if (displayName(entryAt(row).name).startsWith(text, Qt::CaseInsensitive)) return row;
    }
    return -1;
}

int FolderModel::rowOfName(const QByteArray& name) const {
    return m_store.rowOfName(std::string_view(name.constData(), static_cast<size_t>(name.size())));
}

Qt::SortOrder FolderModel::sortOrder() const {
    return m_sorter.sortOrder() == SortOrder::Ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
}
bool FolderModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.column() != NameColumn) return false;
    const std::string& old = entryAt(index.row()).name;
    const QString text = value.toString();
    // The editor only ever saw the decoded name: unchanged text keeps the original bytes, which
    // matters for a name that is not UTF-8.
    if (text.isEmpty() || text == displayName(old)) return false;
    emit renameRequested(pathAt(index.row()), text.toUtf8());
    return false;
}

QStringList FolderModel::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

QMimeData* FolderModel::mimeData(const QModelIndexList& indexes) const {
    std::vector<int> rows;  // one index per column arrives for each row
    for (const QModelIndex& i : indexes)
        if (i.isValid()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<QByteArray> paths;
    for (int row : rows) paths << pathAt(row);
    return ClipboardFormat::toMimeData(paths, false);
}

Qt::DropActions FolderModel::supportedDragActions() const {
    return Qt::CopyAction | Qt::MoveAction;
}

Qt::DropActions FolderModel::supportedDropActions() const {
    return Qt::CopyAction | Qt::MoveAction;
}

bool FolderModel::dropMimeData(const QMimeData*, Qt::DropAction, int, int, const QModelIndex&) {
    return false;  // the view runs the job; the rows follow the disk
}

int FolderModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_store.rowCount();
}

int FolderModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

Qt::ItemFlags FolderModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    // A flat list: telling the tree view so spares it a hasChildren() call per row.
    Qt::ItemFlags f =
        Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
    if (index.column() == NameColumn) f |= Qt::ItemIsEditable;
    if (m_store.flagsAt(index.row()) & RowStore::kDirFlag) f |= Qt::ItemIsDropEnabled;
    return f;
}

QVariant FolderModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const DirEntry& e = entryAt(index.row());
    switch (role) {
        case Qt::EditRole:
            return index.column() == NameColumn ? displayName(e.name) : QVariant();
        case Qt::DisplayRole:
            switch (index.column()) {
                case NameColumn:
                    return displayName(e.name);
                case SizeColumn:
                    return e.isDir ? QString()
                                   : QLocale().formattedDataSize(static_cast<qint64>(e.size), 1,
                                                                 QLocale::DataSizeTraditionalFormat);
                case TypeColumn:
                    return e.isSymlink && e.isBrokenLink ? tr("Broken link") : m_icons->typeFor(e);
                case ModifiedColumn:
                    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(e.mtimeNs / 1000000),
                                              QLocale::ShortFormat);
            }
            break;
        case Qt::DecorationRole:
            if (index.column() == NameColumn) return m_icons->iconFor(e);
            break;
        case Qt::TextAlignmentRole:
            if (index.column() == SizeColumn) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            break;
        case Qt::ToolTipRole:
            if (index.column() == NameColumn) return displayName(e.name);
            break;
        default:
            break;
    }
    return {};
}

QVariant FolderModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case NameColumn:
            return tr("Name");
        case SizeColumn:
            return tr("Size");
        case TypeColumn:
            return tr("Type");
        case ModifiedColumn:
            return tr("Modified");
    }
    return {};
}

}  // namespace kv
