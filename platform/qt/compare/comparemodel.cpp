#include "platform/qt/compare/comparemodel.h"

#include <QBrush>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QPalette>

#include "platform/qt/common/sizetext.h"

namespace kv {

namespace {

QString nameText(const CompareRow& row, const CompareItem& item) {
    if (!item.present()) return {};
    const QString name = QFile::decodeName(QByteArray::fromStdString(item.name));
    const QString shown =
        row.dir.empty() ? name : QFile::decodeName(QByteArray::fromStdString(row.dir)) + '/' + name;
    return item.isDir ? shown + '/' : shown;
}

QString timeText(const CompareItem& item) {
    if (!item.present()) return {};
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(item.mtimeNs / 1000000);
    return QLocale().toString(t, QLocale::ShortFormat);
}

QColor kindColour(CompareKind kind) {
    switch (kind) {
        case CompareKind::OnlyLeft:
        case CompareKind::NewerLeft:
            return QColor(0x1a, 0x5f, 0xb4);
        case CompareKind::OnlyRight:
        case CompareKind::NewerRight:
            return QColor(0x26, 0x80, 0x3a);
        case CompareKind::Differs:
            return QColor(0xc0, 0x1c, 0x28);
        case CompareKind::Same:
            break;
    }
    return QPalette().color(QPalette::PlaceholderText);
}

}  // namespace

CompareModel::CompareModel(QObject* parent) : QAbstractTableModel(parent) {}

void CompareModel::setResult(CompareResult result, CompareOptions options) {
    beginResetModel();
    m_options = std::move(options);
    m_rows = std::move(result.rows);
    m_counts.fill(0);
    for (const CompareRow& r : m_rows) ++m_counts[static_cast<size_t>(r.kind)];
    filter();
    endResetModel();
}

void CompareModel::clear() {
    setResult({}, m_options);
}

void CompareModel::setShown(CompareKind kind, bool shown) {
    if (isShown(kind) == shown) return;
    beginResetModel();
    m_shown[static_cast<size_t>(kind)] = shown;
    filter();
    endResetModel();
}

void CompareModel::filter() {
    m_visible.clear();
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (isShown(m_rows[i].kind)) m_visible.push_back(static_cast<int>(i));
    }
}

bool CompareModel::allows(const CompareRow& row, SyncAction action) {
    switch (action) {
        case SyncAction::CopyRight:
        case SyncAction::DeleteLeft:
            return row.left.present();
        case SyncAction::CopyLeft:
        case SyncAction::DeleteRight:
            return row.right.present();
        case SyncAction::Nothing:
            break;
    }
    return true;
}

void CompareModel::setAction(const QModelIndexList& rows, SyncAction action) {
    for (const QModelIndex& index : rows) {
        if (!index.isValid() || index.row() >= rowCount()) continue;
        CompareRow& row = m_rows[static_cast<size_t>(m_visible[static_cast<size_t>(index.row())])];
        if (!allows(row, action)) continue;
        row.action = action;
        emit dataChanged(this->index(index.row(), 0), this->index(index.row(), ColumnCount - 1));
    }
}

std::vector<CompareRow> CompareModel::shownRows() const {
    std::vector<CompareRow> out;
    out.reserve(m_visible.size());
    for (int i : m_visible) out.push_back(m_rows[static_cast<size_t>(i)]);
    return out;
}

QString CompareModel::summary() const {
    int right = 0, left = 0, deletes = 0;
    quint64 rightBytes = 0, leftBytes = 0;
    for (int i : m_visible) {
        const CompareRow& r = m_rows[static_cast<size_t>(i)];
        switch (r.action) {
            case SyncAction::CopyRight:
                ++right;
                rightBytes += r.left.size;
                break;
            case SyncAction::CopyLeft:
                ++left;
                leftBytes += r.right.size;
                break;
            case SyncAction::DeleteLeft:
            case SyncAction::DeleteRight:
                ++deletes;
                break;
            case SyncAction::Nothing:
                break;
        }
    }
    QStringList parts;
    if (right) parts << tr("%n to copy → (%1)", nullptr, right).arg(sizeText(rightBytes));
    if (left) parts << tr("%n to copy ← (%1)", nullptr, left).arg(sizeText(leftBytes));
    if (deletes) parts << tr("%n to delete", nullptr, deletes);
    if (parts.isEmpty()) parts << tr("Nothing to do");
    parts << tr("%n the same", nullptr, count(CompareKind::Same));
    return parts.join(QStringLiteral(" · "));
}

QString CompareModel::kindText(CompareKind kind) {
    switch (kind) {
        case CompareKind::OnlyLeft:
            return tr("Only left");
        case CompareKind::OnlyRight:
            return tr("Only right");
        case CompareKind::NewerLeft:
            return tr("Newer left");
        case CompareKind::NewerRight:
            return tr("Newer right");
        case CompareKind::Same:
            return tr("Same");
        case CompareKind::Differs:
            return tr("Differs");
    }
    return {};
}

QString CompareModel::actionText(SyncAction action) {
    switch (action) {
        case SyncAction::CopyRight:
            return tr("Copy →");
        case SyncAction::CopyLeft:
            return tr("← Copy");
        case SyncAction::DeleteLeft:
            return tr("Delete Left");
        case SyncAction::DeleteRight:
            return tr("Delete Right");
        case SyncAction::Nothing:
            break;
    }
    return tr("Nothing");
}

int CompareModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_visible.size());
}

int CompareModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CompareModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const CompareRow& r = rowAt(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
            case LeftName:
                return nameText(r, r.left);
            case LeftSize:
                return r.left.present() && !r.left.isDir ? sizeText(r.left.size) : QString();
            case LeftTime:
                return timeText(r.left);
            case Action:
                if (r.action != SyncAction::Nothing) return actionText(r.action);
                return r.kind == CompareKind::Same ? QStringLiteral("=") : QStringLiteral("≠");
            case RightName:
                return nameText(r, r.right);
            case RightSize:
                return r.right.present() && !r.right.isDir ? sizeText(r.right.size) : QString();
            case RightTime:
                return timeText(r.right);
            default:
                break;
        }
    } else if (role == Qt::ForegroundRole && index.column() != Action) {
        return QBrush(kindColour(r.kind));
    } else if (role == Qt::TextAlignmentRole) {
        if (index.column() == Action) return int(Qt::AlignCenter);
        if (index.column() == LeftSize || index.column() == RightSize)
            return int(Qt::AlignRight | Qt::AlignVCenter);
    } else if (role == Qt::ToolTipRole) {
        return kindText(r.kind);
    }
    return {};
}

QVariant CompareModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case LeftName:
            return tr("Left");
        case LeftSize:
        case RightSize:
            return tr("Size");
        case LeftTime:
        case RightTime:
            return tr("Modified");
        case Action:
            return tr("Action");
        case RightName:
            return tr("Right");
        default:
            break;
    }
    return {};
}

}  // namespace kv
