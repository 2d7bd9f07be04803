#pragma once

#include <QString>

// The texts a server dialog starts with before anything is filled in.
namespace DesignTexts {

inline QString defaultPort() {
    return QStringLiteral("80");
}

// An HTTP/1.1 request for "/" naming an example host, one more empty line and "OK!".
inline QString defaultRequest() {
    return QStringLiteral("GET / HTTP/1.1\r\nHOST:www.example.com\r\n\r\n\r\nOK!\r\n");
}

inline QString defaultReply() {
    return QStringLiteral("HTTP/1.1 200 OK\r\n");
}

} // namespace DesignTexts
