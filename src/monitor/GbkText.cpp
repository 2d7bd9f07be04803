#include "monitor/GbkText.h"

#include <QStringDecoder>
#include <QStringEncoder>

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
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

QString decode(const QByteArray& bytes) {
    // Well-formed runs (ASCII bytes and lead/trail pairs) are decoded in
    // bulk; every byte outside such a run, a lead byte cut off at the end
    // included, becomes U+FFFD.
    QStringDecoder decoder("GBK", QStringDecoder::Flag::Stateless);
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

} // namespace GbkText
