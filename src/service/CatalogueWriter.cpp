#include "service/CatalogueWriter.h"

#include "catalogue/CatalogueColumns.h"
#include "service/CsvText.h"

#include <QRegularExpression>

namespace {

using CatalogueColumns::Column;
using CatalogueColumns::Columns;

QByteArray csv(const QList<ServerRecord>& servers) {
    QStringList header;
    for (const Column& column : Columns())
        header.append(column.key);
    QString text = CsvText::WriteRecord(header);
    for (const ServerRecord& server : servers) {
        QStringList fields;
        for (const Column& column : Columns())
            fields.append(column.read(server));
        text += CsvText::WriteRecord(fields);
    }
    return text.toUtf8();
}

QString jsonString(const QString& text) {
    QString quoted = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            quoted += QStringLiteral("\\\"");
            break;
        case '\\':
            quoted += QStringLiteral("\\\\");
            break;
        case '\n':
            quoted += QStringLiteral("\\n");
            break;
        case '\r':
            quoted += QStringLiteral("\\r");
            break;
        case '\t':
            quoted += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                quoted += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                quoted += c;
        }
    }
    return quoted + QLatin1Char('"');
}

// Numbers and flags as JSON numbers; a stored value that is no whole number
// stays a string, so nothing is lost.
QString jsonValue(const Column& column, const QString& text) {
    static const QRegularExpression wholeNumber(QStringLiteral("^(0|-?[1-9][0-9]{0,17})$"));
    if (column.kind != CatalogueColumns::Kind::Text && wholeNumber.match(text).hasMatch())
        return text;
    return jsonString(text);
}

// Written by hand so the keys keep the column order.
QByteArray json(const QList<ServerRecord>& servers) {
    if (servers.isEmpty())
        return QByteArrayLiteral("[]\n");
    QString text = QStringLiteral("[\n");
    for (qsizetype i = 0; i < servers.size(); ++i) {
        text += QStringLiteral("  {\n");
        const QList<Column>& columns = Columns();
        for (qsizetype c = 0; c < columns.size(); ++c) {
            const Column& column = columns.at(c);
            text += QStringLiteral("    ") + jsonString(column.key) + QStringLiteral(": ") +
                    jsonValue(column, column.read(servers.at(i))) +
                    (c + 1 < columns.size() ? QStringLiteral(",\n") : QStringLiteral("\n"));
        }
        text += i + 1 < servers.size() ? QStringLiteral("  },\n") : QStringLiteral("  }\n");
    }
    return (text + QStringLiteral("]\n")).toUtf8();
}

} // namespace

namespace CatalogueWriter {

QByteArray Write(const QList<ServerRecord>& servers, CatalogueFormat format) {
    return format == CatalogueFormat::Json ? json(servers) : csv(servers);
}

} // namespace CatalogueWriter
