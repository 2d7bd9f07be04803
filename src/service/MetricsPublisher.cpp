#include "service/MetricsPublisher.h"

#include "service/MetricsServer.h"

MetricsPublisher::MetricsPublisher(const MetricsCollector& collector, const Clock& clock)
    : m_stream(collector, clock)
    , m_server(new MetricsServer) {
    m_thread.setObjectName(QStringLiteral("metrics"));
    m_server->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_server, &QObject::deleteLater);
    // Across the threads both ways, so neither waits for the other.
    QObject::connect(m_server, &MetricsServer::textWanted, &m_stream, &MetricsStream::request);
    QObject::connect(m_server, &MetricsServer::written, &m_stream, &MetricsStream::written);
    QObject::connect(&m_stream, &MetricsStream::piece, m_server, &MetricsServer::publish);
    m_thread.start();
}

MetricsPublisher::~MetricsPublisher() {
    m_thread.quit();
    m_thread.wait();
}

bool MetricsPublisher::listen(const QHostAddress& address, quint16 port) {
    bool listening = false;
    QMetaObject::invokeMethod(
        m_server,
        [&] {
            listening = m_server->listen(address, port);
            m_port = m_server->port();
            m_error = m_server->errorString();
        },
        Qt::BlockingQueuedConnection);
    return listening;
}
