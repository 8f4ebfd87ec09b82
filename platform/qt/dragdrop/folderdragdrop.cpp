#include "platform/qt/dragdrop/folderdragdrop.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDrag>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QWebEngineView>

#include "platform/fs/drives/mounts.h"
#include "platform/fs/operations/linkjob.h"
#include "platform/fs/remote/remotelocation.h"
#include "platform/qt/common/clipboardformat.h"
#include "platform/qt/dragdrop/foreigndrop.h"
#include "platform/qt/listing/foldermodel.h"
#include "platform/qt/pane/folderpane.h"
#include "platform/qt/web/webdrop.h"

namespace kv {

namespace {

constexpr char kAsking[] = "kvAskOnDrop";

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

FolderDragDrop::FolderDragDrop(FolderPane& view) : QObject(view.paneWidget()), m_view(view) {}

void FolderDragDrop::attach(QAbstractItemView* itemView) {
    itemView->setDragEnabled(true);
    itemView->setAcceptDrops(true);
    itemView->viewport()->setAcceptDrops(true);
    itemView->setDragDropMode(QAbstractItemView::DragDrop);
    itemView->setDropIndicatorShown(true);
    itemView->viewport()->installEventFilter(this);
}

QByteArray FolderDragDrop::targetAt(const QPoint& viewportPos) const {
    const QModelIndex i = m_view.currentView()->indexAt(viewportPos);
    if (i.isValid() && m_view.model()->entryAt(i.row()).isDir) return m_view.model()->pathAt(i.row());
    return m_view.folder();
}

DropDecision::Plan FolderDragDrop::plan(const QMimeData* data, const QPoint& viewportPos,
                                        Qt::KeyboardModifiers modifiers, Qt::DropActions allowed) {
    const ClipboardFormat::Content content = ClipboardFormat::fromMimeData(data);
    if (content.paths.isEmpty() || m_view.folder().isEmpty()) return {};
    // Dropped on the trash, files are trashed (what is in the trash already is left out).
    if (m_view.model()->isTrash()) {
        DropDecision::Plan trashing{Qt::MoveAction, {}};
        for (const QByteArray& p : content.paths)
            if (m_view.model()->rowOfName(p) < 0) trashing.sources << p;
        if (trashing.sources.isEmpty() || !(allowed & Qt::MoveAction)) trashing.action = Qt::IgnoreAction;
        return trashing;
    }
    // Whether a drop moves or copies depends on whether the items and the target are on one volume.
    // That is told by the mount table, not by asking each path's filesystem: a dead mount would hang
    // the window in the middle of a drag. (Links are not followed: a link to another volume counts as
    // where the link is, and a wrong guess only changes the default, never what is kept.) The table
    // is read once per drag; each volume gets a number of its own.
    if (m_mountInfo.empty()) m_mountInfo = Mounts().readMountInfo();
    // A server counts as one volume: within it a drop moves, as on one disk.
    auto deviceOf = [this](const QByteArray& path, bool, dev_t& dev) {
        const std::string text = path.toStdString();
        const std::optional<RemoteLocation> remote = RemoteLocation::parse(text);
        const QByteArray key =
            QByteArray::fromStdString(remote ? remote->server() : Mounts::mountPointOf(text, m_mountInfo));
        auto it = m_devices.find(key);
        if (it == m_devices.end()) it = m_devices.insert(key, static_cast<dev_t>(m_devices.size() + 1));
        dev = *it;
        return true;
    };
    DropDecision::Plan decided =
        DropDecision::plan(content.paths, targetAt(viewportPos), modifiers, deviceOf);
    if (decided.action == Qt::MoveAction && !(allowed & Qt::MoveAction))
        decided.action = allowed & Qt::CopyAction ? Qt::CopyAction : Qt::IgnoreAction;
    return decided;
}

Qt::DropAction FolderDragDrop::drop(const QMimeData* data, const QPoint& viewportPos,
                                    Qt::KeyboardModifiers modifiers, Qt::DropActions allowed) {
    const DropDecision::Plan decided = plan(data, viewportPos, modifiers, allowed);
    m_devices.clear();
    m_mountInfo.clear();
    if (decided.action != Qt::IgnoreAction && m_view.model()->isTrash())
        m_view.fileOperations().trash(decided.sources, m_view.paneWidget());
    else if (decided.action != Qt::IgnoreAction)
        m_view.transfer(decided.sources, targetAt(viewportPos), decided.action == Qt::MoveAction);
    return decided.action;
}

bool FolderDragDrop::asks(const QMimeData* data, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    return modifiers.testFlag(Qt::AltModifier) || buttons.testFlag(Qt::RightButton) ||
           (data && data->property(kAsking).toBool());
}

void FolderDragDrop::markAsking(QMimeData* data) {
    data->setProperty(kAsking, true);
}

QMenu* FolderDragDrop::askDrop(const QMimeData* data, const QPoint& viewportPos, const QPoint& globalPos,
                               Qt::DropActions allowed) {
    const DropDecision::Plan decided = plan(data, viewportPos, {}, allowed);
    m_devices.clear();
    m_mountInfo.clear();
    if (decided.action == Qt::IgnoreAction) return nullptr;
    // What the answer acts on is taken now: the drag's data goes when the drop ends.
    const QList<QByteArray> sources = decided.sources;
    const QByteArray target = targetAt(viewportPos);
    auto* menu = new QMenu(m_view.paneWidget());
    menu->setObjectName("dropMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* move = menu->addAction(tr("&Move Here"), this,
                                    [this, sources, target] { m_view.transfer(sources, target, true); });
    move->setObjectName("moveHere");
    move->setEnabled(allowed.testFlag(Qt::MoveAction));
    QAction* copy = menu->addAction(tr("&Copy Here"), this,
                                    [this, sources, target] { m_view.transfer(sources, target, false); });
    copy->setObjectName("copyHere");
    QAction* link = menu->addAction(tr("&Link Here"), this, [this, sources, target] {
        std::vector<std::string> paths;
        for (const QByteArray& p : sources) paths.push_back(p.toStdString());
        m_view.fileOperations().run(std::make_unique<LinkJob>(std::move(paths), target.toStdString()),
                                    tr("Making links in “%1”").arg(QFile::decodeName(target)),
                                    m_view.paneWidget(), true, m_view.whenDone(), sources.size() < 20);
    });
    link->setObjectName("linkHere");
    // A link is made on this computer, to items on it.
    bool local = !RemoteLocation::is(target.toStdString());
    for (const QByteArray& p : sources) local = local && !RemoteLocation::is(p.toStdString());
    link->setEnabled(local);
    menu->addSeparator();
    menu->addAction(tr("Cancel"))->setObjectName("cancelDrop");
    // The plain drop's choice stands out, and Return takes it.
    QAction* plain = decided.action == Qt::MoveAction && move->isEnabled() ? move : copy;
    menu->setDefaultAction(plain);
    menu->setActiveAction(plain);
    menu->popup(globalPos);
    return menu;
}

bool FolderDragDrop::rightButtonEvent(QObject* viewport, QEvent* event) {
    auto* itemView = qobject_cast<QAbstractItemView*>(viewport->parent());
    if (!itemView) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* e = static_cast<QMouseEvent*>(event);
            m_rightPressed =
                e->button() == Qt::RightButton && itemView->indexAt(e->position().toPoint()).isValid();
            m_menuHeld = false;
            m_rightPressAt = e->position().toPoint();
            return false;  // the view selects the item
        }
        case QEvent::ContextMenu:
            // On a press (X11 asks for the menu then), an item's menu waits: the press may begin a drag.
            if (!m_rightPressed ||
                static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Mouse)
                return false;
            m_menuHeld = true;
            return true;
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (!m_rightPressed) return false;
            if (!e->buttons().testFlag(Qt::RightButton)) {
                m_rightPressed = m_menuHeld = false;
                return false;
            }
            if ((e->position().toPoint() - m_rightPressAt).manhattanLength() >=
                QApplication::startDragDistance()) {
                m_rightPressed = m_menuHeld = false;
                startRightDrag(itemView);
            }
            return true;  // no rubber band with the right button
        }
        case QEvent::MouseButtonRelease: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (e->button() != Qt::RightButton || !m_rightPressed) return false;
            m_rightPressed = false;
            if (m_menuHeld) {
                m_menuHeld = false;
                emit itemView->customContextMenuRequested(e->position().toPoint());
            }
            return false;
        }
        default:
            return false;
    }
}

