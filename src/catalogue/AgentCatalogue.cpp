#include "catalogue/AgentCatalogue.h"

#include "catalogue/ModuleDB.h"

#include <QSqlRecord>

namespace {

// The database's clock in milliseconds since 1970 (UTC), in place of %1.
QString withDatabaseNow(const char* sql) {
    return QString::fromLatin1(sql).arg(
        QLatin1String("(extract(epoch from clock_timestamp()) * 1000)::bigint"));
}

void appendJsonText(QByteArray& out, const QString& text) {
    out += '"';
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += "\\u00";
            out += "0123456789abcdef"[(c >> 4) & 0xf];
            out += "0123456789abcdef"[c & 0xf];
        } else {
            out += c;
        }
    }
    out += '"';
}

} // namespace

namespace AgentCatalogue {

std::optional<QStringList> Heartbeat(const QString& agent, const QString& location, int silenceMs) {
    static const QString sql = withDatabaseNow(
        "with beat as (insert into Agents (Name, Location, HeartbeatUtcMs) values (?, ?, %1)"
        " on conflict (Name) do update set Location = excluded.Location,"
        " HeartbeatUtcMs = excluded.HeartbeatUtcMs returning Name)"
        " select Name from beat union select Name from Agents where lower(Location) = lower(?)"
        " and HeartbeatUtcMs >= %1 - ?");
    QList<QSqlRecord> rows;
    // A null text would be bound as NULL; no location is the empty one.
    const QString where = location.isNull() ? QStringLiteral("") : location;
    if (!ModuleDB::DbShared() ||
        !ModuleDB::DbExecuteReturning(sql, {agent, where, where, silenceMs}, rows).isEmpty())
        return std::nullopt;
    QStringList names;
    names.reserve(rows.size());
    for (const QSqlRecord& row : rows)
        names << row.value(0).toString();
    names.sort();
    return names;
}

StatesJson::StatesJson(qsizetype servers) {
    m_json.reserve(2 + servers * 64);
    m_json += '[';
}

void StatesJson::add(qint64 serverId, const QString& state, const QString& status, qint32 replyMs,
                     qint64 timeUtcMs) {
    if (m_json.size() > 1)
        m_json += ',';
    m_json += "{\"s\":" + QByteArray::number(serverId) + ",\"t\":";
    appendJsonText(m_json, state);
    m_json += ",\"u\":";
    appendJsonText(m_json, status);
    m_json +=
        ",\"r\":" + QByteArray::number(replyMs) + ",\"m\":" + QByteArray::number(timeUtcMs) + '}';
}

QByteArray StatesJson::finished() {
    m_json += ']';
    return std::move(m_json);
}

bool StoreStates(const QString& agent, const QByteArray& json) {
    static const QString sql = QStringLiteral(
        "with seen as (select * from json_to_recordset(cast(? as json))"
        " as r(s bigint, t text, u text, r integer, m bigint)),"
        " stored as (insert into AgentState (Agent, ServerID, State, Status, ReplyMs, TimeUtcMs)"
        " select ?, s, t, u, r, m from seen on conflict (Agent, ServerID) do update set"
        " State = excluded.State, Status = excluded.Status, ReplyMs = excluded.ReplyMs,"
        " TimeUtcMs = excluded.TimeUtcMs)"
        " delete from AgentState a where a.Agent = ?"
        " and not exists (select 1 from seen where seen.s = a.ServerID)");
    return ModuleDB::DbPostShared(sql, {QString::fromUtf8(json), agent, agent});
}

QList<AgentServerState> SelectStates(qint64 serverId, bool* ok, int silenceMs) {
    static const QString sql =
        withDatabaseNow("select s.Agent, a.Location, s.State, s.Status, s.ReplyMs, s.TimeUtcMs"
                        " from AgentState s join Agents a on a.Name = s.Agent where s.ServerID = ?"
                        " and a.HeartbeatUtcMs >= %1 - ? order by a.Location, s.Agent");
    QList<AgentServerState> states;
    if (!ModuleDB::DbShared() || !ModuleDB::DbOnline()) {
        if (ok)
            *ok = false;
        return states;
    }
    const QList<QSqlRecord> rows = ModuleDB::DbSelect(sql, {serverId, silenceMs}, ok);
    states.reserve(rows.size());
    for (const QSqlRecord& row : rows)
        states.append({row.value(0).toString(), row.value(1).toString(), row.value(2).toString(),
                       row.value(3).toString(), row.value(4).toInt(), row.value(5).toLongLong()});
    return states;
}

} // namespace AgentCatalogue
