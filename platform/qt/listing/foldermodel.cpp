#include "platform/qt/listing/foldermodel.h"

#include <QDateTime>
#include <QLocale>
#include <QMimeData>
#include <algorithm>
#include <string_view>

#include "platform/fs/archives/archivelistingsource.h"
#include "platform/fs/archives/archivelocation.h"
#include "platform/fs/core/background.h"
#include "platform/fs/core/paths.h"
#include "platform/fs/listing/folderlistingsource.h"
#include "platform/fs/remote/remotelistingsource.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/fs/trash/trashlistingsource.h"
#include "platform/qt/common/clipboardformat.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/common/sizetext.h"
#include "platform/qt/listing/foldersizes.h"

namespace kv {

FolderModel::FolderModel(QObject* parent, ListingSourceFactory sources, std::shared_ptr<MimeIconCache> icons)
    : QAbstractTableModel(parent),
      m_icons(icons ? std::move(icons) : MimeIconCache::shared()),
      m_listing(
          m_store, [this](const RowChanges& changes) { play(changes); },
          [this, folders = sources ? std::move(sources) : FolderListingSource::factory()](
              const std::string& location) -> std::unique_ptr<ListingSource> {
              if (TrashListingSource::isLocation(location))
                  return std::make_unique<TrashListingSource>(m_trashDirs, m_trash);
              if (ArchiveLocation::is(location))
                  return std::make_unique<ArchiveListingSource>(location, m_archives);
              if (RemoteLocation::is(location))
                  return std::make_unique<RemoteListingSource>(location, m_asker);
              return folders(location);
          }) {
    live().push_back(this);
    m_sizes = new FolderSizes(this);
    connect(&m_listing, &FolderListing::listed, this, &FolderModel::listed);
    connect(&m_listing, &FolderListing::refreshed, this, &FolderModel::refreshed);
    connect(m_sizes, &FolderSizes::changed, this, [this](const QByteArray& name) {
        const int row = rowOfName(name);
        if (row >= 0) emit dataChanged(index(row, SizeColumn), index(row, SizeColumn));
    });
}

void FolderModel::setRelativeDates(bool relative) {
    if (relative == m_relativeDates) return;
    m_relativeDates = relative;
    if (rowCount() > 0) emit dataChanged(index(0, ModifiedColumn), index(rowCount() - 1, ModifiedColumn));
}

QString FolderModel::dateText(const QDateTime& when, bool relative, const QDateTime& now) {
    if (relative) {
        const qint64 days = when.date().daysTo(now.date());
        const QString time = QLocale().toString(when.time(), QLocale::ShortFormat);
        if (days == 0) return tr("Today %1").arg(time);
        if (days == 1) return tr("Yesterday %1").arg(time);
    }
    return QLocale().toString(when, QLocale::ShortFormat);
}

void FolderModel::countFolderSizes(const QList<int>& rows) {
    for (int row : rows)
        if (row >= 0 && row < rowCount() && entryAt(row).isDir)
            m_sizes->count(QByteArray::fromStdString(entryAt(row).name), pathAt(row));
}

FolderModel::~FolderModel() {
    std::erase(live(), this);
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

QString FolderModel::baseDisplayName(const std::string& rawName) {
    return NameText::shown(std::string(NameFilter::baseName(rawName)));
}

QString FolderModel::folderDisplayName(const std::string& rawName) const {
    // Every result's folder starts with the searched folder's name, the top's as much as a sub-folder's,
    // so the column reads one way ("Projects", "Projects/src") and sorts the top first.
    const std::string root = m_path.toStdString();
    const std::string top = root == "/" ? root : paths::baseName(root);
    const std::size_t slash = rawName.rfind('/');
    if (slash == std::string::npos) return NameText::shown(top);
    const std::string below = rawName.substr(0, slash);
    return NameText::shown(top == "/" ? top + below : top + '/' + below);
}

void FolderModel::setFolder(const QByteArray& path) {
    const bool wasTrash = isTrash();
    if (path != m_path || m_search) m_filter.forgetNames();
    m_sizes->clear();
    m_path = path;
    m_search = false;
    m_readOnly = isTrash() || isArchive();
    list(path);
    if (wasTrash != isTrash()) emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

bool FolderModel::isTrash() const {
    return TrashListingSource::isLocation(
        std::string_view(m_path.constData(), static_cast<size_t>(m_path.size())));
}

bool FolderModel::isRemote() const {
    return RemoteLocation::is(std::string_view(m_path.constData(), static_cast<size_t>(m_path.size())));
}

bool FolderModel::isArchive() const {
    return ArchiveLocation::is(std::string_view(m_path.constData(), static_cast<size_t>(m_path.size())));
}

std::optional<TrashRecord> FolderModel::trashRecordAt(int row) const {
    if (!isTrash()) return std::nullopt;
    return m_trash->find(entryAt(row).name);
}

std::string FolderModel::shownName(int row) const {
    if (!isTrash())
        return std::string(NameFilter::baseName(entryAt(row).name));  // a search result: its base name
    const std::optional<TrashRecord> r = trashRecordAt(row);
    return r ? r->displayName() : paths::baseName(entryAt(row).name);
}

QString FolderModel::nameAt(int row) const {
    return NameText::shown(shownName(row));
}

DirEntry FolderModel::shownEntry(int row) const {
    DirEntry e = entryAt(row);
    if (isTrash()) e.name = shownName(row);
    return e;
}

void FolderModel::showSearch(const QByteArray& root, std::unique_ptr<ListingSource> source) {
    m_filter.forgetNames();
    m_sizes->clear();
    m_path = root;
    m_search = true;
    m_readOnly = isTrash() || isArchive();
    m_listing.setSource(std::move(source));
}

void FolderModel::setNameFilter(const QString& text) {
    if (text == m_filterText) return;
    m_filterText = text;
    play(m_store.setFilter(m_filter.predicate(text.toStdString())));
}

void FolderModel::prepareNameFilter() {
    using Snapshot = std::shared_ptr<const std::vector<DirEntry>>;
    // The snapshot comes back with the names and is let go here: the row store copies its entries before
    // a change only while another holder is counted, and a count dropped on the worker would not be seen
    // to come after the worker's reading.
    runInBackground(
        this,
        [entries = m_store.snapshot()]() mutable {
            NameFilter::Folded folded = NameFilter::foldNames(*entries);
            return std::make_pair(std::move(folded), std::move(entries));
        },
        [this](std::pair<NameFilter::Folded, Snapshot>&& done) {
            m_filter.keep(std::move(done.first));
            const Snapshot release = std::move(done.second);
        },
        false);
}

int FolderModel::unfilteredCount() const {
    if (m_filterText.isEmpty()) return rowCount();
    int n = 0;
    const bool hidden = m_store.showHidden();
    for (std::uint32_t id : m_store.sorted()) n += hidden || !(m_store.flagsOf(id) & RowStore::kHiddenFlag);
    return n;
}

void FolderModel::refresh() {
    if (m_path.isEmpty()) return;
    m_sizes->clear();  // what was inside may have changed too
    if (!m_search) {
        m_listing.refresh();
        return;
    }
    // Walking the whole tree again for every change would be slow: the results are looked at again.
    std::vector<std::string> names;
    names.reserve(m_store.sorted().size());
    for (std::uint32_t id : m_store.sorted()) names.push_back(m_store.entry(id).name);
    m_listing.refreshNames(names);
}

void FolderModel::refreshNames(const std::vector<std::string>& names) {
    if (!m_sizes->isEmpty())
        for (const std::string& name : names) m_sizes->forget(QByteArray::fromStdString(name));
    if (!m_path.isEmpty()) m_listing.refreshNames(names);
}

void FolderModel::setShowHidden(bool show) {
    play(m_store.setShowHidden(show));
}

void FolderModel::sort(int column, Qt::SortOrder order) {
    static const SortColumn columns[] = {SortColumn::Name,     SortColumn::Size, SortColumn::Type,
                                         SortColumn::Modified, SortColumn::Name, SortColumn::Folder};
    // The trash's origins are not an order.
    if (column < 0 || column >= ColumnCount || column == OriginColumn) return;
    m_listing.sortBy(EntrySorter(columns[column],
                                 order == Qt::AscendingOrder ? SortOrder::Ascending : SortOrder::Descending));
}

QByteArray FolderModel::pathAt(int row) const {
    const std::string& name = entryAt(row).name;
    if (isTrash()) return QByteArray(name.data(), static_cast<qsizetype>(name.size()));
    QByteArray p = m_path;
    if (!p.endsWith('/')) p += '/';
    p += QByteArray(name.data(), static_cast<qsizetype>(name.size()));
    return p;
}

int FolderModel::findPrefix(const QString& text, int from) const {
    const int n = rowCount();
    for (int k = 0; k < n; ++k) {
        const int row = (from + k) % n;
        if (nameAt(row).startsWith(text, Qt::CaseInsensitive)) return row;
    }
    return -1;
}

int FolderModel::rowOfName(const QByteArray& name) const {
    return m_store.rowOfName(std::string_view(name.constData(), static_cast<size_t>(name.size())));
}

Qt::SortOrder FolderModel::sortOrder() const {
    return m_listing.sorter().sortOrder() == SortOrder::Ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
}
bool FolderModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || index.column() != NameColumn) return false;
    const std::string& old = entryAt(index.row()).name;
    const QString text = value.toString();
    // The editor only ever saw the decoded name: unchanged text keeps the original bytes, which
    // matters for a name that is not UTF-8 or holds control characters. A search's result is renamed
    // by its base name.
    const std::string base(NameFilter::baseName(old));
    if (text.isEmpty() || text == NameText::shown(base)) return false;
    emit renameRequested(pathAt(index.row()), NameText::edited(text, base));
    return false;
}

void FolderModel::setCutPaths(QSet<QByteArray> paths) {
    if (paths == m_cutPaths) return;
    m_cutPaths = std::move(paths);
    if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1), {IsCutRole});
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
    return m_mimeDataMaker ? m_mimeDataMaker(paths) : ClipboardFormat::toMimeData(paths, false);
}

