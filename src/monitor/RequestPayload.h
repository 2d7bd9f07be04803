#pragma once

#include <QByteArray>
#include <QString>

class SocketElement;

// The bytes a request text stands for: plain text, "ASC:" decimal byte codes
// or, with hexEnabled, "HEX:" hexadecimal byte codes.
QByteArray requestBytes(const QString& text, bool hexEnabled);

// Sends the bytes the request text stands for through the socket.
void SendRequestText(SocketElement& socket, const QString& text, bool hexEnabled);
