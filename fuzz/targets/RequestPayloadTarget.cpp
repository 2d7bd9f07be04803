#include "FuzzTarget.h"

#include "monitor/GbkText.h"
#include "monitor/RequestPayload.h"

#include <QStringList>

#include <algorithm>
#include <optional>

namespace {

// A code token as this reading sees it: a byte, no byte, or a form it leaves
// open (exponents, infinities, "5.", non-ASCII characters), so the exact
// check is skipped for that request.
struct Token {
    bool open = false;
    std::optional<uchar> byte;
};

bool isDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

bool allAscii(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

// Decimal: optional sign, digits, optionally "." and up to six digits; the
// value rounded half to even, a byte when 0 to 255.
Token decimalToken(const QString& raw) {
    if (!allAscii(raw))
        return {true, {}};
    QString text = raw.trimmed();
    const bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+'))
        text.remove(0, 1);
    const qsizetype dot = text.indexOf(u'.');
    const QString whole = dot < 0 ? text : text.left(dot);
    const QString fraction = dot < 0 ? QString() : text.mid(dot + 1);
    const bool wellFormed = !whole.isEmpty() && std::all_of(whole.begin(), whole.end(), isDigit) &&
                            std::all_of(fraction.begin(), fraction.end(), isDigit) &&
                            (dot < 0 || (!fraction.isEmpty() && fraction.size() <= 6));
    if (!wellFormed) {
        const bool looksNumeric = std::all_of(text.begin(), text.end(), [](QChar c) {
            return isDigit(c) || QStringLiteral("+-.EINFATY").contains(c);
        });
        return {looksNumeric && !text.isEmpty(), {}};
    }
    QString digits = whole;
    while (digits.size() > 1 && digits.startsWith(u'0'))
        digits.remove(0, 1);
    if (digits.size() > 4)
        return {false, {}};
    int value = digits.toInt();
    const QString half = QStringLiteral("5").leftJustified(fraction.size(), u'0');
    const QString padded = fraction.leftJustified(half.size(), u'0');
    if (!fraction.isEmpty() && (padded > half || (padded == half && value % 2 == 1)))
        ++value;
    if (negative && value != 0)
        return {false, {}};
    return {false, value <= 255 ? std::optional<uchar>(static_cast<uchar>(value)) : std::nullopt};
}

// Hexadecimal: the digits at the very start of the token (a leading blank
// ends them at once), 0 without any; a byte when the value fits one.
Token hexToken(const QString& text) {
    qsizetype end = 0;
    while (end < text.size() && QStringLiteral("0123456789ABCDEF").contains(text.at(end)))
        ++end;
    QString digits = text.left(end);
    while (digits.startsWith(u'0'))
        digits.remove(0, 1);
    if (digits.size() > 2)
        return {false, {}};
    return {false, static_cast<uchar>(digits.isEmpty() ? 0 : digits.toUInt(nullptr, 16))};
}

} // namespace

// Input: a flag byte (bit 0: "HEX:" enabled) and the request text in UTF-8.
// The bytes sent are checked against an independent reading of the three
// forms.
SERVERMON_FUZZ_TARGET(request_payload) {
    if (size == 0)
        return;
    const bool hexEnabled = data[0] & 1;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1),
                                           static_cast<qsizetype>(size - 1));
    const QByteArray bytes = requestBytes(text, hexEnabled);

    const QString upper = text.toUpper();
    const bool asc = text.size() > 4 && upper.startsWith(QStringLiteral("ASC:"));
    const bool hex =
        !asc && hexEnabled && text.size() > 4 && upper.startsWith(QStringLiteral("HEX:"));
    if (!asc && !hex) {
        if (allAscii(text))
            fuzzCheck(bytes == text.toLatin1(), "plain ASCII text is sent as it is");
        else
            fuzzCheck(!bytes.isEmpty(), "plain text always sends something");
        return;
    }
    // Letters that upper-case to ASCII ("ﬀ" to "FF") are left to the
    // implementation; the exact reading covers requests written in ASCII.
    if (!allAscii(text)) {
        fuzzCheck(bytes.size() <= text.size(), "at most one byte per character");
        return;
    }
    QString codes = upper;
    codes.remove(asc ? QStringLiteral("ASC:") : QStringLiteral("HEX:"));
    const QStringList tokens = codes.split(u':');
    QByteArray expected;
    for (const QString& token : tokens) {
        const Token read = asc ? decimalToken(token) : hexToken(token);
        if (read.open) {
            fuzzCheck(bytes.size() <= tokens.size(), "at most one byte per code");
            return;
        }
        if (read.byte)
            expected.append(static_cast<char>(*read.byte));
    }
    fuzzCheck(bytes == expected, "code bytes as read independently");
}
