#include "platform/qt/common/shownpart.h"

#include <QEvent>
#include <QWidget>

namespace kv {

ShownPart::ShownPart(QWidget* widget) : QObject(widget), m_widget(widget) {
    watchParents();
    m_hidden = hiddenOf(widget);
}

QMargins ShownPart::hiddenOf(const QWidget* widget) {
    QRect shown = widget->rect();
    QPoint at(0, 0);  // the widget's origin in the coordinates of w's parent
    for (const QWidget* w = widget; !w->isWindow() && w->parentWidget(); w = w->parentWidget()) {
        at += w->pos();
        shown &= w->parentWidget()->rect().translated(-at);
    }
    const QRect all = widget->rect();
    // A widget out of sight altogether has nothing to fit into.
    if (shown.isEmpty()) return {};
    return {shown.left() - all.left(), shown.top() - all.top(), all.right() - shown.right(),
            all.bottom() - shown.bottom()};
}

QRect ShownPart::shownRect(const QWidget* widget) {
    return widget->rect().marginsRemoved(hiddenOf(widget));
}

void ShownPart::watchParents() {
    for (const QPointer<QWidget>& w : m_watched)
        if (w) w->removeEventFilter(this);
    m_watched.clear();
    for (QWidget* w = m_widget; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        w->installEventFilter(this);
        m_watched.emplace_back(w);
    }
}

bool ShownPart::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ParentChange:
            if (watched == m_widget) watchParents();
            update();
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
            update();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

void ShownPart::update() {
    const QMargins now = hiddenOf(m_widget);
    if (now == m_hidden) return;
    m_hidden = now;
    emit changed(now);
}

}  // namespace kv
