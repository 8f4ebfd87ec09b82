#pragma once

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

namespace kv::bench {

// A QApplication that calls back once a frame of a top-level window is complete, with that window:
// at the end of the outermost event during which any of its widgets painted (the expose or update
// request that painted the whole window, and flushed it to the screen).
class PaintWatchApp : public QApplication {
  public:
    using QApplication::QApplication;

    void onPainted(std::function<void(QWidget* window)> fn) { m_onPainted = std::move(fn); }

    bool notify(QObject* receiver, QEvent* e) override {
        const bool paint = e->type() == QEvent::Paint && receiver->isWidgetType();
        ++m_depth;
        const bool r = QApplication::notify(receiver, e);
        --m_depth;
        if (paint) {
            QWidget* w = static_cast<QWidget*>(receiver)->window();
            bool known = false;
            for (const auto& p : m_painted) known = known || p == w;
            if (!known) m_painted.emplace_back(w);
        }
        if (m_depth == 0 && !m_painted.empty()) {
            const auto painted = std::move(m_painted);
            m_painted.clear();
            for (const auto& w : painted)
                if (w && m_onPainted) m_onPainted(w);
        }
        return r;
    }

  private:
    std::function<void(QWidget*)> m_onPainted;
    int m_depth = 0;
    std::vector<QPointer<QWidget>> m_painted;
};

}  // namespace kv::bench
