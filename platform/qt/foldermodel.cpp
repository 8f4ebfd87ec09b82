#include "platform/qt/foldermodel.h"

#include <QApplication>
#include <QDateTime>
#include <QLocale>
#include <QMimeDatabase>
#include <QPointer>
#include <QStyle>
#include <algorithm>

namespace kv {

FolderModel::FolderModel(QObject* parent)
    : QAbstractTableModel(parent), m_lister(std::make_unique<FolderLister>()) {}

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
                    if (self)
                        self->addBatch(std::move(*owned), generation);
                },
                Qt::QueuedConnection);
        },
        [self, generation](int error, const std::string& message) {
            QString text = QString::fromStdString(message);
            QMetaObject::invokeMethod(
                qApp,
                [self, error, text, generation] {
                    if (self)
                        self->finish(error, text, generation);
                },
                Qt::QueuedConnection);
        });
}

void FolderModel::addBatch(std::vector<DirEntry>&& batch, quint64 generation) {
    if (generation != m_generation || batch.empty())
        return;
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
    for (const QModelIndex& i : before)
        ids.push_back(m_order[static_cast<size_t>(i.row())]);
    change();
    // Selections and the current item follow their entries to the new rows.
    std::vector<int> rowOf(m_entries.size(), -1);
    for (size_t row = 0; row < m_order.size(); ++row)
        rowOf[m_order[row]] = static_cast<int>(row);
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
        if (!m_entries[i].hidden)
            m_order.push_back(i);
}

void FolderModel::finish(int error, const QString& message, quint64 generation) {
    if (generation != m_generation)
        return;
    m_loading = false;
    emit listed(error, message);
}

void FolderModel::setShowHidden(bool show) {
    if (show == m_showHidden)
        return;
    beginResetModel();
    m_showHidden = show;
    applyFilter();
    endResetModel();
}

QByteArray FolderModel::pathAt(int row) const {
    const std::string& name = entryAt(row).name;
    QByteArray p = m_path;
    if (!p.endsWith('/'))
        p += '/';
    p += QByteArray(name.data(), static_cast<qsizetype>(name.size()));
    return p;
}

int FolderModel::findPrefix(const QString& text, int from) const {
    const int n = rowCount();
    for (int k = 0; k < n; ++k) {
        const int row = (from + k) % n;
        if (displayName(entryAt(row).name).startsWith(text, Qt::CaseInsensitive))
            return row;
    }
    return -1;
}

int FolderModel::rowOfName(const QByteArray& name) const {
    for (int row = 0; row < rowCount(); ++row)
        if (entryAt(row).name == name.toStdString())
            return row;
    return -1;
}

int FolderModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_order.size());
}

int FolderModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

Qt::ItemFlags FolderModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (entryAt(index.row()).isDir)
        f |= Qt::ItemIsDropEnabled;
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
    if (it != m_icons.end())
        return *it;
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
    if (e.isDir)
        return tr("Folder");
    const QMimeType t = db.mimeTypeForFile(displayName(e.name), QMimeDatabase::MatchExtension);
    auto it = m_types.find(t.name());
    if (it != m_types.end())
        return *it;
    QString comment = t.comment();
    if (comment.isEmpty())
        comment = t.name();
    m_types.insert(t.name(), comment);
    return comment;
}

QVariant FolderModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const DirEntry& e = entryAt(index.row());
    switch (role) {
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
            if (index.column() == NameColumn)
                return iconFor(e);
            break;
        case Qt::TextAlignmentRole:
            if (index.column() == SizeColumn)
                return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            break;
        case Qt::ToolTipRole:
            if (index.column() == NameColumn)
                return displayName(e.name);
            break;
        default:
            break;
    }
    return {};
}

QVariant FolderModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
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
    if (column < 0 || column >= ColumnCount)
        return;
    relayout([&] {
        m_sorter = EntrySorter(columns[column],
                               order == Qt::AscendingOrder ? SortOrder::Ascending : SortOrder::Descending);
        m_sorted = m_sorter.order(m_entries);
        applyFilter();
    });
}

}  // namespace kv
