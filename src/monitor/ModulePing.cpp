#include "monitor/ModulePing.h"

#include "platform/EchoService.h"

#include <QStringList>

namespace ModulePing {

bool EchoAnswered(long result, const EchoReply& reply) {
    constexpr quint32 LostRoundTripMs = 10000;
    return result >= 0 && reply.status == 0 && reply.roundTripTime <= LostRoundTripMs;
}

// The status names of the echo service, shown in the list as they stand in
// every interface language: they are the service's own names, not texts of
// this program.
QString PingStatusText(quint32 code) {
    switch (code) {
    case 0:
        return QStringLiteral("ip success");
    case 200:
        return QStringLiteral("ping timeout");
    case 11001:
        return QStringLiteral("ip buf too_small");
    case 11002:
        return QStringLiteral("ip dest net unreachable");
    case 11003:
        return QStringLiteral("ip dest host unreachable");
    case 11004:
        return QStringLiteral("ip dest prot unreachable");
    case 11005:
        return QStringLiteral("ip dest port unreachable");
    case 11006:
        return QStringLiteral("ip no resources");
    case 11007:
        return QStringLiteral("ip bad option");
    case 11008:
        return QStringLiteral("ip hw_error");
    case 11009:
        return QStringLiteral("ip packet too_big");
    case 11010:
        return QStringLiteral("ip req timed out");
    case 11011:
        return QStringLiteral("ip bad req");
    case 11012:
        return QStringLiteral("ip bad route");
    case 11013:
        return QStringLiteral("ip ttl expired transit");
    case 11014:
        return QStringLiteral("ip ttl expired reassem");
    case 11015:
        return QStringLiteral("ip param_problem");
    case 11016:
        return QStringLiteral("ip source quench");
    case 11017:
        return QStringLiteral("ip option too_big");
    case 11018:
        return QStringLiteral("ip bad destination");
    case 11019:
        return QStringLiteral("ip addr deleted");
    case 11020:
        return QStringLiteral("ip spec mtu change");
    case 11021:
        return QStringLiteral("ip mtu_change");
    case 11022:
        return QStringLiteral("ip unload");
    case 11023:
        return QStringLiteral("ip addr added");
    case 11050:
        return QStringLiteral("ip general failure");
    case 11255:
        return QStringLiteral("ip pending");
    default:
        return QStringLiteral("unknown  msg returned");
    }
}

namespace {

// Low 8 bits of a part written as a whole decimal number (sign and blanks
// around it allowed, any length); no value when the part is not a number.
std::optional<quint8> lowByteOfPart(const QString& part) {
    const QString text = part.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    unsigned value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = (value * 10 + static_cast<unsigned>(c.unicode() - u'0')) % 256;
    }
    // Two's complement keeps the low byte of a negative number.
    return static_cast<quint8>(negative ? (256 - value) % 256 : value);
}

} // namespace

std::optional<qint32> AddressToNumber(const QString& address) {
    const QStringList parts = address.split(QLatin1Char('.'));
    if (parts.size() > 4)
        return std::nullopt;
    if (parts.size() < 4)
        return 0;
    quint32 value = 0;
    for (qsizetype i = 0; i < 4; ++i) {
        const std::optional<quint8> byte = lowByteOfPart(parts.at(i));
        if (!byte)
            return std::nullopt;
        value |= quint32{*byte} << (8 * i);
    }
    return static_cast<qint32>(value);
}

bool SocketsStartup() {
    return true;
}

bool SocketsCleanup() {
    return true;
}

} // namespace ModulePing
