#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>

// Echo status numbers an ICMP socket reports (the IP_STATUS numbering).
namespace IcmpStatus {
constexpr quint32 Success = 0;
constexpr quint32 DestNetUnreachable = 11002;
constexpr quint32 DestHostUnreachable = 11003;
constexpr quint32 DestProtocolUnreachable = 11004;
constexpr quint32 DestPortUnreachable = 11005;
constexpr quint32 NoResources = 11006;
constexpr quint32 PacketTooBig = 11009;
constexpr quint32 RequestTimedOut = 11010;
constexpr quint32 BadRoute = 11012;
constexpr quint32 TtlExpiredTransit = 11013;
constexpr quint32 TtlExpiredReassembly = 11014;
constexpr quint32 ParameterProblem = 11015;
constexpr quint32 SourceQuench = 11016;
constexpr quint32 BadDestination = 11018;
constexpr quint32 GeneralFailure = 11050;
} // namespace IcmpStatus

// One message an ICMP socket received: an echo reply, or an error report
// that quotes an echo request.
struct IcmpMessage {
    enum class Kind { EchoReply, Error };
    Kind kind = Kind::EchoReply;
    quint16 identifier = 0;
    quint16 sequence = 0;
    QHostAddress source;      // the replying host or the reporting router
    QHostAddress destination; // errors only: where the quoted request went (null when not known)
    quint32 status = IcmpStatus::Success; // errors only: the echo status it means
    quint8 ttl = 0;
    QByteArray data; // echo replies only: the echoed data
};

// A socket that sends ICMP echo requests (ICMPv6 for an IPv6 socket) and
// reports what comes back.
// readyRead is emitted from the event loop when messages may be waiting.
class IcmpSocket : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~IcmpSocket() override;

    // The identifier the echo requests of this socket carry.
    virtual quint16 identifier() const = 0;
    // Sends one echo request to destination, an address of the socket's
    // family; returns 0 when sent, otherwise the echo status of the failure.
    virtual quint32 sendEcho(const QHostAddress& destination, quint16 sequence,
                             const QByteArray& payload) = 0;
    // Takes the messages received so far; stray messages (other identifiers,
    // other kinds) are the caller's to ignore.
    virtual QList<IcmpMessage> readMessages() = 0;

signals:
    void readyRead();
};
