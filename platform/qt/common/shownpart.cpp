#include "platform/qt/common/shownpart.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace kv {

namespace {

// A later sibling lies above: one covering a strip along the widget's whole height at its left or
// right edge (a pane beside it that the window made overlap it) hides that strip.
QRect lessSiblingsAbove(const QWidget* widget, QRect shown) {
    const QWidget* parent = widget->parentWidget();
    if (!parent || widget->isWindow()) return shown;
    const QRect at = shown.translated(widget->pos());  // in the parent's coordinates
    bool above = false;
    for (const QObject* o : parent->children()) {
        if (o == widget) {
            above = true;
            continue;
        }
        const auto* sibling = qobject_cast<const QWidget*>(o);
        if (!above || !sibling || sibling->isWindow() || sibling->isHidden()) continue;
        const QRect over = sibling->geometry() & at;
        if (over.isEmpty() || over.top() > at.top() || over.bottom() < at.bottom() ||
            over.width() >= at.width())
            continue;
        if (over.right() >= at.right())
            shown.setRight(std::min(shown.right(), over.left() - 1 - widget->x()));
        else if (over.left() <= at.left())
            shown.setLeft(std::max(shown.left(), over.right() + 1 - widget->x()));
    }
    return shown;
}

}  // namespace

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
    // A widget out of sight altogether has nothing to fit into.
    if (shown.isEmpty()) return {};
    shown = lessSiblingsAbove(widget, shown);
    const QRect all = widget->rect();
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
    auto watch = [this](QWidget* w) {
        w->installEventFilter(this);
        m_watched.emplace_back(w);
    };
    for (QWidget* w = m_widget; w; w = w->isWindow() ? nullptr : w->parentWidget()) watch(w);
    // The siblings that may lie over it.
    if (QWidget* parent = m_widget->isWindow() ? nullptr : m_widget->parentWidget())
        for (QObject* o : parent->children())
            if (auto* sibling = qobject_cast<QWidget*>(o);
                sibling && sibling != m_widget && !sibling->isWindow())
                watch(sibling);
}

bool ShownPart::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ParentChange:
            if (watched == m_widget) watchParents();
            later();
            break;
        case QEvent::ChildAdded:
            // A new sibling (the window's controls are made one by one).
            if (watched == m_widget->parentWidget()) watchParents();
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            later();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

void ShownPart::later() {
    // A window arranging its controls moves several in one step: the result counts, once.
    if (m_pending) return;
    m_pending = true;
    QTimer::singleShot(0, this, [this] {
        m_pending = false;
        update();
    });
}

void ShownPart::update() {
    const QMargins now = hiddenOf(m_widget);
    if (now == m_hidden) return;
    m_hidden = now;
    emit changed(now);
}

}  // namespace kv
