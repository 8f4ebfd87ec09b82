#include "platform/qt/folderview.h"

#include <sys/stat.h>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>
#include <thread>

#include "platform/qt/clipboardformat.h"
#include "platform/qt/fileoperations.h"
#include "platform/qt/folderdelegate.h"
#include "platform/qt/propertiesdialog.h"
#include "platform/qt/undostack.h"

namespace kv {

namespace {

QByteArray parentOf(const QByteArray& path) {
    if (path == "/" || path.isEmpty()) return "/";
    return DropDecision::parentOf(path);
}

QByteArray baseName(const QByteArray& path) {
    const QByteArray p = DropDecision::normalized(path);
    return p.mid(p.lastIndexOf('/') + 1);
}

bool isDirectory(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

FolderView::FolderView(QWidget* parent, std::shared_ptr<FileOperations> ops)
    : QWidget(parent),
      m_ops(ops ? std::move(ops) : std::make_shared<FileOperations>()),
      m_model(new FolderModel(this)) {
    m_stack = new QStackedWidget(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_banner = new QLabel(this);
    m_banner->setWordWrap(true);
    m_banner->setTextFormat(Qt::PlainText);
    m_banner->setMargin(4);
    m_banner->hide();
    layout->addWidget(m_banner);
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
    m_details->header()->setStretchLastSection(false);
    m_details->header()->setSectionResizeMode(FolderModel::NameColumn, QHeaderView::Stretch);
    m_details->header()->resizeSection(FolderModel::SizeColumn, 80);
    m_details->header()->resizeSection(FolderModel::TypeColumn, 120);
    m_details->header()->resizeSection(FolderModel::ModifiedColumn, 130);

    m_stack->addWidget(m_details);
    setUpView(m_details);

    m_message = new QLabel(this);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    m_message->setAutoFillBackground(true);
    m_message->hide();
    connect(m_model, &FolderModel::listed, this, &FolderView::listed);
    connect(m_model, &FolderModel::refreshed, this, [this] {
        updateEmptyNote();
        applyPendingSelection();
    });
    connect(m_model, &FolderModel::renameRequested, this,
            [this](const QByteArray& path, const QByteArray& name) {
                QPointer<FolderView> self(this);
                const QByteArray shown = folder();
                m_ops->rename(path, name, this, [self, shown](const JobResult& r) {
                    if (!self || r.undo.moved.empty()) return;
                    self->m_pendingSelect = baseName(QByteArray::fromStdString(r.undo.moved.front().second));
                    self->afterJob(shown);
                });
            });
    connect(m_ops.get(), &FileOperations::folderChanged, this, &FolderView::folderChanged);
}

void FolderView::setUpView(QAbstractItemView* v) {
    v->installEventFilter(this);
    v->viewport()->installEventFilter(this);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);  // F2 and the menu rename; a click selects
    v->setDragEnabled(true);
    v->setAcceptDrops(true);
    v->viewport()->setAcceptDrops(true);
    v->setDragDropMode(QAbstractItemView::DragDrop);
    v->setDropIndicatorShown(true);
    v->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(v, &QAbstractItemView::activated, this, &FolderView::activate);
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
        m_icons->setSelectionMode(QAbstractItemView::ExtendedSelection);
        m_icons->setUniformItemSizes(true);
        m_icons->setResizeMode(QListView::Adjust);
        m_icons->setMovement(QListView::Static);
        m_stack->addWidget(m_icons);
        setUpView(m_icons);
    }
    return m_icons;
}

FolderView::~FolderView() {
    if (!m_watched.isEmpty()) m_ops->unwatch(m_watched);
}

QAbstractItemView* FolderView::currentView() const {
    return m_mode == Mode::Details ? static_cast<QAbstractItemView*>(m_details) : m_icons;
}

void FolderView::setMode(Mode mode) {
    m_mode = mode;
    if (mode == Mode::Details) {
        m_stack->setCurrentWidget(m_details);
        return;
    }
    iconsView()->setViewMode(mode == Mode::Icons ? QListView::IconMode : QListView::ListMode);
    m_icons->setIconSize(mode == Mode::Icons ? QSize(48, 48) : QSize(16, 16));
    m_icons->setGridSize(mode == Mode::Icons ? QSize(96, 80) : QSize());
    m_icons->setWrapping(true);
    m_icons->setFlow(mode == Mode::Icons ? QListView::LeftToRight : QListView::TopToBottom);
    // Icon mode switches the list to free movement; the folder's order is the model's.
    m_icons->setMovement(QListView::Static);
    m_icons->setDragDropMode(QAbstractItemView::DragDrop);
    m_stack->setCurrentWidget(m_icons);
}

void FolderView::showFolder(const QByteArray& path) {
    m_message->hide();
    m_banner->hide();
    m_pendingSelect.clear();
    if (path != m_watched) {
        if (!m_watched.isEmpty()) m_ops->unwatch(m_watched);
        m_watched = path;
        m_ops->watch(path);
    }
    m_model->setFolder(path);
}

QList<QByteArray> FolderView::selectedPaths() const {
    QList<QByteArray> out;
    QModelIndexList rows = m_details->selectionModel()->selectedRows(FolderModel::NameColumn);
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& i : rows) out << m_model->pathAt(i.row());
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
    const DirEntry& e = m_model->entryAt(index.row());
    const QByteArray path = m_model->pathAt(index.row());
    if (e.isDir) {
        emit folderRequested(path);
    } else {
        QDesktopServices::openUrl(QUrl::fromEncoded(ClipboardFormat::uriOf(path)));
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
    for (const QModelIndex& i : rows) {
        if (m_model->entryAt(i.row()).isDir) {
            if (firstFolder.isEmpty()) firstFolder = m_model->pathAt(i.row());
        } else {
            activate(i);
        }
    }
    if (!firstFolder.isEmpty()) emit folderRequested(firstFolder);
}

void FolderView::openSelectedExternally() {
    for (const QByteArray& p : selectedPaths())
        QDesktopServices::openUrl(QUrl::fromEncoded(ClipboardFormat::uriOf(p)));
}

void FolderView::goUp() {
    if (folder() != "/") emit folderRequested(parentOf(folder()));
}

void FolderView::updateEmptyNote() {
    if (m_model->rowCount() > 0) {
        if (m_message->testAttribute(Qt::WA_TransparentForMouseEvents)) m_message->hide();
        return;
    }
    m_message->setText(m_model->showHidden() ? tr("This folder is empty.")
                                             : tr("No items to show (hidden items are not shown)."));
    m_message->setAutoFillBackground(false);
    m_message->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_message->setGeometry(rect());
    m_message->show();
}

void FolderView::listed(int error, const QString& message) {
    if (error == 0) {
        updateEmptyNote();
        applyPendingSelection();
        return;
    }
    m_message->setAutoFillBackground(true);
    m_message->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    m_message->setText(tr("%1\n\ncannot be shown: %2")
                           .arg(FolderModel::displayName(m_model->folder().toStdString()), message));
    m_message->setGeometry(rect());
    m_message->show();
}

void FolderView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    m_message->setGeometry(rect());
}

// --- live refresh ---

void FolderView::folderChanged(const DirChange& change) {
    if (m_watched.isEmpty() || QByteArray::fromStdString(change.path) != m_watched) return;
    if (change.vanished) {
        // A watch that could not start is a folder that cannot be listed either: the listing's
        // message says why, and the view stays on it rather than leaving for the parent.
        if (change.error == 0) folderVanished();
        return;
    }
    m_model->refresh();
}

void FolderView::folderVanished() {
    // Looking for the nearest folder that still exists touches the disk; a stalled mount must not
    // stall the window, so it happens on a thread and the answer is posted back.
    QPointer<FolderView> self(this);
    const QByteArray gone = m_watched;
    std::thread([self, gone] {
        QByteArray p = gone;
        while (!isDirectory(p) && p != "/") p = parentOf(p);
        QMetaObject::invokeMethod(
            qApp,
            [self, gone, p] {
                if (!self || self->m_watched != gone) return;
                if (p == gone) {
                    // Still (or again) a folder, as a mount point is once its volume is gone.
                    self->m_model->refresh();
                    return;
                }
                const QString note = tr("“%1” no longer exists; showing the folder that held it.")
                                         .arg(FolderModel::displayName(gone.toStdString()));
                emit self->folderRequested(p);
                self->m_banner->setText(note);
                self->m_banner->show();
            },
            Qt::QueuedConnection);
    }).detach();
}

void FolderView::refresh() {
    m_model->refresh();
}

void FolderView::afterJob(const QByteArray& shown) {
    // The watcher would notice too; asking at once makes the result show without its delay.
    if (folder() == shown) m_model->refresh();
}

void FolderView::applyPendingSelection() {
    if (m_pendingSelect.isEmpty() || !selectName(m_pendingSelect)) return;
    m_pendingSelect.clear();
    if (m_pendingEdit) {
        m_pendingEdit = false;
        renameCurrent();
    }
}

// --- actions ---

void FolderView::copySelection(bool cut) {
    const QList<QByteArray> paths = selectedPaths();
    if (paths.isEmpty()) return;
    QGuiApplication::clipboard()->setMimeData(ClipboardFormat::toMimeData(paths, cut));
}

void FolderView::paste() {
    pasteInto(folder());
}

void FolderView::pasteInto(const QByteArray& dir) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QMimeData* data = clipboard->mimeData();
    const ClipboardFormat::Content content = ClipboardFormat::fromMimeData(data);
    if (content.paths.isEmpty() || dir.isEmpty()) return;
    QPointer<FolderView> self(this);
    const QByteArray shown = folder();
    if (content.cut) {
        m_ops->move(content.paths, dir, this, [self, shown](const JobResult& r) {
            // Cut items are pasted once: the clipboard would otherwise name files that moved away.
            if (r.ok()) {
                QClipboard* c = QGuiApplication::clipboard();
                if (c->mimeData() && ClipboardFormat::fromMimeData(c->mimeData()).cut) c->clear();
            }
            if (self) self->afterJob(shown);
        });
    } else {
        m_ops->copy(content.paths, dir, this, [self, shown](const JobResult&) {
            if (self) self->afterJob(shown);
        });
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

void FolderView::trashSelection() {
    const QList<QByteArray> paths = selectedPaths();
    if (paths.isEmpty()) return;
    QPointer<FolderView> self(this);
    const QByteArray shown = folder();
    m_ops->trash(paths, this, [self, shown](const JobResult&) {
        if (self) self->afterJob(shown);
    });
}

void FolderView::deleteSelection(bool confirm) {
    const QList<QByteArray> paths = selectedPaths();
    if (paths.isEmpty()) return;
    QPointer<FolderView> self(this);
    const QByteArray shown = folder();
    auto run = [self, paths, shown] {
        if (!self) return;
        self->m_ops->deletePermanently(paths, self, [self, shown](const JobResult&) {
            if (self) self->afterJob(shown);
        });
    };
    if (!confirm) {
        run();
        return;
    }
    const QString what = paths.size() == 1
                             ? tr("“%1”").arg(FolderModel::displayName(baseName(paths.front()).toStdString()))
                             : tr("these %1 items").arg(paths.size());
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Delete permanently"),
                                tr("Delete %1 permanently? This cannot be undone.").arg(what),
                                QMessageBox::Yes | QMessageBox::Cancel, window());
    box->setObjectName("confirmDelete");
    box->setDefaultButton(QMessageBox::Cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [box, run](int) {
        if (box->clickedButton() == box->button(QMessageBox::Yes)) run();
    });
    box->open();
}

void FolderView::newFolder() {
    QPointer<FolderView> self(this);
    const QByteArray shown = folder();
    m_ops->newFolder(shown, tr("New Folder").toUtf8(), this, [self, shown](const JobResult& r) {
        if (!self || r.undo.created.empty()) return;
        // The new folder is selected with its name open for editing, the usual next step.
        self->m_pendingSelect = baseName(QByteArray::fromStdString(r.undo.created.front()));
        self->m_pendingEdit = true;
        self->afterJob(shown);
    });
}

void FolderView::showProperties() {
    QList<QByteArray> paths = selectedPaths();
    if (paths.isEmpty()) paths << folder();
    auto* dialog = new PropertiesDialog(paths, window());
    dialog->show();
}

void FolderView::undo() {
    QPointer<FolderView> self(this);
    const QByteArray shown = folder();
    m_ops->undo(this, [self, shown](const JobResult&) {
        if (self) self->afterJob(shown);
    });
}

void FolderView::setShowHidden(bool show) {
    m_model->setShowHidden(show);
    updateEmptyNote();
}

void FolderView::sortBy(int column, Qt::SortOrder order) {
    m_details->sortByColumn(column, order);
}

void FolderView::typeAhead(const QString& text) {
    // Keys typed within the keyboard interval add up to one search ("rep" finds "report.txt");
    // a single key typed again moves on to the next name with that letter.
    if (!m_typedClock.isValid() || m_typedClock.elapsed() > QApplication::keyboardInputInterval())
        m_typed.clear();
    m_typedClock.restart();
    const bool repeat = m_typed.size() == 1 && text == m_typed;
    if (!repeat) m_typed += text;
    const int current = currentView()->currentIndex().row();
    const int from = current < 0 ? 0 : (m_typed.size() == 1 ? current + 1 : current);
    const int row = m_model->findPrefix(m_typed, m_model->rowCount() ? from % m_model->rowCount() : 0);
    if (row >= 0) selectName(QByteArray::fromStdString(m_model->entryAt(row).name));
}

// --- the right-click menu ---

QMenu* FolderView::createContextMenu(bool onItems) {
    auto* menu = new QMenu(this);
    menu->setToolTipsVisible(true);
    auto add = [&](QMenu* m, const QString& text, const char* name, const QKeySequence& keys, auto fn) {
        QAction* a = m->addAction(text);
        a->setObjectName(name);
        if (!keys.isEmpty()) {
            // Shown in the menu; the keys themselves are handled by the view, so they work without it.
            a->setShortcut(keys);
            a->setShortcutContext(Qt::WidgetShortcut);
        }
        connect(a, &QAction::triggered, this, fn);
        return a;
    };
    const bool canPaste = ClipboardFormat::hasFiles(QGuiApplication::clipboard()->mimeData());
    UndoStack* stack = m_ops->undoStack();
    const bool canUndo = stack->canUndo();
    const QString undoText = canUndo ? tr("Undo %1").arg(stack->nextDescription()) : tr("Undo");

    if (onItems) {
        const QList<QByteArray> paths = selectedPaths();
        const QModelIndexList rows = m_details->selectionModel()->selectedRows();
        const bool oneFolder = rows.size() == 1 && m_model->entryAt(rows.front().row()).isDir;
        add(menu, tr("Open"), "open", QKeySequence(Qt::Key_Return), [this] { openSelected(); });
        add(menu, tr("Open with the Default Application"), "openExternally", {},
            [this] { openSelectedExternally(); });
        menu->addSeparator();
        add(menu, tr("Cut"), "cut", QKeySequence::Cut, [this] { copySelection(true); });
        add(menu, tr("Copy"), "copy", QKeySequence::Copy, [this] { copySelection(false); });
        QAction* pasteInto = add(menu, tr("Paste into Folder"), "pasteInto", {}, [this, paths] {
            if (paths.size() == 1) this->pasteInto(paths.front());
        });
        pasteInto->setEnabled(canPaste && oneFolder);
        menu->addSeparator();
        add(menu, tr("Rename…"), "rename", QKeySequence(Qt::Key_F2), [this] {
            renameCurrent();
        })->setEnabled(rows.size() == 1);
        add(menu, tr("Move to Trash"), "trash", QKeySequence(Qt::Key_Delete), [this] { trashSelection(); });
        add(menu, tr("Delete Permanently…"), "delete", QKeySequence(Qt::SHIFT | Qt::Key_Delete),
            [this] { deleteSelection(true); });
        menu->addSeparator();
        add(menu, undoText, "undo", QKeySequence::Undo, [this] { undo(); })->setEnabled(canUndo);
        menu->addSeparator();
        add(menu, tr("Properties"), "properties", QKeySequence(Qt::ALT | Qt::Key_Return),
            [this] { showProperties(); });
        return menu;
    }

    QMenu* view = menu->addMenu(tr("View"));
    view->setObjectName("viewMenu");
    view->setToolTipsVisible(true);
    auto* modes = new QActionGroup(view);
    struct ModeEntry {
        QString text;
        const char* name;
        Mode mode;
        QString tip;
        QKeyCombination key;
    };
    const ModeEntry entries[] = {
        {tr("Icons"), "viewIcons", Mode::Icons, tr("Large icons"), Qt::CTRL | Qt::Key_1},
        {tr("List"), "viewList", Mode::List, tr("Names in columns"), Qt::CTRL | Qt::Key_2},
        {tr("Details"), "viewDetails", Mode::Details, tr("Show more details (size, type, date)"),
         Qt::CTRL | Qt::Key_3},
    };
    for (const ModeEntry& e : entries) {
        const Mode mode = e.mode;
        QAction* a = add(view, e.text, e.name, QKeySequence(e.key), [this, mode] { setMode(mode); });
        a->setToolTip(e.tip);
        a->setStatusTip(e.tip);
        a->setCheckable(true);
        a->setChecked(m_mode == mode);
        modes->addAction(a);
    }

    QMenu* sort = menu->addMenu(tr("Sort by"));
    sort->setObjectName("sortMenu");
    auto* columns = new QActionGroup(sort);
    const Qt::SortOrder order = m_model->sortOrder();
    const int sorted = static_cast<int>(m_model->sortColumn());
    const QString names[] = {tr("Name"), tr("Size"), tr("Type"), tr("Modified")};
    const char* ids[] = {"sortName", "sortSize", "sortType", "sortModified"};
    for (int c = 0; c < FolderModel::ColumnCount; ++c) {
        QAction* a = add(sort, names[c], ids[c], {}, [this, c, order] { sortBy(c, order); });
        a->setCheckable(true);
        a->setChecked(c == sorted);
        columns->addAction(a);
    }
    sort->addSeparator();
    QAction* descending = add(sort, tr("Descending"), "sortDescending", {}, [this, sorted, order] {
        sortBy(sorted, order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder);
    });
    descending->setCheckable(true);
    descending->setChecked(order == Qt::DescendingOrder);

    QAction* hidden = add(menu, tr("Show Hidden Files"), "showHidden", QKeySequence(Qt::CTRL | Qt::Key_H),
                          [this] { setShowHidden(!m_model->showHidden()); });
    hidden->setCheckable(true);
    hidden->setChecked(m_model->showHidden());
    add(menu, tr("Refresh"), "refresh", QKeySequence(Qt::Key_F5), [this] { refresh(); });
    menu->addSeparator();
    add(menu, tr("Paste"), "paste", QKeySequence::Paste, [this] { paste(); })->setEnabled(canPaste);
    add(menu, tr("New Folder"), "newFolder", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N),
        [this] { newFolder(); });
    add(menu, undoText, "undo", QKeySequence::Undo, [this] { undo(); })->setEnabled(canUndo);
    menu->addSeparator();
    add(menu, tr("Properties"), "properties", QKeySequence(Qt::ALT | Qt::Key_Return),
        [this] { showProperties(); });
    return menu;
}

