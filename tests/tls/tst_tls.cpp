#include "FakeClock.h"
#include "FakeEcho.h"
#include "FakeRecorder.h"
#include "RecordingAlerts.h"
#include "TlsPeer.h"

#include "monitor/CertificateFactsText.h"
#include "monitor/CertificateNotices.h"
#include "monitor/MonitorSettings.h"
#include "monitor/SecuredTurnBudget.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "monitor/SocketArray.h"
#include "monitor/SocketElement.h"
#include "monitor/TlsProbeTest.h"
#include "tls/CertificateFacts.h"
#include "tls/StartTlsDialogue.h"
#include "tls/TlsOptions.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <memory>

using Col = ServerRowModel::Column;
using Verification = CertificateFacts::Verification;
using Outcome = StartTlsDialogue::Outcome;

namespace {

const QString kCorrect = QStringLiteral("已收到正确的回应包");
const QString kWrong = QStringLiteral("应答包错误：");
const QString kConnecting = QStringLiteral("正在尝试连接服务器");
// What the peers answer to "HELLO\r\n": "OK " and the request's bytes in hex.
const QString kAnswer = QStringLiteral("OK 48454c4c4f0d0a\r\n");

struct Rig {
    explicit Rig(const QString& caFile) {
        list.setSourceModel(&rows);
        list.setDynamicSortFilter(false);
        monitor.timerProc().setInterval(24 * 3600 * 1000);
        settings.TlsCaFile = caFile;
        clock.setUtcMs(QDateTime::currentMSecsSinceEpoch());
        monitor.setRecorder(&recorder);
    }
    // One row probed by a whole pass, until its last echo has completed.
    void probe(const QString& port, const TlsOptions& options, const QString& replyData = "OK") {
        rows.resetRows({{1,
                         {},
                         QStringLiteral("127.0.0.1"),
                         port,
                         QStringLiteral("HELLO\r\n"),
                         replyData,
                         {},
                         true}});
        rows.setTlsOptions(0, options);
        pass();
    }
    void pass() {
        if (!monitor.isMonitoring())
            monitor.CmdStart_Click();
        monitor.TimerProc_Timer();
        QTRY_VERIFY(!monitor.isPassRunning());
    }
    QString text(Col column) const { return rows.text(0, column); }
    const SocketElement& socket() { return *monitor.sockets().element(rows.keyAt(0)); }
    // The handshake time recorded with the last socket result; -2 before one.
    qint32 recordedHandshakeMs() const {
        for (auto o = recorder.outcomes.crbegin(); o != recorder.outcomes.crend(); ++o) {
            if (o->isSocket())
                return o->handshakeMs;
        }
        return -2;
    }

    ServerRowModel rows;
    QSortFilterProxyModel list;
    MonitorSettings settings{0, 10000, 1, 0, false, {}};
    FakeClock clock;
    FakeEcho echo;
    RecordingAlerts alerts;
    FakeRecorder recorder;
    ServerMonitor monitor{rows, list, settings, clock, echo, alerts};
};

// The SHA-256 of the first certificate of a PEM file.
QString leafFingerprint(const QString& pemFile) {
    QFile file(pemFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray pem = file.readAll();
    const qsizetype begin = pem.indexOf('\n') + 1;
    const QByteArray body = pem.mid(begin, pem.indexOf("-----END") - begin);
    return QString::fromLatin1(
        QCryptographicHash::hash(QByteArray::fromBase64(body), QCryptographicHash::Sha256).toHex());
}

TlsOptions tls(Transport transport, const QString& serverName = {}, bool ignoreErrors = false) {
    return {transport, serverName, ignoreErrors};
}

} // namespace

Q_DECLARE_METATYPE(Verification)
Q_DECLARE_METATYPE(Transport)
Q_DECLARE_METATYPE(Outcome)

class TestTls final : public QObject {
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

