#include "service/MetricsServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <utility>

namespace {
const QByteArray HeadEnd = QByteArrayLiteral("\r\n\r\n");
const QByteArray TextFormat = QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8");
const QByteArray PlainText = QByteArrayLiteral("text/plain; charset=utf-8");

const QString DeadlineName = QStringLiteral("deadline");

QTimer* startDeadline(QTcpSocket* socket, int ms, const std::function<void()>& expired) {
    auto* deadline = new QTimer(socket);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, socket, expired);
    deadline->start(ms);
    return deadline;
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
        startDeadline(socket, m_timeOutMs, [this, socket] {
            release(socket, true);
        })->setObjectName(DeadlineName);
        startDeadline(socket, m_idleTimeOutMs, [this, socket] {
            if (m_idle.contains(socket))
                release(socket, true);
        });
        startDeadline(socket, m_answerLimitMs, [this, socket] { release(socket, true); });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, socket] { release(socket, false); });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            extendDeadline(socket);
            reportWritten();
        });
    }
}

void MetricsServer::extendDeadline(QTcpSocket* socket) {
    if (auto* deadline = socket->findChild<QTimer*>(DeadlineName, Qt::FindDirectChildrenOnly))
        deadline->start(m_timeOutMs);
}

void MetricsServer::release(QTcpSocket* socket, bool abort) {
    if (!m_open.removeOne(socket))
        return;
    m_idle.removeOne(socket);
    m_waiting.removeOne(socket);
    m_receiving.removeOne(socket);
    m_sending.removeOne(socket);
    if (abort)
        socket->abort();
    socket->deleteLater();
    reportWritten();
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
    // HTTP/1.0 knows no chunks: its text ends with the connection.
    socket->setProperty("chunked", request.at(2) != "HTTP/1.0");
    const QByteArray& target = request.at(1);
    const qsizetype query = target.indexOf('?');
    const QByteArray path = query < 0 ? target : target.left(query);
    if (path != "/metrics")
        answer(socket, "404 Not Found", PlainText, "not found\n");
    else if (request.at(0) != "GET")
        answer(socket, "405 Method Not Allowed", PlainText, "method not allowed\n");
    else {
        m_waiting.append(socket);
        if (!m_wanted) {
            m_wanted = true;
            emit textWanted();
        }
    }
}

void MetricsServer::publish(const QByteArray& piece, bool last) {
    m_published += piece.size();
    // Over copies of the lists: a connection may end while it is written to.
    if (!m_begun)
        beginText(piece, last);
    else
        for (QTcpSocket* socket : QList(m_receiving))
            sendPiece(socket, piece);
    // The requests waiting for the next text wait on the progress of this one.
    for (QTcpSocket* socket : QList(m_waiting))
        extendDeadline(socket);
    if (last) {
        for (QTcpSocket* socket : std::exchange(m_receiving, {})) {
            if (socket->property("chunked").toBool())
                socket->write("0\r\n\r\n");
            socket->disconnectFromHost();
        }
        m_begun = false;
        m_wanted = !m_waiting.isEmpty();
        if (m_wanted)
            emit textWanted();
    }
    reportWritten();
}

void MetricsServer::beginText(const QByteArray& piece, bool last) {
    m_begun = true;
    m_receiving = std::exchange(m_waiting, {});
    for (QTcpSocket* socket : QList(m_receiving)) {
        m_sending.append(socket);
        extendDeadline(socket);
        if (last) {
            answer(socket, "200 OK", TextFormat, piece);
            continue;
        }
        const bool chunked = socket->property("chunked").toBool();
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + TextFormat +
                      (chunked ? "\r\nTransfer-Encoding: chunked" : "") +
                      "\r\nConnection: close\r\n\r\n");
        sendPiece(socket, piece);
    }
    if (last)
        m_receiving.clear();
}

void MetricsServer::sendPiece(QTcpSocket* socket, const QByteArray& piece) {
    if (piece.isEmpty())
        return; // a chunk of nothing would end the text
    if (!socket->property("chunked").toBool()) {
        socket->write(piece);
        return;
    }
    socket->write(QByteArray::number(piece.size(), 16) + "\r\n");
    // Written on its own, a piece is queued without a copy of it.
    socket->write(piece);
    socket->write("\r\n");
}

void MetricsServer::reportWritten() {
    qint64 queued = 0;
    for (const QTcpSocket* socket : std::as_const(m_sending))
        queued = qMax(queued, socket->bytesToWrite());
    const qint64 gone = qMax(m_written, m_published - queued);
    if (gone == m_written)
        return;
    m_written = gone;
    emit written(m_written);
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
