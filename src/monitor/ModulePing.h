#pragma once

#include <QString>

#include <optional>

struct EchoReply;

// The echo module's helpers. The echo itself goes through EchoService.
namespace ModulePing {

// Text of an echo status number ("unknown  msg returned" for numbers it does not know).
QString PingStatusText(quint32 code);
// Four dot-separated numbers to an address whose bytes, lowest first, are the
// parts in written order (192.168.1.10 is 0x0A01A8C0); a part above 255
// contributes its low 8 bits. Fewer than four parts give 0; a fifth part or a
// part that is not a number give no value.
std::optional<qint32> AddressToNumber(const QString& address);
// Whether an echo came back: sent, answered without an error status, and
// within 10 seconds (a longer round trip counts as lost).
bool EchoAnswered(long result, const EchoReply& reply);
// The socket library needs no start-up on Linux: both report success.
bool SocketsStartup();
bool SocketsCleanup();

} // namespace ModulePing
