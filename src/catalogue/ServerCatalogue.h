#pragma once

#include "monitor/ServerRecord.h"

#include <QDateTime>
#include <QHash>
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
// The servers of those IDs that the catalogue holds, in the order of their
// IDs; *ok as for SelectServers.
QList<ServerRecord> SelectServersById(const QList<qint64>& ids, bool* ok = nullptr);

// The AddTime text of a server added at that moment: the local short date, one
// blank and the local time with seconds, in the system's formats.
QString AddTimeText(const QDateTime& when);

// Every change an operator makes to a server (an add, an edit, the in-use
// box, a silence) raises its Revision; what the program writes by itself
// (a silence ending at recovery, a certificate notice) does not.

// Adds the server stamped with the current AddTime (its addTime, certNotified
// and revision are ignored).
QString AddServer(const ServerRecord& server);
// Adds a server read from an exported catalogue: its AddTime (stamped now
// when empty), its certificate notice and its revision are kept.
QString ImportServer(const ServerRecord& server);
// Adds servers as ImportServer does and gives their new IDs in the same
// order. Into PostgreSQL they go as one statement, since row by row the
// round trips of ten thousand servers take many seconds.
QString ImportServers(const QList<ServerRecord>& servers, QList<qint64>& ids);
// Changes everything but the AddTime, the silence and the certificate
// notice of the server with that ID, provided its stored revision is still
// server.revision, the one the edit started from. Otherwise nothing changes
// and the report is EditConflictText(): someone else changed or deleted the
// server meanwhile.
QString ChangeServer(const ServerRecord& server);
QString EditConflictText();
// Deletes the server; those that depended on it depend on nothing now, and
// it leaves every maintenance window.
QString DeleteServer(qint64 id);
// The parent of every server (ServerRecord::parentId) by ID.
QHash<qint64, qint64> SelectParents(bool* ok = nullptr);
QString SetServerInUse(qint64 id, bool inUse);
// Stores how long the operator silenced the server (ServerRecord::silencedUntil).
QString SetServerSilence(qint64 id, qint64 silencedUntil);
// Ends a silence that lasted until the server's recovery, now that it has
// recovered; a silence set anew meanwhile stays.
QString EndSilenceAtRecovery(qint64 id);
// Stores the certificate notice last given for the server (CertNotified).
QString SetCertNotified(qint64 id, const QString& certNotified);

} // namespace ServerCatalogue
