#pragma once

#include <QString>

// The echo module's helpers. The echo itself goes through EchoService.
namespace ModulePing {

// Text of an echo status or PingHost result ("unknown  msg returned" when unknown).
QString PingStatusText(long code);
// Four dot-separated numbers to an address in network byte order, as the
// echo target conversion defines it.
quint32 AddressToNumber(const QString& address);
// The socket library needs no start-up on Linux: both report success.
bool SocketsStartup();
bool SocketsCleanup();

} // namespace ModulePing
