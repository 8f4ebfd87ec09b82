#pragma once

#include <QApplication>
#include <QWidget>
#include <functional>

namespace kv::bench {

// A QApplication that calls back after every paint event has been handled, with the top-level
// window that was painted: "painted" is when the pixels are in the window's backing store.
class PaintWatchApp : public QApplication {
  public:
    using QApplication::QApplication;

    void onPainted(std::function<void(QWidget* window)> fn) { m_onPainted = std::move(fn); }

    bool notify(QObject* receiver, QEvent* e) override {
        const bool paint = e->type() == QEvent::Paint && receiver->isWidgetType();
        const bool r = QApplication::notify(receiver, e);
        if (paint && m_onPainted) m_onPainted(static_cast<QWidget*>(receiver)->window());
        return r;
    }

  private:
    std::function<void(QWidget*)> m_onPainted;
};

}  // namespace kv::bench
