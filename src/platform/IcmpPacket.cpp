#include "platform/IcmpPacket.h"

#include <QtEndian>

#include <cerrno>
#include <cstring>

namespace IcmpPacket {

namespace {

constexpr quint8 TypeEchoReply = 0;
constexpr quint8 TypeDestUnreachable = 3;
constexpr quint8 TypeSourceQuench = 4;
constexpr quint8 TypeEchoRequest = 8;
constexpr quint8 TypeTimeExceeded = 11;
constexpr quint8 TypeParameterProblem = 12;
constexpr quint8 Type6DestUnreachable = 1;
constexpr quint8 Type6PacketTooBig = 2;
constexpr quint8 Type6TimeExceeded = 3;
constexpr quint8 Type6ParameterProblem = 4;
constexpr quint8 Type6EchoRequest = 128;
constexpr quint8 Type6EchoReply = 129;
constexpr qsizetype IcmpHeaderSize = 8;
constexpr qsizetype Ip6HeaderSize = 40;
constexpr quint8 ProtocolIcmp6 = 58;
constexpr qsizetype IpHeaderMinSize = 20;
constexpr quint8 ProtocolIcmp = 1;

quint8 byteAt(const QByteArray& data, qsizetype offset) {
    return static_cast<quint8>(data.at(offset));
}

quint16 word16At(const QByteArray& data, qsizetype offset) {
    return qFromBigEndian<quint16>(data.constData() + offset);
}

quint32 word32At(const QByteArray& data, qsizetype offset) {
    return qFromBigEndian<quint32>(data.constData() + offset);
}

// Length of a well-formed IPv4 header at the start of data, or 0.
qsizetype ipHeaderLength(const QByteArray& data) {
    if (data.size() < IpHeaderMinSize || (byteAt(data, 0) >> 4) != 4)
        return 0;
    const qsizetype length = (byteAt(data, 0) & 0x0F) * 4;
    return length >= IpHeaderMinSize && length <= data.size() ? length : 0;
}

} // namespace

quint16 checksum(const QByteArray& data) {
    quint32 sum = 0;
    qsizetype i = 0;
    for (; i + 1 < data.size(); i += 2)
        sum += word16At(data, i);
    if (i < data.size())
        sum += quint32{byteAt(data, i)} << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<quint16>(~sum);
}

QByteArray echoRequest6(quint16 identifier, quint16 sequence, const QByteArray& payload) {
    QByteArray packet(IcmpHeaderSize, '\0');
    packet[0] = static_cast<char>(Type6EchoRequest);
    qToBigEndian(identifier, packet.data() + 4);
    qToBigEndian(sequence, packet.data() + 6);
    packet.append(payload);
    return packet;
}

QByteArray echoRequest(quint16 identifier, quint16 sequence, const QByteArray& payload) {
    QByteArray packet = echoRequest6(identifier, sequence, payload);
    packet[0] = static_cast<char>(TypeEchoRequest);
    qToBigEndian(checksum(packet), packet.data() + 2);
    return packet;
}

std::optional<quint32> statusForIcmpError(quint8 type, quint8 code) {
    switch (type) {
    case TypeDestUnreachable:
        switch (code) {
        case 0:  // network
        case 6:  // network unknown
        case 9:  // network prohibited
        case 11: // network unreachable for the type of service
            return IcmpStatus::DestNetUnreachable;
        case 2:
            return IcmpStatus::DestProtocolUnreachable;
        case 3:
            return IcmpStatus::DestPortUnreachable;
        case 4: // fragmentation needed
            return IcmpStatus::PacketTooBig;
        case 5:
            return IcmpStatus::BadRoute;
        default:
            return IcmpStatus::DestHostUnreachable;
        }
    case TypeTimeExceeded:
        return code == 1 ? IcmpStatus::TtlExpiredReassembly : IcmpStatus::TtlExpiredTransit;
    case TypeParameterProblem:
        return IcmpStatus::ParameterProblem;
    case TypeSourceQuench:
        return IcmpStatus::SourceQuench;
    default:
        return std::nullopt;
    }
}

std::optional<quint32> statusForIcmp6Error(quint8 type, quint8 code) {
    switch (type) {
    case Type6DestUnreachable:
        switch (code) {
        case 0: // no route
        case 2: // beyond the scope of the source address
        case 6: // reject route
            return IcmpStatus::DestNetUnreachable;
        case 4:
            return IcmpStatus::DestPortUnreachable;
        default: // prohibited, address unreachable, source failed policy
            return IcmpStatus::DestHostUnreachable;
        }
    case Type6PacketTooBig:
        return IcmpStatus::PacketTooBig;
    case Type6TimeExceeded:
        return code == 1 ? IcmpStatus::TtlExpiredReassembly : IcmpStatus::TtlExpiredTransit;
    case Type6ParameterProblem:
        return code == 1 ? IcmpStatus::DestProtocolUnreachable : IcmpStatus::ParameterProblem;
    default:
        return std::nullopt;
    }
}

quint32 statusForSendError(int error) {
    switch (error) {
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return IcmpStatus::DestHostUnreachable;
    case EMSGSIZE:
        return IcmpStatus::PacketTooBig;
    case ENOBUFS:
    case ENOMEM:
        return IcmpStatus::NoResources;
    default:
        return IcmpStatus::GeneralFailure;
    }
}

namespace {

// An echo reply of either family: identifier, sequence and payload sit alike.
IcmpMessage echoReply(const QByteArray& icmp, const QHostAddress& source, quint8 ttl) {
    IcmpMessage message;
    message.kind = IcmpMessage::Kind::EchoReply;
    message.source = source;
    message.ttl = ttl;
    message.identifier = word16At(icmp, 4);
    message.sequence = word16At(icmp, 6);
    message.data = icmp.mid(IcmpHeaderSize);
    return message;
}

} // namespace

std::optional<IcmpMessage> readIcmp(const QByteArray& icmp, const QHostAddress& source,
                                    quint8 ttl) {
    if (icmp.size() < IcmpHeaderSize)
        return std::nullopt;
    const quint8 type = byteAt(icmp, 0);
    if (type == TypeEchoReply)
        return echoReply(icmp, source, ttl);
    IcmpMessage message;
    message.source = source;
    message.ttl = ttl;
    const std::optional<quint32> status = statusForIcmpError(type, byteAt(icmp, 1));
    if (!status)
        return std::nullopt;
    // The error quotes the IP header of the request and its first 8 bytes.
    const QByteArray quoted = icmp.mid(IcmpHeaderSize);
    const qsizetype quotedHeader = ipHeaderLength(quoted);
    if (quotedHeader == 0 || byteAt(quoted, 9) != ProtocolIcmp ||
        quoted.size() < quotedHeader + IcmpHeaderSize ||
        byteAt(quoted, quotedHeader) != TypeEchoRequest)
        return std::nullopt;
    message.kind = IcmpMessage::Kind::Error;
    message.status = *status;
    message.destination = QHostAddress(word32At(quoted, 16));
    message.identifier = word16At(quoted, quotedHeader + 4);
    message.sequence = word16At(quoted, quotedHeader + 6);
    return message;
}

std::optional<IcmpMessage> readIpPacket(const QByteArray& packet) {
    const qsizetype header = ipHeaderLength(packet);
    if (header == 0 || byteAt(packet, 9) != ProtocolIcmp)
        return std::nullopt;
    return readIcmp(packet.mid(header), QHostAddress(word32At(packet, 12)), byteAt(packet, 8));
}

std::optional<IcmpMessage> readIcmp6(const QByteArray& icmp, const QHostAddress& source,
                                     quint8 hopLimit) {
    if (icmp.size() < IcmpHeaderSize)
        return std::nullopt;
    const quint8 type = byteAt(icmp, 0);
    if (type == Type6EchoReply)
        return echoReply(icmp, source, hopLimit);
    IcmpMessage message;
    message.source = source;
    message.ttl = hopLimit;
    const std::optional<quint32> status = statusForIcmp6Error(type, byteAt(icmp, 1));
    if (!status)
        return std::nullopt;
    // The error quotes as much of the request as fits; an echo request sent
    // by this program carries no extension headers.
    const QByteArray quoted = icmp.mid(IcmpHeaderSize);
    if (quoted.size() < Ip6HeaderSize + IcmpHeaderSize || (byteAt(quoted, 0) >> 4) != 6 ||
        byteAt(quoted, 6) != ProtocolIcmp6 || byteAt(quoted, Ip6HeaderSize) != Type6EchoRequest)
        return std::nullopt;
    Q_IPV6ADDR destination;
    std::memcpy(destination.c, quoted.constData() + 24, sizeof destination.c);
    message.kind = IcmpMessage::Kind::Error;
    message.status = *status;
    message.destination = QHostAddress(destination);
    message.identifier = word16At(quoted, Ip6HeaderSize + 4);
    message.sequence = word16At(quoted, Ip6HeaderSize + 6);
    return message;
}

} // namespace IcmpPacket
