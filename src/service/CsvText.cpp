#include "service/CsvText.h"

namespace {

const QChar Quote = QLatin1Char('"');
const QChar Comma = QLatin1Char(',');
const QChar Cr = QLatin1Char('\r');
const QChar Lf = QLatin1Char('\n');

bool needsQuotes(const QString& field) {
    if (field.isEmpty())
        return false;
    for (const QChar c : field) {
        if (c == Quote || c == Comma || c == Cr || c == Lf)
            return true;
    }
    return field.front().isSpace() || field.back().isSpace();
}

} // namespace

namespace CsvText {

QString WriteRecord(const QStringList& fields) {
    QString text;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            text += Comma;
        const QString& field = fields.at(i);
        if (needsQuotes(field))
            text += Quote + QString(field).replace(Quote, QStringLiteral("\"\"")) + Quote;
        else
            text += field;
    }
    return text + QStringLiteral("\r\n");
}

} // namespace CsvText
