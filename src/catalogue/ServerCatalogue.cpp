#include "catalogue/ServerCatalogue.h"

#include "catalogue/CheckKindText.h"
#include "catalogue/MaintenanceCatalogue.h"
#include "catalogue/ModuleDB.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <array>
#include <optional>

namespace {

const QString kSelectAll = QStringLiteral("select * from serverlist");

// The columns of ServerList, by their position in kFieldNames.
namespace Column {
enum Field : int {
    Id,
    DisplayName,
    IPAddress,
    Port,
    PostData,
    ReplyData,
    AddTime,
    InUse,
    WarnMs,
    SilencedUntil,
    CheckKind,
    Transport,
    TlsName,
    TlsIgnoreErrors,
    CertWarnDays,
    CertNotified,
    Url,
    HttpMethod,
    HttpHeaders,
    HttpStatus,
    HttpRedirects,
    JsonCondition,
    ParentId,
    Locations,
    Revision,
    FieldCount,
};
} // namespace Column
using Column::Field;

constexpr std::array<const char*, Column::FieldCount> kFieldNames = {
    "ID",          "DisplayName",     "IPAddress",     "Port",          "PostData",  "ReplyData",
    "AddTime",     "InUse",           "WarnMs",        "SilencedUntil", "CheckKind", "Transport",
    "TlsName",     "TlsIgnoreErrors", "CertWarnDays",  "CertNotified",  "Url",       "HttpMethod",
    "HttpHeaders", "HttpStatus",      "HttpRedirects", "JsonCondition", "ParentID",  "Locations",
    "Revision"};

// The columns an operator sets, in the order operatorValues gives them.
constexpr std::array kOperatorFields = {
    Column::DisplayName, Column::IPAddress,       Column::Port,
    Column::PostData,    Column::ReplyData,       Column::InUse,
    Column::WarnMs,      Column::CheckKind,       Column::Transport,
    Column::TlsName,     Column::TlsIgnoreErrors, Column::CertWarnDays,
    Column::Url,         Column::HttpMethod,      Column::HttpHeaders,
    Column::HttpStatus,  Column::HttpRedirects,   Column::JsonCondition,
    Column::ParentId,    Column::Locations};

QString fieldName(Field field) {
    return QString::fromLatin1(kFieldNames.at(field));
}

// The columns added in version 3 hold no NULL: a text never set is stored
// empty (a null text would be bound as NULL).
QString notNull(const QString& text) {
    return text.isNull() ? QStringLiteral("") : text;
}

QVariantList operatorValues(const ServerRecord& server) {
    return {server.displayName,
            server.ipAddress,
            server.port,
            server.postData,
            server.replyData,
            server.inUse ? 1 : 0,
            server.warnMs,
            checkKindText(server.checkKind),
            transportText(server.tls.transport),
            notNull(server.tls.serverName),
            server.tls.ignoreErrors ? 1 : 0,
            server.certWarnDays,
            notNull(server.url),
            notNull(server.httpMethod),
            notNull(server.httpHeaders),
            notNull(server.httpStatus),
            server.httpRedirects ? 1 : 0,
            notNull(server.jsonCondition),
            server.parentId,
            notNull(server.locations)};
}

// Inserts a server with its operator columns, the AddTime, the certificate
// notice and the revision given.
QString insertServer(const ServerRecord& server, const QString& addTime,
                     const QString& certNotified, qint64 revision) {
    QStringList columns;
    for (const Field field : kOperatorFields)
        columns << fieldName(field);
    columns << fieldName(Column::AddTime) << fieldName(Column::CertNotified)
            << fieldName(Column::Revision);
    QVariantList values = operatorValues(server);
    values << addTime << notNull(certNotified) << revision;
    const QString placeholders = QStringList(columns.size(), QStringLiteral("?")).join(u',');
    return ModuleDB::DbExecute(QStringLiteral("insert into ServerList (%1) values (%2)")
                                   .arg(columns.join(u','), placeholders),
                               values);
}

// Where each field is in the rows of one query, found once rather than by
// name for every row.
class RecordReader final {
public:
    explicit RecordReader(const QSqlRecord& columns) {
        for (int field = 0; field < Column::FieldCount; ++field)
            m_index[field] = columns.indexOf(QLatin1String(kFieldNames.at(field)));
    }

