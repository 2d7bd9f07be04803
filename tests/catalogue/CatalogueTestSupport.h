#pragma once

#include "catalogue/ModuleDB.h"
#include "catalogue/ui/MultiLineText.h"
#include "platform/AppPaths.h"

#include <QHostAddress>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

// An empty catalogue in a temporary program folder, open while this lives.
struct TemporaryCatalogue {
    QTemporaryDir dir;
    TemporaryCatalogue() {
        AppPaths::setCurrent(AppPaths::portableIn(dir.path()));
        ModuleDB::setDbPath(AppPaths::current().catalogueFile());
        ModuleDB::DbOpen();
    }
    ~TemporaryCatalogue() {
        ModuleDB::DbClose();
        AppPaths::setCurrent(AppPaths::portableIn(QCoreApplication::applicationDirPath()));
    }
};

// A server on 127.0.0.1 (or another loopback address) that keeps what it
// receives and answers the first data of each connection with reply
// (nothing when reply is empty).
class LoopbackServer {
public:
    explicit LoopbackServer(QByteArray reply = {},
                            const QHostAddress& address = QHostAddress(QHostAddress::LocalHost))
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
        m_server.listen(address);
    }
    bool isListening() const { return m_server.isListening(); }
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

// Controls of a dialog by object name.
template <typename Widget = QWidget> Widget* control(QWidget& form, const char* name) {
    auto* widget = form.findChild<Widget*>(QLatin1String(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

inline void click(QWidget& form, const char* name) {
    QTest::mouseClick(control(form, name), Qt::LeftButton);
}

inline QString boxText(QWidget& form, const char* name) {
    if (auto* line = form.findChild<QLineEdit*>(QLatin1String(name)))
        return line->text();
    if (auto* box = form.findChild<MultiLineText*>(QLatin1String(name)))
        return box->text();
    return control<QPlainTextEdit>(form, name)->toPlainText();
}

inline void type(QWidget& form, const char* name, const QString& text) {
    if (auto* line = form.findChild<QLineEdit*>(QLatin1String(name)))
        line->setText(text);
    else
        control<MultiLineText>(form, name)->setText(text);
}
