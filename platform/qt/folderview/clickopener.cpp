#include "platform/qt/folderview/clickopener.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QMouseEvent>

#include "platform/qt/preferences/preferences.h"

namespace kv {

ClickOpener::ClickOpener(QAbstractItemView* view, std::function<void(const QModelIndex&)> open,
                         std::function<void(const QModelIndex&)> openAside)
    : QObject(view), m_view(view), m_open(std::move(open)), m_openAside(std::move(openAside)) {
    if (m_openAside) view->viewport()->installEventFilter(this);
    connect(view, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        if (Preferences::shared().singleClick() && QGuiApplication::mouseButtons() != Qt::NoButton) return;
        m_open(index);
    });
    connect(view, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (!Preferences::shared().singleClick() || QGuiApplication::keyboardModifiers() != Qt::NoModifier)
            return;
        if (m_clickOpened.isValid() && m_clickOpened.elapsed() < QApplication::doubleClickInterval()) return;
        m_clickOpened.start();
        m_open(index);
    });
}

bool ClickOpener::eventFilter(QObject*, QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease) return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::MiddleButton) return false;
    const QModelIndex index = m_view->indexAt(mouse->position().toPoint());
    if (!index.isValid()) return false;
    m_openAside(index);
    return true;
}

}  // namespace kv
