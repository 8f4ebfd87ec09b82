#include "platform/qt/folderview/folderview.h"

#include <cerrno>

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <iterator>

#include "platform/fs/core/background.h"
#include "platform/qt/archives/archiveplace.h"
#include "platform/qt/common/nametext.h"
#include "platform/qt/common/pathtext.h"
#include "platform/qt/desktop/fileopener.h"
#include "platform/qt/dragdrop/folderdragdrop.h"
#include "platform/qt/folderview/clickopener.h"
#include "platform/qt/folderview/detailscolumns.h"
#include "platform/qt/folderview/foldercommands.h"
#include "platform/qt/folderview/folderdelegate.h"
#include "platform/qt/folderview/folderfollower.h"
#include "platform/qt/folderview/serverplace.h"
#include "platform/qt/folderview/widestname.h"
#include "platform/qt/listing/cutmarks.h"
#include "platform/qt/listing/foldernote.h"
#include "platform/qt/listing/statusline.h"
#include "platform/qt/location/browsehistory.h"
#include "platform/qt/pane/panehighlight.h"
#include "platform/qt/pane/windowpanes.h"
#include "platform/qt/preferences/preferences.h"
#include "platform/qt/search/folderfind.h"
#include "platform/qt/thumbnails/folderthumbnails.h"
#include "platform/qt/trash/trashplace.h"

