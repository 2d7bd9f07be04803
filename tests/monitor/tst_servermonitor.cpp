#include "FakeClock.h"
#include "FakeEcho.h"
#include "RecordingAlerts.h"

#include "monitor/GbkText.h"
#include "monitor/ModulePing.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "monitor/SocketElement.h"

#include <QPointer>
#include <QSortFilterProxyModel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <functional>

using Col = ServerRowModel::Column;

Q_DECLARE_METATYPE(FakeEcho::Answer)

namespace {

// A loopback server that answers every connection as scripted: once the
// request arrives, at once on connecting, or never.
class ScriptedServer final : public QObject {
public:
    enum Mode { AnswerRequest, Greet, Silent };

    explicit ScriptedServer(QByteArray reply, Mode mode = AnswerRequest,
                            const QHostAddress& address = QHostAddress::LocalHost)
        : answer(std::move(reply))
        , m_mode(mode) {
        m_server.listen(address, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = m_server.nextPendingConnection()) {
                ++connections;
                received.clear();
                m_client = client;
                connect(client, &QTcpSocket::readyRead, this, [this, client] {
                    const bool first = received.isEmpty();
                    received += client->readAll();
                    if (onRequest)
                        onRequest();
                    if (first && m_mode == AnswerRequest)
                        client->write(answer);
                });
                if (m_mode == Greet)
                    client->write(answer);
            }
        });
    }
    QString port() const { return QString::number(m_server.serverPort()); }
    void sendMore(const QByteArray& bytes) {
        if (m_client)
            m_client->write(bytes);
    }

    QByteArray answer;
    QByteArray received; // of the latest connection
    int connections = 0;
    std::function<void()> onRequest;

private:
    QTcpServer m_server;
    Mode m_mode;
    QPointer<QTcpSocket> m_client;
};

QString closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return QString::number(server.serverPort());
}

ServerRecord record(const QString& port, const QString& postData, const QString& replyData,
                    const QString& name = QStringLiteral("srv"),
                    const QString& address = QStringLiteral("127.0.0.1")) {
    ServerRecord r;
    r.id = 1;
    r.displayName = name;
    r.ipAddress = address;
    r.port = port;
    r.postData = postData;
    r.replyData = replyData;
    return r;
}

// The monitor with fakes around it and a record of what it tells the window.
// The interval is 0, so every tick runs a pass; the real timer never fires.
struct Rig {
    Rig() {
        list.setSourceModel(&rows);
        list.setDynamicSortFilter(false);
        monitor.setMeCaption(QStringLiteral("监控[版本:1.0.28]"));
        monitor.setTips(QStringLiteral("服务器监控系统"));
        monitor.timerProc().setInterval(24 * 3600 * 1000);
        QObject::connect(&monitor, &ServerMonitor::statusPanelChanged,
                         [this](int panel, const QString& text) {
                             panels[panel] = text;
                             panelLog[panel].append(text);
                         });
        QObject::connect(&monitor, &ServerMonitor::windowTitleChanged,
                         [this](const QString& t) { title = t; });
        QObject::connect(&monitor, &ServerMonitor::tipChanged,
                         [this](const QString& t) { tip = t; });
        QObject::connect(&monitor, &ServerMonitor::startCaptionChanged,
                         [this](const QString& c) { caption = c; });
    }
    void start() {
        if (!monitor.isMonitoring())
            monitor.CmdStart_Click();
    }
    void pass() {
        start();
        monitor.TimerProc_Timer();
    }
    QString text(int row, Col column) const { return rows.text(row, column); }

    ServerRowModel rows;
    QSortFilterProxyModel list;
    MonitorSettings settings{0, 10000, 3, 3, false, {}};
    FakeClock clock;
    FakeEcho echo;
    RecordingAlerts alerts;
    ServerMonitor monitor{rows, list, settings, clock, echo, alerts};
    QMap<int, QString> panels;
    QMap<int, QStringList> panelLog;
    QString title, tip, caption;
};

const QString kCorrect = QStringLiteral("已收到正确的回应包");

} // namespace

