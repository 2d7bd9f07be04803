#include "FakeClock.h"
#include "FakeEcho.h"
#include "FakeRecorder.h"
#include "HostileText.h"
#include "RecordingAlerts.h"
#include "TlsPeer.h"
#include "catalogue/ModuleDB.h"
#include "catalogue/ServerCatalogue.h"
#include "http/HttpExchangeFacts.h"
#include "monitor/HttpCheck.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "platform/AppPaths.h"
#include "platform/SystemClock.h"
#include "service/MetricsCollector.h"
#include "service/MetricsEndpoint.h"
#include "service/MetricsPublisher.h"
#include "service/MetricsServer.h"
#include "service/MetricsService.h"
#include "service/MetricsStream.h"
#include "service/ServiceAlerts.h"
#include "service/ServiceLog.h"
#include "service/StateLog.h"
#include "tls/CertificateFacts.h"

#include <QBuffer>
#include <QDir>

#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>
#include <optional>
#include <tuple>

#include <sys/stat.h>

namespace {

using Col = ServerRowModel::Column;

ServerRecord server(qint64 id, const QString& name, const QString& address, int port) {
    ServerRecord record;
    record.id = id;
    record.displayName = name;
    record.ipAddress = address;
    record.port = QString::number(port);
    return record;
}

ProbeOutcome outcome(qint64 id, ProbeOutcome::Kind kind, qint32 ms = 0) {
    ProbeOutcome result;
    result.serverId = id;
    result.kind = kind;
    result.ms = ms;
    return result;
}

// Sends the request on a fresh connection and returns what came back
// before the server closed it.
QByteArray exchange(quint16 port, const QByteArray& request) {
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    if (!client.waitForConnected(5000))
        return "not connected";
    client.write(request);
    QByteArray reply;
    QObject::connect(&client, &QTcpSocket::readyRead, [&] { reply += client.readAll(); });
    if (!QTest::qWaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; },
                         10000))
        return "not closed";
    return reply + client.readAll();
}

const QByteArray MetricsGet = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

// The server's text, handed over whenever a scrape waits for it.
void publishOnRequest(MetricsServer& server, const QByteArray& body) {
    QObject::connect(&server, &MetricsServer::textWanted, &server,
                     [&server, body] { server.publish(body); });
}

// A loopback port nothing listens on.
quint16 closedPort() {
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    return closed.serverPort();
}

// Servers on 127.0.0.1 sending "HELLO", each a name, a port and the
// expected reply, stored in the catalogue a program running in folder finds.
bool addServers(const QString& folder,
                const QList<std::tuple<QString, quint16, QString>>& servers) {
    const AppPaths previous = AppPaths::current();
    AppPaths::setCurrent(AppPaths::portableIn(folder));
    ModuleDB::setDbPath(AppPaths::current().catalogueFile());
    bool added = ModuleDB::DbOpen();
    for (const auto& [name, port, reply] : servers) {
        ServerRecord record = server(0, name, QStringLiteral("127.0.0.1"), port);
        record.postData = QStringLiteral("HELLO");
        record.replyData = reply;
        added = added && ServerCatalogue::AddServer(record).isEmpty();
    }
    ModuleDB::DbClose();
    AppPaths::setCurrent(previous);
    return added;
}

// The environment of a headless run: no display, no session bus.
QProcessEnvironment headlessEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    return environment;
}

// Starts servermon --headless on folder, its log gathered in log.
bool startHeadless(QProcess& service, const QString& folder, QByteArray& log) {
    service.setProgram(qEnvironmentVariable("SERVERMON_BINARY"));
    service.setArguments({QStringLiteral("--headless"), QStringLiteral("--config-dir"), folder});
    service.setProcessEnvironment(headlessEnvironment());
    QObject::connect(&service, &QProcess::readyReadStandardOutput, &service,
                     [&service, &log] { log += service.readAllStandardOutput(); });
    service.start();
    return service.waitForStarted(10000);
}

// A metrics server on loopback, on a thread of its own as the service runs
// it, fed with the collector's text by a stream on this thread.
struct StreamedMetrics {
    StreamedMetrics(const MetricsCollector& collector, const Clock& clock)
        : publisher(collector, clock) {
        port = publisher.listen(QHostAddress::LocalHost, 0) ? publisher.port() : 0;
    }
    MetricsPublisher publisher;
    MetricsStream& stream = publisher.stream();
    MetricsServer* server = publisher.server(); // lives on the publisher's thread
    quint16 port = 0;
};

// The body of an answer as a client reads it: chunks joined, a length checked, or
// everything until the close; a null array when it is incomplete.
QByteArray bodyOf(const QByteArray& reply) {
    const qsizetype headEnd = reply.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return {};
    const QByteArray head = reply.left(headEnd + 2);
    const QByteArray rest = reply.mid(headEnd + 4);
    if (head.contains("\r\nContent-Length: "))
        return head.contains("\r\nContent-Length: " + QByteArray::number(rest.size()) + "\r\n")
                   ? rest
                   : QByteArray();
    if (!head.contains("\r\nTransfer-Encoding: chunked\r\n"))
        return rest;
    QByteArray joined("");
    for (qsizetype at = 0;;) {
        const qsizetype lineEnd = rest.indexOf("\r\n", at);
        bool ok = false;
        const qsizetype size = lineEnd < 0 ? -1 : rest.mid(at, lineEnd - at).toLongLong(&ok, 16);
        if (!ok || size < 0 || rest.size() < lineEnd + 2 + size + 2 ||
            rest.mid(lineEnd + 2 + size, 2) != "\r\n")
            return {};
        if (size == 0)
            return lineEnd + 4 == rest.size() ? joined : QByteArray();
        joined += rest.mid(lineEnd + 2, size);
        at = lineEnd + 2 + size + 2;
    }
}