    ServerRecord read(const QSqlQuery& row) const {
        const auto value = [&](Field field) { return row.value(m_index[field]); };
        ServerRecord server;
        server.id = value(Column::Id).toLongLong();
        server.displayName = value(Column::DisplayName).toString();
        server.ipAddress = value(Column::IPAddress).toString();
        server.port = value(Column::Port).toString();
        server.postData = value(Column::PostData).toString();
        server.replyData = value(Column::ReplyData).toString();
        server.addTime = value(Column::AddTime).toString();
        server.inUse = value(Column::InUse).toInt() != 0;
        server.warnMs = value(Column::WarnMs).toInt();
        server.silencedUntil = value(Column::SilencedUntil).toLongLong();
        server.checkKind = checkKindFromText(value(Column::CheckKind).toString())
                               .value_or(ServerRecord::CheckKind::Tcp);
        server.tls.transport =
            transportFromText(value(Column::Transport).toString()).value_or(Transport::Plain);
        server.tls.serverName = value(Column::TlsName).toString();
        server.tls.ignoreErrors = value(Column::TlsIgnoreErrors).toInt() != 0;
        server.certWarnDays = value(Column::CertWarnDays).toInt();
        server.certNotified = value(Column::CertNotified).toString();
        server.url = value(Column::Url).toString();
        server.httpMethod = value(Column::HttpMethod).toString();
        server.httpHeaders = value(Column::HttpHeaders).toString();
        server.httpStatus = value(Column::HttpStatus).toString();
        server.httpRedirects = value(Column::HttpRedirects).toInt() != 0;
        server.jsonCondition = value(Column::JsonCondition).toString();
        server.parentId = value(Column::ParentId).toLongLong();
        server.locations = value(Column::Locations).toString();
        server.revision = value(Column::Revision).toLongLong();
        return server;
    }

private:
    std::array<int, Column::FieldCount> m_index{};
};

// The servers are made where the query runs (for a shared catalogue, on
// its worker thread): ten thousand rows of the driver's records cost the
// window a tenth of a second to free.
QList<ServerRecord> select(const QString& sql, const QVariantList& values = {},
                           bool* ok = nullptr) {
    QList<ServerRecord> servers;
    std::optional<RecordReader> reader;
    const bool read = ModuleDB::DbSelectEach(sql, values, [&](const QSqlQuery& row) {
        if (!reader)
            reader.emplace(row.record());
        servers << reader->read(row);
    });
    if (ok)
        *ok = read;
    if (!read)
        servers.clear();
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
    // SQLite's like ignores ASCII case; PostgreSQL's ilike does so too.
    const QString like = ModuleDB::DbDialect() == CatalogueSchema::Dialect::Postgres
                             ? QStringLiteral("ilike")
                             : QStringLiteral("like");
    return select(kSelectAll + QStringLiteral(" where DisplayName %1 ? escape '\\'"
                                              " or IPAddress %1 ? escape '\\'"
                                              " or Port %1 ? escape '\\'"
                                              " or PostData %1 ? escape '\\'"
                                              " or ReplyData %1 ? escape '\\' order by ID")
                                   .arg(like),
                  {pattern, pattern, pattern, pattern, pattern}, ok);
}

std::optional<ServerRecord> SelectServer(qint64 id) {
    const QList<ServerRecord> servers = select(kSelectAll + QStringLiteral(" where id=?"), {id});
    if (servers.isEmpty())
        return std::nullopt;
    return servers.first();
}

QList<ServerRecord> SelectServersById(const QList<qint64>& ids, bool* ok) {
    // Bound values per statement stay well below every database's limit.
    constexpr qsizetype IdsPerStatement = 500;
    QList<qint64> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QList<ServerRecord> servers;
    for (qsizetype first = 0; first < sorted.size(); first += IdsPerStatement) {
        const QList<qint64> chunk = sorted.mid(first, IdsPerStatement);
        QVariantList values;
        values.reserve(chunk.size());
        for (const qint64 id : chunk)
            values << id;
        bool read = false;
        servers << select(kSelectAll +
                              QStringLiteral(" where ID in (%1) order by ID")
                                  .arg(QStringList(chunk.size(), QStringLiteral("?")).join(u',')),
                          values, &read);
        if (!read) {
            if (ok)
                *ok = false;
            return {};
        }
    }
    if (ok)
        *ok = true;
    return servers;
}

QString AddTimeText(const QDateTime& when) {
    const QLocale locale = QLocale::system();
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(),
                           timeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat)));
}

QString AddServer(const ServerRecord& server) {
    return insertServer(server, AddTimeText(QDateTime::currentDateTime()), {}, 1);
}

QString ImportServer(const ServerRecord& server) {
    return insertServer(server,
                        server.addTime.isEmpty() ? AddTimeText(QDateTime::currentDateTime())
                                                 : server.addTime,
                        server.certNotified, server.revision);
}

