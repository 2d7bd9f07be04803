#include "notify/Outbox.h"

#include "catalogue/ModuleDB.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlRecord>

namespace Outbox {

namespace {

const QString kEntryColumns = QStringLiteral(
    "select ID,ChannelID,CreatedUtcMs,Attempts,NextAttemptUtcMs,Title,Message,Event,DedupKey "
    "from Outbox ");

QString notNull(const QString& text) {
    return text.isNull() ? QString(QLatin1String("")) : text;
}

QString stateKey(State state) {
    return state == State::Held ? QStringLiteral("held") : QStringLiteral("pending");
}

QList<Entry> entries(const QString& sql, const QVariantList& values) {
    QList<Entry> list;
    for (const QSqlRecord& row : ModuleDB::DbSelect(kEntryColumns + sql, values)) {
        Entry entry;
        entry.id = row.value(0).toLongLong();
        entry.channelId = row.value(1).toLongLong();
        entry.createdUtcMs = row.value(2).toLongLong();
        entry.attempts = row.value(3).toInt();
        entry.nextAttemptUtcMs = row.value(4).toLongLong();
        entry.message.title = row.value(5).toString();
        entry.message.message = row.value(6).toString();
        entry.message.event = eventOfJson(row.value(7).toString());
        entry.message.dedupKey = row.value(8).toString();
        list << entry;
    }
    return list;
}

QString insert(qint64 channelId, const ChannelMessage& message, qint64 createdUtcMs,
               const QString& state) {
    return ModuleDB::DbExecute(
        QStringLiteral("insert into Outbox (ChannelID,CreatedUtcMs,Event,Title,Message,"
                       "NextAttemptUtcMs,State,DedupKey) values (?,?,?,?,?,?,?,?) "
                       "on conflict (DedupKey) do nothing"),
        {channelId, createdUtcMs, eventJson(message.event), notNull(message.title),
         notNull(message.message), createdUtcMs, state, message.dedupKey});
}

} // namespace

QString enqueue(qint64 channelId, const ChannelMessage& message, qint64 createdUtcMs, State state) {
    return insert(channelId, message, createdUtcMs, stateKey(state));
}

QList<Entry> pending(int limit) {
    return entries(QStringLiteral("where State='pending' order by NextAttemptUtcMs,ID limit ?"),
                   {limit});
}

QList<Entry> held(qint64 channelId) {
    return entries(QStringLiteral("where State='held' and ChannelID=? order by ID"), {channelId});
}

QList<qint64> channelsHolding() {
    QList<qint64> channels;
    for (const QSqlRecord& row : ModuleDB::DbSelect(
             QStringLiteral("select distinct ChannelID from Outbox where State='held'")))
        channels << row.value(0).toLongLong();
    return channels;
}

QString markSent(qint64 id, int attempts, qint64 sentUtcMs) {
    return ModuleDB::DbExecute(
        QStringLiteral("update Outbox set State='sent',Attempts=?,SentUtcMs=? where ID=?"),
        {attempts, sentUtcMs, id});
}

QString markRetry(qint64 id, int attempts, qint64 nextAttemptUtcMs) {
    return ModuleDB::DbExecute(
        QStringLiteral("update Outbox set Attempts=?,NextAttemptUtcMs=? where ID=?"),
        {attempts, nextAttemptUtcMs, id});
}

QString markFailed(qint64 id, int attempts) {
    return ModuleDB::DbExecute(
        QStringLiteral("update Outbox set State='failed',Attempts=? where ID=?"), {attempts, id});
}

QString digest(const QList<qint64>& heldIds, qint64 channelId, const ChannelMessage& digest,
               qint64 createdUtcMs) {
    return ModuleDB::DbTransaction([&] {
        for (const qint64 id : heldIds) {
            const QString report = ModuleDB::DbExecute(
                QStringLiteral("update Outbox set State='digested' where ID=? and State='held'"),
                {id});
            if (!report.isEmpty())
                return report;
        }
        return insert(channelId, digest, createdUtcMs, QStringLiteral("pending"));
    });
}

qint64 queuedCount() {
    const QList<QSqlRecord> rows = ModuleDB::DbSelect(
        QStringLiteral("select count(*) from Outbox where State in ('pending','held')"));
    return rows.isEmpty() ? 0 : rows.first().value(0).toLongLong();
}

QString prune(qint64 utcMs) {
    return ModuleDB::DbExecute(
        QStringLiteral(
            "delete from Outbox where State in ('sent','failed','digested') and CreatedUtcMs<?"),
        {utcMs});
}

QString eventJson(const AlertEvent& event) {
    const QJsonObject object{{QStringLiteral("kind"), event.kind == AlertEvent::Kind::Recovery
                                                          ? QStringLiteral("recovery")
                                                          : QStringLiteral("alert")},
                             {QStringLiteral("server"), event.server},
                             {QStringLiteral("name"), event.serverName},
                             {QStringLiteral("address"), event.address},
                             {QStringLiteral("port"), event.port},
                             {QStringLiteral("status"), event.status},
                             {QStringLiteral("title"), event.title},
                             {QStringLiteral("message"), event.message},
                             {QStringLiteral("time"), event.timeUtcMs},
                             {QStringLiteral("duration"), event.durationMs}};
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

AlertEvent eventOfJson(const QString& json) {
    const QJsonObject object = QJsonDocument::fromJson(json.toUtf8()).object();
    AlertEvent event;
    event.kind = object.value(QStringLiteral("kind")).toString() == QLatin1String("recovery")
                     ? AlertEvent::Kind::Recovery
                     : AlertEvent::Kind::Alert;
    event.server = object.value(QStringLiteral("server")).toString();
    event.serverName = object.value(QStringLiteral("name")).toString();
    event.address = object.value(QStringLiteral("address")).toString();
    event.port = object.value(QStringLiteral("port")).toString();
    event.status = object.value(QStringLiteral("status")).toString();
    event.title = object.value(QStringLiteral("title")).toString();
    event.message = object.value(QStringLiteral("message")).toString();
    event.timeUtcMs = object.value(QStringLiteral("time")).toInteger();
    event.durationMs = object.value(QStringLiteral("duration")).toInteger(-1);
    return event;
}

} // namespace Outbox
