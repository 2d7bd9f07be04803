#pragma once

#include "platform/Clock.h"

// A clock that only moves when a test moves it.
class FakeClock final : public Clock {
public:
    QTime localTime() const override { return m_time; }
    qint64 monotonicMs() const override { return m_monotonic; }

    void setLocalTime(const QTime& time) { m_time = time; }
    void advance(qint64 ms) {
        m_monotonic += ms;
        m_time = m_time.addMSecs(static_cast<int>(ms));
    }

private:
    QTime m_time{12, 0, 0, 0};
    qint64 m_monotonic = 1000000;
};
