#include "catalogue/ModuleDB.h"

#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

const QString kConnectionName = QStringLiteral("ModuleDB");
// 1: the two tables; 2: ServerList gains WarnMs and SilencedUntil.
constexpr int kSchemaVersion = 2;

struct DbState {
    QString path;
    int busyTimeOutMs = ModuleDB::WindowBusyTimeOutMs;
    bool connected = false;
    QString openError;
};

DbState& state() {
    static DbState s;
    return s;
}

QSqlDatabase connection() {
    return QSqlDatabase::database(kConnectionName, false);
}

QString errorDescription(const QSqlError& error) {
    const QString text = error.databaseText();
    return text.isEmpty() ? error.text() : text;
}

QString failureReport(const QString& sql, const QVariantList& values, const QString& description) {
    return QCoreApplication::translate("ModuleDB", "数据库操作失败:") +
           ModuleDB::StatementText(sql, values) +
           QCoreApplication::translate("ModuleDB", "\r\n错误描述:") + description;
}

bool run(QSqlDatabase& db, const QString& sql, const QVariantList& values = {}) {
    QSqlQuery query(db);
    if (!query.prepare(sql))
        return false;
    for (const QVariant& value : values)
        query.addBindValue(value);
    return query.exec();
}

struct Seed {
    int port;
    const char* serverType;
    const char* sendData;
    const char* replyData;
};

// Requests that every server of the kind answers harmlessly; the banner
// services greet first, so their reply check matches the greeting. Catalogue
// data, not interface text: they are stored and sent as they stand, in any
// interface language.
constexpr Seed kSeeds[] = {
    {80, "HTTP", "GET / HTTP/1.1\r\nHost: www.example.com\r\nConnection: close\r\n\r\n", "HTTP/1."},
    {21, "FTP", "QUIT\r\n", "220"},
    {22, "SSH", "SSH-2.0-servermon\r\n", "SSH-"},
    {25, "SMTP", "QUIT\r\n", "220"},
    {110, "POP3", "QUIT\r\n", "+OK"},
    {143, "IMAP", "a1 LOGOUT\r\n", "* OK"},
    {6379, "Redis", "ASC:80:73:78:71:13:10", "+PONG"},
    {11211, "memcached", "version\r\n", "VERSION"},
};

bool createServerList(QSqlDatabase& db) {
    return run(db, QStringLiteral("create table ServerList ("
                                  "ID integer primary key autoincrement,"
                                  "DisplayName text,"
                                  "IPAddress text,"
                                  "Port text,"
                                  "PostData text,"
                                  "ReplyData text,"
                                  "AddTime text,"
                                  "InUse integer not null default 1 check (InUse in (0, 1)),"
                                  "WarnMs integer not null default 0,"
                                  "SilencedUntil integer not null default 0)"));
}

// The columns version 2 added to ServerList, for a file of an earlier
// version; existing rows get the defaults (no warning, not silenced).
bool addVersion2Columns(QSqlDatabase& db) {
    QSqlQuery info(db);
    if (!info.exec(QStringLiteral("pragma table_info(ServerList)")))
        return false;
    QStringList columns;
    while (info.next())
        columns << info.value(1).toString().toLower();
    info.finish();
    return (columns.contains(QStringLiteral("warnms")) ||
            run(db, QStringLiteral("alter table ServerList add column WarnMs integer not null "
                                   "default 0"))) &&
           (columns.contains(QStringLiteral("silenceduntil")) ||
            run(db, QStringLiteral("alter table ServerList add column SilencedUntil integer not "
                                   "null default 0")));
}

bool createSendData(QSqlDatabase& db) {
    if (!run(db, QStringLiteral("create table SendData (port integer not null, SendData text, "
                                "ReplyData text, ServerType text)")))
        return false;
    for (const Seed& seed : kSeeds) {
        if (!run(db,
                 QStringLiteral("insert into SendData (port, SendData, ReplyData, ServerType) "
                                "values (?, ?, ?, ?)"),
                 {seed.port, QString::fromUtf8(seed.sendData), QString::fromUtf8(seed.replyData),
                  QString::fromUtf8(seed.serverType)}))
            return false;
    }
    return true;
}

// A damaged file would show only part of the catalogue, or fail on the
// first change; it is refused whole and left as it is, so it can be rescued.
bool structureSound(QSqlDatabase& db) {
    QSqlQuery check(db);
    return check.exec(QStringLiteral("pragma quick_check")) && check.next() &&
           check.value(0).toString() == QLatin1String("ok") && !check.next();
}