Qt::DropActions FolderModel::supportedDragActions() const {
    // Moved out, a trashed item would leave its .trashinfo behind: restoring is how it leaves.
    if (isTrash() || isArchive()) return Qt::CopyAction;  // an archive's items are extracted, never moved out
    return Qt::CopyAction | Qt::MoveAction;
}

Qt::DropActions FolderModel::supportedDropActions() const {
    return Qt::CopyAction | Qt::MoveAction;
}

bool FolderModel::dropMimeData(const QMimeData*, Qt::DropAction, int, int, const QModelIndex&) {
    return false;  // the view runs the job; the rows follow the disk
}

QModelIndex FolderModel::index(int row, int column, const QModelIndex& parent) const {
    // The base class asks rowCount() and columnCount() first, two virtual calls for every row a view
    // lays out; a flat table can tell by itself.
    if (parent.isValid() || row < 0 || column < 0 || row >= m_store.rowCount() || column >= ColumnCount)
        return {};
    return createIndex(row, column);
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
    if (m_readOnly) return f;  // nothing in the trash or an archive is edited in place
    if (index.column() == NameColumn) f |= Qt::ItemIsEditable;
    if (m_store.flagsAt(index.row()) & RowStore::kDirFlag) f |= Qt::ItemIsDropEnabled;
    return f;
}

