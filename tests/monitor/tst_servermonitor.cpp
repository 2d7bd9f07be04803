#include "FakeClock.h"
#include "FakeEcho.h"
#include "FakeRecorder.h"
#include "RecordingAlerts.h"
#include "RecordingFeed.h"

#include "monitor/GbkText.h"
#include "monitor/IcmpEchoService.h"
#include "monitor/ModulePing.h"
#include "monitor/MonitorSettings.h"
#include "monitor/NetworkCheck.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "monitor/ServerSilence.h"
#include "monitor/SocketArray.h"
#include "monitor/SocketElement.h"
#include "platform/LinuxIcmpSocket.h"

#include <QAbstractEventDispatcher>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <functional>

using Col = ServerRowModel::Column;

namespace {

const QString kCorrect = QStringLiteral("已收到正确的回应包");

// A loopback server that writes its answer when the request arrives, or on
// connecting when it greets; an empty answer keeps it silent.
class ScriptedServer final : public QObject {
public:
    explicit ScriptedServer(QByteArray reply, bool greet = false,
                            const QString& address = QStringLiteral("127.0.0.1"))
        : answer(std::move(reply)) {
        m_server.listen(QHostAddress(address), 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this, greet] {
            m_client = m_server.nextPendingConnection();
            ++connections;
            received.clear();
            if (greet)
                m_client->write(answer);
            connect(m_client, &QTcpSocket::readyRead, this, [this, greet, c = m_client] {
                if (received.isEmpty() && onRequest)
                    onRequest();
                if (received.isEmpty() && !greet)
                    c->write(answer);
                received += c->readAll();
            });
        });
    }
    QString port() const { return QString::number(m_server.serverPort()); }
    void sendMore(const QByteArray& bytes) { m_client->write(bytes); }

    QByteArray answer;
    QByteArray received; // of the latest connection
    int connections = 0;
    std::function<void()> onRequest;

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
};

// A peer that counts the connections it accepted; it answers "OK" to each
// request, or holds every connection open unanswered.
class CountingPeer final : public QObject {
public:
    explicit CountingPeer(bool answers) {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this, answers] {
            while (QTcpSocket* client = m_server.nextPendingConnection()) {
                ++accepted;
                connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
                if (answers)
                    connect(client, &QTcpSocket::readyRead, client,
                            [client] { client->write(client->readAll().isEmpty() ? "" : "OK"); });
            }
        });
    }
    QString port() const { return QString::number(m_server.serverPort()); }

    int accepted = 0;

private:
    QTcpServer m_server;
};

QStringList titles(const RecordingAlerts& alerts) {
    QStringList titles;
    for (const RecordingAlerts::Alert& alert : alerts.alerts)
        titles << alert.title;
    return titles;
}

QString closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return QString::number(server.serverPort());
}

ServerRecord record(const QString& port, const QString& postData = {},
                    const QString& replyData = {}, const QString& name = {},
                    const QString& address = QStringLiteral("127.0.0.1")) {
    return {1, name, address, port, postData, replyData, {}, true};
}

// The monitor among fakes, with the last texts it gave the window. The
// interval is 0, so every tick runs a pass; the real timer never fires.
struct Rig {
    // The echo service is the fake unless another is given.
    explicit Rig(EchoService* echoService = nullptr)
        : monitor{rows, list, settings, clock, echoService ? *echoService : echo, alerts} {
        list.setSourceModel(&rows);
        list.setDynamicSortFilter(false);
        monitor.setMeCaption(QStringLiteral("监控"));
        monitor.setTips(QStringLiteral("系统"));
        monitor.timerProc().setInterval(24 * 3600 * 1000);
        QObject::connect(&monitor, &ServerMonitor::statusPanelChanged,
                         [this](int n, const QString& text) { panels[n].append(text); });
        QObject::connect(&monitor, &ServerMonitor::windowTitleChanged,
                         [this](const QString& t) { title = t; });
        QObject::connect(&monitor, &ServerMonitor::tipChanged,
                         [this](const QString& t) { tip = t; });
        QObject::connect(&monitor, &ServerMonitor::startCaptionChanged,
                         [this](const QString& c) { caption = c; });
    }
    // A whole pass, until its last echo has completed.
    void pass() {
        if (!monitor.isMonitoring())
            monitor.CmdStart_Click();
        monitor.TimerProc_Timer();
        QTRY_VERIFY(!monitor.isPassRunning());
    }
    QString text(Col column, int row = 0) const { return rows.text(row, column); }
    QString socketState() {
        const SocketElement* element = monitor.sockets().element(rows.keyAt(0));
        return SocketStateNames().value(element ? element->State() : 0);
    }
    QString panel(int n) const { return panels.value(n).value(panels.value(n).size() - 1); }

    ServerRowModel rows;
    QSortFilterProxyModel list;
    MonitorSettings settings{0, 10000, 3, 0, false, {}};
    FakeClock clock;
    FakeEcho echo;
    RecordingAlerts alerts;
    ServerMonitor monitor;
    QMap<int, QStringList> panels;
    QString title, tip, caption;
};

// One pass in which the server's reply takes ms and the echo may be lost;
// returns once the reply is judged.
void replyPass(Rig& rig, ScriptedServer& server, const QByteArray& answer, qint64 ms = 0,
               bool echoLost = false) {
    server.answer = answer;
    server.onRequest = [&rig, ms] { rig.clock.advance(ms); };
    if (echoLost)
        rig.echo.script.enqueue({11010, 0});
    rig.pass();
    QTRY_COMPARE(rig.monitor.passReplyCount(), 1);
    // A reply counts when it arrives and is judged a yield later.
    QTRY_VERIFY(rig.text(Col::Status) != QStringLiteral("已发送数据包,等待回应..."));
}

constexpr RowColour kAmber(255, 191, 0), kRed(255, 0, 0), kGreen(0, 255, 0);

struct ProbeCase {
    QString postData;
    QByteArray wire, answer, more;
    QString replyData, status;
};
struct PendingCase {
    bool refused;
    qint32 timeOut;
    QTime start;
    qint64 age;
    enum Outcome { TimedOut, LeftRunning, Restarted } outcome;
    QString replyErr;
};
struct EchoCase {
    QList<FakeEcho::Answer> answers;
    QString pingTime, pingErr, toolTip;
};
struct OverlapCase {
    QList<FakeEcho::Answer> answers; // one per row, rows on 127.0.0.1, .2, .3
    QStringList pingTimes;
    QStringList answerOrder;
};
struct Interruption {
    std::function<void(Rig&)> action;
    int echoes, passNumber;
    bool coloured;
};

} // namespace

Q_DECLARE_METATYPE(ProbeCase)
Q_DECLARE_METATYPE(PendingCase)
Q_DECLARE_METATYPE(EchoCase)
Q_DECLARE_METATYPE(OverlapCase)
Q_DECLARE_METATYPE(Interruption)
Q_DECLARE_METATYPE(FakeEcho::Answer)

