#include "CatalogueTestSupport.h"
#include "FakeClock.h"
#include "FakeEcho.h"
#include "HostileText.h"
#include "HttpPeer.h"
#include "TlsPeer.h"
#include "catalogue/HexDump.h"
#include "catalogue/ui/FormInfo.h"
#include "catalogue/ui/OneShotTest.h"
#include "monitor/ModulePing.h"
#include "monitor/MonitorSettings.h"
#include "tls/CertificateFacts.h"
#include "tls/TlsOptions.h"

#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(TlsOptions)

namespace {
void socketTest(FormInfo& form, const QString& request, const QString& port) {
    form.setServer({0, "web", "127.0.0.1", port, request, {}, {}, true});
    click(form, "Cmd_Send");
}
} // namespace

class TestFormInfo final : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_certificates;

private slots:
    void initTestCase() {
        QVERIFY(m_certificates.isValid());
        const QString problem = TlsPeers::makeCertificates(m_certificates.path());
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void hexDump_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("dump");
        const QString gap(45, u' ');
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("two bytes") << QByteArray("HI") << "00000000  48 49" + gap + "HI";
        QTest::newRow("second line")
            << QByteArray("0123456789abcdef\x00\xff", 18)
            << "00000000  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  0123456789abcdef\n"
               "00000010  00 FF" +
                   gap + "..";
    }
    void hexDump() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, dump);
        QCOMPARE(HexDump::format(bytes), dump);
    }

    void hexDumpOfAHugeReplyIsCut() {
        const QString dump = HexDump::format(QByteArray(HexDump::MaxBytes + 1, 'x'));
        QCOMPARE(dump.count(u'\n'), HexDump::MaxBytes / 16);
        QVERIFY(dump.endsWith(QStringLiteral("\n…")));
    }

    void socketTestShowsTextAndBytes_data() {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("portSuffix");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("hex codes") << "HEX:48:49"
                                   << "" << QByteArray("HI");
        QTest::newRow("asc codes, port 81x") << "ASC:72:73"
                                             << "x" << QByteArray("HI");
        QTest::newRow("plain") << "hello\r\n"
                               << "" << QByteArray("hello\r\n");
        QTest::newRow("hex token read from its start") << "HEX: 41:42"
                                                       << "" << QByteArray("\0B", 2);
        QTest::newRow("bare line breaks as stored") << "a\nb\rc"
                                                    << "" << QByteArray("a\nb\rc");
    }
    void socketTestShowsTextAndBytes() {
        QFETCH(QString, request);
        QFETCH(QString, portSuffix);
        QFETCH(QByteArray, sent);
        LoopbackServer server(QByteArray("OK\x00\xff", 4));
        FakeEcho echo;
        FormInfo form(echo);
        form.show();
        QTRY_COMPARE(control<QLabel>(form, "lb_WskState")->text(), "SOCKET[IP::0] 状态:关闭");
        socketTest(form, request, QString::number(server.port()) + portSuffix);
        QTRY_VERIFY(boxText(form, "TextReplyHex").startsWith("00000000  4F 4B 00 FF"));
        QVERIFY(boxText(form, "TextReplyData").startsWith("OK"));
        QTRY_COMPARE(server.received, sent);
        QTRY_COMPARE(control<QLabel>(form, "lb_WskState")->text(),
                     QStringLiteral("SOCKET[IP:127.0.0.1:%1] 状态:关闭").arg(server.port()));

        LoopbackServer silent; // a new test clears both boxes until its reply
        socketTest(form, request, QString::number(silent.port()));
        QVERIFY(boxText(form, "TextReplyHex").isEmpty());
        QVERIFY(boxText(form, "TextReplyData").isEmpty());
    }

    // The details window takes an IPv6 address, in brackets or not, for
    // both of its tests.
    void testsOnIpv6Loopback() {
        LoopbackServer server("OK", QHostAddress(QHostAddress::LocalHostIPv6));
        if (!server.isListening())
            QSKIP("this machine has no ::1");
        FakeEcho echo;
        FormInfo form(echo);
        for (const QString& address : {QStringLiteral("::1"), QStringLiteral("[::1]")}) {
            form.setServer({0, "v6", address, QString::number(server.port()), "HI", {}, {}, true});
            click(form, "Cmd_Send");
            QTRY_COMPARE(boxText(form, "TextReplyData"), QStringLiteral("OK"));
            click(form, "Cmd_Ping");
            QTRY_VERIFY(boxText(form, "TextReplyData").contains("\r\nIP:" + address + "\r\n"));
            QCOMPARE(echo.targets.last(), address);
        }
        QCOMPARE(server.received, QByteArray("HIHI"));
    }

    // A peer that sends megabytes: the text shows its first 4 KiB with a note,
    // the bytes their first 64 KiB, and the window is never held up for long.
    void socketTestBoundsAHugeReply() {
        QTcpServer flood;
        QVERIFY(flood.listen(QHostAddress::LocalHost));
        connect(&flood, &QTcpServer::newConnection, &flood, [&flood] {
            QTcpSocket* peer = flood.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, peer,
                    [peer] { peer->write(QByteArray(8 * 1024 * 1024, '7')); });
        });
        FakeEcho echo;
        FormInfo form(echo);
        form.show();
        QSignalSpy replies(form.findChild<OneShotTest*>(), &OneShotTest::replyArrived);
        HostileText::StallWatch stalls;
        socketTest(form, QStringLiteral("GET"), QString::number(flood.serverPort()));
        QTRY_COMPARE(replies.count(), 1);
        const qsizetype arrived = replies.first().first().toByteArray().size();
        const qsizetype shown = qMin(arrived, OneShotTest::MaxShownBytes);
        const bool cut = arrived > OneShotTest::MaxShownBytes;
        QCOMPARE(boxText(form, "TextReplyData"),
                 QString(shown, u'7') + (cut ? OneShotTest::cutNote() : QString()));
        const qsizetype dumped = qMin(arrived, HexDump::MaxBytes);
        const bool dumpCut = arrived > HexDump::MaxBytes;
        const QString hex = boxText(form, "TextReplyHex");
        QCOMPARE(hex.count(u'\n'), (dumped + 15) / 16 - (dumpCut ? 0 : 1));
        QCOMPARE(hex.endsWith(QStringLiteral("\n…")), dumpCut);
        QVERIFY2(stalls.longestMs() < 4 * HostileText::MaxMs,
                 qPrintable(QString::number(stalls.longestMs())));
        // Laying the shown reply out (the box wraps one long line) stays quick.
        const double layoutMs = HostileText::cpuMsOf([&form] { form.grab(); });
        QVERIFY2(layoutMs < HostileText::MaxMs, qPrintable(QString::number(layoutMs)));
        qInfo("first arrival %lld bytes, longest stall %.1f ms", qlonglong(arrived),
              stalls.longestMs());
    }

    // Names, addresses, requests and replies from outside show as written.
    void outsideTextsShowAsPlainText() {
        HostileText::capMemory();
        HostileText::Fifo fifo;
        for (const QString& payload : HostileText::payloads(fifo)) {
            FakeEcho echo;
            FormInfo form(echo);
            // A port out of range fails at once, before any name lookup.
            form.setServer({0, payload, payload, "70000", payload, payload, {}, true});
            HostileText::StallWatch stalls;
            form.show();
            click(form, "Cmd_Send");
            auto* state = control<QLabel>(form, "lb_WskState");
            QTRY_COMPARE(state->text(), "SOCKET[IP:" + payload + ":70000] 状态:关闭");
            const double ms = HostileText::cpuMsOf([&form] { form.grab(); });
            QVERIFY2(ms < HostileText::MaxMs, qPrintable(QString::number(ms)));
            QVERIFY2(stalls.longestMs() < 4 * HostileText::MaxMs,
                     qPrintable(QString::number(stalls.longestMs())));
            QCOMPARE(state->textFormat(), Qt::PlainText);
            QCOMPARE(boxText(form, "TextDisplayName"), payload);
            QCOMPARE(boxText(form, "TextPostData"), payload);
        }
        QVERIFY(!fifo.opened());
    }

    void socketTestFailures_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("refused") << QString::number(LoopbackServer::closedPort()) << "SOCKET错误：";
        QTest::newRow("abc is port 0") << "abc"
                                       << "SOCKET错误：";
        QTest::newRow("port out of range") << "70000"
                                           << "测试错误：";
    }
    void socketTestFailures() {
        QFETCH(QString, port);
        QFETCH(QString, prefix);
        FakeEcho echo;
        FormInfo form(echo);
        socketTest(form, QStringLiteral("x"), port);
        QTRY_VERIFY(boxText(form, "TextReplyData").startsWith(prefix));
    }

    void pingReport_data() {
        QTest::addColumn<quint32>("status");
        QTest::addColumn<QString>("report");
        QTest::newRow("answered") << 0u
                                  << "IP:127.0.0.1\r\nTime:3 ms\r\nTTL:64\r\nSize:10 bytes\r\n"
                                     "Sended Data:My Request";
        QTest::newRow("lost") << 11010u << "IP:127.0.0.1\r\nTime:3 ms\r\nTTL:0\r\nSize:0 bytes";
    }
    void pingReport() {
        QFETCH(quint32, status);
        QFETCH(QString, report);
        FakeEcho echo;
        echo.script << FakeEcho::Answer{status, 3} << FakeEcho::Answer{status, 3};
        FormInfo form(echo);
        form.setServer({0, "web", "127.0.0.1", "80", {}, {}, {}, true});
        for (int press = 0; press < 2; ++press) {
            click(form, "Cmd_Ping");
            QTRY_COMPARE(echo.answered.size(), press + 1);
            QCOMPARE(boxText(form, "TextReplyData"),
                     "Status:" + ModulePing::PingStatusText(status) + "\r\n" + report);
        }
    }

    // A second press while the echo is under way sends nothing; a window
    // closed meanwhile is not touched when the answer comes.
    void pingUnderWayIsGuarded() {
        FakeEcho echo;
        echo.script << FakeEcho::Answer{0, 3, 50} << FakeEcho::Answer{0, 3, 50};
        QPointer<FormInfo> form = new FormInfo(echo);
        QWidget* ping = control(*form, "Cmd_Ping");
        QTest::mouseClick(ping, Qt::LeftButton);
        QTest::mouseClick(ping, Qt::LeftButton);
        QCOMPARE(echo.targets.size(), 1);
        QTRY_VERIFY(boxText(*form, "TextReplyData").startsWith("Status:"));

        QTest::mouseClick(ping, Qt::LeftButton);
        QCOMPARE(echo.targets.size(), 2);
        delete form.data();
        QTRY_COMPARE(echo.underWay, 0);
        QCOMPARE(echo.answered.size(), 1);
    }

    // The history button serves a row only: greyed until the window shows one.
    void historyButtonNeedsARow() {
        FakeEcho echo;
        FormInfo form(echo);
        auto* history = form.findChild<QPushButton*>(QStringLiteral("CmdHistory"));
        QVERIFY(history);
        QCOMPARE(history->text(), QStringLiteral("历史记录"));
        QVERIFY(!history->isEnabled());
        QSignalSpy requested(&form, &FormInfo::historyRequested);
        form.setServer({5, "web", "127.0.0.1", "80", {}, {}, {}, true});
        QVERIFY(history->isEnabled());
        history->click();
        QCOMPARE(requested.size(), 1);
    }

    // The details name the transport and the name a TLS probe checks the
    // certificate against: its own, or else the address.
    void showsTransportAndTlsName_data() {
        QTest::addColumn<TlsOptions>("tls");
        QTest::addColumn<QString>("transport");
        QTest::addColumn<QString>("name"); // empty: the field is off
        QTest::newRow("plain") << TlsOptions{} << "无"
                               << "";
        QTest::newRow("plain with a name kept")
            << TlsOptions{Transport::Plain, "svc.test", false} << "无"
            << "";
        QTest::newRow("TLS with a name") << TlsOptions{Transport::Tls, "svc.test", true} << "TLS"
                                         << "svc.test";
        QTest::newRow("STARTTLS without a name")
            << TlsOptions{Transport::StartTlsImap, {}, false} << "STARTTLS (IMAP)"
            << "127.0.0.1";
    }
    void showsTransportAndTlsName() {
        QFETCH(TlsOptions, tls);
        QFETCH(QString, transport);
        QFETCH(QString, name);
        FakeEcho echo;
        FormInfo form(echo);
        QCOMPARE(control<QLineEdit>(form, "TextTransport")->text(), QStringLiteral("无"));
        ServerRecord server{5, "web", "127.0.0.1", "993", {}, {}, {}, true};
        server.tls = tls;
        form.setServer(server);
        QCOMPARE(control<QLineEdit>(form, "TextTransport")->text(), transport);
        auto* tlsName = control<QLineEdit>(form, "TextTlsName");
        QCOMPARE(tlsName->text(), name);
        QCOMPARE(tlsName->isEnabled(), !name.isEmpty());
        QVERIFY(tlsName->isReadOnly());
        // The TLS test and the certificate box serve a TLS server only; a
        // plain one keeps the window as it was.
        const bool secured = !name.isEmpty();
        QCOMPARE(control(form, "Cmd_Tls")->isEnabled(), secured);
        QCOMPARE(control(form, "TextCertificate")->isHidden(), !secured);
        QCOMPARE(control(form, "Label8")->isHidden(), !secured);
        QCOMPARE(form.height() > 560, secured);
        if (secured)
            QCOMPARE(boxText(form, "TextCertificate"), QStringLiteral("尚无TLS握手结果"));
        form.setServer({6, "plain", "127.0.0.1", "80", {}, {}, {}, true});
        QVERIFY(!control(form, "Cmd_Tls")->isEnabled());
        QVERIFY(control(form, "TextCertificate")->isHidden());
        QCOMPARE(form.height(), 560);
    }

    // The facts of the row's last handshake, counted from the clock given.
    void showsTheRowsFacts() {
        FakeEcho echo;
        FakeClock clock;
        FormInfo form(echo);
        form.setTlsTestSettings(MonitorSettings(), clock);
        ServerRecord server{5, "web", "127.0.0.1", "993", {}, {}, {}, true};
        server.tls = {Transport::Tls, "svc.test", true};
        form.setServer(server);
        CertificateFacts facts;
        facts.subject = QStringLiteral("CN = svc.test");
        facts.leafNotAfter = clock.utcMs() / 1000 + 9 * 86400 + 60;
        facts.chainNotAfter = clock.utcMs() / 1000 + 4 * 86400 + 60;
        facts.verification = CertificateFacts::Verification::Untrusted;
        facts.verifyCode = 18;
        form.setTlsDetails(&facts, 1500, QStringLiteral("OK"));
        const QStringList lines = boxText(form, "TextCertificate").split(u'\n');
        QCOMPARE(lines.value(0), QStringLiteral("证书主题:CN = svc.test"));
        QCOMPARE(lines.value(4), QStringLiteral("剩余天数:4天"));
        QVERIFY2(lines.value(5).startsWith(QStringLiteral("验证结果:证书错误:不受信任 (")) &&
                     lines.value(5).endsWith(QStringLiteral(",已忽略")),
                 qPrintable(lines.value(5)));
        QCOMPARE(lines.value(9), QStringLiteral("握手时间:1.5 ms"));
        form.setTlsDetails(nullptr, 0, QStringLiteral("OK"));
        QCOMPARE(boxText(form, "TextCertificate"), QStringLiteral("尚无TLS握手结果"));
    }

    // The TLS test probes the server as stored against real peers, without
    // holding the window: the outcome as the list's Status and the facts of
    // its handshake in the certificate box, the reply in the reply boxes; a
    // stalled handshake ends at the time-out.
    void tlsTest_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("verification"); // empty: no handshake completed
        QTest::addColumn<QString>("reply");
        QTest::newRow("verified") << "tls"
                                  << "chain"
                                  << "已收到正确的回应包"
                                  << "验证结果:已验证"
                                  << "OK 48454c4c4f0d0a\r\n";
        QTest::newRow("expired") << "tls"
                                 << "expired"
                                 << "证书错误:已过期"
                                 << "验证结果:证书错误:已过期 ("
                                 << "";
        QTest::newRow("self-signed") << "tls"
                                     << "selfsigned"
                                     << "证书错误:不受信任"
                                     << "验证结果:证书错误:不受信任 ("
                                     << "";
        QTest::newRow("stall") << "stall"
                               << ""
                               << "SOCKET超时:600ms"
                               << ""
                               << "";
    }
    void tlsTest() {
        QFETCH(QString, mode);
        QFETCH(QString, certificate);
        QFETCH(QString, status);
        QFETCH(QString, verification);
        QFETCH(QString, reply);
        TlsPeer peer(mode, m_certificates.path(), certificate);
        QVERIFY2(!peer.port().isEmpty(), "the Python peer did not start");
        FakeEcho echo;
        FakeClock clock;
        clock.setUtcMs(QDateTime::currentMSecsSinceEpoch());
        MonitorSettings settings;
        settings.iTimeOut = mode == QLatin1String("stall") ? 600 : 20000;
        settings.TlsCaFile = m_certificates.filePath(QStringLiteral("ca.pem"));
        FormInfo form(echo);
        form.setTlsTestSettings(settings, clock);
        ServerRecord server{5, "web", "127.0.0.1", peer.port(), "HELLO\r\n", {}, {}, true};
        server.tls = {Transport::Tls, "svc.test", false};
        form.setServer(server);
        form.setTlsDetails(nullptr, 0, QStringLiteral("OK"));
        form.show();
        HostileText::StallWatch stalls;
        click(form, "Cmd_Tls");
        QCOMPARE(boxText(form, "TextCertificate"), QStringLiteral("正在进行TLS测试..."));
        QTRY_VERIFY_WITH_TIMEOUT(boxText(form, "TextCertificate").startsWith("TLS测试:"), 20000);
        const QStringList lines = boxText(form, "TextCertificate").split(u'\n');
        QCOMPARE(lines.value(0), "TLS测试:" + status);
        QVERIFY(lines.value(1).startsWith(QStringLiteral("用时:")));
        QCOMPARE(lines.size(), verification.isEmpty() ? 2 : 13);
        if (!verification.isEmpty()) {
            QVERIFY2(lines.value(7).startsWith(verification), qPrintable(lines.value(7)));
            QCOMPARE(lines.value(8), QStringLiteral("主机名匹配:是"));
        }
        QCOMPARE(boxText(form, "TextReplyData"), reply);
        QTRY_COMPARE(control<QLabel>(form, "lb_WskState")->text(),
                     "TLS[IP:127.0.0.1:" + peer.port() + "] 状态:关闭");
        QVERIFY2(stalls.longestMs() < 4 * HostileText::MaxMs,
                 qPrintable(QString::number(stalls.longestMs())));
        // The socket test takes the state label back.
        click(form, "Cmd_Send");
        QTRY_VERIFY(control<QLabel>(form, "lb_WskState")->text().startsWith("SOCKET[IP:"));
    }

    // An HTTP(S) server has the HTTP test in the TLS test's place: it shows
    // the outcome as the list would, the phases, the redirects, the reply's
    // head and the start of its body, and for HTTPS the handshake's facts.
    void httpTest_data() {
        QTest::addColumn<QString>("certificate"); // empty: plain HTTP
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("verification"); // empty: no certificate box
        QTest::newRow("200") << ""
                             << "/redirect"
                             << "已收到正确的回应包"
                             << QStringList{"重定向:1次", "HTTP/1.1 200 OK",
                                            "Content-Type: text/plain; charset=utf-8",
                                            "servermon ok body"}
                             << "";
        QTest::newRow("503") << ""
                             << "/status/503"
                             << "状态码不符:503"
                             << QStringList{"重定向:0次", "HTTP/1.1 503", "status 503"} << "";
        QTest::newRow("endless body")
            << ""
            << "/endless"
            << "已收到正确的回应包" << QStringList{"servermon endless body", "…(只显示前16KB)"}
            << "";
        QTest::newRow("HTTPS") << "chain"
                               << "/ok"
                               << "已收到正确的回应包"
                               << QStringList{"HTTP/1.1 200 OK", "servermon ok body"}
                               << "验证结果:已验证";
        QTest::newRow("HTTPS expired")
            << "expired"
            << "/ok"
            << "证书错误:已过期" << QStringList{"重定向:0次"} << "验证结果:证书错误:已过期 (";
    }
    void httpTest() {
        QFETCH(QString, certificate);
        QFETCH(QString, path);
        QFETCH(QString, status);
        QFETCH(QStringList, shown);
        QFETCH(QString, verification);
        HttpPeer peer(m_certificates.path(), certificate);
        QVERIFY2(peer.port(), "the Python peer did not start");
        FakeEcho echo;
        FakeClock clock;
        clock.setUtcMs(QDateTime::currentMSecsSinceEpoch());
        MonitorSettings settings;
        settings.TlsCaFile = m_certificates.filePath(QStringLiteral("ca.pem"));
        FormInfo form(echo);
        form.setTlsTestSettings(settings, clock);
        const bool secure = !certificate.isEmpty();
        ServerRecord server{5,  "web",  "127.0.0.1", QString::number(peer.port()),
                            {}, "body", {},          true};
        server.checkKind = ServerRecord::CheckKind::Http;
        server.url = peer.url(path, secure);
        form.setServer(server);
        form.setTlsDetails(nullptr, 0, path == u"/status/503" ? QString() : "BODY");
        form.show();
        QVERIFY(control(form, "Cmd_Http")->isVisible());
        QVERIFY(!control(form, "Cmd_Tls")->isVisible());
        QCOMPARE(control(form, "TextCertificate")->isVisible(), secure);
        HostileText::StallWatch stalls;
        click(form, "Cmd_Http");
        QTRY_VERIFY_WITH_TIMEOUT(boxText(form, "TextReplyData").startsWith("HTTP测试:"), 20000);
        const QString report = boxText(form, "TextReplyData");
        const QStringList lines = report.split(u'\n');
        QCOMPARE(lines.value(0), "HTTP测试:" + status);
        QVERIFY2(lines.value(1).startsWith(QStringLiteral("用时:")), qPrintable(lines.value(1)));
        for (const QString& text : shown)
            QVERIFY2(report.contains(text), qPrintable(text + QStringLiteral(" in ") + report));
        QVERIFY(report.size() < 20 * 1024);
        QCOMPARE(boxText(form, "TextReplyHex").isEmpty(),
                 secure && verification != u"验证结果:已验证");
        if (secure) {
            const QStringList facts = boxText(form, "TextCertificate").split(u'\n');
            QCOMPARE(facts.value(0), "HTTP测试:" + status);
            QVERIFY2(facts.join(u'\n').contains(verification), qPrintable(facts.join(u'\n')));
        }
        QTRY_COMPARE(control<QLabel>(form, "lb_WskState")->text(),
                     "HTTP[" + server.url + "] 状态:已完成");
        // The exchange runs beside the window; a busy machine may still
        // delay one turn, so the bound leaves room for that.
        QVERIFY2(stalls.longestMs() < 4 * HostileText::MaxMs,
                 qPrintable(QString::number(stalls.longestMs())));
        // A TCP server has no HTTP test.
        form.setServer({6, "tcp", "127.0.0.1", "80", {}, {}, {}, true});
        QVERIFY(!control(form, "Cmd_Http")->isVisible());
        QVERIFY(control(form, "Cmd_Tls")->isVisible());
    }

    void layoutFollowsTheWindowSize_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("secured");
        QTest::newRow("design") << QSize(600, 560) << false;
        QTest::newRow("tiny") << QSize(40, 30) << false;
        QTest::newRow("TLS") << QSize(680, 740) << true;
    }
    void layoutFollowsTheWindowSize() {
        QFETCH(QSize, size);
        QFETCH(bool, secured);
        FakeEcho echo;
        FormInfo form(echo);
        ServerRecord server{5, "web", "127.0.0.1", "993", {}, {}, {}, true};
        server.tls.transport = secured ? Transport::Tls : Transport::Plain;
        form.setServer(server);
        form.show();
        form.resize(size);
        QTRY_COMPARE(form.size(), size);
        for (const QWidget* child : form.findChildren<QWidget*>())
            QVERIFY(child->width() >= 0 && child->height() >= 0);
        const auto twips = [&form](int value) {
            return qRound(value * form.logicalDpiX() / 1440.0);
        };
        const QRect frame = control(form, "Frame1")->geometry();
        const QRect cancel = control(form, "CmdCancel")->geometry();
        const QRect hex = control(form, "TextReplyHex")->geometry();
        if (size.width() < 200)
            return;
        QCOMPARE(frame.width(), size.width() - twips(200));
        QCOMPARE(cancel.right() + 1, size.width() - twips(100));
        QCOMPARE(frame.bottom() + 1, size.height() - cancel.height() - twips(100));
        QCOMPARE(hex.width(), control(form, "TextReplyData")->width());
        QCOMPARE(hex.bottom() + 1, frame.height() - twips(100));
        // The certificate box sits between the TLS name and the request.
        const QRect certificate = control(form, "TextCertificate")->geometry();
        const QRect request = control(form, "TextPostData")->geometry();
        QCOMPARE(request.top() > certificate.bottom(), secured);
        QVERIFY(certificate.top() > control(form, "TextTlsName")->geometry().bottom());
    }
};

QTEST_MAIN(TestFormInfo)
#include "tst_forminfo.moc"