namespace kv {

FolderView::FolderView(const PaneServices& services, QWidget* parent)
    : QWidget(parent),
      m_services(services),
      m_ops(services.ops),
      m_model(new FolderModel(this)),
      m_dragDrop(new FolderDragDrop(*this)) {
    WindowPanes::add(*this);
    m_stack = new QStackedWidget(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_banner = new QLabel(this);
    m_banner->setObjectName("banner");
    m_banner->setWordWrap(true);
    m_banner->setTextFormat(Qt::PlainText);
    m_banner->setMargin(4);
    m_banner->hide();
    layout->addWidget(m_banner);
    m_server = new ServerPlace(this, m_model);
    connect(m_server, &ServerPlace::cancelled, this, &FolderView::placeCancelled);
    connect(m_server, &ServerPlace::disconnected, this, [this](const QString& root) {
        emit folderRequested(QFile::encodeName(QDir::homePath()));
        showBanner(tr("“%1” was disconnected; showing the home folder.").arg(root));
    });
    layout->addWidget(m_server->panel());
    layout->addWidget(m_stack);

    m_details = new QTreeView;
    m_details->setModel(m_model);
    m_details->setRootIsDecorated(false);
    m_details->setItemsExpandable(false);
    m_details->setUniformRowHeights(true);
    m_details->setItemDelegate(new FolderDelegate(m_details));
    m_details->setSortingEnabled(true);
    m_details->sortByColumn(FolderModel::NameColumn, Qt::AscendingOrder);
    m_details->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_details->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_details->setAllColumnsShowFocus(true);

    m_status = new StatusLine(m_model, m_details->selectionModel(), services.space, this);
    layout->addWidget(m_status);
    m_highlight = new PaneHighlight(this);
    m_find = new FolderFind(*this, m_model, m_status, [layout, this](QWidget* bar) {
        layout->insertWidget(layout->indexOf(m_stack), bar);
    });
    connect(m_find, &FolderFind::searchStarted, this, &FolderView::searchStarted);
    connect(m_find, &FolderFind::searchClosed, this, &FolderView::searchClosed);
    connect(m_find, &FolderFind::searchColumnsWanted, this, &FolderView::setSearchColumns);
    m_details->setColumnHidden(FolderModel::FolderColumn, true);

    m_stack->addWidget(m_details);
    setUpView(m_details);
    m_trashPlace = new TrashPlace(*this, m_details);
    m_widest = new WidestName(m_model, this);
    m_columns = new DetailsColumns(m_details, m_widest);
    m_archivePlace = new ArchivePlace(*this);
    m_follower = new FolderFollower(services.watch, this);
    connect(m_follower, &FolderFollower::namesChanged, m_model, &FolderModel::refreshNames);
    connect(m_follower, &FolderFollower::refreshWanted, m_model, &FolderModel::refresh);
    m_model->setWatch(&services.watch);  // the follower passes the watch's reports on to the rows
    connect(m_follower, &FolderFollower::gone, this, [this](const QByteArray& instead, const QString& why) {
        emit folderRequested(instead);
        showBanner(why);
    });
    // A drag starts the copies other programs may ask for (items of an archive).
    m_model->setMimeDataMaker(
        [this](const QList<QByteArray>& paths) { return FolderCommands::mimeDataOf(*this, paths, false); });

    m_note = new FolderNote(this);
    new CutMarks(m_model);
    connect(m_model, &FolderModel::listed, m_find, &FolderFind::listed);
    connect(m_model, &FolderModel::listed, this, &FolderView::listed);
    connect(m_model, &FolderModel::listed, m_columns, &DetailsColumns::fit);
    connect(m_model, &FolderModel::refreshed, this, [this] {
        m_columns->fit();
        updateEmptyNote();
        applyPendingSelection();
    });
    connect(m_model, &FolderModel::renameRequested, this,
            [this](const QByteArray& path, const QByteArray& name) {
                m_ops.rename(path, name, this, whenDone([this](const JobResult& r) {
                                 if (r.undo.moved.empty()) return;
                                 const auto to = QByteArray::fromStdString(r.undo.moved.front().second);
                                 if (!isSearching()) {
                                     m_pendingSelect = pathtext::baseName(to);
                                     return;
                                 }
                                 // A result is named by its path below the search's start.
                                 const QByteArray root = folder().endsWith('/') ? folder() : folder() + '/';
                                 if (!to.startsWith(root)) return;
                                 m_pendingSelect = to.mid(root.size());
                                 m_model->refreshNames({m_pendingSelect.toStdString()});
                             }));
            });
    connect(&m_ops, &FileOperations::jobFinished, this, [this] {
        // Search results are not watched: a job started elsewhere (a drop into another pane that moved
        // a found file away, a rename there) may have changed them.
        if (m_model->isSearch() && !m_model->isLoading()) m_model->refresh();
    });
    // A new view as the user prefers it; dates follow a change at once.
    const Preferences& prefs = Preferences::shared();
    m_model->setRelativeDates(prefs.relativeDates());
    connect(&prefs, &Preferences::changed, this,
            [this] { m_model->setRelativeDates(Preferences::shared().relativeDates()); });
    if (prefs.showHidden()) setShowHidden(true);
    switch (prefs.viewMode()) {
        case Preferences::ViewMode::Icons:
            setMode(Mode::Icons);
            break;
        case Preferences::ViewMode::List:
            setMode(Mode::List);
            break;
        case Preferences::ViewMode::Details:
            break;
    }
}

void FolderView::setUpView(QAbstractItemView* v) {
    v->installEventFilter(this);
    m_highlight->addView(v);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);  // F2 and the menu rename; a click selects
    m_dragDrop->attach(v);
    v->setContextMenuPolicy(Qt::CustomContextMenu);
    new ClickOpener(
        v, [this](const QModelIndex& index) { activate(index); },
        [this](const QModelIndex& index) {
            const QByteArray folder = folderOfRow(index.row());
            if (!folder.isEmpty()) emit newTabRequested(folder);
        });
    connect(v, &QWidget::customContextMenuRequested, this,
            [this, v](const QPoint& pos) { contextMenuAt(v, pos); });
}

QListView* FolderView::iconsView() {
    // Made when first chosen: most panes never leave the details view, and a view on the model
    // follows every change of it.
    if (!m_icons) {
        m_icons = new QListView;
        m_icons->setModel(m_model);
        m_icons->setSelectionModel(m_details->selectionModel());
        auto* delegate = new FolderDelegate(m_icons);
        delegate->setWidestName(m_widest, m_icons);
        m_icons->setItemDelegate(delegate);
        m_icons->setSelectionMode(QAbstractItemView::ExtendedSelection);
        // The selection is shared with the details view and read as whole rows: a click, a key or the
        // rubber band here must select rows too, or the commands would see nothing selected.
        m_icons->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_icons->setUniformItemSizes(true);
        m_icons->setResizeMode(QListView::Adjust);
        m_icons->setMovement(QListView::Static);
        m_stack->addWidget(m_icons);
        setUpView(m_icons);
        m_thumbs = new FolderThumbnails(m_icons, m_model);
        m_thumbs->setEnabled(m_previews, m_previewsOnSlowVolumes);
        m_thumbs->setIconSize(m_iconSize);
        if (!folder().isEmpty()) m_thumbs->folderShown(folder());
        delegate->setThumbnails(m_thumbs);
        m_icons->viewport()->installEventFilter(this);  // Ctrl+wheel zooms
    }
    return m_icons;
}

FolderView::~FolderView() {
    WindowPanes::remove(*this);
    // Before the rows and their views go: the focus leaving a view that is being destroyed would
    // otherwise recolour it, and the counts would read a model already gone.
    delete m_highlight;
    delete m_status;
    delete m_follower;
}

QAbstractItemView* FolderView::currentView() const {
    return m_mode == Mode::Details ? static_cast<QAbstractItemView*>(m_details) : m_icons;
}

void FolderView::setMode(Mode mode) {
    m_mode = mode;
    if (mode == Mode::Details) {
        if (m_thumbs) m_thumbs->setActive(false);
        m_stack->setCurrentWidget(m_details);
        return;
    }
    iconsView()->setViewMode(mode == Mode::Icons ? QListView::IconMode : QListView::ListMode);
    m_thumbs->setActive(mode == Mode::Icons);
    if (mode == Mode::Icons) {
        setIconSize(m_iconSize);
    } else {
        m_icons->setIconSize(QSize(16, 16));
        m_icons->setGridSize(QSize());
    }
    m_icons->setWrapping(true);
    m_icons->setFlow(mode == Mode::Icons ? QListView::LeftToRight : QListView::TopToBottom);
    // Icon mode switches the list to free movement; the folder's order is the model's.
    m_icons->setMovement(QListView::Static);
    m_icons->setDragDropMode(QAbstractItemView::DragDrop);
    m_stack->setCurrentWidget(m_icons);
}

void FolderView::setIconSize(int px) {
    m_iconSize = std::clamp(px, kMinIconSize, kMaxIconSize);
    if (!m_icons || m_mode != Mode::Icons) return;
    m_icons->setIconSize(QSize(m_iconSize, m_iconSize));
    // Room for a name of two short lines under the icon, and a margin beside it.
    m_icons->setGridSize(QSize(std::max(80, m_iconSize + 48), m_iconSize + 32));
    m_thumbs->setIconSize(m_iconSize);
}

void FolderView::zoom(int steps) {
    const int* begin = std::begin(kIconSizes);
    const int* end = std::end(kIconSizes);
    const int count = static_cast<int>(std::size(kIconSizes));
    // A size between two steps moves to the neighbouring step, up or down.
    int i = static_cast<int>(std::lower_bound(begin, end, m_iconSize) - begin);
    if (steps > 0 && (i == count || kIconSizes[i] != m_iconSize)) --i;
    i = std::clamp(i + steps, 0, count - 1);
    setIconSize(kIconSizes[i]);
}

bool FolderView::previewsShown() const {
    return m_previews && (!m_thumbs || !m_thumbs->onSlowVolume() || m_previewsOnSlowVolumes);
}

void FolderView::setShowPreviews(bool show) {
    m_previews = show;
    // Turned on where they were off for the volume's sake: the user asked for them there.
    if (show && m_thumbs && m_thumbs->onSlowVolume()) m_previewsOnSlowVolumes = true;
    if (m_thumbs) m_thumbs->setEnabled(m_previews, m_previewsOnSlowVolumes);
}

void FolderView::showFolder(const QByteArray& path) {
    if (m_thumbs) m_thumbs->folderShown(path);
    m_find->folderShown(path);
    m_note->hide();
    m_banner->hide();
    m_server->leaving();
    m_pendingSelect.clear();
    m_follower->follow(path);
    m_trashPlace->aboutToShow(path);
    m_columns->setWanted(FolderModel::OriginColumn, TrashPlace::isTrash(path));
    m_model->setFolder(path);
    m_status->folderShown();
}

QList<int> FolderView::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& i : m_details->selectionModel()->selectedRows()) rows << i.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool FolderView::hasSelection() const {
    return m_details->selectionModel()->hasSelection();
}

