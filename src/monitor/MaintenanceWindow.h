#pragma once

#include <QList>
#include <QString>
#include <QTime>
#include <QTimeZone>

#include <optional>

// A planned maintenance window over some servers (or all of them): once,
// between two instants, or weekly, on some days of the week from a local
// time for a number of minutes, in a named time zone. A weekly window that
// starts in an hour a daylight-saving change skips starts at the first valid
// time after it; one that starts in an hour repeated runs once, from the
// first occurrence. It lasts its minutes of real time either way.
struct MaintenanceWindow {
    enum class Kind { Once, Weekly };
    // The longest weekly window: a whole week.
    static constexpr int MaxMinutes = 7 * 24 * 60;

    qint64 id = 0;
    QList<qint64> servers; // catalogue IDs; empty for every server
    Kind kind = Kind::Once;
    qint64 startUtcMs = 0; // once
    qint64 endUtcMs = 0;   // once, exclusive
    int days = 0;          // weekly: bit 0 Monday ... bit 6 Sunday
    QTime startTime{0, 0}; // weekly, local time in timeZone
    int minutes = 0;       // weekly
    QByteArray timeZone;   // an IANA name
    QString note;

    friend bool operator==(const MaintenanceWindow&, const MaintenanceWindow&) = default;

    bool appliesTo(qint64 serverId) const {
        return servers.isEmpty() || servers.contains(serverId);
    }
    // The occurrence that covers utcMs, as [start, end) in UTC ms; nothing
    // when the window is not open then.
    std::optional<std::pair<qint64, qint64>> openAt(qint64 utcMs) const {
        return openAt(utcMs, zone());
    }
    // The same with the window's zone already at hand (zone()).
    std::optional<std::pair<qint64, qint64>> openAt(qint64 utcMs, const QTimeZone& zone) const;
    // The window's time zone; the system's when none is named or the name
    // is unknown here.
    QTimeZone zone() const;

    // The UTC instant at which a weekly window's local start on date falls,
    // by the rules above.
    static qint64 localStartUtcMs(const QDate& date, const QTime& time, const QTimeZone& zone);
};
