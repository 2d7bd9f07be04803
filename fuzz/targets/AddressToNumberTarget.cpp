#include "FuzzTarget.h"

#include "monitor/ModulePing.h"

#include <QHostAddress>
#include <QStringList>
#include <QtEndian>

namespace {

// The low byte of a decimal part read another way: 10^8 is a multiple of 256,
// so the last eight digits alone decide it.
std::optional<quint8> referenceByte(const QString& part) {
    QString digits = part.trimmed();
    const bool negative = digits.startsWith(QLatin1Char('-'));
    if (negative || digits.startsWith(QLatin1Char('+')))
        digits.remove(0, 1);
    if (digits.isEmpty())
        return std::nullopt;
    for (const QChar c : digits) {
        if (c.unicode() < u'0' || c.unicode() > u'9')
            return std::nullopt;
    }
    const unsigned tail = digits.right(8).toUInt();
    return static_cast<quint8>(negative ? 256 - tail % 256 : tail % 256);
}

} // namespace

// Arbitrary text as an echo target: the value's bytes are the four parts in
// written order, fewer parts give 0, a fifth part or a non-number no value; a
// plain dotted quad agrees with the platform's own address parser.
SERVERMON_FUZZ_TARGET(address_to_number) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<qint32> number = ModulePing::AddressToNumber(text);
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4) {
        fuzzCheck(parts.size() < 4 ? number == 0 : !number, "part count decides the result");
        return;
    }
    quint32 expected = 0;
    for (int i = 0; i < 4; ++i) {
        const std::optional<quint8> byte = referenceByte(parts.at(i));
        if (!byte) {
            fuzzCheck(!number, "a part that is not a number gives no value");
            return;
        }
        expected |= quint32{*byte} << (8 * i);
    }
    fuzzCheck(number.has_value() && static_cast<quint32>(*number) == expected,
              "bytes are the parts in written order");
    QHostAddress host;
    if (host.setAddress(text) && host.protocol() == QAbstractSocket::IPv4Protocol &&
        host.toString() == text)
        fuzzCheck(qToBigEndian(host.toIPv4Address()) == expected, "agrees with QHostAddress");
}
