#include "StallMeter.h"

#include <algorithm>

StallMeter::StallMeter() {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(1);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        const qint64 now = m_clock.nsecsElapsed();
        m_maxGapNs = std::max(m_maxGapNs, now - m_last);
        m_last = now;
    });
}

void StallMeter::start() {
    m_maxGapNs = 0;
    m_clock.start();
    m_last = 0;
    m_timer.start();
}

double StallMeter::stopMaxLateMs() {
    m_timer.stop();
    // A wait still going on when the meter stops counts too.
    m_maxGapNs = std::max(m_maxGapNs, m_clock.nsecsElapsed() - m_last);
    return std::max(0.0, static_cast<double>(m_maxGapNs) / 1e6 - 1.0);
}
