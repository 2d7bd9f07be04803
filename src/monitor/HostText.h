#pragma once

#include <QString>

// The host a server's address text names, as sockets and console programs
// take it: an IPv6 literal loses the brackets it may carry in URL form
// ("[::1]" is ::1); any other text stays as it is.
QString HostText(const QString& address);
