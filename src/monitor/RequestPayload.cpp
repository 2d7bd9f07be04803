#include "monitor/RequestPayload.h"

#include "monitor/GbkText.h"
#include "monitor/SocketElement.h"

#include <QStringList>

#include <cmath>
#include <optional>

namespace {

const QString kAscPrefix = QStringLiteral("ASC:");
const QString kHexPrefix = QStringLiteral("HEX:");

// A decimal code, blanks around it allowed, a fraction rounded half to even.
// Anything that is not a number in 0-255 stands for no byte.
std::optional<char> decimalByte(const QString& token) {
    // Fast path for the usual form: one to three plain digits.
    if (!token.isEmpty() && token.size() <= 3) {
        int value = 0;
        bool digits = true;
        for (const QChar ch : token) {
            if (ch < u'0' || ch > u'9') {
                digits = false;
                break;
            }
            value = value * 10 + (ch.unicode() - u'0');
        }
        if (digits)
            return value <= 255 ? std::optional<char>(static_cast<char>(value)) : std::nullopt;
    }
    bool ok = false;
    const double value = token.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const double rounded = std::nearbyint(value);
    if (rounded < 0 || rounded > 255)
        return std::nullopt;
    return static_cast<char>(static_cast<unsigned char>(rounded));
}

int hexDigit(QChar ch) {
    const char16_t c = ch.unicode();
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

// The hexadecimal digits at the very start of a token; no digit there reads
// as 0, so a token that begins with a blank is a zero byte. A value above 255
// stands for no byte.
std::optional<char> hexByte(const QString& token) {
    unsigned value = 0;
    for (const QChar ch : token) {
        const int digit = hexDigit(ch);
        if (digit < 0)
            break;
        value = value * 16 + static_cast<unsigned>(digit);
        if (value > 255)
            return std::nullopt;
    }
    return static_cast<char>(static_cast<unsigned char>(value));
}

QByteArray codeBytes(QString text, const QString& prefix,
                     std::optional<char> (*byteOf)(const QString&)) {
    text.remove(prefix, Qt::CaseInsensitive);
    QByteArray bytes;
    const QStringList tokens = text.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    for (const QString& token : tokens) {
        if (const std::optional<char> byte = byteOf(token))
            bytes.append(*byte);
    }
    return bytes;
}

} // namespace

QByteArray requestBytes(const QString& text, bool hexEnabled) {
    if (text.size() > 4) {
        if (text.startsWith(kAscPrefix, Qt::CaseInsensitive))
            return codeBytes(text, kAscPrefix, decimalByte);
        if (hexEnabled && text.startsWith(kHexPrefix, Qt::CaseInsensitive))
            return codeBytes(text, kHexPrefix, hexByte);
    }
    return GbkText::encode(text);
}

void SendRequestText(SocketElement& socket, const QString& text, bool hexEnabled) {
    socket.SendData(requestBytes(text, hexEnabled));
}
