#include "catalogue/ModuleDB.h"
#include "catalogue/ServerCatalogue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <memory>

#include <sys/stat.h>

using namespace ServerCatalogue;

// The test binary doubles as the other process: with one of these arguments
// it adds servers until it is killed, or holds a lock until its input closes.
namespace {
const char* const kAddServers = "--add-servers";
const char* const kHoldLock = "--hold-lock";

ServerRecord numberedServer(int number) {
    const QString n = QString::number(number);
    return ServerRecord{0,  "server " + n,  "127.0.0." + QString::number(number % 250 + 1),
                        n,  "ASC:65:" + n,  "reply " + n,
                        {}, number % 2 == 0};
}

int addServersUntilKilled(const QString& path) {
    ModuleDB::setDbPath(path);
    if (!ModuleDB::DbOpen())
        return 2;
    for (int number = 1; number <= 100000; ++number) {
        if (!AddServer(numberedServer(number)).isEmpty())
            return 3;
        std::printf("%d\n", number);
        std::fflush(stdout);
    }
    return 0;
}

int holdLock(const QString& path, const QString& statement) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(path);
    QSqlQuery lock(db);
    if (!db.open() || !lock.exec(statement))
        return 2;
    std::printf("locked\n");
    std::fflush(stdout);
    char buffer[64];
    while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
    }
    return 0;
}

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString integrity() {
    const QList<QSqlRecord> rows = ModuleDB::DbSelect("pragma integrity_check");
    return rows.isEmpty() ? QString() : rows.first().value(0).toString();
}

// True when the process can write where the permission bits say it cannot (root).
bool permissionsIgnored(const QString& folder) {
    QFile probe(folder + "/probe");
    const bool written = probe.open(QIODevice::WriteOnly);
    if (written)
        probe.remove();
    return written;
}
} // namespace

