#include "CatalogueTestSupport.h"
#include "PgTestCluster.h"
#include "ProgramRuns.h"

#include "FakeClock.h"
#include "catalogue/CatalogueEvents.h"
#include "catalogue/MaintenanceCatalogue.h"
#include "catalogue/ModuleDB.h"
#include "catalogue/ServerCatalogue.h"
#include "catalogue/ServerListLoader.h"
#include "monitor/ServerRowModel.h"
#include "notify/ChannelCatalogue.h"
#include "service/CatalogueTransfer.h"
#include "service/MetricsCollector.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace {

const QString kDatabase = QStringLiteral("servermon_catalogue_test");
const QString kOther = QStringLiteral("another-copy");

ServerRecord server(const QString& name, int port = 80) {
    ServerRecord record;
    record.displayName = name;
    record.ipAddress = QStringLiteral("127.0.0.1");
    record.port = QString::number(port);
    record.postData = QStringLiteral("GET / HTTP/1.0\r\n\r\n");
    record.replyData = QStringLiteral("HTTP/1.");
    record.inUse = true;
    return record;
}

QStringList names(const QList<ServerRecord>& servers) {
    QStringList list;
    for (const ServerRecord& record : servers)
        list << record.displayName;
    return list;
}

} // namespace

// The catalogue in a PostgreSQL database of the private test cluster. A
// plain connection of the test stands in for another copy of the program.
class TestPostgresCatalogue : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_uri;
    bool m_serverStopped = false;

    QString snapshotFile() const {
        return m_dir.filePath(QStringLiteral("ServerList-snapshot.db"));
    }

    static QByteArray metrics() {
        const ServerRowModel rows;
        const FakeClock clock;
        return MetricsCollector(rows, clock).text();
    }

    int snapshotServers() const {
        int servers = -1;
        {
            QSqlDatabase snapshot = QSqlDatabase::addDatabase("QSQLITE", "snapshot");
            snapshot.setDatabaseName(snapshotFile());
            QSqlQuery query(snapshot);
            if (snapshot.open() && query.exec("select count(*) from ServerList") && query.next())
                servers = query.value(0).toInt();
        }
        QSqlDatabase::removeDatabase("snapshot");
        return servers;
    }

    // Another copy's connection to the same database.
    QSqlDatabase other() {
        if (QSqlDatabase::contains(kOther))
            return QSqlDatabase::database(kOther);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), kOther);
        db.setHostName(PgTestCluster::host());
        db.setPort(PgTestCluster::port());
        db.setUserName(PgTestCluster::userName());
        db.setDatabaseName(kDatabase);
        db.open();
        return db;
    }

    void closeOther() {
        if (!QSqlDatabase::contains(kOther))
            return;
        QSqlDatabase::database(kOther).close();
        QSqlDatabase::removeDatabase(kOther);
    }

    qint64 otherInsert(const QString& name) {
        QSqlQuery query(other());
        query.prepare(QStringLiteral("insert into ServerList (DisplayName, IPAddress, Port, InUse) "
                                     "values (?, '127.0.0.1', '80', 1) returning ID"));
        query.addBindValue(name);
        if (!query.exec() || !query.next())
            qWarning("%s", qPrintable(query.lastError().text()));
        return query.value(0).toLongLong();
    }

    bool otherExec(const QString& sql) {
        QSqlQuery query(other());
        const bool done = query.exec(sql);
        if (!done)
            qWarning("%s", qPrintable(query.lastError().text()));
        return done;
    }

    void useDatabase(const QString& uri) {
        ModuleDB::DbClose();
        ModuleDB::setDatabaseUri(uri);
        ModuleDB::DbOpen();
    }