void FolderDragDrop::startRightDrag(QAbstractItemView* itemView) {
    QModelIndexList rows;
    for (const QModelIndex& i : itemView->selectionModel()->selectedIndexes())
        if (i.column() == FolderModel::NameColumn) rows << i;
    if (rows.isEmpty()) return;
    QMimeData* data = m_view.model()->mimeData(rows);
    if (!data) return;
    markAsking(data);
    auto* drag = new QDrag(itemView);
    drag->setMimeData(data);
    const QIcon icon = qvariant_cast<QIcon>(rows.front().data(Qt::DecorationRole));
    const int edge = itemView->style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, itemView);
    if (!icon.isNull()) drag->setPixmap(icon.pixmap(edge));
    // What the drop does is asked there; the source changes nothing itself.
    drag->exec(m_view.model()->supportedDragActions() | Qt::LinkAction, Qt::CopyAction);
}

bool FolderDragDrop::foreignDragEvent(QObject* viewport, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    auto* e = static_cast<QDropEvent*>(event);
    if (ForeignDrop::webUrlsOf(e->mimeData()).isEmpty()) return false;
    forwardToView(viewport, event);
    const QByteArray folder = targetAt(e->position().toPoint());
    const bool saves = folder.startsWith('/') && !m_view.model()->isTrash();
    if (type == QEvent::Drop) {
        answerDrop(e, saves && ForeignDrop::of(m_view).drop(e->mimeData(), folder) ? Qt::CopyAction
                                                                                   : Qt::IgnoreAction);
        return true;
    }
    answerDrop(e, saves ? Qt::CopyAction : Qt::IgnoreAction);
    return true;
}

