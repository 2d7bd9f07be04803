#include "FuzzTarget.h"

#include "monitor/GbkText.h"
#include "monitor/ServerMonitor.h"

#include <QSet>

namespace {

QString flipAsciiCase(QString text, quint8 pattern) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (!((pattern >> (i % 8)) & 1))
            continue;
        if (c >= u'a' && c <= u'z')
            text[i] = QChar(c - u'a' + u'A');
        else if (c >= u'A' && c <= u'Z')
            text[i] = QChar(c - u'A' + u'a');
    }
    return text;
}

} // namespace

// Input: the expected text in UTF-8 up to the first "\n", then the reply
// bytes. The reply decodes with every NUL kept and never more characters than
// bytes; any piece of it matches whatever its ASCII case, an expected text
// with a character the reply lacks never matches.
SERVERMON_FUZZ_TARGET(reply_match) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype split = input.indexOf('\n');
    const QString expected = QString::fromUtf8(input.left(qMax<qsizetype>(split, 0)));
    const QByteArray bytes = input.mid(split + 1);

    const QString reply = GbkText::decode(bytes);
    fuzzCheck(reply.size() <= bytes.size(), "one character at most per byte");
    fuzzCheck(reply.count(QChar(0)) == bytes.count('\0'), "NUL bytes are kept");
    bool ascii = true;
    for (const char byte : bytes)
        ascii = ascii && static_cast<uchar>(byte) < 0x80;
    if (ascii)
        fuzzCheck(reply == QString::fromLatin1(bytes), "ASCII replies decode as they are");

    const bool matches = ServerMonitor::replyMatches(reply, expected);
    if (expected.isEmpty())
        fuzzCheck(matches, "an empty expected text matches");
    QSet<QChar> present;
    for (const QChar c : reply.toCaseFolded())
        present.insert(c);
    for (const QChar c : expected.toCaseFolded()) {
        if (!present.contains(c))
            fuzzCheck(!matches, "a character the reply lacks never matches");
    }

    if (!reply.isEmpty() && size >= 2) {
        const qsizetype from = data[0] % reply.size();
        const qsizetype length = data[size - 1] % (reply.size() - from + 1);
        const QString piece = flipAsciiCase(reply.mid(from, length), data[size / 2]);
        fuzzCheck(ServerMonitor::replyMatches(reply, piece), "a piece of the reply matches");
    }
}
