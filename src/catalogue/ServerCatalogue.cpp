#include "catalogue/ServerCatalogue.h"

#include "catalogue/ModuleDB.h"

#include <QLocale>
#include <QSqlRecord>

namespace {

const QString kSelectAll = QStringLiteral("select * from serverlist");

ServerRecord recordOf(const QSqlRecord& row) {
    ServerRecord server;
    server.id = row.value(QStringLiteral("ID")).toLongLong();
    server.displayName = row.value(QStringLiteral("DisplayName")).toString();
    server.ipAddress = row.value(QStringLiteral("IPAddress")).toString();
    server.port = row.value(QStringLiteral("Port")).toString();
    server.postData = row.value(QStringLiteral("PostData")).toString();
    server.replyData = row.value(QStringLiteral("ReplyData")).toString();
    server.addTime = row.value(QStringLiteral("AddTime")).toString();
    server.inUse = row.value(QStringLiteral("InUse")).toInt() != 0;
    server.warnMs = row.value(QStringLiteral("WarnMs")).toInt();
    server.silencedUntil = row.value(QStringLiteral("SilencedUntil")).toLongLong();
    return server;
}

QList<ServerRecord> select(const QString& sql, const QVariantList& values = {},
                           bool* ok = nullptr) {
    QList<ServerRecord> servers;
    const QList<QSqlRecord> rows = ModuleDB::DbSelect(sql, values, ok);
    servers.reserve(rows.size());
    for (const QSqlRecord& row : rows)
        servers << recordOf(row);
    return servers;
}

// The keyword as a LIKE pattern that matches it literally anywhere in a text.
QString containsPattern(const QString& keyword) {
    QString escaped = keyword;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('%'), QStringLiteral("\\%"))
        .replace(QLatin1Char('_'), QStringLiteral("\\_"));
    return QLatin1Char('%') + escaped + QLatin1Char('%');
}

// The long time format names the time zone; the stamp keeps only the clock time.
QString timeFormatWithoutZone(const QString& format) {
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        result += c;
    }
    return result.trimmed();
}

} // namespace

namespace ServerCatalogue {

QList<ServerRecord> SelectServers(Selection selection, bool* ok) {
    switch (selection) {
    case Selection::Enabled:
        return select(kSelectAll + QStringLiteral(" where inuse=1 order by ID"), {}, ok);
    case Selection::Disabled:
        return select(kSelectAll + QStringLiteral(" where inuse=0 order by ID"), {}, ok);
    case Selection::All:
        break;
    }
    return select(kSelectAll + QStringLiteral(" order by ID"), {}, ok);
}

QList<ServerRecord> SearchServers(const QString& keyword, bool* ok) {
    const QString pattern = containsPattern(keyword);
    return select(kSelectAll + QStringLiteral(" where DisplayName like ? escape '\\'"
                                              " or IPAddress like ? escape '\\'"
                                              " or Port like ? escape '\\'"
                                              " or PostData like ? escape '\\'"
                                              " or ReplyData like ? escape '\\' order by ID"),
                  {pattern, pattern, pattern, pattern, pattern}, ok);
}

std::optional<ServerRecord> SelectServer(qint64 id) {
    const QList<ServerRecord> servers = select(kSelectAll + QStringLiteral(" where id=?"), {id});
    if (servers.isEmpty())
        return std::nullopt;
    return servers.first();
}

QString AddTimeText(const QDateTime& when) {
    const QLocale locale = QLocale::system();
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(),
                           timeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat)));
}

QString AddServer(const ServerRecord& server) {
    return ModuleDB::DbExecute(
        QStringLiteral("insert into ServerList "
                       "(DisplayName,IPAddress,Port,PostData,ReplyData,AddTime,InUse,WarnMs) "
                       "values (?,?,?,?,?,?,?,?)"),
        {server.displayName, server.ipAddress, server.port, server.postData, server.replyData,
         AddTimeText(QDateTime::currentDateTime()), server.inUse ? 1 : 0, server.warnMs});
}

QString SetAddTimeOfLastAdded(const QString& addTime) {
    return ModuleDB::DbExecute(
        QStringLiteral("update ServerList set AddTime=? where ID=last_insert_rowid()"), {addTime});
}

QString ChangeServer(const ServerRecord& server) {
    return ModuleDB::DbExecute(
        QStringLiteral("update ServerList set DisplayName=?,IPAddress=?,Port=?,PostData=?,"
                       "ReplyData=?,InUse=?,WarnMs=? where id=?"),
        {server.displayName, server.ipAddress, server.port, server.postData, server.replyData,
         server.inUse ? 1 : 0, server.warnMs, server.id});
}

QString DeleteServer(qint64 id) {
    return ModuleDB::DbExecute(QStringLiteral("delete from ServerList where id=?"), {id});
}

QString SetServerInUse(qint64 id, bool inUse) {
    return ModuleDB::DbExecute(QStringLiteral("update ServerList set InUse=? where id=?"),
                               {inUse ? 1 : 0, id});
}

QString SetServerSilence(qint64 id, qint64 silencedUntil) {
    return ModuleDB::DbExecute(QStringLiteral("update ServerList set SilencedUntil=? where id=?"),
                               {silencedUntil, id});
}

} // namespace ServerCatalogue
