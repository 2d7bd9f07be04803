#include "monitor/MaintenancePlan.h"

#include <algorithm>

void MaintenancePlan::setWindows(const QList<MaintenanceWindow>& windows) {
    m_windows = windows;
    m_zones.clear();
    m_zones.reserve(windows.size());
    for (const MaintenanceWindow& window : windows)
        m_zones.append(window.kind == MaintenanceWindow::Kind::Weekly ? window.zone()
                                                                      : QTimeZone::utc());
}

MaintenancePlan::Open MaintenancePlan::openAt(qint64 utcMs) const {
    Open open;
    open.nextChangeUtcMs = utcMs + RecheckMs;
    for (qsizetype i = 0; i < m_windows.size(); ++i) {
        const MaintenanceWindow& window = m_windows.at(i);
        const auto span = window.openAt(utcMs, m_zones.at(i));
        if (!span)
            continue;
        open.nextChangeUtcMs = std::min(open.nextChangeUtcMs, span->second);
        if (window.servers.isEmpty())
            open.all = true;
        else
            for (const qint64 id : window.servers)
                open.servers.insert(id);
    }
    return open;
}
