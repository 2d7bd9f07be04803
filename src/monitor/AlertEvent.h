#pragma once

#include <QString>

// One alert or recovery as the monitor raises it, with the facts a message
// to people needs besides the shown title and text.
struct AlertEvent {
    enum class Kind { Alert, Recovery };
    Kind kind = Kind::Alert;
    // The server's catalogue ID; empty for an event about this machine's
    // own network.
    QString server;
    QString serverName;
    QString address;
    QString port;
    QString status;
    QString title;
    QString message;
    // Stamped by the feed's receiver when the monitor leaves it 0.
    qint64 timeUtcMs = 0;
    // How long the server failed; recoveries only, -1 otherwise.
    qint64 durationMs = -1;
};

// Where raised events go besides the alert sink: the notification channels.
// Alerts reach it exactly when the sink shows them; recoveries whether or
// not the sink shows recovery notices, but never for a silenced server or
// one in maintenance.
class AlertFeed {
public:
    virtual ~AlertFeed() = default;
    virtual void alertRaised(const AlertEvent& event) = 0;
};
