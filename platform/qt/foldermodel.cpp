#include "platform/qt/foldermodel.h"

#include <QApplication>
#include <QDateTime>
#include <QLocale>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPointer>
#include <QStyle>
#include <QThreadPool>
#include <algorithm>
#include <numeric>
#include <string_view>
#include <thread>
#include <unordered_map>

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

FolderModel::FolderModel(QObject* parent)
    : QAbstractTableModel(parent),
      m_entries(std::make_shared<std::vector<DirEntry>>()),
      m_lister(std::make_unique<FolderLister>()),
      m_refresher(std::make_unique<FolderLister>()) {
    m_applyTimer.setSingleShot(true);
    connect(&m_applyTimer, &QTimer::timeout, this, &FolderModel::applyPending);
}

FolderModel::~FolderModel() = default;

QString FolderModel::displayName(const std::string& rawName) {
    // Names are bytes; a name that is not UTF-8 still shows (with replacement characters) and every
    // operation keeps using its bytes.
    return QString::fromUtf8(rawName.data(), static_cast<qsizetype>(rawName.size()));
}

void FolderModel::setFolder(const QByteArray& path) {
    beginResetModel();
    m_path = path;
    // A sort worker may still read the old entries; it keeps them alive and its result is dropped.
    if (m_sortWorker) {
        m_entries = std::make_shared<std::vector<DirEntry>>();
    } else {
        m_entries->clear();
    }
    m_sorting = false;
    m_sortWorker = false;
    ++m_sortGeneration;
    m_finishPending = false;
    m_pending.clear();
    m_applyTimer.stop();
    m_sorted.clear();
    m_order.clear();
    m_bits.clear();
    m_loading = true;
    m_refreshPending = false;
    m_refreshing = false;
    m_refresher->cancel();
    const quint64 generation = ++m_generation;
    m_finishWaiting = false;
    m_batchesSorting = std::make_shared<std::atomic<int>>(0);
    endResetModel();
    QPointer<FolderModel> self(this);
    m_lister->start(
        path.toStdString(),
        // Each batch is sorted on a pool thread, off the lister's thread (the listing's critical
        // path) and off the UI thread, which then only merges it with the rows.
        [self, generation, sorting = m_batchesSorting, sorter = m_sorter](std::vector<DirEntry>&& batch) {
            auto owned = std::make_shared<std::vector<DirEntry>>(std::move(batch));
            ++*sorting;
            QThreadPool::globalInstance()->start([self, owned, generation, sorter] {
                std::sort(owned->begin(), owned->end(),
                          [&](const DirEntry& a, const DirEntry& b) { return sorter.less(a, b); });
                QMetaObject::invokeMethod(
                    qApp,
                    [self, owned, generation, sorter] {
                        if (self) self->addBatch(std::move(*owned), generation, sorter);
                    },
                    Qt::QueuedConnection);
            });
        },
        [self, generation](int error, const std::string& message) {
            QString text = QString::fromStdString(message);
            QMetaObject::invokeMethod(
                qApp,
                [self, error, text, generation] {
                    if (self) self->finish(error, text, generation);
                },
                Qt::QueuedConnection);
        });
}

void FolderModel::addBatch(std::vector<DirEntry>&& batch, quint64 generation, const EntrySorter& sortedBy) {
    if (generation != m_generation) return;
    --*m_batchesSorting;
    if (!batch.empty()) m_pending.push_back({std::move(batch), sortedBy});
    if (m_finishWaiting && *m_batchesSorting == 0) {
        m_finishWaiting = false;
        finish(m_finishError, m_finishMessage, generation);
        return;
    }
    if (m_pending.empty()) return;
    if (m_sorting) return;  // applied once the new order is
    // The first rows show at once; later ones wait for the next slot. Each merge costs the views a
    // pass over every row, so the slots spread out as the folder grows: a big folder is merged a
    // few times a second rather than every frame, and the UI thread stays free in between.
    const qint64 interval = kApplyIntervalMs + static_cast<qint64>(m_order.size() / kRowsPerExtraMs);
    const qint64 since = m_sinceApply.isValid() ? m_sinceApply.elapsed() : interval;
    if (m_order.empty() || since >= interval) {
        applyPending();
    } else if (!m_applyTimer.isActive()) {
        m_applyTimer.start(static_cast<int>(interval - since));
    }
}

