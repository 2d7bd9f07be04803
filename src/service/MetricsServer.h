#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

// A minimal HTTP/1.x server for one resource: GET /metrics answers with the
// body the source gives, in the Prometheus text format; any other path is
// 404, any other method 405. Every answer closes its connection. A request
// whose head grows beyond RequestLimit bytes, or a connection still open
// after the time-out, is dropped; beyond ConnectionLimit connections at
// once a new one is closed at once. Runs on the thread's event loop and
// never blocks it.
class MetricsServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MetricsServer)
public:
    static constexpr qsizetype RequestLimit = 8 * 1024;
    static constexpr int ConnectionLimit = 16;
    static constexpr int DefaultTimeOutMs = 5000;

    explicit MetricsServer(std::function<QByteArray()> source, QObject* parent = nullptr);
    ~MetricsServer() override;

    // Port 0 takes any free port; false with errorString() when it failed.
    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return m_server.errorString(); }
    quint16 port() const { return m_server.serverPort(); }
    int openConnections() const { return m_open; }
    void setTimeOutMs(int ms) { m_timeOutMs = ms; }

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const QByteArray& status, const QByteArray& contentType,
                const QByteArray& body);

    std::function<QByteArray()> m_source;
    QTcpServer m_server;
    int m_open = 0;
    int m_timeOutMs = DefaultTimeOutMs;
};
