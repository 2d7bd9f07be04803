#include "monitor/IcmpEchoService.h"

#include "monitor/ModulePing.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/QtHostResolver.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>
#include <QtEndian>

namespace {

// Fills the record of a lost echo: its status and the reporting host, if any.
long lost(EchoReply& reply, quint32 status, quint32 reporter = 0) {
    reply = EchoReply{};
    reply.status = status;
    reply.address = reporter;
    return -static_cast<long>(status);
}

// The address of text made of four numeric parts, in host byte order.
std::optional<quint32> numericAddress(const QString& text) {
    if (text.count(QLatin1Char('.')) != 3)
        return std::nullopt;
    const std::optional<qint32> number = ModulePing::AddressToNumber(text);
    if (!number)
        return std::nullopt;
    // The number holds the first part in its lowest byte.
    return qbswap(static_cast<quint32>(*number));
}

// Whether message answers the request sent to destination with identifier
// and sequence, rather than someone else's echo.
bool answers(const IcmpMessage& message, quint16 identifier, quint16 sequence,
             quint32 destination) {
    if (message.identifier != identifier || message.sequence != sequence)
        return false;
    if (message.kind == IcmpMessage::Kind::EchoReply)
        return message.source == destination;
    return message.destination == destination;
}

} // namespace

IcmpEchoService::IcmpEchoService()
    : IcmpEchoService(
          [](bool& permissionDenied) { return LinuxIcmpSocket::openAny(&permissionDenied); },
          std::make_unique<QtHostResolver>()) {}

IcmpEchoService::IcmpEchoService(SocketOpener openSocket, std::unique_ptr<HostResolver> resolver)
    : m_openSocket(std::move(openSocket))
    , m_resolver(std::move(resolver)) {}

IcmpEchoService::~IcmpEchoService() = default;

std::optional<quint32> IcmpEchoService::resolve(const QString& name) {
    if (name.isEmpty())
        return std::nullopt;
    std::optional<quint32> address;
    bool done = false;
    QEventLoop loop;
    QObject context;
    m_resolver->resolve(name, &context, [&](std::optional<quint32> found) {
        address = found;
        done = true;
        loop.quit();
    });
    if (!done) {
        QTimer::singleShot(ResolveWaitMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return address;
}

long IcmpEchoService::PingHost(const QString& address, EchoReply& reply) {
    const std::weak_ptr<const int> alive = m_lifetime;
    const QString text = address.trimmed();
    std::optional<quint32> destination = numericAddress(text);
    if (!destination)
        destination = resolve(text);
    if (alive.expired())
        return lost(reply, IcmpStatus::GeneralFailure);
    // Linux answers an echo to 0.0.0.0 from the local host: never send one.
    if (!destination || *destination == 0)
        return lost(reply, IcmpStatus::BadDestination);

    bool permissionDenied = false;
    const std::unique_ptr<IcmpSocket> socket = m_openSocket(permissionDenied);
    if (!socket) {
        const long result = lost(reply, IcmpStatus::GeneralFailure);
        reply.permissionDenied = permissionDenied;
        return result;
    }
    const quint16 identifier = socket->identifier();
    const quint16 sequence = m_nextSequence++;
    QElapsedTimer sent;
    sent.start();
    if (const quint32 status =
            socket->sendEcho(*destination, sequence, QByteArrayLiteral("My Request")))
        return lost(reply, status);

    // Nothing below touches the service: it may be gone when the wait ends.
    std::optional<IcmpMessage> answer;
    qint64 roundTrip = 0;
    bool timedOut = false;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = !answer;
        loop.quit();
    });
    QObject::connect(socket.get(), &IcmpSocket::readyRead, &loop, [&] {
        const QList<IcmpMessage> messages = socket->readMessages();
        if (answer || timedOut)
            return;
        for (const IcmpMessage& message : messages) {
            if (answers(message, identifier, sequence, *destination)) {
                answer = message;
                roundTrip = sent.elapsed();
                loop.quit();
                return;
            }
        }
    });
    timer.start(EchoWaitMs);
    loop.exec();

    if (!answer)
        return lost(reply, IcmpStatus::RequestTimedOut);
    if (answer->kind == IcmpMessage::Kind::Error)
        return lost(reply, answer->status, answer->source);
    reply = EchoReply{};
    reply.address = answer->source;
    reply.status = IcmpStatus::Success;
    reply.roundTripTime = static_cast<quint32>(roundTrip);
    reply.ttl = answer->ttl;
    reply.data = answer->data;
    reply.dataSize = static_cast<quint16>(reply.data.size());
    return static_cast<long>(roundTrip);
}