class TestHostileCatalogue final : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;

    QString dbFile() const { return m_dir->filePath("ServerList.db"); }

    void createCatalogue(int servers) {
        QVERIFY(ModuleDB::DbOpen());
        QVERIFY(ModuleDB::DbExecute("begin").isEmpty());
        for (int number = 1; number <= servers; ++number)
            QVERIFY(AddServer(numberedServer(number)).isEmpty());
        QVERIFY(ModuleDB::DbExecute("commit").isEmpty());
        ModuleDB::DbClose();
    }

    void startHelper(QProcess& helper, const char* mode, const QStringList& more = {}) {
        helper.setProgram(QCoreApplication::applicationFilePath());
        helper.setArguments(QStringList{mode, dbFile()} + more);
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start();
        QVERIFY(helper.waitForStarted(10000));
    }

    static void verifyFailedOpen() {
        QVERIFY(!ModuleDB::DbOpen());
        QCOMPARE(ModuleDB::DbStateText(), QStringLiteral("数据库：连接失败"));
        QVERIFY(SelectServers(Selection::All).isEmpty());
        QVERIFY(AddServer(numberedServer(1)).endsWith(QStringLiteral("错误描述:数据库未连接")));
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        ModuleDB::setDbPath(dbFile());
    }
    void cleanup() {
        ModuleDB::DbClose();
        QFile::setPermissions(m_dir->path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // A damaged catalogue fails to open and stays as it was, so it can be
    // rescued; nothing of it is shown as if it were the whole list.
    void corruptCatalogue_data() {
        QTest::addColumn<qsizetype>("offset");  // where the damage starts, from the end if negative
        QTest::addColumn<QByteArray>("damage"); // empty: cut the file there
        QTest::newRow("last ten pages cut off") << qsizetype(-40960) << QByteArray();
        QTest::newRow("cut after the first page") << qsizetype(4096) << QByteArray();
        QTest::newRow("pages overwritten") << qsizetype(8192) << QByteArray(12288, '\xA5');
        QTest::newRow("header overwritten") << qsizetype(0) << QByteArray(100, '\0');
        QTest::newRow("schema page garbage") << qsizetype(100) << QByteArray(3996, '\x7F');
    }
    void corruptCatalogue() {
        QFETCH(qsizetype, offset);
        QFETCH(QByteArray, damage);
        createCatalogue(1500);
        QByteArray content = fileBytes(dbFile());
        QVERIFY(content.size() > 81920);
        const qsizetype at = offset < 0 ? content.size() + offset : offset;
        if (damage.isEmpty())
            content.truncate(at);
        else
            content.replace(at, damage.size(), damage);
        QFile file(dbFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();

        verifyFailedOpen();
        QCOMPARE(fileBytes(dbFile()), content);
        QVERIFY(!QFile::exists(dbFile() + "-journal"));
    }

    // Another process holding an exclusive lock keeps the catalogue from
    // opening; one holding a write lock lets it be read but every change
    // fails with a report, and works again once the lock is gone.
    void lockedByAnotherProcess_data() {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<bool>("readable");
        QTest::newRow("exclusive lock") << "begin exclusive" << false;
        QTest::newRow("write lock") << "begin immediate" << true;
    }
    void lockedByAnotherProcess() {
        QFETCH(QString, statement);
        QFETCH(bool, readable);
        createCatalogue(3);
        const QByteArray before = fileBytes(dbFile());
        QProcess helper;
        startHelper(helper, kHoldLock, {statement});
        QVERIFY(helper.waitForReadyRead(20000));
        QCOMPARE(helper.readLine(), QByteArray("locked\n"));

        if (readable) {
            QVERIFY(ModuleDB::DbOpen());
            QCOMPARE(SelectServers(Selection::All).size(), 3);
            const QString report = AddServer(numberedServer(4));
            QVERIFY2(report.startsWith(QStringLiteral("数据库操作失败:insert into ServerList")) &&
                         report.endsWith(QStringLiteral("错误描述:database is locked")),
                     qPrintable(report));
            QVERIFY(!DeleteServer(1).isEmpty());
        } else {
            verifyFailedOpen();
        }
        helper.closeWriteChannel();
        QVERIFY(helper.waitForFinished(20000));
        QCOMPARE(helper.exitCode(), 0);
        QCOMPARE(fileBytes(dbFile()), before);

        QVERIFY(ModuleDB::DbOpen());
        QVERIFY(AddServer(numberedServer(4)).isEmpty());
        QCOMPARE(SelectServers(Selection::All).size(), 4);
        QCOMPARE(integrity(), QStringLiteral("ok"));
    }

    void readOnlyFile() {
        createCatalogue(2);
        QVERIFY(QFile::setPermissions(dbFile(), QFile::ReadOwner | QFile::ReadGroup));
        {
            QFile probe(dbFile());
            if (probe.open(QIODevice::ReadWrite))
                QSKIP("running as root: a read-only file is still writable");
        }
        const QByteArray before = fileBytes(dbFile());
        QVERIFY(ModuleDB::DbOpen());
        QCOMPARE(SelectServers(Selection::All).size(), 2);
        QVERIFY(AddServer(numberedServer(3)).contains(QStringLiteral("readonly")));
        QCOMPARE(fileBytes(dbFile()), before);
    }

    // A catalogue that cannot be created fails to open and leaves no file;
    // an existing one in a folder without write permission still reads.
    void folderWithoutWritePermission_data() {
        QTest::addColumn<int>("servers"); // -1: no catalogue yet
        QTest::newRow("no catalogue yet") << -1;
        QTest::newRow("existing catalogue") << 2;
    }
    void folderWithoutWritePermission() {
        QFETCH(int, servers);
        if (servers >= 0)
            createCatalogue(servers);
        QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner));
        if (permissionsIgnored(m_dir->path()))
            QSKIP("running as root: a folder without write permission is still writable");
        if (servers < 0) {
            verifyFailedOpen();
            QVERIFY(!QFile::exists(dbFile()));
            return;
        }
        QVERIFY(ModuleDB::DbOpen());
        QCOMPARE(SelectServers(Selection::All).size(), servers);
        QVERIFY(!AddServer(numberedServer(3)).isEmpty());
    }

    // Places where no catalogue can be: the open fails at once, creates
    // nothing and leaves what is there.
    void unusablePlace_data() {
        QTest::addColumn<QString>("place");
        QTest::newRow("missing folder") << "missing";
        QTest::newRow("folder in the file's place") << "folder";
        QTest::newRow("named pipe in the file's place") << "pipe";
    }
    void unusablePlace() {
        QFETCH(QString, place);
        if (place == "missing")
            ModuleDB::setDbPath(m_dir->filePath("gone/deeper/ServerList.db"));
        else if (place == "folder")
            QVERIFY(QDir(m_dir->path()).mkdir("ServerList.db"));
        else
            QCOMPARE(::mkfifo(QFile::encodeName(dbFile()).constData(), 0600), 0);
        verifyFailedOpen();
        QVERIFY(!QFile::exists(m_dir->filePath("gone")));
        QCOMPARE(
            QDir(m_dir->path())
                .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
            place == "missing" ? QStringList() : QStringList{"ServerList.db"});
    }

    // A process killed at any moment of its adds loses none of the servers it
    // had added, and leaves a sound catalogue with only whole rows.
    void killDuringAdds_data() {
        QTest::addColumn<int>("confirmed"); // adds reported before the kill
        QTest::newRow("while creating") << 0;
        QTest::newRow("after one add") << 1;
        QTest::newRow("after 40 adds") << 40;
        QTest::newRow("after 200 adds") << 200;
    }
    void killDuringAdds() {
        QFETCH(int, confirmed);
        QProcess helper;
        startHelper(helper, kAddServers);
        int last = 0;
        const QDeadlineTimer deadline(60000);
        while (last < confirmed && !deadline.hasExpired() && helper.waitForReadyRead(5000)) {
            while (helper.canReadLine())
                last = helper.readLine().trimmed().toInt();
        }
        QCOMPARE_GE(last, confirmed);
        helper.kill();
        QVERIFY(helper.waitForFinished(20000));
        QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
        for (const QByteArray& line : helper.readAllStandardOutput().split('\n'))
            last = qMax(last, line.toInt());

        QVERIFY(ModuleDB::DbOpen());
        QCOMPARE(integrity(), QStringLiteral("ok"));
        QCOMPARE(ModuleDB::DbSelect("select count(*) from SendData").first().value(0).toInt(), 13);
        const QList<ServerRecord> servers = SelectServers(Selection::All);
        qInfo("%d adds reported before the kill, %lld servers kept", last, servers.size());
        QVERIFY(servers.size() == last || servers.size() == last + 1);
        for (qsizetype index = 0; index < servers.size(); ++index) {
            const ServerRecord expected = numberedServer(int(index + 1));
            const ServerRecord& kept = servers.at(index);
            QCOMPARE(kept.id, index + 1);
            QCOMPARE(kept.displayName, expected.displayName);
            QCOMPARE(kept.ipAddress, expected.ipAddress);
            QCOMPARE(kept.postData, expected.postData);
            QCOMPARE(kept.replyData, expected.replyData);
            QCOMPARE(kept.inUse, expected.inUse);
            QVERIFY(!kept.addTime.isEmpty());
        }
        QVERIFY(AddServer(numberedServer(int(servers.size() + 1))).isEmpty());
    }
};

int main(int argc, char** argv) {
    if (argc >= 3 && (qstrcmp(argv[1], kAddServers) == 0 || qstrcmp(argv[1], kHoldLock) == 0)) {
        QCoreApplication app(argc, argv);
        const QString path = QString::fromLocal8Bit(argv[2]);
        if (qstrcmp(argv[1], kAddServers) == 0)
            return addServersUntilKilled(path);
        return argc == 4 ? holdLock(path, QString::fromLocal8Bit(argv[3])) : 2;
    }
    QCoreApplication app(argc, argv);
    TestHostileCatalogue test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hostilecatalogue.moc"
