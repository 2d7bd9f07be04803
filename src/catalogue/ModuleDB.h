#pragma once

#include <QString>
#include <QVariantList>

// The one connection to the server catalogue, an SQLite file ServerList.db
// in the program folder, created with its tables on first open.
namespace ModuleDB {

void setDbPath(const QString& path);
QString DbPath();

// Opens (or reopens) the catalogue; the result is also the status-bar text
// "数据库：连接成功" or "数据库：连接失败" returned by DbStateText().
bool DbOpen();
void DbClose();
bool DbConnected();
QString DbStateText();

// Runs one action statement with bound values. Empty on success, a complete
// failure report otherwise (also when the catalogue is not connected).
QString DbExecute(const QString& sql, const QVariantList& values = {});

} // namespace ModuleDB
