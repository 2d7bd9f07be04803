#pragma once

#include <QHash>
#include <QList>
#include <QString>

// Repeated alerts for servers that stay down: after an alert, the reminder
// is due every period from it for as long as the caller keeps the server.
class AlertReminders final {
    Q_DISABLE_COPY_MOVE(AlertReminders)
public:
    struct Due {
        quint64 key;
        QString title;  // of the first alert
        qint64 minutes; // since the first alert
    };

    AlertReminders() = default;

    // An alert was given; a server already reminded of keeps its schedule.
    void alerted(quint64 key, const QString& title, qint64 nowMs);
    void forget(quint64 key) { m_servers.remove(key); }
    void clear() { m_servers.clear(); }
    QList<quint64> keys() const { return m_servers.keys(); }
    bool isEmpty() const { return m_servers.isEmpty(); }
    // The reminders due at nowMs, every periodMinutes; each is due once.
    QList<Due> due(qint64 nowMs, qint32 periodMinutes);

private:
    struct Reminder {
        QString title;
        qint64 sinceMs = 0;
        qint64 sent = 0; // reminders given
    };
    QHash<quint64, Reminder> m_servers;
};