class TestServerMonitor final : public QObject {
    Q_OBJECT
private slots:
    void startAndStopTexts() {
        Rig rig;
        rig.monitor.CmdStart_Click();
        QVERIFY(rig.monitor.isMonitoring());
        QCOMPARE(rig.caption, QStringLiteral("停止监控"));
        QCOMPARE(rig.tip, QStringLiteral("服务器监控系统\r\n正在监控..."));
        rig.monitor.CmdStart_Click();
        QVERIFY(!rig.monitor.isMonitoring());
        QCOMPARE(rig.caption, QStringLiteral("开始监控"));
        QCOMPARE(rig.panels[3], QStringLiteral("任务等待开始"));
        QCOMPARE(rig.title, QStringLiteral("监控[版本:1.0.28][等待开始任务]"));
        QCOMPARE(rig.tip, QStringLiteral("服务器监控系统\r\n等待开始任务..."));
    }

    // Panel 3 after each tick; "pass" marks a tick that ran a pass.
    void countdown_data() {
        QTest::addColumn<double>("interval");
        QTest::addColumn<QStringList>("ticks");
        QStringList thirty{QStringLiteral("pass")};
        for (int r = 29; r >= 0; --r)
            thirty << QStringLiteral("下次开始任务:%1秒后").arg(r);
        thirty << QStringLiteral("pass");
        QTest::newRow("30 seconds") << 30.0 << thirty;
        QTest::newRow("1 second") << 1.0 << QStringList{"pass", "下次开始任务:0秒后", "pass"};
        QTest::newRow("fraction: first tick still passes")
            << 2.5
            << QStringList{"pass", "下次开始任务:2秒后", "下次开始任务:1秒后", "下次开始任务:0秒后",
                           "pass"};
    }
    void countdown() {
        QFETCH(double, interval);
        QFETCH(QStringList, ticks);
        Rig rig;
        rig.settings.iTimerN = interval;
        rig.monitor.CmdStart_Click();
        for (const QString& expected : ticks) {
            const qint32 before = rig.monitor.passNumber();
            rig.monitor.TimerProc_Timer();
            if (expected == QStringLiteral("pass")) {
                QCOMPARE(rig.monitor.passNumber(), before + 1);
                QVERIFY(rig.panels[3].startsWith(QStringLiteral("任务正在进行:")));
                QCOMPARE(rig.title, QStringLiteral("监控[版本:1.0.28][任务正在进行...]"));
            } else {
                QCOMPARE(rig.panels[3], expected);
                QCOMPARE(rig.tip, QStringLiteral("服务器监控系统\r\n") + expected);
            }
        }
        if (interval == 30.0) {
            QCOMPARE(rig.panelLog[3].at(1), QStringLiteral("下次开始任务:29秒后"));
            QCOMPARE(rig.panels[4], QStringLiteral("Socket异常:0"));
            QCOMPARE(rig.panels[5], QStringLiteral("Ping异常:0"));
        }
    }

    void emptyListPass() {
        Rig rig;
        rig.pass();
        QCOMPARE(rig.monitor.passNumber(), 2);
        QCOMPARE(rig.panels[2], QStringLiteral("SOCKET回应:0/0"));
        QVERIFY(rig.tip.startsWith(QStringLiteral("服务器监控系统\r\n任务正在进行:")));
        QVERIFY(rig.echo.targets.isEmpty());
    }

    void timerDrivesPasses() {
        Rig rig;
        rig.settings.iTimerN = 1;
        rig.monitor.timerProc().setInterval(10);
        rig.monitor.CmdStart_Click();
        QTRY_VERIFY(rig.monitor.passNumber() >= 3);
    }

