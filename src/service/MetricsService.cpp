#include "service/MetricsService.h"

#include "monitor/ServerMonitor.h"
#include "service/MetricsEndpoint.h"
#include "service/MetricsServer.h"

MetricsService::MetricsService(const ServerRowModel& rows, ServerMonitor& monitor,
                               const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_monitor(&monitor)
    , m_collector(rows, clock)
    , m_stream(m_collector, clock)
    , m_server(new MetricsServer) {
    monitor.addRecorder(&m_collector);
    connect(&monitor, &ServerMonitor::passStarted, &m_collector, &MetricsCollector::passStarted);
    connect(&monitor, &ServerMonitor::passFinished, &m_collector, &MetricsCollector::passFinished);

    m_thread.setObjectName(QStringLiteral("metrics"));
    m_server->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_server, &QObject::deleteLater);
    // Across the threads both ways, so neither waits for the other.
    connect(m_server, &MetricsServer::textWanted, &m_stream, &MetricsStream::request);
    connect(m_server, &MetricsServer::written, &m_stream, &MetricsStream::written);
    connect(&m_stream, &MetricsStream::piece, m_server, &MetricsServer::publish);
    m_thread.start();
}

MetricsService::~MetricsService() {
    m_thread.quit();
    m_thread.wait();
    if (m_monitor)
        m_monitor->removeRecorder(&m_collector);
}

bool MetricsService::listen(const MetricsEndpoint& endpoint, QString& error) {
    bool listening = false;
    QString why;
    QMetaObject::invokeMethod(
        m_server,
        [&] {
            listening = m_server->listen(endpoint.address, endpoint.port);
            m_port = m_server->port();
            why = m_server->errorString();
        },
        Qt::BlockingQueuedConnection);
    if (listening)
        return true;
    error = tr("无法在 %1 提供监控指标:%2").arg(endpoint.text(), why);
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