class TestServerMonitor final : public QObject {
    Q_OBJECT
private slots:
    // Panel 3 after each tick of an empty list; "pass" marks a pass.
    void passTimeInTheLocalesFormat_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("time");
        QTest::newRow("zh_CN") << "zh_CN"
                               << "21:05:07";
        QTest::newRow("zh_TW") << "zh_TW"
                               << "下午9:05:07";
        QTest::newRow("en_US") << "en_US"
                               << "9:05:07 PM";
    }
    void passTimeInTheLocalesFormat() {
        QFETCH(QString, locale);
        QFETCH(QString, time);
        Rig rig;
        rig.monitor.setLocale(QLocale(locale));
        rig.clock.setLocalTime(QTime(21, 5, 7, 450));
        rig.pass();
        QCOMPARE(rig.panel(3), QStringLiteral("任务正在进行:") + time);
        QCOMPARE(rig.tip, QStringLiteral("系统\r\n任务正在进行:") + time);
    }

    void countdown_data() {
        QTest::addColumn<double>("interval");
        QTest::addColumn<QStringList>("ticks");
        QStringList thirty{"pass"};
        for (int r = 29; r >= 0; --r)
            thirty << QStringLiteral("下次开始任务:%1秒后").arg(r);
        QTest::newRow("30 s") << 30.0 << (thirty << "pass");
        QTest::newRow("fraction counts as the next second")
            << 1.5 << QStringList{"pass", "下次开始任务:1秒后", "下次开始任务:0秒后", "pass"};
    }
    void countdown() {
        QFETCH(double, interval);
        QFETCH(QStringList, ticks);
        Rig rig;
        rig.settings.iTimerN = interval;
        rig.monitor.CmdStart_Click();
        QCOMPARE(rig.caption, QStringLiteral("停止监控"));
        QCOMPARE(rig.tip, QStringLiteral("系统\r\n正在监控..."));
        for (const QString& expected : ticks) {
            const qint32 before = rig.monitor.passNumber();
            rig.monitor.TimerProc_Timer();
            if (expected == QStringLiteral("pass")) {
                QCOMPARE(rig.monitor.passNumber(), before + 1);
                QVERIFY(rig.panel(3).startsWith(QStringLiteral("任务正在进行:")));
                QCOMPARE(rig.title, QStringLiteral("监控[任务正在进行...]"));
                QCOMPARE(rig.panel(2), QStringLiteral("SOCKET回应:0/0"));
                continue;
            }
            QCOMPARE(rig.panel(3), expected);
            QCOMPARE(rig.tip, QStringLiteral("系统\r\n") + expected);
            QCOMPARE(rig.title, "监控[ " + expected.mid(7).chopped(2) + " 秒后开始下次任务]");
            QCOMPARE(rig.panel(4) + rig.panel(5), QStringLiteral("Socket异常:0Ping异常:0"));
        }
        rig.monitor.CmdStart_Click();
        QCOMPARE(rig.caption, QStringLiteral("开始监控"));
        QCOMPARE(rig.panel(3), QStringLiteral("任务等待开始"));
        QCOMPARE(rig.title, QStringLiteral("监控[等待开始任务]"));
        QCOMPARE(rig.tip, QStringLiteral("系统\r\n等待开始任务..."));
    }

    // Every probe starts 10 ms before midnight; the server takes 47 ms.
    void probe_data() {
        QTest::addColumn<ProbeCase>("c");
        const QByteArray ready = "220 Service Ready\r\n";
        const QByteArray gbkHello = GbkText::encode("你好"), gbkReply = GbkText::encode("服务正常");
        const auto row = [](const char* name, const ProbeCase& c) { QTest::newRow(name) << c; };
        row("case ignored", {"HELO\r\n", "HELO\r\n", ready, {}, "service ready", kCorrect});
        row("contained", {"HELO", "HELO", ready, {}, "Ready", kCorrect});
        row("empty expectation", {"HELO", "HELO", ready, {}, "", kCorrect});
        row("wrong", {"HELO", "HELO", ready, {}, "OK", "应答包错误：220 Service Ready\r\n"});
        row("GBK both ways", {"你好", gbkHello, gbkReply, {}, "正常", kCorrect});
        row("two segments: first only", {"Q", "Q", "HELLO", "WORLD", "WORLD", "应答包错误：HELLO"});
        row("lower-case asc", {"asc:65:x:300:66:", "AB", "OK", {}, "OK", kCorrect});
        row("hex is plain here", {"HEX:41:42", "HEX:41:42", "OK", {}, "OK", kCorrect});
    }
    void probe() {
        QFETCH(ProbeCase, c);
        Rig rig;
        ScriptedServer server(c.answer);
        server.onRequest = [&rig] { rig.clock.advance(47); };
        rig.clock.setLocalTime(QTime(23, 59, 59, 990));
        rig.rows.resetRows({record(server.port(), c.postData, c.replyData)});
        rig.pass();
        QTRY_COMPARE(rig.text(Col::Status), c.status);
        QCOMPARE(rig.socketState(), QStringLiteral("关闭"));
        if (!c.more.isEmpty())
            server.sendMore(c.more);
        const QString errors = c.status == kCorrect ? "0" : "1";
        QCOMPARE(server.received, c.wire);
        QCOMPARE(rig.text(Col::ReplyTime), QStringLiteral("47ms"));
        QCOMPARE(rig.text(Col::ReplyErr) + rig.rows.tag(0, Col::ReplyErr), errors + errors);
        QCOMPARE(rig.rows.toolTip(0, Col::ReplyErr), QStringLiteral("累计错误数:") + errors);
        QCOMPARE(rig.rows.toolTip(0, Col::ReplyData), GbkText::decode(c.answer));
        QCOMPARE(rig.monitor.socketFaultCount(), errors.toInt());
        QCOMPARE(rig.panel(2), QStringLiteral("SOCKET回应:1/1[100%]"));
        // The pass's last reply is painted with its own result.
        QCOMPARE(rig.rows.rowColour(0), errors == "0" ? RowColour() : RowColour(255, 0, 0));
    }

    // A probe left pending (silent server) or failed (refused) by the first
    // pass: a silent server's is timed out once older than the time-out and
    // left running while younger; a failed one is finished and started
    // afresh, whatever its age.
    void pendingProbe_data() {
        QTest::addColumn<PendingCase>("c");
        const QTime noon(12, 0), midnight(23, 59, 59, 900);
        using P = PendingCase;
        QTest::newRow("older: timed out") << P{false, 10000, noon, 10001, P::TimedOut, "1"};
        QTest::newRow("exactly the time-out") << P{false, 10000, noon, 10000, P::LeftRunning, "0"};
        QTest::newRow("younger: left running") << P{false, 10000, noon, 5000, P::LeftRunning, "0"};
        QTest::newRow("time-out above 32767") << P{false, 40000, noon, 40001, P::TimedOut, "1"};
        QTest::newRow("across midnight") << P{false, 10000, midnight, 10001, P::TimedOut, "1"};
        QTest::newRow("refused, older: restarted")
            << P{true, 10000, noon, 10001, P::Restarted, "2"};
        QTest::newRow("refused, younger: restarted")
            << P{true, 10000, noon, 5000, P::Restarted, "2"};
    }
    void pendingProbe() {
        QFETCH(PendingCase, c);
        Rig rig;
        rig.settings.iTimeOut = c.timeOut;
        rig.clock.setLocalTime(c.start);
        ScriptedServer server({});
        rig.rows.resetRows({record(c.refused ? closedPort() : server.port(), "Q", "OK")});
        rig.pass();
        QTRY_COMPARE(rig.text(Col::Status).left(4), c.refused ? "SOCK" : "已发送数");
        QVERIFY(rig.text(Col::ReplyTime).contains(':'));
        QCOMPARE(rig.socketState(), c.refused ? "错误" : "已连接");

        rig.clock.advance(c.age);
        rig.pass();
        QTRY_COMPARE(rig.text(Col::ReplyErr), c.replyErr);
        if (c.outcome == PendingCase::TimedOut) {
            const QString limit = QString::number(c.timeOut) + "ms";
            QCOMPARE(rig.text(Col::ReplyTime), "超过" + limit);
            QCOMPARE(rig.text(Col::Status), "SOCKET超时:" + limit);
            QCOMPARE(rig.rows.tag(0, Col::ReplyErr), QStringLiteral("1"));
            QCOMPARE(rig.monitor.socketFaultCount(), 1);
            QCOMPARE(rig.echo.targets.size(), 1); // no probe, no echo
            rig.pass();                           // probed as usual again
        }
        QCOMPARE(rig.echo.targets.size(), 2); // the echo goes on in every case
        if (c.outcome == PendingCase::LeftRunning) {
            QCOMPARE(rig.socketState(), QStringLiteral("已连接"));
            QCOMPARE(rig.text(Col::Status), QStringLiteral("已发送数据包,等待回应..."));
            QCOMPARE(rig.rows.probeStartedMs(0), rig.clock.monotonicMs() - c.age);
        }
        QTRY_COMPARE(server.connections,
                     c.refused ? 0 : (c.outcome == PendingCase::TimedOut ? 2 : 1));
    }

    // A port the socket cannot use fails at the call: nothing runs, so the
    // next pass tries again.
    void unusablePortIsProbedAgain() {
        Rig rig;
        rig.rows.resetRows({record(QStringLiteral("70000"), "Q", "OK")});
        rig.pass();
        QCOMPARE(rig.text(Col::Status), QStringLiteral("正在尝试连接服务器"));
        QCOMPARE(rig.socketState(), QStringLiteral("关闭"));
        rig.clock.advance(5000);
        rig.pass();
        QCOMPARE(rig.rows.probeStartedMs(0), rig.clock.monotonicMs());
        QCOMPARE(rig.text(Col::ReplyErr), QStringLiteral("0"));
        QCOMPARE(rig.echo.targets.size(), 2);
    }

    // The reference list as the network check asks it: "e" an echo, "t" a
    // connection, "x" an entry that names nothing (counted as answered).
    void networkCheckEntries_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("blanks only") << " \t " << QStringList{};
        QTest::newRow("echo and connection")
            << " 10.0.0.1\tgw.lan:53  h:65535 "
            << QStringList{"e 10.0.0.1", "t gw.lan 53", "t h 65535"};
        QTest::newRow("IPv6 forms") << "::1 [::1] [::1]:80 [fe80::1%lo]:22"
                                    << QStringList{"e ::1", "e ::1", "t ::1 80", "t fe80::1%lo 22"};
        QTest::newRow("unusable") << ":80 h: h:0 h:65536 h:http [::1]x [h]:80 [::1 1:2:3"
                                  << QStringList(9, "x");
    }
    void networkCheckEntries() {
        QFETCH(QString, list);
        QFETCH(QStringList, entries);
        QStringList parsed;
        for (const NetworkCheck::Entry& entry : NetworkCheck::parseEntries(list)) {
            using Kind = NetworkCheck::Entry::Kind;
            if (entry.kind == Kind::Unusable)
                parsed << "x";
            else if (entry.kind == Kind::Echo)
                parsed << "e " + entry.host;
            else
                parsed << QStringLiteral("t %1 %2").arg(entry.host).arg(entry.port);
        }
        QCOMPARE(parsed, entries);
    }

    // No reference answers (a lost echo, a closed port): every row says so
    // and nothing of the pass counts, with one notice however long it lasts.
    // Then one answers, an echo or a connection: one notice, normal passes.
    void ownNetworkDownAndBack_data() {
        QTest::addColumn<bool>("echoAnswers");
        QTest::newRow("echo answers again") << true;
        QTest::newRow("connection made again") << false;
    }
    void ownNetworkDownAndBack() {
        QFETCH(bool, echoAnswers);
        Rig rig;
        rig.settings.iPingLim = 1;
        rig.settings.iReplyLim = 1;
        ScriptedServer server("OK");
        rig.rows.resetRows({record(server.port(), "Q", "OK"),
                            record(closedPort(), "Q", "OK", {}, QStringLiteral("127.0.0.2"))});
        const QString reference = QStringLiteral("127.0.0.9");
        rig.settings.NetCheck = reference + "  127.0.0.1:" + closedPort();
        for (int pass = 0; pass < 2; ++pass) {
            rig.echo.script.enqueue({0, 0, FakeEcho::Never});
            rig.pass();
        }
        QVERIFY(rig.monitor.networkCheck().isDown());
        QCOMPARE(rig.echo.targets, QStringList(2, reference));
        QCOMPARE(server.connections, 0);
        for (int row = 0; row < 2; ++row) {
            QCOMPARE(rig.text(Col::Status, row), QStringLiteral("本机网络异常"));
            QCOMPARE(rig.text(Col::ReplyErr, row) + rig.text(Col::PingErr, row), "00");
            QCOMPARE(rig.rows.rowColour(row), RowColour());
        }
        QCOMPARE(rig.monitor.passNumber(), 1);
        QCOMPARE(rig.monitor.socketFaultCount() + rig.monitor.pingFaultCount(), 0);
        QCOMPARE(titles(rig.alerts), QStringList{"注意:本机网络异常"});

        QTcpServer back;
        if (echoAnswers) {
            rig.echo.script.enqueue({0, 5});
        } else {
            QVERIFY(back.listen(QHostAddress::LocalHost, 0));
            rig.echo.script.enqueue({0, 0, FakeEcho::Never});
            rig.settings.NetCheck += QStringLiteral(" 127.0.0.1:%1").arg(back.serverPort());
        }
        rig.pass();
        QTRY_COMPARE(rig.text(Col::Status, 0), kCorrect);
        QTRY_COMPARE(rig.text(Col::Status, 1).left(8), QStringLiteral("SOCKET错误"));
        QCOMPARE(titles(rig.alerts), QStringList({"注意:本机网络异常", "注意:本机网络已恢复",
                                                  "注意:服务器测试返回异常"}));
        QVERIFY2(!rig.alerts.alerts.at(0).notice && rig.alerts.alerts.at(1).notice,
                 "an outage alerts, its end is a quiet notice");
        QCOMPARE(rig.echo.targets.mid(2), QStringList({reference, "127.0.0.1", "127.0.0.2"}));
        QCOMPARE(rig.monitor.passNumber(), 2);
    }

    // The outage gives up a probe pending from the pass before: it is never
    // counted as timed out, and the next pass probes afresh.
    void outageGivesUpAPendingProbe() {
        Rig rig;
        ScriptedServer silent({});
        rig.rows.resetRows({record(silent.port(), "Q", "OK")});
        rig.settings.NetCheck = QStringLiteral("127.0.0.9");
        rig.pass();
        QTRY_COMPARE(rig.socketState(), QStringLiteral("已连接"));
        rig.clock.advance(20000);
        rig.echo.script.enqueue({0, 0, FakeEcho::Never});
        rig.pass();
        QCOMPARE(rig.text(Col::ReplyTime), QStringLiteral("0"));
        QCOMPARE(rig.socketState(), QStringLiteral("关闭"));
        rig.pass();
        QTRY_COMPARE(silent.connections, 2);
        QCOMPARE(rig.text(Col::ReplyErr), QStringLiteral("0"));
        QCOMPARE(rig.monitor.socketFaultCount(), 0);
    }

    // A reference that cannot be asked counts as answered, so an echo the
    // system does not permit never makes the network look down.
    void referenceThatCannotBeAskedCountsAsAnswered_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<FakeEcho::Answer>("echo");
        QTest::newRow("echo not permitted") << "127.0.0.9" << FakeEcho::Answer{11050, 0, 0, true};
        QTest::newRow("unusable entry")
            << "127.0.0.9 127.0.0.1:http" << FakeEcho::Answer{0, 0, FakeEcho::Never};
    }
    void referenceThatCannotBeAskedCountsAsAnswered() {
        QFETCH(QString, list);
        QFETCH(FakeEcho::Answer, echo);
        Rig rig;
        ScriptedServer server("OK");
        rig.rows.resetRows({record(server.port(), "Q", "OK")});
        rig.settings.NetCheck = list;
        rig.echo.script.enqueue(echo);
        rig.pass();
        QTRY_COMPARE(rig.text(Col::Status), kCorrect);
        QVERIFY(!rig.monitor.networkCheck().isDown());
        QCOMPARE(rig.monitor.passNumber(), 2);
    }

    // Without reference addresses the pass starts probing its rows within the
    // tick, as it always has; emptying the list during an outage resumes
    // passes without a notice.
    void emptyReferenceListChecksNothing() {
        Rig rig;
        ScriptedServer server("OK");
        rig.rows.resetRows({record(server.port(), "Q", "OK")});
        rig.settings.NetCheck = QStringLiteral("127.0.0.9");
        rig.echo.script.enqueue({0, 0, FakeEcho::Never});
        rig.pass();
        QCOMPARE(rig.text(Col::Status), QStringLiteral("本机网络异常"));
        rig.settings.NetCheck = QStringLiteral(" ");
        rig.monitor.TimerProc_Timer();
        QCOMPARE(rig.text(Col::Status), QStringLiteral("正在尝试连接服务器"));
        QTRY_COMPARE(rig.echo.targets, QStringList({"127.0.0.9", "127.0.0.1"}));
        QTRY_COMPARE(rig.text(Col::Status), kCorrect);
        QVERIFY(!rig.monitor.networkCheck().isDown());
        QCOMPARE(titles(rig.alerts), QStringList{"注意:本机网络异常"});
    }

    // With passes every 6 s and a 10 s time-out, a server that accepts and
    // never answers is timed out by the first pass after 10 s, and counted
    // once.
    void silentServerCountedWhenTheIntervalIsShorterThanTheTimeOut() {
        Rig rig;
        rig.settings.iTimerN = 5;
        rig.settings.iTimeOut = 10000;
        ScriptedServer server({});
        rig.rows.resetRows({record(server.port(), "Q", "OK")});
        rig.monitor.CmdStart_Click();
        const QString sent = QStringLiteral("已发送数据包,等待回应...");
        QStringList passes; // the second of each pass and the row after it
        for (int second = 0; second <= 12; ++second) {
            const qint32 before = rig.monitor.passNumber();
            rig.monitor.TimerProc_Timer();
            QTRY_VERIFY(!rig.monitor.isPassRunning());
            if (rig.monitor.passNumber() != before) {
                if (second == 0)
                    QTRY_VERIFY(rig.text(Col::Status) == sent && server.connections == 1);
                passes << QStringLiteral("%1 s: %2, %3 errors, %4 connections")
                              .arg(second)
                              .arg(rig.text(Col::Status), rig.text(Col::ReplyErr))
                              .arg(server.connections);
            }
            rig.clock.advance(1000);
        }
        QCOMPARE(passes, QStringList({"0 s: 已发送数据包,等待回应..., 0 errors, 1 connections",
                                      "6 s: 已发送数据包,等待回应..., 0 errors, 1 connections",
                                      "12 s: SOCKET超时:10000ms, 1 errors, 1 connections"}));
        QCOMPARE(rig.monitor.socketFaultCount(), 1);
        for (int second = 13; second <= 18; ++second) {
            rig.monitor.TimerProc_Timer();
            QTRY_VERIFY(!rig.monitor.isPassRunning());
            rig.clock.advance(1000);
        }
        QCOMPARE(rig.monitor.passNumber(), 5); // the pass at 18 s probes afresh
        QTRY_VERIFY(rig.text(Col::Status) == sent && server.connections == 2);
        QCOMPARE(rig.text(Col::ReplyErr), QStringLiteral("1"));
        QCOMPARE(rig.echo.targets.size(), 3); // the timed-out row has no echo
    }

    // With an interval of 12 s (passes 13 s apart) and a 3 s time-out, a
    // server that refuses connections is probed and echoed by every pass and
    // fails each time with its socket error; it never counts as timed out,
    // and its run of faults alerts once, at the limit.
    void refusedServerFailsEveryPassWhenTheIntervalIsLongerThanTheTimeOut() {
        Rig rig;
        FakeRecorder recorder;
        rig.monitor.setRecorder(&recorder);
        rig.settings.iTimerN = 12;
        rig.settings.iTimeOut = 3000;
        rig.settings.iReplyLim = 3;
        rig.rows.resetRows({record(closedPort(), "Q", "OK")});
        rig.monitor.CmdStart_Click();
        const QString refused = QStringLiteral("SOCKET错误:连接被拒绝");
        int passes = 0;
        for (int second = 0; second <= 5 * 13; ++second) {
            const qint32 before = rig.monitor.passNumber();
            rig.monitor.TimerProc_Timer();
            QTRY_VERIFY(!rig.monitor.isPassRunning());
            if (rig.monitor.passNumber() != before) {
                ++passes;
                QTRY_COMPARE(rig.text(Col::ReplyErr), QString::number(passes));
                QCOMPARE(rig.text(Col::Status), refused);
                QCOMPARE(rig.echo.targets.size(), passes);
                QCOMPARE(rig.monitor.socketFaultCount(), 1);
                QCOMPARE(rig.alerts.alerts.size(), passes < 3 ? 0 : 1);
            }
            rig.clock.advance(1000);
        }
        QCOMPARE(passes, 6);
        QCOMPARE(titles(rig.alerts), QStringList{"注意:服务器测试返回异常"});
        QCOMPARE(rig.alerts.alerts.at(0).text, "IP:127.0.0.1\r\n状态:" + refused);
        QStringList socketResults;
        for (const ProbeOutcome& outcome : std::as_const(recorder.outcomes)) {
            if (outcome.isSocket())
                socketResults << QString::number(outcome.kind);
        }
        QCOMPARE(socketResults, QStringList(6, QString::number(ProbeOutcome::SocketError)));
    }

    // Every address form the element takes: literals connect at once, names
    // after they resolved (trying each address they resolve to). Outcomes
    // arrive after the call, never inside it.
    void socketElementAddressForms_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("listenOn"); // empty: nothing listens
        QTest::addColumn<int>("stateAtOnce");
        QTest::addColumn<QString>("error"); // empty: connects
        QTest::newRow("IPv4 literal") << "127.0.0.1"
                                      << "127.0.0.1" << 6 << "";
        QTest::newRow("host name") << "localhost"
                                   << "127.0.0.1" << 4 << "";
        QTest::newRow("IPv6 literal") << "::1"
                                      << "::1" << 6 << "";
        QTest::newRow("IPv6 literal in brackets") << "[::1]"
                                                  << "::1" << 6 << "";
        QTest::newRow("refused") << "127.0.0.1"
                                 << "" << 6 << "连接被拒绝";
        QTest::newRow("no host") << ""
                                 << "" << 4 << "找不到主机";
    }
    void socketElementAddressForms() {
        QFETCH(QString, host);
        QFETCH(QString, listenOn);
        QFETCH(int, stateAtOnce);
        QFETCH(QString, error);
        QTcpServer server;
        int accepted = 0;
        if (!listenOn.isEmpty() && !server.listen(QHostAddress(listenOn), 0))
            QSKIP("this loopback address is not available here");
        connect(&server, &QTcpServer::newConnection, &server, [&] {
            while (server.nextPendingConnection())
                ++accepted;
        });
        const int port = listenOn.isEmpty() ? closedPort().toInt() : server.serverPort();
        SocketElement socket(7);
        QSignalSpy connected(&socket, &SocketElement::Connected);
        QSignalSpy failed(&socket, &SocketElement::Error);
        QVERIFY(socket.Connect(host, port));
        QCOMPARE(socket.State(), stateAtOnce);
        QCOMPARE(socket.RemoteHost() + ':' + QString::number(socket.RemotePort()),
                 host + ':' + QString::number(port));
        QCOMPARE(failed.size() + connected.size(), 0);
        if (error.isEmpty()) {
            QTRY_COMPARE(connected.size(), 1);
            QCOMPARE(connected.at(0).at(0).value<quint64>(), quint64(7));
            QCOMPARE(socket.State(), 7);
            QTRY_COMPARE(accepted, 1);
            QCOMPARE(failed.size(), 0);
        } else {
            QTRY_COMPARE(failed.size(), 1);
            QCOMPARE(failed.at(0).at(2).toString(), error);
            QCOMPARE(socket.State(), SocketElement::ErrorState);
            QCOMPARE(connected.size(), 0);
        }
        socket.Close();
        QCOMPARE(socket.State(), 0);
        QString problem;
        QVERIFY(!socket.Connect(host, 65536, &problem));
        QVERIFY(!problem.isEmpty());
    }

    void replyAlertAtTheLimitOnly() {
        Rig rig;
        ScriptedServer server("BAD");
        rig.rows.resetRows({record(server.port(), "Q", "GOOD")});
        const QList<QByteArray> answers{"BAD", "BAD", "BAD", "BAD", "GOOD", "BAD", "BAD", "BAD"};
        const QList<int> alertsAfter{0, 0, 1, 1, 1, 1, 1, 2};
        for (int i = 0; i < answers.size(); ++i) {
            server.answer = answers.at(i);
            rig.pass();
            QTRY_COMPARE(rig.monitor.passReplyCount(), 1);
            // A reply counts when it arrives and is judged a yield later.
            QTRY_VERIFY(rig.text(Col::Status) != QStringLiteral("已发送数据包,等待回应..."));
            QCOMPARE(rig.alerts.alerts.size(), alertsAfter.at(i));
        }
        QCOMPARE(rig.alerts.alerts.constLast().timeOut, 4);
        QCOMPARE(rig.alerts.alerts.constLast().title, QStringLiteral("注意:服务器测试返回异常"));
        QCOMPARE(rig.alerts.alerts.constLast().text, "IP:127.0.0.1\r\n状态:应答包错误：BAD");
        // Each alert names its server, so a desktop notice can replace that
        // server's previous one.
        QCOMPARE(rig.alerts.alerts.constLast().server, QStringLiteral("1"));
    }

    // WarnMs 100 and a reply limit of 3: slow replies are a run of their own,
    // which only a reply in time ends; a row is green before red before amber.
    void slowRepliesAndColourPrecedence() {
        Rig rig;
        rig.settings.iPingLim = 5;
        ScriptedServer server("OK");
        ServerRecord slow = record(server.port(), "Q", "OK");
        slow.warnMs = 100;
        rig.rows.resetRows({slow});
        struct Step {
            qint64 ms;
            QByteArray answer;
            bool echoLost;
            QString status;
            RowColour colour;
            int alerts;
        };
        const QList<Step> steps{
            {150, "OK", false, "响应缓慢:150ms", kAmber, 0},
            {150, "OK", false, "响应缓慢:150ms", kAmber, 0},
            {250, "OK", false, "响应缓慢:250ms", kAmber, 1},
            {50, "BAD", false, "应答包错误：BAD", kRed, 1},
            {150, "OK", true, "响应缓慢:150ms", kGreen, 1},
            {100, "OK", false, kCorrect, {}, 1},
            {150, "OK", false, "响应缓慢:150ms", kAmber, 1},
        };
        for (const Step& step : steps) {
            replyPass(rig, server, step.answer, step.ms, step.echoLost);
            QCOMPARE(rig.text(Col::Status), step.status);
            QCOMPARE(rig.rows.rowColour(0), step.colour);
            QCOMPARE(rig.alerts.alerts.size(), step.alerts);
        }
        QCOMPARE(rig.alerts.alerts.at(0).title, QStringLiteral("注意:服务器响应缓慢"));
        QCOMPARE(rig.alerts.alerts.at(0).text, "IP:127.0.0.1\r\n状态:响应缓慢:250ms");
        QCOMPARE(rig.text(Col::ReplyErr), QStringLiteral("0"));
    }

    // Three faults a minute apart, then a success.
    void recoveryNotice_data() {
        QTest::addColumn<bool>("echo");
        QTest::addColumn<int>("recoveryMsg");
        QTest::addColumn<int>("faults");
        QTest::addColumn<bool>("notice");
        QTest::newRow("socket faults at the limit") << false << 1 << 3 << true;
        QTest::newRow("echoes lost at the limit") << true << 1 << 3 << true;
        QTest::newRow("run short of the limit") << false << 1 << 2 << false;
        QTest::newRow("notices off") << false << 0 << 3 << false;
    }
    void recoveryNotice() {
        QFETCH(bool, echo);
        QFETCH(int, recoveryMsg);
        QFETCH(int, faults);
        QFETCH(bool, notice);
        Rig rig;
        RecordingFeed feed;
        rig.monitor.setAlertFeed(&feed);
        rig.settings.iPingLim = 3;
        rig.settings.RecoveryMsg = recoveryMsg;
        ScriptedServer server("OK");
        rig.rows.resetRows({record(server.port(), "Q", "OK", "web")});
        for (int fault = 0; fault < faults; ++fault) {
            replyPass(rig, server, echo ? "OK" : "BAD", 0, echo);
            rig.clock.advance(60000);
        }
        replyPass(rig, server, "OK");
        QCOMPARE(rig.text(Col::Status), kCorrect);
        QCOMPARE(rig.alerts.alerts.size(), (faults == 3 ? 1 : 0) + (notice ? 1 : 0));
        if (notice) {
            const RecordingAlerts::Alert& last = rig.alerts.alerts.constLast();
            QVERIFY(last.notice);
            QCOMPARE(last.server, QStringLiteral("1"));
            QCOMPARE(last.title, QStringLiteral("注意:服务器已恢复"));
            QCOMPARE(last.text, "服务器:web\r\nIP:127.0.0.1\r\n故障时长:3分0秒");
        }
        // The channels hear of every alert and, whatever RECOVERYMSG says, of
        // the recovery from a run at its limit.
        QCOMPARE(feed.events.size(), faults == 3 ? 2 : 0);
        if (faults == 3) {
            const AlertEvent& alert = feed.events.first();
            QCOMPARE(alert.kind, AlertEvent::Kind::Alert);
            QCOMPARE(alert.title, rig.alerts.alerts.first().title);
            QCOMPARE(alert.message, rig.alerts.alerts.first().text);
            QCOMPARE(alert.server, QStringLiteral("1"));
            QCOMPARE(alert.serverName, QStringLiteral("web"));
            QCOMPARE(alert.address, QStringLiteral("127.0.0.1"));
            QCOMPARE(alert.port, server.port());
            QCOMPARE(alert.durationMs, -1LL);
            const AlertEvent& recovery = feed.events.last();
            QCOMPARE(recovery.kind, AlertEvent::Kind::Recovery);
            QCOMPARE(recovery.title, QStringLiteral("注意:服务器已恢复"));
            QCOMPARE(recovery.durationMs, 180000LL);
            if (!echo)
                QCOMPARE(recovery.status, kCorrect);
        }
    }

    // A silenced server is probed and painted but alerts nobody, until its
    // hour has passed or it has recovered (which it hears of).
    void silencedServerAlertsNobody_data() {
        QTest::addColumn<bool>("untilRecovery");
        QTest::newRow("for an hour") << false;
        QTest::newRow("until recovery") << true;
    }
    void silencedServerAlertsNobody() {
        QFETCH(bool, untilRecovery);
        Rig rig;
        QList<std::pair<qint64, qint64>> stored;
        QList<ServerSilence::Origin> origins;
        ServerSilence silence(rig.rows, rig.clock,
                              [&](qint64 id, qint64 until, ServerSilence::Origin origin) {
                                  stored.append({id, until});
                                  origins.append(origin);
                                  return QString();
                              });
        rig.monitor.setSilence(&silence);
        RecordingFeed feed;
        rig.monitor.setAlertFeed(&feed);
        ScriptedServer server("OK");
        rig.rows.resetRows({record(server.port(), "Q", "OK", "web")});
        const qint64 until = untilRecovery ? ServerRecord::SilencedUntilRecovery
                                           : rig.clock.utcMs() + ServerSilence::HourMs;
        silence.apply(1, untilRecovery ? ServerSilence::Kind::UntilRecovery
                                       : ServerSilence::Kind::ForHour);
        QCOMPARE(stored, (QList<std::pair<qint64, qint64>>{{1, until}}));
        const QModelIndex name = rig.rows.index(0, Col::DisplayName);
        QCOMPARE(name.data().toString(), QStringLiteral("【静默】web"));
        QVERIFY(name.data(Qt::ToolTipRole).toString().contains(ServerRowModel::silenceNote(until)));

        const auto failingRun = [&] {
            for (int fault = 0; fault < 3; ++fault)
                replyPass(rig, server, "BAD");
        };
        failingRun();
        QCOMPARE(rig.rows.rowColour(0), kRed);
        QVERIFY(rig.alerts.alerts.isEmpty());
        if (untilRecovery) {
            replyPass(rig, server, "OK");
            QCOMPARE(rig.alerts.alerts.size(), 1);
            QCOMPARE(rig.alerts.alerts.at(0).title, QStringLiteral("注意:服务器已恢复"));
            QCOMPARE(stored.constLast(), (std::pair<qint64, qint64>{1, 0}));
            QCOMPARE(origins,
                     (QList{ServerSilence::Origin::Operator, ServerSilence::Origin::Recovery}));
        } else {
            rig.clock.advance(ServerSilence::HourMs - 1);
            replyPass(rig, server, "OK");
            QVERIFY(silence.isSilenced(0));
            rig.clock.advance(1);
            replyPass(rig, server, "OK");
            QVERIFY(rig.alerts.alerts.isEmpty());
        }
        QCOMPARE(name.data().toString(), QStringLiteral("web"));
        QVERIFY(feed.events.isEmpty()); // not even the recovery the operator asked for
        failingRun();
        QCOMPARE(rig.alerts.alerts.constLast().title, QStringLiteral("注意:服务器测试返回异常"));
        QCOMPARE(feed.events.size(), 1);
        QCOMPARE(feed.events.first().title, QStringLiteral("注意:服务器测试返回异常"));
    }

    // Echoes the system does not permit: one alert per run says what to
    // run, and the PingTime cells' tool-tips say it while it lasts.
    void echoWithoutPermissionSaysHowToGrantIt() {
        Rig rig;
        rig.settings.iPingLim = 0;
        rig.settings.iReplyLim = 0;
        rig.rows.resetRows({record(closedPort()), record(closedPort())});
        const FakeEcho::Answer denied{11050, 0, 0, true};
        const QString notice = ServerMonitor::echoPermissionNotice();
        QCOMPARE(notice, QStringLiteral("无法发送PING:请运行 setcap cap_net_raw+ep ") +
                             QCoreApplication::applicationFilePath());
        for (int pass = 0; pass < 2; ++pass) {
            rig.echo.script.append({denied, denied});
            rig.pass();
            QCOMPARE(rig.alerts.alerts.size(), 1);
            for (int row = 0; row < 2; ++row) {
                QCOMPARE(rig.text(Col::PingTime, row), ModulePing::PingStatusText(11050));
                QCOMPARE(rig.rows.toolTip(row, Col::PingTime), notice);
            }
        }
        QCOMPARE(rig.alerts.alerts.at(0).title, QStringLiteral("注意:无法发送PING"));
        QCOMPARE(rig.alerts.alerts.at(0).text, notice);
        QCOMPARE(rig.alerts.alerts.at(0).timeOut, 4);
        // The status bar counts them as any lost echoes of the pass.
        QCOMPARE(rig.monitor.pingFaultCount(), 2);

        // Granted meanwhile: the tip goes, and nothing more is said.
        rig.echo.script.append({FakeEcho::Answer{0, 3}, FakeEcho::Answer{11010, 0}});
        rig.pass();
        QCOMPARE(rig.rows.toolTip(0, Col::PingTime), QString());
        QCOMPARE(rig.rows.toolTip(1, Col::PingTime), QString());
        QCOMPARE(rig.alerts.alerts.size(), 1);
    }

    // Echo answers, one per pass, and the row's ping cells after the last.
    void echoStatistics_data() {
        QTest::addColumn<EchoCase>("c");
        const FakeEcho::Answer lost{11010, 0};
        const QString lostText = ModulePing::PingStatusText(11010);
        const auto row = [](const char* name, const EchoCase& c) { QTest::newRow(name) << c; };
        row("lost, 20, 30",
            {{lost, {0, 20}, {0, 30}}, "30 ms", "0", "平均延时:25ms  丢包率:33%(1/3)"});
        row("answered", {{{0, 23}}, "23 ms", "0", "平均延时:23ms  丢包率:0%(0/1)"});
        row("halves to even", {{{0, 22}, {0, 23}}, "23 ms", "0", "平均延时:22ms  丢包率:0%(0/2)"});
        row("failed with a small time",
            {{{0, 10}, {11010, 5}}, lostText, "1", "平均延时:10ms  丢包率:50%(1/2)"});
        row("above 10000 ms is lost",
            {{{0, 10001}, lost}, lostText, "2", "平均延时:0ms  丢包率:100%(2/2)"});
    }
    void echoStatistics() {
        QFETCH(EchoCase, c);
        Rig rig;
        rig.settings.iPingLim = 2;
        rig.settings.iReplyLim = 0;
        rig.rows.resetRows({record(closedPort())});
        for (const FakeEcho::Answer& answer : c.answers) {
            rig.echo.script.enqueue(answer);
            rig.pass();
        }
        QCOMPARE(rig.echo.targets, QStringList(c.answers.size(), QStringLiteral("127.0.0.1")));
        QCOMPARE(rig.text(Col::PingTime), c.pingTime);
        QCOMPARE(rig.text(Col::PingErr), c.pingErr);
        QCOMPARE(rig.rows.tag(0, Col::PingErr), c.pingErr == "0" ? "0" : "1");
        QCOMPARE(rig.rows.toolTip(0, Col::PingState), c.toolTip);
        QVERIFY(c.toolTip.startsWith(rig.text(Col::PingState) + '('));
        QCOMPARE(rig.alerts.alerts.size(), c.pingErr == "2" ? 1 : 0);
        if (!rig.alerts.alerts.isEmpty())
            QCOMPARE(rig.alerts.alerts.at(0).title, QStringLiteral("注意:服务器PING异常"));
    }

    // Each row's echo is sent when the pass reaches the row; the outcomes
    // complete their own rows in whatever order they come, and the pass ends
    // (colours, pass number) with the last of them.
    void echoesOverlap_data() {
        QTest::addColumn<OverlapCase>("c");
        const QString lost = ModulePing::PingStatusText(11010);
        const QString a = QStringLiteral("127.0.0.1"), b = QStringLiteral("127.0.0.2"),
                      c = QStringLiteral("127.0.0.3");
        QTest::newRow("in order") << OverlapCase{
            {{0, 7}, {0, 8}, {0, 9}}, {"7 ms", "8 ms", "9 ms"}, {a, b, c}};
        QTest::newRow("out of order") << OverlapCase{
            {{0, 30, 120}, {0, 20, 0}, {0, 10, 60}}, {"30 ms", "20 ms", "10 ms"}, {b, c, a}};
        QTest::newRow("late") << OverlapCase{
            {{0, 5}, {0, 6, 300}, {0, 7}}, {"5 ms", "6 ms", "7 ms"}, {a, c, b}};
        QTest::newRow("never") << OverlapCase{{{0, 5}, {0, 0, FakeEcho::Never}, {11003, 0}},
                                              {"5 ms", lost, ModulePing::PingStatusText(11003)},
                                              {a, c, b}};
    }
    void echoesOverlap() {
        QFETCH(OverlapCase, c);
        Rig rig;
        const QString port = closedPort();
        QList<ServerRecord> records;
        for (int i = 0; i < 3; ++i)
            records << record(port, {}, {}, {}, QStringLiteral("127.0.0.%1").arg(i + 1));
        rig.rows.resetRows(records);
        rig.echo.script.append(c.answers);
        // Every row is visited; the last echo at least is still under way.
        struct {
            qsizetype echoes = 0;
            bool running = false;
            int outstanding = 0;
            qint32 passNumber = 0;
        } visited;
        rig.echo.duringSend = [&rig, &visited](int n) {
            if (n != 3)
                return;
            QMetaObject::invokeMethod(
                &rig.monitor,
                [&rig, &visited] {
                    visited = {rig.echo.targets.size(), rig.monitor.isPassRunning(),
                               rig.monitor.echoesOutstanding(), rig.monitor.passNumber()};
                },
                Qt::QueuedConnection);
        };
        rig.monitor.CmdStart_Click();
        rig.monitor.TimerProc_Timer();
        QTRY_VERIFY(!rig.monitor.isPassRunning());
        QCOMPARE(visited.echoes, 3);
        QVERIFY(visited.running);
        QVERIFY(visited.outstanding > 0);
        QCOMPARE(visited.passNumber, 1);
        QCOMPARE(rig.monitor.echoesOutstanding(), 0);
        QCOMPARE(rig.echo.answered, c.answerOrder);
        QCOMPARE(rig.monitor.passNumber(), 2);
        qint32 lostEchoes = 0;
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(rig.text(Col::PingTime, row), c.pingTimes.at(row));
            const bool lostEcho = !c.pingTimes.at(row).endsWith(QStringLiteral(" ms"));
            lostEchoes += lostEcho;
            QCOMPARE(rig.rows.toolTip(row, Col::PingState).endsWith(lostEcho ? "(1/1)" : "(0/1)"),
                     true);
            // The colours were painted after the last echo, its own included.
            QCOMPARE(rig.rows.rowColour(row) == RowColour(0, 255, 0), lostEcho);
        }
        QCOMPARE(rig.monitor.pingFaultCount(), lostEchoes);
    }

    // Ten hosts that never answer cost one echo deadline, not ten.
    void silentHostsDoNotAddUp() {
        Rig rig;
        rig.rows.resetRows(QList<ServerRecord>(10, record(closedPort())));
        for (int i = 0; i < 10; ++i)
            rig.echo.script.enqueue({0, 0, FakeEcho::Never});
        QElapsedTimer clock;
        clock.start();
        rig.pass();
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= FakeEcho::DeadlineMs && elapsed < 5 * FakeEcho::DeadlineMs,
                 qPrintable(QString::number(elapsed)));
        for (int row = 0; row < 10; ++row)
            QCOMPARE(rig.text(Col::PingErr, row), QStringLiteral("1"));
        QCOMPARE(rig.monitor.pingFaultCount(), 10);
    }

    // Stopped in the last row's yield: the echoes already sent still
    // complete their rows, but the pass neither paints nor counts itself.
    void stopWithEchoesOutstanding() {
        Rig rig;
        rig.rows.resetRows(QList<ServerRecord>(3, record(closedPort())));
        rig.rows.setTag(0, Col::ReplyErr, QStringLiteral("1"));
        for (int i = 0; i < 3; ++i)
            rig.echo.script.enqueue({0, 5, 150});
        // What the pass left once it went back to the event loop after its
        // last echo.
        struct {
            bool monitoring = true, running = false;
            int outstanding = 0;
            qsizetype echoes = 0;
        } stopped;
        rig.echo.duringSend = [&rig, &stopped](int n) {
            if (n == 2)
                QTimer::singleShot(0, &rig.monitor, &ServerMonitor::CmdStart_Click);
            if (n != 3)
                return;
            QMetaObject::invokeMethod(
                &rig.monitor,
                [&rig, &stopped] {
                    stopped.monitoring = rig.monitor.isMonitoring();
                    stopped.running = rig.monitor.isPassRunning();
                    stopped.outstanding = rig.monitor.echoesOutstanding();
                    // Switched on again meanwhile: no second pass starts
                    // inside this one.
                    rig.monitor.CmdStart_Click();
                    rig.monitor.TimerProc_Timer();
                    stopped.echoes = rig.echo.targets.size();
                },
                Qt::QueuedConnection);
        };
        rig.monitor.CmdStart_Click();
        rig.monitor.TimerProc_Timer();
        QTRY_VERIFY(!rig.monitor.isPassRunning());
        QVERIFY(!stopped.monitoring);
        QVERIFY(stopped.running);
        QCOMPARE(stopped.outstanding, 3);
        QCOMPARE(stopped.echoes, 3);
        for (int row = 0; row < 3; ++row)
            QCOMPARE(rig.text(Col::PingTime, row), QStringLiteral("5 ms"));
        QCOMPARE(rig.monitor.passNumber(), 1);
        QVERIFY(!rig.rows.rowColour(0).isValid());
    }

    // Reloaded while echoes of the old rows are under way, inside the pass
    // or after its last row: they are cancelled, so nothing reaches the new
    // rows, and the pass ends on the new list as usual.
    void reloadCancelsEchoesOutstanding_data() {
        QTest::addColumn<int>("reloadAtEcho"); // 0: after the last row
        QTest::addColumn<QStringList>("pingTimes");
        QTest::newRow("inside the second echo's send") << 2 << QStringList({"0", "0", "9 ms"});
        QTest::newRow("after the last row") << 0 << QStringList({"0", "0", "0"});
    }
    void reloadCancelsEchoesOutstanding() {
        QFETCH(int, reloadAtEcho);
        QFETCH(QStringList, pingTimes);
        Rig rig;
        const QString port = closedPort();
        rig.rows.resetRows(QList<ServerRecord>(3, record(port)));
        for (int i = 0; i < 3; ++i)
            rig.echo.script.enqueue({0, 9, 100});
        const QList<ServerRecord> newList(3, record(port, {}, {}, QStringLiteral("new")));
        int outstandingAtReload = -1;
        const auto reload = [&] {
            outstandingAtReload = rig.monitor.echoesOutstanding();
            rig.rows.resetRows(newList);
        };
        rig.echo.duringSend = [&](int n) {
            if (n == reloadAtEcho)
                reload();
            else if (reloadAtEcho == 0 && n == 3) // once the pass is back in the event loop
                QMetaObject::invokeMethod(&rig.rows, reload, Qt::QueuedConnection);
        };
        rig.monitor.CmdStart_Click();
        rig.monitor.TimerProc_Timer();
        QTRY_VERIFY(!rig.monitor.isPassRunning());
        QCOMPARE(outstandingAtReload, reloadAtEcho == 0 ? 3 : 2);
        QTRY_COMPARE(rig.echo.underWay, 0);
        QCOMPARE(rig.echo.answered.size(), pingTimes.count(QStringLiteral("9 ms")));
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(rig.text(Col::DisplayName, row), QStringLiteral("new"));
            QCOMPARE(rig.text(Col::PingTime, row), pingTimes.at(row));
        }
        QCOMPARE(rig.monitor.passNumber(), 2);
        QCOMPARE(rig.monitor.pingFaultCount(), 0);
    }

    // A row on ::1, written plain or in brackets, is probed over TCP and
    // echoed with ICMPv6, with the texts and statistics of any other row.
    void ipv6RowsProbedAndEchoedOnLoopback() {
        ScriptedServer server("HELLO", false, QStringLiteral("::1"));
        if (server.port() == QLatin1String("0"))
            QSKIP("this machine has no ::1");
        QString whyNot;
        if (!LinuxIcmpSocket::open(LinuxIcmpSocket::Kind::Datagram, LinuxIcmpSocket::Family::IPv6,
                                   &whyNot) &&
            !LinuxIcmpSocket::open(LinuxIcmpSocket::Kind::Raw, LinuxIcmpSocket::Family::IPv6,
                                   &whyNot))
            QSKIP(qPrintable(QStringLiteral("echo sockets not permitted here: ") + whyNot));
        IcmpEchoService echo;
        Rig rig(&echo);
        rig.rows.resetRows({record(server.port(), "Q", "hello", {}, QStringLiteral("::1")),
                            record(server.port(), "Q", "hello", {}, QStringLiteral("[::1]"))});
        rig.pass();
        QTRY_COMPARE(rig.monitor.passReplyCount(), 2);
        for (int row = 0; row < 2; ++row) {
            QTRY_COMPARE(rig.text(Col::Status, row), kCorrect);
            QVERIFY(rig.text(Col::PingTime, row).endsWith(QStringLiteral(" ms")));
            QCOMPARE(rig.text(Col::PingErr, row), QStringLiteral("0"));
            QVERIFY(
                rig.rows.toolTip(row, Col::PingState).endsWith(QStringLiteral("丢包率:0%(0/1)")));
        }
    }

    void colours() {
        Rig rig;
        rig.rows.resetRows(QList<ServerRecord>(4, record("1")));
        const QStringList replyTags{"1", "0", "1", ""}, pingTags{"", "1", "1", "0"};
        const QList<RowColour> expected{
            RowColour(255, 0, 0), RowColour(0, 255, 0), RowColour(0, 255, 0), {}};
        for (int row = 0; row < 4; ++row) {
            rig.rows.setRowColour(row, RowColour(1, 2, 3));
            rig.rows.setTag(row, Col::ReplyErr, replyTags.at(row));
            rig.rows.setTag(row, Col::PingErr, pingTags.at(row));
        }
        rig.monitor.SetColor();
        for (int row = 0; row < 4; ++row)
            QCOMPARE(rig.rows.rowColour(row), expected.at(row));
    }

    // A modal dialog opened in a yield of the pass, as a click there would:
    // the pass goes on while the dialog is open and ends in its usual time.
    void passGoesOnWhileAModalDialogIsOpen() {
        Rig rig;
        ScriptedServer server("OK");
        const int rows = 50;
        rig.rows.resetRows(QList<ServerRecord>(rows, record(server.port(), "Q", "OK")));
        QDialog dialog;
        QElapsedTimer clock;
        qint64 passMs = -1;
        bool openWhenFinished = false;
        QObject::connect(&rig.monitor, &ServerMonitor::passFinished, &dialog, [&] {
            passMs = clock.elapsed();
            openWhenFinished = dialog.isVisible();
            dialog.accept();
        });
        rig.echo.duringSend = [&dialog](int n) {
            if (n == 1)
                QTimer::singleShot(0, &dialog, [&dialog] { dialog.exec(); });
        };
        // Closed by the test itself should the pass never end meanwhile.
        QTimer::singleShot(10000, &dialog, &QDialog::reject);
        rig.monitor.CmdStart_Click();
        clock.start();
        rig.monitor.TimerProc_Timer();
        QTRY_VERIFY_WITH_TIMEOUT(passMs >= 0 && !dialog.isVisible(), 15000);
        QVERIFY(openWhenFinished);
        QVERIFY2(passMs < 3000, qPrintable(QString::number(passMs)));
        QCOMPARE(rig.echo.targets.size(), rows);
        QTRY_COMPARE(rig.monitor.passReplyCount(), rows);
    }

    // In a loop that reports none of its turns, as one glib runs by itself
    // for a native file dialog, the pass goes on as well.
    void passGoesOnInALoopThatReportsNoTurns() {
        Rig rig;
        const int rows = 20;
        rig.rows.resetRows(QList<ServerRecord>(rows, record(closedPort())));
        const QSignalBlocker noTurnsReported(QAbstractEventDispatcher::instance());
        rig.pass();
        QCOMPARE(rig.echo.targets.size(), rows);
        QCOMPARE(rig.monitor.passNumber(), 2);
    }

    // Sorted the other way while the pass runs: each row keeps its own socket.
    void rowsAreVisitedInListOrder() {
        Rig rig;
        ScriptedServer a("alpha", false, "127.0.0.1"), b("beta", false, "127.0.0.2");
        ServerRecord unchecked = record(b.port(), "Q", "beta", "B", "127.0.0.2");
        unchecked.inUse = false;
        rig.rows.resetRows({record(a.port(), "Q", "alpha", "A"), unchecked});
        rig.list.sort(Col::DisplayName, Qt::DescendingOrder);
        QTimer::singleShot(0, &rig.list, [&rig] { rig.list.sort(Col::DisplayName); });
        rig.pass();
        QCOMPARE(rig.echo.targets, QStringList({"127.0.0.2", "127.0.0.1"}));
        QTRY_COMPARE(rig.text(Col::Status, 0) + rig.text(Col::Status, 1), kCorrect + kCorrect);
        QCOMPARE(rig.panels[2],
                 QStringList({"SOCKET回应:0/2", "SOCKET回应:1/2[50%]", "SOCKET回应:2/2[100%]"}));
    }

    // Something happens in the first row's yield of a three-row pass.
    void interruptedPass_data() {
        QTest::addColumn<Interruption>("c");
        const auto reload = [](Rig& rig) {
            rig.rows.resetRows(QList<ServerRecord>(3, record(rig.rows.text(0, Col::Port))));
        };
        QTest::newRow("stop: row finished, no colours")
            << Interruption{[](Rig& rig) { rig.monitor.CmdStart_Click(); }, 1, 1, false};
        QTest::newRow("reload: the pass goes on with the new list")
            << Interruption{reload, 2, 2, false};
        QTest::newRow("removed row skipped")
            << Interruption{[](Rig& rig) { rig.rows.removeRowAt(1); }, 2, 2, true};
        QTest::newRow("tick starts no second pass")
            << Interruption{[](Rig& rig) { rig.monitor.TimerProc_Timer(); }, 3, 2, true};
    }
    void interruptedPass() {
        QFETCH(Interruption, c);
        Rig rig;
        ScriptedServer server({});
        rig.rows.resetRows(QList<ServerRecord>(3, record(server.port())));
        rig.rows.setTag(2, Col::ReplyErr, QStringLiteral("1"));
        QTimer::singleShot(0, &rig.rows, [&rig, &c] { c.action(rig); });
        rig.pass();
        QVERIFY(!rig.monitor.isPassRunning());
        QCOMPARE(rig.echo.targets.size(), c.echoes);
        QCOMPARE(rig.monitor.passNumber(), c.passNumber);
        QCOMPARE(rig.rows.rowColour(rig.rows.rowCount() - 1).isValid(), c.coloured);
        // An element for each row of the list that was probed, none for the old rows.
        QCOMPARE(rig.monitor.sockets().count(), c.echoes);
    }

    // A row replaced while its probe waits for the reply is a fresh row: the
    // old probe's connection is closed at once, silently, and the new row's
    // own probe gets its reply.
    void replacedRowEndsItsOldProbe() {
        Rig rig;
        ScriptedServer server({});
        rig.rows.resetRows({record(server.port(), "Q", "OK")});
        rig.pass();
        QTRY_COMPARE(rig.text(Col::Status), QStringLiteral("已发送数据包,等待回应..."));
        const QPointer<SocketElement> old = rig.monitor.sockets().element(rig.rows.keyAt(0));
        QVERIFY(old);
        QSignalSpy events(&rig.monitor.sockets(), &SocketArray::Error);
        rig.rows.replaceRow(0, record(server.port(), "Q", "OK", QStringLiteral("renamed")));
        QCOMPARE(old->State(), 0);
        QCOMPARE(rig.monitor.sockets().count(), 0);
        QCOMPARE(rig.text(Col::Status), QStringLiteral("初始化完成"));
        QCOMPARE(rig.text(Col::ReplyTime), QStringLiteral("0"));

        server.answer = "OK";
        rig.pass();
        QTRY_COMPARE(rig.text(Col::Status), kCorrect);
        QCOMPARE(server.connections, 2);
        QCOMPARE(rig.text(Col::ReplyErr), QStringLiteral("0"));
        QCOMPARE(events.size(), 0);
        QTRY_VERIFY(old.isNull());
    }

    // Elements are made as probes start; a reload closes them all at once,
    // silently, and deletes them a batch per turn of the event loop.
    void socketElementsMadeOnDemandAndDroppedInBatches() {
        Rig rig;
        const QString port = closedPort();
        const int rows = 3 * SocketArray::DeletedPerTurn;
        rig.rows.resetRows(QList<ServerRecord>(rows, record(port)));
        SocketArray& sockets = rig.monitor.sockets();
        QCOMPARE(sockets.count(), 0);
        QVERIFY(!sockets.element(rig.rows.keyAt(0)));
        rig.pass();
        QCOMPARE(sockets.count(), rows);
        QList<QPointer<SocketElement>> old;
        for (int row = 0; row < rows; ++row)
            old << sockets.element(rig.rows.keyAt(row));
        QSignalSpy errors(&sockets, &SocketArray::Error);
        rig.rows.resetRows({record(port)});
        QCOMPARE(sockets.count(), 0);
        QCOMPARE(sockets.droppedAwaitingDeletion(), rows);
        for (const QPointer<SocketElement>& element : std::as_const(old))
            QCOMPARE(element->State(), 0);
        QCoreApplication::processEvents();
        QVERIFY(sockets.droppedAwaitingDeletion() < rows);
        QVERIFY(sockets.droppedAwaitingDeletion() >= rows - 2 * SocketArray::DeletedPerTurn);
        QTRY_COMPARE(sockets.droppedAwaitingDeletion(), 0);
        QTRY_VERIFY(
            std::all_of(old.cbegin(), old.cend(), [](const auto& e) { return e.isNull(); }));
        QCOMPARE(errors.size(), 0);
    }

    // Elements dropped by a reload and not yet deleted go with the monitor.
    void droppedSocketElementsGoWithTheMonitor() {
        QList<QPointer<SocketElement>> old;
        {
            Rig rig;
            const QString port = closedPort();
            rig.rows.resetRows(QList<ServerRecord>(SocketArray::DeletedPerTurn + 1, record(port)));
            rig.pass();
            for (int row = 0; row < rig.rows.rowCount(); ++row)
                old << rig.monitor.sockets().element(rig.rows.keyAt(row));
            rig.rows.resetRows({record(port)});
            QCoreApplication::processEvents();
            QVERIFY(rig.monitor.sockets().droppedAwaitingDeletion() > 0);
        }
        QVERIFY(std::all_of(old.cbegin(), old.cend(), [](const auto& e) { return e.isNull(); }));
    }

    // Beyond the cap, rows wait for a connection in the order the pass
    // reached them; a queued probe is still running for the next pass and
    // times out only its own time-out after it connected.
    void connectionsInFlightAreCapped() {
        constexpr int Rows = 12;
        constexpr int Cap = 3;
        {
            Rig rig;
            CountingPeer peer(true);
            rig.monitor.tcpProbe().setMaxInFlight(Cap);
            rig.rows.resetRows(QList<ServerRecord>(Rows, record(peer.port(), "Q", "OK")));
            rig.pass();
            for (int row = 0; row < Rows; ++row)
                QTRY_COMPARE(rig.text(Col::Status, row), kCorrect);
            QCOMPARE(peer.accepted, Rows);
            QCOMPARE(rig.monitor.tcpProbe().inFlight(), 0);
            QCOMPARE(rig.monitor.tcpProbe().queued(), 0);
            QVERIFY(rig.monitor.sockets().count() == 0 && rig.monitor.sockets().pooled() > 0);
        }
        Rig rig;
        CountingPeer peer(false);
        TcpProbe& probe = rig.monitor.tcpProbe();
        probe.setMaxInFlight(Cap);
        rig.rows.resetRows(QList<ServerRecord>(Rows, record(peer.port(), "Q", "OK")));
        rig.pass();
        QTRY_COMPARE(peer.accepted, Cap);
        QCOMPARE(probe.inFlight(), Cap);
        QCOMPARE(probe.queued(), Rows - Cap);
        const QString timedOut = QStringLiteral("SOCKET超时:10000ms");
        rig.clock.advance(rig.settings.iTimeOut + 1);
        rig.pass();
        for (int row = 0; row < Cap; ++row)
            QCOMPARE(rig.text(Col::Status, row), timedOut);
        QTRY_COMPARE(peer.accepted, 2 * Cap);
        QCOMPARE(probe.queued(), Rows - 2 * Cap);
        for (int row = Cap; row < Rows; ++row)
            QVERIFY(rig.text(Col::Status, row) != timedOut);
        QCOMPARE(rig.text(Col::ReplyErr, Cap), QStringLiteral("0"));
        // Half a time-out later the rows connected last are still running.
        rig.clock.advance(rig.settings.iTimeOut / 2);
        rig.pass();
        for (int row = Cap; row < Rows; ++row)
            QVERIFY(rig.text(Col::Status, row) != timedOut);
        // The rows that timed out start again, behind those still waiting.
        QCOMPARE(probe.queued(), Rows - Cap);
        rig.rows.resetRows({record(peer.port(), "Q", "OK")});
        QCOMPARE(probe.inFlight(), 0);
        QCOMPARE(probe.queued(), 0);
    }

    void passRepeatedAfterAStopKeepsTheLossRateWithinAll() {
        Rig rig;
        rig.rows.resetRows({record(closedPort()), record(closedPort())});
        rig.echo.script.enqueue({11010, 0});
        rig.echo.script.enqueue({11010, 0});
        QTimer::singleShot(0, &rig.monitor, &ServerMonitor::CmdStart_Click);
        rig.pass();
        rig.pass();
        QCOMPARE(rig.rows.toolTip(0, Col::PingState), "平均延时:0ms  丢包率:100%(2/1)");
    }

    // Replies arriving together are judged inside one another's yields, and
    // each of those handlers finds the reply count complete. The rows are
    // still painted only once, after the last of them is judged. The echoes
    // stay under way, so the end of the pass paints nothing meanwhile.
    void coloursPaintedOnceWhenRepliesArriveTogether() {
        Rig rig;
        const int rows = 64;
        // Answers every request at once when the last one has come.
        QTcpServer server;
        QList<QTcpSocket*> waiting;
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&server, &waiting] {
            QTcpSocket* client = server.nextPendingConnection();
            QObject::connect(client, &QTcpSocket::readyRead, client, [client, &waiting] {
                client->readAll();
                waiting.append(client);
                if (waiting.size() < rows)
                    return;
                for (QTcpSocket* each : std::as_const(waiting)) {
                    each->write("BAD");
                    each->flush();
                }
            });
        });
        const QString port = QString::number(server.serverPort());
        rig.rows.resetRows(QList<ServerRecord>(rows, record(port, "Q", "OK")));
        for (int row = 0; row < rows; ++row)
            rig.echo.script.enqueue({0, 1, 60000});
        int paints = 0;
        QObject::connect(
            &rig.rows, &QAbstractItemModel::dataChanged, &rig.rows,
            [&rig, &paints](const QModelIndex& first, const QModelIndex&, const QList<int>& roles) {
                const int row = first.row();
                if (!roles.contains(Qt::BackgroundRole) || !rig.rows.rowColour(row).isValid())
                    return;
                ++paints;
                // Uncoloured again, so that every later paint shows.
                rig.rows.setRowColour(row, RowColour());
            });
        rig.monitor.CmdStart_Click();
        rig.monitor.TimerProc_Timer();
        QTRY_COMPARE(rig.monitor.passReplyCount(), rows);
        QTRY_VERIFY(paints >= rows);
        QCoreApplication::processEvents();
        QCOMPARE(paints, rows);
        QCOMPARE(rig.monitor.socketFaultCount(), rows);
        QVERIFY(rig.monitor.isPassRunning());
    }

    void reloadWhileAReplyIsJudged() {
        Rig rig;
        ScriptedServer server("BAD", true);
        rig.rows.resetRows({record(server.port(), {}, "OK")});
        QObject::connect(&rig.monitor, &ServerMonitor::statusPanelChanged, &rig.rows,
                         [&rig](int panel, const QString& text) {
                             if (panel == 2 && text.endsWith("[100%]"))
                                 rig.rows.resetRows({record(closedPort())});
                         });
        rig.pass();
        QTRY_COMPARE(rig.monitor.passReplyCount(), 1);
        QCOMPARE(rig.text(Col::Status), QStringLiteral("初始化完成"));
        QCOMPARE(rig.monitor.socketFaultCount(), 0);
    }

    // Every probe result reaches the recorder with the server's ID, the UTC
    // time it came and its figures: a correct and a wrong reply with their
    // reply times, a refused connection, answered and lost echoes, and in
    // the next pass the silent server's time-out and the refused one's error.
    void everyOutcomeIsRecorded() {
        Rig rig;
        FakeRecorder recorder;
        rig.monitor.setRecorder(&recorder);
        ScriptedServer good("220 Ready\r\n"), bad("500 No\r\n"), silent({});
        good.onRequest = [&rig] { rig.clock.advance(12); };
        bad.onRequest = good.onRequest;
        const auto server = [](qint64 id, const QString& port) {
            return ServerRecord{id, {}, QStringLiteral("127.0.0.1"), port, "Q", "Ready", {}, true};
        };
        rig.rows.resetRows({server(11, good.port()), server(12, bad.port()),
                            server(13, closedPort()), server(14, silent.port())});
        for (const FakeEcho::Answer answer : {FakeEcho::Answer{0, 23}, {0, 7}, {0, 0}, {11010, 0}})
            rig.echo.script.enqueue(answer);
        const qint64 start = rig.clock.utcMs();
        rig.pass();
        QTRY_COMPARE(recorder.outcomes.size(), 7);
        QTRY_COMPARE(rig.text(Col::Status, 3), QStringLiteral("已发送数据包,等待回应..."));

        using O = ProbeOutcome;
        QMap<QPair<qint64, int>, ProbeOutcome> got;
        for (const ProbeOutcome& o : recorder.outcomes) {
            QVERIFY(o.timeUtcMs >= start && o.timeUtcMs <= rig.clock.utcMs());
            got.insert({o.serverId, int(o.kind)}, o);
        }
        QCOMPARE(got.size(), 7);
        QCOMPARE(got.value({11, O::Correct}).ms, 12);
        QCOMPARE(got.value({12, O::Wrong}).ms, 12);
        QVERIFY(got.contains({13, O::SocketError}));
        QCOMPARE(got.value({11, O::EchoAnswered}).ms, 23);
        QCOMPARE(got.value({12, O::EchoAnswered}).ms, 7);
        QCOMPARE(got.value({13, O::EchoAnswered}).ms, 0);
        const ProbeOutcome lost = got.value({14, O::EchoLost});
        QCOMPARE(lost.status, 11010);
        QVERIFY(!got.contains({14, O::EchoAnswered}));

        recorder.outcomes.clear();
        rig.clock.advance(10001);
        rig.pass();
        QTRY_COMPARE(rig.text(Col::ReplyErr, 2), QStringLiteral("2"));
        QList<qint64> timedOut, failed;
        for (const ProbeOutcome& o : recorder.outcomes) {
            if (o.kind == O::TimedOut) {
                timedOut.append(o.serverId);
                QCOMPARE(o.ms, 10000);
                QCOMPARE(o.timeUtcMs, rig.clock.utcMs());
            } else if (o.kind == O::SocketError) {
                failed.append(o.serverId);
            }
        }
        QCOMPARE(timedOut, QList<qint64>{14});
        QCOMPARE(failed, QList<qint64>{13});

        rig.monitor.setRecorder(nullptr); // recording stops, monitoring does not
        recorder.outcomes.clear();
        rig.pass();
        QTRY_COMPARE(rig.text(Col::Status, 0), kCorrect);
        QVERIFY(recorder.outcomes.isEmpty());
    }

    // Reloaded in the first row's yield: the pass goes on at the second row
    // of the new list and ends at the third, the row count it began with.
    // Nothing of the old rows reaches the new ones.
    void reloadDuringAPassGoesOnWithTheNewList() {
        Rig rig;
        ScriptedServer old("OLD", true, "127.0.0.1"), fresh("NEW", false, "127.0.0.2");
        rig.rows.resetRows(QList<ServerRecord>(3, record(old.port(), "Q", "OLD")));
        const QList<ServerRecord> newList(
            4, record(fresh.port(), "Q", "NEW", {}, QStringLiteral("127.0.0.2")));
        QTimer::singleShot(0, &rig.rows, [&rig, &newList] { rig.rows.resetRows(newList); });
        rig.pass();
        QVERIFY(!rig.monitor.isPassRunning());
        QCOMPARE(rig.echo.targets, QStringList({"127.0.0.2", "127.0.0.2"}));
        QCOMPARE(rig.monitor.passNumber(), 2);
        QTRY_COMPARE(fresh.connections, 2);
        QTRY_COMPARE(rig.monitor.passReplyCount(), 2);
        const QString fresh0 = QStringLiteral("初始化完成");
        QCOMPARE(QStringList({rig.text(Col::Status, 0), rig.text(Col::Status, 1),
                              rig.text(Col::Status, 2), rig.text(Col::Status, 3)}),
                 QStringList({fresh0, kCorrect, kCorrect, fresh0}));
        QCOMPARE(rig.text(Col::ReplyTime, 0), QStringLiteral("0"));
        QVERIFY(rig.rows.toolTip(0, Col::ReplyData) == QStringLiteral("NEW"));
        QCOMPARE(rig.monitor.socketFaultCount(), 0);
        QCOMPARE(old.connections, 1);
    }
};

QTEST_MAIN(TestServerMonitor)
#include "tst_servermonitor.moc"