void FolderModel::applyPending() {
    m_applyTimer.stop();
    if (m_pending.empty() || m_sorting) return;
    m_sinceApply.start();
    std::vector<DirEntry>& entries = *m_entries;
    auto cmp = [&](std::uint32_t a, std::uint32_t b) { return m_sorter.less(entries[a], entries[b]); };
    // Each batch came sorted from a pool thread; their runs are merged here into one, which then
    // merges once with the rows already shown.
    const auto firstNew = static_cast<std::uint32_t>(entries.size());
    std::vector<std::size_t> bounds{0};  // the batches' runs within the new entries
    bool presorted = true;
    for (Batch& b : m_pending) {
        presorted = presorted && b.sortedBy == m_sorter;
        entries.insert(entries.end(), std::make_move_iterator(b.entries.begin()),
                       std::make_move_iterator(b.entries.end()));
        bounds.push_back(entries.size() - firstNew);
    }
    syncBits(firstNew);
    std::vector<std::uint32_t> fresh(entries.size() - firstNew);
    std::iota(fresh.begin(), fresh.end(), firstNew);
    if (presorted) {
        // Every batch came sorted: merge the runs pairwise, a linear pass per level.
        while (bounds.size() > 2) {
            std::vector<std::size_t> next{0};
            for (std::size_t i = 0; i + 2 < bounds.size(); i += 2) {
                std::inplace_merge(fresh.begin() + static_cast<std::ptrdiff_t>(bounds[i]),
                                   fresh.begin() + static_cast<std::ptrdiff_t>(bounds[i + 1]),
                                   fresh.begin() + static_cast<std::ptrdiff_t>(bounds[i + 2]), cmp);
                next.push_back(bounds[i + 2]);
            }
            if ((bounds.size() - 1) % 2 == 1) next.push_back(bounds.back());
            bounds = std::move(next);
        }
    } else {
        // The sort order changed while they were sorted.
        std::sort(fresh.begin(), fresh.end(), cmp);
    }
    m_pending.clear();
    if (m_order.empty()) {
        // Nothing shown yet: plain inserted rows, cheaper for the views than a relayout.
        m_sorted.insert(m_sorted.end(), fresh.begin(), fresh.end());
        std::inplace_merge(m_sorted.begin(), m_sorted.end() - static_cast<std::ptrdiff_t>(fresh.size()),
                           m_sorted.end(), cmp);
        std::vector<std::uint32_t> visible;
        for (std::uint32_t i : m_sorted)
            if (m_showHidden || !(m_bits[i] & kHiddenBit)) visible.push_back(i);
        if (visible.empty()) return;
        beginInsertRows({}, 0, static_cast<int>(visible.size()) - 1);
        m_order = std::move(visible);
        endInsertRows();
        return;
    }
    relayout([&] {
        const auto oldSize = static_cast<std::ptrdiff_t>(m_sorted.size());
        m_sorted.insert(m_sorted.end(), fresh.begin(), fresh.end());
        std::inplace_merge(m_sorted.begin(), m_sorted.begin() + oldSize, m_sorted.end(), cmp);
        applyFilter();
    });
}

