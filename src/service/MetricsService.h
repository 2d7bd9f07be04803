#pragma once

#include "service/MetricsCollector.h"
#include "service/MetricsPublisher.h"

#include <QObject>
#include <QPointer>

#include <memory>

class Clock;
class ServerMonitor;
class ServerRowModel;
struct MetricsEndpoint;

// The metrics of one monitor, counted from its results and passes and
// served over HTTP. The connections are served on a thread of their own;
// the thread of the monitor builds the text in pieces between its other
// events, at most one build a second however many scrapes come, and hands
// each piece over as it is built. The rows must outlive it; the monitor may
// go first.
class MetricsService final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MetricsService)
public:
    MetricsService(const ServerRowModel& rows, ServerMonitor& monitor, const Clock& clock,
                   QObject* parent = nullptr);
    ~MetricsService() override;

    // False with a line for the operator when the endpoint cannot be served.
    bool listen(const MetricsEndpoint& endpoint, QString& error);
    // The port served on, once listening.
    quint16 port() const { return m_publisher.port(); }
    void setChannels(const ChannelDispatcher* channels) { m_collector.setChannels(channels); }
    void setFleet(const FleetAgent* agent) { m_collector.setFleet(agent); }

    // The metrics the option asks for, else those of the settings file's
    // METRICS entry, serving; nullptr when neither asks for any, and
    // nullptr with error set when they cannot be served.
    static std::unique_ptr<MetricsService> start(const QString& option, const ServerRowModel& rows,
                                                 ServerMonitor& monitor, const Clock& clock,
                                                 QString& error);

private:
    QPointer<ServerMonitor> m_monitor;
    MetricsCollector m_collector;
    MetricsPublisher m_publisher;
};
