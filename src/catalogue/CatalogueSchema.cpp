#include "catalogue/CatalogueSchema.h"

#include "catalogue/SqlErrorText.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace {

using CatalogueSchema::Dialect;

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

// Server IDs of a change, or nothing (read everything again) for the other
// tables and for changes too many to list: PostgreSQL refuses a payload of
// 8,000 bytes and would undo the change. What a copy writes by itself (a
// silence ending at recovery, a certificate notice) raises no revision and
// is announced to no one: every copy sees the same recovery.
constexpr const char* kChangeFunction =
    "create function servermon_catalogue_changed() returns trigger language plpgsql as $$ "
    "declare ids text := ''; "
    "begin "
    "if tg_table_name = 'serverlist' and tg_op = 'UPDATE' then "
    "select coalesce(string_agg(c.ID::text, ','), '') into ids from changed c "
    "join previous p on p.ID = c.ID where c.Revision <> p.Revision; "
    "elsif tg_table_name = 'serverlist' then "
    "select coalesce(string_agg(ID::text, ','), '') into ids from changed; "
    "end if; "
    "if tg_table_name = 'serverlist' then "
    "if ids = '' then return null; end if; "
    "if length(ids) > 7000 then ids := ''; end if; "
    "end if; "
    "perform pg_notify('servermon_catalogue', ids); "
    "return null; "
    "end $$";

constexpr const char* kAnnouncedTables[] = {"ServerList", "Channels", "Maintenance"};

class Preparation final {
public:
    Preparation(QSqlDatabase& db, Dialect dialect, const QString& name)
        : m_db(db)
        , m_dialect(dialect)
        , m_name(name) {}

    bool run() { return m_dialect == Dialect::Sqlite ? runSqlite() : runPostgres(); }
    QString refusal() const { return m_refusal; }

private:
    // Statements with values are prepared; PostgreSQL prepares no table
    // definitions, so those run as they stand.
    bool exec(const QString& sql, const QVariantList& values = {}) {
        QSqlQuery query(m_db);
        bool done = true;
        if (values.isEmpty()) {
            done = query.exec(sql);
        } else {
            done = query.prepare(sql);
            for (const QVariant& value : values)
                query.addBindValue(value);
            done = done && query.exec();
        }
        if (!done)
            m_statementError = sqlErrorText(query.lastError());
        return done;
    }

    // PostgreSQL keeps milliseconds since 1970 and identities in 64 bits,
    // as SQLite's integer does.
    QString ddl(const QString& statement) const {
        if (m_dialect == Dialect::Sqlite)
            return statement;
        static const QRegularExpression integer(QStringLiteral("\\binteger\\b"));
        return QString(statement)
            .replace(QStringLiteral("integer primary key autoincrement"),
                     QStringLiteral("bigint generated by default as identity primary key"))
            .replace(integer, QStringLiteral("bigint"));
    }

    template <std::size_t N> static QString columnList(const ColumnDefinition (&columns)[N]) {
        QString list;
        for (const ColumnDefinition& column : columns)
            list += QLatin1Char(',') + QLatin1String(column.name) + QLatin1Char(' ') +
                    QLatin1String(column.definition);
        return list;
    }

    bool createServerList() {
        return exec(ddl(QStringLiteral("create table ServerList ("
                                       "ID integer primary key autoincrement,"
                                       "DisplayName text,"
                                       "IPAddress text,"
                                       "Port text,"
                                       "PostData text,"
                                       "ReplyData text,"
                                       "AddTime text,"
                                       "InUse integer not null default 1 check (InUse in (0, 1))") +
                        columnList(kVersion2Columns) + columnList(kVersion3Columns) +
                        QLatin1Char(')')));
    }