    void probeOutcome_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("replyData");
        QTest::addColumn<QTime>("startTime");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("replyErr");
        const QTime noon(12, 0);
        const QByteArray ready("220 Service Ready\r\n");
        QTest::newRow("case ignored") << ready << "service ready" << noon << kCorrect << "0";
        QTest::newRow("contained") << ready << "Ready" << noon << kCorrect << "0";
        QTest::newRow("empty expectation") << ready << "" << noon << kCorrect << "0";
        QTest::newRow("wrong") << ready << "OK" << noon << "应答包错误：220 Service Ready\r\n"
                               << "1";
        QTest::newRow("GBK reply")
            << GbkText::encode(QStringLiteral("服务正常")) << "正常" << noon << kCorrect << "0";
        QTest::newRow("across midnight")
            << ready << "Ready" << QTime(23, 59, 59, 990) << kCorrect << "0";
    }
    void probeOutcome() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, replyData);
        QFETCH(QTime, startTime);
        QFETCH(QString, status);
        QFETCH(QString, replyErr);
        Rig rig;
        ScriptedServer server(answer);
        server.onRequest = [&rig] { rig.clock.advance(47); };
        rig.clock.setLocalTime(startTime);
        rig.rows.resetRows({record(server.port(), QStringLiteral("HELO\r\n"), replyData)});
        rig.pass();
        QTRY_COMPARE(rig.text(0, Col::Status), status);
        QCOMPARE(rig.text(0, Col::ReplyTime), QStringLiteral("47ms"));
        QCOMPARE(rig.text(0, Col::ReplyErr), replyErr);
        QCOMPARE(rig.rows.tag(0, Col::ReplyErr), replyErr);
        QCOMPARE(rig.rows.toolTip(0, Col::ReplyErr), QStringLiteral("累计错误数:") + replyErr);
        QCOMPARE(rig.rows.toolTip(0, Col::ReplyData), GbkText::decode(answer));
        QCOMPARE(rig.monitor.passReplyCount(), 1);
        QCOMPARE(rig.monitor.socketFaultCount(), replyErr.toInt());
        QCOMPARE(rig.panels[2], QStringLiteral("SOCKET回应:1/1[100%]"));
        QCOMPARE(rig.rows.rowColour(0).isValid(), replyErr == QStringLiteral("1"));
    }

    void replyInTwoSegmentsJudgedOnFirst() {
        Rig rig;
        ScriptedServer server("HELLO");
        rig.rows.resetRows({record(server.port(), QStringLiteral("Q"), QStringLiteral("WORLD"))});
        rig.pass();
        QTRY_COMPARE(rig.text(0, Col::Status), QStringLiteral("应答包错误：HELLO"));
        server.sendMore("WORLD");
        QCOMPARE(rig.monitor.sockets().element(rig.rows.keyAt(0))->State(), 0);
        QCOMPARE(rig.rows.toolTip(0, Col::ReplyData), QStringLiteral("HELLO"));
    }

    void bytesOnTheWire_data() {
        QTest::addColumn<QString>("postData");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("plain") << "ABCD" << QByteArray("ABCD");
        QTest::newRow("lower-case asc") << "asc:65:66" << QByteArray("AB");
        QTest::newRow("empty last token") << "ASC:13:10:" << QByteArray("\r\n");
        QTest::newRow("not a number") << "ASC:65:x:66" << QByteArray("AB");
        QTest::newRow("beyond a byte") << "ASC:65:300:66" << QByteArray("AB");
        QTest::newRow("hex is plain here") << "HEX:41:42" << QByteArray("HEX:41:42");
        QTest::newRow("GBK") << "你好" << GbkText::encode(QStringLiteral("你好"));
    }
    void bytesOnTheWire() {
        QFETCH(QString, postData);
        QFETCH(QByteArray, bytes);
        Rig rig;
        ScriptedServer server("OK");
        rig.rows.resetRows({record(server.port(), postData, QStringLiteral("OK"))});
        rig.pass();
        QTRY_COMPARE(rig.text(0, Col::Status), kCorrect);
        QTRY_COMPARE(server.received, bytes);
    }

    void refusedConnectionKeepsStampThenTimesOut() {
        Rig rig;
        rig.rows.resetRows({record(closedPort(), QStringLiteral("Q"), QStringLiteral("OK"))});
        rig.pass();
        QTRY_VERIFY(rig.text(0, Col::Status).startsWith(QStringLiteral("SOCKET错误:")));
        QVERIFY(rig.text(0, Col::Status).size() > QStringLiteral("SOCKET错误:").size());
        QCOMPARE(rig.text(0, Col::ReplyErr), QStringLiteral("1"));
        QCOMPARE(rig.rows.tag(0, Col::ReplyErr), QStringLiteral("1"));
        QVERIFY(rig.text(0, Col::ReplyTime).contains(QLatin1Char(':')));
        QCOMPARE(rig.rows.rowColour(0), QColor(255, 0, 0));

        rig.clock.advance(10001);
        rig.pass();
        QCOMPARE(rig.text(0, Col::ReplyErr), QStringLiteral("2"));
        QCOMPARE(rig.text(0, Col::Status), QStringLiteral("SOCKET超时:10000ms"));
        QCOMPARE(rig.echo.targets.size(), 1);
    }

    // A silent server leaves the probe pending into the next pass.
    void pendingProbe_data() {
        QTest::addColumn<qint32>("timeOut");
        QTest::addColumn<QTime>("startTime");
        QTest::addColumn<qint64>("age");
        QTest::addColumn<bool>("timedOut");
        const QTime noon(12, 0);
        QTest::newRow("older than the time-out") << 10000 << noon << qint64(10001) << true;
        QTest::newRow("exactly the time-out") << 10000 << noon << qint64(10000) << false;
        QTest::newRow("younger") << 10000 << noon << qint64(5000) << false;
        QTest::newRow("time-out beyond 16 bits") << 40000 << noon << qint64(40001) << true;
        QTest::newRow("across midnight")
            << 10000 << QTime(23, 59, 59, 900) << qint64(10001) << true;
    }
    void pendingProbe() {
        QFETCH(qint32, timeOut);
        QFETCH(QTime, startTime);
        QFETCH(qint64, age);
        QFETCH(bool, timedOut);
        Rig rig;
        rig.settings.iTimeOut = timeOut;
        rig.clock.setLocalTime(startTime);
        ScriptedServer server({}, ScriptedServer::Silent);
        rig.rows.resetRows({record(server.port(), QStringLiteral("Q"), QStringLiteral("OK"))});
        rig.pass();
        QTRY_COMPARE(rig.text(0, Col::Status), QStringLiteral("已发送数据包,等待回应..."));
        QCOMPARE(server.connections, 1);

        rig.clock.advance(age);
        rig.pass();
        const QString limit = QString::number(timeOut) + QStringLiteral("ms");
        if (timedOut) {
            QCOMPARE(rig.text(0, Col::ReplyTime), QStringLiteral("超过") + limit);
            QCOMPARE(rig.text(0, Col::Status), QStringLiteral("SOCKET超时:") + limit);
            QCOMPARE(rig.text(0, Col::ReplyErr), QStringLiteral("1"));
            QCOMPARE(rig.rows.tag(0, Col::ReplyErr), QStringLiteral("1"));
            QCOMPARE(rig.monitor.socketFaultCount(), 1);
            QCOMPARE(rig.echo.targets.size(), 1);
            rig.pass(); // probed normally again
        } else {
            QCOMPARE(rig.text(0, Col::ReplyErr), QStringLiteral("0"));
            QCOMPARE(rig.monitor.socketFaultCount(), 0);
        }
        QTRY_COMPARE(server.connections, 2);
        QCOMPARE(rig.text(0, Col::Status), QStringLiteral("已发送数据包,等待回应..."));
    }

    void replyAlertAtTheLimitOnly() {
        Rig rig;
        ScriptedServer server("BAD");
        rig.rows.resetRows({record(server.port(), QStringLiteral("Q"), QStringLiteral("GOOD"))});
        const QList<QByteArray> answers{"BAD", "BAD", "BAD", "BAD", "GOOD", "BAD", "BAD", "BAD"};
        const QList<int> alertsAfter{0, 0, 1, 1, 1, 1, 1, 2};
        for (int i = 0; i < answers.size(); ++i) {
            server.answer = answers.at(i);
            rig.pass();
            QTRY_COMPARE(rig.monitor.passReplyCount(), 1);
            QTRY_VERIFY(rig.text(0, Col::Status) != QStringLiteral("正在尝试连接服务器") &&
                        !rig.text(0, Col::Status).startsWith(QStringLiteral("已发送")));
            QCOMPARE(rig.alerts.alerts.size(), alertsAfter.at(i));
        }
        const RecordingAlerts::Alert alert = rig.alerts.alerts.constLast();
        QCOMPARE(alert.timeOut, 4);
        QCOMPARE(alert.title, QStringLiteral("注意:服务器测试返回异常"));
        QCOMPARE(alert.text, QStringLiteral("IP:127.0.0.1\r\n状态:应答包错误：BAD"));
    }

    // Echo answers over three passes and the row's ping cells after the last.
    void echoStatistics_data() {
        QTest::addColumn<QList<FakeEcho::Answer>>("answers");
        QTest::addColumn<QString>("pingTime");
        QTest::addColumn<QString>("pingErr");
        QTest::addColumn<QString>("pingState");
        QTest::addColumn<QString>("toolTip");
        const FakeEcho::Answer lost{11010, 0};
        QTest::newRow("lost, 20, 30") << QList<FakeEcho::Answer>{lost, {0, 20}, {0, 30}} << "30 ms"
                                      << "0"
                                      << "平均延时:25ms  丢包率:33%"
                                      << "平均延时:25ms  丢包率:33%(1/3)";
        QTest::newRow("23 once") << QList<FakeEcho::Answer>{{0, 23}} << "23 ms"
                                 << "0"
                                 << "平均延时:23ms  丢包率:0%"
                                 << "平均延时:23ms  丢包率:0%(0/1)";
        QTest::newRow("halves to even up") << QList<FakeEcho::Answer>{{0, 23}, {0, 24}} << "24 ms"
                                           << "0"
                                           << "平均延时:24ms  丢包率:0%"
                                           << "平均延时:24ms  丢包率:0%(0/2)";
        QTest::newRow("halves to even down") << QList<FakeEcho::Answer>{{0, 22}, {0, 23}} << "23 ms"
                                             << "0"
                                             << "平均延时:22ms  丢包率:0%"
                                             << "平均延时:22ms  丢包率:0%(0/2)";
        QTest::newRow("failed echo with a small time is lost")
            << QList<FakeEcho::Answer>{{0, 10}, {11010, 5}} << ModulePing::PingStatusText(11010)
            << "1"
            << "平均延时:10ms  丢包率:50%"
            << "平均延时:10ms  丢包率:50%(1/2)";
        QTest::newRow("time above 10000 is lost")
            << QList<FakeEcho::Answer>{{0, 10001}, lost} << ModulePing::PingStatusText(11010) << "2"
            << "平均延时:0ms  丢包率:100%"
            << "平均延时:0ms  丢包率:100%(2/2)";
    }
    void echoStatistics() {
        QFETCH(QList<FakeEcho::Answer>, answers);
        QFETCH(QString, pingTime);
        QFETCH(QString, pingErr);
        QFETCH(QString, pingState);
        QFETCH(QString, toolTip);
        Rig rig;
        rig.settings.iPingLim = 0;
        ScriptedServer server("OK", ScriptedServer::Greet);
        rig.rows.resetRows({record(server.port(), {}, QStringLiteral("OK"))});
        for (const FakeEcho::Answer& answer : answers) {
            rig.echo.script.enqueue(answer);
            rig.pass();
        }
        QCOMPARE(rig.echo.targets, QStringList(answers.size(), QStringLiteral("127.0.0.1")));
        QCOMPARE(rig.text(0, Col::PingTime), pingTime);
        QCOMPARE(rig.text(0, Col::PingErr), pingErr);
        QCOMPARE(rig.rows.tag(0, Col::PingErr), pingErr == QStringLiteral("0") ? "0" : "1");
        QCOMPARE(rig.text(0, Col::PingState), pingState);
        QCOMPARE(rig.rows.toolTip(0, Col::PingState), toolTip);
        QCOMPARE(rig.rows.rowColour(0).isValid(), pingErr != QStringLiteral("0"));
        QVERIFY(rig.alerts.alerts.isEmpty());
    }

    void pingAlertAtTheLimit() {
        Rig rig;
        rig.settings.iPingLim = 1;
        rig.rows.resetRows({record(closedPort(), {}, {})});
        rig.echo.script.enqueue({11010, 0});
        rig.echo.script.enqueue({11010, 0});
        rig.pass();
        rig.pass();
        QCOMPARE(rig.alerts.alerts.size(), 1);
        QCOMPARE(rig.alerts.alerts.at(0).title, QStringLiteral("注意:服务器PING异常"));
        QVERIFY(rig.alerts.alerts.at(0).text.startsWith(QStringLiteral("IP:127.0.0.1\r\n状态:")));
        QCOMPARE(rig.monitor.pingFaultCount(), 1);
    }

    void colours_data() {
        QTest::addColumn<QString>("replyTag");
        QTest::addColumn<QString>("pingTag");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("socket fault") << "1"
                                      << "" << QColor(255, 0, 0);
        QTest::newRow("lost echo") << "0"
                                   << "1" << QColor(0, 255, 0);
        QTest::newRow("both: green wins") << "1"
                                          << "1" << QColor(0, 255, 0);
        QTest::newRow("healthy") << "0"
                                 << "0" << QColor();
        QTest::newRow("fresh") << ""
                               << "" << QColor();
    }
    void colours() {
        QFETCH(QString, replyTag);
        QFETCH(QString, pingTag);
        QFETCH(QColor, colour);
        Rig rig;
        rig.rows.resetRows({record("1", {}, {})});
        rig.rows.setRowColour(0, QColor(1, 2, 3));
        rig.rows.setTag(0, Col::ReplyErr, replyTag);
        rig.rows.setTag(0, Col::PingErr, pingTag);
        rig.monitor.SetColor();
        QCOMPARE(rig.rows.rowColour(0), colour);
    }

    void rowsAreVisitedInListOrderAndKeepTheirResults() {
        Rig rig;
        ScriptedServer first("alpha", ScriptedServer::AnswerRequest, QHostAddress("127.0.0.1"));
        ScriptedServer second("beta", ScriptedServer::AnswerRequest, QHostAddress("127.0.0.2"));
        ServerRecord unchecked = record(second.port(), "Q", "beta", "B", "127.0.0.2");
        unchecked.inUse = false;
        rig.rows.resetRows({record(first.port(), "Q", "alpha", "A", "127.0.0.1"), unchecked});
        rig.list.sort(Col::DisplayName, Qt::DescendingOrder);
        // The list is sorted the other way while the pass runs.
        QTimer::singleShot(0, &rig.list, [&rig] { rig.list.sort(Col::DisplayName); });
        rig.pass();
        QCOMPARE(rig.echo.targets, QStringList({"127.0.0.2", "127.0.0.1"}));
        QTRY_COMPARE(rig.text(0, Col::Status), kCorrect);
        QTRY_COMPARE(rig.text(1, Col::Status), kCorrect);
        QCOMPARE(rig.rows.toolTip(0, Col::ReplyData), QStringLiteral("alpha"));
        QCOMPARE(rig.rows.toolTip(1, Col::ReplyData), QStringLiteral("beta"));
        QCOMPARE(rig.panelLog[2].mid(1),
                 QStringList({"SOCKET回应:1/2[50%]", "SOCKET回应:2/2[100%]"}));
    }

    void stopDuringAPassFinishesTheRow() {
        Rig rig;
        ScriptedServer server("OK", ScriptedServer::Greet);
        rig.rows.resetRows({record(server.port(), {}, {}), record(server.port(), {}, {}),
                            record(server.port(), {}, {})});
        rig.rows.setTag(2, Col::ReplyErr, QStringLiteral("1"));
        rig.echo.script.enqueue({11010, 0});
        rig.echo.script.enqueue({11010, 0});
        QTimer::singleShot(0, &rig.monitor, &ServerMonitor::CmdStart_Click);
        rig.pass();
        QVERIFY(!rig.monitor.isMonitoring());
        QVERIFY(!rig.monitor.isPassRunning());
        QCOMPARE(rig.echo.targets.size(), 1);
        QCOMPARE(rig.monitor.passNumber(), 1);
        QCOMPARE(rig.rows.rowColour(2), QColor());
        QCOMPARE(rig.text(1, Col::Status), QStringLiteral("初始化完成"));

        // The same pass runs again: the loss rate never exceeds all echoes.
        rig.pass();
        QCOMPARE(rig.monitor.passNumber(), 2);
        QCOMPARE(rig.text(0, Col::PingState), QStringLiteral("平均延时:0ms  丢包率:100%"));
        QCOMPARE(rig.rows.toolTip(0, Col::PingState),
                 QStringLiteral("平均延时:0ms  丢包率:100%(2/1)"));
    }

    void reloadDuringAPassEndsIt() {
        Rig rig;
        ScriptedServer server("OK", ScriptedServer::Greet);
        rig.rows.resetRows({record(server.port(), {}, {}), record(server.port(), {}, {})});
        rig.pass();
        QCOMPARE(rig.monitor.passNumber(), 2);
        const QList<ServerRecord> reloaded(3, record(server.port(), {}, QStringLiteral("OK")));
        QTimer::singleShot(0, &rig.rows, [&rig, reloaded] { rig.rows.resetRows(reloaded); });
        rig.echo.targets.clear();
        rig.pass();
        QVERIFY(!rig.monitor.isPassRunning());
        QCOMPARE(rig.monitor.passNumber(), 1);
        QVERIFY(rig.echo.targets.isEmpty());
        QCOMPARE(rig.monitor.sockets().count(), 3);
        for (int row = 0; row < 3; ++row)
            QCOMPARE(rig.text(row, Col::Status), QStringLiteral("初始化完成"));

        rig.pass();
        QCOMPARE(rig.echo.targets.size(), 3);
        QCOMPARE(rig.monitor.passNumber(), 2);
        QTRY_COMPARE(rig.text(2, Col::Status), kCorrect);
        QCOMPARE(rig.text(0, Col::PingState), QStringLiteral("平均延时:1ms  丢包率:0%"));
    }

    void reloadWhileAReplyIsJudged() {
        Rig rig;
        ScriptedServer server("BAD", ScriptedServer::Greet);
        rig.rows.resetRows({record(server.port(), {}, QStringLiteral("OK"))});
        QObject::connect(&rig.monitor, &ServerMonitor::statusPanelChanged, &rig.rows,
                         [&rig, &server](int panel, const QString& text) {
                             if (panel == 2 && text.endsWith(QStringLiteral("[100%]")))
                                 rig.rows.resetRows({record(server.port(), {}, {})});
                         });
        rig.pass();
        QTRY_COMPARE(rig.monitor.passReplyCount(), 1);
        QCOMPARE(rig.rows.rowCount(), 1);
        QCOMPARE(rig.text(0, Col::Status), QStringLiteral("初始化完成"));
        QCOMPARE(rig.text(0, Col::ReplyErr), QStringLiteral("0"));
        QCOMPARE(rig.monitor.socketFaultCount(), 0);
    }

    void monitorDestroyedDuringAPass() {
        Rig rig;
        ScriptedServer server("OK", ScriptedServer::Greet);
        rig.rows.resetRows({record(server.port(), {}, {}), record(server.port(), {}, {})});
        auto* monitor =
            new ServerMonitor(rig.rows, rig.list, rig.settings, rig.clock, rig.echo, rig.alerts);
        monitor->CmdStart_Click();
        QTimer::singleShot(0, monitor, [monitor] { delete monitor; });
        monitor->TimerProc_Timer();
        QVERIFY(rig.echo.targets.isEmpty());
        QCOMPARE(rig.text(1, Col::Status), QStringLiteral("初始化完成"));
    }

    void rowRemovedDuringAPassIsSkipped() {
        Rig rig;
        ScriptedServer server("OK", ScriptedServer::Greet);
        rig.rows.resetRows({record(server.port(), {}, {}), record(server.port(), {}, {})});
        QTimer::singleShot(0, &rig.rows, [&rig] { rig.rows.removeRowAt(1); });
        rig.pass();
        QCOMPARE(rig.echo.targets.size(), 1);
        QCOMPARE(rig.monitor.passNumber(), 2);
        QCOMPARE(rig.monitor.sockets().count(), 1);
    }

    void tickDuringAPassStartsNoSecondPass() {
        Rig rig;
        ScriptedServer server("OK", ScriptedServer::Greet);
        rig.rows.resetRows({record(server.port(), {}, {}), record(server.port(), {}, {})});
        QTimer::singleShot(0, &rig.monitor, &ServerMonitor::TimerProc_Timer);
        rig.pass();
        QCOMPARE(rig.echo.targets.size(), 2);
        QCOMPARE(rig.monitor.passNumber(), 2);
    }

    void socketStates() {
        QCOMPARE(SocketStateNames().size(), 10);
        QCOMPARE(SocketStateNames().at(7), QStringLiteral("已连接"));
        ScriptedServer server({}, ScriptedServer::Silent);
        SocketElement element(7);
        QCOMPARE(element.State(), 0);
        QVERIFY(!element.Connect(QStringLiteral("127.0.0.1"), 70000));
        QVERIFY(element.Connect(QStringLiteral("127.0.0.1"), server.port().toInt()));
        QCOMPARE(element.RemotePort(), server.port().toInt());
        QTRY_COMPARE(element.State(), 7);
        element.Close();
        QCOMPARE(element.State(), 0);
        element.Connect(QStringLiteral("127.0.0.1"), closedPort().toInt());
        QTRY_COMPARE(element.State(), 9);
    }
};

QTEST_MAIN(TestServerMonitor)
#include "tst_servermonitor.moc"
