#pragma once

#include "notify/ChannelDelivery.h"
#include "notify/ChannelDispatcher.h"

#include <QObject>
#include <QPointer>

class Clock;
class ServerMonitor;

// The notification channels of one monitor: the monitor's alerts feed the
// dispatcher, which delivers them through the channels of the catalogue.
// Channels read at construction; reload() after they were edited or the
// catalogue was loaded anew. TLS peers are trusted by the system's
// certificates and those of the monitor's TLS CA file.
class NotificationChannels final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NotificationChannels)
public:
    NotificationChannels(ServerMonitor& monitor, const Clock& clock, QObject* parent = nullptr);
    ~NotificationChannels() override;

    ChannelDelivery& delivery() { return m_delivery; }
    ChannelDispatcher& dispatcher() { return m_dispatcher; }
    void reload();

private:
    QPointer<ServerMonitor> m_monitor;
    ChannelDelivery m_delivery;
    ChannelDispatcher m_dispatcher;
};