private slots:
    void initTestCase() {
        PG_TEST_CLUSTER_OR_SKIP();
        PgTestCluster::exportPassword();
        AppPaths::setCurrent(AppPaths::portableIn(m_dir.path()));
        ModuleDB::setDbPath(AppPaths::current().catalogueFile());
    }

    void init() {
        closeOther();
        QFile::remove(snapshotFile());
        m_uri = PgTestCluster::createDatabase(kDatabase);
        QVERIFY(!m_uri.isEmpty());
        useDatabase(m_uri);
        QVERIFY2(ModuleDB::DbOnline(), qPrintable(ModuleDB::DbOfflineReason()));
    }

    void cleanup() {
        if (m_serverStopped && PgTestCluster::startServer())
            m_serverStopped = false;
        closeOther();
        ModuleDB::DbClose();
        ModuleDB::setDatabaseUri({});
    }

    void cleanupTestCase() {
        AppPaths::setCurrent(AppPaths::portableIn(QCoreApplication::applicationDirPath()));
    }

    // Made once, in one version table, with the common templates; the
    // statements the program runs behave as on the file, search included.
    void schemaAndStatements() {
        QCOMPARE(ModuleDB::DbStateText(), QStringLiteral("数据库：连接成功"));
        QSqlQuery query(other());
        QVERIFY(query.exec("select Version from SchemaVersion"));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), 3);
        QVERIFY(!query.next());
        QVERIFY(query.exec("select count(*) from SendData"));
        QVERIFY(query.next());
        QVERIFY(query.value(0).toInt() >= 10);

        for (const QString& name :
             {QStringLiteral("Web's 100%"), QStringLiteral("mail_1"), QStringLiteral("数据库")})
            QCOMPARE(ServerCatalogue::AddServer(server(name)), QString());
        QCOMPARE(names(ServerCatalogue::SearchServers("WEB'S 100%")), QStringList{"Web's 100%"});
        QCOMPARE(names(ServerCatalogue::SearchServers("l_")), QStringList{"mail_1"});
        QCOMPARE(names(ServerCatalogue::SearchServers("%")), QStringList{"Web's 100%"});
        QCOMPARE(names(ServerCatalogue::SearchServers("数据")), QStringList{"数据库"});

        ServerRecord changed =
            ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).at(1);
        QCOMPARE(changed.revision, 1);
        changed.port = QStringLiteral("8080");
        QCOMPARE(ServerCatalogue::ChangeServer(changed), QString());
        QCOMPARE(ServerCatalogue::SelectServer(changed.id)->revision, 2);
        QCOMPARE(ServerCatalogue::SetServerSilence(changed.id, 1234567890123), QString());
        QCOMPARE(ServerCatalogue::SelectServer(changed.id)->silencedUntil, 1234567890123);
        QCOMPARE(ServerCatalogue::SetCertNotified(changed.id, "abc:14"), QString());
        QCOMPARE(ServerCatalogue::SelectServer(changed.id)->revision, 3);
        QCOMPARE(ServerCatalogue::DeleteServer(changed.id), QString());
        QCOMPARE(ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).size(), 2);

        // A second copy meets the schema made and changes nothing of it.
        useDatabase(m_uri);
        QVERIFY(ModuleDB::DbOnline());
        QCOMPARE(ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).size(), 2);

        // One made by a newer program is refused, nothing written.
        QVERIFY(otherExec("update SchemaVersion set Version = 4"));
        useDatabase(m_uri);
        QVERIFY(!ModuleDB::DbOnline());
        QVERIFY(ModuleDB::DbOpenError().contains(QStringLiteral("版本4")));
        QVERIFY(otherExec("update SchemaVersion set Version = 3"));
    }

    // What another copy changes reaches this one (its own changes are known
    // already); a change too large to list asks for everything.
    void anotherCopysChangesArrive() {
        QCOMPARE(ServerCatalogue::AddServer(server("kept")), QString());
        QCOMPARE(ServerCatalogue::AddServer(server("edited")), QString());
        ServerRowModel rows;
        QVERIFY(ServerListLoader::LoadServerList(rows, ServerCatalogue::Selection::Enabled));
        QSignalSpy changes(ModuleDB::events(), &CatalogueEvents::serversChanged);
        QCOMPARE(ServerCatalogue::AddServer(server("own")), QString());
        QTest::qWait(300);
        QCOMPARE(changes.count(), 0);

        const qint64 added = otherInsert("added");
        QVERIFY(otherExec("update ServerList set DisplayName = 'renamed', Revision = Revision + 1 "
                          "where DisplayName = 'edited'"));
        QTRY_VERIFY_WITH_TIMEOUT(!changes.isEmpty(), 5000);
        QSet<qint64> ids;
        for (const QList<QVariant>& signal : std::as_const(changes))
            for (const qint64 id : signal.at(0).value<QList<qint64>>())
                ids.insert(id);
        QVERIFY(ids.contains(added));
        QCOMPARE(ids.size(), 2);
        QVERIFY(ServerListLoader::ReloadServers(rows, ids.values(),
                                                ServerCatalogue::Selection::Enabled));
        QStringList shown;
        for (int row = 0; row < rows.rowCount(); ++row)
            shown << rows.text(row, ServerRowModel::DisplayName);
        QCOMPARE(shown, (QStringList{"kept", "renamed", "added"}));

        changes.clear();
        QVERIFY(otherExec("insert into ServerList (DisplayName, IPAddress, Port) select 'bulk' "
                          "|| n, '127.0.0.1', '80' from generate_series(1, 2000) n"));
        QTRY_VERIFY_WITH_TIMEOUT(!changes.isEmpty(), 5000);
        QVERIFY(changes.first().at(0).value<QList<qint64>>().isEmpty());
        const qint64 reloads = ModuleDB::events()->reloads();
        QVERIFY(reloads >= 2);
    }

    // An edit of a row another copy changed since the dialog read it is
    // refused, and changes nothing.
    void conflictingEditRefused() {
        QCOMPARE(ServerCatalogue::AddServer(server("shared")), QString());
        ServerRecord mine = ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).first();
        QVERIFY(otherExec(QStringLiteral("update ServerList set Port = '81', Revision = Revision "
                                         "+ 1 where ID = %1")
                              .arg(mine.id)));
        mine.port = QStringLiteral("82");
        QCOMPARE(ServerCatalogue::ChangeServer(mine),
                 QStringLiteral("该服务器已被他人修改,请重新打开后再编辑"));
        QCOMPARE(ServerCatalogue::SelectServer(mine.id)->port, QStringLiteral("81"));
    }

    // An import goes in one transaction: a row the database refuses undoes
    // the rows before it.
    void importIsOneTransaction() {
        QVERIFY(otherExec("create function refuse_boom() returns trigger language plpgsql as $$ "
                          "begin if new.DisplayName = 'boom' then raise exception 'refused'; "
                          "end if; return new; end $$"));
        QVERIFY(otherExec("create trigger refuse_boom before insert on ServerList for each row "
                          "execute function refuse_boom()"));
        const QString csv = m_dir.filePath("servers.csv");
        for (const auto& [rows, added] :
             {std::pair{QByteArray("DisplayName,IPAddress,Port\na,127.0.0.1,80\nboom,127.0.0.1,"
                                   "80\nc,127.0.0.1,80\n"),
                        0},
              std::pair{QByteArray("DisplayName,IPAddress,Port\na,127.0.0.1,80\nb,127.0.0.1,80\n"),
                        2}}) {
            QFile file(csv);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(rows);
            file.close();
            const CatalogueTransfer::ImportReport report = CatalogueTransfer::ImportServers(csv);
            QCOMPARE(report.added, added);
            QCOMPARE(report.error.isEmpty(), added > 0);
            QCOMPARE(ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).size(), added);
        }
    }

    // An import goes in as one statement per batch; servers keep their
    // dependencies on servers of the same file, however many batches apart.
    void importKeepsDependencies() {
        QJsonArray servers;
        for (int id = 1; id <= 1200; ++id)
            servers.append(QJsonObject{{"ID", id},
                                       {"DisplayName", QStringLiteral("s%1").arg(id)},
                                       {"IPAddress", "127.0.0.1"},
                                       {"Port", "80"},
                                       {"ParentID", id == 1      ? 0
                                                    : id == 1200 ? 7
                                                                 : 1}});
        const QString json = m_dir.filePath("servers.json");
        QFile file(json);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(servers).toJson());
        file.close();
        QCOMPARE(ServerCatalogue::AddServer(server("already there")), QString());
        const CatalogueTransfer::ImportReport report = CatalogueTransfer::ImportServers(json);
        QVERIFY2(report.error.isEmpty(), qPrintable(report.error));
        QCOMPARE(report.added, 1200);
        QHash<QString, ServerRecord> byName;
        for (const ServerRecord& record :
             ServerCatalogue::SelectServers(ServerCatalogue::Selection::All))
            byName.insert(record.displayName, record);
        QCOMPARE(byName.size(), 1201);
        QCOMPARE(byName.value("s2").parentId, byName.value("s1").id);
        QCOMPARE(byName.value("s1100").parentId, byName.value("s1").id);
        QCOMPARE(byName.value("s1200").parentId, byName.value("s7").id);
        QCOMPARE(byName.value("s1").parentId, 0);
    }

    // The database going away: the copy reads its snapshot, refuses every
    // change with the reason, and comes back by itself.
    void offlineSnapshotAndBack() {
        QCOMPARE(ServerCatalogue::AddServer(server("before")), QString());
        // The snapshot holds the server added a moment ago.
        QTRY_COMPARE_WITH_TIMEOUT(snapshotServers(), 1, 5000);
        QSignalSpy changes(ModuleDB::events(), &CatalogueEvents::serversChanged);
        QSignalSpy states(ModuleDB::events(), &CatalogueEvents::stateChanged);
        closeOther();
        m_serverStopped = PgTestCluster::stopServer();
        QVERIFY(m_serverStopped);
        QTRY_COMPARE_WITH_TIMEOUT(ModuleDB::DbStateText(), QStringLiteral("数据库：离线(只读)"),
                                  10000);
        QVERIFY(!states.isEmpty());
        QVERIFY(!ModuleDB::DbOfflineReason().isEmpty());
        QVERIFY(ModuleDB::DbConnected());
        QCOMPARE(names(ServerCatalogue::SelectServers(ServerCatalogue::Selection::All)),
                 QStringList{"before"});
        const QString refused = ServerCatalogue::AddServer(server("while away"));
        QVERIFY(refused.contains(QStringLiteral("数据库离线(只读)")));
        QVERIFY(!ModuleDB::DbIsSender());
        QVERIFY(metrics().contains("\nservermon_catalogue_online 0\n"));
        QVERIFY(metrics().contains("\nservermon_catalogue_reloads_total "));

        QVERIFY(PgTestCluster::startServer());
        m_serverStopped = false;
        QTRY_VERIFY_WITH_TIMEOUT(ModuleDB::DbOnline(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!changes.isEmpty(), 5000);
        QVERIFY(changes.last().at(0).value<QList<qint64>>().isEmpty());
        QCOMPARE(ModuleDB::DbStateText(), QStringLiteral("数据库：连接成功"));
        QVERIFY(metrics().contains("\nservermon_catalogue_online 1\n"));
        QCOMPARE(ServerCatalogue::AddServer(server("after")), QString());
        QCOMPARE(ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).size(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(ModuleDB::DbIsSender(), 5000);
    }

    // Whatever keeps the database out of reach is said in the database's
    // words (never with a password), and the snapshot stands in.
    void unusableAddressesUseTheSnapshot_data() {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QString>("reason");
        const QString host = PgTestCluster::host();
        const QString port = QString::number(PgTestCluster::port());
        const QString closed = QString::number(LoopbackServer::closedPort());
        QTest::newRow("nobody listens")
            << QStringLiteral("postgresql://servermon@%1:%2/%3").arg(host, closed, kDatabase)
            << QByteArray() << QStringLiteral("127.0.0.1");
        QTest::newRow("wrong password")
            << QStringLiteral("postgresql://servermon@%1:%2/%3").arg(host, port, kDatabase)
            << QByteArray("not-the-password-7") << QStringLiteral("password");
        QTest::newRow("password in the address")
            << QStringLiteral("postgresql://servermon:s3cret-word@%1:%2/%3")
                   .arg(host, port, kDatabase)
            << QByteArray() << QStringLiteral("PGPASSWORD");
        QTest::newRow("malformed")
            << QStringLiteral("postgresql://%1:99999999/%2").arg(host, kDatabase) << QByteArray()
            << QStringLiteral("端口");
    }

    void unusableAddressesUseTheSnapshot() {
        QFETCH(QString, uri);
        QFETCH(QByteArray, password);
        QFETCH(QString, reason);
        QCOMPARE(ServerCatalogue::AddServer(server("remembered")), QString());
        QTRY_COMPARE_WITH_TIMEOUT(snapshotServers(), 1, 5000);
        if (!password.isEmpty())
            qputenv("PGPASSWORD", password);
        useDatabase(uri);
        PgTestCluster::exportPassword();
        const QString said = ModuleDB::DbOfflineReason();
        QVERIFY2(said.contains(reason, Qt::CaseInsensitive), qPrintable(said));
        QVERIFY(!said.contains("s3cret-word") && !said.contains(PgTestCluster::password()));
        QVERIFY(!said.contains(QString::fromLatin1(password)) || password.isEmpty());
        QCOMPARE(ModuleDB::DbStateText(), QStringLiteral("数据库：离线(只读)"));
        QCOMPARE(names(ServerCatalogue::SelectServers(ServerCatalogue::Selection::All)),
                 QStringList{"remembered"});
        QVERIFY(!ServerCatalogue::AddServer(server("refused")).isEmpty());
    }

    // Of the copies sharing a catalogue one holds the sender lock at a time;
    // when it goes, another takes it.
    void oneSenderAtATime() {
        QTRY_VERIFY_WITH_TIMEOUT(ModuleDB::DbIsSender(), 5000);
        QSqlQuery lock(other());
        const auto takeLock = [&lock] {
            return lock.exec("select pg_try_advisory_lock(7302)") && lock.next() &&
                   lock.value(0).toBool();
        };
        QVERIFY(!takeLock());
        ModuleDB::DbClose();
        QVERIFY(!ModuleDB::DbIsSender());
        // The server lets go once the closed session's process has ended.
        QTRY_VERIFY_WITH_TIMEOUT(takeLock(), 5000);
        useDatabase(m_uri);
        QVERIFY(ModuleDB::DbOnline());
        QTest::qWait(2500);
        QVERIFY(!ModuleDB::DbIsSender());
        closeOther();
        QTRY_VERIFY_WITH_TIMEOUT(ModuleDB::DbIsSender(), 10000);
    }

    // --copy-catalogue: an older catalogue file goes into an empty database
    // whole, IDs and secrets kept; a database that is not empty is refused.
    void copyCatalogueCommand() {
        ModuleDB::DbClose();
        ModuleDB::setDatabaseUri({});
        QTemporaryDir folder;
        AppPaths::setCurrent(AppPaths::portableIn(folder.path()));
        ModuleDB::setDbPath(AppPaths::current().catalogueFile());
        // A file of version 2, upgraded on first open, then given a channel
        // and a maintenance window.
        {
            QSqlDatabase file = QSqlDatabase::addDatabase("QSQLITE", "version2");
            file.setDatabaseName(AppPaths::current().catalogueFile());
            QVERIFY(file.open());
            QSqlQuery query(file);
            for (const char* sql :
                 {"create table ServerList (ID integer primary key autoincrement, DisplayName "
                  "text, IPAddress text, Port text, PostData text, ReplyData text, AddTime text, "
                  "InUse integer not null default 1 check (InUse in (0, 1)), WarnMs integer not "
                  "null default 0, SilencedUntil integer not null default 0)",
                  "create table SendData (port integer not null, SendData text, ReplyData text, "
                  "ServerType text)",
                  "insert into SendData values (80, 'GET /', 'HTTP/1.', 'HTTP')",
                  "insert into ServerList (ID, DisplayName, IPAddress, Port, AddTime, WarnMs) "
                  "values (1, 'first', '127.0.0.1', '80', '2026/1/1 8:00:00', 0), (3, 'third', "
                  "'127.0.0.1', '22', '2026/1/2 9:00:00', 250)",
                  "pragma user_version = 2"})
                QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
            file.close();
        }
        QSqlDatabase::removeDatabase("version2");
        QVERIFY(ModuleDB::DbOpen());
        Channel channel;
        channel.kind = ChannelKind::Webhook;
        channel.name = QStringLiteral("hook");
        channel.secret = QStringLiteral("token-123");
        channel.settings = QJsonObject{{"url", "http://127.0.0.1:9/"}};
        QCOMPARE(ChannelCatalogue::AddChannel(channel), QString());
        MaintenanceWindow window;
        window.note = QStringLiteral("夜间");
        QCOMPARE(MaintenanceCatalogue::AddWindow(window), QString());
        ModuleDB::DbClose();

        const auto copy = [&folder](const QString& target) {
            QProcess program;
            program.setProcessEnvironment(ProgramRuns::withoutDesktop());
            program.start(ProgramRuns::headlessProgram(),
                          {"--config-dir", folder.path(), "--copy-catalogue", target});
            program.waitForFinished(ProgramRuns::WaitMs);
            return std::pair{program.exitCode(), QString::fromUtf8(program.readAllStandardError())};
        };
        const auto [copied, copiedSaid] = copy(m_uri);
        QVERIFY2(copied == 0, qPrintable(copiedSaid));
        const auto [again, againSaid] = copy(m_uri);
        QCOMPARE(again, 1);
        QVERIFY(againSaid.contains(QStringLiteral("不是空的")));
        const auto [withPassword, passwordSaid] =
            copy(QString(m_uri).replace("servermon@", "servermon:hunter2@"));
        QCOMPARE(withPassword, 1);
        QVERIFY(!passwordSaid.isEmpty() && !passwordSaid.contains("hunter2"));

        AppPaths::setCurrent(AppPaths::portableIn(m_dir.path()));
        ModuleDB::setDbPath(AppPaths::current().catalogueFile());
        useDatabase(m_uri);
        QVERIFY(ModuleDB::DbOnline());
        const QList<ServerRecord> servers =
            ServerCatalogue::SelectServers(ServerCatalogue::Selection::All);
        QCOMPARE(names(servers), (QStringList{"first", "third"}));
        QCOMPARE(servers.at(1).id, 3);
        QCOMPARE(servers.at(1).warnMs, 250);
        QCOMPARE(servers.at(1).certWarnDays, 14);
        QCOMPARE(servers.at(1).addTime, QStringLiteral("2026/1/2 9:00:00"));
        QCOMPARE(ChannelCatalogue::SelectChannels().value(0).secret, QStringLiteral("token-123"));
        QCOMPARE(MaintenanceCatalogue::SelectWindows().value(0).note, QStringLiteral("夜间"));
        QCOMPARE(ServerCatalogue::AddServer(server("fourth")), QString());
        QCOMPARE(ServerCatalogue::SelectServers(ServerCatalogue::Selection::All).last().id, 4);
    }
};

QTEST_GUILESS_MAIN(TestPostgresCatalogue)
#include "tst_postgrescatalogue.moc"