    // The certificate is judged by its verification against the test CA:
    // a fault with its own text unless errors are ignored, and its facts
    // are kept on the row either way, expiry included.
    void certificateChecks_data() {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("serverName");
        QTest::addColumn<bool>("ignoreErrors");
        QTest::addColumn<QString>("status");
        QTest::addColumn<Verification>("verification");
        QTest::addColumn<int>("leafDays");
        QTest::addColumn<int>("chainDays");
        QTest::addColumn<bool>("nameMatches");
        const QString mismatch = QStringLiteral("证书错误:主机名不匹配");
        const QString untrusted = QStringLiteral("证书错误:不受信任");
        const QString expired = QStringLiteral("证书错误:已过期");
        QTest::newRow("chain, by name")
            << "chain"
            << "svc.test" << false << kCorrect << Verification::Ok << 10 << 5 << true;
        QTest::newRow("chain, by IPv4 address")
            << "chain"
            << "" << false << kCorrect << Verification::Ok << 10 << 5 << true;
        QTest::newRow("chain, by IPv6 address")
            << "chain"
            << "::1" << false << kCorrect << Verification::Ok << 10 << 5 << true;
        QTest::newRow("non-ASCII name")
            << "other"
            << "bücher.test" << false << kCorrect << Verification::Ok << 10 << 5 << true;
        QTest::newRow("name mismatch")
            << "other"
            << "svc.test" << false << mismatch << Verification::NameMismatch << 10 << 5 << false;
        QTest::newRow("address mismatch")
            << "other"
            << "" << false << mismatch << Verification::NameMismatch << 10 << 5 << false;
        QTest::newRow("name mismatch ignored")
            << "other"
            << "svc.test" << true << kCorrect << Verification::NameMismatch << 10 << 5 << false;
        QTest::newRow("self-signed")
            << "selfsigned"
            << "svc.test" << false << untrusted << Verification::Untrusted << 10 << 10 << true;
        QTest::newRow("self-signed ignored")
            << "selfsigned"
            << "svc.test" << true << kCorrect << Verification::Untrusted << 10 << 10 << true;
        QTest::newRow("expired") << "expired"
                                 << "svc.test" << false << expired << Verification::Expired << -2
                                 << -2 << true;
        QTest::newRow("expired ignored")
            << "expired"
            << "svc.test" << true << kCorrect << Verification::Expired << -2 << -2 << true;
    }
    void certificateChecks() {
        QFETCH(QString, certificate);
        QFETCH(QString, serverName);
        QFETCH(bool, ignoreErrors);
        QFETCH(QString, status);
        QFETCH(Verification, verification);
        QFETCH(int, leafDays);
        QFETCH(int, chainDays);
        QFETCH(bool, nameMatches);
        TlsPeer peer(QStringLiteral("tls"), m_certificates.path(), certificate);
        QVERIFY2(!peer.port().isEmpty(), "the Python peer did not start");
        Rig rig(caFile());
        rig.probe(peer.port(), tls(Transport::Tls, serverName, ignoreErrors));
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(Col::Status), status, 20000);

        const bool fault = status != kCorrect;
        QCOMPARE(rig.text(Col::ReplyErr), QString(fault ? "1" : "0"));
        QCOMPARE(rig.rows.tlsFault(0), fault);
        QVERIFY(rig.recordedHandshakeMs() >= 0);
        QCOMPARE(rig.monitor.socketFaultCount(), fault ? 1 : 0);
        QCOMPARE(rig.alerts.alerts.size(), fault ? 1 : 0);
        const CertificateFacts* facts = rig.rows.certificateFacts(0);
        QVERIFY(facts);
        QCOMPARE(facts->verification, verification);
        QCOMPARE(facts->verifyCode != 0, verification != Verification::Ok);
        QCOMPARE(facts->nameMatches, nameMatches);
        QVERIFY(!facts->verifyText().isEmpty());
        const qint64 now = rig.clock.utcMs();
        QVERIFY2(
            qAbs(CertificateFacts::daysUntil(facts->leafNotAfter, now) - leafDays) <= 1,
            qPrintable(QString::number(CertificateFacts::daysUntil(facts->leafNotAfter, now))));
        QVERIFY2(qAbs(facts->daysLeft(now) - chainDays) <= 1,
                 qPrintable(QString::number(facts->daysLeft(now))));
        QVERIFY(facts->subject.contains(QStringLiteral("CN = ")));
        QVERIFY(facts->issuer.contains(QStringLiteral("servermon test")));
        QVERIFY(facts->protocol.startsWith(QStringLiteral("TLSv1.")));
        QVERIFY(!facts->cipher.isEmpty());
        QCOMPARE(facts->fingerprintHex(),
                 leafFingerprint(m_certificates.filePath(certificate + QStringLiteral(".pem"))));
        QVERIFY(rig.rows.tlsHandshakeUs(0) > 0);
        QVERIFY(rig.rows.retainedBytes(0) < 8192);
        // The Status tip tells the days left and the date they end, also
        // over a fault's status.
        const QString tip = rig.rows.toolTip(0, Col::Status);
        QVERIFY2(tip.startsWith(QStringLiteral("证书")) &&
                     tip.endsWith(CertificateNotices::dateText(facts->chainNotAfter)),
                 qPrintable(tip));
    }

