#pragma once

#include "monitor/MaintenanceWindow.h"

#include <QList>
#include <QSet>
#include <QTimeZone>

// The maintenance windows of the catalogue, asked once per pass which
// servers are in an open window: the cost grows with the windows, and a
// row's answer is then one look-up.
class MaintenancePlan final {
public:
    // Without an open window ending sooner, the plan is asked again after
    // this long, so a window that opens between passes is seen.
    static constexpr qint64 RecheckMs = 60 * 1000;

    struct Open {
        bool all = false;       // a window over every server is open
        QSet<qint64> servers;   // catalogue IDs in an open window
        qint64 nextChangeUtcMs; // when to ask again: the earliest end, at the latest RecheckMs on

        bool covers(qint64 serverId) const { return all || servers.contains(serverId); }
        bool isEmpty() const { return !all && servers.isEmpty(); }
    };

    void setWindows(const QList<MaintenanceWindow>& windows);
    const QList<MaintenanceWindow>& windows() const { return m_windows; }
    bool isEmpty() const { return m_windows.isEmpty(); }

    Open openAt(qint64 utcMs) const;

private:
    QList<MaintenanceWindow> m_windows;
    QList<QTimeZone> m_zones; // of each window, found once
};
