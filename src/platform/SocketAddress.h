#pragma once

#include <QHostAddress>

#include <sys/socket.h>

// The address and port as a socket address of the system, for the TCP probe
// and the echo alike; false for an address of no family the system connects
// to. An IPv6 scope is a numeric index or an interface name.
bool toSocketAddress(const QHostAddress& address, quint16 port, sockaddr_storage& storage,
                     socklen_t& length);