// Reads the file's own tables first, so a file that is not an SQLite
// database fails here before anything is written to it. A file of an
// earlier version is brought up to this one in place, in one transaction
// that keeps every row; a file of a later version is refused untouched.
bool prepareSchema(QSqlDatabase& db) {
    if (!structureSound(db))
        return false;
    QSqlQuery tables(db);
    if (!tables.exec(QStringLiteral("select lower(name) from sqlite_master where type = 'table'")))
        return false;
    QStringList names;
    while (tables.next())
        names << tables.value(0).toString();
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("pragma user_version")) || !version.next())
        return false;
    const int fileVersion = version.value(0).toInt();
    version.finish();
    if (fileVersion > kSchemaVersion) {
        state().openError = QCoreApplication::translate(
                                "ModuleDB", "数据库文件%1由更新版本的程序创建(版本%2),"
                                            "本程序只能打开版本%3及以前的文件。"
                                            "为保护其中的数据,该文件未被打开,也未作任何改动。")
                                .arg(ModuleDB::DbPath(), QString::number(fileVersion),
                                     QString::number(kSchemaVersion));
        return false;
    }
    const bool hasServerList = names.contains(QStringLiteral("serverlist"));
    const bool hasSendData = names.contains(QStringLiteral("senddata"));
    const bool current = fileVersion == kSchemaVersion;
    if (hasServerList && hasSendData && current)
        return true;

    if (!db.transaction())
        return false;
    const bool ok =
        (hasServerList ? current || addVersion2Columns(db) : createServerList(db)) &&
        (hasSendData || createSendData(db)) &&
        (current || run(db, QStringLiteral("pragma user_version = %1").arg(kSchemaVersion)));
    if (ok && db.commit())
        return true;
    db.rollback();
    return false;
}

// Readers never wait for a writer in write-ahead-log mode: a copy that
// reloads while another imports sees the catalogue as it was before the
// import. Where the mode cannot be set (another copy is in the middle of a
// change, a folder that cannot be written to), the catalogue works as
// before.
void useWriteAheadLog(QSqlDatabase& db) {
    QSqlQuery query(db);
    query.exec(QStringLiteral("pragma journal_mode=wal"));
}

// At rest the catalogue keeps a rollback journal, so a copy in a folder it
// cannot write to still reads it (the write-ahead log needs files beside
// the catalogue). Only the last copy to close it can switch back; while
// another has it open, it stays as it is, without waiting.
void useRollbackJournalIfAlone(QSqlDatabase& db) {
    QSqlQuery query(db);
    query.exec(QStringLiteral("pragma busy_timeout=0"));
    query.exec(QStringLiteral("pragma journal_mode=delete"));
}

QString valueText(const QVariant& value) {
    if (value.isNull())
        return QStringLiteral("null");
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return QLatin1Char('\'') + value.toString() + QLatin1Char('\'');
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return value.toString();
    }
}

} // namespace

namespace ModuleDB {

QString DefaultDbPath() {
    return AppPaths::current().catalogueFile();
}

void setDbPath(const QString& path) {
    state().path = path;
}

void setBusyTimeOutMs(int ms) {
    state().busyTimeOutMs = ms;
}

QString DbPath() {
    return state().path.isEmpty() ? DefaultDbPath() : state().path;
}

bool DbOpen() {
    DbClose();
    state().openError.clear();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kConnectionName);
        db.setDatabaseName(DbPath());
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(state().busyTimeOutMs));
        state().connected = db.open() && prepareSchema(db);
        if (state().connected)
            useWriteAheadLog(db);
    }
    if (!state().connected)
        DbClose();
    return state().connected;
}

// Closing also releases the connection, so nothing of it outlives the catalogue.
void DbClose() {
    const bool wasConnected = state().connected;
    state().connected = false;
    if (!QSqlDatabase::contains(kConnectionName))
        return;
    {
        QSqlDatabase db = connection();
        if (wasConnected && db.isOpen())
            useRollbackJournalIfAlone(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(kConnectionName);
}

bool DbConnected() {
    return state().connected && connection().isOpen();
}

QString DbOpenError() {
    return state().openError;
}

QString DbStateText() {
    return DbConnected() ? QCoreApplication::translate("ModuleDB", "数据库：连接成功")
                         : QCoreApplication::translate("ModuleDB", "数据库：连接失败");
}

QString DbExecute(const QString& sql, const QVariantList& values) {
    if (!DbConnected())
        return failureReport(sql, values, QCoreApplication::translate("ModuleDB", "数据库未连接"));
    QSqlDatabase db = connection();
    QSqlQuery query(db);
    if (!query.prepare(sql))
        return failureReport(sql, values, errorDescription(query.lastError()));
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        return failureReport(sql, values, errorDescription(query.lastError()));
    return {};
}

QList<QSqlRecord> DbSelect(const QString& sql, const QVariantList& values, bool* ok) {
    QList<QSqlRecord> rows;
    if (ok)
        *ok = false;
    if (!DbConnected())
        return rows;
    QSqlDatabase db = connection();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return rows;
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        return rows;
    while (query.next())
        rows << query.record();
    // A read that fails part way (the file changed under it) is no result either.
    if (query.lastError().isValid())
        return {};
    if (ok)
        *ok = true;
    return rows;
}

QString DbTransaction(const std::function<QString()>& work) {
    const QString begin = QStringLiteral("begin transaction");
    if (!DbConnected())
        return failureReport(begin, {}, QCoreApplication::translate("ModuleDB", "数据库未连接"));
    QSqlDatabase db = connection();
    if (!db.transaction())
        return failureReport(begin, {}, errorDescription(db.lastError()));
    QString report = work();
    if (report.isEmpty() && !db.commit())
        report = failureReport(QStringLiteral("commit"), {}, errorDescription(db.lastError()));
    if (!report.isEmpty())
        db.rollback();
    return report;
}

QString StatementText(const QString& sql, const QVariantList& values) {
    QString text;
    text.reserve(sql.size());
    qsizetype next = 0;
    bool quoted = false;
    for (const QChar c : sql) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (c == QLatin1Char('?') && !quoted && next < values.size())
            text += valueText(values.at(next++));
        else
            text += c;
    }
    return text;
}

} // namespace ModuleDB
