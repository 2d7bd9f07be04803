#include "ChannelSink.h"
#include "ProgramRuns.h"
#include "TlsPeer.h"

#include "notify/Channel.h"
#include "notify/ChannelCatalogue.h"
#include "service/CommandLine.h"

#include <QJsonObject>
#include <QTest>

using namespace ProgramRuns;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runProgram(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& environment) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(WaitMs)) {
        process.kill();
        process.waitForFinished(WaitMs);
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

// Adds the channels to the catalogue of the folder, as the dialogs do.
void addChannels(const DataFolder& folder, const QList<Channel>& channels) {
    folder.inCatalogue([&] {
        for (const Channel& channel : channels)
            QCOMPARE(ChannelCatalogue::AddChannel(channel), QString());
    });
}

Channel channel(const QString& name, ChannelKind kind, const QString& url) {
    Channel made;
    made.name = name;
    made.kind = kind;
    made.settings = {{QStringLiteral("url"), url}};
    made.secret = QStringLiteral("SECsend-test");
    return made;
}

} // namespace

class TestSendTest final : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_certificates;

private slots:
    void initTestCase() {
        QVERIFY(QFileInfo(headlessProgram()).isExecutable());
        QCOMPARE(TlsPeers::makeCertificates(m_certificates.path()), QString());
    }

    void parsesTheOption_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("sends");
        QTest::addColumn<QString>("name"); // or the start of the mistake's message
        QTest::newRow("name") << QStringList{"--send-test", "钉钉 值班"} << true << "钉钉 值班";
        QTest::newRow("with =") << QStringList{"--send-test=ops"} << true << "ops";
        QTest::newRow("with a folder")
            << QStringList{"--config-dir", "/tmp/x", "--send-test", "ops"} << true << "ops";
        QTest::newRow("empty name")
            << QStringList{"--send-test", ""} << false << "--send-test 需要一个通知渠道的名称";
        QTest::newRow("no name") << QStringList{"--send-test"} << false << "Missing value";
        QTest::newRow("with --import")
            << QStringList{"--send-test", "ops", "--import", "f.csv"} << false
            << "--send-test 不能与 --import 或 --export 同时使用";
    }
    void parsesTheOption() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, sends);
        QFETCH(QString, name);
        const CommandLine line = CommandLine::parse(QStringList{"servermon"} + arguments);
        if (sends) {
            QCOMPARE(line.action(), CommandLine::Action::SendTest);
            QCOMPARE(line.channelName(), name);
        } else {
            QCOMPARE(line.action(), CommandLine::Action::Fail);
            QVERIFY2(line.output().startsWith(name), qPrintable(line.output()));
        }
    }

    // Both programs send the test message without a window, and say how it
    // went by their exit code.
    void sendsTheTestMessage_data() {
        QTest::addColumn<bool>("window");
        QTest::addColumn<bool>("offscreen");
        QTest::addColumn<int>("tls"); // 0 plain, 1 HTTPS with TLSCAFILE, 2 HTTPS without
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QString>("path"); // where the sink got it; empty: nothing sent
        for (const bool window : {false, true}) {
            const QString program =
                window ? QStringLiteral("servermon, ") : QStringLiteral("servermon-headless, ");
            QTest::newRow(qPrintable(program + "accepted"))
                << window << true << 0 << "值班 webhook" << 0 << "测试消息已送达“值班 webhook”\n"
                << QString() << "/ok/hook";
            QTest::newRow(qPrintable(program + "500"))
                << window << true << 0 << "broken" << 1 << QString()
                << "测试消息没有送达“broken”:HTTP状态码500\n"
                << "/fail/hook";
            QTest::newRow(qPrintable(program + "refused with 200"))
                << window << true << 0 << "钉钉" << 1 << QString()
                << "测试消息没有送达“钉钉”:对方返回错误:errcode 310000 keywords not in content\n"
                << "/refuse/robot/send";
            QTest::newRow(qPrintable(program + "unknown channel"))
                << window << true << 0 << "nobody" << 1 << QString()
                << "没有名为“nobody”的通知渠道\n"
                << QString();
        }
        QTest::newRow("servermon-headless, HTTPS trusting the settings' CA file")
            << false << true << 1 << "值班 webhook" << 0 << "测试消息已送达“值班 webhook”\n"
            << QString() << "/ok/hook";
        QTest::newRow("servermon-headless, HTTPS without the CA file")
            << false << true << 2 << "值班 webhook" << 1 << QString()
            << "测试消息没有送达“值班 webhook”:证书验证失败\n"
            << QString();
        QTest::newRow("servermon without any display")
            << true << false << 0 << "值班 webhook" << 0 << "测试消息已送达“值班 webhook”\n"
            << QString() << "/ok/hook";
    }
    void sendsTheTestMessage() {
        QFETCH(bool, window);
        QFETCH(bool, offscreen);
        QFETCH(int, tls);
        QFETCH(QString, name);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QString, path);
        ChannelSink sink(m_certificates.path(), tls ? QStringLiteral("chain") : QString());
        QVERIFY(sink.port() != 0);
        DataFolder folder;
        if (tls == 1)
            folder.writeSettings("[SETUP]\nTLSCAFILE=" +
                                 m_certificates.filePath(QStringLiteral("ca.pem")).toUtf8() + "\n");
        addChannels(folder,
                    {channel(QStringLiteral("值班 webhook"), ChannelKind::Webhook,
                             sink.url(QStringLiteral("/ok/hook"), tls != 0)),
                     channel(QStringLiteral("broken"), ChannelKind::Webhook,
                             sink.url(QStringLiteral("/fail/hook"))),
                     channel(QStringLiteral("钉钉"), ChannelKind::DingTalk,
                             sink.url(QStringLiteral("/refuse/robot/send?access_token=t")))});
        const Run run = runProgram(
            window ? windowProgram() : headlessProgram(),
            {QStringLiteral("--config-dir"), folder.path(), QStringLiteral("--send-test"), name},
            offscreen ? ProgramRuns::offscreen() : withoutDesktop());
        QCOMPARE(run.err, err);
        QCOMPARE(run.out, out);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY(!run.err.contains(QStringLiteral("SECsend-test")));
        const QJsonArray requests = sink.requests();
        if (path.isEmpty()) {
            QCOMPARE(requests.size(), 0);
            return;
        }
        QCOMPARE(requests.size(), 1);
        const QJsonObject request = requests.first().toObject();
        QCOMPARE(request.value("path").toString(), path);
        const QJsonObject body =
            QJsonDocument::fromJson(request.value("body").toString().toUtf8()).object();
        if (request.value("path").toString() == QLatin1String("/ok/hook")) {
            QCOMPARE(body.value("title").toString(), QStringLiteral("servermon测试消息"));
            QCOMPARE(body.value("state").toString(), QStringLiteral("test"));
            QCOMPARE(body.value("message").toString(),
                     QStringLiteral("这是一条测试消息,收到即表示通知渠道“值班 webhook”工作正常。"));
            QVERIFY(!body.value("dedup_key").toString().isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestSendTest)
#include "tst_sendtest.moc"
