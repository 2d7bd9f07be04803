#include "catalogue/ModuleDB.h"
#include "catalogue/ModuleGetPostData.h"
#include "catalogue/ServerCatalogue.h"
#include "platform/AppPaths.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
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
} // namespace

class TestModuleDB final : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;

    QString dbFile() const { return m_dir->filePath("ServerList.db"); }

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
        QCOMPARE(count("select count(*) from senddata"), 7);
        QCOMPARE(count("pragma user_version"), 2);
    }

    void requestTemplates_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("reply"); // empty: no template
        QTest::addColumn<QString>("type");
        for (const auto& [port, reply, type] : {std::tuple{"80", "HTTP/1.", "HTTP"},
                                                {"21", "220", "FTP"},
                                                {"22", "SSH-", "SSH"},
                                                {"25", "220", "SMTP"},
                                                {"110", "+OK", "POP3"},
                                                {"143", "* OK", "IMAP"},
                                                {"6379", "+PONG", "Redis"},
                                                {"11211", "VERSION", "memcached"},
                                                {"9999", "", ""},
                                                {"", "", ""},
                                                {"80 or 1=1", "", ""},
                                                {"7", "", ""},
                                                {"8", "pong", "Echo"}})
            QTest::addRow("port %s", port) << port << reply << type;
    }
    void requestTemplates() {
        QFETCH(QString, port);
        QFETCH(QString, reply);
        QFETCH(QString, type);
        const QString insert = "insert into SendData values (?,?,?,?)";
        QVERIFY(ModuleDB::DbExecute(insert, {7, "", "x", "y"}).isEmpty());
        QVERIFY(ModuleDB::DbExecute(insert, {8, " ping\r\n ", "  pong ", " Echo"}).isEmpty());
        const auto found = ModuleGetPostData::LoadRequestTemplate(port);
        QCOMPARE(found.has_value(), !reply.isEmpty());
        if (found) {
            QVERIFY(!found->postData.isEmpty() && !found->postData.startsWith(' '));
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

    // A version-1 catalogue with rows (the columns of version 2 dropped
    // again) is brought to version 2 in place: every row kept, without
    // warning or silence. A later version is refused and left untouched.
    void versionOneUpgradedLaterVersionRefused() {
        QVERIFY(AddServer(server("web")).isEmpty());
        QVERIFY(AddServer({0, "mail", "127.0.0.2", "25", {}, "220", {}, false}).isEmpty());
        for (const char* sql :
             {"alter table ServerList drop column WarnMs",
              "alter table ServerList drop column SilencedUntil", "pragma user_version = 1"})
            QCOMPARE(ModuleDB::DbExecute(sql), QString());
        QVERIFY(ModuleDB::DbOpen());
        QCOMPARE(count("pragma user_version"), 2);
        const QList<ServerRecord> all = SelectServers(Selection::All);
        QCOMPARE(all.size(), 2);
        QCOMPARE(all.at(1).displayName + all.at(1).replyData, QStringLiteral("mail220"));
        QVERIFY(!all.at(1).inUse);
        QCOMPARE(all.at(0).warnMs + all.at(0).silencedUntil, 0);
        ServerRecord changed = all.at(0);
        changed.warnMs = 100;
        QVERIFY(ChangeServer(changed).isEmpty());
        QVERIFY(SetServerSilence(1, ServerRecord::SilencedUntilRecovery).isEmpty());
        QCOMPARE(SelectServer(1)->warnMs, 100);
        QCOMPARE(SelectServer(1)->silencedUntil, ServerRecord::SilencedUntilRecovery);

        QVERIFY(ModuleDB::DbExecute("pragma user_version = 3").isEmpty());
        ModuleDB::DbClose();
        QFile file(dbFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        QVERIFY(!ModuleDB::DbOpen());
        QVERIFY(ModuleDB::DbOpenError().contains(QStringLiteral("(版本3)")));
        QCOMPARE(ModuleDB::DbStateText(), QStringLiteral("数据库：连接失败"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
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
                 QStringLiteral("数据库操作失败:update ServerList set InUse=1 where id=1\r\n"
                                "错误描述:数据库未连接"));
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
