#include "monitor/MaintenanceWindow.h"

#include <QDateTime>

#include <algorithm>

namespace {

constexpr qint64 DayMs = 24 * 3600 * 1000;

qint64 offsetMsAt(const QTimeZone& zone, qint64 utcMs) {
    return qint64(zone.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(utcMs, QTimeZone::utc()))) *
           1000;
}

} // namespace

qint64 MaintenanceWindow::localStartUtcMs(const QDate& date, const QTime& time,
                                          const QTimeZone& zone) {
    // The local time read as if it were UTC; the instant is that less the
    // zone's offset then, and an offset in force a day before or after is
    // the only one that can apply.
    const qint64 local = QDateTime(date, time, QTimeZone::utc()).toMSecsSinceEpoch();
    const qint64 before = local - offsetMsAt(zone, local - DayMs);
    const qint64 after = local - offsetMsAt(zone, local + DayMs);
    std::optional<qint64> first;
    for (const qint64 candidate : {before, after}) {
        if (candidate + offsetMsAt(zone, candidate) == local)
            first = first ? std::min(*first, candidate) : candidate;
    }
    if (first)
        return *first;
    // The local time was skipped: the change itself is the first valid time
    // after it.
    const QTimeZone::OffsetData change = zone.nextTransition(
        QDateTime::fromMSecsSinceEpoch(std::min(before, after), QTimeZone::utc()));
    return change.atUtc.isValid() ? change.atUtc.toMSecsSinceEpoch() : std::min(before, after);
}

QTimeZone MaintenanceWindow::zone() const {
    return timeZone.isEmpty() || !QTimeZone::isTimeZoneIdAvailable(timeZone)
               ? QTimeZone::systemTimeZone()
               : QTimeZone(timeZone);
}

std::optional<std::pair<qint64, qint64>> MaintenanceWindow::openAt(qint64 utcMs,
                                                                   const QTimeZone& zone) const {
    if (kind == Kind::Once) {
        if (utcMs >= startUtcMs && utcMs < endUtcMs)
            return std::make_pair(startUtcMs, endUtcMs);
        return std::nullopt;
    }
    if (days == 0 || minutes <= 0)
        return std::nullopt;
    const qint64 length = qint64(std::min(minutes, MaxMinutes)) * 60 * 1000;
    const QDate today = QDateTime::fromMSecsSinceEpoch(utcMs, zone).date();
    // Occurrences that began on earlier days may still be open.
    const qint64 daysBack = length / DayMs + 1;
    for (qint64 back = daysBack; back >= 0; --back) {
        const QDate date = today.addDays(-back);
        if ((days & (1 << (date.dayOfWeek() - 1))) == 0)
            continue;
        const qint64 start = localStartUtcMs(date, startTime, zone);
        if (utcMs >= start && utcMs < start + length)
            return std::make_pair(start, start + length);
    }
    return std::nullopt;
}