    template <std::size_t N> bool insertSeeds(const Seed (&seeds)[N]) {
        for (const Seed& seed : seeds) {
            if (!exec(QStringLiteral("insert into SendData (port, SendData, ReplyData, ServerType, "
                                     "Transport) values (?, ?, ?, ?, ?)"),
                      {seed.port, QString::fromUtf8(seed.sendData),
                       QString::fromUtf8(seed.replyData), QString::fromUtf8(seed.serverType),
                       QString::fromUtf8(seed.transport)}))
                return false;
        }
        return true;
    }

    bool createSendData() {
        return exec(ddl(QStringLiteral("create table SendData (port integer not null, SendData "
                                       "text, ReplyData text, ServerType text") +
                        columnList(kSendDataVersion3Columns) + QLatin1Char(')'))) &&
               insertSeeds(kSeeds) && insertSeeds(kStartTlsSeeds);
    }

    bool createVersion3Tables() {
        for (const char* statement : kVersion3Tables) {
            if (!exec(ddl(QString::fromLatin1(statement))))
                return false;
        }
        return true;
    }

    // Adds the columns the table lacks; existing rows get their defaults.
    template <std::size_t N>
    bool addMissingColumns(const QString& table, const ColumnDefinition (&columns)[N]) {
        QSqlQuery info(m_db);
        if (!info.exec(QStringLiteral("pragma table_info(%1)").arg(table)))
            return false;
        QStringList present;
        while (info.next())
            present << info.value(1).toString().toLower();
        info.finish();
        for (const ColumnDefinition& column : columns) {
            if (present.contains(QString::fromLatin1(column.name).toLower()))
                continue;
            if (!exec(
                    QStringLiteral("alter table %1 add column %2 %3")
                        .arg(table, QLatin1String(column.name), QLatin1String(column.definition))))
                return false;
        }
        return true;
    }

    bool upgradeServerList() {
        const QString table = QStringLiteral("ServerList");
        return addMissingColumns(table, kVersion2Columns) &&
               addMissingColumns(table, kVersion3Columns);
    }

    bool upgradeSendData() {
        return addMissingColumns(QStringLiteral("SendData"), kSendDataVersion3Columns) &&
               insertSeeds(kStartTlsSeeds);
    }

    QStringList tableNames() {
        QSqlQuery tables(m_db);
        const QString sql =
            m_dialect == Dialect::Sqlite
                ? QStringLiteral("select lower(name) from sqlite_master where type = 'table'")
                : QStringLiteral("select lower(table_name) from information_schema.tables "
                                 "where table_schema = current_schema()");
        QStringList names;
        if (tables.exec(sql)) {
            while (tables.next())
                names << tables.value(0).toString();
        }
        return names;
    }

    void refuseNewer(int version) {
        m_refusal =
            QCoreApplication::translate("ModuleDB",
                                        "数据库文件%1由更新版本的程序创建(版本%2),"
                                        "本程序只能打开版本%3及以前的文件。"
                                        "为保护其中的数据,该文件未被打开,也未作任何改动。")
                .arg(m_name, QString::number(version), QString::number(CatalogueSchema::Version));
    }

    // A damaged file would show only part of the catalogue, or fail on the
    // first change; it is refused whole and left as it is, so it can be rescued.
    bool structureSound() {
        QSqlQuery check(m_db);
        return check.exec(QStringLiteral("pragma quick_check")) && check.next() &&
               check.value(0).toString() == QLatin1String("ok") && !check.next();
    }

