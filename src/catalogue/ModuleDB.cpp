#include "catalogue/ModuleDB.h"

#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kConnectionName = QStringLiteral("ModuleDB");
// 1: the two tables; 2: ServerList gains WarnMs and SilencedUntil; 3:
// ServerList gains the TLS, HTTP, dependency and revision columns, SendData
// the transport of a template, and the tables of channels, their outbox,
// maintenance windows and agents appear.
constexpr int kSchemaVersion = 3;

struct DbState {
    QString path;
    int busyTimeOutMs = ModuleDB::WindowBusyTimeOutMs;
    bool connected = false;
    QString openError;
    QString statementError; // why the last schema statement failed
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
    bool done = query.prepare(sql);
    if (done) {
        for (const QVariant& value : values)
            query.addBindValue(value);
        done = query.exec();
    }
    if (!done)
        state().statementError = errorDescription(query.lastError());
    return done;
}

struct Seed {
    int port;
    const char* serverType;
    const char* sendData;
    const char* replyData;
    const char* transport = "";
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

// After STARTTLS the greeting has been read, so these ask for an answer
// over the encrypted connection. Added by version 3.
constexpr Seed kStartTlsSeeds[] = {
    {25, "SMTP STARTTLS", "EHLO servermon\r\n", "250", "starttls-smtp"},
    {587, "SMTP STARTTLS", "EHLO servermon\r\n", "250", "starttls-smtp"},
    {143, "IMAP STARTTLS", "a1 CAPABILITY\r\n", "a1 OK", "starttls-imap"},
    {110, "POP3 STARTTLS", "CAPA\r\n", "+OK", "starttls-pop3"},
    {21, "FTP AUTH TLS", "FEAT\r\n", "211", "starttls-ftp"},
};

struct ColumnDefinition {
    const char* name;
    const char* definition;
};

// What versions 2 and 3 added to ServerList. A file of an earlier version
// gets them with their defaults, so its servers behave as before.
constexpr ColumnDefinition kVersion2Columns[] = {
    {"WarnMs", "integer not null default 0"},
    {"SilencedUntil", "integer not null default 0"},
};
constexpr ColumnDefinition kVersion3Columns[] = {
    {"CheckKind", "text not null default 'tcp'"},
    {"Transport", "text not null default ''"},
    {"TlsName", "text not null default ''"},
    {"TlsIgnoreErrors", "integer not null default 0"},
    {"CertWarnDays", "integer not null default 14"},
    {"CertNotified", "text not null default ''"},
    {"Url", "text not null default ''"},
    {"HttpMethod", "text not null default 'GET'"},
    {"HttpHeaders", "text not null default ''"},
    {"HttpStatus", "text not null default '200-299'"},
    {"HttpRedirects", "integer not null default 1"},
    {"JsonCondition", "text not null default ''"},
    {"ParentID", "integer not null default 0"},
    {"Locations", "text not null default ''"},
    {"Revision", "integer not null default 0"},
};
constexpr ColumnDefinition kSendDataVersion3Columns[] = {
    {"Transport", "text not null default ''"},
};

// The tables version 3 added. A table of the same name already in the file
// is no part of a catalogue: the upgrade fails and leaves the file as it was.
constexpr const char* kVersion3Tables[] = {
    "create table Channels ("
    "ID integer primary key autoincrement,"
    "Kind text not null,"
    "Name text not null default '',"
    "Enabled integer not null default 1,"
    "Settings text not null default '{}',"
    "Secret text not null default '',"
    "SendRecovery integer not null default 1,"
    "StormLimit integer not null default 10)",
    "create table Outbox ("
    "ID integer primary key autoincrement,"
    "ChannelID integer not null,"
    "CreatedUtcMs integer not null,"
    "Event text not null default '{}',"
    "Title text not null default '',"
    "Message text not null default '',"
    "Attempts integer not null default 0,"
    "NextAttemptUtcMs integer not null default 0,"
    "SentUtcMs integer not null default 0,"
    "State text not null default 'pending',"
    "DedupKey text not null unique)",
    "create table Maintenance ("
    "ID integer primary key autoincrement,"
    "Servers text not null default '',"
    "Kind text not null default 'once',"
    "StartUtcMs integer not null default 0,"
    "EndUtcMs integer not null default 0,"
    "Days integer not null default 0,"
    "StartTime text not null default '00:00',"
    "Minutes integer not null default 0,"
    "TimeZone text not null default '',"
    "Note text not null default '')",
    "create table Agents ("
    "Name text primary key not null,"
    "Location text not null default '',"
    "HeartbeatUtcMs integer not null default 0)",
    "create table AgentState ("
    "Agent text not null,"
    "ServerID integer not null,"
    "State text not null default '',"
    "Status text not null default '',"
    "ReplyMs integer not null default 0,"
    "TimeUtcMs integer not null default 0,"
    "primary key (Agent, ServerID))",
};

template <std::size_t N> QString columnList(const ColumnDefinition (&columns)[N]) {
    QString list;
    for (const ColumnDefinition& column : columns)
        list += QLatin1Char(',') + QLatin1String(column.name) + QLatin1Char(' ') +
                QLatin1String(column.definition);
    return list;
}

bool createServerList(QSqlDatabase& db) {
    return run(db, QStringLiteral("create table ServerList ("
                                  "ID integer primary key autoincrement,"
                                  "DisplayName text,"
                                  "IPAddress text,"
                                  "Port text,"
                                  "PostData text,"
                                  "ReplyData text,"
                                  "AddTime text,"
                                  "InUse integer not null default 1 check (InUse in (0, 1))") +
                       columnList(kVersion2Columns) + columnList(kVersion3Columns) +
                       QLatin1Char(')'));
}

// Adds the columns the table lacks; existing rows get their defaults.
template <std::size_t N>
bool addMissingColumns(QSqlDatabase& db, const QString& table,
                       const ColumnDefinition (&columns)[N]) {
    QSqlQuery info(db);
    if (!info.exec(QStringLiteral("pragma table_info(%1)").arg(table)))
        return false;
    QStringList present;
    while (info.next())
        present << info.value(1).toString().toLower();
    info.finish();
    for (const ColumnDefinition& column : columns) {
        if (present.contains(QString::fromLatin1(column.name).toLower()))
            continue;
        if (!run(db, QStringLiteral("alter table %1 add column %2 %3")
                         .arg(table, QLatin1String(column.name), QLatin1String(column.definition))))
            return false;
    }
    return true;
}

bool upgradeServerList(QSqlDatabase& db) {
    const QString table = QStringLiteral("ServerList");
    return addMissingColumns(db, table, kVersion2Columns) &&
           addMissingColumns(db, table, kVersion3Columns);
}

template <std::size_t N> bool insertSeeds(QSqlDatabase& db, const Seed (&seeds)[N]) {
    for (const Seed& seed : seeds) {
        if (!run(db,
                 QStringLiteral("insert into SendData (port, SendData, ReplyData, ServerType, "
                                "Transport) values (?, ?, ?, ?, ?)"),
                 {seed.port, QString::fromUtf8(seed.sendData), QString::fromUtf8(seed.replyData),
                  QString::fromUtf8(seed.serverType), QString::fromUtf8(seed.transport)}))
            return false;
    }
    return true;
}

bool createSendData(QSqlDatabase& db) {
    return run(db, QStringLiteral("create table SendData (port integer not null, SendData text, "
                                  "ReplyData text, ServerType text") +
                       columnList(kSendDataVersion3Columns) + QLatin1Char(')')) &&
           insertSeeds(db, kSeeds) && insertSeeds(db, kStartTlsSeeds);
}

bool upgradeSendData(QSqlDatabase& db) {
    return addMissingColumns(db, QStringLiteral("SendData"), kSendDataVersion3Columns) &&
           insertSeeds(db, kStartTlsSeeds);
}

bool createVersion3Tables(QSqlDatabase& db) {
    for (const char* statement : kVersion3Tables) {
        if (!run(db, QString::fromLatin1(statement)))
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
        (hasServerList ? current || upgradeServerList(db) : createServerList(db)) &&
        (hasSendData ? current || upgradeSendData(db) : createSendData(db)) &&
        (current || createVersion3Tables(db)) &&
        (current || run(db, QStringLiteral("pragma user_version = %1").arg(kSchemaVersion)));
    if (ok && db.commit())
        return true;
    const QString why = ok ? errorDescription(db.lastError()) : state().statementError;
    db.rollback();
    if (hasServerList && !current)
        state().openError = QCoreApplication::translate(
                                "ModuleDB", "数据库文件%1需要从版本%2升级到版本%3,升级失败(%4)。"
                                            "为保护其中的数据,该文件未被打开,也未作任何改动。")
                                .arg(ModuleDB::DbPath(), QString::number(fileVersion),
                                     QString::number(kSchemaVersion), why);
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

// A catalogue may come to hold the notification channels' secrets: a new
// one is made readable by its owner only (SQLite gives its side files the
// same permissions). An empty file becomes a catalogue like a missing one.
void createOwnerOnly(const QString& path) {
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor >= 0)
        ::close(descriptor);
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
    createOwnerOnly(DbPath());
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
