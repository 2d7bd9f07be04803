#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The catalogue's tables, the same on both databases it can live in: an
// SQLite file (schema version in user_version) or a PostgreSQL database
// (a one-row SchemaVersion table, wider integers, and triggers that tell
// every listening copy which servers changed).
namespace CatalogueSchema {

enum class Dialect { Sqlite, Postgres };

// 1: the two tables; 2: ServerList gains WarnMs and SilencedUntil; 3:
// ServerList gains the TLS, HTTP, dependency and revision columns, SendData
// the transport of a template, and the tables of channels, their outbox,
// maintenance windows and agents appear.
constexpr int Version = 3;

// The channel every change to servers, channels and maintenance windows is
// announced on; the payload lists the changed server IDs, or is empty when
// everything should be read again.
inline constexpr char ChangeChannel[] = "servermon_catalogue";

// The tables an operator keeps: what a copy of the catalogue carries.
QStringList keptTables();

// Makes the catalogue ready: a database without its tables gets them, with
// the common request templates; one of an earlier version is brought up to
// this one in one transaction that keeps every row or changes nothing; one of
// a later version, and one holding other tables of the same names, is
// refused untouched. `name` is how the operator knows the database; what
// the operator should know about a refusal goes to *refusal (empty when the
// database just is no catalogue).
bool prepare(QSqlDatabase& db, Dialect dialect, const QString& name, QString* refusal);

} // namespace CatalogueSchema
