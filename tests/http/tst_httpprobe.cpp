#include "FakeClock.h"
#include "FakeEcho.h"
#include "FakeRecorder.h"
#include "HttpPeer.h"
#include "RecordingAlerts.h"
#include "TlsPeer.h"

#include "http/CurlMulti.h"
#include "http/HttpExchange.h"
#include "http/HttpExchangeFacts.h"
#include "http/HttpRequest.h"
#include "http/HttpResult.h"
#include "monitor/HttpCheck.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "tls/CertificateFacts.h"
#include "tls/TlsContext.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using Col = ServerRowModel::Column;
using Failure = HttpResult::Failure;
using Kind = ProbeOutcome::Kind;
using Verification = CertificateFacts::Verification;

namespace {

const QString kCorrect = QStringLiteral("已收到正确的回应包");

constexpr qint64 Ms = 1000; // µs

// A port nothing listens on.
quint16 closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    return server.serverPort();
}

// One exchange at a time on a multi handle of its own.
struct Client {
    const HttpResult& run(const HttpRequest& request, int waitMs = 30000) {
        QSignalSpy finished(&exchange, &HttpExchange::finished);
        exchange.start(request);
        if (!finished.wait(waitMs))
            qWarning("the exchange did not finish");
        return exchange.result();
    }
    static HttpRequest get(const QString& url) {
        HttpRequest request;
        request.url = url.toUtf8();
        return request;
    }

    CurlMulti multi;
    HttpExchange exchange{multi};
};

// An HTTP server row, as the catalogue loads it.
ServerRecord httpRow(qint64 id, const QString& url, const QString& expected = {}) {
    ServerRecord record;
    record.id = id;
    record.displayName = QStringLiteral("web") + QString::number(id);
    record.ipAddress = QStringLiteral("127.0.0.1");
    record.port = QStringLiteral("80");
    record.replyData = expected;
    record.checkKind = ServerRecord::CheckKind::Http;
    record.url = url;
    return record;
}