void FolderView::contextMenuAt(QAbstractItemView* view, const QPoint& pos) {
    const QModelIndex i = view->indexAt(pos);
    QItemSelectionModel* sel = m_details->selectionModel();
    if (i.isValid()) {
        // A right-click on an item outside the selection acts on that item alone.
        if (!sel->isRowSelected(i.row(), {}))
            sel->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        sel->clearSelection();
    }
    QMenu* menu = createContextMenu(i.isValid());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(view->viewport()->mapToGlobal(pos));
}

// --- drag and drop ---

QByteArray FolderView::dropTargetAt(const QPoint& viewportPos) const {
    const QModelIndex i = currentView()->indexAt(viewportPos);
    if (i.isValid() && m_model->entryAt(i.row()).isDir) return m_model->pathAt(i.row());
    return folder();
}

DropDecision::Plan FolderView::planDrop(const QMimeData* data, const QPoint& viewportPos,
                                        Qt::KeyboardModifiers modifiers) {
    const ClipboardFormat::Content content = ClipboardFormat::fromMimeData(data);
    if (content.paths.isEmpty() || folder().isEmpty()) return {};
    // A drag sends a move event for every mouse step; each path is looked at once per drag.
    auto deviceOf = [this](const QByteArray& path, bool follow, dev_t& dev) {
        const QByteArray key = (follow ? "F" : "L") + path;
        auto it = m_devices.find(key);
        if (it == m_devices.end()) {
            dev_t d = 0;
            if (!DropDecision::systemDeviceOf(path, follow, d)) return false;
            it = m_devices.insert(key, d);
        }
        dev = *it;
        return true;
    };
    return DropDecision::plan(content.paths, dropTargetAt(viewportPos), modifiers, deviceOf);
}