// A scrape on its own connection, read as it comes; done once the server
// has closed it.
struct Scrape {
    Scrape(quint16 port, const QByteArray& request) {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket,
                         [this] { reply += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, &socket, [this] {
            reply += socket.readAll();
            done = true;
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.write(request);
    }
    QByteArray body() const { return bodyOf(reply); }
    QTcpSocket socket;
    QByteArray reply;
    bool done = false;
};

// What is wrong with the text as exposition text: a line that is no
// comment and no sample, a family described twice or with samples apart,
// a series twice, a value that is no number. Empty when nothing is.
QString expositionFault(const QByteArray& text) {
    if (!text.endsWith('\n'))
        return QStringLiteral("no line feed at the end");
    static const QRegularExpression help(QStringLiteral(R"(^# HELP ([a-z_]+) \S.*$)"));
    static const QRegularExpression type(QStringLiteral(R"(^# TYPE ([a-z_]+) (gauge|counter)$)"));
    static const QRegularExpression sample(
        QStringLiteral(R"(^([a-z_]+)(\{(?:[a-z_]+="(?:[^"\\]|\\.)*",?)*\})? (\S+)$)"));
    QSet<QByteArray> families;
    QSet<QByteArray> series;
    QByteArray current;
    const QList<QByteArray> lines = text.chopped(1).split('\n');
    for (const QByteArray& line : lines) {
        const QString lineText = QString::fromUtf8(line);
        if (const auto m = help.match(lineText); m.hasMatch()) {
            current = m.captured(1).toUtf8();
            if (families.contains(current))
                return QStringLiteral("described twice: ") + lineText;
            families.insert(current);
            continue;
        }
        if (const auto m = type.match(lineText); m.hasMatch()) {
            if (m.captured(1).toUtf8() != current)
                return QStringLiteral("type apart from its help: ") + lineText;
            continue;
        }
        const auto m = sample.match(lineText);
        if (!m.hasMatch())
            return QStringLiteral("no sample: ") + lineText;
        if (m.captured(1).toUtf8() != current)
            return QStringLiteral("sample outside its family: ") + lineText;
        bool number = false;
        m.captured(3).toDouble(&number);
        if (!number)
            return QStringLiteral("value no number: ") + lineText;
        const QByteArray key = line.left(line.lastIndexOf(' '));
        if (series.contains(key))
            return QStringLiteral("series twice: ") + lineText;
        series.insert(key);
    }
    return {};
}

// Servers 1..count with long names, their counters fed with results of
// every kind, and varying fault counts in the list.
QList<ServerRecord> manyServers(int count, const QString& name = QStringLiteral("服务器 \"%1\"")) {
    QList<ServerRecord> records;
    records.reserve(count);
    for (int i = 1; i <= count; ++i)
        records.append(
            server(i, name.arg(i),
                   QStringLiteral("10.%1.%2.%3").arg(i / 65536).arg(i / 256 % 256).arg(i % 256),
                   1 + i % 65535));
    return records;
}

void feed(ServerRowModel& rows, MetricsCollector& metrics) {
    for (int row = 0; row < rows.rowCount(); ++row) {
        const qint64 id = rows.text(row, Col::ID).toLongLong();
        metrics.record(
            outcome(id, id % 7 ? ProbeOutcome::Correct : ProbeOutcome::Wrong, row % 900));
        metrics.record(
            outcome(id, id % 5 ? ProbeOutcome::EchoAnswered : ProbeOutcome::EchoLost, 3));
        if (id % 11 == 0)
            metrics.record(outcome(id, ProbeOutcome::TimedOut));
        rows.setText(row, Col::ReplyErr, QString::number(id % 4));
    }
}

enum class ListChange { Reload, Remove, Append };

// The most a socket's buffer in the kernel grows to, as the sysctl names
// it: the last of its three numbers.
qint64 kernelBufferMax(const QString& name) {
    QFile file(QStringLiteral("/proc/sys/net/ipv4/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().simplified().split(' ').value(2).toLongLong();
}

// The longest time between two turns of this thread's event loop while it
// runs: a 1 ms timer's longest gap.
class LoopGaps final {
public:
    LoopGaps() {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer,
                         [this] { m_longestMs = qMax(m_longestMs, m_clock.restart()); });
        m_clock.start();
        m_timer.start();
    }
    qint64 longestMs() const { return m_longestMs; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longestMs = 0;
};

} // namespace

class TestService final : public QObject {
    Q_OBJECT
private slots:
    void stateChangesAndAlerts();
    void logEscapesWhatATerminalActsOn_data();
    void logEscapesWhatATerminalActsOn();
    void metricsTextForAKnownState();
    void tlsFaultState_data();
    void tlsFaultState();
    void metricsOfTlsRows();
    void metricsOfHttpRows();
    void unreachableStateAndMetric();
    void serverAnswers_data();
    void serverAnswers();
    void slowRequestIsDropped();
    void connectionLimit_data();
    void connectionLimit();
    void idleConnectionIsClosedFirst();
    void reconnectingIdleSocketsDoNotLockOut();
    void scrapeOfAThousandServers();
    void scrapesWithinASecondShareOneText();
    void streamedScrape_data();
    void streamedScrape();
    void listChangesDuringAScrape_data();
    void listChangesDuringAScrape();
    void scrapesDuringABuild();
    void slowReaderHoldsTheBuild();
    void tricklingReaderIsCutOff();
    void scrapeLoopDoesNotStopPasses();
    void metricsFollowAMonitor();
    void wrongReplyIsNeverOkOnTheFirstPass();
    void headlessRunAndShutdown();
    void headlessRefusedServerKeepsItsError();
    void headlessTlsServers();
    void headlessStartDuringAnImport_data();
    void headlessStartDuringAnImport();
    void importRefusesWhatIsNoRegularFile_data();
    void importRefusesWhatIsNoRegularFile();
};

// A socket fault outranks a lost echo; results that change nothing write
// nothing; fields stay on one line.
void TestService::stateChangesAndAlerts() {
    ServerRowModel rows;
    ServerRecord record = server(5, QStringLiteral("db\\main"), QStringLiteral("127.0.0.1"), 5432);
    record.warnMs = 500;
    rows.resetRows({record});
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    FakeClock clock;
    ServiceLog log(out, clock);
    StateLog states(rows, log);
    const auto happen = [&](ProbeOutcome::Kind kind, const QString& status, qint32 ms = 0) {
        rows.setText(0, kind >= ProbeOutcome::EchoAnswered ? Col::PingTime : Col::Status, status);
        states.record(outcome(5, kind, ms));
    };
    happen(ProbeOutcome::EchoLost, QStringLiteral("请求超时"));
    happen(ProbeOutcome::Correct, QStringLiteral("已收到正确的回应包"));
    happen(ProbeOutcome::Wrong, QStringLiteral("应答包错误：a\tb\r\n"));
    happen(ProbeOutcome::EchoAnswered, QStringLiteral("3 ms"));
    happen(ProbeOutcome::TimedOut, QStringLiteral("SOCKET超时:10000ms"));
    happen(ProbeOutcome::Correct, QStringLiteral("已收到正确的回应包"), 500);
    happen(ProbeOutcome::Correct, QStringLiteral("响应缓慢:501ms"), 501);
    happen(ProbeOutcome::Correct, QStringLiteral("已收到正确的回应包"), 20);
    states.record(outcome(99, ProbeOutcome::Wrong)); // a server no longer loaded
    ServiceAlerts(log, nullptr)
        .ShowServerMsg(QStringLiteral("5"), 4, QStringLiteral("IP:127.0.0.1\r\n状态:x"),
                       QStringLiteral("注意:服务器测试返回异常"));

    const QString time = ServiceLog::timeText(clock.utcMs());
    const QString server = time + QStringLiteral("\t5\tdb\\\\main\t127.0.0.1\t5432\t");
    QCOMPARE(QString::fromUtf8(out.data()),
             server + "unknown\tlost-echo\t请求超时\n" + server +
                 "lost-echo\twrong\t应答包错误：a\\tb\\r\\n\n" + server +
                 "wrong\ttimeout\tSOCKET超时:10000ms\n" + server +
                 "timeout\tok\t已收到正确的回应包\n" + server + "ok\tslow\t响应缓慢:501ms\n" +
                 server + "slow\tok\t已收到正确的回应包\n" + time +
                 "\talert\t5\t注意:服务器测试返回异常\tIP:127.0.0.1\\r\\n状态:x\n");
    QVERIFY(QDateTime::fromString(time, Qt::ISODateWithMs).isValid());
}

void TestService::logEscapesWhatATerminalActsOn_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("written");
    QTest::newRow("tab, line breaks, backslash")
        << QStringLiteral("a\tb\r\nc\\") << QStringLiteral("a\\tb\\r\\nc\\\\");
    QTest::newRow("ESC, a colour")
        << QStringLiteral("\x1b[31mred\x1b[0m") << QStringLiteral("\\x1b[31mred\\x1b[0m");
    QTest::newRow("OSC, a window title ended by BEL")
        << QStringLiteral("\x1b]0;owned\x07x") << QStringLiteral("\\x1b]0;owned\\x07x");
    QTest::newRow("NUL") << QString(QChar(0)) + QStringLiteral("z") << QStringLiteral("\\x00z");
    QTest::newRow("other C0, DEL") << QStringLiteral("\x01\x08\x0b\x0c\x1f\x7f")
                                   << QStringLiteral("\\x01\\x08\\x0b\\x0c\\x1f\\x7f");
    QTest::newRow("C1: NEL, CSI, ST") << QStringLiteral("a\u0085b\u009b2J\u009c\u0080")
                                      << QStringLiteral("a\\x85b\\x9b2J\\x9c\\x80");
    QTest::newRow("line and paragraph separators")
        << QStringLiteral("a\u2028b\u2029c") << QStringLiteral("a\\u{2028}b\\u{2029}c");
    QTest::newRow("bidirectional controls")
        << QStringLiteral("\u202Eevil\u202A\u202B\u202C\u202D\u200E\u200F\u061C"
                          "\u2066\u2067\u2068\u2069")
        << QStringLiteral("\\u{202e}evil\\u{202a}\\u{202b}\\u{202c}\\u{202d}\\u{200e}\\u{200f}"
                          "\\u{061c}\\u{2066}\\u{2067}\\u{2068}\\u{2069}");
    QTest::newRow("printable text stays") << QStringLiteral("网关 ü \u00a0\u2027\u202f😀")
                                          << QStringLiteral("网关 ü \u00a0\u2027\u202f😀");
}

// A server's name or reply written to the log moves no cursor, sets no
// title or colour and reorders nothing after it.
void TestService::logEscapesWhatATerminalActsOn() {
    QFETCH(QString, field);
    QFETCH(QString, written);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    FakeClock clock;
    ServiceLog log(out, clock);
    log.write({QStringLiteral("alert"), field});
    QCOMPARE(QString::fromUtf8(out.data()), ServiceLog::timeText(clock.utcMs()) +
                                                QStringLiteral("\talert\t") + written +
                                                QLatin1Char('\n'));
}

void TestService::metricsTextForAKnownState() {
    ServerRowModel rows;
    rows.resetRows({server(7, QStringLiteral("a\"b\\c\nd"), QStringLiteral("127.0.0.1"), 80),
                    server(9, QStringLiteral("网关"), QStringLiteral("::1"), 8080),
                    server(11, QStringLiteral("new"), QStringLiteral("127.0.0.2"), 7)});
    rows.setText(0, Col::PingErr, QStringLiteral("1"));
    rows.setText(1, Col::ReplyErr, QStringLiteral("2"));
    FakeClock clock;
    MetricsCollector metrics(rows, clock);
    metrics.passStarted();
    for (const ProbeOutcome& result :
         {outcome(7, ProbeOutcome::Correct, 23), outcome(7, ProbeOutcome::EchoAnswered, 5),
          outcome(7, ProbeOutcome::Wrong, 1250), outcome(7, ProbeOutcome::Correct, 40),
          outcome(7, ProbeOutcome::EchoLost), outcome(9, ProbeOutcome::SocketError, 3),
          outcome(9, ProbeOutcome::TimedOut, 10000), outcome(42, ProbeOutcome::Correct, 1)})
        metrics.record(result);
    clock.advance(1500);
    metrics.passFinished();

    const QByteArray labels7 = R"({id="7",name="a\"b\\c\nd",address="127.0.0.1",port="80")";
    const QByteArray labels9 = R"({id="9",name="网关",address="::1",port="8080")";
    const QByteArray labels11 = R"({id="11",name="new",address="127.0.0.2",port="7")";
    const QByteArray expected =
        "# HELP servermon_build_info The program's version.\n"
        "# TYPE servermon_build_info gauge\n"
        "servermon_build_info{version=\"" SERVERMON_VERSION "\"} 1\n"
        "# HELP servermon_passes_total Monitoring passes completed.\n"
        "# TYPE servermon_passes_total counter\n"
        "servermon_passes_total 1\n"
        "# HELP servermon_last_pass_duration_seconds Duration of the last completed pass, until "
        "its last echo.\n"
        "# TYPE servermon_last_pass_duration_seconds gauge\n"
        "servermon_last_pass_duration_seconds 1.5\n"
        "# HELP servermon_reply_correct 1 when the last socket probe got the expected reply, else "
        "0.\n"
        "# TYPE servermon_reply_correct gauge\n"
        "servermon_reply_correct" +
        labels7 +
        "} 1\n"
        "servermon_reply_correct" +
        labels9 +
        "} 0\n"
        "servermon_reply_correct" +
        labels11 +
        "} 0\n"
        "# HELP servermon_reply_seconds Reply time of the last reply.\n"
        "# TYPE servermon_reply_seconds gauge\n"
        "servermon_reply_seconds" +
        labels7 +
        "} 0.04\n"
        "# HELP servermon_echo_seconds Round-trip time of the last answered echo.\n"
        "# TYPE servermon_echo_seconds gauge\n"
        "servermon_echo_seconds" +
        labels7 +
        "} 0.005\n"
        "# HELP servermon_probes_total Socket probes completed.\n"
        "# TYPE servermon_probes_total counter\n"
        "servermon_probes_total" +
        labels7 +
        "} 3\n"
        "servermon_probes_total" +
        labels9 +
        "} 2\n"
        "servermon_probes_total" +
        labels11 +
        "} 0\n"
        "# HELP servermon_socket_faults_total Socket faults by kind: wrong reply, socket error, "
        "time-out.\n"
        "# TYPE servermon_socket_faults_total counter\n"
        "servermon_socket_faults_total" +
        labels7 +
        ",kind=\"wrong\"} 1\n"
        "servermon_socket_faults_total" +
        labels7 +
        ",kind=\"error\"} 0\n"
        "servermon_socket_faults_total" +
        labels7 +
        ",kind=\"timeout\"} 0\n"
        "servermon_socket_faults_total" +
        labels9 +
        ",kind=\"wrong\"} 0\n"
        "servermon_socket_faults_total" +
        labels9 +
        ",kind=\"error\"} 1\n"
        "servermon_socket_faults_total" +
        labels9 +
        ",kind=\"timeout\"} 1\n"
        "servermon_socket_faults_total" +
        labels11 +
        ",kind=\"wrong\"} 0\n"
        "servermon_socket_faults_total" +
        labels11 +
        ",kind=\"error\"} 0\n"
        "servermon_socket_faults_total" +
        labels11 +
        ",kind=\"timeout\"} 0\n"
        "# HELP servermon_echoes_sent_total Echoes sent and completed.\n"
        "# TYPE servermon_echoes_sent_total counter\n"
        "servermon_echoes_sent_total" +
        labels7 +
        "} 2\n"
        "servermon_echoes_sent_total" +
        labels9 +
        "} 0\n"
        "servermon_echoes_sent_total" +
        labels11 +
        "} 0\n"
        "# HELP servermon_echoes_lost_total Echoes lost.\n"
        "# TYPE servermon_echoes_lost_total counter\n"
        "servermon_echoes_lost_total" +
        labels7 +
        "} 1\n"
        "servermon_echoes_lost_total" +
        labels9 +
        "} 0\n"
        "servermon_echoes_lost_total" +
        labels11 +
        "} 0\n"
        "# HELP servermon_consecutive_socket_faults Socket faults in a row, as the list shows "
        "them.\n"
        "# TYPE servermon_consecutive_socket_faults gauge\n"
        "servermon_consecutive_socket_faults" +
        labels7 +
        "} 0\n"
        "servermon_consecutive_socket_faults" +
        labels9 +
        "} 2\n"
        "servermon_consecutive_socket_faults" +
        labels11 +
        "} 0\n"
        "# HELP servermon_consecutive_lost_echoes Lost echoes in a row, as the list shows them.\n"
        "# TYPE servermon_consecutive_lost_echoes gauge\n"
        "servermon_consecutive_lost_echoes" +
        labels7 +
        "} 1\n"
        "servermon_consecutive_lost_echoes" +
        labels9 +
        "} 0\n"
        "servermon_consecutive_lost_echoes" +
        labels11 + "} 0\n";
    QCOMPARE(metrics.text(), expected);
}

// A socket error is "tls-error" when the row says it was a TLS fault.
void TestService::tlsFaultState_data() {
    QTest::addColumn<bool>("secured");
    QTest::addColumn<bool>("tlsFault");
    QTest::addColumn<QString>("state");
    QTest::newRow("plain") << false << false << "error";
    QTest::newRow("TLS, reset by the peer") << true << false << "error";
    QTest::newRow("TLS, certificate refused") << true << true << "tls-error";
}
void TestService::tlsFaultState() {
    QFETCH(bool, secured);
    QFETCH(bool, tlsFault);
    QFETCH(QString, state);
    ServerRecord record = server(5, QStringLiteral("mail"), QStringLiteral("127.0.0.1"), 993);
    if (secured)
        record.tls.transport = Transport::Tls;
    ServerRowModel rows;
    rows.resetRows({record});
    rows.setTlsFault(0, tlsFault);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    FakeClock clock;
    ServiceLog log(out, clock);
    StateLog states(rows, log);
    rows.setText(0, Col::Status, QStringLiteral("证书错误:不受信任"));
    states.record(outcome(5, ProbeOutcome::SocketError));
    rows.setText(0, Col::Status, QStringLiteral("已收到正确的回应包"));
    states.record(outcome(5, ProbeOutcome::Correct));
    const QString line =
        ServiceLog::timeText(clock.utcMs()) + QStringLiteral("\t5\tmail\t127.0.0.1\t993\t");
    QCOMPARE(QString::fromUtf8(out.data()), line + "unknown\t" + state + "\t证书错误:不受信任\n" +
                                                line + state + "\tok\t已收到正确的回应包\n");
}

// A server failing below a failing parent is unreachable, above its fault
// state, in the log and in a gauge that servers with a parent have; without
// any parent loaded there is no such family.
void TestService::unreachableStateAndMetric() {
    ServerRecord child = server(5, QStringLiteral("app"), QStringLiteral("127.0.0.1"), 80);
    child.parentId = 4;
    ServerRowModel rows;
    rows.resetRows({server(4, QStringLiteral("switch"), QStringLiteral("127.0.0.1"), 22)});
    FakeClock clock;
    MetricsCollector metrics(rows, clock);
    QVERIFY(!metrics.text().contains("servermon_unreachable"));
    rows.resetRows({server(4, QStringLiteral("switch"), QStringLiteral("127.0.0.1"), 22), child});
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ServiceLog log(out, clock);
    StateLog states(rows, log);
    ProbeOutcome fault = outcome(5, ProbeOutcome::TimedOut);
    states.record(fault);
    metrics.record(fault);
    fault.unreachable = true;
    metrics.record(fault);
    // Known unreachable first through an answered echo: the line still
    // gives the Status, not the echo's time.
    rows.setText(1, Col::Status, QStringLiteral("上级服务器故障:switch"));
    rows.setText(1, Col::PingTime, QStringLiteral("1 ms"));
    ProbeOutcome echo = outcome(5, ProbeOutcome::EchoAnswered);
    echo.unreachable = true;
    states.record(echo);
    rows.setText(1, Col::Status, QStringLiteral("已收到正确的回应包"));
    states.record(outcome(5, ProbeOutcome::Correct));
    const QString line =
        ServiceLog::timeText(clock.utcMs()) + QStringLiteral("\t5\tapp\t127.0.0.1\t80\t");
    QCOMPARE(QString::fromUtf8(out.data()).split('\n').mid(1, 2),
             (QStringList{line + "timeout\tunreachable\t上级服务器故障:switch",
                          line + "unreachable\tok\t已收到正确的回应包"}));
    const QByteArray text = metrics.text();
    QVERIFY(text.contains("# TYPE servermon_unreachable gauge\n"
                          "servermon_unreachable{id=\"5\",name=\"app\",address=\"127.0.0.1\","
                          "port=\"80\"} 1\n"));
    QVERIFY(!text.contains("servermon_unreachable{id=\"4\""));
}

// A row whose probe has completed a handshake adds its facts in four
// gauges; other rows, plain or not yet probed, add none.
void TestService::metricsOfTlsRows() {
    ServerRecord secured = server(3, QStringLiteral("mail"), QStringLiteral("127.0.0.1"), 993);
    secured.tls.transport = Transport::StartTlsImap;
    ServerRecord unprobed = server(4, QStringLiteral("web"), QStringLiteral("::1"), 443);
    unprobed.tls.transport = Transport::Tls;
    ServerRowModel rows;
    rows.resetRows(
        {server(2, QStringLiteral("plain"), QStringLiteral("127.0.0.1"), 25), secured, unprobed});
    CertificateFacts facts;
    facts.leafNotAfter = 1767225600;
    facts.chainNotAfter = 1766620800;
    facts.verification = CertificateFacts::Verification::Ok;
    rows.setTlsHandshake(1, facts, 2500);
    FakeClock clock;
    MetricsCollector metrics(rows, clock);
    const QByteArray labels = R"({id="3",name="mail",address="127.0.0.1",port="993"})";
    const QByteArray expected =
        "# HELP servermon_tls_leaf_not_after_seconds Expiry of the server's certificate, in "
        "seconds since 1970 UTC.\n"
        "# TYPE servermon_tls_leaf_not_after_seconds gauge\n"
        "servermon_tls_leaf_not_after_seconds" +
        labels +
        " 1767225600\n"
        "# HELP servermon_tls_chain_earliest_not_after_seconds Earliest expiry in the server's "
        "certificate chain, in seconds since 1970 UTC.\n"
        "# TYPE servermon_tls_chain_earliest_not_after_seconds gauge\n"
        "servermon_tls_chain_earliest_not_after_seconds" +
        labels +
        " 1766620800\n"
        "# HELP servermon_tls_verified 1 when the server's certificate chain and name were "
        "verified, else 0.\n"
        "# TYPE servermon_tls_verified gauge\n"
        "servermon_tls_verified" +
        labels +
        " 1\n"
        "# HELP servermon_tls_handshake_seconds Duration of the last TLS handshake.\n"
        "# TYPE servermon_tls_handshake_seconds gauge\n"
        "servermon_tls_handshake_seconds" +
        labels + " 0.0025\n";
    const QByteArray text = metrics.text();
    const qsizetype tls = text.indexOf("# HELP servermon_tls_");
    QVERIFY(tls > 0);
    QCOMPARE(text.mid(tls), expected);

    facts.verification = CertificateFacts::Verification::Untrusted;
    rows.setTlsHandshake(1, facts, 2500);
    QVERIFY(metrics.text().contains("\nservermon_tls_verified" + labels + " 0\n"));
}

// A row whose HTTP check has had an exchange adds its phases, status code
// and redirects; TCP rows and HTTP rows not yet checked add none. An HTTPS
// row's certificate facts join the TLS gauges.
void TestService::metricsOfHttpRows() {
    ServerRecord web = server(5, QStringLiteral("web"), QStringLiteral("127.0.0.1"), 8080);
    web.checkKind = ServerRecord::CheckKind::Http;
    web.url = QStringLiteral("http://127.0.0.1:8080/health");
    ServerRecord secure = server(6, QStringLiteral("shop"), QStringLiteral("::1"), 443);
    secure.checkKind = ServerRecord::CheckKind::Http;
    secure.url = QStringLiteral("https://[::1]/");
    ServerRecord unchecked = secure;
    unchecked.id = 8;
    ServerRowModel rows;
    rows.resetRows({server(2, QStringLiteral("plain"), QStringLiteral("127.0.0.1"), 25), web,
                    secure, unchecked});
    rows.setHttpFacts(1, {503, 0, {1500, 250, 0, 12000, 750, 14500}});
    rows.setHttpFacts(2, {200, 2, {0, 100, 4000, 30000, 2000, 36100}});
    CertificateFacts facts;
    facts.leafNotAfter = 1767225600;
    facts.chainNotAfter = 1767225600;
    facts.verification = CertificateFacts::Verification::Ok;
    rows.setTlsHandshake(2, facts, 4000);
    FakeClock clock;
    MetricsCollector metrics(rows, clock);
    const QByteArray web5 = R"({id="5",name="web",address="127.0.0.1",port="8080")";
    const QByteArray shop6 = R"({id="6",name="shop",address="::1",port="443")";
    QByteArray expected =
        "# HELP servermon_http_duration_seconds Phases of the last HTTP exchange: "
        "resolve, connect, tls, processing, transfer.\n"
        "# TYPE servermon_http_duration_seconds gauge\n";
    for (const auto& [labels, values] :
         {std::pair{web5, QByteArrayList{"0.0015", "0.00025", "0", "0.012", "0.00075"}},
          std::pair{shop6, QByteArrayList{"0", "0.0001", "0.004", "0.03", "0.002"}}}) {
        const QByteArrayList phases{"resolve", "connect", "tls", "processing", "transfer"};
        for (int i = 0; i < phases.size(); ++i)
            expected += "servermon_http_duration_seconds" + labels + ",phase=\"" + phases.at(i) +
                        "\"} " + values.at(i) + "\n";
    }
    expected += "# HELP servermon_http_status_code Status code of the last HTTP reply; 0 when none "
                "came.\n"
                "# TYPE servermon_http_status_code gauge\n"
                "servermon_http_status_code" +
                web5 + "} 503\nservermon_http_status_code" + shop6 +
                "} 200\n"
                "# HELP servermon_http_redirects Redirects followed by the last HTTP exchange.\n"
                "# TYPE servermon_http_redirects gauge\n"
                "servermon_http_redirects" +
                web5 + "} 0\nservermon_http_redirects" + shop6 + "} 2\n";
    const QByteArray text = metrics.text();
    const qsizetype http = text.indexOf("# HELP servermon_http_");
    const qsizetype tls = text.indexOf("# HELP servermon_tls_");
    QVERIFY(http > 0 && tls > http);
    QCOMPARE(text.mid(http, tls - http), expected);
    QVERIFY(text.contains("\nservermon_tls_verified" + shop6 + "} 1\n"));
    QVERIFY(!text.contains("id=\"8\""
                           ",name=\"shop\",address=\"::1\",port=\"443\",phase"));
    QCOMPARE(rows.httpCheck(0), nullptr);
    QCOMPARE(rows.httpCheck(1)->url, web.url);
    QCOMPARE(rows.certWarnDays(1), 0);
    QCOMPARE(rows.certWarnDays(2), 14);
}

void TestService::serverAnswers_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("statusLine"); // empty: dropped without an answer
    QTest::newRow("metrics") << MetricsGet << QByteArray("HTTP/1.1 200 OK\r\n");
    QTest::newRow("metrics with a query, HTTP/1.0")
        << QByteArray("GET /metrics?x=1 HTTP/1.0\r\n\r\n") << QByteArray("HTTP/1.1 200 OK\r\n");
    QTest::newRow("other path") << QByteArray("GET /metricsx HTTP/1.1\r\n\r\n")
                                << QByteArray("HTTP/1.1 404 Not Found\r\n");
    QTest::newRow("root") << QByteArray("GET / HTTP/1.1\r\n\r\n")
                          << QByteArray("HTTP/1.1 404 Not Found\r\n");
    QTest::newRow("post") << QByteArray("POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n")
                          << QByteArray("HTTP/1.1 405 Method Not Allowed\r\n");
    QTest::newRow("no request line")
        << QByteArray("\r\n\r\n") << QByteArray("HTTP/1.1 400 Bad Request\r\n");
    QTest::newRow("head beyond 8 KiB")
        << "GET /metrics HTTP/1.1\r\nX-Pad: " + QByteArray(8200, 'a') + "\r\n\r\n"
        << QByteArray();
    QTest::newRow("endless head") << "GET /metrics HTTP/1.1\r\n" + QByteArray(20000, 'b')
                                  << QByteArray();
}

