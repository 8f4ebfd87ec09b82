#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QTreeView>
#include <QWheelEvent>

#include "platform/qt/folderview/folderactions.h"
#include "platform/qt/folderview/folderview.h"
#include "platform/qt/web/sourcepage.h"

// The folder view's right-click menus and keys, made from its command table (FolderActions). The
// table's rows act on the view, so this is the one file that includes both: the view's own file does
// not, and the table's does not include this.

namespace kv {

QMenu* FolderView::createContextMenu(bool onItems) {
    QMenu* menu = FolderActions::createMenu(*this, onItems);
    if (onItems) SourcePage::offer(*menu, *this);
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

bool FolderView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel && m_icons && watched == m_icons->viewport() &&
        m_mode == Mode::Icons) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (!(wheel->modifiers() & Qt::ControlModifier)) return false;
        // A notch is 120; touchpads send it in small pieces.
        m_wheelZoom += wheel->angleDelta().y();
        if (const int steps = m_wheelZoom / 120) {
            m_wheelZoom -= steps * 120;
            zoom(steps);
        }
        return true;
    }
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress) return false;
    // Keys the name editor did not take come up to the view; Return there ends the edit and must not
    // open the file as well.
    const QWidget* focus = QApplication::focusWidget();
    if (focus && focus != watched && static_cast<QWidget*>(watched)->isAncestorOf(focus)) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const FolderActions::Command* command = FolderActions::commandFor(key, *this);
    if (event->type() == QEvent::ShortcutOverride) {
        // Claim our keys before a window's menu shortcut takes them.
        if (command) event->accept();
        return command != nullptr;
    }
    if (command) {
        command->run(*this);
    } else if (TypeAhead::isTyping(key)) {
        typeAhead(key->text());
    } else {
        return false;
    }
    return true;
}

}  // namespace kv
