#pragma once

#include <QTime>

// Time source of the monitoring cycle: the local time of day for the texts
// it shows and a monotonic millisecond count for the times it measures.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QTime localTime() const = 0;
    virtual qint64 monotonicMs() const = 0;
};
