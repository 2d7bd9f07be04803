#include "service/MetricsServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <utility>

namespace {
const QByteArray HeadEnd = QByteArrayLiteral("\r\n\r\n");
const QByteArray TextFormat = QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8");
const QByteArray PlainText = QByteArrayLiteral("text/plain; charset=utf-8");

void startDeadline(QTcpSocket* socket, int ms, const std::function<void()>& expired) {
    auto* deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, socket, expired);
    deadline->start(ms);
}
} // namespace

MetricsServer::MetricsServer(QObject* parent)
    : QObject(parent)
    , m_server(this) {
    m_server.setMaxPendingConnections(ConnectionLimit);
    connect(&m_server, &QTcpServer::newConnection, this, &MetricsServer::onNewConnection);
}

MetricsServer::~MetricsServer() = default;

bool MetricsServer::listen(const QHostAddress& address, quint16 port) {
    return m_server.listen(address, port);
}

void MetricsServer::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_open.size() >= ConnectionLimit) {
            if (m_idle.isEmpty()) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            release(m_idle.first(), true);
        }
        m_open.append(socket);
        m_idle.append(socket);
        // Whatever happens, the connection ends by its deadline; one that
        // says nothing ends much sooner.
        startDeadline(socket, m_timeOutMs, [this, socket] { release(socket, true); });
        startDeadline(socket, m_idleTimeOutMs, [this, socket] {
            if (m_idle.contains(socket))
                release(socket, true);
        });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, socket] { release(socket, false); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
    }
}

void MetricsServer::release(QTcpSocket* socket, bool abort) {
    if (!m_open.removeOne(socket))
        return;
    m_idle.removeOne(socket);
    m_waiting.removeOne(socket);
    if (abort)
        socket->abort();
    socket->deleteLater();
}

void MetricsServer::onReadyRead(QTcpSocket* socket) {
    m_idle.removeOne(socket);
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    // The head so far stays in the socket's buffer until it is complete.
    const QByteArray head = socket->peek(RequestLimit + 1);
    const qsizetype end = head.indexOf(HeadEnd);
    if (end < 0 || end + HeadEnd.size() > RequestLimit) {
        if (head.size() > RequestLimit)
            release(socket, true);
        return;
    }
    socket->read(end + HeadEnd.size());
    socket->setProperty("answered", true);

    const QList<QByteArray> request = head.left(head.indexOf("\r\n")).split(' ');
    if (request.size() != 3 || !request.at(2).startsWith("HTTP/1.")) {
        answer(socket, "400 Bad Request", PlainText, "bad request\n");
        return;
    }
    const QByteArray& target = request.at(1);
    const qsizetype query = target.indexOf('?');
    const QByteArray path = query < 0 ? target : target.left(query);
    if (path != "/metrics")
        answer(socket, "404 Not Found", PlainText, "not found\n");
    else if (request.at(0) != "GET")
        answer(socket, "405 Method Not Allowed", PlainText, "method not allowed\n");
    else {
        m_waiting.append(socket);
        if (m_waiting.size() == 1)
            emit textWanted();
    }
}

void MetricsServer::publish(const QByteArray& body) {
    for (QTcpSocket* socket : std::exchange(m_waiting, {}))
        answer(socket, "200 OK", TextFormat, body);
}

void MetricsServer::answer(QTcpSocket* socket, const QByteArray& status,
                           const QByteArray& contentType, const QByteArray& body) {
    socket->write("HTTP/1.1 " + status + "\r\nContent-Type: " + contentType +
                  "\r\nContent-Length: " + QByteArray::number(body.size()) +
                  "\r\nConnection: close\r\n\r\n");
    // Written on its own, a large body is queued without a copy of it.
    socket->write(body);
    socket->disconnectFromHost();
}
