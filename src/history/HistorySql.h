#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

// The history's connections, found by name, and statements run on them.
namespace HistorySql {

// The named connection, without opening it.
QSqlDatabase database(const QString& connection);
// Runs sql with values bound in order; false when it cannot be prepared or fails.
bool exec(const QString& connection, const QString& sql, const QVariantList& values = {});
// The first value the statement gives; invalid when it gives none or fails.
QVariant value(const QString& connection, const QString& sql, const QVariantList& values = {});

} // namespace HistorySql
