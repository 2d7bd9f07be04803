#include "service/CsvText.h"

#include <QCoreApplication>

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

QString lineError(int line, const QString& what) {
    return QCoreApplication::translate("CsvText", "第 %1 行:%2").arg(line).arg(what);
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

Parsed Read(const QString& text) {
    Parsed parsed;
    const qsizetype size = text.size();
    qsizetype at = 0;
    int line = 1;
    // Steps over the line break (CR LF, LF or CR) at `at`.
    const auto skipLineBreak = [&] {
        if (text.at(at) == Cr && at + 1 < size && text.at(at + 1) == Lf)
            ++at;
        ++at;
        ++line;
    };
    while (at < size) {
        if (text.at(at) == Cr || text.at(at) == Lf) {
            skipLineBreak();
            continue;
        }
        Record record{line, {}};
        for (;;) {
            QString field;
            if (at < size && text.at(at) == Quote) {
                const int opened = line;
                ++at;
                for (;;) {
                    if (at >= size) {
                        parsed.error = lineError(
                            opened, QCoreApplication::translate("CsvText", "引号没有结束"));
                        return parsed;
                    }
                    const QChar c = text.at(at++);
                    if (c == Quote) {
                        if (at < size && text.at(at) == Quote) {
                            field += Quote;
                            ++at;
                            continue;
                        }
                        break;
                    }
                    // A CR LF inside a field counts as one line.
                    if (c == Lf || (c == Cr && (at >= size || text.at(at) != Lf)))
                        ++line;
                    field += c;
                }
                if (at < size && text.at(at) != Comma && text.at(at) != Cr && text.at(at) != Lf) {
                    parsed.error =
                        lineError(line, QCoreApplication::translate("CsvText", "引号之后还有文字"));
                    return parsed;
                }
            } else {
                while (at < size && text.at(at) != Comma && text.at(at) != Cr &&
                       text.at(at) != Lf) {
                    if (text.at(at) == Quote) {
                        parsed.error = lineError(
                            line, QCoreApplication::translate("CsvText", "未加引号的字段中有引号"));
                        return parsed;
                    }
                    field += text.at(at++);
                }
            }
            record.fields.append(field);
            if (at < size && text.at(at) == Comma) {
                ++at;
                continue;
            }
            break;
        }
        parsed.records.append(record);
        if (at < size)
            skipLineBreak();
    }
    return parsed;
}

} // namespace CsvText
