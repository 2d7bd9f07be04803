#include "catalogue/HexDump.h"

#include <QStringList>

namespace HexDump {
namespace {
constexpr qsizetype BytesPerLine = 16;

QString hexNumber(qsizetype value, int width) {
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

QString line(QByteArrayView bytes, qsizetype offset) {
    QString hex;
    QString chars;
    for (qsizetype i = 0; i < BytesPerLine; ++i) {
        if (i == BytesPerLine / 2)
            hex += QLatin1Char(' ');
        if (offset + i >= bytes.size()) {
            hex += QLatin1String("   ");
            continue;
        }
        const auto byte = static_cast<uchar>(bytes.at(offset + i));
        hex += hexNumber(byte, 2) + QLatin1Char(' ');
        chars +=
            (byte >= 0x20 && byte < 0x7F) ? QLatin1Char(static_cast<char>(byte)) : QLatin1Char('.');
    }
    return hexNumber(offset, 8) + QLatin1String("  ") + hex + QLatin1Char(' ') + chars;
}
} // namespace

QString format(const QByteArray& bytes) {
    const QByteArrayView shown = QByteArrayView(bytes).first(qMin(bytes.size(), MaxBytes));
    QStringList lines;
    for (qsizetype offset = 0; offset < shown.size(); offset += BytesPerLine)
        lines.append(line(shown, offset));
    if (bytes.size() > shown.size())
        lines.append(QStringLiteral("…"));
    return lines.join(QLatin1Char('\n'));
}

} // namespace HexDump
