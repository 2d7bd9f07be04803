#pragma once

#include "monitor/ServerRecord.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// The statements the program runs on the catalogue. User values are always
// bound, never spliced into SQL. Changes return DbExecute's report: empty on
// success, the failure text otherwise.
namespace ServerCatalogue {

enum class Selection { Enabled, Disabled, All };

// No servers when the catalogue cannot be read; then *ok, when given, is false.
QList<ServerRecord> SelectServers(Selection selection, bool* ok = nullptr);
// Literal, ASCII-case-insensitive search over name, address, port, request
// and reply; *ok as for SelectServers.
QList<ServerRecord> SearchServers(const QString& keyword, bool* ok = nullptr);
std::optional<ServerRecord> SelectServer(qint64 id);

// The AddTime text of a server added at that moment: the local short date, one
// blank and the local time with seconds, in the system's formats.
QString AddTimeText(const QDateTime& when);

// Adds the server stamped with the current AddTime (its addTime is ignored).
QString AddServer(const ServerRecord& server);
// Gives the server added last on this connection that AddTime instead, as
// an import keeps the time a server was first added.
QString SetAddTimeOfLastAdded(const QString& addTime);
// Changes everything but the AddTime of the server with that ID.
// Changes everything but the AddTime and the silence of the server with that ID.
QString ChangeServer(const ServerRecord& server);
QString DeleteServer(qint64 id);
QString SetServerInUse(qint64 id, bool inUse);
// Stores how long the server is silenced (ServerRecord::silencedUntil).
QString SetServerSilence(qint64 id, qint64 silencedUntil);

} // namespace ServerCatalogue
