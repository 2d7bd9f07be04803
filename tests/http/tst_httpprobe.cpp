#include "HttpPeer.h"
#include "TlsPeer.h"

#include "http/CurlMulti.h"
#include "http/HttpExchange.h"
#include "http/HttpRequest.h"
#include "http/HttpResult.h"
#include "tls/CertificateFacts.h"
#include "tls/TlsContext.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using Failure = HttpResult::Failure;
using Verification = CertificateFacts::Verification;

namespace {

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

} // namespace

Q_DECLARE_METATYPE(Failure)
Q_DECLARE_METATYPE(Verification)

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
};

QTEST_GUILESS_MAIN(TestHttpProbe)
#include "tst_httpprobe.moc"
