#include "platform/qt/listing/statuscounts.h"

#include <QItemSelectionModel>

#include "platform/qt/listing/foldermodel.h"

namespace kv {

StatusCounts::StatusCounts(const FolderModel* model, const QItemSelectionModel* selection, QObject* parent)
    : QObject(parent), m_model(model), m_selection(selection) {
    m_recount.setSingleShot(true);
    m_recount.setInterval(0);
    connect(&m_recount, &QTimer::timeout, this, [this] {
        if (m_stale) recount();
    });
    // Inserted rows are new to the selection and are counted in. Removed ones leave the selection
    // without a signal on some paths; changes in place, moves and new orders leave no trace of the
    // old values: all of these are counted again.
    connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
        if (m_stale) return;
        addRows(first, last);
        emit changed();
    });
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, &StatusCounts::invalidate);
    connect(model, &QAbstractItemModel::dataChanged, this, &StatusCounts::invalidate);
    connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this, &StatusCounts::invalidate);
    connect(model, &QAbstractItemModel::rowsAboutToBeMoved, this, &StatusCounts::invalidate);
    connect(model, &QAbstractItemModel::modelReset, this, &StatusCounts::invalidate);
    connect(selection, &QItemSelectionModel::selectionChanged, this, &StatusCounts::selectionChanged);
    recount();
}

const StatusCounts::Totals& StatusCounts::totals() {
    if (m_stale) recount();
    return m_totals;
}

void StatusCounts::addRows(int first, int last) {
    qint64 folders = 0;
    for (int row = first; row <= last; ++row) folders += (m_model->flagsAt(row) & RowStore::kDirFlag) != 0;
    m_totals.folders += folders;
    m_totals.files += last - first + 1 - folders;
}

void StatusCounts::addSelection(const QItemSelection& ranges, int sign) {
    const int rows = m_model->rowCount();
    for (const QItemSelectionRange& r : ranges) {
        // A row counts once: by its first column, whichever ranges its other columns are in.
        if (r.left() > 0 || r.model() != m_model) continue;
        const int last = std::min(r.bottom(), rows - 1);
        for (int row = std::max(r.top(), 0); row <= last; ++row) {
            m_totals.selected += sign;
            if (m_model->flagsAt(row) & RowStore::kDirFlag) continue;
            m_totals.selectedFiles += sign;
            const quint64 size = m_model->entryAt(row).size;
            m_totals.selectedBytes = sign > 0 ? m_totals.selectedBytes + size : m_totals.selectedBytes - size;
        }
    }
}

void StatusCounts::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    if (m_stale) return;
    addSelection(deselected, -1);
    addSelection(selected, 1);
    emit changed();
}

void StatusCounts::invalidate() {
    m_stale = true;
    m_recount.start();
}

void StatusCounts::recount() {
    m_stale = false;
    const Totals before = m_totals;
    m_totals = {};
    if (const int rows = m_model->rowCount(); rows > 0) addRows(0, rows - 1);
    addSelection(m_selection->selection(), 1);
    if (!(m_totals == before)) emit changed();
}

}  // namespace kv
