#include "catalogue/CatalogueCertNoticeStore.h"
#include "catalogue/ModuleDB.h"
#include "catalogue/ModuleGetPostData.h"
#include "catalogue/ServerCatalogue.h"
#include "platform/AppPaths.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace ServerCatalogue;

namespace {
ServerRecord server(const QString& name, const QString& port = "80", const QString& post = {}) {
    return ServerRecord{0, name, "127.0.0.1", port, post, post, {}, true};
}

int count(const QString& sql) {
    const QList<QSqlRecord> rows = ModuleDB::DbSelect(sql);
    return rows.isEmpty() ? -1 : rows.first().value(0).toInt();
}

// Every value of every row the query gives, as text.
QList<QStringList> values(const QString& sql) {
    QList<QStringList> rows;
    for (const QSqlRecord& record : ModuleDB::DbSelect(sql)) {
        QStringList row;
        for (int field = 0; field < record.count(); ++field)
            row << record.value(field).toString();
        rows << row;
    }
    return rows;
}

QList<QStringList> columnsOf(const QStringList& names) {
    QList<QStringList> rows;
    for (const QString& name : names)
        rows << QStringList{name};
    return rows;
}

// The servers of a catalogue an earlier version made: DisplayName,
// IPAddress, Port, PostData, ReplyData, AddTime, InUse, WarnMs and
// SilencedUntil (the last two from version 2).
const QList<QVariantList> kOldRows = {
    {"Web's \"box\"", "127.0.0.1", "80", "GET / HTTP/1.1\r\nHost: a'b\r\n\r\n", "HTTP/1.",
     "2024/1/2 3:04:05", 1, 250, -1},
    {"邮件服务器 ä 😀", "::1", "25", "HELO 'x'; --\r\n", "220 ok\u3000", "2025/12/31 23:59:59", 0, 0,
     qint64(1767225600000)},
};

// The ServerList columns version 3 added, with the value each row gets.
const QList<std::pair<QString, QString>> kNewColumnDefaults = {{"CheckKind", "tcp"},
                                                               {"Transport", ""},
                                                               {"TlsName", ""},
                                                               {"TlsIgnoreErrors", "0"},
                                                               {"CertWarnDays", "14"},
                                                               {"CertNotified", ""},
                                                               {"Url", ""},
                                                               {"HttpMethod", "GET"},
                                                               {"HttpHeaders", ""},
                                                               {"HttpStatus", "200-299"},
                                                               {"HttpRedirects", "1"},
                                                               {"JsonCondition", ""},
                                                               {"ParentID", "0"},
                                                               {"Locations", ""},
                                                               {"Revision", "0"}};

// The tables version 3 added, with their columns.
const QList<std::pair<QString, QStringList>> kNewTables = {
    {"Channels",
     {"ID", "Kind", "Name", "Enabled", "Settings", "Secret", "SendRecovery", "StormLimit"}},
    {"Outbox",
     {"ID", "ChannelID", "CreatedUtcMs", "Event", "Title", "Message", "Attempts",
      "NextAttemptUtcMs", "SentUtcMs", "State", "DedupKey"}},
    {"Maintenance",
     {"ID", "Servers", "Kind", "StartUtcMs", "EndUtcMs", "Days", "StartTime", "Minutes", "TimeZone",
      "Note"}},
    {"Agents", {"Name", "Location", "HeartbeatUtcMs"}},
    {"AgentState", {"Agent", "ServerID", "State", "Status", "ReplyMs", "TimeUtcMs"}}};

} // namespace

