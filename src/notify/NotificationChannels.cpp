#include "notify/NotificationChannels.h"

#include "monitor/ServerMonitor.h"

NotificationChannels::NotificationChannels(ServerMonitor& monitor, const Clock& clock,
                                           const QString& caFile, QObject* parent)
    : QObject(parent)
    , m_monitor(&monitor)
    , m_delivery(clock)
    , m_dispatcher(m_delivery, clock) {
    m_delivery.setCaFile(caFile);
    monitor.setAlertFeed(&m_dispatcher);
    m_dispatcher.reload();
}

NotificationChannels::~NotificationChannels() {
    if (m_monitor)
        m_monitor->setAlertFeed(nullptr);
}
