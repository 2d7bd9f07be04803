#pragma once

#include "catalogue/ModuleDB.h"
#include "platform/AppPaths.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

// An empty catalogue in a temporary program folder, open while this lives.
struct TemporaryCatalogue {
    QTemporaryDir dir;
    TemporaryCatalogue() {
        setAppPathForTesting(dir.path());
        ModuleDB::setDbPath(GetAppPath() + QStringLiteral("ServerList.db"));
        ModuleDB::DbOpen();
    }
    ~TemporaryCatalogue() {
        ModuleDB::DbClose();
        setAppPathForTesting({});
    }
};

// A server on 127.0.0.1 that keeps what it receives and answers the first
// data of each connection with reply (nothing when reply is empty).
class LoopbackServer {
public:
    explicit LoopbackServer(QByteArray reply = {})
        : m_reply(std::move(reply)) {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* peer = m_server.nextPendingConnection())
                QObject::connect(peer, &QTcpSocket::readyRead, peer, [this, peer] {
                    const bool first = peer->property("answered").isNull();
                    received += peer->readAll();
                    if (first && !m_reply.isEmpty())
                        peer->write(m_reply);
                    peer->setProperty("answered", true);
                });
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    quint16 port() const { return m_server.serverPort(); }
    // A loopback port nobody listens on.
    static quint16 closedPort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }

    QByteArray received;

private:
    QTcpServer m_server;
    QByteArray m_reply;
};
