#include "platform/qt/tabs/tabstrip.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QSet>

namespace kv {

namespace {

// The strips that exist, so a drag's source is only ever a live one.
QSet<TabStrip*>& strips() {
    static QSet<TabStrip*> all;
    return all;
}

constexpr int kHoverMs = 600;
constexpr int kMaxTabChars = 28;

}  // namespace

TabStrip::TabStrip(QWidget* parent) : QTabBar(parent) {
    setObjectName("tabStrip");
    setAccessibleName(tr("Tabs"));
    setMovable(true);
    setTabsClosable(true);
    setDocumentMode(true);
    setExpanding(false);
    setUsesScrollButtons(true);
    setElideMode(Qt::ElideRight);
    setSelectionBehaviorOnRemove(QTabBar::SelectPreviousTab);
    setAcceptDrops(true);
    setFocusPolicy(Qt::NoFocus);
    strips().insert(this);
    connect(this, &QObject::destroyed, [this] { strips().remove(this); });
    connect(this, &QTabBar::tabCloseRequested, this, &TabStrip::closeRequested);
    m_hover.setSingleShot(true);
    m_hover.setInterval(kHoverMs);
    connect(&m_hover, &QTimer::timeout, this, [this] {
        if (m_hoverIndex >= 0 && m_hoverIndex < count()) setCurrentIndex(m_hoverIndex);
    });
}

TabStrip* TabStrip::sourceOf(const QMimeData* data, int* index) {
    if (!data || !data->hasFormat(kTabMime)) return nullptr;
    const QList<QByteArray> parts = data->data(kTabMime).split(' ');
    if (parts.size() != 2) return nullptr;
    bool ok = false;
    const quintptr address = parts[0].toULongLong(&ok, 16);
    const int at = parts[1].toInt();
    for (TabStrip* strip : strips())
        if (ok && reinterpret_cast<quintptr>(strip) == address) {
            if (at < 0 || at >= strip->count()) return nullptr;
            if (index) *index = at;
            return strip;
        }
    return nullptr;
}

QSize TabStrip::tabSizeHint(int index) const {
    QSize size = QTabBar::tabSizeHint(index);
    size.setWidth(std::min(size.width(), fontMetrics().averageCharWidth() * kMaxTabChars));
    return size;
}

void TabStrip::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton ? tabAt(event->position().toPoint()) : -1;
    m_pressPos = event->position().toPoint();
    if (event->button() == Qt::MiddleButton) return;  // closes on release
    QTabBar::mousePressEvent(event);
}

void TabStrip::mouseMoveEvent(QMouseEvent* event) {
    // Dragged down (or up) out of the strip, the tab leaves it for another pane.
    const QPoint pos = event->position().toPoint();
    if (m_pressed >= 0 && (event->buttons() & Qt::LeftButton) && count() > 1 &&
        (pos.y() < -height() / 2 || pos.y() > height() * 3 / 2)) {
        startDrag(event);
        return;
    }
    QTabBar::mouseMoveEvent(event);
}

void TabStrip::startDrag(QMouseEvent* event) {
    const int index = currentIndex() >= 0 && currentIndex() == m_pressed ? m_pressed : tabAt(m_pressPos);
    m_pressed = -1;
    // The strip's own reordering ends here, with the tab where it is.
    QMouseEvent release(QEvent::MouseButtonRelease, event->position(), event->globalPosition(),
                        Qt::LeftButton, Qt::NoButton, event->modifiers());
    QTabBar::mouseReleaseEvent(&release);
    if (index < 0) return;
    auto* data = new QMimeData;
    data->setData(kTabMime,
                  QByteArray::number(reinterpret_cast<quintptr>(this), 16) + ' ' + QByteArray::number(index));
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const QRect r = tabRect(index);
    QPixmap picture(r.size() * devicePixelRatioF());
    picture.setDevicePixelRatio(devicePixelRatioF());
    picture.fill(Qt::transparent);
    render(&picture, QPoint(), QRegion(r));
    drag->setPixmap(picture);
    drag->setHotSpot(m_pressPos - r.topLeft());
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

void TabStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton) {
        const int index = tabAt(event->position().toPoint());
        if (index >= 0 && index == tabAt(m_pressPos)) emit closeRequested(index);
        return;
    }
    m_pressed = -1;
    QTabBar::mouseReleaseEvent(event);
}

void TabStrip::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && tabAt(event->position().toPoint()) < 0) {
        emit newTabRequested();
        return;
    }
    QTabBar::mouseDoubleClickEvent(event);
}

void TabStrip::contextMenuEvent(QContextMenuEvent* event) {
    const int index = tabAt(event->pos());
    emit menuRequested(index >= 0 ? index : currentIndex(), event->globalPos());
}

int TabStrip::insertionAt(const QPoint& pos) const {
    for (int i = 0; i < count(); ++i)
        if (pos.x() < tabRect(i).center().x()) return i;
    return count();
}

void TabStrip::dragEnterEvent(QDragEnterEvent* event) {
    int index = -1;
    TabStrip* from = sourceOf(event->mimeData(), &index);
    if (from == this) return;  // reordering is the strip's own
    if (from || event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TabStrip::dragMoveEvent(QDragMoveEvent* event) {
    int index = -1;
    if (TabStrip* from = sourceOf(event->mimeData(), &index)) {
        if (from == this) return event->ignore();
        event->setDropAction(event->modifiers() & Qt::ControlModifier ? Qt::CopyAction : Qt::MoveAction);
        event->accept();
        return;
    }
    const int under = tabAt(event->position().toPoint());
    if (under < 0) {
        m_hover.stop();
        m_hoverIndex = -1;
        event->ignore();
        return;
    }
    if (under != m_hoverIndex) {
        m_hoverIndex = under;
        m_hover.start();
    }
    event->acceptProposedAction();
}

void TabStrip::dragLeaveEvent(QDragLeaveEvent*) {
    m_hover.stop();
    m_hoverIndex = -1;
}

void TabStrip::dropEvent(QDropEvent* event) {
    m_hover.stop();
    m_hoverIndex = -1;
    const QPoint pos = event->position().toPoint();
    int index = -1;
    if (TabStrip* from = sourceOf(event->mimeData(), &index)) {
        if (from == this) return;
        const bool copy = event->modifiers() & Qt::ControlModifier;
        event->setDropAction(copy ? Qt::CopyAction : Qt::MoveAction);
        event->accept();
        // The source strip's drag is still running: the tab leaves it once the drag is over.
        QPointer<TabStrip> source(from);
        const int at = insertionAt(pos);
        QTimer::singleShot(0, this, [this, source, index, at, copy] {
            if (source) emit tabArrived(source, index, at, copy);
        });
        return;
    }
    const int under = tabAt(pos);
    if (under < 0) return;
    event->acceptProposedAction();
    emit filesDropped(under, event->mimeData(), event->modifiers());
}

}  // namespace kv
