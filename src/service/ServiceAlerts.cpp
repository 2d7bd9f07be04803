#include "service/ServiceAlerts.h"

#include "platform/DesktopNotifications.h"
#include "service/ServiceLog.h"

ServiceAlerts::ServiceAlerts(ServiceLog& log, DesktopNotifications* notifications)
    : m_log(log)
    , m_notifications(notifications) {}

void ServiceAlerts::ShowMsg(int iTimeOut, const QString& sToolTip, const QString& sTitleStr) {
    ShowServerMsg(QString(), iTimeOut, sToolTip, sTitleStr);
}

void ServiceAlerts::ShowServerMsg(const QString& server, int iTimeOut, const QString& sToolTip,
                                  const QString& sTitleStr) {
    Q_UNUSED(iTimeOut)
    m_log.write({QStringLiteral("alert"), server, sTitleStr, sToolTip});
    if (m_notifications)
        m_notifications->notify(server.isEmpty() ? QStringLiteral("servermon") : server, sTitleStr,
                                sToolTip);
}
