#include "service/MetricsService.h"

#include "monitor/ServerMonitor.h"
#include "service/MetricsEndpoint.h"

MetricsService::MetricsService(const ServerRowModel& rows, ServerMonitor& monitor,
                               const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_monitor(&monitor)
    , m_collector(rows, clock)
    , m_publisher(m_collector, clock) {
    monitor.addRecorder(&m_collector);
    connect(&monitor, &ServerMonitor::passStarted, &m_collector, &MetricsCollector::passStarted);
    connect(&monitor, &ServerMonitor::passFinished, &m_collector, &MetricsCollector::passFinished);
}

MetricsService::~MetricsService() {
    if (m_monitor)
        m_monitor->removeRecorder(&m_collector);
}

bool MetricsService::listen(const MetricsEndpoint& endpoint, QString& error) {
    if (m_publisher.listen(endpoint.address, endpoint.port))
        return true;
    error = tr("无法在 %1 提供监控指标:%2").arg(endpoint.text(), m_publisher.errorString());
    return false;
}

std::unique_ptr<MetricsService> MetricsService::start(const QString& option,
                                                      const ServerRowModel& rows,
                                                      ServerMonitor& monitor, const Clock& clock,
                                                      QString& error) {
    const QString text = option.isEmpty() ? MetricsEndpoint::configured() : option;
    if (text.isEmpty())
        return nullptr;
    const std::optional<MetricsEndpoint> endpoint = MetricsEndpoint::parse(text);
    if (!endpoint) {
        error = tr("监控指标地址无效:") + text;
        return nullptr;
    }
    auto service = std::make_unique<MetricsService>(rows, monitor, clock);
    if (!service->listen(*endpoint, error))
        return nullptr;
    return service;
}
