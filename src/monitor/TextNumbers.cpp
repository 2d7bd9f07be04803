#include "monitor/TextNumbers.h"

#include <array>
#include <cmath>
#include <limits>

std::optional<quint16> portNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const int port = text.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}

double leadingNumber(const QString& text) {
    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos < size && (text.at(pos) == QLatin1Char(' ') || text.at(pos) == QLatin1Char('\t')))
        ++pos;
    const qsizetype start = pos;
    if (pos < size && (text.at(pos) == QLatin1Char('-') || text.at(pos) == QLatin1Char('+')))
        ++pos;
    bool digits = false;
    while (pos < size && text.at(pos).isDigit() && text.at(pos).unicode() < 128) {
        ++pos;
        digits = true;
    }
    if (pos < size && text.at(pos) == QLatin1Char('.')) {
        ++pos;
        while (pos < size && text.at(pos).isDigit() && text.at(pos).unicode() < 128) {
            ++pos;
            digits = true;
        }
    }
    if (!digits)
        return 0;
    // Short whole numbers, the usual case, need no floating-point parse.
    if (pos - start <= 9 && text.at(start).isDigit() && text.at(pos - 1).isDigit() &&
        !text.mid(start, pos - start).contains(QLatin1Char('.'))) {
        int value = 0;
        for (qsizetype i = start; i < pos; ++i)
            value = value * 10 + (text.at(i).unicode() - u'0');
        return value;
    }
    bool ok = false;
    const double value = text.mid(start, pos - start).toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0;
}

qint32 leadingInteger(const QString& text) {
    const double value = std::trunc(leadingNumber(text));
    if (value >= static_cast<double>(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    if (value <= static_cast<double>(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return static_cast<qint32>(value);
}

QString millisecondsText(qint64 ms, bool spaced) {
    constexpr qint64 Shared = 1000;
    const QString unit = spaced ? QStringLiteral(" ms") : QStringLiteral("ms");
    if (ms < 0 || ms >= Shared)
        return QString::number(ms) + unit;
    static std::array<std::array<QString, Shared>, 2> texts;
    QString& text = texts[spaced ? 1 : 0][static_cast<size_t>(ms)];
    if (text.isNull())
        text = QString::number(ms) + unit;
    return text;
}