Qt::DropAction FolderView::dropFiles(const QMimeData* data, const QPoint& viewportPos,
                                     Qt::KeyboardModifiers modifiers) {
    const DropDecision::Plan plan = planDrop(data, viewportPos, modifiers);
    m_devices.clear();
    if (plan.action == Qt::IgnoreAction) return plan.action;
    const QByteArray target = dropTargetAt(viewportPos);
    QPointer<FolderView> self(this);
    const QByteArray shown = folder();
    auto done = [self, shown](const JobResult&) {
        if (self) self->afterJob(shown);
    };
    if (plan.action == Qt::MoveAction)
        m_ops->move(plan.sources, target, this, done);
    else
        m_ops->copy(plan.sources, target, this, done);
    return plan.action;
}

void FolderView::forwardToView(QObject* viewport, QEvent* event) {
    m_forwarding = true;
    QCoreApplication::sendEvent(viewport, event);
    m_forwarding = false;
}

// --- keys ---

bool FolderView::isOurShortcut(QKeyEvent* key) const {
    const int k = key->key();
    const Qt::KeyboardModifiers m = key->modifiers() & ~Qt::KeypadModifier;
    if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut) ||
        key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Undo) ||
        key->matches(QKeySequence::SelectAll))
        return true;
    if (m == Qt::NoModifier)
        return k == Qt::Key_F2 || k == Qt::Key_F5 || k == Qt::Key_Delete || k == Qt::Key_Backspace ||
               k == Qt::Key_Return || k == Qt::Key_Enter;
    if (m == Qt::ShiftModifier) return k == Qt::Key_Delete;
    if (m == Qt::ControlModifier)
        return k == Qt::Key_H || k == Qt::Key_R || k == Qt::Key_1 || k == Qt::Key_2 || k == Qt::Key_3;
    if (m == (Qt::ControlModifier | Qt::ShiftModifier)) return k == Qt::Key_N;
    if (m == Qt::AltModifier) return k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_Up;
    return false;
}

