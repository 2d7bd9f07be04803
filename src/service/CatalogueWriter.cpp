#include "service/CatalogueWriter.h"

#include "catalogue/CatalogueColumns.h"
#include "service/CsvText.h"

#include <QJsonArray>
#include <QJsonDocument>
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
QByteArray json(const QList<ServerRecord>& servers, const QList<MaintenanceWindow>& windows) {
    if (servers.isEmpty() && windows.isEmpty())
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
        text += i + 1 < servers.size() || !windows.isEmpty() ? QStringLiteral("  },\n")
                                                             : QStringLiteral("  }\n");
    }
    if (!windows.isEmpty()) {
        QJsonArray list;
        for (const MaintenanceWindow& window : windows)
            list.append(CatalogueWriter::windowObject(window));
        text += QStringLiteral("  ") +
                QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("maintenance"), list}})
                                      .toJson(QJsonDocument::Compact)) +
                QStringLiteral("\n");
    }
    return (text + QStringLiteral("]\n")).toUtf8();
}

} // namespace

namespace CatalogueWriter {

QByteArray Write(const QList<ServerRecord>& servers, CatalogueFormat format,
                 const QList<MaintenanceWindow>& windows) {
    return format == CatalogueFormat::Json ? json(servers, windows) : csv(servers);
}

QJsonObject windowObject(const MaintenanceWindow& window) {
    QJsonArray servers;
    for (const qint64 id : window.servers)
        servers.append(id);
    return {{QStringLiteral("Servers"), servers},
            {QStringLiteral("Kind"), window.kind == MaintenanceWindow::Kind::Weekly
                                         ? QStringLiteral("weekly")
                                         : QStringLiteral("once")},
            {QStringLiteral("StartUtcMs"), window.startUtcMs},
            {QStringLiteral("EndUtcMs"), window.endUtcMs},
            {QStringLiteral("Days"), window.days},
            {QStringLiteral("StartTime"), window.startTime.toString(QStringLiteral("HH:mm"))},
            {QStringLiteral("Minutes"), window.minutes},
            {QStringLiteral("TimeZone"), QString::fromLatin1(window.timeZone)},
            {QStringLiteral("Note"), window.note}};
}

std::optional<MaintenanceWindow> windowOfObject(const QJsonObject& object) {
    MaintenanceWindow window;
    const QString kind = object.value(QStringLiteral("Kind")).toString();
    if (kind != QLatin1String("once") && kind != QLatin1String("weekly"))
        return std::nullopt;
    window.kind = kind == QLatin1String("weekly") ? MaintenanceWindow::Kind::Weekly
                                                  : MaintenanceWindow::Kind::Once;
    for (const QJsonValue& id : object.value(QStringLiteral("Servers")).toArray()) {
        if (id.toInteger() > 0)
            window.servers.append(id.toInteger());
    }
    window.startUtcMs = object.value(QStringLiteral("StartUtcMs")).toInteger();
    window.endUtcMs = object.value(QStringLiteral("EndUtcMs")).toInteger();
    window.days = object.value(QStringLiteral("Days")).toInt() & 0x7f;
    const QTime start = QTime::fromString(object.value(QStringLiteral("StartTime")).toString(),
                                          QStringLiteral("HH:mm"));
    window.startTime = start.isValid() ? start : QTime(0, 0);
    window.minutes =
        qBound(0, object.value(QStringLiteral("Minutes")).toInt(), MaintenanceWindow::MaxMinutes);
    window.timeZone = object.value(QStringLiteral("TimeZone")).toString().toLatin1();
    window.note = object.value(QStringLiteral("Note")).toString();
    return window;
}

} // namespace CatalogueWriter
