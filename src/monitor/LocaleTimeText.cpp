#include "monitor/LocaleTimeText.h"

#include <QRegularExpression>

namespace {

// Stands in for a removed time-zone field until its brackets are gone.
constexpr QChar ZoneMark(0x1);

// The format with every time-zone field replaced by ZoneMark and every day
// period field by "AP". Quoted literal text stays as it is.
QString markedFormat(const QString& format) {
    QString marked;
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar ch = format.at(i);
        if (ch == QLatin1Char('\'')) {
            const qsizetype close = format.indexOf(QLatin1Char('\''), i + 1);
            const qsizetype end = close < 0 ? format.size() : close + 1;
            marked += format.mid(i, end - i);
            i = end;
            continue;
        }
        qsizetype run = i;
        while (run < format.size() && format.at(run) == ch)
            ++run;
        if (ch == QLatin1Char('t'))
            marked += ZoneMark;
        else if (ch == QLatin1Char('B') || ch == QLatin1Char('b'))
            marked += QStringLiteral("AP");
        else
            marked += format.mid(i, run - i);
        i = run;
    }
    return marked;
}

} // namespace

QString LocaleTimeText(const QTime& time, const QLocale& locale) {
    static const QRegularExpression zone(QStringLiteral(
        "\\s*(\\[\\s*\\x01\\s*\\]|\\(\\s*\\x01\\s*\\)|\\x{FF08}\\s*\\x01\\s*\\x{FF09}|\\x01)\\s*"));
    QString format = markedFormat(locale.timeFormat(QLocale::LongFormat));
    format.replace(zone, QStringLiteral(" "));
    return locale.toString(time, format.trimmed());
}
