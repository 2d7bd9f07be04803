#include "monitor/AlertReminders.h"

void AlertReminders::alerted(quint64 key, const QString& title, qint64 nowMs) {
    if (!m_servers.contains(key))
        m_servers.insert(key, Reminder{title, nowMs, 0});
}

QList<AlertReminders::Due> AlertReminders::due(qint64 nowMs, qint32 periodMinutes) {
    QList<Due> due;
    if (periodMinutes <= 0)
        return due;
    const qint64 periodMs = qint64(periodMinutes) * 60 * 1000;
    for (auto it = m_servers.begin(); it != m_servers.end(); ++it) {
        const qint64 periods = (nowMs - it->sinceMs) / periodMs;
        if (periods <= it->sent)
            continue;
        it->sent = periods;
        due.append({it.key(), it->title, periods * periodMinutes});
    }
    return due;
}
