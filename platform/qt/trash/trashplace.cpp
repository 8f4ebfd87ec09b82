#include "platform/qt/trash/trashplace.h"

#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeView>

#include "platform/fs/core/paths.h"
#include "platform/fs/operations/purgejob.h"
#include "platform/fs/operations/restorejob.h"
#include "platform/fs/trash/trashlistingsource.h"
#include "platform/qt/jobs/fileoperations.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/listing/folderwatch.h"
#include "platform/qt/pane/folderpane.h"

namespace kv {

namespace {

using Column = FolderModel::Column;

// The columns in the order they show, the rest hidden.
const std::vector<int> kFolderColumns = {Column::NameColumn, Column::SizeColumn, Column::TypeColumn,
                                         Column::ModifiedColumn};
const std::vector<int> kTrashColumns = {Column::NameColumn, Column::OriginColumn, Column::ModifiedColumn,
                                        Column::SizeColumn, Column::TypeColumn};

QString countText(const FolderModel& model, const QList<int>& rows) {
    return rows.size() == 1 ? TrashPlace::tr("“%1”").arg(model.nameAt(rows.front()))
                            : TrashPlace::tr("these %1 items").arg(rows.size());
}

}  // namespace

TrashPlace::TrashPlace(FolderPane& view, QTreeView* details)
    : QObject(view.paneWidget()),
      m_view(view),
      m_ops(view.services().ops),
      m_watch(view.services().watch),
      m_details(details) {
    m_details->header()->resizeSection(Column::OriginColumn, 200);
    arrangeColumns(false);
    // The origins are no order the rows can take (the row store sorts by the entries' own fields): a
    // click on that header keeps the order there is, and says so.
    connect(m_details->header(), &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder) {
        if (column != Column::OriginColumn) return;
        QHeaderView* header = m_details->header();
        const QSignalBlocker block(header);
        header->setSortIndicator(static_cast<int>(m_view.model()->sortColumn()), m_view.model()->sortOrder());
    });
    FolderModel* model = m_view.model();
    connect(model, &FolderModel::listed, this, &TrashPlace::follow);
    connect(model, &FolderModel::refreshed, this, &TrashPlace::follow);
    connect(&m_watch, &FolderWatch::folderChanged, this, &TrashPlace::folderChanged);
    // Any job may have put something into the trash (or a trash folder that did not exist yet).
    connect(&m_ops, &FileOperations::jobFinished, this, [this] {
        if (m_view.model()->isTrash()) m_view.model()->refresh();
    });
}

TrashPlace::~TrashPlace() {
    unwatchAll();
}

bool TrashPlace::isTrash(const QByteArray& location) {
    return TrashListingSource::isLocation(
        std::string_view(location.constData(), static_cast<size_t>(location.size())));
}

void TrashPlace::aboutToShow(const QByteArray& location) {
    const bool trash = isTrash(location);
    if (trash) m_view.model()->setTrashDirs(m_ops.trashDirs());
    if (!trash) unwatchAll();
    arrangeColumns(trash);
}

void TrashPlace::arrangeColumns(bool trash) {
    if (m_arranged && trash == m_trashColumns) return;
    m_arranged = true;
    m_trashColumns = trash;
    QHeaderView* header = m_details->header();
    const std::vector<int>& order = trash ? kTrashColumns : kFolderColumns;
    for (int visual = 0; visual < static_cast<int>(order.size()); ++visual)
        header->moveSection(header->visualIndex(order[static_cast<size_t>(visual)]), visual);
    header->setSectionHidden(Column::OriginColumn, !trash);
}

void TrashPlace::follow() {
    if (!m_view.model()->isTrash()) return;
    QList<QByteArray> now;
    for (const std::string& dir : m_view.model()->trashFolders()) now << QByteArray::fromStdString(dir);
    for (const QByteArray& dir : now)
        if (!m_watched.contains(dir)) m_watch.watch(dir);
    for (const QByteArray& dir : m_watched)
        if (!now.contains(dir)) m_watch.unwatch(dir);
    m_watched = now;
}

void TrashPlace::unwatchAll() {
    for (const QByteArray& dir : m_watched) m_watch.unwatch(dir);
    m_watched.clear();
}

void TrashPlace::folderChanged(const DirChange& change) {
    if (!m_view.model()->isTrash() || !m_watched.contains(QByteArray::fromStdString(change.path))) return;
    // A change in files/ may come with a new .trashinfo, or before it: the whole trash is read again
    // (it is small next to a folder, and an item's row needs both).
    m_view.model()->refresh();
}

std::vector<TrashedItem> TrashPlace::selectedItems() const {
    std::vector<TrashedItem> items;
    for (const int row : m_view.selectedRows()) {
        if (std::optional<TrashRecord> r = m_view.model()->trashRecordAt(row)) {
            items.push_back(r->item);
        } else {
            // Not catalogued (cannot happen for a listed row): its info file is where the layout puts it.
            const std::string path = m_view.model()->entryAt(row).name;
            const std::string trashDir = paths::parentOf(paths::parentOf(path));
            items.push_back(
                {{}, path, paths::join(trashDir, "info/" + paths::baseName(path) + ".trashinfo")});
        }
    }
    return items;
}

void TrashPlace::confirm(const QString& objectName, const QString& title, const QString& text,
                         std::function<void()> run) {
    auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Yes | QMessageBox::Cancel,
                                m_view.paneWidget()->window());
    box->setObjectName(objectName);
    box->setDefaultButton(QMessageBox::Cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [box, run = std::move(run)](int) {
        if (box->clickedButton() == box->button(QMessageBox::Yes)) run();
    });
    box->open();
}

void TrashPlace::restoreSelection() {
    const QList<int> rows = m_view.selectedRows();
    if (rows.isEmpty()) return;
    m_ops.run(std::make_unique<RestoreJob>(selectedItems()),
              tr("Restoring %1").arg(countText(*m_view.model(), rows)), m_view.paneWidget(), false, {});
}

void TrashPlace::deleteSelection() {
    const QList<int> rows = m_view.selectedRows();
    if (rows.isEmpty()) return;
    const QString what = countText(*m_view.model(), rows);
    confirm("confirmDeleteFromTrash", tr("Delete permanently"),
            tr("Delete %1 permanently? This cannot be undone.").arg(what),
            [this, items = selectedItems(), what] {
                m_ops.run(std::make_unique<PurgeJob>(items), tr("Deleting %1").arg(what), m_view.paneWidget(),
                          false, {});
            });
}

void TrashPlace::empty() {
    confirm("confirmEmptyTrash", tr("Empty Trash"),
            tr("Delete everything in the trash permanently? This cannot be undone."), [this] {
                m_ops.run(std::make_unique<PurgeJob>(m_ops.trashDirs()), tr("Emptying the Trash"),
                          m_view.paneWidget(), false, {});
            });
}

}  // namespace kv