bool FolderView::handleKey(QKeyEvent* key) {
    const int k = key->key();
    const Qt::KeyboardModifiers m = key->modifiers() & ~Qt::KeypadModifier;
    // Before the standard sequences: some desktops count Shift+Delete as Cut.
    if (m == Qt::ShiftModifier && k == Qt::Key_Delete)
        deleteSelection(true);
    else if (key->matches(QKeySequence::Copy))
        copySelection(false);
    else if (key->matches(QKeySequence::Cut))
        copySelection(true);
    else if (key->matches(QKeySequence::Paste))
        paste();
    else if (key->matches(QKeySequence::Undo))
        undo();
    else if (key->matches(QKeySequence::SelectAll))
        currentView()->selectAll();
    else if (m == Qt::NoModifier && k == Qt::Key_Backspace)
        goUp();
    else if (m == Qt::AltModifier && k == Qt::Key_Up)
        goUp();
    else if (m == Qt::NoModifier && (k == Qt::Key_Return || k == Qt::Key_Enter))
        openSelected();
    else if (m == Qt::AltModifier && (k == Qt::Key_Return || k == Qt::Key_Enter))
        showProperties();
    else if (m == Qt::NoModifier && k == Qt::Key_F2)
        renameCurrent();
    else if ((m == Qt::NoModifier && k == Qt::Key_F5) || (m == Qt::ControlModifier && k == Qt::Key_R))
        refresh();
    else if (m == Qt::NoModifier && k == Qt::Key_Delete)
        trashSelection();
    else if (m == Qt::ControlModifier && k == Qt::Key_H)
        setShowHidden(!m_model->showHidden());
    else if (m == Qt::ControlModifier && k == Qt::Key_1)
        setMode(Mode::Icons);
    else if (m == Qt::ControlModifier && k == Qt::Key_2)
        setMode(Mode::List);
    else if (m == Qt::ControlModifier && k == Qt::Key_3)
        setMode(Mode::Details);
    else if (m == (Qt::ControlModifier | Qt::ShiftModifier) && k == Qt::Key_N)
        newFolder();
    else if ((m == Qt::NoModifier || m == Qt::ShiftModifier) && !key->text().isEmpty() &&
             key->text().front().isPrint() && !key->text().front().isSpace())
        typeAhead(key->text());
    else
        return false;
    return true;
}

