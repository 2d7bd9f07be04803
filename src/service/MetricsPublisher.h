#pragma once

#include "service/MetricsStream.h"

#include <QHostAddress>
#include <QObject>
#include <QThread>

class Clock;
class MetricsCollector;
class MetricsServer;

// Serves a collector's text over HTTP: the connections on a thread of their
// own, the text built in pieces on the thread that made the publisher (the
// monitor's) and handed over piece by piece, neither thread waiting for the
// other. The collector must outlive it.
class MetricsPublisher final {
    Q_DISABLE_COPY_MOVE(MetricsPublisher)
public:
    MetricsPublisher(const MetricsCollector& collector, const Clock& clock);
    ~MetricsPublisher();

    // Port 0 takes any free port; false with errorString() when it failed.
    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const { return m_port; }
    QString errorString() const { return m_error; }
    MetricsStream& stream() { return m_stream; }
    // Lives on the publisher's thread: call it there.
    MetricsServer* server() const { return m_server; }

private:
    MetricsStream m_stream;
    QThread m_thread;
    MetricsServer* m_server; // lives on m_thread, which deletes it as it ends
    quint16 m_port = 0;
    QString m_error;
};