// A TCP server on loopback that answers every request with "OK".
class TcpAnswerer final : public QObject {
public:
    TcpAnswerer() {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket,
                        [socket] { socket->write(socket->readAll().isEmpty() ? "" : "OK\r\n"); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString port() const { return QString::number(m_server.serverPort()); }

private:
    QTcpServer m_server;
};

// Debian's nginx on two free loopback ports, HTTP/1.1 on one and HTTP/2
// over TLS on the other, answering every request with a fixed text; its
// files stay in the folder given.
class Nginx final {
public:
    static constexpr const char* Answer = "nginx answers";

    Nginx(const QString& folder, const QString& certificate, const QString& key)
        : m_plain(closedPort())
        , m_secure(closedPort()) {
        const QString program =
            QStandardPaths::findExecutable(QStringLiteral("nginx"), {"/usr/sbin", "/sbin"});
        if (program.isEmpty())
            return;
        QDir(folder).mkpath(QStringLiteral("temp"));
        QFile conf(folder + QStringLiteral("/nginx.conf"));
        if (!conf.open(QIODevice::WriteOnly))
            return;
        const QString answer = QStringLiteral("location / { return 200 \"%1\"; }").arg(Answer);
        conf.write(QStringLiteral("worker_processes 1;\n"
                                  "pid %1/nginx.pid;\n"
                                  "error_log %1/error.log;\n"
                                  "events { worker_connections 64; }\n"
                                  "http {\n"
                                  "  access_log off;\n"
                                  "  default_type text/plain;\n"
                                  "  client_body_temp_path %1/temp/body;\n"
                                  "  proxy_temp_path %1/temp/proxy;\n"
                                  "  fastcgi_temp_path %1/temp/fastcgi;\n"
                                  "  uwsgi_temp_path %1/temp/uwsgi;\n"
                                  "  scgi_temp_path %1/temp/scgi;\n"
                                  "  server { listen 127.0.0.1:%2; %5 }\n"
                                  "  server { listen 127.0.0.1:%3 ssl http2;\n"
                                  "    ssl_certificate %4; ssl_certificate_key %6; %5 }\n"
                                  "}\n")
                       .arg(folder)
                       .arg(m_plain)
                       .arg(m_secure)
                       .arg(certificate, answer, key)
                       .toUtf8());
        conf.close();
        m_process.start(program, {"-p", folder, "-e", folder + QStringLiteral("/error.log"), "-c",
                                  conf.fileName(), "-g", "daemon off;"});
        m_process.waitForStarted(10000);
    }
    ~Nginx() {
        m_process.terminate();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(10000);
    }
    Q_DISABLE_COPY_MOVE(Nginx)

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    // Whether both ports take connections within a few seconds.
    bool isListening() const {
        for (int attempt = 0; attempt < 100 && isRunning(); ++attempt) {
            QTcpSocket plain;
            QTcpSocket secure;
            plain.connectToHost(QHostAddress::LocalHost, m_plain);
            secure.connectToHost(QHostAddress::LocalHost, m_secure);
            if (plain.waitForConnected(100) && secure.waitForConnected(100))
                return true;
            QTest::qWait(100);
        }
        return false;
    }
    QString url(bool secure) const {
        return QStringLiteral("%1://127.0.0.1:%2/")
            .arg(secure ? QStringLiteral("https") : QStringLiteral("http"))
            .arg(secure ? m_secure : m_plain);
    }

private:
    quint16 m_plain;
    quint16 m_secure;
    QProcess m_process;
};

// The monitor of the window without it, for whole passes over HTTP rows.
struct Rig {
    explicit Rig(const QString& caFile = {}) {
        list.setSourceModel(&rows);
        list.setDynamicSortFilter(false);
        monitor.timerProc().setInterval(24 * 3600 * 1000);
        settings.TlsCaFile = caFile;
        clock.setUtcMs(QDateTime::currentMSecsSinceEpoch());
        monitor.setRecorder(&recorder);
    }
    void pass() {
        if (!monitor.isMonitoring())
            monitor.CmdStart_Click();
        monitor.TimerProc_Timer();
        QTRY_VERIFY(!monitor.isPassRunning());
    }
    // Runs a pass and waits until every row has a result of this pass.
    bool passUntilResults(int rowCount) {
        const qsizetype before = socketResults().size();
        pass();
        return QTest::qWaitFor([&] { return socketResults().size() >= before + rowCount; },
                               30000) &&
               socketResults().size() == before + rowCount;
    }
    QList<ProbeOutcome> socketResults() const {
        QList<ProbeOutcome> results;
        for (const ProbeOutcome& outcome : recorder.outcomes) {
            if (outcome.isSocket())
                results.append(outcome);
        }
        return results;
    }
    QString text(int row, Col column) const { return rows.text(row, column); }

    ServerRowModel rows;
    QSortFilterProxyModel list;
    MonitorSettings settings{0, 10000, 3, 0, false, {}};
    FakeClock clock;
    FakeEcho echo;
    RecordingAlerts alerts;
    FakeRecorder recorder;
    ServerMonitor monitor{rows, list, settings, clock, echo, alerts};
};

} // namespace

Q_DECLARE_METATYPE(Failure)
Q_DECLARE_METATYPE(Verification)
Q_DECLARE_METATYPE(Kind)

class TestHttpProbe final : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_certificates;
    QString caFile() const { return m_certificates.filePath(QStringLiteral("ca.pem")); }

private slots:
    void initTestCase() {
        QVERIFY(m_certificates.isValid());
        const QString failed = TlsPeers::makeCertificates(m_certificates.path());
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
    }

