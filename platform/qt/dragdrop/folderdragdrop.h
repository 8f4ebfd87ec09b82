#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <QHash>
#include <QObject>
#include <string>

#include "platform/qt/dragdrop/dropdecision.h"

class QAbstractItemView;
class QEvent;
class QMenu;
class QMimeData;

namespace kv {

class FolderPane;

// Files dragged onto a folder view: while the drag hovers, what dropping would do (the folder item
// under the cursor, or the folder shown, as the target); on the drop, the copy or move job. A drag
// made with the right mouse button, or a drop with Alt held, asks instead: Move Here, Copy Here, Link
// Here or Cancel (the plain drop's choice first in bold). It watches the viewports of the view's item
// views and starts their right-button drags (an item's menu then opens on the button's release); the
// item views keep drawing their own drag feedback.
class FolderDragDrop : public QObject {
    Q_OBJECT
  public:
    explicit FolderDragDrop(FolderPane& view);

    // Takes the drags and drops of this item view (one of the folder view's).
    void attach(QAbstractItemView* itemView);

    // A drop at a position of the current item view's viewport: the folder under it, or the folder shown.
    QByteArray targetAt(const QPoint& viewportPos) const;
    // allowed: what the drag's source permits (a drag out of the trash only copies).
    DropDecision::Plan plan(const QMimeData* data, const QPoint& viewportPos, Qt::KeyboardModifiers modifiers,
                            Qt::DropActions allowed = Qt::CopyAction | Qt::MoveAction);
    // Starts the drop's job; returns what it does (IgnoreAction: nothing).
    Qt::DropAction drop(const QMimeData* data, const QPoint& viewportPos, Qt::KeyboardModifiers modifiers,
                        Qt::DropActions allowed = Qt::CopyAction | Qt::MoveAction);
    // Whether a drop asks what to do: Alt held, or a drag made with the right button.
    static bool asks(const QMimeData* data, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
    // The question of a drop that asks, shown at globalPos; it runs what is chosen. Returns the menu,
    // which goes when closed (tests choose from it).
    QMenu* askDrop(const QMimeData* data, const QPoint& viewportPos, const QPoint& globalPos,
                   Qt::DropActions allowed);
    // Marks a drag's data as made with the right button.
    static void markAsking(QMimeData* data);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void forwardToView(QObject* viewport, QEvent* event);
    // A right-button press on an item, a drag from it, or its menu on the release.
    bool rightButtonEvent(QObject* viewport, QEvent* event);
    void startRightDrag(QAbstractItemView* itemView);
    // A drag out of one of the program's web pages: handled here when it is one.
    bool webDragEvent(QObject* viewport, QEvent* event);
    // Web addresses dragged from another program (a browser's link or page): downloaded (ForeignDrop).
    bool foreignDragEvent(QObject* viewport, QEvent* event);

    FolderPane& m_view;
    QHash<QByteArray, dev_t> m_devices;  // a number for each mount point seen during one drag
    std::string m_mountInfo;             // the mount table, read once per drag
    bool m_forwarding = false;
    bool m_rightPressed = false;  // on an item, not yet dragged nor released
    bool m_menuHeld = false;      // its menu waits for the release
    QPoint m_rightPressAt;
};

}  // namespace kv