void TestService::serverAnswers() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, statusLine);
    const QByteArray body = "servermon_passes_total 3\n";
    MetricsServer server;
    publishOnRequest(server, body);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    const QByteArray reply = exchange(server.port(), request);
    if (statusLine.isEmpty()) {
        QCOMPARE(reply, QByteArray());
        return;
    }
    QVERIFY2(reply.startsWith(statusLine), reply.constData());
    QVERIFY(reply.contains("\r\nConnection: close\r\n"));
    if (statusLine.contains("200")) {
        QVERIFY(reply.contains("\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n"));
        QVERIFY(reply.endsWith("\r\nContent-Length: 25\r\nConnection: close\r\n\r\n" + body));
    }
}

void TestService::slowRequestIsDropped() {
    MetricsServer server;
    publishOnRequest(server, "x 1\n");
    server.setTimeOutMs(300);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket slow;
    slow.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(slow.waitForConnected(5000));
    slow.write("GET /metrics HTTP/1.1\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(slow.state(), QAbstractSocket::UnconnectedState, 10000);
    QCOMPARE(slow.readAll(), QByteArray());
    QTRY_COMPARE(server.openConnections(), 0);
    // A request in pieces within the time is answered.
    QTcpSocket pieces;
    pieces.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(pieces.waitForConnected(5000));
    pieces.write("GET /metr");
    QVERIFY(pieces.waitForBytesWritten(5000));
    QTest::qWait(20);
    pieces.write("ics HTTP/1.1\r\n\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(pieces.state() == QAbstractSocket::UnconnectedState, 10000);
    QVERIFY(pieces.readAll().startsWith("HTTP/1.1 200 OK\r\n"));
}

// Beyond the limit a new connection closes the oldest one that has sent
// nothing yet; when every open one has begun its request, the new one is
// closed instead.
void TestService::connectionLimit_data() {
    QTest::addColumn<QByteArray>("held"); // what the open connections sent
    QTest::newRow("idle") << QByteArray();
    QTest::newRow("part of a request") << QByteArray("GET /metrics HTTP/1.1\r\n");
}

void TestService::connectionLimit() {
    QFETCH(QByteArray, held);
    MetricsServer server;
    publishOnRequest(server, "x 1\n");
    // No deadline ends a connection while the test takes its time.
    server.setTimeOutMs(600000);
    server.setIdleTimeOutMs(600000);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    std::vector<std::unique_ptr<QTcpSocket>> open;
    for (int i = 0; i < MetricsServer::ConnectionLimit; ++i) {
        open.push_back(std::make_unique<QTcpSocket>());
        open.back()->connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(open.back()->waitForConnected(5000));
        // One at a time, so the server knows which came first.
        QTRY_COMPARE(server.openConnections(), i + 1);
        if (!held.isEmpty()) {
            open.back()->write(held);
            QVERIFY(open.back()->waitForBytesWritten(5000));
        }
    }
    if (!held.isEmpty())
        QTest::qWait(100); // the server has read every part
    const QByteArray reply = exchange(server.port(), MetricsGet);
    if (held.isEmpty()) {
        QVERIFY2(reply.startsWith("HTTP/1.1 200 OK\r\n"), reply.constData());
        QTRY_COMPARE(open.front()->state(), QAbstractSocket::UnconnectedState);
        for (std::size_t i = 1; i < open.size(); ++i)
            QCOMPARE(open.at(i)->state(), QAbstractSocket::ConnectedState);
        return;
    }
    QCOMPARE(reply, QByteArray());
    for (const auto& socket : open)
        QCOMPARE(socket->state(), QAbstractSocket::ConnectedState);
    open.pop_back();
    QTRY_COMPARE(server.openConnections(), MetricsServer::ConnectionLimit - 1);
    QVERIFY(exchange(server.port(), MetricsGet).startsWith("HTTP/1.1 200 OK\r\n"));
}

// A connection that sends nothing is closed long before one that has begun
// its request.
void TestService::idleConnectionIsClosedFirst() {
    MetricsServer server;
    publishOnRequest(server, "x 1\n");
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    QTcpSocket idle;
    QTcpSocket started;
    for (QTcpSocket* socket : {&idle, &started}) {
        socket->connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(socket->waitForConnected(5000));
    }
    started.write("GET /metrics HTTP/1.1\r\n");
    QElapsedTimer timer;
    timer.start();
    QTRY_COMPARE_WITH_TIMEOUT(idle.state(), QAbstractSocket::UnconnectedState, 4000);
    QCOMPARE(started.state(), QAbstractSocket::ConnectedState);
    QVERIFY2(timer.elapsed() < MetricsServer::DefaultTimeOutMs - 1000,
             qPrintable(QString::number(timer.elapsed())));
}

// Sixteen local sockets that reconnect as soon as they are closed, and never
// send a byte, do not keep a real scrape out.
void TestService::reconnectingIdleSocketsDoNotLockOut() {
    MetricsServer server;
    publishOnRequest(server, "x 1\n");
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    int reconnects = 0;
    std::vector<std::unique_ptr<QTcpSocket>> squatters;
    for (int i = 0; i < MetricsServer::ConnectionLimit; ++i) {
        squatters.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket* socket = squatters.back().get();
        connect(
            socket, &QTcpSocket::disconnected, socket,
            [&server, &reconnects, socket] {
                ++reconnects;
                socket->connectToHost(QHostAddress::LocalHost, server.port());
            },
            Qt::QueuedConnection);
        socket->connectToHost(QHostAddress::LocalHost, server.port());
    }
    QTRY_COMPARE(server.openConnections(), MetricsServer::ConnectionLimit);

    // The scraper is a process of its own, as Prometheus is, so this
    // thread's event loop keeps the squatters reconnecting meanwhile.
    QProcess scraper;
    QElapsedTimer timer;
    timer.start();
    scraper.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral("-c"),
                   QStringLiteral("import socket,sys\n"
                                  "s=socket.create_connection(('127.0.0.1',%1),timeout=10)\n"
                                  "s.sendall(b'GET /metrics HTTP/1.1\\r\\nHost: x\\r\\n\\r\\n')\n"
                                  "d=b''\n"
                                  "while True:\n"
                                  "    b=s.recv(65536)\n"
                                  "    if not b: break\n"
                                  "    d+=b\n"
                                  "sys.stdout.buffer.write(d)\n")
                       .arg(server.port())});
    QVERIFY(scraper.waitForStarted(5000));
    QTRY_COMPARE_WITH_TIMEOUT(scraper.state(), QProcess::NotRunning, 15000);
    const QByteArray reply = scraper.readAllStandardOutput();
    qInfo("scrape beside %d reconnecting idle sockets: %lld ms, %d reconnects",
          MetricsServer::ConnectionLimit, static_cast<long long>(timer.elapsed()), reconnects);
    QVERIFY2(reply.startsWith("HTTP/1.1 200 OK\r\n"), reply.constData());
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
}

