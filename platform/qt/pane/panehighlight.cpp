#include "platform/qt/pane/panehighlight.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QEvent>

namespace kv {

PaneHighlight::PaneHighlight(QWidget* pane) : QObject(pane), m_pane(pane) {
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { focusMoved(now); });
    // The desktop's colours may change (a theme switch): the stand-in colours follow.
    pane->installEventFilter(this);
    m_active = pane->isAncestorOf(QApplication::focusWidget());
}

void PaneHighlight::addView(QAbstractItemView* view) {
    m_views << view;
    apply(view);
}

QColor PaneHighlight::inactiveHighlight(const QPalette& palette) {
    const QColor inactive = palette.color(QPalette::Inactive, QPalette::Highlight);
    if (inactive != palette.color(QPalette::Active, QPalette::Highlight)) return inactive;
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    auto mix = [](int a, int b) { return (a * 2 + b * 3) / 5; };
    return QColor(mix(inactive.red(), base.red()), mix(inactive.green(), base.green()),
                  mix(inactive.blue(), base.blue()));
}

QColor PaneHighlight::inactiveHighlightedText(const QPalette& palette) {
    const QColor inactive = palette.color(QPalette::Inactive, QPalette::Highlight);
    if (inactive != palette.color(QPalette::Active, QPalette::Highlight))
        return palette.color(QPalette::Inactive, QPalette::HighlightedText);
    return palette.color(QPalette::Active, QPalette::Text);  // on the paler mix
}

bool PaneHighlight::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pane && event->type() == QEvent::PaletteChange) apply();
    return false;
}

void PaneHighlight::focusMoved(QWidget* now) {
    const bool active = now && m_pane->isAncestorOf(now);
    if (active == m_active) return;
    m_active = active;
    apply();
}

void PaneHighlight::apply() {
    for (QAbstractItemView* v : m_views) apply(v);
}

void PaneHighlight::apply(QAbstractItemView* view) {
    if (m_active) {
        // An empty palette: the view's colours are its parent's again.
        view->setPalette(QPalette());
        return;
    }
    const QPalette natural = m_pane->palette();
    QPalette p;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Highlight, inactiveHighlight(natural));
        p.setColor(group, QPalette::HighlightedText, inactiveHighlightedText(natural));
    }
    view->setPalette(p);
}

}  // namespace kv
