#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// The bytes a request text stands for: plain text, "ASC:" decimal byte codes
// or, with hexEnabled, "HEX:" hexadecimal byte codes.
QByteArray requestBytes(const QString& text, bool hexEnabled);

void SendRequestText(QIODevice& socket, const QString& text, bool hexEnabled);
