#pragma once

#include <QObject>
#include <QTimer>
#include <algorithm>

#include "bench/benchutil.h"

namespace kv::bench {

// Watches the UI thread while something runs: the longest gap between two ticks of a 1 ms timer is
// the longest time the thread could not answer the user.
class StallProbe {
  public:
    StallProbe() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }
    void start() {
        m_last = nowMs();
        m_max = 0;
        m_timer.start();
    }
    // The longest gap, in milliseconds.
    double stop() {
        tick();
        m_timer.stop();
        return m_max;
    }
    // When the longest gap began (nowMs()).
    double longestFrom() const { return m_maxFrom; }

  private:
    void tick() {
        const double t = nowMs();
        if (t - m_last > m_max) {
            m_max = t - m_last;
            m_maxFrom = m_last;
        }
        m_last = t;
    }
    QTimer m_timer;
    double m_last = 0;
    double m_max = 0;
    double m_maxFrom = 0;
};

}  // namespace kv::bench