// A scrape is built on the UI thread: a thousand servers stay far below a
// frame. Measured in this thread's processor time, the best of five.
void TestService::scrapeOfAThousandServers() {
    QList<ServerRecord> records;
    for (int i = 1; i <= 1000; ++i)
        records.append(server(i, QStringLiteral("服务器 \"%1\"").arg(i),
                              QStringLiteral("10.0.%1.%2").arg(i / 256).arg(i % 256), 8000 + i));
    ServerRowModel rows;
    rows.resetRows(records);
    FakeClock clock;
    MetricsCollector metrics(rows, clock);
    for (int i = 1; i <= 1000; ++i) {
        metrics.record(outcome(i, i % 7 ? ProbeOutcome::Correct : ProbeOutcome::Wrong, i));
        metrics.record(outcome(i, i % 5 ? ProbeOutcome::EchoAnswered : ProbeOutcome::EchoLost, 3));
    }
    double best = 1e9;
    qsizetype size = 0;
    for (int run = 0; run < 5; ++run)
        best = qMin(best, HostileText::cpuMsOf([&] { size = metrics.text().size(); }));
    qInfo("scrape of 1,000 servers: %.2f ms processor time, %lld bytes", best,
          static_cast<long long>(size));
    QVERIFY2(best < 20 * HostileText::Slowdown, qPrintable(QString::number(best)));
}

