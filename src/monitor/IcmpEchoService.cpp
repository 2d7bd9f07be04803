#include "monitor/IcmpEchoService.h"

#include "monitor/HostText.h"
#include "monitor/ModulePing.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/QtHostResolver.h"

#include <QtEndian>

#include <algorithm>
#include <memory>

namespace {

// The echo payload is wire data, the same in every interface language.
const QByteArray RequestData = QByteArrayLiteral("My Request");

EchoReply lostReply(quint32 status, const QHostAddress& reporter) {
    EchoReply reply;
    reply.status = status;
    reply.address = reporter;
    return reply;
}

// The address of text made of four numeric parts.
std::optional<QHostAddress> numericAddress(const QString& text) {
    if (text.count(QLatin1Char('.')) != 3)
        return std::nullopt;
    const std::optional<qint32> number = ModulePing::AddressToNumber(text);
    if (!number)
        return std::nullopt;
    // The number holds the first part in its lowest byte.
    return QHostAddress(qbswap(static_cast<quint32>(*number)));
}

// An IPv6 literal, with or without the brackets of a URL; an IPv4 address
// written in IPv6 form is the IPv4 address.
std::optional<QHostAddress> ipv6Literal(const QString& text) {
    const QString literal = HostText(text);
    if (!literal.contains(QLatin1Char(':')))
        return std::nullopt;
    QHostAddress address;
    if (!address.setAddress(literal) || address.protocol() != QAbstractSocket::IPv6Protocol)
        return std::nullopt;
    bool mapped = false;
    const quint32 ipv4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(ipv4) : address;
}

// Linux answers an echo to the unspecified address from the local host:
// such a destination, like none at all, is never sent to.
bool usable(const QHostAddress& address) {
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
        return address.toIPv4Address() != 0;
    return address.protocol() == QAbstractSocket::IPv6Protocol &&
           address != QHostAddress(QHostAddress::AnyIPv6);
}

} // namespace

IcmpEchoService::IcmpEchoService()
    : IcmpEchoService(
          [](Family family, bool& permissionDenied) {
              return LinuxIcmpSocket::openAny(family == Family::IPv6
                                                  ? LinuxIcmpSocket::Family::IPv6
                                                  : LinuxIcmpSocket::Family::IPv4,
                                              &permissionDenied);
          },
          std::make_unique<QtHostResolver>()) {}

IcmpEchoService::IcmpEchoService(SocketOpener openSocket, std::unique_ptr<HostResolver> resolver)
    : m_openSocket(std::move(openSocket))
    , m_resolver(std::move(resolver)) {
    m_clock.start();
    m_deadlineTimer.setSingleShot(true);
    m_deadlineTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_deadlineTimer, &QTimer::timeout, this, &IcmpEchoService::expireDue);
}

IcmpEchoService::~IcmpEchoService() = default;

void IcmpEchoService::PingHost(const QString& address, QObject* context, Done done) {
    const QString text = address.trimmed();
    std::optional<QHostAddress> destination = numericAddress(text);
    if (!destination)
        destination = ipv6Literal(text);
    if (destination) {
        if (!usable(*destination))
            failLater(context, std::move(done), IcmpStatus::BadDestination);
        else
            send(*destination, context, std::move(done));
        return;
    }
    if (text.isEmpty()) {
        failLater(context, std::move(done), IcmpStatus::BadDestination);
        return;
    }
    lookUp(text, context, std::move(done));
}

// An echo to a name waits ResolveWaitMs at most for its address, and is
// lost when none has come by then. Echoes to a name whose lookup is under
// way wait for that one, so a resolver that drops queries holds at most one
// lookup per name, and none once nobody waits.
void IcmpEchoService::lookUp(const QString& name, QObject* context, Done done) {
    auto found = m_lookups.find(name);
    if (found == m_lookups.end()) {
        found = m_lookups.emplace(name, NameLookup{std::make_unique<QObject>(), {}}).first;
        m_resolver->resolve(name, found->second.scope.get(),
                            [this, name](const QHostAddress& address) { resolved(name, address); });
    }
    const quint64 serial = m_nextWaiter++;
    found->second.waiters.append({serial, context, std::move(done)});
    QTimer::singleShot(ResolveWaitMs, this,
                       [this, name, serial] { resolveWaitOver(name, serial); });
}

// Every echo still waiting is sent; an echo whose caller went away is not.
void IcmpEchoService::resolved(const QString& name, const QHostAddress& found) {
    auto lookup = m_lookups.extract(name);
    if (lookup.empty())
        return;
    // This runs in the scope's own callback: the scope goes after it.
    QObject* scope = lookup.mapped().scope.release();
    scope->setParent(this);
    scope->deleteLater();
    for (Waiter& waiter : lookup.mapped().waiters) {
        if (!waiter.context)
            continue;
        if (!usable(found))
            failLater(waiter.context, std::move(waiter.done), IcmpStatus::BadDestination);
        else
            send(found, waiter.context, std::move(waiter.done));
    }
}

void IcmpEchoService::resolveWaitOver(const QString& name, quint64 serial) {
    const auto found = m_lookups.find(name);
    if (found == m_lookups.end())
        return;
    QList<Waiter>& waiters = found->second.waiters;
    const auto waiter = std::find_if(waiters.begin(), waiters.end(),
                                     [serial](const Waiter& w) { return w.serial == serial; });
    if (waiter == waiters.end())
        return;
    const Waiter lost = std::move(*waiter);
    waiters.erase(waiter);
    if (waiters.isEmpty())
        m_lookups.erase(found);
    // Last: the caller may send again or end the service from its callback.
    if (lost.context)
        lost.done(-static_cast<long>(IcmpStatus::BadDestination),
                  lostReply(IcmpStatus::BadDestination, {}));
}

