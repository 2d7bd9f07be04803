#pragma once

#include "platform/Clock.h"

// A clock that only moves when a test moves it.
class FakeClock final : public Clock {
public:
    QTime localTime() const override { return m_time; }
    qint64 monotonicMs() const override { return m_monotonic; }
    qint64 utcMs() const override { return m_utc; }

    void setLocalTime(const QTime& time) { m_time = time; }
    void setUtcMs(qint64 ms) { m_utc = ms; }
    void advance(qint64 ms) {
        m_monotonic += ms;
        m_utc += ms;
        m_time = m_time.addMSecs(static_cast<int>(ms));
    }

private:
    QTime m_time{12, 0, 0, 0};
    qint64 m_monotonic = 1000000;
    qint64 m_utc = 1767268800000; // 2026-01-01 12:00 UTC
};
