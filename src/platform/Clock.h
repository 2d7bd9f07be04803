#pragma once

#include <QDateTime>
#include <QTime>

// Time source of the monitoring cycle: the local time of day for the texts
// it shows, a monotonic millisecond count for the times it measures and the
// UTC time that stamps recorded results.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QTime localTime() const = 0;
    virtual qint64 monotonicMs() const = 0;
    virtual qint64 utcMs() const { return QDateTime::currentMSecsSinceEpoch(); }
};