void IcmpEchoService::failLater(QPointer<QObject> context, Done done, quint32 status,
                                bool permissionDenied) {
    QMetaObject::invokeMethod(
        this,
        [context, done = std::move(done), status, permissionDenied] {
            if (!context)
                return;
            EchoReply reply = lostReply(status, {});
            reply.permissionDenied = permissionDenied;
            done(-static_cast<long>(status), reply);
        },
        Qt::QueuedConnection);
}

IcmpSocket* IcmpEchoService::socketFor(Family family, bool& permissionDenied) {
    std::unique_ptr<IcmpSocket>& socket = m_sockets[family == Family::IPv6 ? 1 : 0];
    if (!socket) {
        socket = m_openSocket(family, permissionDenied);
        if (socket)
            connect(socket.get(), &IcmpSocket::readyRead, this,
                    [this, family] { readReplies(family); });
    }
    return socket.get();
}

// A sequence number no echo of the family under way carries.
std::optional<quint16> IcmpEchoService::freeSequence(Family family) {
    for (int tries = 0; tries < 0x10000; ++tries) {
        const quint16 sequence = m_nextSequence++;
        if (!m_echoes.contains(keyOf(family, sequence)))
            return sequence;
    }
    return std::nullopt;
}

void IcmpEchoService::send(const QHostAddress& destination, QPointer<QObject> context, Done done) {
    const Family family =
        destination.protocol() == QAbstractSocket::IPv6Protocol ? Family::IPv6 : Family::IPv4;
    bool permissionDenied = false;
    IcmpSocket* socket = socketFor(family, permissionDenied);
    if (!socket) {
        failLater(context, std::move(done), IcmpStatus::GeneralFailure, permissionDenied);
        return;
    }
    const std::optional<quint16> sequence = freeSequence(family);
    if (!sequence) {
        failLater(context, std::move(done), IcmpStatus::NoResources);
        return;
    }
    const qint64 now = m_clock.nsecsElapsed();
    if (const quint32 status = socket->sendEcho(destination, *sequence, RequestData)) {
        failLater(context, std::move(done), status);
        return;
    }
    const quint64 serial = m_nextSerial++;
    m_echoes.insert(keyOf(family, *sequence),
                    Echo{destination, family, serial, now, context, std::move(done)});
    m_deadlines.enqueue({serial, *sequence, family, now + qint64(EchoWaitMs) * 1000000});
    if (!m_deadlineTimer.isActive())
        armDeadline();
}

void IcmpEchoService::readReplies(Family family) {
    IcmpSocket* socket = m_sockets[family == Family::IPv6 ? 1 : 0].get();
    const QList<IcmpMessage> messages = socket->readMessages();
    const qint64 now = m_clock.nsecsElapsed();
    const QPointer<IcmpEchoService> self(this);
    for (const IcmpMessage& message : messages) {
        if (message.identifier != socket->identifier())
            continue;
        const auto found = m_echoes.constFind(keyOf(family, message.sequence));
        if (found == m_echoes.cend())
            continue;
        const bool fromDestination = message.kind == IcmpMessage::Kind::EchoReply
                                         ? message.source == found->destination
                                         : message.destination == found->destination;
        if (!fromDestination)
            continue;
        Echo echo = m_echoes.take(found.key());
        if (!echo.context)
            continue;
        if (message.kind == IcmpMessage::Kind::Error) {
            echo.done(-static_cast<long>(message.status),
                      lostReply(message.status, message.source));
        } else {
            EchoReply reply;
            reply.address = message.source;
            reply.status = IcmpStatus::Success;
            reply.roundTripTime = static_cast<quint32>((now - echo.sentNs) / 1000000);
            reply.ttl = message.ttl;
            reply.data = message.data;
            reply.dataSize = static_cast<quint16>(reply.data.size());
            echo.done(static_cast<long>(reply.roundTripTime), reply);
        }
        // A caller may end the service from its callback.
        if (!self)
            return;
    }
}

void IcmpEchoService::expireDue() {
    const QPointer<IcmpEchoService> self(this);
    while (!m_deadlines.isEmpty() && m_deadlines.head().dueNs <= m_clock.nsecsElapsed()) {
        const Deadline due = m_deadlines.dequeue();
        const auto found = m_echoes.constFind(keyOf(due.family, due.sequence));
        if (found == m_echoes.cend() || found->serial != due.serial)
            continue; // answered already
        Echo echo = m_echoes.take(found.key());
        if (echo.context)
            echo.done(-static_cast<long>(IcmpStatus::RequestTimedOut),
                      lostReply(IcmpStatus::RequestTimedOut, {}));
        if (!self)
            return;
    }
    armDeadline();
}

void IcmpEchoService::armDeadline() {
    // Answered echoes leave their deadlines behind; they are dropped here.
    while (!m_deadlines.isEmpty()) {
        const Deadline& head = m_deadlines.head();
        const auto found = m_echoes.constFind(keyOf(head.family, head.sequence));
        if (found != m_echoes.cend() && found->serial == head.serial)
            break;
        m_deadlines.dequeue();
    }
    if (m_deadlines.isEmpty()) {
        m_deadlineTimer.stop();
        return;
    }
    const qint64 waitNs = m_deadlines.head().dueNs - m_clock.nsecsElapsed();
    m_deadlineTimer.start(static_cast<int>(qMax<qint64>(0, (waitNs + 999999) / 1000000)));
}
