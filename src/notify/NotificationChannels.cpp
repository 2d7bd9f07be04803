#include "notify/NotificationChannels.h"

#include "catalogue/CatalogueEvents.h"
#include "catalogue/ModuleDB.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"

NotificationChannels::NotificationChannels(ServerMonitor& monitor, const Clock& clock,
                                           QObject* parent)
    : QObject(parent)
    , m_monitor(&monitor)
    , m_delivery(clock)
    , m_dispatcher(m_delivery, clock) {
    monitor.setAlertFeed(&m_dispatcher);
    m_dispatcher.setActive(ModuleDB::DbIsSender());
    connect(ModuleDB::events(), &CatalogueEvents::senderChanged, this,
            [this] { m_dispatcher.setActive(ModuleDB::DbIsSender()); });
    reload();
}

NotificationChannels::~NotificationChannels() {
    if (m_monitor)
        m_monitor->setAlertFeed(nullptr);
}

void NotificationChannels::reload() {
    if (m_monitor)
        m_delivery.setCaFile(m_monitor->settings().TlsCaFile);
    m_dispatcher.reload();
}
