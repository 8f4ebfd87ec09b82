#include "platform/qt/folderview/clickopener.h"

#include <QAbstractItemView>
#include <QApplication>

#include "platform/qt/preferences/preferences.h"

namespace kv {

ClickOpener::ClickOpener(QAbstractItemView* view, std::function<void(const QModelIndex&)> open)
    : QObject(view), m_open(std::move(open)) {
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

}  // namespace kv
