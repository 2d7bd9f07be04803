#pragma once

#include <QByteArray>
#include <QString>

// Byte view of a reply: one line per 16 bytes with the offset, the bytes in
// hexadecimal and the printable ASCII characters ('.' for the others).
namespace HexDump {

// Bytes beyond this many are left out and the dump ends with a line "…".
inline constexpr qsizetype MaxBytes = 16 * 1024;

QString format(const QByteArray& bytes);

} // namespace HexDump