QString ImportServers(const QList<ServerRecord>& servers, QList<qint64>& ids) {
    ids.clear();
    if (ModuleDB::DbDialect() == CatalogueSchema::Dialect::Sqlite) {
        for (const ServerRecord& server : servers) {
            if (const QString report = ImportServer(server); !report.isEmpty())
                return report;
            const QList<QSqlRecord> last =
                ModuleDB::DbSelect(QStringLiteral("select last_insert_rowid()"));
            ids << (last.isEmpty() ? 0 : last.first().value(0).toLongLong());
        }
        return {};
    }
    if (servers.isEmpty())
        return {};
    QStringList columns;
    for (const Field field : kOperatorFields)
        columns << fieldName(field).toLower();
    columns << fieldName(Column::AddTime).toLower() << fieldName(Column::CertNotified).toLower()
            << fieldName(Column::Revision).toLower();
    QJsonArray rows;
    const QString now = AddTimeText(QDateTime::currentDateTime());
    for (const ServerRecord& server : servers) {
        QVariantList values = operatorValues(server);
        values << (server.addTime.isEmpty() ? now : server.addTime) << notNull(server.certNotified)
               << server.revision;
        QJsonObject row;
        for (qsizetype i = 0; i < columns.size(); ++i)
            row.insert(columns.at(i), QJsonValue::fromVariant(values.at(i)));
        rows.append(row);
    }
    // The rows take their IDs in the order the statement reads them, so the
    // IDs in ascending order are those of the servers in turn.
    const QString list = columns.join(u',');
    QList<QSqlRecord> made;
    const QString report = ModuleDB::DbExecuteReturning(
        QStringLiteral("insert into ServerList (%1) select %1 from "
                       "json_populate_recordset(null::serverlist, cast(? as json)) with "
                       "ordinality as r order by r.ordinality returning ID")
            .arg(list),
        {QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Compact))}, made);
    if (!report.isEmpty())
        return report;
    for (const QSqlRecord& row : made)
        ids << row.value(0).toLongLong();
    std::sort(ids.begin(), ids.end());
    return {};
}

QString EditConflictText() {
    return QCoreApplication::translate("ServerCatalogue",
                                       "该服务器已被他人修改,请重新打开后再编辑");
}

// The row is written to first, which holds it for this transaction (SQLite
// takes its write lock, PostgreSQL the row's lock): no other copy's change
// can come between the check of the revision and the save.
QString ChangeServer(const ServerRecord& server) {
    return ModuleDB::DbTransaction([&server] {
        const QString report = ModuleDB::DbExecute(
            QStringLiteral("update ServerList set Revision=Revision where id=?"), {server.id});
        if (!report.isEmpty())
            return report;
        bool read = false;
        const QList<QSqlRecord> stored = ModuleDB::DbSelect(
            QStringLiteral("select Revision from ServerList where id=?"), {server.id}, &read);
        if (!read)
            return QCoreApplication::translate("ServerCatalogue", "无法读取服务器信息");
        if (stored.isEmpty() || stored.first().value(0).toLongLong() != server.revision)
            return EditConflictText();
        QStringList assignments;
        for (const Field field : kOperatorFields)
            assignments << fieldName(field) + QStringLiteral("=?");
        QVariantList values = operatorValues(server);
        values << server.id;
        return ModuleDB::DbExecute(
            QStringLiteral("update ServerList set %1,Revision=Revision+1 where id=?")
                .arg(assignments.join(u',')),
            values);
    });
}

// The servers that depended on it depend on nothing now, and it leaves the
// maintenance windows; all of it or nothing.
QString DeleteServer(qint64 id) {
    return ModuleDB::DbTransaction([id] {
        QString report =
            ModuleDB::DbExecute(QStringLiteral("delete from ServerList where id=?"), {id});
        if (report.isEmpty())
            report = ModuleDB::DbExecute(
                QStringLiteral(
                    "update ServerList set ParentID=0,Revision=Revision+1 where ParentID=?"),
                {id});
        if (report.isEmpty())
            report = MaintenanceCatalogue::RemoveServer(id);
        return report;
    });
}

QHash<qint64, qint64> SelectParents(bool* ok) {
    QHash<qint64, qint64> parents;
    for (const QSqlRecord& row :
         ModuleDB::DbSelect(QStringLiteral("select ID,ParentID from ServerList"), {}, ok))
        parents.insert(row.value(0).toLongLong(), row.value(1).toLongLong());
    return parents;
}

QString SetServerInUse(qint64 id, bool inUse) {
    return ModuleDB::DbExecute(
        QStringLiteral("update ServerList set InUse=?,Revision=Revision+1 where id=?"),
        {inUse ? 1 : 0, id});
}

QString SetServerSilence(qint64 id, qint64 silencedUntil) {
    return ModuleDB::DbExecute(
        QStringLiteral("update ServerList set SilencedUntil=?,Revision=Revision+1 where id=?"),
        {silencedUntil, id});
}

QString EndSilenceAtRecovery(qint64 id) {
    return ModuleDB::DbExecute(
        QStringLiteral("update ServerList set SilencedUntil=0 where id=? and SilencedUntil=?"),
        {id, ServerRecord::SilencedUntilRecovery});
}

QString SetCertNotified(qint64 id, const QString& certNotified) {
    return ModuleDB::DbExecute(QStringLiteral("update ServerList set CertNotified=? where id=?"),
                               {notNull(certNotified), id});
}

} // namespace ServerCatalogue
