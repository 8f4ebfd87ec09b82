#pragma once

// What the benches of views and tabs share: an application that sums the time its UI thread spends
// handling events, and the span from a call to a widget painted after a condition holds.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "bench/benchutil.h"

namespace kv::bench {

// Sums the time the UI thread spends handling events while on: what the thread spent on the work at
// hand, not the wall time, which includes waiting for a worker.
class BusyApp : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* e) override {
        if (!on || m_depth > 0) {
            ++m_depth;
            const bool r = QApplication::notify(receiver, e);
            --m_depth;
            return r;
        }
        const double t0 = nowMs();
        ++m_depth;
        const bool r = QApplication::notify(receiver, e);
        --m_depth;
        busy += nowMs() - t0;
        if (std::getenv("KV_BENCH_TRACE") && nowMs() - t0 > 0.5)
            std::fprintf(stderr, "  event %d to %s: %.1f ms\n", e->type(),
                         receiver->metaObject()->className(), nowMs() - t0);
        return r;
    }
    bool on = false;
    double busy = 0;

  private:
    int m_depth = 0;
};

inline BusyApp* app() {
    return static_cast<BusyApp*>(QCoreApplication::instance());
}

// Calls back on every paint of a widget.
class PaintProbe : public QObject {
  public:
    PaintProbe(QWidget* w, std::function<void()> onPaint) : m_onPaint(std::move(onPaint)) {
        w->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) m_onPaint();
        return false;
    }

  private:
    std::function<void()> m_onPaint;
};

inline bool spinUntil(const std::function<bool()>& done, double timeoutMs) {
    const double end = nowMs() + timeoutMs;
    while (!done()) {
        if (nowMs() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

struct Span {
    double ui = 0;    // UI-thread time: the call itself and the events handled until the paint
    double wall = 0;  // the same span's wall time
};

// Runs start(), then handles events until done() holds and the widget has painted after that.
inline Span timeToPaint(QWidget* painted, const std::function<void()>& start,
                        const std::function<bool()>& done) {
    bool ready = false, paintedAfter = false;
    PaintProbe probe(painted, [&] {
        if (ready) paintedAfter = true;
    });
    // Events sent while start() runs are part of its own time: the meter starts after it.
    const double t0 = nowMs();
    start();
    const double called = nowMs() - t0;
    app()->busy = 0;
    app()->on = true;
    spinUntil(
        [&] {
            if (!ready && done()) {
                ready = true;
                painted->update();
            }
            return paintedAfter;
        },
        60000);
    app()->on = false;
    if (!paintedAfter) std::fprintf(stderr, "never painted\n");
    if (std::getenv("KV_BENCH_VERBOSE"))
        std::fprintf(stderr, "call %.1f ms, events %.1f ms, wall %.1f ms\n", called, app()->busy,
                     nowMs() - t0);
    return {called + app()->busy, nowMs() - t0};
}

inline void settle(double ms = 100) {
    const double end = nowMs() + ms;
    while (nowMs() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace kv::bench