// However often the metrics are asked for, their text is built at most once
// a second; the scrapes that come within that second share the next build.
void TestService::scrapesWithinASecondShareOneText() {
    ServerRowModel rows;
    rows.resetRows({server(1, QStringLiteral("a"), QStringLiteral("127.0.0.1"), 80)});
    FakeClock clock;
    MetricsCollector collector(rows, clock);
    StreamedMetrics metrics(collector, clock);
    QSignalSpy pieces(&metrics.stream, &MetricsStream::piece);
    Scrape first(metrics.port, MetricsGet);
    QTRY_VERIFY(first.done);
    QCOMPARE(first.body(), collector.text());
    collector.record(outcome(1, ProbeOutcome::Correct, 5));
    Scrape second(metrics.port, MetricsGet);
    Scrape third(metrics.port, MetricsGet);
    QTRY_VERIFY(second.done && third.done);
    QVERIFY(second.body() != first.body());
    QCOMPARE(second.body(), collector.text());
    QCOMPARE(third.body(), second.body());
    QCOMPARE(pieces.count(), 2);
}

// A scrape of 20,000 servers is built and sent in pieces, each within a
// turn of the event loop, and comes out as the whole text would: chunked to
// HTTP/1.1 clients, until the close to HTTP/1.0 ones.
void TestService::streamedScrape_data() {
    QTest::addColumn<QString>("version"); // curl's option for it
    QTest::addColumn<bool>("chunked");
    QTest::newRow("HTTP/1.1") << QStringLiteral("--http1.1") << true;
    QTest::newRow("HTTP/1.0") << QStringLiteral("--http1.0") << false;
}

void TestService::streamedScrape() {
    QFETCH(QString, version);
    QFETCH(bool, chunked);
    ServerRowModel rows;
    rows.resetRows(manyServers(20000));
    SystemClock clock;
    MetricsCollector collector(rows, clock);
    feed(rows, collector);
    StreamedMetrics metrics(collector, clock);
    QSignalSpy pieces(&metrics.stream, &MetricsStream::piece);
    QTemporaryDir folder;
    const QString output = folder.filePath(QStringLiteral("scrape"));
    // The reader is a process of its own, as Prometheus is, and keeps what
    // came as it came, the head and the chunks' frames included.
    QProcess curl;
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-sS"), QStringLiteral("--include"), QStringLiteral("--raw"),
                version, QStringLiteral("-o"), output,
                QStringLiteral("http://127.0.0.1:%1/metrics").arg(metrics.port)});
    std::optional<LoopGaps> gaps(std::in_place);
    QTRY_COMPARE_WITH_TIMEOUT(curl.state(), QProcess::NotRunning, 120000);
    const qint64 longestGapMs = gaps->longestMs();
    gaps.reset();
    QCOMPARE(curl.exitCode(), 0);
    QFile file(output);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray reply = file.readAll();
    qInfo("%lld bytes in %lld pieces, longest gap between turns %lld ms",
          static_cast<long long>(reply.size()), static_cast<long long>(pieces.count()),
          static_cast<long long>(longestGapMs));
    QVERIFY(reply.startsWith("HTTP/1.1 200 OK\r\n"));
    QCOMPARE(reply.contains("\r\nTransfer-Encoding: chunked\r\n"), chunked);
    QVERIFY(!reply.contains("\r\nContent-Length: "));
    QVERIFY(pieces.count() > 1);
    const QByteArray body = bodyOf(reply);
    QVERIFY(body.size() > 10000000);
    QElapsedTimer whole;
    whole.start();
    const QByteArray text = collector.text();
    const qint64 wholeMs = whole.elapsed();
    QVERIFY(body == text);
    // Beside the text built in one piece here and now, so that a slower or
    // busier machine (or a sanitizer) slows both alike.
    QVERIFY2(longestGapMs < qMax<qint64>(100, wholeMs / 2),
             qPrintable(QStringLiteral("%1 ms, whole text %2 ms").arg(longestGapMs).arg(wholeMs)));
}

// The list is reloaded or changed while a scrape is being built: the scrape
// is still valid text, without the servers that went, and the next one is
// the whole text of the list as it is now.
void TestService::listChangesDuringAScrape_data() {
    QTest::addColumn<int>("change");
    QTest::newRow("reloaded") << int(ListChange::Reload);
    QTest::newRow("rows removed") << int(ListChange::Remove);
    QTest::newRow("rows added") << int(ListChange::Append);
}

void TestService::listChangesDuringAScrape() {
    QFETCH(int, change);
    ServerRowModel rows;
    rows.resetRows(manyServers(20000));
    SystemClock clock;
    MetricsCollector collector(rows, clock);
    feed(rows, collector);
    StreamedMetrics metrics(collector, clock);
    int pieces = 0;
    connect(&metrics.stream, &MetricsStream::piece, this, [&] {
        if (++pieces != 5)
            return;
        switch (ListChange(change)) {
        case ListChange::Reload:
            rows.resetRows(manyServers(15000, QStringLiteral("新的 %1")));
            break;
        case ListChange::Remove:
            for (int i = 0; i < 200; ++i)
                rows.removeRowAt(1000 + 10 * i);
            break;
        case ListChange::Append:
            rows.appendRows(manyServers(21000).mid(20000));
            break;
        }
    });
    Scrape during(metrics.port, MetricsGet);
    QTRY_VERIFY_WITH_TIMEOUT(during.done, 120000);
    QVERIFY(pieces > 5);
    const QByteArray body = during.body();
    QVERIFY(!body.isNull());
    const QString fault = expositionFault(body);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QVERIFY(body.contains("\n# HELP servermon_consecutive_lost_echoes "));

    Scrape after(metrics.port, MetricsGet);
    QTRY_VERIFY_WITH_TIMEOUT(after.done, 120000);
    QVERIFY(after.body() == collector.text());
}

// Scrapes that come while a text is being built get the next one, whole;
// those that came before it began share it.
void TestService::scrapesDuringABuild() {
    ServerRowModel rows;
    rows.resetRows(manyServers(20000));
    SystemClock clock;
    MetricsCollector collector(rows, clock);
    feed(rows, collector);
    StreamedMetrics metrics(collector, clock);
    QSignalSpy pieces(&metrics.stream, &MetricsStream::piece);
    Scrape first(metrics.port, MetricsGet);
    Scrape second(metrics.port, MetricsGet);
    QTRY_VERIFY(pieces.count() >= 3);
    Scrape late(metrics.port, MetricsGet);
    QTRY_VERIFY_WITH_TIMEOUT(first.done && second.done && late.done, 120000);
    const QByteArray whole = collector.text();
    for (const Scrape* scrape : {&first, &second, &late}) {
        const QString fault = expositionFault(scrape->body());
        QVERIFY2(fault.isEmpty(), qPrintable(fault));
        QVERIFY(scrape->body() == whole);
    }
    int builds = 0;
    for (const QList<QVariant>& piece : std::as_const(pieces))
        builds += piece.at(1).toBool();
    QVERIFY2(builds >= 2 && builds <= 3, qPrintable(QString::number(builds)));
}