bool FolderDragDrop::webDragEvent(QObject* viewport, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    auto* e = static_cast<QDropEvent*>(event);
    QWebEngineView* page = WebDrop::sourceOf(e);
    if (!page) return false;
    // What a page's drag holds is saved from the web (WebDrop), never copied as the files it may name.
    forwardToView(viewport, event);
    const QByteArray folder = targetAt(e->position().toPoint());
    if (type == QEvent::Drop) {
        answerDrop(e, WebDrop::drop(*page, e->mimeData(), folder, e->modifiers(), m_view));
        return true;
    }
    const bool saves = folder.startsWith('/') && !m_view.model()->isTrash() &&
                       WebDrop::canSave(WebDrop::contentOf(e->mimeData(), page->url()), e->modifiers());
    answerDrop(e, saves ? Qt::CopyAction : Qt::IgnoreAction);
    return true;
}

void FolderDragDrop::forwardToView(QObject* viewport, QEvent* event) {
    m_forwarding = true;
    QCoreApplication::sendEvent(viewport, event);
    m_forwarding = false;
}

bool FolderDragDrop::eventFilter(QObject* watched, QEvent* event) {
    if (m_forwarding) return false;
    if (webDragEvent(watched, event) || foreignDragEvent(watched, event)) return true;
    if (rightButtonEvent(watched, event)) return true;
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* e = static_cast<QDragMoveEvent*>(event);
            if (event->type() == QEvent::DragEnter) {
                m_devices.clear();
                m_mountInfo.clear();
            }
            if (!ClipboardFormat::hasFiles(e->mimeData())) {
                e->ignore();
                return true;
            }
            // The item view highlights the folder under the cursor and scrolls; the action is ours.
            forwardToView(watched, event);
            answerDrop(
                e, plan(e->mimeData(), e->position().toPoint(), e->modifiers(), e->possibleActions()).action);
            return true;
        }
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(event);
            // The item view ends its drag state and draws no indicator any more; the model takes no drop.
            forwardToView(watched, event);
            if (!m_view.model()->isTrash() && asks(e->mimeData(), e->buttons(), e->modifiers())) {
                // Taken as a copy, so the source removes nothing; the answer runs the job.
                const QPoint at = e->position().toPoint();
                answerDrop(e, askDrop(e->mimeData(), at, static_cast<QWidget*>(watched)->mapToGlobal(at),
                                      e->possibleActions())
                                  ? Qt::CopyAction
                                  : Qt::IgnoreAction);
                return true;
            }
            answerDrop(e, drop(e->mimeData(), e->position().toPoint(), e->modifiers(), e->possibleActions()));
            return true;
        }
        default:
            return false;
    }
}

}  // namespace kv