    // The request and the reply check run over TLS as over plain TCP, the
    // peer receives the request's bytes unchanged, and session tickets sent
    // before the reply are no reply.
    void exchanges_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<Transport>("transport");
        QTest::addColumn<QString>("replyData");
        QTest::addColumn<QString>("status");
        QTest::newRow("plain") << "plain" << Transport::Plain << "OK" << kCorrect;
        QTest::newRow("TLS") << "tls" << Transport::Tls << "OK" << kCorrect;
        QTest::newRow("TLS, wrong reply") << "tls" << Transport::Tls << "NOPE" << kWrong + kAnswer;
        QTest::newRow("STARTTLS SMTP")
            << "starttls-smtp" << Transport::StartTlsSmtp << "OK" << kCorrect;
        QTest::newRow("STARTTLS IMAP")
            << "starttls-imap" << Transport::StartTlsImap << "OK" << kCorrect;
        QTest::newRow("STARTTLS POP3")
            << "starttls-pop3" << Transport::StartTlsPop3 << "OK" << kCorrect;
        QTest::newRow("STARTTLS FTP")
            << "starttls-ftp" << Transport::StartTlsFtp << "OK" << kCorrect;
    }
    void exchanges() {
        QFETCH(QString, mode);
        QFETCH(Transport, transport);
        QFETCH(QString, replyData);
        QFETCH(QString, status);
        const bool plain = transport == Transport::Plain;
        TlsPeer peer(mode, m_certificates.path(), plain ? QString() : QStringLiteral("chain"));
        QVERIFY2(!peer.port().isEmpty(), "the Python peer did not start");
        Rig rig(caFile());
        rig.probe(peer.port(), tls(transport, QStringLiteral("svc.test")), replyData);
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(Col::Status), status, 20000);
        QCOMPARE(rig.rows.toolTip(0, Col::ReplyData), kAnswer);
        QVERIFY(rig.text(Col::ReplyTime).endsWith(QStringLiteral("ms")));
        QCOMPARE(rig.text(Col::ReplyErr), QString(status == kCorrect ? "0" : "1"));
        QCOMPARE(rig.rows.certificateFacts(0) != nullptr, !plain);
        QCOMPARE(rig.rows.tlsHandshakeUs(0) > 0, !plain);
        QCOMPARE(rig.recordedHandshakeMs() >= 0, !plain);
        QCOMPARE(rig.rows.toolTip(0, Col::Status).isEmpty(), plain);
    }

    // Every failure before the request counts like a socket error: the row's
    // fault run grows, the limit alerts, and the next pass probes anew.
    void failures_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<Transport>("transport");
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QString>("status"); // ending in ':' the start of it
        const QString noStartTls = QStringLiteral("不支持STARTTLS");
        const QString handshake = QStringLiteral("TLS握手失败:");
        QTest::newRow("STARTTLS refused")
            << "refuse-starttls" << Transport::StartTlsSmtp << "" << noStartTls;
        QTest::newRow("IMAP asked of an SMTP server")
            << "starttls-smtp" << Transport::StartTlsImap << "chain" << noStartTls;
        QTest::newRow("greeting of 4 MB")
            << "flood-greeting" << Transport::StartTlsSmtp << "" << noStartTls;
        QTest::newRow("garbage instead of a handshake")
            << "garbage" << Transport::Tls << "" << handshake;
        QTest::newRow("certificate of 1 MB") << "tls" << Transport::Tls << "big" << handshake;
        QTest::newRow("reset mid-handshake")
            << "reset" << Transport::Tls << "" << QStringLiteral("SOCKET错误:连接被对方重置");
    }
    void failures() {
        QFETCH(QString, mode);
        QFETCH(Transport, transport);
        QFETCH(QString, certificate);
        QFETCH(QString, status);
        TlsPeer peer(mode, m_certificates.path(), certificate);
        QVERIFY2(!peer.port().isEmpty(), "the Python peer did not start");
        Rig rig(caFile());
        rig.probe(peer.port(), tls(transport, QStringLiteral("svc.test")));
        QTRY_VERIFY_WITH_TIMEOUT(rig.socket().State() == SocketElement::ErrorState, 20000);
        const QString shown = rig.text(Col::Status);
        if (status.endsWith(u':'))
            QVERIFY2(shown.startsWith(status) && shown.size() > status.size(), qPrintable(shown));
        else
            QCOMPARE(shown, status);
        QCOMPARE(rig.text(Col::ReplyErr) + rig.rows.tag(0, Col::ReplyErr), QStringLiteral("11"));
        QCOMPARE(rig.rows.tlsFault(0), !status.startsWith(QStringLiteral("SOCKET错误:")));
        QCOMPARE(rig.recordedHandshakeMs(), -1);
        QCOMPARE(rig.monitor.socketFaultCount(), 1);
        QCOMPARE(rig.alerts.alerts.size(), 1);
        QVERIFY(rig.rows.retainedBytes(0) < 8192);

        rig.clock.advance(1000);
        rig.pass();
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(Col::ReplyErr), QStringLiteral("2"), 20000);
        QCOMPARE(rig.text(Col::Status).left(status.size()), status);
    }

    // Without a CA file the system's trust decides, read from its folder of
    // hashed certificates: here a folder that holds the test CA.
    void systemTrustFolder() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        {
            const std::unique_ptr<FILE, decltype(&fclose)> pem(
                fopen(QFile::encodeName(caFile()).constData(), "r"), &fclose);
            QVERIFY(pem);
            const std::unique_ptr<X509, decltype(&X509_free)> ca(
                PEM_read_X509(pem.get(), nullptr, nullptr, nullptr), &X509_free);
            QVERIFY(ca);
            const QString hashed = QStringLiteral("%1.0").arg(X509_subject_name_hash(ca.get()), 8,
                                                              16, QLatin1Char('0'));
            QVERIFY(QFile::copy(caFile(), folder.filePath(hashed)));
        }
        TlsPeer peer(QStringLiteral("tls"), m_certificates.path(), QStringLiteral("chain"));
        QVERIFY2(!peer.port().isEmpty(), "the Python peer did not start");
        qputenv("SSL_CERT_DIR", QFile::encodeName(folder.path()));
        const auto restore = qScopeGuard([] { qunsetenv("SSL_CERT_DIR"); });
        Rig rig({});
        rig.probe(peer.port(), tls(Transport::Tls, QStringLiteral("svc.test")));
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(Col::Status), kCorrect, 20000);
        QCOMPARE(rig.rows.certificateFacts(0)->verification, Verification::Ok);
    }

    // A CA file that cannot be read or a server name that is no host name
    // fails the handshake, never the program.
    void unusableSettings_data() {
        QTest::addColumn<bool>("caFileMissing");
        QTest::addColumn<QString>("serverName");
        QTest::newRow("missing CA file") << true << "svc.test";
        QTest::newRow("name with a blank") << false << "svc test";
        QTest::newRow("name with a port") << false << "svc.test:443";
    }
    void unusableSettings() {
        QFETCH(bool, caFileMissing);
        QFETCH(QString, serverName);
        TlsPeer peer(QStringLiteral("tls"), m_certificates.path(), QStringLiteral("chain"));
        QVERIFY2(!peer.port().isEmpty(), "the Python peer did not start");
        Rig rig(caFileMissing ? m_certificates.filePath(QStringLiteral("missing.pem")) : caFile());
        rig.probe(peer.port(), tls(Transport::Tls, serverName));
        QTRY_VERIFY_WITH_TIMEOUT(rig.socket().State() == SocketElement::ErrorState, 20000);
        const QString shown = rig.text(Col::Status);
        QVERIFY2(shown.startsWith(QStringLiteral("TLS握手失败:")), qPrintable(shown));
        QVERIFY(shown.contains(caFileMissing ? QStringLiteral("missing.pem") : serverName));
        QCOMPARE(rig.text(Col::ReplyErr), QStringLiteral("1"));
    }

    // A peer that stops answering after the ClientHello raises nothing; the
    // probe's time-out ends it.
    void stalledHandshakeTimesOut() {
        TlsPeer peer(QStringLiteral("stall"));
        QVERIFY2(!peer.port().isEmpty(), "the Python peer did not start");
        Rig rig(caFile());
        rig.probe(peer.port(), tls(Transport::Tls));
        QTRY_COMPARE_WITH_TIMEOUT(peer.read(), 1, 20000);
        QSignalSpy events(&rig.monitor.sockets(), &SocketArray::Error);
        QSignalSpy connected(&rig.monitor.sockets(), &SocketArray::Connected);
        QVERIFY(!events.wait(300));
        QCOMPARE(connected.size(), 0);
        QCOMPARE(rig.text(Col::Status), kConnecting);
        QCOMPARE(rig.socket().State(), 6);

        rig.clock.advance(rig.settings.iTimeOut + 1);
        rig.pass();
        QCOMPARE(rig.text(Col::Status), QStringLiteral("SOCKET超时:10000ms"));
        QCOMPARE(rig.text(Col::ReplyErr), QStringLiteral("1"));
        QCOMPARE(rig.socket().State(), 0);
    }

    // A chain of 100 certificates, whose leaf has a subject of thousands of
    // characters, leaves the row only its bounded facts.
    void longChainKeepsOnlyFacts() {
        TlsPeer peer(QStringLiteral("tls"), m_certificates.path(), QStringLiteral("long"));
        QVERIFY2(!peer.port().isEmpty(), "the Python peer did not start");
        Rig rig(caFile());
        rig.probe(peer.port(), tls(Transport::Tls, QStringLiteral("svc.test"), true));
        QTRY_COMPARE_WITH_TIMEOUT(rig.text(Col::Status), kCorrect, 20000);
        const CertificateFacts* facts = rig.rows.certificateFacts(0);
        QVERIFY(facts);
        QCOMPARE(facts->subject.size(), CertificateFacts::NameLimit + 1);
        QVERIFY(facts->subject.endsWith(u'…'));
        QVERIFY(qAbs(facts->daysLeft(rig.clock.utcMs()) - 3) <= 1);
        const qsizetype bytes = rig.rows.retainedBytes(0);
        QVERIFY2(bytes < 8192, qPrintable(QString::number(bytes)));
    }

    // A plain row holds nothing for TLS; a TLS row holds its options, and
    // gives them back when made plain again.
    void plainRowsHoldNothingForTls() {
        ServerRowModel rows;
        const ServerRecord record{
            1, {}, QStringLiteral("127.0.0.1"), QStringLiteral("443"), {}, {}, {}, true};
        rows.resetRows({record, record});
        const qsizetype plain = rows.retainedBytes(0);
        const TlsOptions options = tls(Transport::StartTlsImap, QStringLiteral("imap.test"), true);
        rows.setTlsOptions(1, options);
        QCOMPARE(rows.tlsOptions(1), options);
        QCOMPARE(rows.tlsOptions(0), TlsOptions());
        QVERIFY(rows.retainedBytes(1) > plain);
        QCOMPARE(rows.certificateFacts(1), nullptr);
        QCOMPARE(rows.tlsHandshakeUs(1), 0);
        rows.setTlsOptions(1, TlsOptions());
        QCOMPARE(rows.retainedBytes(1), plain);
        QCOMPARE(rows.tlsOptions(1), TlsOptions());
    }

    void daysUntil_data() {
        QTest::addColumn<qint64>("afterNowMs");
        QTest::addColumn<qint64>("days");
        constexpr qint64 day = 24 * 3600 * 1000;
        QTest::newRow("ten days") << 10 * day << qint64(10);
        QTest::newRow("a second short of ten days") << 10 * day - 1000 << qint64(9);
        QTest::newRow("now") << qint64(0) << qint64(0);
        QTest::newRow("a second past") << qint64(-1000) << qint64(-1);
        QTest::newRow("a day past") << -day << qint64(-1);
        QTest::newRow("a day and a second past") << -day - 1000 << qint64(-2);
    }
    void daysUntil() {
        QFETCH(qint64, afterNowMs);
        QFETCH(qint64, days);
        const qint64 now = 1767268800000;
        QCOMPARE(CertificateFacts::daysUntil((now + afterNowMs) / 1000, now), days);
    }

    // The exchanges before the upgrade, fed in pieces as they may arrive.
    void dialogues_data() {
        QTest::addColumn<Transport>("transport");
        QTest::addColumn<QByteArrayList>("received");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QByteArray>("sent");
        const Transport smtp = Transport::StartTlsSmtp;
        QTest::newRow("SMTP, lines split anywhere")
            << smtp
            << QByteArrayList{"22", "0-mail\r\n220 rea", "dy\n250-mail\r\n250-SIZE\r",
                              "\n250 STARTTLS\r\n", "220 go\r\nbytes after the answer"}
            << Outcome::Upgrade << QByteArray("EHLO servermon\r\nSTARTTLS\r\n");
        QTest::newRow("SMTP, busy")
            << smtp << QByteArrayList{"421 busy\r\n"} << Outcome::Refused << QByteArray();
        QTest::newRow("SMTP, a line of another code inside a reply")
            << smtp << QByteArrayList{"220 ready\r\n250-mail\r\n550 no\r\n"} << Outcome::Refused
            << QByteArray("EHLO servermon\r\n");
        QTest::newRow("SMTP, STARTTLS refused")
            << smtp << QByteArrayList{"220 ready\r\n250 mail\r\n454 no TLS\r\n"} << Outcome::Refused
            << QByteArray("EHLO servermon\r\nSTARTTLS\r\n");
        QTest::newRow("SMTP, closed") << smtp << QByteArrayList{"220 ready\r\n", {}}
                                      << Outcome::Refused << QByteArray("EHLO servermon\r\n");
        QTest::newRow("IMAP") << Transport::StartTlsImap
                              << QByteArrayList{"* OK ready\r\n",
                                                "* CAPABILITY IMAP4rev1 STARTTLS\r\na1 OK done\r\n",
                                                "a2 OK go\r\n"}
                              << Outcome::Upgrade << QByteArray("a1 CAPABILITY\r\na2 STARTTLS\r\n");
        QTest::newRow("IMAP, goodbye") << Transport::StartTlsImap << QByteArrayList{"* BYE\r\n"}
                                       << Outcome::Refused << QByteArray();
        QTest::newRow("IMAP, STARTTLS refused")
            << Transport::StartTlsImap << QByteArrayList{"* OK\r\na1 OK\r\na2 BAD no\r\n"}
            << Outcome::Refused << QByteArray("a1 CAPABILITY\r\na2 STARTTLS\r\n");
        QTest::newRow("POP3") << Transport::StartTlsPop3
                              << QByteArrayList{"+OK\r\n+OK\r\nUSER\r\n", "STLS\r\n.\r\n+OK go\r\n"}
                              << Outcome::Upgrade << QByteArray("CAPA\r\nSTLS\r\n");
        QTest::newRow("POP3, STLS refused")
            << Transport::StartTlsPop3 << QByteArrayList{"+OK\r\n+OK\r\n.\r\n-ERR no\r\n"}
            << Outcome::Refused << QByteArray("CAPA\r\nSTLS\r\n");
        QTest::newRow("FTP, free text inside the greeting")
            << Transport::StartTlsFtp
            << QByteArrayList{"220-hello\r\n any text\r\n500 is text here\r\n220 ready\r\n",
                              "234 go\r\n"}
            << Outcome::Upgrade << QByteArray("AUTH TLS\r\n");
        QTest::newRow("FTP, AUTH refused")
            << Transport::StartTlsFtp << QByteArrayList{"220 ready\r\n530 no\r\n"}
            << Outcome::Refused << QByteArray("AUTH TLS\r\n");
        QTest::newRow("a line without end")
            << smtp << QByteArrayList{"220-" + QByteArray(StartTlsDialogue::LineLimit, 'x')}
            << Outcome::Refused << QByteArray();
        QByteArrayList flood;
        for (int i = 0; i < 64; ++i)
            flood.append(QByteArray(1000, 'x').prepend("220-").append("\r\n").repeated(16));
        QTest::newRow("a greeting of 1 MB") << smtp << flood << Outcome::Refused << QByteArray();
    }
    void dialogues() {
        QFETCH(Transport, transport);
        QFETCH(QByteArrayList, received);
        QFETCH(Outcome, outcome);
        QFETCH(QByteArray, sent);
        StartTlsDialogue dialogue(transport);
        QByteArray toSend;
        Outcome last = Outcome::Continue;
        qsizetype taken = 0;
        for (const QByteArray& bytes : received) {
            if (last != Outcome::Continue)
                break;
            last = bytes.isNull() ? dialogue.receiveEnd() : dialogue.receive(bytes, toSend);
            taken += bytes.size();
        }
        QCOMPARE(last, outcome);
        QCOMPARE(toSend, sent);
        QCOMPARE(dialogue.reason().isEmpty(), outcome != Outcome::Refused);
        QVERIFY(taken <= StartTlsDialogue::ReadLimit + 16 * 1024 + 64);
    }

    // The facts as the details window lists them: the verification reads
    // as the Status of a refused certificate, with OpenSSL's words and
    // whether the row ignores it; dates in UTC, days left from the chain.
    void factsText_data() {
        QTest::addColumn<Verification>("verification");
        QTest::addColumn<int>("verifyCode");
        QTest::addColumn<bool>("ignoreErrors");
        QTest::addColumn<qint64>("chainDays");
        QTest::addColumn<QString>("verified"); // the verification line, up to OpenSSL's words
        QTest::addColumn<QString>("daysLeft");
        QTest::newRow("verified") << Verification::Ok << 0 << false << qint64(5)
                                  << "验证结果:已验证"
                                  << "剩余天数:5天";
        QTest::newRow("expired") << Verification::Expired << 10 << false << qint64(-2)
                                 << "验证结果:证书错误:已过期 ("
                                 << "剩余天数:已过期2天";
        QTest::newRow("untrusted, ignored")
            << Verification::Untrusted << 18 << true << qint64(0) << "验证结果:证书错误:不受信任 ("
            << "剩余天数:0天";
        QTest::newRow("name mismatch") << Verification::NameMismatch << 62 << false << qint64(30)
                                       << "验证结果:证书错误:主机名不匹配 ("
                                       << "剩余天数:30天";
    }
    void factsText() {
        QFETCH(Verification, verification);
        QFETCH(int, verifyCode);
        QFETCH(bool, ignoreErrors);
        QFETCH(qint64, chainDays);
        QFETCH(QString, verified);
        QFETCH(QString, daysLeft);
        const qint64 now = 1767268800000; // 2026-01-01 12:00 UTC
        CertificateFacts facts;
        facts.subject = QStringLiteral("O = servermon tests, CN = svc.test");
        facts.issuer = QStringLiteral("CN = issuer");
        facts.leafNotAfter = now / 1000 + 10 * 86400;
        facts.chainNotAfter = now / 1000 + chainDays * 86400 + 60;
        facts.verification = verification;
        facts.verifyCode = verifyCode;
        facts.nameMatches = verification != Verification::NameMismatch;
        facts.protocol = QStringLiteral("TLSv1.3");
        facts.cipher = QStringLiteral("TLS_AES_128_GCM_SHA256");
        for (size_t i = 0; i < facts.fingerprint.size(); ++i)
            facts.fingerprint[i] = quint8(i * 8);
        const QStringList lines = CertificateFactsText::lines(facts, 2345, now, ignoreErrors);
        QCOMPARE(lines.size(), 11);
        QCOMPARE(lines.at(0), "证书主题:" + facts.subject);
        QCOMPARE(lines.at(1), "颁发者:" + facts.issuer);
        QCOMPARE(lines.at(2), QStringLiteral("证书到期:2026-01-11 12:00:00 UTC"));
        QVERIFY(lines.at(3).startsWith(QStringLiteral("证书链最早到期:")));
        QCOMPARE(lines.at(4), daysLeft);
        QVERIFY2(lines.at(5).startsWith(verified), qPrintable(lines.at(5)));
        if (verification != Verification::Ok)
            QCOMPARE(lines.at(5).mid(verified.size()),
                     facts.verifyText() + (ignoreErrors ? ")" + QStringLiteral(",已忽略") : ")"));
        QCOMPARE(lines.at(6), QString("主机名匹配:") +
                                  (verification != Verification::NameMismatch ? "是" : "否"));
        QCOMPARE(lines.at(7), QStringLiteral("TLS版本:TLSv1.3"));
        QCOMPARE(lines.at(8), QStringLiteral("加密套件:TLS_AES_128_GCM_SHA256"));
        QCOMPARE(lines.at(9), QStringLiteral("握手时间:2.3 ms"));
        QVERIFY(lines.at(10).startsWith(QStringLiteral("指纹(SHA-256):00:08:10:18:")));
        QVERIFY(lines.at(10).endsWith(QStringLiteral(":F0:F8")));
    }

    // The details window's TLS test: one probe of the server as stored,
    // whose outcome reads as the list's Status, with the facts of its own
    // handshake, within the time-out.
    void tlsProbeTest_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<Transport>("transport");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("facts");
        QTest::newRow("verified") << "tls"
                                  << "chain" << Transport::Tls << "OK" << kCorrect << true;
        QTest::newRow("wrong reply")
            << "tls"
            << "chain" << Transport::Tls << "NOPE" << kWrong + kAnswer << true;
        QTest::newRow("STARTTLS IMAP")
            << "starttls-imap"
            << "chain" << Transport::StartTlsImap << "OK" << kCorrect << true;
        QTest::newRow("expired") << "tls"
                                 << "expired" << Transport::Tls << "OK"
                                 << "证书错误:已过期" << true;
        QTest::newRow("self-signed") << "tls"
                                     << "selfsigned" << Transport::Tls << "OK"
                                     << "证书错误:不受信任" << true;
        QTest::newRow("other name") << "tls"
                                    << "other" << Transport::Tls << "OK"
                                    << "证书错误:主机名不匹配" << true;
        QTest::newRow("STARTTLS refused") << "refuse-starttls"
                                          << "" << Transport::StartTlsSmtp << "OK"
                                          << "不支持STARTTLS" << false;
        QTest::newRow("stall") << "stall"
                               << "" << Transport::Tls << "OK"
                               << "SOCKET超时:700ms" << false;
    }
    void tlsProbeTest() {
        QFETCH(QString, mode);
        QFETCH(QString, certificate);
        QFETCH(Transport, transport);
        QFETCH(QString, expected);
        QFETCH(QString, status);
        QFETCH(bool, facts);
        TlsPeer peer(mode, m_certificates.path(), certificate);
        QVERIFY2(!peer.port().isEmpty(), "the Python peer did not start");
        TlsProbeTest test;
        QSignalSpy finished(&test, &TlsProbeTest::finished);
        test.start({QStringLiteral("127.0.0.1"), peer.port(),
                    tls(transport, QStringLiteral("svc.test")), QStringLiteral("HELLO\r\n"),
                    expected},
                   mode == QLatin1String("stall") ? 700 : 20000, caFile());
        QVERIFY(test.isRunning());
        QVERIFY(test.stateText().startsWith("TLS[IP:127.0.0.1:" + peer.port() + "] "));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 20000);
        QCOMPARE(test.status(), status);
        QVERIFY(!test.isRunning());
        QCOMPARE(test.facts().has_value(), facts);
        QCOMPARE(test.handshakeUs() > 0, facts);
        QCOMPARE(!test.reply().isEmpty(), status == kCorrect || status.startsWith(kWrong));
        QVERIFY(test.elapsedMs() >= 0 && test.elapsedMs() < 20000);
        QVERIFY(!finished.wait(100)); // one outcome only
    }

    // Handshake steps stop once a turn of the event loop has run for the
    // budget; those over it resume after the loop has turned, unless their
    // socket is gone.
    void turnBudget() {
        SecuredTurnBudget& budget = SecuredTurnBudget::ofThisThread();
        QObject kept;
        auto gone = std::make_unique<QObject>();
        int resumedKept = 0;
        int resumedGone = 0;
        QTRY_VERIFY(budget.admit(&kept, [] {}));
        QElapsedTimer spin;
        spin.start();
        while (spin.elapsed() <= SecuredTurnBudget::BudgetMs) {
        }
        QVERIFY(!budget.admit(&kept, [&resumedKept] { ++resumedKept; }));
        QVERIFY(!budget.admit(gone.get(), [&resumedGone] { ++resumedGone; }));
        gone.reset();
        QTRY_COMPARE(resumedKept, 1);
        QCOMPARE(resumedGone, 0);
        QVERIFY(budget.admit(&kept, [] {}));
    }
};

QTEST_GUILESS_MAIN(TestTls)
#include "tst_tls.moc"
