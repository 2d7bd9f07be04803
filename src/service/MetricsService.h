#pragma once

#include "service/MetricsCollector.h"
#include "service/MetricsServer.h"

#include <QObject>
#include <QPointer>

#include <memory>

class Clock;
class ServerMonitor;
class ServerRowModel;
struct MetricsEndpoint;

// The metrics of one monitor, counted from its results and passes and
// served over HTTP. The rows must outlive it; the monitor may go first.
class MetricsService final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MetricsService)
public:
    MetricsService(const ServerRowModel& rows, ServerMonitor& monitor, const Clock& clock,
                   QObject* parent = nullptr);
    ~MetricsService() override;

    // False with a line for the operator when the endpoint cannot be served.
    bool listen(const MetricsEndpoint& endpoint, QString& error);

    // The metrics the option asks for, else those of the settings file's
    // METRICS entry, serving; nullptr when neither asks for any, and
    // nullptr with error set when they cannot be served.
    static std::unique_ptr<MetricsService> start(const QString& option, const ServerRowModel& rows,
                                                 ServerMonitor& monitor, const Clock& clock,
                                                 QString& error);

    MetricsServer& server() { return m_server; }

private:
    QPointer<ServerMonitor> m_monitor;
    MetricsCollector m_collector;
    MetricsServer m_server;
};
