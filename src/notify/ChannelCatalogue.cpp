#include "notify/ChannelCatalogue.h"

#include "catalogue/ModuleDB.h"

#include <QFile>
#include <QJsonDocument>
#include <QSqlRecord>

namespace ChannelCatalogue {

namespace {

const QString kColumns =
    QStringLiteral("Kind,Name,Enabled,Settings,Secret,SendRecovery,StormLimit");

QString notNull(const QString& text) {
    return text.isNull() ? QString(QLatin1String("")) : text;
}

// Where values() puts the secret.
constexpr qsizetype SecretAt = 4;

QVariantList values(const Channel& channel) {
    return {ChannelKinds::key(channel.kind),
            notNull(channel.name),
            channel.enabled ? 1 : 0,
            QString::fromUtf8(QJsonDocument(channel.settings).toJson(QJsonDocument::Compact)),
            notNull(channel.secret),
            channel.sendRecovery ? 1 : 0,
            qMax(0, channel.stormLimit)};
}

// A catalogue holding secrets is readable by its owner only, whatever
// created it; SQLite gives its side files the main file's permissions.
void keepToOwner() {
    const QString path = ModuleDB::DbPath();
    for (const QString& file : {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")})
        if (QFile::exists(file))
            QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
}

// Runs a write of values(channel) (and what follows them). A failure report
// shows the statement with its values: the secret is masked there, since
// the report goes into message boxes.
QString write(const QString& sql, const QVariantList& bound) {
    const QString report = ModuleDB::DbExecute(sql, bound);
    if (report.isEmpty()) {
        keepToOwner();
        return report;
    }
    QVariantList shown = bound;
    if (!shown.value(SecretAt).toString().isEmpty())
        shown[SecretAt] = QStringLiteral("******");
    return QString(report).replace(ModuleDB::StatementText(sql, bound),
                                   ModuleDB::StatementText(sql, shown));
}

} // namespace

QList<Channel> SelectChannels(bool* ok) {
    QList<Channel> channels;
    const QList<QSqlRecord> rows = ModuleDB::DbSelect(
        QStringLiteral("select ID,") + kColumns + QStringLiteral(" from Channels order by ID"), {},
        ok);
    for (const QSqlRecord& row : rows) {
        const std::optional<ChannelKind> kind = ChannelKinds::ofKey(row.value(1).toString());
        if (!kind)
            continue;
        Channel channel;
        channel.id = row.value(0).toLongLong();
        channel.kind = *kind;
        channel.name = row.value(2).toString();
        channel.enabled = row.value(3).toInt() != 0;
        channel.settings = QJsonDocument::fromJson(row.value(4).toString().toUtf8()).object();
        channel.secret = row.value(5).toString();
        channel.sendRecovery = row.value(6).toInt() != 0;
        channel.stormLimit = qMax(0, row.value(7).toInt());
        channels << channel;
    }
    return channels;
}

std::optional<Channel> FindChannel(const QString& name) {
    for (const Channel& channel : SelectChannels())
        if (channel.name == name)
            return channel;
    return std::nullopt;
}

QString AddChannel(const Channel& channel, qint64* id) {
    const QString report = write(QStringLiteral("insert into Channels (") + kColumns +
                                     QStringLiteral(") values (?,?,?,?,?,?,?)"),
                                 values(channel));
    if (report.isEmpty() && id) {
        const QList<QSqlRecord> rows =
            ModuleDB::DbSelect(QStringLiteral("select max(ID) from Channels"));
        *id = rows.isEmpty() ? 0 : rows.first().value(0).toLongLong();
    }
    return report;
}

QString ChangeChannel(const Channel& channel) {
    QVariantList bound = values(channel);
    bound << channel.id;
    return write(QStringLiteral("update Channels set Kind=?,Name=?,Enabled=?,Settings=?,Secret=?,"
                                "SendRecovery=?,StormLimit=? where ID=?"),
                 bound);
}

QString DeleteChannel(qint64 id) {
    return ModuleDB::DbTransaction([id] {
        QString report =
            ModuleDB::DbExecute(QStringLiteral("delete from Outbox where ChannelID=?"), {id});
        if (report.isEmpty())
            report = ModuleDB::DbExecute(QStringLiteral("delete from Channels where ID=?"), {id});
        return report;
    });
}

} // namespace ChannelCatalogue
