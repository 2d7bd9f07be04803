#include "ChannelSink.h"
#include "PgTestCluster.h"
#include "ProgramRuns.h"

#include "notify/Channel.h"
#include "notify/ChannelCatalogue.h"

#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <csignal>

using namespace ProgramRuns;

namespace {

const QString kDatabase = QStringLiteral("servermon_sharedsender_test");
const QString kConnection = QStringLiteral("test-connection");
const QString kHookPath = QStringLiteral("/ok/hook");
const QString kAlertTitle = QStringLiteral("注意:服务器测试返回异常");
const QString kFirst = QStringLiteral("订单库 db-01");
const QString kSecond = QStringLiteral("支付网关 gw-02");

// A pass a second with a short time-out; the first socket fault alerts, a
// lost echo never does.
const QByteArray kFastAlerts =
    "[SETTING]\nITIMERN=1\nIREPLYLIM=1\nIPINGLIM=0\n[SETUP]\nITIMEOUT=500\n";

// The test's own connection to the shared database: it stands in for an
// operator's change and looks at the locks, never taking the sender's.
QSqlDatabase database() {
    return PgTestCluster::connection(kConnection, kDatabase);
}

void closeDatabase() {
    if (!QSqlDatabase::contains(kConnection))
        return;
    QSqlDatabase::database(kConnection).close();
    QSqlDatabase::removeDatabase(kConnection);
}

// The rows of a query's first column, as text.
QStringList column(const QString& sql) {
    QSqlQuery query(database());
    QStringList values;
    if (!query.exec(sql))
        qWarning("%s", qPrintable(query.lastError().text()));
    while (query.next())
        values << query.value(0).toString();
    return values;
}

bool execute(const QString& sql) {
    QSqlQuery query(database());
    const bool done = query.exec(sql);
    if (!done)
        qWarning("%s", qPrintable(query.lastError().text()));
    return done;
}

// The server process of the session that holds the sender lock; empty
// while nobody holds it.
QString senderSession() {
    return column(QStringLiteral("select pid from pg_locks where locktype = 'advisory' and "
                                 "classid = 0 and objid = 7302 and granted"))
        .value(0);
}

QString serverId(const QString& name) {
    return column(QStringLiteral("select ID from ServerList where DisplayName = '%1'").arg(name))
        .value(0);
}

// The alerts about the server that reached the sink.
int delivered(ChannelSink& sink, const QString& name) {
    int count = 0;
    for (const QJsonValue request : sink.requests()) {
        if (request[QStringLiteral("path")].toString() != kHookPath)
            continue;
        const QJsonObject fields =
            QJsonDocument::fromJson(request[QStringLiteral("body")].toString().toUtf8()).object();
        if (fields[QStringLiteral("server")].toString() == name &&
            fields[QStringLiteral("title")].toString() == kAlertTitle)
            ++count;
    }
    return count;
}

// A catalogue file with the webhook and two servers that refuse
// connections, neither monitored yet, copied into the empty database as an
// operator would move a catalogue there.
void fillDatabase(const QString& uri, const ChannelSink& sink) {
    DataFolder source;
    source.inCatalogue([&] {
        Channel webhook;
        webhook.kind = ChannelKind::Webhook;
        webhook.name = QStringLiteral("值班 webhook");
        webhook.settings = {{QStringLiteral("url"), sink.url(kHookPath)}};
        QCOMPARE(ChannelCatalogue::AddChannel(webhook), QString());
        for (const QString& name : {kFirst, kSecond}) {
            ServerRecord server;
            server.displayName = name;
            server.ipAddress = QStringLiteral("127.0.0.1");
            server.port = QString::number(closedPort());
            server.postData = QStringLiteral("HELLO");
            server.replyData = QStringLiteral("220");
            server.inUse = false;
            QCOMPARE(ServerCatalogue::AddServer(server), QString());
        }
    });
    QProcess copy;
    copy.setProcessEnvironment(withoutDesktop());
    copy.start(headlessProgram(), {QStringLiteral("--config-dir"), source.path(),
                                   QStringLiteral("--copy-catalogue"), uri});
    QVERIFY(copy.waitForFinished(WaitMs));
    QVERIFY2(copy.exitCode() == 0, copy.readAllStandardError().constData());
}

// servermon-headless on a folder of its own, its catalogue the shared one.
class SharedCopy final {
    Q_DISABLE_COPY_MOVE(SharedCopy)
public:
    explicit SharedCopy(const QString& uri) {
        m_folder.writeSettings(kFastAlerts);
        m_process.setProcessEnvironment(withoutDesktop());
        m_process.start(headlessProgram(), {QStringLiteral("--config-dir"), m_folder.path(),
                                            QStringLiteral("--database"), uri});
    }
    ~SharedCopy() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(WaitMs);
        }
    }

    QProcess& process() { return m_process; }
    QByteArray log() {
        m_log += m_process.readAllStandardOutput();
        return m_log;
    }
    bool started() { return log().contains("\tstart\t"); }
    // The alert lines the copy logged about the server of that ID.
    int alerts(const QString& id) {
        return int(
            log().count((QStringLiteral("\talert\t") + id + u'\t' + kAlertTitle + u'\t').toUtf8()));
    }