// A reader that takes nothing holds the build: no more than a few
// megabytes wait for it, and once it reads it gets the whole text.
void TestService::slowReaderHoldsTheBuild() {
    ServerRowModel rows;
    rows.resetRows(manyServers(20000));
    SystemClock clock;
    MetricsCollector collector(rows, clock);
    feed(rows, collector);
    const QByteArray whole = collector.text();
    StreamedMetrics metrics(collector, clock);
    qint64 built = 0;
    connect(&metrics.stream, &MetricsStream::piece, this,
            [&built](const QByteArray& piece) { built += piece.size(); });
    Scrape slow(metrics.port, MetricsGet);
    QObject::disconnect(&slow.socket, &QTcpSocket::readyRead, nullptr, nullptr);
    constexpr int ReaderBuffer = 64 * 1024;
    slow.socket.setReadBufferSize(ReaderBuffer);
    QVERIFY(slow.socket.waitForConnected(5000));
    slow.socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, ReaderBuffer);
    QTRY_VERIFY(built >= MetricsStream::QueueLimit);
    QTest::qWait(1000); // the build runs on as far as it may
    // What waits in the server, in the kernel's buffers of the two sockets
    // (it doubles a size set) and in the reader's own buffer.
    const qint64 bound = MetricsStream::QueueLimit + MetricsStream::PieceBytes +
                         kernelBufferMax(QStringLiteral("tcp_wmem")) + 3 * ReaderBuffer;
    qInfo("%lld of %lld bytes built for a reader that takes nothing, at most %lld may be",
          static_cast<long long>(built), static_cast<long long>(whole.size()),
          static_cast<long long>(bound));
    QVERIFY2(built <= bound && built < whole.size(), qPrintable(QString::number(built)));
    connect(&slow.socket, &QTcpSocket::readyRead, this,
            [&slow] { slow.reply += slow.socket.readAll(); });
    slow.reply += slow.socket.readAll();
    QTRY_VERIFY_WITH_TIMEOUT(slow.done, 120000);
    QVERIFY(slow.body() == whole);
}

// A reader that takes a little now and then is cut off at the answer's time
// limit, and the next scrape gets the whole text.
void TestService::tricklingReaderIsCutOff() {
    ServerRowModel rows;
    rows.resetRows(manyServers(20000));
    SystemClock clock;
    MetricsCollector collector(rows, clock);
    feed(rows, collector);
    const QByteArray whole = collector.text();
    StreamedMetrics metrics(collector, clock);
    QMetaObject::invokeMethod(
        metrics.server, [&metrics] { metrics.server->setAnswerLimitMs(1500); },
        Qt::BlockingQueuedConnection);
    Scrape trickling(metrics.port, MetricsGet);
    QObject::disconnect(&trickling.socket, &QTcpSocket::readyRead, nullptr, nullptr);
    trickling.socket.setReadBufferSize(4096);
    QVERIFY(trickling.socket.waitForConnected(5000));
    QTimer sip;
    connect(&sip, &QTimer::timeout, this, [&trickling] {
        if (trickling.socket.isOpen())
            trickling.socket.read(1024);
    });
    sip.start(100);
    // The server lets go of it; what its kernel already took may still trickle in.
    const auto open = [&metrics] {
        int count = -1;
        QMetaObject::invokeMethod(
            metrics.server, [&] { count = metrics.server->openConnections(); },
            Qt::BlockingQueuedConnection);
        return count;
    };
    QTRY_COMPARE_WITH_TIMEOUT(open(), 0, 30000);
    QMetaObject::invokeMethod(
        metrics.server,
        [&metrics] { metrics.server->setAnswerLimitMs(MetricsServer::DefaultAnswerLimitMs); },
        Qt::BlockingQueuedConnection);
    Scrape next(metrics.port, MetricsGet);
    QTRY_VERIFY_WITH_TIMEOUT(next.done, 120000);
    QVERIFY(next.body() == whole);
    sip.stop();
    QVERIFY(trickling.body().isNull());
}

// Four threads scraping 5,000 servers back to back, as fast as they are
// answered, leave the passes running at their interval: no gap between two
// passes grows to twice the longest gap between passes without scrapes.
void TestService::scrapeLoopDoesNotStopPasses() {
    constexpr int Rows = 5000;
    const quint16 closed = [] {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }();
    QList<ServerRecord> records;
    for (int i = 1; i <= Rows; ++i)
        records.append(server(i, QStringLiteral("服务器 \"%1\" of a row with a long name").arg(i),
                              QStringLiteral("127.0.0.1"), closed));
    ServerRowModel rows;
    rows.resetRows(records);
    MonitorSettings settings;
    settings.iTimerN = 1;
    SystemClock clock;
    FakeEcho echo;
    RecordingAlerts alerts;
    ServerMonitor monitor(rows, rows, settings, clock, echo, alerts);
    MetricsService metrics(rows, monitor, clock);
    QString error;
    QVERIFY(metrics.listen(MetricsEndpoint{QHostAddress(QHostAddress::LocalHost), 0}, error));
    QElapsedTimer timer;
    timer.start();
    QList<qint64> passEnds;
    connect(&monitor, &ServerMonitor::passFinished, this,
            [&] { passEnds.append(timer.elapsed()); });
    monitor.CmdStart_Click();
    QTRY_VERIFY_WITH_TIMEOUT(passEnds.size() >= 4, 60000);
    qint64 quietGap = 0;
    for (qsizetype i = 1; i < passEnds.size(); ++i)
        quietGap = qMax(quietGap, passEnds.at(i) - passEnds.at(i - 1));

    QProcess loop;
    const int seconds = 20;
    loop.start(QStringLiteral("/usr/bin/python3"),
               {qEnvironmentVariable("SERVERMON_SOURCE_DIR") +
                    QStringLiteral("/tests/service/scrape_loop.py"),
                QString::number(metrics.port()), QString::number(seconds), QStringLiteral("4")});
    QVERIFY(loop.waitForStarted(5000));
    const qint64 loopStarted = timer.elapsed();
    const qsizetype passesBefore = passEnds.size();
    QTRY_COMPARE_WITH_TIMEOUT(loop.state(), QProcess::NotRunning, (seconds + 60) * 1000);
    const qint64 loopEnded = timer.elapsed();
    monitor.CmdStart_Click();
    const QList<QByteArray> counts = loop.readAllStandardOutput().trimmed().split(' ');
    QCOMPARE(counts.size(), 2);

    QList<qint64> during = {loopStarted};
    for (qsizetype i = passesBefore; i < passEnds.size(); ++i)
        during.append(passEnds.at(i));
    during.append(loopEnded);
    qint64 longestGap = 0;
    for (qsizetype i = 1; i < during.size(); ++i)
        longestGap = qMax(longestGap, during.at(i) - during.at(i - 1));
    qInfo("%d rows: %s scrapes answered, %s failed in %lld ms; %lld passes, longest gap "
          "%lld ms (without scrapes %lld ms)",
          Rows, counts.at(0).constData(), counts.at(1).constData(),
          static_cast<long long>(loopEnded - loopStarted),
          static_cast<long long>(passEnds.size() - passesBefore),
          static_cast<long long>(longestGap), static_cast<long long>(quietGap));
    QVERIFY(counts.at(0).toInt() > 0);
    QVERIFY2(longestGap < 2 * quietGap + 1000, qPrintable(QString::number(longestGap)));
}

// The metrics hear a real pass beside another recorder, and leave the
// monitor recording for it once they go.
void TestService::metricsFollowAMonitor() {
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
    connect(&peer, &QTcpServer::newConnection, this, [&peer] {
        while (QTcpSocket* socket = peer.nextPendingConnection())
            connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->write("220\r\n"); });
    });
    ServerRecord record =
        server(3, QStringLiteral("peer"), QStringLiteral("127.0.0.1"), peer.serverPort());
    record.postData = QStringLiteral("HELLO");
    record.replyData = QStringLiteral("220");
    ServerRowModel rows;
    rows.resetRows({record});
    MonitorSettings settings;
    FakeClock clock;
    FakeEcho echo;
    RecordingAlerts alerts;
    ServerMonitor monitor(rows, rows, settings, clock, echo, alerts);
    FakeRecorder other;
    monitor.setRecorder(&other);
    auto metrics = std::make_unique<MetricsService>(rows, monitor, clock);
    QString error;
    QVERIFY(metrics->listen(MetricsEndpoint{QHostAddress(QHostAddress::LocalHost), 0}, error));
    QSignalSpy finished(&monitor, &ServerMonitor::passFinished);
    monitor.CmdStart_Click();
    monitor.TimerProc_Timer();
    QTRY_COMPARE(finished.count(), 1);
    QTRY_COMPARE(other.outcomes.size(), 2); // the reply and the echo

    const QByteArray scraped = exchange(metrics->port(), MetricsGet);
    const QByteArray labels = "{id=\"3\",name=\"peer\",address=\"127.0.0.1\",port=\"" +
                              QByteArray::number(peer.serverPort()) + "\"}";
    for (const QByteArray& line :
         {QByteArray("\nservermon_passes_total 1\n"), "\nservermon_probes_total" + labels + " 1\n",
          "\nservermon_reply_correct" + labels + " 1\n",
          "\nservermon_echoes_sent_total" + labels + " 1\n"})
        QVERIFY2(scraped.contains(line), line.constData());

    // Gone, the metrics close their port with their thread.
    const quint16 port = metrics->port();
    metrics.reset();
    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!late.waitForConnected(5000));
    settings.iTimerN = 0; // the next tick runs a pass
    monitor.TimerProc_Timer();
    QTRY_VERIFY(other.outcomes.size() >= 4);
}

