#include "monitor/ClockStamp.h"

#include "monitor/TextNumbers.h"

#include <QStringList>
#include <cmath>

namespace {
constexpr double MsPerDay = 24.0 * 3600.0 * 1000.0;

double stampMs(const QString& stamp) {
    const QStringList parts = stamp.split(QLatin1Char(':'));
    const QString secondsPart = parts.value(2);
    const qsizetype dot = secondsPart.indexOf(QLatin1Char('.'));
    const QString seconds = dot < 0 ? secondsPart : secondsPart.left(dot);
    const QString millis = dot < 0 ? QString() : secondsPart.mid(dot + 1);
    return (leadingNumber(parts.value(0)) * 3600.0 + leadingNumber(parts.value(1)) * 60.0 +
            leadingNumber(seconds)) *
               1000.0 +
           leadingNumber(millis);
}
} // namespace

QString ClockStamp(const QTime& time) {
    QString stamp;
    stamp.reserve(12);
    stamp += QString::number(time.hour());
    stamp += QLatin1Char(':');
    stamp += QString::number(time.minute());
    stamp += QLatin1Char(':');
    stamp += QString::number(time.second());
    stamp += QLatin1Char('.');
    stamp += QString::number(time.msec());
    return stamp;
}

qint64 TimeDiff(const QString& startStamp, const QString& endStamp) {
    double elapsed = std::floor(stampMs(endStamp) - stampMs(startStamp));
    if (!std::isfinite(elapsed))
        return 0;
    // An end before the start lies on the next day. Stamps out of range
    // still give a result within one day.
    elapsed = std::fmod(elapsed, MsPerDay);
    if (elapsed < 0)
        elapsed += MsPerDay;
    return static_cast<qint64>(elapsed);
}
