#pragma once

#include <QElapsedTimer>
#include <QTimer>

// A 1 ms timer that records how late it fired: the longest time any event
// waited while it ran.
class StallMeter final {
public:
    StallMeter();
    void start();
    // Stops the meter: the longest wait in milliseconds beyond the timer's own.
    double stopMaxLateMs();

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_maxGapNs = 0;
};
