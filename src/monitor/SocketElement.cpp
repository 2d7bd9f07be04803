#include "monitor/SocketElement.h"

#include <QTcpSocket>

const QStringList& SocketStateNames() {
    static const QStringList names{QStringLiteral("关闭"),     QStringLiteral("打开"),
                                   QStringLiteral("监听"),     QStringLiteral("连接未定"),
                                   QStringLiteral("解析主机"), QStringLiteral("决定主机"),
                                   QStringLiteral("正在连接"), QStringLiteral("已连接"),
                                   QStringLiteral("已关闭"),   QStringLiteral("错误")};
    return names;
}

SocketElement::SocketElement(quint64 key, QObject* parent)
    : QObject(parent)
    , m_key(key) {}

SocketElement::~SocketElement() {
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

QTcpSocket& SocketElement::socket() {
    if (!m_socket) {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QTcpSocket::connected, this, [this] { emit Connected(m_key); });
        connect(m_socket, &QTcpSocket::readyRead, this,
                [this] { emit DataArrival(m_key, m_socket->bytesAvailable()); });
        connect(m_socket, &QTcpSocket::errorOccurred, this, &SocketElement::onErrorOccurred);
        connect(m_socket, &QTcpSocket::disconnected, this, &SocketElement::onDisconnected);
    }
    return *m_socket;
}

bool SocketElement::Connect(const QString& remoteHost, int remotePort, QString* error) {
    m_remoteHost = remoteHost;
    m_remotePort = remotePort;
    if (remotePort < 0 || remotePort > 65535) {
        if (error)
            *error = tr("Invalid port number: %1").arg(remotePort);
        return false;
    }
    QTcpSocket& tcp = socket();
    Close();
    // An error the socket reports from inside connectToHost is delivered after
    // the call, like every other outcome.
    m_inConnect = true;
    tcp.connectToHost(remoteHost, static_cast<quint16>(remotePort));
    m_inConnect = false;
    return true;
}

void SocketElement::Close() {
    if (m_socket)
        m_socket->abort();
    ++m_attempt;
    m_failed = false;
    m_peerClosed = false;
}

int SocketElement::State() const {
    if (!m_socket)
        return 0;
    switch (m_socket->state()) {
    case QAbstractSocket::UnconnectedState:
        return m_failed ? 9 : (m_peerClosed ? 8 : 0);
    case QAbstractSocket::HostLookupState:
        return 4;
    case QAbstractSocket::ConnectingState:
        return 6;
    case QAbstractSocket::ConnectedState:
        return 7;
    case QAbstractSocket::BoundState:
        return 1;
    case QAbstractSocket::ListeningState:
        return 2;
    case QAbstractSocket::ClosingState:
        return 8;
    }
    return 0;
}

void SocketElement::SendData(const QByteArray& bytes) {
    if (m_socket && !bytes.isEmpty())
        m_socket->write(bytes);
}

QByteArray SocketElement::GetData() {
    return m_socket ? m_socket->readAll() : QByteArray();
}

void SocketElement::onErrorOccurred() {
    const QAbstractSocket::SocketError code = m_socket->error();
    // The peer closing its side is no error of the probe.
    if (code == QAbstractSocket::RemoteHostClosedError) {
        m_peerClosed = true;
        return;
    }
    m_failed = true;
    const int number = static_cast<int>(code);
    const QString description = m_socket->errorString();
    if (!m_inConnect) {
        emit Error(m_key, number, description);
        return;
    }
    const quint64 attempt = m_attempt;
    QMetaObject::invokeMethod(
        this,
        [this, attempt, number, description] {
            if (attempt == m_attempt)
                emit Error(m_key, number, description);
        },
        Qt::QueuedConnection);
}

void SocketElement::onDisconnected() {
    if (!m_failed)
        m_peerClosed = true;
}
