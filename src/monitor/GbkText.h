#pragma once

#include <QByteArray>
#include <QString>

// GBK is the code page of request bytes and of replies.
namespace GbkText {
QByteArray encode(const QString& text);
// Bytes that form no GBK character become U+FFFD; NUL bytes are kept.
QString decode(const QByteArray& bytes);
// The length of the longest start of bytes, at most maxBytes long, that ends
// on a character boundary as decode reads the bytes.
qsizetype wholeCharacters(const QByteArray& bytes, qsizetype maxBytes);
} // namespace GbkText
