#include "platform/qt/foldermodel.h"

#include <QApplication>
#include <QDateTime>
#include <QLocale>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPointer>
#include <QStyle>
#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "platform/qt/clipboardformat.h"

namespace kv {

FolderModel::FolderModel(QObject* parent)
    : QAbstractTableModel(parent),
      m_lister(std::make_unique<FolderLister>()),
      m_refresher(std::make_unique<FolderLister>()) {}

FolderModel::~FolderModel() = default;

QString FolderModel::displayName(const std::string& rawName) {
    // Names are bytes; a name that is not UTF-8 still shows (with replacement characters) and every
    // operation keeps using its bytes.
    return QString::fromUtf8(rawName.data(), static_cast<qsizetype>(rawName.size()));
}

void FolderModel::setFolder(const QByteArray& path) {
    beginResetModel();
    m_path = path;
    m_entries.clear();
    m_sorted.clear();
    m_order.clear();
    m_loading = true;
    m_refreshPending = false;
    m_refreshing = false;
    m_refresher->cancel();
    const quint64 generation = ++m_generation;
    endResetModel();
    QPointer<FolderModel> self(this);
    m_lister->start(
        path.toStdString(),
        [self, generation](std::vector<DirEntry>&& batch) {
            auto owned = std::make_shared<std::vector<DirEntry>>(std::move(batch));
            QMetaObject::invokeMethod(
                qApp,
                [self, owned, generation] {
                    if (self) self->addBatch(std::move(*owned), generation);
                },
                Qt::QueuedConnection);
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

void FolderModel::addBatch(std::vector<DirEntry>&& batch, quint64 generation) {
    if (generation != m_generation || batch.empty()) return;
    const auto firstNew = static_cast<std::uint32_t>(m_entries.size());
    m_entries.insert(m_entries.end(), std::make_move_iterator(batch.begin()),
                     std::make_move_iterator(batch.end()));
    relayout([&] {
        m_sorter.merge(m_entries, m_sorted, firstNew);
        applyFilter();
    });
}

void FolderModel::relayout(const std::function<void()>& change) {
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<std::uint32_t> ids;
    ids.reserve(static_cast<size_t>(before.size()));
    for (const QModelIndex& i : before) ids.push_back(m_order[static_cast<size_t>(i.row())]);
    change();
    // Selections and the current item follow their entries to the new rows.
    std::vector<int> rowOf(m_entries.size(), -1);
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

void FolderModel::applyFilter() {
    if (m_showHidden) {
        m_order = m_sorted;
        return;
    }
    m_order.clear();
    m_order.reserve(m_sorted.size());
    for (std::uint32_t i : m_sorted)
        if (!m_entries[i].hidden) m_order.push_back(i);
}

void FolderModel::finish(int error, const QString& message, quint64 generation) {
    if (generation != m_generation) return;
    m_loading = false;
    emit listed(error, message);
    if (m_refreshPending && error == 0) {
        m_refreshPending = false;
        refresh();
    }
}

void FolderModel::refresh() {
    if (m_path.isEmpty()) return;
    if (m_loading || m_refreshing) {
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
    std::vector<char> gone(m_entries.size(), 0);
    bool anyGone = false;
    for (std::size_t id = 0; id < m_entries.size(); ++id)
        if (!byName.count(m_entries[id].name)) gone[id] = 1, anyGone = true;
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
        std::vector<std::uint32_t> newId(m_entries.size(), 0);
        std::uint32_t next = 0;
        for (std::size_t id = 0; id < m_entries.size(); ++id)
            if (!gone[id]) {
                newId[id] = next;
                if (next != id) m_entries[next] = std::move(m_entries[id]);
                ++next;
            }
        m_entries.resize(next);
        std::erase_if(m_sorted, [&](std::uint32_t id) { return gone[id] != 0; });
        for (auto& id : m_sorted) id = newId[id];
        for (auto& id : m_order) id = newId[id];
    }

    // Changed in place: new size, date, type.
    std::vector<char> known(fresh.size(), 0);
    bool anyChanged = false;
    for (DirEntry& e : m_entries) {
        const std::size_t k = byName.at(e.name);
        known[k] = 1;
        const DirEntry& f = fresh[k];
        if (f.size != e.size || f.mtimeNs != e.mtimeNs || f.mode != e.mode || f.isDir != e.isDir ||
            f.isBrokenLink != e.isBrokenLink) {
            e = std::move(fresh[k]);
            anyChanged = true;
        }
    }
    if (anyChanged) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
        relayout([&] {
            m_sorted = m_sorter.order(m_entries);
            applyFilter();
        });
    }

    // New: merged into the order and announced as runs of inserted rows, front to back.
    const auto firstNew = static_cast<std::uint32_t>(m_entries.size());
    for (std::size_t k = 0; k < fresh.size(); ++k)
        if (!known[k]) m_entries.push_back(std::move(fresh[k]));
    if (m_entries.size() > firstNew) {
        m_sorter.merge(m_entries, m_sorted, firstNew);
        std::vector<std::uint32_t> target;
        target.reserve(m_sorted.size());
        for (std::uint32_t id : m_sorted)
            if (m_showHidden || !m_entries[id].hidden) target.push_back(id);
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
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (index.column() == NameColumn) f |= Qt::ItemIsEditable;
    if (entryAt(index.row()).isDir) f |= Qt::ItemIsDropEnabled;
    return f;
}

static QString sizeText(std::uint64_t bytes) {
    return QLocale().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeTraditionalFormat);
}

QIcon FolderModel::iconFor(const DirEntry& e) const {
    static QMimeDatabase db;
    const QString mime = e.isDir
                             ? QStringLiteral("inode/directory")
                             : db.mimeTypeForFile(displayName(e.name), QMimeDatabase::MatchExtension).name();
    auto it = m_icons.find(mime);
    if (it != m_icons.end()) return *it;
    QIcon icon;
    if (e.isDir) {
        icon = QIcon::fromTheme(QStringLiteral("folder"), qApp->style()->standardIcon(QStyle::SP_DirIcon));
    } else {
        const QMimeType t = db.mimeTypeForName(mime);
        icon = QIcon::fromTheme(
            t.iconName(),
            QIcon::fromTheme(t.genericIconName(), qApp->style()->standardIcon(QStyle::SP_FileIcon)));
    }
    m_icons.insert(mime, icon);
    return icon;
}

QString FolderModel::typeFor(const DirEntry& e) const {
    static QMimeDatabase db;
    if (e.isDir) return tr("Folder");
    const QMimeType t = db.mimeTypeForFile(displayName(e.name), QMimeDatabase::MatchExtension);
    auto it = m_types.find(t.name());
    if (it != m_types.end()) return *it;
    QString comment = t.comment();
    if (comment.isEmpty()) comment = t.name();
    m_types.insert(t.name(), comment);
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
    relayout([&] {
        m_sorter = EntrySorter(columns[column],
                               order == Qt::AscendingOrder ? SortOrder::Ascending : SortOrder::Descending);
        m_sorted = m_sorter.order(m_entries);
        applyFilter();
    });
}

}  // namespace kv
