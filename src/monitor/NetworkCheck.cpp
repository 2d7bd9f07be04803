#include "monitor/NetworkCheck.h"

#include "monitor/AlertEvent.h"
#include "monitor/AlertSink.h"
#include "monitor/ModulePing.h"
#include "monitor/SocketElement.h"
#include "monitor/TextNumbers.h"
#include "platform/EchoService.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <optional>

namespace {

using Kind = NetworkCheck::Entry::Kind;

bool isIPv6Literal(const QString& text) {
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv6Protocol;
}

NetworkCheck::Entry parseEntry(const QString& text) {
    NetworkCheck::Entry entry;
    entry.text = text;
    QString host = text;
    QString port;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return entry;
        host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!isIPv6Literal(host) || (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':'))))
            return entry;
        port = rest.mid(1);
        if (rest.isEmpty()) {
            entry.kind = Kind::Echo;
            entry.host = host;
            return entry;
        }
    } else if (text.count(QLatin1Char(':')) > 1) {
        if (isIPv6Literal(text)) {
            entry.kind = Kind::Echo;
            entry.host = text;
        }
        return entry;
    } else if (const qsizetype colon = text.indexOf(QLatin1Char(':')); colon >= 0) {
        host = text.left(colon);
        port = text.mid(colon + 1);
        if (host.isEmpty())
            return entry;
    } else {
        entry.kind = Kind::Echo;
        entry.host = text;
        return entry;
    }
    if (const std::optional<quint16> number = portNumber(port)) {
        entry.kind = Kind::Tcp;
        entry.host = host;
        entry.port = *number;
    }
    return entry;
}

} // namespace

QList<NetworkCheck::Entry> NetworkCheck::parseEntries(const QString& list) {
    QList<Entry> entries;
    for (const QString& text :
         list.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts))
        entries.append(parseEntry(text));
    return entries;
}

NetworkCheck::NetworkCheck(EchoService& echo, AlertSink& alerts, QObject* parent)
    : QObject(parent)
    , m_echo(echo)
    , m_alerts(alerts) {}

NetworkCheck::~NetworkCheck() = default;

void NetworkCheck::check(const QString& list, Done done) {
    const QList<Entry> entries = parseEntries(list);
    const quint64 serial = ++m_serial;
    if (m_scope)
        m_scope->deleteLater();
    m_scope = nullptr;
    m_list = list.simplified();
    m_done = std::move(done);
    const auto unusable = std::find_if(entries.cbegin(), entries.cend(), [](const Entry& entry) {
        return entry.kind == Kind::Unusable;
    });
    if (entries.isEmpty() || unusable != entries.cend()) {
        finish(true, unusable != entries.cend() ? unusable->text : QString());
        return;
    }
    m_scope = new QObject(this);
    m_outstanding = static_cast<int>(entries.size());
    for (const Entry& entry : entries) {
        if (entry.kind == Kind::Echo)
            askEcho(entry, serial);
        else
            askTcp(entry, serial);
        if (serial != m_serial)
            return; // decided during the call
    }
}

// An echo the system does not permit cannot tell anything about the network.
void NetworkCheck::askEcho(const Entry& entry, quint64 serial) {
    m_echo.PingHost(entry.host, m_scope,
                    [this, serial, text = entry.text](long result, const EchoReply& reply) {
                        outcome(serial,
                                ModulePing::EchoAnswered(result, reply) || reply.permissionDenied,
                                text);
                    });
}

// A connection that is made answers; a refusal, an error or no connection
// within the wait does not.
void NetworkCheck::askTcp(const Entry& entry, quint64 serial) {
    auto* socket = new SocketElement(0, m_scope);
    auto* wait = new QTimer(socket);
    wait->setSingleShot(true);
    const auto settle = [this, serial, socket, wait, text = entry.text](bool answered) {
        wait->stop();
        socket->Close();
        outcome(serial, answered, text);
    };
    connect(socket, &SocketElement::Connected, this, [settle] { settle(true); });
    connect(socket, &SocketElement::Error, this, [settle] { settle(false); });
    connect(wait, &QTimer::timeout, this, [settle] { settle(false); });
    wait->start(ConnectWaitMs);
    socket->Connect(entry.host, entry.port);
}

void NetworkCheck::outcome(quint64 serial, bool answered, const QString& entry) {
    if (serial != m_serial)
        return;
    --m_outstanding;
    if (answered || m_outstanding <= 0)
        finish(answered, entry);
}

// Outcomes still to come belong to a check that is over. Its sockets may be
// in the middle of reporting, so they go, and done is called, once control
// is back in the event loop.
void NetworkCheck::finish(bool up, const QString& entry) {
    const quint64 serial = ++m_serial;
    if (m_scope) {
        m_scope->deleteLater();
        m_scope = nullptr;
    }
    if (up == m_down) {
        m_down = !up;
        AlertEvent event;
        event.kind = m_down ? AlertEvent::Kind::Alert : AlertEvent::Kind::Recovery;
        event.title = m_down ? tr("注意:本机网络异常") : tr("注意:本机网络已恢复");
        event.message =
            m_down ? tr("网络检测地址均无响应:") + m_list : tr("网络检测地址已响应:") + entry;
        if (m_down)
            m_alerts.ShowMsg(4, event.message, event.title);
        else
            m_alerts.ShowServerNotice({}, event.message, event.title);
        if (m_feed)
            m_feed->alertRaised(event);
    }
    QTimer::singleShot(0, this, [this, serial, up, done = std::move(m_done)] {
        if (serial == m_serial && done)
            done(up);
    });
    m_done = nullptr;
}
