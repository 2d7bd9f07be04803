#pragma once

#include <QList>
#include <QSqlRecord>
#include <QString>
#include <QVariantList>
#include <functional>

// The one connection to the server catalogue, an SQLite file ServerList.db
// in the data folder (AppPaths), created with its tables on first open.
namespace ModuleDB {

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
bool DbOpen();
void DbClose();
bool DbConnected();
QString DbStateText();
// What the operator should know about the last failed DbOpen (a catalogue
// made by a newer program, or one whose upgrade failed); empty otherwise.
QString DbOpenError();

// Runs one action statement with bound values. Empty on success, a complete
// failure report otherwise (also when the catalogue is not connected).
QString DbExecute(const QString& sql, const QVariantList& values = {});

// Runs one query with bound values and returns its rows in order; no rows
// when the query cannot run or the catalogue is not connected, and then
// *ok, when given, is false.
QList<QSqlRecord> DbSelect(const QString& sql, const QVariantList& values = {}, bool* ok = nullptr);

// Runs work inside one transaction: committed when work returns the empty
// text, rolled back otherwise. Empty on success, the failure report else.
QString DbTransaction(const std::function<QString()>& work);

// The statement as the failure report shows it: each placeholder replaced by
// its value, texts quoted exactly as typed.
QString StatementText(const QString& sql, const QVariantList& values);

} // namespace ModuleDB
