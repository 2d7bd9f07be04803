#pragma once

#include "monitor/AlertSink.h"

class DesktopNotifications;
class ServiceLog;

// Alerts of the headless service: a log line ("alert", the server's ID,
// the title and the message), and a desktop notice when a session offers
// them (one per server, as the window program shows them without a tray).
class ServiceAlerts final : public AlertSink {
    Q_DISABLE_COPY_MOVE(ServiceAlerts)
public:
    // notifications may be null: then alerts go to the log only.
    ServiceAlerts(ServiceLog& log, DesktopNotifications* notifications);

    void ShowMsg(int iTimeOut, const QString& sToolTip, const QString& sTitleStr) override;
    void ShowServerMsg(const QString& server, int iTimeOut, const QString& sToolTip,
                       const QString& sTitleStr) override;

private:
    ServiceLog& m_log;
    DesktopNotifications* m_notifications;
};
