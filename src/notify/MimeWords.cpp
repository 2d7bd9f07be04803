#include "notify/MimeWords.h"

#include <QStringView>

namespace MimeWords {
namespace {

// "=?UTF-8?B?" and "?=" leave 63 of 75 characters: 15 groups of base64,
// 45 bytes.
constexpr qsizetype BytesPerWord = 45;
// Plain text longer than this is encoded too, so its words can be folded
// and no header line grows beyond what mail allows.
constexpr qsizetype PlainKept = 900;

QString printable(const QString& text) {
    QString plain = text;
    for (QChar& c : plain)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    return plain;
}

bool isPlainAscii(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    return true;
}

QByteArray word(const QByteArray& bytes) {
    return QByteArrayLiteral("=?UTF-8?B?") + bytes.toBase64() + QByteArrayLiteral("?=");
}

} // namespace

QByteArray encode(const QString& text, QByteArrayView separator) {
    const QString plain = printable(text);
    if (isPlainAscii(plain) && plain.size() <= PlainKept)
        return plain.toLatin1();
    QByteArray encoded;
    QByteArray pending;
    for (qsizetype i = 0; i < plain.size();) {
        // One code point, both halves of a surrogate pair together.
        const qsizetype length = plain.at(i).isHighSurrogate() && i + 1 < plain.size() ? 2 : 1;
        const QByteArray bytes = QStringView(plain).mid(i, length).toUtf8();
        i += length;
        if (pending.size() + bytes.size() > BytesPerWord) {
            if (!encoded.isEmpty())
                encoded += separator;
            encoded += word(pending);
            pending.clear();
        }
        pending += bytes;
    }
    if (!encoded.isEmpty())
        encoded += separator;
    return encoded + word(pending);
}

} // namespace MimeWords