// A server whose reply is wrong, its echo answered long before the reply
// comes: the first pass takes it from unknown straight to wrong.
void TestService::wrongReplyIsNeverOkOnTheFirstPass() {
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
    connect(&peer, &QTcpServer::newConnection, this, [&peer] {
        while (QTcpSocket* socket = peer.nextPendingConnection())
            connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                QTimer::singleShot(100, socket, [socket] { socket->write("500 no\r\n"); });
            });
    });
    ServerRecord record =
        server(4, QStringLiteral("mail"), QStringLiteral("127.0.0.1"), peer.serverPort());
    record.postData = QStringLiteral("HELO");
    record.replyData = QStringLiteral("220");
    ServerRowModel rows;
    rows.resetRows({record});
    MonitorSettings settings;
    FakeClock clock;
    FakeEcho echo;
    echo.defaultRoundTrip = 0;
    RecordingAlerts alerts;
    ServerMonitor monitor(rows, rows, settings, clock, echo, alerts);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ServiceLog log(out, clock);
    StateLog states(rows, log);
    MetricsCollector metrics(rows, clock);
    monitor.setRecorder(&states);
    monitor.addRecorder(&metrics);
    monitor.CmdStart_Click();
    monitor.TimerProc_Timer();
    QTRY_COMPARE(echo.answered.size(), 1);
    QTRY_VERIFY(out.data().contains("\twrong\t"));

    const QString line = ServiceLog::timeText(clock.utcMs()) + "\t4\tmail\t127.0.0.1\t" +
                         QString::number(peer.serverPort()) +
                         "\tunknown\twrong\t应答包错误：500 no\\r\\n\n";
    QCOMPARE(QString::fromUtf8(out.data()), line);
    const QByteArray labels = "{id=\"4\",name=\"mail\",address=\"127.0.0.1\",port=\"" +
                              QByteArray::number(peer.serverPort()) + "\"}";
    const QByteArray scraped = metrics.text();
    for (const QByteArray& sample :
         {"\nservermon_reply_correct" + labels + " 0\n",
          "\nservermon_probes_total" + labels + " 1\n",
          "\nservermon_socket_faults_total" + labels.chopped(1) + ",kind=\"wrong\"} 1\n"})
        QVERIFY2(scraped.contains(sample), sample.constData());
}

void TestService::headlessRunAndShutdown() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QTcpServer correct;
    QTcpServer wrong;
    QVERIFY(correct.listen(QHostAddress::LocalHost, 0));
    QVERIFY(wrong.listen(QHostAddress::LocalHost, 0));
    const auto answer = [](QTcpServer& peer, const QByteArray& reply) {
        QObject::connect(&peer, &QTcpServer::newConnection, &peer, [&peer, reply] {
            while (QTcpSocket* socket = peer.nextPendingConnection())
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [socket, reply] { socket->write(reply); });
        });
    };
    answer(correct, "220 ready\r\n");
    answer(wrong, "500 no\r\n");
    const quint16 refusedPort = closedPort();
    QVERIFY(addServers(dir.path(), {{QStringLiteral("good\tone"), correct.serverPort(), "220"},
                                    {QStringLiteral("wrong"), wrong.serverPort(), "220"},
                                    {QStringLiteral("refused"), refusedPort, QString()}}));

    QProcess service;
    QByteArray log;
    QVERIFY(startHeadless(service, dir.path(), log));
    const auto ending = qScopeGuard([&service] {
        service.kill();
        service.waitForFinished(10000);
    });
    const QString port = QString::number(correct.serverPort());
    // ID, name, address, port, old state, new state, status text.
    const QRegularExpression wrongLine(
        QStringLiteral("\n[^\t\n]+\t2\twrong\t127\\.0\\.0\\.1\t%1\t[a-z-]+\twrong\t应答包错误：500 "
                       "no\\\\r\\\\n\n")
            .arg(wrong.serverPort()));
    const QRegularExpression refusedLine(
        QStringLiteral("\n[^\t\n]+\t3\trefused\t127\\.0\\.0\\.1\t%1\t[a-z-]+\terror\tSOCKET错误:")
            .arg(refusedPort));
    const QRegularExpression goodLine(
        QStringLiteral(
            "\n[^\t\n]+\t1\tgood\\\\tone\t127\\.0\\.0\\.1\t%1\tunknown\t(ok|lost-echo)\t")
            .arg(port));
    QTRY_VERIFY2_WITH_TIMEOUT(QString::fromUtf8(log).contains(wrongLine) &&
                                  QString::fromUtf8(log).contains(refusedLine) &&
                                  QString::fromUtf8(log).contains(goodLine),
                              log.constData(), 20000);
    QVERIFY(log.startsWith(QDateTime::currentDateTime().toString("yyyy-MM-dd").toLatin1()));

    // One copy per data folder.
    QProcess second;
    second.setProcessEnvironment(headlessEnvironment());
    second.start(service.program(), service.arguments());
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitCode(), 1);
    QVERIFY(QString::fromUtf8(second.readAllStandardError()).contains(QStringLiteral("已在运行")));

    QElapsedTimer stopping;
    stopping.start();
    service.terminate();
    QVERIFY(service.waitForFinished(10000));
    qInfo("stopped %lld ms after SIGTERM", static_cast<long long>(stopping.elapsed()));
    QVERIFY(stopping.elapsed() < 3000);
    QCOMPARE(service.exitStatus(), QProcess::NormalExit);
    QCOMPARE(service.exitCode(), 0);
    log += service.readAllStandardOutput();
    QVERIFY2(log.endsWith("\tstop\n"), log.constData());

    QFile settings(dir.filePath(QStringLiteral("RodOdazuConfig.ini")));
    QVERIFY(settings.open(QIODevice::ReadOnly));
    const QByteArray written = settings.readAll();
    QVERIFY2(written.contains("ITIMERN= 30") && written.contains("ITIMEOUT= 10000"),
             written.constData());
    QVERIFY(!written.contains("MAINWIDTH")); // no window settings
    // The history was closed: its log folded back into the file, results kept.
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("History.db-wal"))));
    {
        QSqlDatabase history =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        history.setDatabaseName(dir.filePath(QStringLiteral("History.db")));
        QVERIFY(history.open());
        QSqlQuery count(QStringLiteral("SELECT COUNT(*) FROM raw"), history);
        QVERIFY(count.next());
        QVERIFY(count.value(0).toInt() >= 3);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
}

// Passes every 2 s with a 300 ms time-out: a server that refuses
// connections is in error from its first pass on, and its state never
// flaps to a time-out. Three passes, a few seconds.
void TestService::headlessRefusedServerKeepsItsError() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const quint16 refusedPort = closedPort();
    QVERIFY(addServers(dir.path(), {{QStringLiteral("refused"), refusedPort, QString()}}));
    const quint16 metricsPort = closedPort();
    QFile settings(dir.filePath(QStringLiteral("RodOdazuConfig.ini")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[SETTING]\nITIMERN=1\n[SETUP]\nITIMEOUT=300\nMETRICS=127.0.0.1:" +
                   QByteArray::number(metricsPort) + "\n");
    settings.close();

    QProcess service;
    QByteArray log;
    QVERIFY(startHeadless(service, dir.path(), log));
    const auto ending = qScopeGuard([&service] {
        service.kill();
        service.waitForFinished(10000);
    });
    const QRegularExpression passes(QStringLiteral("\nservermon_passes_total (\\d+)\n"));
    QByteArray scraped;
    QTRY_VERIFY2_WITH_TIMEOUT((scraped = exchange(metricsPort, MetricsGet),
                               passes.match(QString::fromUtf8(scraped)).captured(1).toInt() >= 3),
                              log.constData(), 20000);
    const QByteArray labels = "{id=\"1\",name=\"refused\",address=\"127.0.0.1\",port=\"" +
                              QByteArray::number(refusedPort) + '"';
    const auto sample = [&scraped, &labels](const QByteArray& name, const QByteArray& kind = {}) {
        const QByteArray start = '\n' + name + labels + kind + "} ";
        const qsizetype at = scraped.indexOf(start);
        return at < 0 ? -1 : scraped.mid(at + start.size()).split('\n').value(0).toInt();
    };
    const int probes = sample("servermon_probes_total");
    QVERIFY2(probes >= 2, scraped.constData());
    QCOMPARE(sample("servermon_socket_faults_total", ",kind=\"error\""), probes);
    QCOMPARE(sample("servermon_socket_faults_total", ",kind=\"timeout\""), 0);
    QVERIFY(sample("servermon_echoes_sent_total") >= probes);

    service.terminate();
    QVERIFY(service.waitForFinished(10000));
    log += service.readAllStandardOutput();
    QStringList states;
    for (const QString& line : QString::fromUtf8(log).split(u'\n')) {
        const QStringList fields = line.split(u'\t');
        if (fields.size() == 8 && fields.at(1) == QLatin1String("1"))
            states << fields.at(5) + "→" + fields.at(6) + ' ' + fields.at(7);
    }
    QCOMPARE(states, QStringList{"unknown→error SOCKET错误:连接被拒绝"});
}

