#include "ChannelSink.h"
#include "ProgramRuns.h"
#include "WindowProgramHost.h"

#include "notify/Channel.h"
#include "notify/ChannelCatalogue.h"

#include <QApplication>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlRecord>
#include <QUrlQuery>

#include <csignal>

using namespace ProgramRuns;

namespace {

const QString ServerName = QStringLiteral("订单库 db-01");
const QString NtfyToken = QStringLiteral("tk_NtfyToken4711");
const QString DingTalkSecret = QStringLiteral("SECdingtalk0815signing");

// A pass a second with a short time-out; the first socket fault alerts, a
// lost echo never does.
const QByteArray FastAlerts =
    "[SETTING]\nITIMERN=1\nIREPLYLIM=1\nIPINGLIM=0\n[SETUP]\nITIMEOUT=500\n";

Channel channel(ChannelKind kind, const QString& name, const QJsonObject& settings,
                const QString& secret = {}) {
    Channel made;
    made.kind = kind;
    made.name = name;
    made.settings = settings;
    made.secret = secret;
    return made;
}

// A folder whose one server refuses connections, so it alerts on the first
// pass, and the channels.
void prepareFolder(const DataFolder& folder, const QList<Channel>& channels) {
    folder.writeSettings(FastAlerts);
    folder.addServer(ServerName, closedPort(), QStringLiteral("220"));
    folder.inCatalogue([&] {
        for (const Channel& added : channels)
            QCOMPARE(ChannelCatalogue::AddChannel(added), QString());
    });
}

// Starts servermon-headless, or the window program hosted by this
// executable, on the folder with metrics on the port. The window program
// starts monitoring only when asked; the service always does.
void start(QProcess& program, bool window, bool monitoring, const DataFolder& folder,
           quint16 metricsPort) {
    const QStringList metrics{QStringLiteral("--metrics"),
                              QStringLiteral("127.0.0.1:") + QString::number(metricsPort)};
    if (window) {
        program.setProcessEnvironment(offscreen());
        program.start(
            QCoreApplication::applicationFilePath(),
            WindowProgramHost::arguments(
                (monitoring ? QStringList{QStringLiteral("--start-monitoring")} : QStringList()) +
                    metrics,
                folder));
    } else {
        program.setProcessEnvironment(withoutDesktop());
        program.start(headlessProgram(),
                      QStringList{QStringLiteral("--config-dir"), folder.path()} + metrics);
    }
}

// The value of one series in the metrics text; -1 when it is not there.
qint64 sample(const QByteArray& metrics, const QString& series) {
    const QRegularExpression line(QStringLiteral("\n") + QRegularExpression::escape(series) +
                                  QStringLiteral(" (\\d+)\n"));
    const QRegularExpressionMatch found = line.match(QString::fromUtf8(metrics));
    return found.hasMatch() ? found.captured(1).toLongLong() : -1;
}

qint64 sent(const QByteArray& metrics, const QString& channelName) {
    return sample(metrics, QStringLiteral("servermon_notifications_total{channel=\"") +
                               channelName + QStringLiteral("\",result=\"sent\"}"));
}

QList<QJsonObject> requestsAt(ChannelSink& sink, const QString& path) {
    QList<QJsonObject> found;
    for (const QJsonValue request : sink.requests())
        if (request[QStringLiteral("path")].toString() == path)
            found << request.toObject();
    return found;
}

QString header(const QJsonObject& request, const QString& name) {
    return request[QStringLiteral("headers")][name].toString();
}

QJsonObject body(const QJsonObject& request) {
    return QJsonDocument::fromJson(request[QStringLiteral("body")].toString().toUtf8()).object();
}

// The Outbox rows as "State DedupKey", oldest first.
QStringList outboxRows(const DataFolder& folder) {
    QStringList rows;
    folder.inCatalogue([&] {
        for (const QSqlRecord& row :
             ModuleDB::DbSelect(QStringLiteral("select State,DedupKey from Outbox order by ID")))
            rows << row.value(0).toString() + u' ' + row.value(1).toString();
    });
    return rows;
}

void addProgramRows() {
    QTest::addColumn<bool>("window");
    QTest::newRow("servermon-headless") << false;
    QTest::newRow("servermon") << true;
}

} // namespace

