#pragma once

#include "catalogue/CatalogueSchema.h"

#include <QSqlDatabase>
#include <QString>

// Copies the rows the operator keeps (servers, request templates, channels,
// maintenance windows) from one catalogue into another of the same schema
// whose tables hold none of them. Into PostgreSQL each table goes as one
// statement, since row by row its round trips add up to seconds at ten
// thousand servers; new rows there then get IDs after the copied ones.
// Runs inside the caller's transaction; empty on success, the database's
// description of the failure otherwise.
namespace CatalogueCopy {

QString copyKeptTables(QSqlDatabase& from, QSqlDatabase& to, CatalogueSchema::Dialect toDialect);

// How many servers, channels and maintenance windows the catalogue holds;
// -1 when it cannot be read. Request templates do not count: every new
// catalogue starts with the common ones.
qint64 keptRowCount(QSqlDatabase& db);

} // namespace CatalogueCopy
