#include "service/Utf8Chunks.h"

#include <QIODevice>
#include <QStringDecoder>

namespace {

// The bytes of a UTF-8 sequence that begins with lead; 1 for a byte that
// begins none, which the decoder then refuses.
qsizetype sequenceLength(uchar lead) {
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

// Where the bytes end in whole characters: before a sequence cut off at the end.
qsizetype wholeEnd(const QByteArray& bytes) {
    const qsizetype size = bytes.size();
    for (qsizetype back = 1; back <= 3 && back <= size; ++back) {
        const auto byte = static_cast<uchar>(bytes.at(size - back));
        if ((byte & 0xC0) != 0x80)
            return sequenceLength(byte) > back ? size - back : size;
    }
    return size;
}

} // namespace

Utf8Chunks::Utf8Chunks(QIODevice& in)
    : m_in(in) {}

bool Utf8Chunks::next(QString& text) {
    while (!m_ended && m_failure == Failure::None) {
        QByteArray bytes = m_carry;
        const qsizetype kept = bytes.size();
        bytes.resize(kept + ChunkBytes);
        const qint64 read = m_in.read(bytes.data() + kept, ChunkBytes);
        if (read < 0) {
            m_failure = Failure::ReadFailed;
            return false;
        }
        bytes.resize(kept + read);
        m_ended = read == 0;
        const qsizetype end = m_ended ? bytes.size() : wholeEnd(bytes);
        m_carry = bytes.mid(end);
        // Every piece is decoded alone; a byte-order mark inside the text is kept.
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                         QStringDecoder::Flag::ConvertInitialBom);
        text = decoder.decode(QByteArrayView(bytes).first(end));
        if (decoder.hasError()) {
            m_failure = Failure::NotUtf8;
            return false;
        }
        if (text.isEmpty())
            continue;
        if (!m_started && text.startsWith(QChar::ByteOrderMark))
            text.remove(0, 1);
        m_started = true;
        if (!text.isEmpty())
            return true;
    }
    return false;
}
