#pragma once

#include "catalogue/CatalogueSchema.h"

#include <QList>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariantList>
#include <functional>

class CatalogueEvents;

// The one connection to the server catalogue: an SQLite file ServerList.db
// in the data folder (AppPaths), created with its tables on first open, or
// a PostgreSQL database that several copies share. The rest of the program
// does not know which it has.
namespace ModuleDB {

// The shared database as a postgresql:// address; empty (the default): the
// file. Effective from the next DbOpen.
void setDatabaseUri(const QString& uri);
// The address given on the command line wins over the settings' one.
void setCommandLineDatabaseUri(const QString& uri);
bool DbShared();
// How the operator knows the catalogue: the file, or the address.
QString DbName();
// The SQL of the catalogue that answers now (a shared catalogue offline
// answers from its SQLite snapshot).
CatalogueSchema::Dialect DbDialect();
// Tells of other copies' changes and of the connection's state (shared only).
CatalogueEvents* events();

// The catalogue file; until set, DefaultDbPath(): the catalogue file AppPaths
// hands out.
QString DefaultDbPath();
void setDbPath(const QString& path);
QString DbPath();

// How long a statement waits for another copy's change to the catalogue to
// end before it fails, from the next DbOpen. The window's is short, so a
// file another program keeps locked never freezes it; a program without a
// window waits longer, so an import and a copy writing beside it both go
// through.
constexpr int WindowBusyTimeOutMs = 100;
constexpr int BackgroundBusyTimeOutMs = 5000;
void setBusyTimeOutMs(int ms);

// Opens (or reopens) the catalogue; the result is also the status-bar text
// "数据库：连接成功" or "数据库：连接失败" returned by DbStateText().
// A missing file is created with its tables and the common request
// templates; a file that is not a catalogue is left untouched and fails.
// A catalogue of an earlier schema version is upgraded in place, in one
// transaction that keeps every row or changes nothing; one of a later
// version is refused and left untouched.
// The catalogue is kept in write-ahead-log mode, so another copy's change,
// however long (an import), never keeps this one from reading it.
//
// A shared catalogue is read and changed on a worker thread; a call waits
// for it in a local event loop, for at most five seconds before it begins.
// When the database cannot be reached the copy goes on from the snapshot of
// what it last read (read only: every change fails with a report saying
// so), and reconnects by itself; DbStateText() then reads "数据库：离线(只读)".
bool DbOpen();
void DbClose();
// Servers can be read (from the database, or offline from the snapshot).
bool DbConnected();
// The catalogue itself answers: the file is open, or the database is there.
bool DbOnline();
QString DbStateText();
// Whether this copy sends the channel messages: always with the file; with a
// shared catalogue only the one copy that holds the sender lock, so each
// alert goes out once however many copies watch the same servers.
bool DbIsSender();
// Why a shared database is not there, in its own words; empty otherwise.
QString DbOfflineReason();
// What the operator should know about the last failed DbOpen (a catalogue
// made by a newer program, or one whose upgrade failed); empty otherwise.
QString DbOpenError();

// Runs one action statement with bound values. Empty on success, a complete
// failure report otherwise (also when the catalogue is not connected).
QString DbExecute(const QString& sql, const QVariantList& values = {});

// Hands one action statement to a shared catalogue's worker and returns at
// once, for writes nobody waits for (what an agent saw in its last pass).
// False when the catalogue is not shared or not online; a statement that
// then fails is dropped.
bool DbPostShared(const QString& sql, const QVariantList& values);

// Runs one query with bound values and returns its rows in order; no rows
// when the query cannot run or the catalogue is not connected, and then
// *ok, when given, is false.
QList<QSqlRecord> DbSelect(const QString& sql, const QVariantList& values = {}, bool* ok = nullptr);

// Runs one query with bound values and hands each row to take where the
// query runs (for a shared catalogue, on its worker thread), so a large
// result is never copied row by row. False when the query cannot run or
// fails part way; take may have seen rows by then.
bool DbSelectEach(const QString& sql, const QVariantList& values,
                  const std::function<void(const QSqlQuery&)>& take);

// Runs one action statement that returns rows (an insert ... returning);
// empty on success, the failure report otherwise, as DbExecute.
QString DbExecuteReturning(const QString& sql, const QVariantList& values, QList<QSqlRecord>& rows);

// Runs work inside one transaction: committed when work returns the empty
// text, rolled back otherwise. Empty on success, the failure report else.
QString DbTransaction(const std::function<QString()>& work);

// The statement as the failure report shows it: each placeholder replaced by
// its value, texts quoted exactly as typed.
QString StatementText(const QString& sql, const QVariantList& values);

} // namespace ModuleDB
