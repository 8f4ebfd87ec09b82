#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <QHash>
#include <QObject>
#include <string>

#include "platform/qt/dragdrop/dropdecision.h"

class QAbstractItemView;
class QEvent;
class QMimeData;

namespace kv {

class FolderPane;

// Files dragged onto a folder view: while the drag hovers, what dropping would do (the folder item
// under the cursor, or the folder shown, as the target); on the drop, the copy or move job. It watches
// the viewports of the view's item views; the item views keep drawing their own drag feedback.
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

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void forwardToView(QObject* viewport, QEvent* event);
    // A drag out of one of the program's web pages: handled here when it is one.
    bool webDragEvent(QObject* viewport, QEvent* event);
    // Web addresses dragged from another program (a browser's link or page): downloaded (ForeignDrop).
    bool foreignDragEvent(QObject* viewport, QEvent* event);

    FolderPane& m_view;
    QHash<QByteArray, dev_t> m_devices;  // a number for each mount point seen during one drag
    std::string m_mountInfo;             // the mount table, read once per drag
    bool m_forwarding = false;
};

}  // namespace kv