QList<QByteArray> FolderView::selectedPaths() const {
    QList<QByteArray> out;
    for (const int row : selectedRows()) out << m_model->pathAt(row);
    return out;
}

bool FolderView::selectName(const QByteArray& name) {
    const int row = m_model->rowOfName(name);
    if (row < 0) return false;
    const QModelIndex i = m_model->index(row, FolderModel::NameColumn);
    m_details->selectionModel()->setCurrentIndex(
        i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    currentView()->scrollTo(i);
    return true;
}

void FolderView::activate(const QModelIndex& index) {
    if (!index.isValid()) return;
    if (m_model->isTrash()) {
        // Opened in place, a trashed item could be changed where no one looks for it.
        showBanner(tr("Items in the trash cannot be opened. Restore them first."));
        return;
    }
    const DirEntry& e = m_model->entryAt(index.row());
    const QByteArray path = m_model->pathAt(index.row());
    if (e.isDir) {
        emit folderRequested(path);
    } else if (ArchivePlace::opensAsFolder(path, e.isDir)) {
        emit folderRequested(ArchivePlace::locationOf(path));
    } else if (m_model->isArchive()) {
        m_archivePlace->openItem(path);
    } else {
        FileOpener::open({path}, this);
    }
}

QByteArray FolderView::folderOfRow(int row) const {
    if (row < 0 || row >= m_model->rowCount() || m_model->isTrash()) return {};
    const QByteArray path = m_model->pathAt(row);
    const bool isDir = m_model->entryAt(row).isDir;
    if (isDir) return path;
    return ArchivePlace::opensAsFolder(path, isDir) ? ArchivePlace::locationOf(path) : QByteArray();
}

void FolderView::openSelectedInTabs() {
    QList<int> rows = selectedRows();
    if (rows.isEmpty() && currentView()->currentIndex().isValid())
        rows << currentView()->currentIndex().row();
    for (int row : rows) {
        const QByteArray folder = folderOfRow(row);
        if (!folder.isEmpty()) emit newTabRequested(folder);
    }
}

void FolderView::openSelected() {
    QModelIndexList rows = m_details->selectionModel()->selectedRows(FolderModel::NameColumn);
    if (rows.isEmpty()) {
        activate(currentView()->currentIndex());
        return;
    }
    // Files open in their applications; of the folders, the first opens here.
    QByteArray firstFolder;
    QList<QByteArray> files;
    for (const QModelIndex& i : rows) {
        const QByteArray path = m_model->pathAt(i.row());
        const bool isDir = m_model->entryAt(i.row()).isDir;
        if (isDir || ArchivePlace::opensAsFolder(path, isDir)) {
            if (firstFolder.isEmpty()) firstFolder = isDir ? path : ArchivePlace::locationOf(path);
        } else if (m_model->isArchive()) {
            m_archivePlace->openItem(path);
        } else {
            files << path;
        }
    }
    FileOpener::open(files, this);
    if (!firstFolder.isEmpty()) emit folderRequested(firstFolder);
}

void FolderView::goUp() {
    const std::optional<BrowseHistory::Up> up = BrowseHistory::up(folder());
    if (!up) return;
    emit folderRequested(up->parent);
    // The folder left is made current, so Enter goes straight back in.
    if (folder() == up->parent) selectWhenListed(up->child);
}

void FolderView::selectWhenListed(const QByteArray& name) {
    if (m_model->isLoading() || !selectName(name)) m_pendingSelect = name;
}

void FolderView::selectAll() {
    currentView()->selectAll();
}

void FolderView::updateEmptyNote() {
    if (const QString why = m_find->emptyText(); !why.isEmpty() && m_model->rowCount() == 0)
        m_note->showText(why);
    else
        m_note->showRows(m_model->rowCount(),
                         m_model->showHidden() ? 0 : m_model->entryCount() - m_model->rowCount(),
                         m_model->isTrash());
}

void FolderView::closeFilter() {
    m_find->closeFilter();
    updateEmptyNote();
}

void FolderView::startSearch(const SearchQuery& query) {
    m_note->hide();
    m_find->startSearch(query);
}

void FolderView::setSearchColumns(bool search) {
    m_columns->setWanted(FolderModel::FolderColumn, search);
}

void FolderView::listed(int error, const QString& message) {
    if (m_server->listed(error, message)) return;
    // A damaged archive shows what could be read, and says above it why there may be more.
    if (error != 0 && m_model->isArchive() && m_model->rowCount() > 0) showBanner(message);
    if (error == 0 || (m_model->isArchive() && m_model->rowCount() > 0)) {
        updateEmptyNote();
        applyPendingSelection();
        return;
    }
    m_note->showError(
        tr("%1\n\ncannot be shown: %2").arg(NameText::shown(m_model->folder().toStdString()), message));
}

void FolderView::showBanner(const QString& text) {
    m_banner->setText(text);
    m_banner->show();
}

void FolderView::refresh() {
    m_model->refresh();
    m_status->updateFreeSpace();
}

void FolderView::focusItems() {
    currentView()->setFocus(Qt::OtherFocusReason);
}

bool FolderView::isActivePane() const {
    return m_highlight->isActive();
}

FileOperations::Done FolderView::whenDone(FileOperations::Done andThen) {
    return [this, guard = Receiver(this), shown = folder(), andThen](const JobResult& r) {
        if (!guard.alive()) return;
        if (andThen) andThen(r);
        if (folder() == shown) m_model->refresh();
    };
}

void FolderView::selectWhenListed(const QByteArray& name, bool edit) {
    m_pendingSelect = name;
    m_pendingEdit = edit;
}

void FolderView::applyPendingSelection() {
    if (m_pendingSelect.isEmpty() || !selectName(m_pendingSelect)) return;
    m_pendingSelect.clear();
    if (m_pendingEdit) {
        m_pendingEdit = false;
        renameCurrent();
    }
}

void FolderView::transfer(const QList<QByteArray>& sources, const QByteArray& targetDir, bool move,
                          FileOperations::Done andThen) {
    if (ArchivePlace::isArchive(targetDir)) {
        showBanner(
            tr("Archives are read-only here: extract the items, change them, and compress them again."));
        return;
    }
    if (!sources.isEmpty() && ArchivePlace::isArchive(sources.front())) {
        // Items of an archive are extracted; the archive keeps them, so a cut is a copy.
        m_archivePlace->extract(sources, targetDir, whenDone(std::move(andThen)));
        return;
    }
    if (move)
        m_ops.move(sources, targetDir, this, whenDone(std::move(andThen)));
    else
        m_ops.copy(sources, targetDir, this, whenDone(std::move(andThen)));
}

void FolderView::markCurrent() {
    QAbstractItemView* view = currentView();
    const QModelIndex current = view->currentIndex();
    if (!current.isValid()) return;
    view->selectionModel()->select(current, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
    const QModelIndex next = m_model->index(current.row() + 1, 0);
    if (next.isValid()) {
        view->selectionModel()->setCurrentIndex(next, QItemSelectionModel::NoUpdate);
        view->scrollTo(next);
    }
}

void FolderView::renameCurrent() {
    QAbstractItemView* v = currentView();
    QModelIndex i = v->currentIndex();
    const QModelIndexList rows = m_details->selectionModel()->selectedRows(FolderModel::NameColumn);
    if (!i.isValid() || !m_details->selectionModel()->isRowSelected(i.row(), {}))
        i = rows.isEmpty() ? QModelIndex() : rows.front();
    if (!i.isValid()) return;
    i = m_model->index(i.row(), FolderModel::NameColumn);
    v->setCurrentIndex(i);
    v->edit(i);
}

void FolderView::setShowHidden(bool show) {
    m_model->setShowHidden(show);
    updateEmptyNote();
}

void FolderView::sortBy(int column, Qt::SortOrder order) {
    m_details->sortByColumn(column, order);
}

void FolderView::typeAhead(const QString& text) {
    const int row = m_typeAhead.find(text, currentView()->currentIndex().row(), *m_model);
    if (row >= 0) selectName(QByteArray::fromStdString(m_model->entryAt(row).name));
}

}  // namespace kv