// TLS servers without a window, trusting the CA of TLSCAFILE: a certificate
// close to expiry raises one "alert" line, remembered in the catalogue, so
// the next start does not repeat it; a refused certificate is "tls-error";
// the metrics carry the certificates' facts.
void TestService::headlessTlsServers() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString certificates = dir.filePath(QStringLiteral("certificates"));
    const QString failed = TlsPeers::makeCertificates(certificates);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    TlsPeer trusted(QStringLiteral("tls"), certificates, QStringLiteral("chain"));
    TlsPeer untrusted(QStringLiteral("tls"), certificates, QStringLiteral("selfsigned"));
    QVERIFY2(!trusted.port().isEmpty() && !untrusted.port().isEmpty(),
             "the Python peers did not start");
    {
        const AppPaths previous = AppPaths::current();
        AppPaths::setCurrent(AppPaths::portableIn(dir.path()));
        ModuleDB::setDbPath(AppPaths::current().catalogueFile());
        QVERIFY(ModuleDB::DbOpen());
        for (const auto& [name, port] :
             {std::pair{QStringLiteral("trusted"), trusted.port()},
              std::pair{QStringLiteral("untrusted"), untrusted.port()}}) {
            ServerRecord record = server(0, name, QStringLiteral("127.0.0.1"), port.toInt());
            record.postData = QStringLiteral("HELLO\r\n");
            record.replyData = QStringLiteral("OK");
            record.tls = {Transport::Tls, QStringLiteral("svc.test"), false};
            QCOMPARE(ServerCatalogue::AddServer(record), QString());
        }
        ModuleDB::DbClose();
        AppPaths::setCurrent(previous);
    }
    const quint16 metricsPort = closedPort();
    QFile settings(dir.filePath(QStringLiteral("RodOdazuConfig.ini")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[SETTING]\nITIMERN=1\n[SETUP]\nITIMEOUT=5000\nMETRICS=127.0.0.1:" +
                   QByteArray::number(metricsPort) +
                   "\nTLSCAFILE=" + QFile::encodeName(certificates) + "/ca.pem\n");
    settings.close();
    const QString noticeLine =
        QStringLiteral("\talert\t1\t注意:证书即将过期\t服务器:trusted\\r\\n");
    // Runs the service until both servers' certificates show in the metrics.
    const auto run = [&](QByteArray& log, QByteArray& scraped) {
        QProcess service;
        QVERIFY(startHeadless(service, dir.path(), log));
        const auto ending = qScopeGuard([&service] {
            service.kill();
            service.waitForFinished(10000);
        });
        QTRY_VERIFY2_WITH_TIMEOUT((scraped = exchange(metricsPort, MetricsGet),
                                   scraped.count("\nservermon_tls_verified{") == 2),
                                  log.constData(), 20000);
        service.terminate();
        QVERIFY(service.waitForFinished(10000));
        log += service.readAllStandardOutput();
    };

    QByteArray log;
    QByteArray scraped;
    run(log, scraped);
    if (QTest::currentTestFailed())
        return;
    // The self-signed certificate is refused, and as close to expiry.
    QCOMPARE(QString::fromUtf8(log).count(noticeLine), 1);
    QCOMPARE(QString::fromUtf8(log).count(QStringLiteral("\t注意:证书即将过期\t")), 2);
    const QRegularExpression refusedLine(
        QStringLiteral(
            "\t2\tuntrusted\t127\\.0\\.0\\.1\t%1\t[a-z-]+\ttls-error\t证书错误:不受信任\n")
            .arg(untrusted.port()));
    QVERIFY2(QString::fromUtf8(log).contains(refusedLine), log.constData());
    QVERIFY2(scraped.contains(R"(servermon_tls_verified{id="1",name="trusted")"
                              R"(,address="127.0.0.1",port=")" +
                              trusted.port().toLatin1() + "\"} 1\n"),
             scraped.constData());
    QVERIFY(scraped.contains(R"(servermon_tls_verified{id="2",name="untrusted")"));
    QVERIFY(scraped.contains("\nservermon_tls_chain_earliest_not_after_seconds{id=\"1\""));
    {
        QSqlDatabase catalogue =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("notified"));
        catalogue.setDatabaseName(dir.filePath(QStringLiteral("ServerList.db")));
        QVERIFY(catalogue.open());
        QSqlQuery query(QStringLiteral("SELECT CertNotified FROM ServerList ORDER BY ID"),
                        catalogue);
        const QRegularExpression key(QStringLiteral("^[0-9a-f]{64}/14$"));
        QStringList notified;
        while (query.next())
            notified << query.value(0).toString();
        QCOMPARE(notified.size(), 2);
        QVERIFY2(key.match(notified.at(0)).hasMatch() && key.match(notified.at(1)).hasMatch() &&
                     notified.at(0) != notified.at(1),
                 qPrintable(notified.join(u' ')));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("notified"));

    QByteArray again;
    run(again, scraped);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(!QString::fromUtf8(again).contains(QStringLiteral("注意:证书即将过期")),
             again.constData());
}

// A headless copy started while another copy imports never takes the
// catalogue for empty. Beside an import in write-ahead-log mode it loads
// the servers there before the import at once; where a rollback journal's
// lock keeps it out, it says so and tries again until the import has
// ended, then loads the imported servers too.
void TestService::headlessStartDuringAnImport_data() {
    QTest::addColumn<QString>("journal");
    QTest::addColumn<bool>("retries");
    QTest::addColumn<int>("loaded");
    QTest::newRow("write-ahead log") << "wal" << false << 2;
    QTest::newRow("rollback journal, locked") << "delete" << true << 5;
}

void TestService::headlessStartDuringAnImport() {
    QFETCH(QString, journal);
    QFETCH(bool, retries);
    QFETCH(int, loaded);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const AppPaths previous = AppPaths::current();
    AppPaths::setCurrent(AppPaths::portableIn(dir.path()));
    const QString catalogue = AppPaths::current().catalogueFile();
    ModuleDB::setDbPath(catalogue);
    QVERIFY(ModuleDB::DbOpen());
    for (const QString& name : {QStringLiteral("one"), QStringLiteral("two")})
        QCOMPARE(ServerCatalogue::AddServer(server(0, name, QStringLiteral("127.0.0.1"), 9)),
                 QString());
    ModuleDB::DbClose();
    AppPaths::setCurrent(previous);

    const QString connection = QStringLiteral("import");
    const auto closing = qScopeGuard([&] { QSqlDatabase::removeDatabase(connection); });
    QSqlDatabase import = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    import.setDatabaseName(catalogue);
    QVERIFY(import.open());
    QSqlQuery statement(import);
    QVERIFY(statement.exec(QStringLiteral("pragma journal_mode=") + journal));
    QVERIFY(statement.exec(QStringLiteral("begin exclusive")));
    for (int i = 0; i < 3; ++i)
        QVERIFY(statement.exec(QStringLiteral("insert into ServerList (DisplayName, IPAddress, "
                                              "Port, InUse) values ('new', '127.0.0.1', '9', 1)")));

    QProcess service;
    QByteArray log;
    QVERIFY(startHeadless(service, dir.path(), log));
    const auto ending = qScopeGuard([&service] {
        service.terminate();
        if (!service.waitForFinished(10000))
            service.kill();
    });
    const QString connected = QStringLiteral("数据库：连接成功");
    const auto hasLine = [&log](const QString& pattern) {
        return QString::fromUtf8(log).contains(QRegularExpression(pattern));
    };
    // The start line: the program, its version, the catalogue, its state, its servers.
    const QString start = QStringLiteral("\tstart\t[^\t]+\t[^\t]+\t([^\t]+)\t(\\d+)\n");
    QTRY_VERIFY2_WITH_TIMEOUT(hasLine(start), log.constData(), 20000);
    if (!retries) {
        QVERIFY2(
            hasLine(QStringLiteral("\tstart\t[^\t]+\t[^\t]+\t%1\t%2\n").arg(connected).arg(loaded)),
            log.constData());
        QVERIFY(statement.exec(QStringLiteral("commit")));
        return;
    }
    const QString retry = QStringLiteral("\tcatalogue\t[^\t]+\t[^\t]+\t1 秒后重试\n");
    QTRY_VERIFY2_WITH_TIMEOUT(hasLine(retry), log.constData(), 20000);
    QVERIFY(statement.exec(QStringLiteral("commit")));
    QTRY_VERIFY2_WITH_TIMEOUT(
        hasLine(QStringLiteral("\tcatalogue\t[^\t]+\t%1\t%2\n").arg(connected).arg(loaded)),
        log.constData(), 30000);
}

// An import of what is not a regular file, or of a file beyond 1 GiB, is
// refused at once, before a byte of it is read: a device would never end,
// a pipe would block and a folder would read as nothing.
void TestService::importRefusesWhatIsNoRegularFile_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    const QString notAFile = QStringLiteral("(不是普通文件)");
    QTest::newRow("/dev/zero") << "device" << notAFile;
    QTest::newRow("named pipe") << "pipe" << notAFile;
    QTest::newRow("folder") << "folder" << notAFile;
    QTest::newRow("beyond 1 GiB") << "large" << QStringLiteral("超过 1 GiB,不能导入");
}

void TestService::importRefusesWhatIsNoRegularFile() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString file = dir.filePath(QStringLiteral("servers.csv"));
    if (kind == QLatin1String("device")) {
        file = QStringLiteral("/dev/zero");
    } else if (kind == QLatin1String("pipe")) {
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("servers.csv")));
    } else {
        // Sparse: no disk space is taken.
        QFile large(file);
        QVERIFY(large.open(QIODevice::WriteOnly));
        QVERIFY(large.write("DisplayName,IPAddress,Port\r\n") > 0);
        QVERIFY(large.resize((qint64(1) << 30) + 1));
    }
    QProcess import;
    QElapsedTimer timer;
    timer.start();
    import.start(qEnvironmentVariable("SERVERMON_BINARY"),
                 {QStringLiteral("--config-dir"), dir.path(), QStringLiteral("--import"), file});
    QVERIFY(import.waitForStarted(10000));
    const bool ended = import.waitForFinished(10000);
    if (!ended) {
        import.kill();
        import.waitForFinished(10000);
    }
    QVERIFY2(ended, "the import did not end");
    qInfo("refused after %lld ms", static_cast<long long>(timer.elapsed()));
    QCOMPARE(import.exitStatus(), QProcess::NormalExit);
    QCOMPARE(import.exitCode(), 2);
    const QString error = QString::fromLocal8Bit(import.readAllStandardError());
    QVERIFY2(error.startsWith(QStringLiteral("没有导入任何服务器:")) && error.contains(reason),
             qPrintable(error));
}

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