void FolderModel::relayout(const std::function<void()>& change) {
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    if (before.isEmpty()) {
        change();
        emit layoutChanged();
        return;
    }
    std::vector<std::uint32_t> ids;
    ids.reserve(static_cast<size_t>(before.size()));
    for (const QModelIndex& i : before) ids.push_back(m_order[static_cast<size_t>(i.row())]);
    change();
    // Selections and the current item follow their entries to the new rows.
    std::vector<int> rowOf(m_entries->size(), -1);
    for (size_t row = 0; row < m_order.size(); ++row) rowOf[m_order[row]] = static_cast<int>(row);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype k = 0; k < before.size(); ++k) {
        const int row = rowOf[ids[static_cast<size_t>(k)]];
        after << (row < 0 ? QModelIndex() : index(row, before[k].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

void FolderModel::syncBits(std::size_t from) {
    const std::vector<DirEntry>& entries = *m_entries;
    m_bits.resize(entries.size());
    for (std::size_t id = from; id < entries.size(); ++id)
        m_bits[id] = static_cast<std::uint8_t>((entries[id].isDir ? kDirBit : 0) |
                                               (entries[id].hidden ? kHiddenBit : 0));
}

void FolderModel::applyFilter() {
    if (m_showHidden) {
        m_order = m_sorted;
        return;
    }
    m_order.clear();
    m_order.reserve(m_sorted.size());
    for (std::uint32_t i : m_sorted)
        if (!(m_bits[i] & kHiddenBit)) m_order.push_back(i);
}

void FolderModel::finish(int error, const QString& message, quint64 generation) {
    if (generation != m_generation) return;
    if (*m_batchesSorting > 0) {
        // Batches sent before the end are still being sorted: the end comes after them.
        m_finishWaiting = true;
        m_finishError = error;
        m_finishMessage = message;
        return;
    }
    if (m_sorting) {
        m_finishPending = true;
        m_finishError = error;
        m_finishMessage = message;
        return;
    }
    completeFinish(error, message);
}

void FolderModel::completeFinish(int error, const QString& message) {
    applyPending();
    m_finishPending = false;
    m_loading = false;
    // The entries grew by doubling; a big folder's spare capacity is worth handing back.
    if (m_entries->capacity() > m_entries->size() + m_entries->size() / 8) m_entries->shrink_to_fit();
    emit listed(error, message);
    if (m_refreshPending && error == 0) {
        m_refreshPending = false;
        refresh();
    }
}

void FolderModel::refresh() {
    if (m_path.isEmpty()) return;
    if (m_loading || m_refreshing || m_sorting) {
        m_refreshPending = true;
        return;
    }
    m_refreshing = true;
    const quint64 generation = m_generation;
    const quint64 refreshGeneration = ++m_refreshGeneration;
    // The batches arrive one after another on the lister's thread and the end is posted after the
    // last of them, so the list is complete, and no longer touched, when the UI thread reads it.
    auto fresh = std::make_shared<std::vector<DirEntry>>();
    QPointer<FolderModel> self(this);
    m_refresher->start(
        m_path.toStdString(),
        [fresh](std::vector<DirEntry>&& batch) {
            fresh->insert(fresh->end(), std::make_move_iterator(batch.begin()),
                          std::make_move_iterator(batch.end()));
        },
        [self, fresh, generation, refreshGeneration](int error, const std::string& message) {
            QString text = QString::fromStdString(message);
            QMetaObject::invokeMethod(
                qApp,
                [self, fresh, error, text, generation, refreshGeneration] {
                    if (self)
                        self->applyRefresh(std::move(*fresh), error, text, generation, refreshGeneration);
                },
                Qt::QueuedConnection);
        });
}

void FolderModel::applyRefresh(std::vector<DirEntry>&& fresh, int error, const QString& message,
                               quint64 generation, quint64 refreshGeneration) {
    if (generation != m_generation || refreshGeneration != m_refreshGeneration) return;
    m_refreshing = false;
    if (m_sorting) {
        // The entries may not change under the sort worker: list again once its order is applied.
        m_refreshPending = true;
        return;
    }
    if (error != 0) {
        m_refreshPending = false;
        emit listed(error, message);
        return;
    }
    std::unordered_map<std::string, std::size_t> byName;
    byName.reserve(fresh.size());
    for (std::size_t k = 0; k < fresh.size(); ++k) byName.emplace(fresh[k].name, k);

    // Gone: their rows are removed, back to front in runs, then the entries are compacted. Rows do
    // not depend on entry numbers, so renumbering needs no signal.
    std::vector<char> gone(m_entries->size(), 0);
    bool anyGone = false;
    for (std::size_t id = 0; id < m_entries->size(); ++id)
        if (!byName.count((*m_entries)[id].name)) gone[id] = 1, anyGone = true;
    if (anyGone) {
        int row = static_cast<int>(m_order.size()) - 1;
        while (row >= 0) {
            if (!gone[m_order[static_cast<size_t>(row)]]) {
                --row;
                continue;
            }
            int first = row;
            while (first > 0 && gone[m_order[static_cast<size_t>(first - 1)]]) --first;
            beginRemoveRows({}, first, row);
            m_order.erase(m_order.begin() + first, m_order.begin() + row + 1);
            endRemoveRows();
            row = first - 1;
        }
        std::vector<std::uint32_t> newId(m_entries->size(), 0);
        std::uint32_t next = 0;
        for (std::size_t id = 0; id < m_entries->size(); ++id)
            if (!gone[id]) {
                newId[id] = next;
                if (next != id) (*m_entries)[next] = std::move((*m_entries)[id]);
                ++next;
            }
        m_entries->resize(next);
        syncBits(0);
        std::erase_if(m_sorted, [&](std::uint32_t id) { return gone[id] != 0; });
        for (auto& id : m_sorted) id = newId[id];
        for (auto& id : m_order) id = newId[id];
    }

    // Changed in place: new size, date, type.
    std::vector<char> known(fresh.size(), 0);
    bool anyChanged = false;
    std::vector<char> changed(m_entries->size(), 0);
    for (std::size_t id = 0; id < m_entries->size(); ++id) {
        DirEntry& e = (*m_entries)[id];
        const std::size_t k = byName.at(e.name);
        known[k] = 1;
        const DirEntry& f = fresh[k];
        if (f.size != e.size || f.mtimeNs != e.mtimeNs || f.mode != e.mode || f.isDir != e.isDir ||
            f.isBrokenLink != e.isBrokenLink) {
            e = std::move(fresh[k]);
            changed[id] = 1;
            anyChanged = true;
        }
    }
    if (anyChanged) {
        syncBits(0);
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
        // Only the changed entries can move: take them out and merge them back in, O(rows) rather
        // than a full sort of a big folder on the UI thread.
        relayout([&] {
            std::vector<std::uint32_t> moved;
            std::erase_if(m_sorted, [&](std::uint32_t id) {
                if (!changed[id]) return false;
                moved.push_back(id);
                return true;
            });
            auto cmp = [&](std::uint32_t a, std::uint32_t b) {
                return m_sorter.less((*m_entries)[a], (*m_entries)[b]);
            };
            std::sort(moved.begin(), moved.end(), cmp);
            const auto keep = static_cast<std::ptrdiff_t>(m_sorted.size());
            m_sorted.insert(m_sorted.end(), moved.begin(), moved.end());
            std::inplace_merge(m_sorted.begin(), m_sorted.begin() + keep, m_sorted.end(), cmp);
            applyFilter();
        });
    }

    // New: merged into the order and announced as runs of inserted rows, front to back.
    const auto firstNew = static_cast<std::uint32_t>(m_entries->size());
    for (std::size_t k = 0; k < fresh.size(); ++k)
        if (!known[k]) m_entries->push_back(std::move(fresh[k]));
    syncBits(firstNew);
    if (m_entries->size() > firstNew) {
        m_sorter.merge(*m_entries, m_sorted, firstNew);
        std::vector<std::uint32_t> target;
        target.reserve(m_sorted.size());
        for (std::uint32_t id : m_sorted)
            if (m_showHidden || !(m_bits[id] & kHiddenBit)) target.push_back(id);
        std::size_t pos = 0;
        while (pos < target.size()) {
            if (target[pos] < firstNew) {
                ++pos;
                continue;
            }
            std::size_t end = pos;
            while (end < target.size() && target[end] >= firstNew) ++end;
            beginInsertRows({}, static_cast<int>(pos), static_cast<int>(end - 1));
            m_order.insert(m_order.begin() + static_cast<std::ptrdiff_t>(pos),
                           target.begin() + static_cast<std::ptrdiff_t>(pos),
                           target.begin() + static_cast<std::ptrdiff_t>(end));
            endInsertRows();
            pos = end;
        }
    }
    emit refreshed();
    if (m_refreshPending) {
        m_refreshPending = false;
        refresh();
    }
}

void FolderModel::setShowHidden(bool show) {
    if (show == m_showHidden) return;
    beginResetModel();
    m_showHidden = show;
    applyFilter();
    endResetModel();
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
    const std::string_view wanted(name.constData(), static_cast<size_t>(name.size()));
    for (int row = 0; row < rowCount(); ++row)
        if (entryAt(row).name == wanted) return row;
    return -1;
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
    return parent.isValid() ? 0 : static_cast<int>(m_order.size());
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
    if (m_bits[m_order[static_cast<size_t>(index.row())]] & kDirBit) f |= Qt::ItemIsDropEnabled;
    return f;
}

static QString sizeText(std::uint64_t bytes) {
    return QLocale().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeTraditionalFormat);
}

namespace {

// What the painted rows need of the MIME database, shared by every folder model (all on the UI
// thread): a new pane then paints its first rows from what the others already looked up.
struct TypeCache {
    QMimeDatabase db;
    // MIME type name by file name, for the rows painted lately: matching a name against the MIME
    // globs is costly (some globs are regular expressions), and a view paints its rows many times.
    QHash<QString, QString> mimeByName;
    QHash<QString, QIcon> icons;    // by MIME type name
    QHash<QString, QString> types;  // by MIME type name
};

void clearTypeCache();

TypeCache& typeCache() {
    static TypeCache cache;
    static const bool cleared = (qAddPostRoutine(clearTypeCache), true);
    (void)cleared;
    return cache;
}

// Icons go with the application, not after it.
void clearTypeCache() {
    TypeCache& c = typeCache();
    c.icons.clear();
    c.mimeByName.clear();
    c.types.clear();
}

}  // namespace

QString FolderModel::mimeNameFor(const DirEntry& e) const {
    if (e.isDir) return QStringLiteral("inode/directory");
    TypeCache& c = typeCache();
    const QString name = displayName(e.name);
    if (auto it = c.mimeByName.constFind(name); it != c.mimeByName.constEnd()) return *it;
    // A few screens' worth of rows in every pane; a folder scrolled through from end to end starts over.
    if (c.mimeByName.size() >= 8192) c.mimeByName.clear();
    const QString mime = c.db.mimeTypeForFile(name, QMimeDatabase::MatchExtension).name();
    c.mimeByName.insert(name, mime);
    return mime;
}

QIcon FolderModel::iconFor(const DirEntry& e) const {
    TypeCache& c = typeCache();
    const QString mime = mimeNameFor(e);
    auto it = c.icons.constFind(mime);
    if (it != c.icons.constEnd()) return *it;
    QIcon icon;
    if (e.isDir) {
        icon = QIcon::fromTheme(QStringLiteral("folder"), qApp->style()->standardIcon(QStyle::SP_DirIcon));
    } else {
        const QMimeType t = c.db.mimeTypeForName(mime);
        icon = QIcon::fromTheme(
            t.iconName(),
            QIcon::fromTheme(t.genericIconName(), qApp->style()->standardIcon(QStyle::SP_FileIcon)));
    }
    c.icons.insert(mime, icon);
    return icon;
}

QString FolderModel::typeFor(const DirEntry& e) const {
    if (e.isDir) return tr("Folder");
    TypeCache& c = typeCache();
    const QString mime = mimeNameFor(e);
    auto it = c.types.constFind(mime);
    if (it != c.types.constEnd()) return *it;
    const QMimeType t = c.db.mimeTypeForName(mime);
    QString comment = t.comment();
    if (comment.isEmpty()) comment = mime;
    c.types.insert(mime, comment);
    return comment;
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
                    return e.isDir ? QString() : sizeText(e.size);
                case TypeColumn:
                    return e.isSymlink && e.isBrokenLink ? tr("Broken link") : typeFor(e);
                case ModifiedColumn:
                    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(e.mtimeNs / 1000000),
                                              QLocale::ShortFormat);
            }
            break;
        case Qt::DecorationRole:
            if (index.column() == NameColumn) return iconFor(e);
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

void FolderModel::sort(int column, Qt::SortOrder order) {
    static const SortColumn columns[] = {SortColumn::Name, SortColumn::Size, SortColumn::Type,
                                         SortColumn::Modified};
    if (column < 0 || column >= ColumnCount) return;
    const EntrySorter next(columns[column],
                           order == Qt::AscendingOrder ? SortOrder::Ascending : SortOrder::Descending);
    if (next == m_sorter && !m_sorting) return;  // the rows are in that order already
    m_sorter = next;
    if (m_entries->size() > kSyncSortLimit || m_sorting) {
        startSort();
        return;
    }
    relayout([&] {
        m_sorted = m_sorter.order(*m_entries);
        applyFilter();
    });
}

void FolderModel::startSort() {
    m_sorting = true;
    // One worker at a time reads the entries; one still running comes back with an order that is no
    // longer wanted, and the wanted one is started then.
    if (m_sortWorker) return;
    m_sortWorker = true;
    const quint64 sortGeneration = ++m_sortGeneration;
    std::shared_ptr<const std::vector<DirEntry>> entries = m_entries;
    QPointer<FolderModel> self(this);
    std::thread([self, entries, sorter = m_sorter, sortGeneration] {
        auto order = std::make_shared<std::vector<std::uint32_t>>(sorter.order(*entries));
        QMetaObject::invokeMethod(
            qApp,
            [self, order, sorter, sortGeneration] {
                if (self) self->sortDone(std::move(*order), sorter, sortGeneration);
            },
            Qt::QueuedConnection);
    }).detach();
}

void FolderModel::sortDone(std::vector<std::uint32_t>&& order, const EntrySorter& sortedBy,
                           quint64 sortGeneration) {
    if (sortGeneration != m_sortGeneration) return;  // sorted another folder's entries
    m_sortWorker = false;
    if (!(sortedBy == m_sorter)) {
        startSort();
        return;
    }
    m_sorting = false;
    relayout([&] {
        m_sorted = std::move(order);
        applyFilter();
    });
    if (m_finishPending) {
        completeFinish(m_finishError, m_finishMessage);
        return;
    }
    applyPending();
    if (m_refreshPending && !m_loading) {
        m_refreshPending = false;
        refresh();
    }
}

}  // namespace kv
