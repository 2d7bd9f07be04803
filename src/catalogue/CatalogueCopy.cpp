#include "catalogue/CatalogueCopy.h"

#include "catalogue/SqlErrorText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

using CatalogueSchema::Dialect;

QString run(QSqlDatabase& db, const QString& sql, const QVariantList& values = {}) {
    QSqlQuery query(db);
    bool done = query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    done = done && query.exec();
    return done ? QString() : sqlErrorText(query.lastError());
}

QString intoSqlite(QSqlDatabase& to, const QString& table, QSqlQuery& rows) {
    const QSqlRecord columns = rows.record();
    QStringList names;
    for (int i = 0; i < columns.count(); ++i)
        names << columns.fieldName(i);
    QSqlQuery insert(to);
    if (!insert.prepare(QStringLiteral("insert into %1 (%2) values (%3)")
                            .arg(table, names.join(u','),
                                 QStringList(names.size(), QStringLiteral("?")).join(u','))))
        return sqlErrorText(insert.lastError());
    while (rows.next()) {
        for (int i = 0; i < names.size(); ++i)
            insert.bindValue(i, rows.value(i));
        if (!insert.exec())
            return sqlErrorText(insert.lastError());
    }
    return {};
}

QJsonValue jsonOf(const QVariant& value) {
    if (value.isNull())
        return QJsonValue::Null;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return value.toLongLong();
    case QMetaType::Double:
        return value.toDouble();
    default:
        return value.toString();
    }
}

// The whole table as one JSON array turned back into rows by the server.
QString intoPostgres(QSqlDatabase& to, const QString& table, QSqlQuery& rows) {
    const QSqlRecord columns = rows.record();
    QStringList names;
    for (int i = 0; i < columns.count(); ++i)
        names << columns.fieldName(i).toLower();
    QJsonArray array;
    while (rows.next()) {
        QJsonObject row;
        for (int i = 0; i < names.size(); ++i)
            row.insert(names.at(i), jsonOf(rows.value(i)));
        array.append(row);
    }
    if (array.isEmpty())
        return {};
    const QString list = names.join(u',');
    QString report = run(to,
                         QStringLiteral("insert into %1 (%2) select %2 from "
                                        "json_populate_recordset(null::%1, cast(? as json))")
                             .arg(table.toLower(), list),
                         {QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact))});
    if (report.isEmpty() && names.contains(QStringLiteral("id")))
        report = run(to, QStringLiteral("select setval(pg_get_serial_sequence('%1', 'id'), "
                                        "(select coalesce(max(id), 0) + 1 from %1), false)")
                             .arg(table.toLower()));
    return report;
}

} // namespace

namespace CatalogueCopy {

QString copyKeptTables(QSqlDatabase& from, QSqlDatabase& to, Dialect toDialect) {
    QString report = run(to, QStringLiteral("delete from SendData"));
    for (const QString& table : CatalogueSchema::keptTables()) {
        if (!report.isEmpty())
            break;
        QSqlQuery rows(from);
        rows.setForwardOnly(true);
        if (!rows.exec(QStringLiteral("select * from %1").arg(table)))
            return sqlErrorText(rows.lastError());
        report = toDialect == Dialect::Sqlite ? intoSqlite(to, table, rows)
                                              : intoPostgres(to, table, rows);
    }
    return report;
}

qint64 keptRowCount(QSqlDatabase& db) {
    QSqlQuery count(db);
    if (!count.exec(QStringLiteral("select (select count(*) from ServerList) + (select count(*) "
                                   "from Channels) + (select count(*) from Maintenance)")) ||
        !count.next())
        return -1;
    return count.value(0).toLongLong();
}

} // namespace CatalogueCopy
