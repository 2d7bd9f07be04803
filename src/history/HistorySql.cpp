#include "history/HistorySql.h"

#include <QSqlQuery>

namespace HistorySql {

QSqlDatabase database(const QString& connection) {
    return QSqlDatabase::database(connection, false);
}

bool exec(const QString& connection, const QString& sql, const QVariantList& values) {
    QSqlQuery query(database(connection));
    if (!query.prepare(sql))
        return false;
    for (const QVariant& value : values)
        query.addBindValue(value);
    return query.exec();
}

QVariant value(const QString& connection, const QString& sql, const QVariantList& values) {
    QSqlQuery query(database(connection));
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return {};
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec() || !query.next())
        return {};
    return query.value(0);
}

} // namespace HistorySql