QVariant FolderModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const DirEntry& e = entryAt(index.row());
    switch (role) {
        case Qt::EditRole:
            return index.column() == NameColumn && !isTrash() && !isArchive() ? baseDisplayName(e.name)
                                                                              : QVariant();
        case Qt::DisplayRole:
            switch (index.column()) {
                case NameColumn:
                    return nameAt(index.row());
                case FolderColumn:
                    return folderDisplayName(e.name);
                case SizeColumn:
                    if (e.unanswered) return e.isDir ? QString() : tr("Unknown");
                    if (e.isDir)
                        return m_sizes->isEmpty() ? QString()
                                                  : m_sizes->text(QByteArray::fromStdString(e.name));
                    return sizeText(e.size);
                case TypeColumn:
                    if (e.unanswered) return tr("Not answering");
                    return e.isSymlink && e.isBrokenLink ? tr("Broken link")
                                                         : m_icons->typeFor(shownEntry(index.row()));
                case ModifiedColumn:
                    // A trashed item without a readable deletion date has none to show.
                    if (e.mtimeNs == 0 && (isTrash() || e.unanswered)) return tr("Unknown");
                    return dateText(QDateTime::fromMSecsSinceEpoch(e.mtimeNs / 1000000), m_relativeDates);
                case OriginColumn: {
                    const std::optional<TrashRecord> r = trashRecordAt(index.row());
                    if (!r) return QVariant();
                    return r->originKnown() ? NameText::shown(paths::parentOf(r->item.originalPath))
                                            : tr("Unknown");
                }
            }
            break;
        case Qt::DecorationRole:
            if (index.column() == NameColumn) return m_icons->iconFor(shownEntry(index.row()));
            break;
        case Qt::TextAlignmentRole:
            if (index.column() == SizeColumn) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            break;
        case Qt::ToolTipRole:
            if (index.column() == NameColumn && e.unanswered)
                return tr("%1\nDoes not answer (its volume may have stopped responding): size and date "
                          "unknown. Press F5 to look again.")
                    .arg(nameAt(index.row()));
            if (index.column() == NameColumn) return nameAt(index.row());
            if (index.column() == FolderColumn)
                return NameText::shown(paths::parentOf(pathAt(index.row()).toStdString()));
            if (index.column() == OriginColumn) {
                const std::optional<TrashRecord> r = trashRecordAt(index.row());
                if (r && r->originKnown()) return NameText::shown(r->item.originalPath);
            }
            break;
        case IsDirRole:
            return e.isDir;
        case IsLinkRole:
            return e.isSymlink;
        case IsCutRole:
            return !m_cutPaths.isEmpty() && m_cutPaths.contains(pathAt(index.row()));
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
            return isTrash() ? tr("Deleted") : tr("Modified");
        case OriginColumn:
            return tr("Original Location");
        case FolderColumn:
            return tr("Folder");
    }
    return {};
}

}  // namespace kv