private:
    DataFolder m_folder;
    QProcess m_process;
    QByteArray m_log;
};

} // namespace

// Copies of servermon-headless sharing one catalogue in PostgreSQL all
// watch the same servers; only the one holding the sender lock hands the
// alerts to the channels, and another takes over when it ends.
class TestSharedSender final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(QFileInfo(headlessProgram()).isExecutable()); }

    void cleanup() { closeDatabase(); }

    // Both copies see the first server fail; one message reaches the sink.
    // The sender ends, the other copy takes the lock, and the second
    // server's alert still reaches the sink once.
    void eachAlertIsSentOnce_data() {
        QTest::addColumn<int>("ending");
        QTest::newRow("sender terminated") << int(SIGTERM);
        QTest::newRow("sender killed") << int(SIGKILL);
        // A frozen copy's session stays open until the server closes it as
        // idle (30 s), which frees the lock as a vanished host's would.
        QTest::newRow("sender frozen") << int(SIGSTOP);
    }
    void eachAlertIsSentOnce() {
        QFETCH(int, ending);
        PG_TEST_CLUSTER_OR_SKIP();
        PgTestCluster::exportPassword();
        ChannelSink sink;
        QVERIFY(sink.port() != 0);
        const QString uri = PgTestCluster::createDatabase(kDatabase);
        QVERIFY(!uri.isEmpty());
        fillDatabase(uri, sink);
        if (QTest::currentTestFailed())
            return;
        const QString firstId = serverId(kFirst);
        const QString secondId = serverId(kSecond);
        QVERIFY(!firstId.isEmpty() && !secondId.isEmpty());

        // The first copy starts alone, so the lock is its own.
        SharedCopy sender(uri);
        QTRY_VERIFY_WITH_TIMEOUT(sender.started(), WaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(!senderSession().isEmpty(), WaitMs);
        const QString senderPid = senderSession();
        SharedCopy watcher(uri);
        QTRY_VERIFY_WITH_TIMEOUT(watcher.started(), WaitMs);
        QCOMPARE(senderSession(), senderPid);

        QVERIFY(execute(
            QStringLiteral("update ServerList set InUse = 1, Revision = Revision + 1 where ID = ") +
            firstId));
        QTRY_VERIFY2_WITH_TIMEOUT(sender.alerts(firstId) == 1 && watcher.alerts(firstId) == 1,
                                  (sender.log() + watcher.log()).constData(), WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(delivered(sink, kFirst), 1, WaitMs);
        // A second message would come now, while both copies keep failing.
        QTest::qWait(2000);
        QCOMPARE(delivered(sink, kFirst), 1);
        QCOMPARE(column(QStringLiteral("select State from Outbox")), QStringList{"sent"});

        if (ending == SIGSTOP)
            QCOMPARE(::kill(static_cast<pid_t>(sender.process().processId()), SIGSTOP), 0);
        else
            QVERIFY(endWith(sender.process(), ending));
        if (ending == SIGTERM)
            QCOMPARE(sender.process().exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!senderSession().isEmpty() && senderSession() != senderPid,
                                 ending == SIGSTOP ? 60000 : WaitMs);
        QVERIFY(execute(
            QStringLiteral("update ServerList set InUse = 1, Revision = Revision + 1 where ID = ") +
            secondId));
        QTRY_VERIFY2_WITH_TIMEOUT(watcher.alerts(secondId) == 1, watcher.log().constData(), WaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(delivered(sink, kSecond), 1, WaitMs);
        QTest::qWait(2000);
        QCOMPARE(delivered(sink, kSecond), 1);
        QCOMPARE(delivered(sink, kFirst), 1);
        QCOMPARE(watcher.alerts(firstId), 1);
        QCOMPARE(column(QStringLiteral("select State from Outbox")), (QStringList{"sent", "sent"}));
        QVERIFY(endWith(watcher.process(), SIGTERM));
        QCOMPARE(watcher.process().exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSharedSender)
#include "tst_sharedsender.moc"
