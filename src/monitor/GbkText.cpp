#include "monitor/GbkText.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace GbkText {
namespace {
bool isLeadByte(uchar byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

bool isTrailByte(uchar byte) {
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}
} // namespace

QByteArray encode(const QString& text) {
    // One stateless codec for the program's single thread: setting up the
    // GBK tables per request is a measurable part of a pass.
    static QStringEncoder encoder("GBK", QStringEncoder::Flag::Stateless);
    const bool ascii =
        std::all_of(text.cbegin(), text.cend(), [](QChar ch) { return ch.unicode() < 0x80; });
    return ascii ? text.toLatin1() : QByteArray(encoder.encode(text));
}

QString decode(const QByteArray& bytes) {
    // Well-formed runs (ASCII bytes and lead/trail pairs) are decoded in
    // bulk; every byte outside such a run, a lead byte cut off at the end
    // included, becomes U+FFFD.
    static QStringDecoder decoder("GBK", QStringDecoder::Flag::Stateless);
    QString text;
    text.reserve(bytes.size());
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype size = bytes.size();
    qsizetype runStart = 0;
    qsizetype pos = 0;
    while (pos < size) {
        const uchar byte = data[pos];
        if (byte < 0x80) {
            ++pos;
        } else if (isLeadByte(byte) && pos + 1 < size && isTrailByte(data[pos + 1])) {
            pos += 2;
        } else {
            text += decoder.decode(QByteArrayView(bytes).sliced(runStart, pos - runStart));
            text += QChar::ReplacementCharacter;
            ++pos;
            runStart = pos;
        }
    }
    text += decoder.decode(QByteArrayView(bytes).sliced(runStart, size - runStart));
    return text;
}

qsizetype wholeCharacters(const QByteArray& bytes, qsizetype maxBytes) {
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype size = qMin(bytes.size(), maxBytes);
    qsizetype pos = 0;
    while (pos < size) {
        const bool pair =
            isLeadByte(data[pos]) && pos + 1 < bytes.size() && isTrailByte(data[pos + 1]);
        if (pair && pos + 2 > size)
            break;
        pos += pair ? 2 : 1;
    }
    return pos;
}

} // namespace GbkText