    // Reads the file's own tables first, so a file that is not an SQLite
    // database fails here before anything is written to it.
    bool runSqlite() {
        if (!structureSound())
            return false;
        const QStringList names = tableNames();
        QSqlQuery version(m_db);
        if (!version.exec(QStringLiteral("pragma user_version")) || !version.next())
            return false;
        const int fileVersion = version.value(0).toInt();
        version.finish();
        if (fileVersion > CatalogueSchema::Version) {
            refuseNewer(fileVersion);
            return false;
        }
        const bool hasServerList = names.contains(QStringLiteral("serverlist"));
        const bool hasSendData = names.contains(QStringLiteral("senddata"));
        const bool current = fileVersion == CatalogueSchema::Version;
        if (hasServerList && hasSendData && current)
            return true;

        if (!m_db.transaction())
            return false;
        const bool ok =
            (hasServerList ? current || upgradeServerList() : createServerList()) &&
            (hasSendData ? current || upgradeSendData() : createSendData()) &&
            (current || createVersion3Tables()) &&
            (current ||
             exec(QStringLiteral("pragma user_version = %1").arg(CatalogueSchema::Version)));
        if (ok && m_db.commit())
            return true;
        const QString why = ok ? sqlErrorText(m_db.lastError()) : m_statementError;
        m_db.rollback();
        if (hasServerList && !current)
            m_refusal = QCoreApplication::translate(
                            "ModuleDB", "数据库文件%1需要从版本%2升级到版本%3,升级失败(%4)。"
                                        "为保护其中的数据,该文件未被打开,也未作任何改动。")
                            .arg(m_name, QString::number(fileVersion),
                                 QString::number(CatalogueSchema::Version), why);
        return false;
    }

    bool createChangeTriggers() {
        if (!exec(QString::fromLatin1(kChangeFunction)))
            return false;
        for (const char* table : kAnnouncedTables) {
            for (const auto& [event, rows] :
                 {std::pair{"insert", "new table as changed"},
                  std::pair{"update", "old table as previous new table as changed"},
                  std::pair{"delete", "old table as changed"}}) {
                if (!exec(
                        QStringLiteral("create trigger %1_%2_announced after %2 on %1 "
                                       "referencing %3 for each statement "
                                       "execute function servermon_catalogue_changed()")
                            .arg(QLatin1String(table), QLatin1String(event), QLatin1String(rows))))
                    return false;
            }
        }
        return true;
    }

    int postgresVersion() {
        QSqlQuery version(m_db);
        if (!version.exec(QStringLiteral("select max(Version) from SchemaVersion")) ||
            !version.next())
            return -1;
        return version.value(0).toInt();
    }

    // Copies that meet an empty database at once create the tables one
    // after the other: the second finds them made.
    bool runPostgres() {
        if (!m_db.transaction())
            return false;
        bool ok = exec(QStringLiteral("select pg_advisory_xact_lock(7301)"));
        const QStringList names = ok ? tableNames() : QStringList();
        const bool made = names.contains(QStringLiteral("schemaversion"));
        if (ok && made) {
            const int version = postgresVersion();
            if (version > CatalogueSchema::Version)
                refuseNewer(version);
            ok =
                version == CatalogueSchema::Version && names.contains(QStringLiteral("serverlist"));
        } else if (ok) {
            ok = !names.contains(QStringLiteral("serverlist")) && createServerList() &&
                 createSendData() && createVersion3Tables() &&
                 exec(QStringLiteral("create table SchemaVersion (Version integer not null)")) &&
                 exec(QStringLiteral("insert into SchemaVersion (Version) values (?)"),
                      {CatalogueSchema::Version}) &&
                 createChangeTriggers();
        }
        if (ok && m_db.commit())
            return true;
        m_db.rollback();
        return false;
    }

    QSqlDatabase& m_db;
    Dialect m_dialect;
    QString m_name;
    QString m_statementError;
    QString m_refusal;
};

} // namespace

namespace CatalogueSchema {

QStringList keptTables() {
    return {QStringLiteral("ServerList"), QStringLiteral("SendData"), QStringLiteral("Channels"),
            QStringLiteral("Maintenance")};
}

bool prepare(QSqlDatabase& db, Dialect dialect, const QString& name, QString* refusal) {
    Preparation preparation(db, dialect, name);
    const bool ready = preparation.run();
    if (refusal)
        *refusal = preparation.refusal();
    return ready;
}

} // namespace CatalogueSchema