namespace {

// Tells the source what the drop does (or will do): the action, or that it is refused.
void answerDrop(QDropEvent* e, Qt::DropAction action) {
    if (action == Qt::IgnoreAction) {
        e->ignore();
        return;
    }
    e->setDropAction(action);
    e->accept();
}

}  // namespace

bool FolderView::eventFilter(QObject* watched, QEvent* event) {
    if (m_forwarding) return false;
    const bool isViewport = watched == m_details->viewport() || (m_icons && watched == m_icons->viewport());
    switch (event->type()) {
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress: {
            // Keys the name editor did not take come up to the view; Return there ends the edit and
            // must not open the file as well.
            const QWidget* focus = QApplication::focusWidget();
            if (isViewport ||
                (focus && focus != watched && static_cast<QWidget*>(watched)->isAncestorOf(focus)))
                break;
            auto* key = static_cast<QKeyEvent*>(event);
            if (event->type() == QEvent::ShortcutOverride) {
                // Claim our keys before a window's menu shortcut takes them.
                if (isOurShortcut(key)) {
                    event->accept();
                    return true;
                }
                break;
            }
            if (handleKey(key)) return true;
            break;
        }
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            if (!isViewport) break;
            auto* e = static_cast<QDragMoveEvent*>(event);
            if (event->type() == QEvent::DragEnter) m_devices.clear();
            if (!ClipboardFormat::hasFiles(e->mimeData())) {
                e->ignore();
                return true;
            }
            // The view highlights the folder under the cursor and scrolls; the action is ours.
            forwardToView(watched, event);
            answerDrop(e, planDrop(e->mimeData(), e->position().toPoint(), e->modifiers()).action);
            return true;
        }
        case QEvent::Drop: {
            if (!isViewport) break;
            auto* e = static_cast<QDropEvent*>(event);
            // The view ends its drag state and draws no indicator any more; its model takes no drop.
            forwardToView(watched, event);
            answerDrop(e, dropFiles(e->mimeData(), e->position().toPoint(), e->modifiers()));
            return true;
        }
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kv
