#include "platform/SystemClock.h"

SystemClock::SystemClock() {
    m_started.start();
}

QTime SystemClock::localTime() const {
    return QTime::currentTime();
}

qint64 SystemClock::monotonicMs() const {
    return m_started.elapsed();
}
