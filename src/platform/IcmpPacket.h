#pragma once

#include "platform/IcmpSocket.h"

#include <optional>

// Building and reading ICMP echo packets, free of any socket.
namespace IcmpPacket {

// An echo request: type 8, code 0, checksum, identifier, sequence, payload.
QByteArray echoRequest(quint16 identifier, quint16 sequence, const QByteArray& payload);
// An ICMPv6 echo request (type 128); the kernel fills in its checksum, which
// covers the IPv6 addresses.
QByteArray echoRequest6(quint16 identifier, quint16 sequence, const QByteArray& payload);
// The Internet checksum (RFC 1071) of data, in the byte order it is stored.
quint16 checksum(const QByteArray& data);
// Reads an ICMP message (no IP header) that came from source with the given
// ttl: an echo reply, or an error that quotes an IPv4 echo request. Anything
// else gives no value.
std::optional<IcmpMessage> readIcmp(const QByteArray& icmp, const QHostAddress& source, quint8 ttl);
// Reads an ICMPv6 message: an echo reply, or an error that quotes an IPv6
// echo request.
std::optional<IcmpMessage> readIcmp6(const QByteArray& icmp, const QHostAddress& source,
                                     quint8 hopLimit);
// Reads a whole IPv4 packet as a raw socket receives it.
std::optional<IcmpMessage> readIpPacket(const QByteArray& packet);
// Echo status of an ICMP error type and code; no value for messages that do
// not end an echo (redirects, for one).
std::optional<quint32> statusForIcmpError(quint8 type, quint8 code);
// The same for ICMPv6: each error gives the status of its IPv4 counterpart.
std::optional<quint32> statusForIcmp6Error(quint8 type, quint8 code);
// Echo status of a failed send or a local error report (an errno value).
quint32 statusForSendError(int error);

} // namespace IcmpPacket
