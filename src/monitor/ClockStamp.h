#pragma once

#include <QString>
#include <QTime>

// Local time of day as hour:minute:second.milliseconds without leading zeros.
QString ClockStamp(const QTime& time);

// Milliseconds from one ClockStamp to another; an end before the start is
// taken as the next day.
qint64 TimeDiff(const QString& startStamp, const QString& endStamp);