    // What one exchange brings back from each kind of route: the last
    // reply's status, the redirects followed, the decompressed body.
    void exchanges_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("method");
        QTest::addColumn<bool>("follow");
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("redirects");
        QTest::addColumn<QString>("body");
        QTest::newRow("200") << "/ok"
                             << "GET" << true << Failure::None << 200 << 0 << "servermon ok body";
        QTest::newRow("503") << "/status/503"
                             << "GET" << true << Failure::None << 503 << 0 << "status 503";
        QTest::newRow("302 followed")
            << "/redirect"
            << "GET" << true << Failure::None << 200 << 1 << "servermon ok body";
        QTest::newRow("302 not followed") << "/redirect"
                                          << "GET" << false << Failure::None << 302 << 0 << "moved";
        QTest::newRow("three redirects")
            << "/redirect-3"
            << "GET" << true << Failure::None << 200 << 3 << "servermon ok body";
        QTest::newRow("redirect loop")
            << "/loop"
            << "GET" << true << Failure::TooManyRedirects << 302 << 10 << "";
        QTest::newRow("JSON") << "/json"
                              << "GET" << true << Failure::None << 200 << 0 << "\"status\": \"up\"";
        QTest::newRow("gzip") << "/gzip"
                              << "GET" << true << Failure::None << 200 << 0
                              << "servermon compressed body servermon compressed body";
        QTest::newRow("HEAD") << "/ok"
                              << "HEAD" << true << Failure::None << 200 << 0 << "";
        QTest::newRow("charset") << "/gbk"
                                 << "GET" << true << Failure::None << 200 << 0 << "服务器正常";
    }
    void exchanges() {
        QFETCH(QString, path);
        QFETCH(QString, method);
        QFETCH(bool, follow);
        QFETCH(Failure, failure);
        QFETCH(int, status);
        QFETCH(int, redirects);
        QFETCH(QString, body);
        HttpPeer peer;
        QVERIFY2(peer.port(), "the Python peer did not start");
        Client client;
        HttpRequest request = Client::get(peer.url(path));
        request.method = method;
        request.followRedirects = follow;
        const HttpResult& result = client.run(request);
        QCOMPARE(result.failure, failure);
        QCOMPARE(result.statusCode, status);
        QCOMPARE(result.redirects, redirects);
        QVERIFY2(result.statusLine.startsWith("HTTP/1.1 " + QByteArray::number(status)),
                 result.statusLine.constData());
        QVERIFY2(body.isEmpty() ? result.body.isEmpty() : result.bodyText().contains(body),
                 qPrintable(result.bodyText()));
        QVERIFY(!result.bodyCut);
        QVERIFY(!result.facts);
        QVERIFY(result.header("content-type")
                    .startsWith(body == u"服务器正常" ? "text/plain; charset=gbk" : ""));
        QCOMPARE(result.timings.tlsUs, 0);
        QVERIFY(result.timings.totalUs > 0);
    }

    // Failures before any reply: nothing listening, a name that does not
    // resolve, a server past the time-out, TLS spoken to a plain server.
    void failures_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<int>("minMs");
        QTest::newRow("refused") << "http://127.0.0.1:" + QString::number(closedPort()) + "/"
                                 << Failure::Connection << 0;
        QTest::newRow("no such name") << "http://no-such-host.invalid/" << Failure::Connection << 0;
        QTest::newRow("time-out") << "PEER/slow" << Failure::TimedOut << 450;
        QTest::newRow("TLS to plain") << "SECURE/ok" << Failure::Tls << 0;
    }
    void failures() {
        QFETCH(QString, url);
        QFETCH(Failure, failure);
        QFETCH(int, minMs);
        HttpPeer peer;
        QVERIFY2(peer.port(), "the Python peer did not start");
        url.replace(QStringLiteral("PEER"), peer.url({}));
        url.replace(QStringLiteral("SECURE"), peer.url({}, true));
        Client client;
        HttpRequest request = Client::get(url);
        request.timeOutMs = 500;
        const HttpResult& result = client.run(request);
        QCOMPARE(result.failure, failure);
        QVERIFY(!result.error.isEmpty());
        QCOMPARE(result.statusCode, 0);
        QVERIFY(result.timings.totalUs >= minMs * Ms);
        QVERIFY(result.timings.totalUs < 5000 * Ms);
        if (failure == Failure::Tls) {
            QCOMPARE(result.tlsFault.kind, TlsFault::Kind::HandshakeFailed);
            QVERIFY(!result.tlsFault.reason.isEmpty());
        }
    }

    // The request reaches the server as configured: its method, its
    // headers and, for POST and PUT only, its body.
    void requestAsConfigured_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QByteArrayList>("headers");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("seen");
        QTest::addColumn<QStringList>("unseen");
        QTest::newRow("POST") << "POST" << QByteArrayList{"X-Check: yes", "Authorization: Bearer t"}
                              << QByteArray("name=值")
                              << QStringList{"METHOD POST", "HEADER x-check: yes",
                                             "HEADER user-agent: servermon/",
                                             "HEADER authorization: Bearer t", "BODY name=值"}
                              << QStringList{"HEADER expect"};
        QTest::newRow("PUT, large body")
            << "PUT" << QByteArrayList{"Content-Type: application/json"}
            << "{\"a\":\"" + QByteArray(5000, 'x') + "\"}"
            << QStringList{"METHOD PUT", "HEADER content-type: application/json",
                           "BODY {\"a\":\"xxxx", "HEADER content-length: 5008"}
            << QStringList{"HEADER expect"};
        QTest::newRow("GET sends no body")
            << "get" << QByteArrayList{"User-Agent: servermon-test"} << QByteArray("ignored")
            << QStringList{"METHOD GET", "HEADER user-agent: servermon-test", "BODY \n"}
            << QStringList{"ignored", "content-length"};
    }
    void requestAsConfigured() {
        QFETCH(QString, method);
        QFETCH(QByteArrayList, headers);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, seen);
        QFETCH(QStringList, unseen);
        HttpPeer peer;
        QVERIFY2(peer.port(), "the Python peer did not start");
        Client client;
        HttpRequest request = Client::get(peer.url(QStringLiteral("/echo")));
        request.method = method;
        request.headers = headers;
        request.body = body;
        const HttpResult& result = client.run(request);
        QCOMPARE(result.statusCode, 200);
        const QString echoed = result.bodyText() + u'\n';
        for (const QString& text : seen)
            QVERIFY2(echoed.contains(text), qPrintable(text + QStringLiteral(" in ") + echoed));
        for (const QString& text : unseen)
            QVERIFY2(!echoed.contains(text), qPrintable(text + QStringLiteral(" in ") + echoed));
    }

    // A body that never ends is read up to the limit and judged as far as
    // it came; the transfer ends there.
    void endlessBodyEndsAtLimit() {
        HttpPeer peer;
        QVERIFY2(peer.port(), "the Python peer did not start");
        Client client;
        const HttpResult& result = client.run(Client::get(peer.url(QStringLiteral("/endless"))));
        QCOMPARE(result.failure, Failure::None);
        QCOMPARE(result.statusCode, 200);
        QVERIFY(result.bodyCut);
        QCOMPARE(result.body.size(), HttpRequest::DefaultBodyLimit);
        QVERIFY(result.body.capacity() <= 2 * HttpRequest::DefaultBodyLimit);
        QVERIFY(result.body.startsWith("servermon endless body"));
    }

    // The phases of a reply whose first byte comes 300 ms after the request:
    // the wait is the processing phase; everything else is quick.
    void phasesOfALateReply_data() {
        QTest::addColumn<bool>("secure");
        QTest::newRow("HTTP") << false;
        QTest::newRow("HTTPS") << true;
    }
    void phasesOfALateReply() {
        QFETCH(bool, secure);
        HttpPeer peer(m_certificates.path(), secure ? QStringLiteral("chain") : QString());
        QVERIFY2(peer.port(), "the Python peer did not start");
        Client client;
        HttpRequest request = Client::get(peer.url(QStringLiteral("/late"), secure));
        request.trust = TlsContext::forCaFile(caFile());
        const HttpResult& result = client.run(request);
        QCOMPARE(result.failure, Failure::None);
        QCOMPARE(result.statusCode, 200);
        const HttpTimings& t = result.timings;
        QVERIFY2(t.processingUs >= 290 * Ms, qPrintable(QString::number(t.processingUs)));
        for (const qint64 us : {t.resolveUs, t.connectUs, t.tlsUs, t.transferUs})
            QVERIFY2(us < 200 * Ms, qPrintable(QString::number(us)));
        QCOMPARE(t.tlsUs > 0, secure);
        QCOMPARE(t.resolveUs + t.connectUs + t.tlsUs + t.processingUs + t.transferUs, t.totalUs);
    }

    // An HTTPS server's certificate is judged as the TLS probe judges it,
    // and its facts are read whether it is refused or not. A refused
    // certificate hears no request.
    void certificates_data() {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<bool>("ignoreErrors");
        QTest::addColumn<TlsFault::Kind>("fault");
        QTest::addColumn<Verification>("verification");
        QTest::newRow("trusted chain")
            << "chain" << false << TlsFault::Kind::None << Verification::Ok;
        QTest::newRow("expired") << "expired" << false << TlsFault::Kind::Expired
                                 << Verification::Expired;
        QTest::newRow("expired, errors ignored")
            << "expired" << true << TlsFault::Kind::None << Verification::Expired;
        QTest::newRow("self-signed")
            << "selfsigned" << false << TlsFault::Kind::Untrusted << Verification::Untrusted;
        QTest::newRow("other name")
            << "other" << false << TlsFault::Kind::NameMismatch << Verification::NameMismatch;
        QTest::newRow("other name, errors ignored")
            << "other" << true << TlsFault::Kind::None << Verification::NameMismatch;
    }
    void certificates() {
        QFETCH(QString, certificate);
        QFETCH(bool, ignoreErrors);
        QFETCH(TlsFault::Kind, fault);
        QFETCH(Verification, verification);
        HttpPeer peer(m_certificates.path(), certificate);
        QVERIFY2(peer.port(), "the Python peer did not start");
        Client client;
        HttpRequest request = Client::get(peer.url(QStringLiteral("/ok"), true));
        request.trust = TlsContext::forCaFile(caFile());
        request.ignoreCertificateErrors = ignoreErrors;
        const HttpResult& result = client.run(request);
        const bool refused = fault != TlsFault::Kind::None;
        QCOMPARE(result.failure, refused ? Failure::Tls : Failure::None);
        QCOMPARE(result.tlsFault.kind, fault);
        QCOMPARE(result.statusCode, refused ? 0 : 200);
        QVERIFY(result.facts);
        QCOMPARE(result.facts->verification, verification);
        QVERIFY(result.facts->subject.contains(QStringLiteral("CN = ")));
        QVERIFY(result.facts->protocol.startsWith(QStringLiteral("TLSv1.")));
        QVERIFY(result.facts->leafNotAfter > 0);
        QVERIFY(result.timings.tlsUs > 0);
        QCOMPARE(peer.requests(), refused ? 0 : 1);
    }

    // Each route of the peer judged as a row of a pass: its Status, its
    // result and its fault count.
    void classification_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("codes");
        QTest::addColumn<bool>("redirects");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("condition");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("status");
        const QString ok = QStringLiteral("ok body");
        QTest::newRow("200") << "/ok"
                             << "GET"
                             << "200-299" << true << ok << "" << Kind::Correct << kCorrect;
        QTest::newRow("any body") << "/ok"
                                  << "GET"
                                  << "200-299" << true << ""
                                  << "" << Kind::Correct << kCorrect;
        QTest::newRow("text without regard to case") << "/ok"
                                                     << "GET"
                                                     << "200-299" << true << "SERVERMON OK"
                                                     << "" << Kind::Correct << kCorrect;
        QTest::newRow("503") << "/status/503"
                             << "GET"
                             << "200-299" << true << ""
                             << "" << Kind::Wrong << "状态码不符:503";
        QTest::newRow("503 accepted") << "/status/503"
                                      << "GET"
                                      << "200-299,503" << true << "status 503"
                                      << "" << Kind::Correct << kCorrect;
        QTest::newRow("text missing") << "/ok"
                                      << "GET"
                                      << "200-299" << true << "nothing like it"
                                      << "" << Kind::Wrong << "未找到期望文本";
        QTest::newRow("text after the redirect")
            << "/redirect"
            << "GET"
            << "200-299" << true << ok << "" << Kind::Correct << kCorrect;
        QTest::newRow("redirects off: 302 not accepted")
            << "/redirect"
            << "GET"
            << "200-299" << false << ok << "" << Kind::Wrong << "状态码不符:302";
        QTest::newRow("redirects off: 302 accepted, text not in it")
            << "/redirect"
            << "GET"
            << "302" << false << ok << "" << Kind::Wrong << "未找到期望文本";
        QTest::newRow("redirects off: 302 accepted") << "/redirect"
                                                     << "GET"
                                                     << "301-302" << false << "moved"
                                                     << "" << Kind::Correct << kCorrect;
        QTest::newRow("redirect loop") << "/loop"
                                       << "GET"
                                       << "200-399" << true << ""
                                       << "" << Kind::Wrong << "重定向次数过多";
        QTest::newRow("JSON holds") << "/json"
                                    << "GET"
                                    << "200" << true << ""
                                    << "$.status == \"up\"" << Kind::Correct << kCorrect;
        QTest::newRow("JSON nested holds") << "/json"
                                           << "GET"
                                           << "200" << true << "db"
                                           << "$.checks[0].ok == true" << Kind::Correct << kCorrect;
        QTest::newRow("JSON does not hold")
            << "/json"
            << "GET"
            << "200" << true << ""
            << "$.load > 1" << Kind::Wrong << "JSON条件不成立:$.load > 1";
        QTest::newRow("JSON path missing")
            << "/json"
            << "GET"
            << "200" << true << ""
            << "$.missing exists" << Kind::Wrong << "JSON条件不成立:路径不存在:$.missing";
        QTest::newRow("JSON of no JSON")
            << "/ok"
            << "GET"
            << "200" << true << ""
            << "$.status == \"up\"" << Kind::Wrong << "JSON条件不成立:回应不是JSON";
        QTest::newRow("gzip") << "/gzip"
                              << "GET"
                              << "200" << true << "compressed body"
                              << "" << Kind::Correct << kCorrect;
        QTest::newRow("endless body, text in its start") << "/endless"
                                                         << "GET"
                                                         << "200" << true << "endless body"
                                                         << "" << Kind::Correct << kCorrect;
        QTest::newRow("endless body, text not in it") << "/endless"
                                                      << "GET"
                                                      << "200" << true << "the end"
                                                      << "" << Kind::Wrong << "未找到期望文本";
        QTest::newRow("HEAD") << "/ok"
                              << "HEAD"
                              << "200" << true << ""
                              << "" << Kind::Correct << kCorrect;
        QTest::newRow("charset") << "/gbk"
                                 << "GET"
                                 << "200" << true << "服务器正常"
                                 << "" << Kind::Correct << kCorrect;
    }
    void classification() {
        QFETCH(QString, path);
        QFETCH(QString, method);
        QFETCH(QString, codes);
        QFETCH(bool, redirects);
        QFETCH(QString, expected);
        QFETCH(QString, condition);
        QFETCH(Kind, kind);
        QFETCH(QString, status);
        HttpPeer peer;
        QVERIFY2(peer.port(), "the Python peer did not start");
        ServerRecord record = httpRow(1, peer.url(path), expected);
        record.httpMethod = method;
        record.httpStatus = codes;
        record.httpRedirects = redirects;
        record.jsonCondition = condition;
        Rig rig;
        rig.settings.iReplyLim = 1;
        rig.rows.resetRows({record});
        QVERIFY(rig.passUntilResults(1));
        QCOMPARE(rig.text(0, Col::Status), status);
        const ProbeOutcome result = rig.socketResults().constLast();
        QCOMPARE(result.kind, kind);
        QCOMPARE(result.handshakeMs, -1);
        const bool fault = kind != Kind::Correct;
        QCOMPARE(rig.text(0, Col::ReplyErr), QString(fault ? "1" : "0"));
        QCOMPARE(rig.monitor.socketFaultCount(), fault ? 1 : 0);
        QCOMPARE(rig.alerts.alerts.size(), fault ? 1 : 0);
        QCOMPARE(rig.monitor.passReplyCount(), 1);
        // ReplyTime is the exchange's total time, as the result records it.
        QCOMPARE(rig.text(0, Col::ReplyTime), QString::number(result.ms) + QStringLiteral("ms"));
        const HttpExchangeFacts* facts = rig.rows.httpFacts(0);
        QVERIFY(facts);
        QVERIFY(facts->statusCode >= 200);
        QCOMPARE(qint64(result.ms), (facts->timings.totalUs + 500) / 1000);
        QVERIFY(rig.rows.toolTip(0, Col::ReplyData).startsWith(QStringLiteral("HTTP/1.1 ")));
        QVERIFY(rig.rows.retainedBytes(0) < 8192);
    }

    // No reply at all: a socket error, or the TLS probe's Status for a TLS
    // fault; the certificate's facts stay on the row, also when refused.
    void socketErrors_data() {
        QTest::addColumn<QString>("certificate"); // empty: plain HTTP
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("ignoreErrors");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("tlsFault");
        QTest::newRow("refused") << ""
                                 << "CLOSED" << false << "SOCKET错误:" << false;
        QTest::newRow("TLS to a plain server") << ""
                                               << "SECURE/ok" << false << "TLS握手失败:" << true;
        QTest::newRow("expired") << "expired"
                                 << "SECURE/ok" << false << "证书错误:已过期" << true;
        QTest::newRow("untrusted") << "selfsigned"
                                   << "SECURE/ok" << false << "证书错误:不受信任" << true;
        QTest::newRow("other name") << "other"
                                    << "SECURE/ok" << false << "证书错误:主机名不匹配" << true;
        QTest::newRow("expired, errors ignored") << "expired"
                                                 << "SECURE/ok" << true << kCorrect << false;
        QTest::newRow("trusted") << "chain"
                                 << "SECURE/ok" << false << kCorrect << false;
        QTest::newRow("unusable headers") << ""
                                          << "PLAIN/ok" << false << "SOCKET错误:" << false;
    }
    void socketErrors() {
        QFETCH(QString, certificate);
        QFETCH(QString, url);
        QFETCH(bool, ignoreErrors);
        QFETCH(QString, status);
        QFETCH(bool, tlsFault);
        HttpPeer peer(m_certificates.path(), certificate);
        QVERIFY2(peer.port(), "the Python peer did not start");
        url.replace(QStringLiteral("CLOSED"),
                    QStringLiteral("http://127.0.0.1:") + QString::number(closedPort()));
        url.replace(QStringLiteral("SECURE"), peer.url({}, true));
        url.replace(QStringLiteral("PLAIN"), peer.url({}));
        ServerRecord record = httpRow(1, url, QStringLiteral("ok body"));
        record.tls.ignoreErrors = ignoreErrors;
        if (QTest::currentDataTag() == QLatin1String("unusable headers"))
            record.httpHeaders = QStringLiteral("no colon here");
        Rig rig(caFile());
        rig.rows.resetRows({record});
        QVERIFY(rig.passUntilResults(1));
        QVERIFY2(rig.text(0, Col::Status).startsWith(status), qPrintable(rig.text(0, Col::Status)));
        const bool correct = status == kCorrect;
        const ProbeOutcome result = rig.socketResults().constLast();
        QCOMPARE(result.kind, correct ? Kind::Correct : Kind::SocketError);
        QCOMPARE(rig.rows.tlsFault(0), tlsFault);
        QCOMPARE(rig.monitor.socketFaultCount(), correct ? 0 : 1);
        QCOMPARE(rig.monitor.passReplyCount(), correct ? 1 : 0);
        const CertificateFacts* facts = rig.rows.certificateFacts(0);
        QCOMPARE(facts != nullptr, !certificate.isEmpty());
        if (facts) {
            QVERIFY(result.handshakeMs >= 0);
            QVERIFY(rig.rows.tlsHandshakeUs(0) > 0);
            // The days left show in the Status tip, as for a TLS row.
            QVERIFY2(rig.rows.toolTip(0, Col::Status).startsWith(QStringLiteral("证书")),
                     qPrintable(rig.rows.toolTip(0, Col::Status)));
            QCOMPARE(peer.requests(), correct ? 1 : 0);
        }
    }

    // A certificate near its end is warned about once, as for a TLS row.
    void expiryNotice() {
        HttpPeer peer(m_certificates.path(), QStringLiteral("chain"));
        QVERIFY2(peer.port(), "the Python peer did not start");
        ServerRecord record = httpRow(1, peer.url(QStringLiteral("/ok"), true));
        record.certWarnDays = 30;
        Rig rig(caFile());
        rig.rows.resetRows({record});
        QVERIFY(rig.passUntilResults(1));
        QVERIFY(rig.passUntilResults(1));
        QCOMPARE(rig.text(0, Col::Status), kCorrect);
        QCOMPARE(rig.alerts.alerts.size(), 1);
        QCOMPARE(rig.alerts.alerts.at(0).title, QStringLiteral("注意:证书即将过期"));
        QVERIFY(!rig.rows.certNotified(0).isEmpty());
    }

    // A reply slower than the time-out ends as a time-out when the exchange
    // reaches it, and a pass that finds the exchange older than the time-out
    // counts it then, as for a TCP row.
    void timeOuts_data() {
        QTest::addColumn<int>("timeOutMs");
        QTest::addColumn<int>("clockAdvanceMs"); // before a second pass; 0: none
        QTest::newRow("the exchange's own time-out") << 700 << 0;
        QTest::newRow("the next pass after the time-out") << 4000 << 4100;
    }
    void timeOuts() {
        QFETCH(int, timeOutMs);
        QFETCH(int, clockAdvanceMs);
        HttpPeer peer;
        QVERIFY2(peer.port(), "the Python peer did not start");
        Rig rig;
        rig.settings.iTimeOut = timeOutMs;
        rig.rows.resetRows({httpRow(1, peer.url(QStringLiteral("/slow")))});
        if (clockAdvanceMs) {
            rig.pass();
            QCOMPARE(rig.monitor.httpProbe().exchangesRunning(), 1);
            rig.clock.advance(clockAdvanceMs);
            rig.pass();
            QCOMPARE(rig.monitor.httpProbe().exchangesRunning(), 0);
        } else {
            QVERIFY(rig.passUntilResults(1));
        }
        const QString limit = QString::number(timeOutMs) + QStringLiteral("ms");
        QCOMPARE(rig.text(0, Col::Status), QStringLiteral("SOCKET超时:") + limit);
        QCOMPARE(rig.text(0, Col::ReplyTime), QStringLiteral("超过") + limit);
        QCOMPARE(rig.socketResults().size(), 1);
        QCOMPARE(rig.socketResults().constLast().kind, Kind::TimedOut);
        QCOMPARE(rig.socketResults().constLast().ms, timeOutMs);
        QCOMPARE(rig.text(0, Col::ReplyErr), QStringLiteral("1"));
    }

    // An exchange still within the time-out is left running by the next
    // pass, which counts it when it ends.
    void pendingExchangeLeftRunning() {
        HttpPeer peer;
        QVERIFY2(peer.port(), "the Python peer did not start");
        Rig rig;
        rig.rows.resetRows({httpRow(1, peer.url(QStringLiteral("/late")))});
        rig.pass();
        rig.pass();
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(0, Col::Status), kCorrect, 20000);
        QCOMPARE(rig.socketResults().size(), 1);
        QCOMPARE(peer.requests(), 1);
    }

    // HTTP and TCP rows in one pass: each probed its own way, counted,
    // coloured and alerted alike; slow replies warn as for TCP rows.
    void mixedPass() {
        HttpPeer peer;
        QVERIFY2(peer.port(), "the Python peer did not start");
        TcpAnswerer answerer;
        ServerRecord tcpGood{11,
                             QStringLiteral("tcp"),
                             QStringLiteral("127.0.0.1"),
                             answerer.port(),
                             QStringLiteral("HELLO\r\n"),
                             QStringLiteral("OK"),
                             {},
                             true};
        ServerRecord tcpRefused = tcpGood;
        tcpRefused.id = 12;
        tcpRefused.port = QString::number(closedPort());
        ServerRecord slow = httpRow(3, peer.url(QStringLiteral("/late")), QStringLiteral("late"));
        slow.warnMs = 100;
        Rig rig;
        rig.settings.iReplyLim = 1;
        rig.rows.resetRows({httpRow(1, peer.url(QStringLiteral("/ok")), QStringLiteral("ok body")),
                            tcpGood, httpRow(2, peer.url(QStringLiteral("/status/503"))), slow,
                            tcpRefused});
        QVERIFY(rig.passUntilResults(5));
        QCOMPARE(rig.text(0, Col::Status), kCorrect);
        QCOMPARE(rig.text(1, Col::Status), kCorrect);
        QCOMPARE(rig.text(2, Col::Status), QStringLiteral("状态码不符:503"));
        QCOMPARE(rig.text(3, Col::Status),
                 QStringLiteral("响应缓慢:") + rig.text(3, Col::ReplyTime));
        QCOMPARE(rig.rows.tag(3, Col::ReplyTime), QStringLiteral("1"));
        QVERIFY(rig.text(4, Col::Status).startsWith(QStringLiteral("SOCKET错误:")));
        QCOMPARE(rig.monitor.socketFaultCount(), 2);
        QTRY_COMPARE(rig.monitor.passReplyCount(), 4);
        QCOMPARE(rig.rows.httpFacts(1), nullptr);
        QVERIFY(rig.rows.httpFacts(0));
        QVERIFY(rig.rows.httpFacts(3)->timings.processingUs >= 290 * Ms);
        // The faults and the slow reply alert at the limit of one.
        QCOMPARE(rig.alerts.alerts.size(), 3);
        QTRY_COMPARE(rig.rows.rowColour(2), RowColour(255, 0, 0));
        QCOMPARE(rig.rows.rowColour(0), RowColour());
        // A second pass: the 503 row's run goes on; the others keep theirs.
        QVERIFY(rig.passUntilResults(5));
        QCOMPARE(rig.text(2, Col::ReplyErr), QStringLiteral("2"));
        QCOMPARE(rig.text(0, Col::ReplyErr), QStringLiteral("0"));
        QCOMPARE(peer.requests(), 6);
    }

    // A real server: nginx over HTTP/1.1, and over HTTP/2 with TLS.
    void realServer_data() {
        QTest::addColumn<bool>("secure");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::newRow("HTTP/1.1") << false << QByteArray("HTTP/1.1 200");
        QTest::newRow("HTTP/2 over TLS") << true << QByteArray("HTTP/2 200");
    }
    void realServer() {
        QFETCH(bool, secure);
        QFETCH(QByteArray, statusLine);
        if (QStandardPaths::findExecutable(QStringLiteral("nginx"), {"/usr/sbin", "/sbin"})
                .isEmpty())
            QSKIP("nginx is not installed");
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        Nginx nginx(folder.path(), m_certificates.filePath(QStringLiteral("chain.pem")),
                    m_certificates.filePath(QStringLiteral("chain.key")));
        QVERIFY2(nginx.isListening(), "nginx did not start");
        Client client;
        HttpRequest request = Client::get(nginx.url(secure));
        request.trust = TlsContext::forCaFile(caFile());
        const HttpResult& result = client.run(request);
        QCOMPARE(result.failure, Failure::None);
        QVERIFY2(result.statusLine.startsWith(statusLine), result.statusLine.constData());
        QCOMPARE(result.body, QByteArray(Nginx::Answer));
        QCOMPARE(result.header("server").startsWith("nginx"), true);
        QCOMPARE(result.facts.has_value(), secure);
        if (secure)
            QCOMPARE(result.facts->verification, Verification::Ok);

        Rig rig(caFile());
        rig.rows.resetRows({httpRow(1, nginx.url(secure), QStringLiteral("NGINX ANSWERS"))});
        QVERIFY(rig.passUntilResults(1));
        QCOMPARE(rig.text(0, Col::Status), kCorrect);
        QCOMPARE(rig.rows.certificateFacts(0) != nullptr, secure);
    }
};

QTEST_GUILESS_MAIN(TestHttpProbe)
#include "tst_httpprobe.moc"