// Both programs, run as the operator runs them, deliver their alerts
// through the channels of their catalogue to the loopback sink.
class TestChannelProcess final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(QFileInfo(headlessProgram()).isExecutable()); }

    // One alert reaches a webhook, an ntfy topic behind a token and a
    // signed DingTalk robot, naming the server and its address; the metrics
    // count it; no output of the program holds a secret.
    void deliversAndKeepsSecrets_data() { addProgramRows(); }
    void deliversAndKeepsSecrets() {
        QFETCH(bool, window);
        ChannelSink sink;
        QVERIFY(sink.port() != 0);
        DataFolder folder;
        const QString webhookName = QStringLiteral("值班 webhook");
        const QString ntfyName = QStringLiteral("ntfy 值班");
        const QString dingTalkName = QStringLiteral("钉钉群");
        prepareFolder(folder,
                      {channel(ChannelKind::Webhook, webhookName,
                               {{QStringLiteral("url"), sink.url(QStringLiteral("/ok/hook"))}}),
                       channel(ChannelKind::Ntfy, ntfyName,
                               {{QStringLiteral("url"), sink.url(QStringLiteral("/ok/ntfy"))},
                                {QStringLiteral("topic"), QStringLiteral("alerts")}},
                               NtfyToken),
                       channel(ChannelKind::DingTalk, dingTalkName,
                               {{QStringLiteral("url"),
                                 sink.url(QStringLiteral("/ok/robot/send?access_token=team"))}},
                               DingTalkSecret)});
        const quint16 metricsPort = closedPort();
        QProcess program;
        start(program, window, true, folder, metricsPort);
        const auto ending = qScopeGuard([&program] {
            program.kill();
            program.waitForFinished(WaitMs);
        });
        QByteArray metrics;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (metrics = scrapeMetrics(metricsPort), sent(metrics, webhookName) >= 1 &&
                                                       sent(metrics, ntfyName) >= 1 &&
                                                       sent(metrics, dingTalkName) >= 1),
            metrics.constData(), WaitMs);
        QVERIFY2(sample(metrics, QStringLiteral("servermon_notifications_queued")) >= 0,
                 metrics.constData());

        const QList<QJsonObject> hook = requestsAt(sink, QStringLiteral("/ok/hook"));
        QCOMPARE(hook.size(), 1);
        const QJsonObject fields = body(hook.first());
        QCOMPARE(fields[QStringLiteral("server")].toString(), ServerName);
        QCOMPARE(fields[QStringLiteral("address")].toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(fields[QStringLiteral("state")].toString(), QStringLiteral("alert"));
        QCOMPARE(fields[QStringLiteral("title")].toString(),
                 QStringLiteral("注意:服务器测试返回异常"));
        QCOMPARE(fields[QStringLiteral("dedup_key")].toString(),
                 header(hook.first(), QStringLiteral("x-servermon-dedup-key")));

        const QList<QJsonObject> ntfy = requestsAt(sink, QStringLiteral("/ok/ntfy/alerts"));
        QCOMPARE(ntfy.size(), 1);
        QCOMPARE(header(ntfy.first(), QStringLiteral("authorization")),
                 QStringLiteral("Bearer ") + NtfyToken);
        const QString ntfyText = ntfy.first()[QStringLiteral("body")].toString();
        QVERIFY2(ntfyText.contains(ServerName) && ntfyText.contains(QStringLiteral("127.0.0.1")),
                 qPrintable(ntfyText));

        const QList<QJsonObject> robot = requestsAt(sink, QStringLiteral("/ok/robot/send"));
        QCOMPARE(robot.size(), 1);
        const QUrlQuery query(robot.first()[QStringLiteral("query")].toString());
        const QString sign = query.queryItemValue(QStringLiteral("sign"), QUrl::FullyDecoded);
        QVERIFY(!sign.isEmpty());
        const QString robotText =
            body(robot.first())[QStringLiteral("text")][QStringLiteral("content")].toString();
        QVERIFY2(robotText.contains(ServerName) && robotText.contains(QStringLiteral("127.0.0.1")),
                 qPrintable(robotText));

        QVERIFY(endWith(program, SIGTERM));
        QCOMPARE(program.exitCode(), 0);
        const QByteArray output = program.readAllStandardOutput();
        const QByteArray errors = program.readAllStandardError();
        if (!window)
            QVERIFY2(output.contains("\tstart\t"), output.constData());
        for (const QString& secret :
             {NtfyToken, DingTalkSecret, sign,
              query.queryItemValue(QStringLiteral("sign"), QUrl::FullyEncoded)})
            for (const QByteArray& text : {output, errors, metrics})
                QVERIFY2(!text.contains(secret.toUtf8()), qPrintable(secret));
    }

    // Killed while the peer keeps a message unanswered, then started again
    // with the peer mended and the server no longer monitored: the message
    // goes out once more under its key, and once only. The window program
    // delivers what is queued without monitoring started.
    void aKillLosesAndDoublesNothing_data() { addProgramRows(); }
    void aKillLosesAndDoublesNothing() {
        QFETCH(bool, window);
        ChannelSink sink;
        QVERIFY(sink.port() != 0);
        DataFolder folder;
        const QString name = QStringLiteral("值班 webhook");
        prepareFolder(
            folder, {channel(ChannelKind::Webhook, name,
                             {{QStringLiteral("url"), sink.url(QStringLiteral("/silent/hook"))}})});
        QString key;
        {
            QProcess killed;
            start(killed, window, true, folder, closedPort());
            const auto ending = qScopeGuard([&killed] {
                killed.kill();
                killed.waitForFinished(WaitMs);
            });
            QTRY_COMPARE_WITH_TIMEOUT(requestsAt(sink, QStringLiteral("/silent/hook")).size(), 1,
                                      WaitMs);
            const QJsonObject unanswered = requestsAt(sink, QStringLiteral("/silent/hook")).first();
            key = header(unanswered, QStringLiteral("x-servermon-dedup-key"));
            QVERIFY(!key.isEmpty());
            QCOMPARE(body(unanswered)[QStringLiteral("dedup_key")].toString(), key);
            QVERIFY(endWith(killed, SIGKILL));
        }
        QCOMPARE(outboxRows(folder), QStringList{QStringLiteral("pending ") + key});
        folder.inCatalogue([&] {
            std::optional<Channel> mended = ChannelCatalogue::FindChannel(name);
            QVERIFY(mended);
            mended->settings[QStringLiteral("url")] = sink.url(QStringLiteral("/ok/hook"));
            QCOMPARE(ChannelCatalogue::ChangeChannel(*mended), QString());
            for (const ServerRecord& server :
                 ServerCatalogue::SelectServers(ServerCatalogue::Selection::All))
                QCOMPARE(ServerCatalogue::SetServerInUse(server.id, false), QString());
        });

        const quint16 metricsPort = closedPort();
        QProcess restarted;
        start(restarted, window, false, folder, metricsPort);
        const auto ending = qScopeGuard([&restarted] {
            restarted.kill();
            restarted.waitForFinished(WaitMs);
        });
        QByteArray metrics;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (metrics = scrapeMetrics(metricsPort),
             sent(metrics, name) >= 1 &&
                 sample(metrics, QStringLiteral("servermon_notifications_queued")) == 0),
            metrics.constData(), WaitMs);
        // Nothing is queued any more; a second copy would have to come now.
        QTest::qWait(1000);
        const QList<QJsonObject> delivered = requestsAt(sink, QStringLiteral("/ok/hook"));
        QCOMPARE(delivered.size(), 1);
        QCOMPARE(header(delivered.first(), QStringLiteral("x-servermon-dedup-key")), key);
        QCOMPARE(body(delivered.first())[QStringLiteral("dedup_key")].toString(), key);
        QCOMPARE(requestsAt(sink, QStringLiteral("/silent/hook")).size(), 1);
        QCOMPARE(sent(scrapeMetrics(metricsPort), name), 1);
        QVERIFY(endWith(restarted, SIGTERM));
        QCOMPARE(restarted.exitCode(), 0);
        QCOMPARE(outboxRows(folder), QStringList{QStringLiteral("sent ") + key});
    }
};

int main(int argc, char* argv[]) {
    if (WindowProgramHost::requested(argc, argv))
        return WindowProgramHost::run(argc, argv);
    QApplication app(argc, argv);
    TestChannelProcess test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_channelprocess.moc"
