#pragma once

#include <QString>

// Why a TLS server name as typed cannot be one: blanks in it, a scheme
// ("https://") or a port (":443"; an IPv6 address is no port). Empty when
// it can be, and for the empty name, which stands for the server's address.
QString tlsNameProblem(const QString& name);