class TestModuleDB final : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;

    QString dbFile() const { return m_dir->filePath("ServerList.db"); }
    QByteArray fileBytes() const {
        QFile file(dbFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Replaces the catalogue with one the version made, holding kOldRows and
    // two request templates; obstacle, when given, is run on it last.
    void writeOldCatalogue(int version, const QString& obstacle = {}) {
        ModuleDB::DbClose();
        QVERIFY(QFile::remove(dbFile()));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "old");
            db.setDatabaseName(dbFile());
            QVERIFY(db.open());
            QSqlQuery query(db);
            const QString versionTwo = version >= 2 ? ",WarnMs integer not null default 0,"
                                                      "SilencedUntil integer not null default 0"
                                                    : "";
            QVERIFY(query.exec("create table ServerList (ID integer primary key autoincrement,"
                               "DisplayName text,IPAddress text,Port text,PostData text,"
                               "ReplyData text,AddTime text,"
                               "InUse integer not null default 1 check (InUse in (0, 1))" +
                               versionTwo + ")"));
            QVERIFY(query.exec("create table SendData (port integer not null, SendData text, "
                               "ReplyData text, ServerType text)"));
            QVERIFY(query.exec("insert into SendData values (80, 'GET / HTTP/1.1', 'HTTP/1.', "
                               "'HTTP'), (143, 'a1 LOGOUT', '* OK', 'IMAP')"));
            for (const QVariantList& row : kOldRows) {
                const qsizetype fields = version >= 2 ? row.size() : row.size() - 2;
                QVERIFY(query.prepare(
                    "insert into ServerList (DisplayName,IPAddress,Port,PostData,ReplyData,"
                    "AddTime,InUse" +
                    QString(version >= 2 ? ",WarnMs,SilencedUntil" : "") + ") values (" +
                    QStringList(fields, "?").join(',') + ")"));
                for (qsizetype field = 0; field < fields; ++field)
                    query.addBindValue(row.at(field));
                QVERIFY2(query.exec(), qPrintable(query.lastError().text()));
            }
            QVERIFY(query.exec(QString("pragma user_version = %1").arg(version)));
            if (!obstacle.isEmpty())
                QVERIFY(query.exec(obstacle));
        }
        QSqlDatabase::removeDatabase("old");
    }

    // The catalogue's schema, version and rows, read without the program.
    QList<QStringList> dump() const {
        QList<QStringList> rows;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "dump");
            db.setDatabaseName(dbFile());
            db.open();
            QSqlQuery query(db);
            for (const char* sql :
                 {"pragma user_version", "select type, name, sql from sqlite_master order by name",
                  "select * from ServerList order by ID",
                  "select * from SendData order by rowid"}) {
                query.exec(sql);
                while (query.next()) {
                    QStringList row;
                    for (int field = 0; field < query.record().count(); ++field)
                        row << query.value(field).toString();
                    rows << row;
                }
            }
        }
        QSqlDatabase::removeDatabase("dump");
        return rows;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        AppPaths::setCurrent(AppPaths::portableIn(m_dir->path()));
        QVERIFY(ModuleDB::DbOpen());
    }
    void cleanup() { ModuleDB::DbClose(); }

    void createsSchemaAndTemplatesOnce() {
        QCOMPARE(ModuleDB::DbPath(), dbFile());
        QCOMPARE(ModuleDB::DbStateText(), QStringLiteral("数据库：连接成功"));
        QVERIFY(ModuleDB::DbExecute("delete from SendData where port=21").isEmpty());
        for (int reopen = 0; reopen < 2; ++reopen)
            QVERIFY(ModuleDB::DbOpen());
        QCOMPARE(count("select count(*) from senddata"), 11);
        QCOMPARE(count("pragma user_version"), 3);
        // It will hold the channels' secrets: its owner's alone.
        const QFile::Permissions permissions = QFile::permissions(dbFile());
        QVERIFY(permissions.testFlags(QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(!(permissions &
                  (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther)));
    }

    void requestTemplates_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("transport"); // as the catalogue names it
        QTest::addColumn<QString>("request");   // empty: no template
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("type");
        for (const auto& [port, transport, request, reply, type] :
             {std::tuple{"80", "", "GET / HTTP/1.1", "HTTP/1.", "HTTP"},
              {"21", "", "QUIT\r\n", "220", "FTP"},
              {"22", "", "SSH-2.0-servermon\r\n", "SSH-", "SSH"},
              {"25", "", "QUIT\r\n", "220", "SMTP"},
              {"110", "", "QUIT\r\n", "+OK", "POP3"},
              {"143", "", "a1 LOGOUT\r\n", "* OK", "IMAP"},
              {"6379", "", "ASC:80:73:78:71:13:10", "+PONG", "Redis"},
              {"11211", "", "version\r\n", "VERSION", "memcached"},
              {"25", "starttls-smtp", "EHLO servermon\r\n", "250", "SMTP STARTTLS"},
              {"587", "starttls-smtp", "EHLO servermon\r\n", "250", "SMTP STARTTLS"},
              {"143", "starttls-imap", "a1 CAPABILITY\r\n", "a1 OK", "IMAP STARTTLS"},
              {"110", "starttls-pop3", "CAPA\r\n", "+OK", "POP3 STARTTLS"},
              {"21", "starttls-ftp", "FEAT\r\n", "211", "FTP AUTH TLS"},
              {"587", "", "", "", ""},
              {"25", "starttls-imap", "", "", ""},
              {"80", "tls", "", "", ""},
              {"9999", "", "", "", ""},
              {"", "", "", "", ""},
              {"80 or 1=1", "", "", "", ""},
              {"7", "", "", "", ""},
              {"8", "", "ping", "pong", "Echo"}})
            QTest::addRow("port %s %s", port, transport)
                << port << transport << request << reply << type;
    }
    void requestTemplates() {
        QFETCH(QString, port);
        QFETCH(QString, transport);
        QFETCH(QString, request);
        QFETCH(QString, reply);
        QFETCH(QString, type);
        const QString insert = "insert into SendData (port, SendData, ReplyData, ServerType) "
                               "values (?,?,?,?)";
        QVERIFY(ModuleDB::DbExecute(insert, {7, "", "x", "y"}).isEmpty());
        QVERIFY(ModuleDB::DbExecute(insert, {8, " ping\r\n ", "  pong ", " Echo"}).isEmpty());
        const auto found =
            ModuleGetPostData::LoadRequestTemplate(port, transportFromText(transport).value());
        QCOMPARE(found.has_value(), !request.isEmpty());
        if (found) {
            QVERIFY(found->postData.startsWith(request));
            QCOMPARE(found->replyData, reply);
            QCOMPARE(found->serverType, type);
        }
    }

    void storesAndSearchesAsTyped_data() {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QList<qint64>>("found");
        QTest::newRow("quote, other case") << "WEB'S" << QList<qint64>{1};
        QTest::newRow("percent") << "%" << QList<qint64>{2};
        QTest::newRow("underscore") << "_" << QList<qint64>{3};
        QTest::newRow("backslash") << "\\" << QList<qint64>{5};
        QTest::newRow("port, request, reply") << "80" << QList<qint64>{1, 6, 7};
        QTest::newRow("empty") << "" << QList<qint64>{1, 2, 3, 4, 5, 6, 7};
        QTest::newRow("non-ascii case") << "ÄB" << QList<qint64>{};
    }
    void storesAndSearchesAsTyped() {
        QFETCH(QString, keyword);
        QFETCH(QList<qint64>, found);
        const QList<ServerRecord> added{
            server("Web's \"box\""),
            server("100% up", "1"),
            server("a_b", "2"),
            server("AXB", "3"),
            server("C:\\srv", "4"),
            server("alt", "8080"),
            server("x'); drop table ServerList; --", "25", "HELO 80\r\näb ")};
        for (const ServerRecord& s : added)
            QVERIFY(AddServer(s).isEmpty());
        QList<qint64> ids;
        for (const ServerRecord& s : SearchServers(keyword)) {
            ids << s.id;
            QCOMPARE(s.displayName, added.at(s.id - 1).displayName);
            QCOMPARE(s.postData, added.at(s.id - 1).postData);
        }
        QCOMPARE(ids, found);
    }

    // A catalogue an earlier version made is brought to version 3 in place,
    // in one step: every row and value kept, every new column with its
    // default, every new table and the STARTTLS request templates there.
    void olderVersionUpgraded_data() {
        QTest::addColumn<int>("version");
        QTest::newRow("version 1") << 1;
        QTest::newRow("version 2") << 2;
    }
    void olderVersionUpgraded() {
        QFETCH(int, version);
        writeOldCatalogue(version);
        QVERIFY(ModuleDB::DbOpen());
        QCOMPARE(count("pragma user_version"), 3);
        QCOMPARE(ModuleDB::DbOpenError(), QString());

        const QStringList oldColumns = {"ID",       "DisplayName",  "IPAddress", "Port",
                                        "PostData", "ReplyData",    "AddTime",   "InUse",
                                        "WarnMs",   "SilencedUntil"};
        const QList<QStringList> kept =
            values("select " + oldColumns.join(',') + " from ServerList order by ID");
        QCOMPARE(kept.size(), kOldRows.size());
        for (qsizetype row = 0; row < kept.size(); ++row) {
            QStringList expected{QString::number(row + 1)};
            for (const QVariant& value : kOldRows.at(row))
                expected << value.toString();
            if (version == 1) {
                expected[8] = "0";
                expected[9] = "0";
            }
            QCOMPARE(kept.at(row), expected);
        }
        QStringList newColumns;
        QStringList defaults;
        for (const auto& [column, value] : kNewColumnDefaults) {
            newColumns << column;
            defaults << value;
        }
        QCOMPARE(values("select " + newColumns.join(',') + " from ServerList order by ID"),
                 QList<QStringList>(kOldRows.size(), defaults));
        for (const auto& [table, columns] : kNewTables)
            QCOMPARE(values("select name from pragma_table_info('" + table + "')"),
                     columnsOf(columns));

        QCOMPARE(count("select count(*) from SendData"), 2 + 5);
        QCOMPARE(ModuleGetPostData::LoadRequestTemplate(80)->replyData, QStringLiteral("HTTP/1."));
        QCOMPARE(ModuleGetPostData::LoadRequestTemplate(143, Transport::StartTlsImap)->replyData,
                 QStringLiteral("a1 OK"));

        // The servers work as before, and the new columns with them.
        const QList<ServerRecord> all = SelectServers(Selection::All);
        QCOMPARE(all.size(), kOldRows.size());
        QCOMPARE(all.at(1).displayName, kOldRows.at(1).at(0).toString());
        QVERIFY(!all.at(1).inUse);
        QCOMPARE(all.at(0).certWarnDays, 14);
        QVERIFY(all.at(0).tls.isPlain() && all.at(0).httpRedirects);
        ServerRecord changed = all.at(0);
        changed.warnMs = 100;
        changed.tls = {Transport::Tls, "svc.test", true};
        QVERIFY(ChangeServer(changed).isEmpty());
        QVERIFY(SetServerSilence(1, ServerRecord::SilencedUntilRecovery).isEmpty());
        QCOMPARE(SelectServer(1)->warnMs, 100);
        QCOMPARE(SelectServer(1)->tls, changed.tls);
        QCOMPARE(SelectServer(1)->silencedUntil, ServerRecord::SilencedUntilRecovery);
        QCOMPARE(SelectServer(1)->revision, 2);

        // Opened again, the upgraded catalogue keeps its schema and rows (the
        // file's change counter moves with the journal mode, as always).
        ModuleDB::DbClose();
        const QList<QStringList> before = dump();
        QVERIFY(ModuleDB::DbOpen());
        ModuleDB::DbClose();
        QCOMPARE(dump(), before);
    }

    // An upgrade that fails part way changes nothing: the file stays a
    // version-2 catalogue, byte for byte, and the operator is told why.
    void failedUpgradeLeavesTheFileAsItWas_data() {
        QTest::addColumn<QString>("obstacle"); // a statement run on the file first
        QTest::addColumn<QString>("reason");   // in the open error
        QTest::newRow("a table Channels of another shape") << "create table Channels (Other text)"
                                                           << "table Channels already exists";
        QTest::newRow("a view named like the fourth new table")
            << "create view Agents as select 1 as Name"
            << "Agents already exists";
        QTest::newRow("a read-only file") << ""
                                          << "readonly";
    }
    void failedUpgradeLeavesTheFileAsItWas() {
        QFETCH(QString, obstacle);
        QFETCH(QString, reason);
        writeOldCatalogue(2, obstacle);
        if (obstacle.isEmpty()) {
            QVERIFY(QFile::setPermissions(dbFile(), QFile::ReadOwner));
            QFile probe(dbFile());
            if (probe.open(QIODevice::ReadWrite))
                QSKIP("running as root: a read-only file is still writable");
        }
        const QByteArray before = fileBytes();
        QVERIFY(!ModuleDB::DbOpen());
        QCOMPARE(ModuleDB::DbStateText(), QStringLiteral("数据库：连接失败"));
        const QString error = ModuleDB::DbOpenError();
        QVERIFY2(error.contains(QStringLiteral("需要从版本2升级到版本3")) && error.contains(reason),
                 qPrintable(error));
        QCOMPARE(fileBytes(), before);
        QVERIFY(!QFile::exists(dbFile() + "-journal"));
    }

    // A catalogue of a later version is refused and left untouched.
    void laterVersionRefused() {
        QVERIFY(AddServer(server("web")).isEmpty());
        QVERIFY(ModuleDB::DbExecute("pragma user_version = 4").isEmpty());
        ModuleDB::DbClose();
        const QByteArray before = fileBytes();
        QVERIFY(!ModuleDB::DbOpen());
        QVERIFY(ModuleDB::DbOpenError().contains(QStringLiteral("(版本4)")));
        QCOMPARE(ModuleDB::DbStateText(), QStringLiteral("数据库：连接失败"));
        QCOMPARE(fileBytes(), before);
    }

    // Every change the operator makes raises a server's revision; the
    // program's own writes do not.
    void revisionCountsTheOperatorsChanges_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("raised");
        QTest::newRow("edit") << "edit" << 1;
        QTest::newRow("in-use box") << "in use" << 1;
        QTest::newRow("silence") << "silence" << 1;
        QTest::newRow("silence off") << "silence off" << 1;
        QTest::newRow("silence ended by recovery") << "recovery" << 0;
        QTest::newRow("certificate notice") << "notice" << 0;
    }
    void revisionCountsTheOperatorsChanges() {
        QFETCH(QString, change);
        QFETCH(int, raised);
        QVERIFY(AddServer(server("a")).isEmpty());
        QVERIFY(AddServer(server("b")).isEmpty());
        QVERIFY(SetServerSilence(1, ServerRecord::SilencedUntilRecovery).isEmpty());
        const ServerRecord before = *SelectServer(1);
        QCOMPARE(before.revision, 2);
        CatalogueCertNoticeStore notices;
        if (change == "edit")
            QVERIFY(ChangeServer(before).isEmpty());
        else if (change == "in use")
            QVERIFY(SetServerInUse(1, false).isEmpty());
        else if (change == "silence")
            QVERIFY(SetServerSilence(1, 1767225600000).isEmpty());
        else if (change == "silence off")
            QVERIFY(SetServerSilence(1, 0).isEmpty());
        else if (change == "recovery")
            QVERIFY(EndSilenceAtRecovery(1).isEmpty());
        else
            notices.recordCertNotified(1, "AB:CD'14");
        const ServerRecord after = *SelectServer(1);
        QCOMPARE(after.revision, before.revision + raised);
        QCOMPARE(after.certNotified, QString(change == "notice" ? "AB:CD'14" : ""));
        if (change == "recovery")
            QCOMPARE(after.silencedUntil, 0);
        QCOMPARE(SelectServer(2)->revision, 1);
    }

    // A silence the operator set anew is not ended by a recovery.
    void recoveryEndsOnlyASilenceUntilRecovery() {
        QVERIFY(AddServer(server("a")).isEmpty());
        QVERIFY(SetServerSilence(1, 1767225600000).isEmpty());
        QVERIFY(EndSilenceAtRecovery(1).isEmpty());
        QCOMPARE(SelectServer(1)->silencedUntil, qint64(1767225600000));
    }

    void changesAndReportsFailures() {
        QVERIFY(AddServer(server("a")).isEmpty());
        ServerRecord changed = *SelectServer(1);
        changed.ipAddress = "it's";
        changed.inUse = false;
        QVERIFY(ChangeServer(changed).isEmpty());
        QCOMPARE(SelectServers(Selection::Disabled).first().ipAddress, QStringLiteral("it's"));
        QCOMPARE(SelectServer(1)->addTime, changed.addTime);
        QVERIFY(SetServerInUse(42, false).isEmpty());
        QCOMPARE(ModuleDB::DbExecute("update NoSuchTable set x=? where id=?", {"it's", 3}),
                 QStringLiteral("数据库操作失败:update NoSuchTable set x='it's' where id=3\r\n"
                                "错误描述:no such table: NoSuchTable"));
        ModuleDB::DbClose();
        QCOMPARE(ModuleDB::DbStateText(), QStringLiteral("数据库：连接失败"));
        QCOMPARE(SetServerInUse(1, true),
                 QStringLiteral("数据库操作失败:update ServerList set InUse=1,Revision=Revision+1 "
                                "where id=1\r\n错误描述:数据库未连接"));
        QVERIFY(!AddServer(server("a")).isEmpty());
        QVERIFY(SelectServers(Selection::All).isEmpty());
        QVERIFY(!ModuleGetPostData::LoadRequestTemplate(80));
    }

    void neverReusesIdsAndStampsAddTime() {
        const QString before = AddTimeText(QDateTime::currentDateTime());
        for (const char* name : {"a", "b"})
            QVERIFY(AddServer(server(name)).isEmpty());
        const QString after = AddTimeText(QDateTime::currentDateTime());
        const QString stamp = SelectServer(1)->addTime;
        QVERIFY2(stamp == before || stamp == after, qPrintable(stamp));
        QVERIFY(DeleteServer(2).isEmpty());
        QVERIFY(ModuleDB::DbOpen());
        QVERIFY(AddServer(server("c")).isEmpty());
        QCOMPARE(SelectServers(Selection::All).last().id, 3);
        const QString utc = AddTimeText(QDateTime(QDate(2024, 3, 9), QTime(17, 5, 3), Qt::UTC));
        QVERIFY2(utc.endsWith(":05:03") && !utc.contains("UTC"), qPrintable(utc));
    }

    void keepsFilesItCannotUse_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("text") << QByteArray("Standard Jet DB\n not a catalogue");
        QTest::newRow("damaged header")
            << QByteArray("SQLite format 3\0", 16) + QByteArray(99, 'x');
    }
    void keepsFilesItCannotUse() {
        QFETCH(QByteArray, content);
        ModuleDB::DbClose();
        QFile file(dbFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        QVERIFY(!ModuleDB::DbOpen());
        QCOMPARE(ModuleDB::DbStateText(), QStringLiteral("数据库：连接失败"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }

    // Another copy's import, one transaction larger than SQLite's page
    // cache, never keeps this copy from reading what was there before it.
    void readsBesideAnotherCopysImport() {
        QVERIFY(
            ModuleDB::DbExecute("insert into ServerList (DisplayName) values ('kept')").isEmpty());
        {
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "import");
            other.setDatabaseName(dbFile());
            QVERIFY(other.open());
            QVERIFY(other.transaction());
            QSqlQuery insert(other);
            QVERIFY(insert.prepare("insert into ServerList (DisplayName, PostData) values (?, ?)"));
            for (int i = 0; i < 20000; ++i) {
                insert.addBindValue(QString::number(i));
                insert.addBindValue(QString(200, QLatin1Char('x')));
                QVERIFY(insert.exec());
            }
            QElapsedTimer timer;
            timer.start();
            QCOMPARE(count("select count(*) from ServerList"), 1);
            QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
            QVERIFY(other.commit());
        }
        QSqlDatabase::removeDatabase("import");
        QCOMPARE(count("select count(*) from ServerList"), 20001);
    }

    // At rest the catalogue keeps a rollback journal, so it reads from a
    // folder that cannot be written to; while open, a write-ahead log.
    void writeAheadLogOnlyWhileOpen() {
        QCOMPARE(ModuleDB::DbSelect("pragma journal_mode").value(0).value(0).toString(),
                 QStringLiteral("wal"));
        ModuleDB::DbClose();
        QVERIFY(!QFile::exists(dbFile() + "-wal"));
        {
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
            other.setDatabaseName(dbFile());
            QVERIFY(other.open());
            QSqlQuery mode("pragma journal_mode", other);
            QVERIFY(mode.next());
            QCOMPARE(mode.value(0).toString(), QStringLiteral("delete"));
        }
        QSqlDatabase::removeDatabase("other");
    }

    void failsQuicklyOnALockedFile() {
        ModuleDB::DbClose();
        {
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
            other.setDatabaseName(dbFile());
            QVERIFY(other.open());
            QSqlQuery lock(other);
            QVERIFY(lock.exec("begin exclusive"));
            QElapsedTimer timer;
            timer.start();
            QVERIFY(!ModuleDB::DbOpen());
            qInfo("open of a locked catalogue failed after %lld ms", timer.elapsed());
            QVERIFY(timer.elapsed() < 5000);
        }
        QSqlDatabase::removeDatabase("other");
        QVERIFY(ModuleDB::DbOpen());
    }
};

QTEST_GUILESS_MAIN(TestModuleDB)
#include "tst_moduledb.moc"
