#include "FakeClock.h"
#include "FakeEcho.h"
#include "FakeRecorder.h"
#include "RecordingAlerts.h"
#include "TlsPeer.h"

#include "monitor/CertNoticeStore.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "monitor/ServerSilence.h"
#include "tls/CertificateFacts.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using Col = ServerRowModel::Column;

namespace {

const QString kNoticeTitle = QStringLiteral("注意:证书即将过期");
const QString kCorrect = QStringLiteral("已收到正确的回应包");
constexpr qint64 kDayMs = 24 * 3600 * 1000;
constexpr qint64 kHourMs = 3600 * 1000;

// Keeps what the monitor asks it to remember.
class RecordingNoticeStore final : public CertNoticeStore {
public:
    void recordCertNotified(qint64 serverId, const QString& value) override {
        written.append({serverId, value});
    }
    QList<QPair<qint64, QString>> written;
};

// The monitor with one TLS server loaded as the catalogue gives it, probed
// by whole passes against a loopback peer.
struct Rig {
    explicit Rig(const QString& caFile) {
        list.setSourceModel(&rows);
        list.setDynamicSortFilter(false);
        monitor.timerProc().setInterval(24 * 3600 * 1000);
        settings.TlsCaFile = caFile;
        clock.setUtcMs(QDateTime::currentMSecsSinceEpoch());
        monitor.setRecorder(&recorder);
        monitor.setCertNoticeStore(&store);
    }
    static ServerRecord server(const QString& port, qint32 warnDays, const QString& notified = {}) {
        ServerRecord record{7,
                            QStringLiteral("邮件网关"),
                            QStringLiteral("127.0.0.1"),
                            port,
                            QStringLiteral("HELLO\r\n"),
                            QStringLiteral("OK"),
                            {},
                            true};
        record.tls = {Transport::Tls, QStringLiteral("svc.test"), true};
        record.certWarnDays = warnDays;
        record.certNotified = notified;
        return record;
    }
    // A whole pass whose probe has ended with its result recorded.
    void pass() {
        const qsizetype before = socketResults();
        if (!monitor.isMonitoring())
            monitor.CmdStart_Click();
        monitor.TimerProc_Timer();
        QTRY_VERIFY(!monitor.isPassRunning());
        QTRY_COMPARE_WITH_TIMEOUT(socketResults(), before + 1, 20000);
    }
    void passes(int count) {
        for (int i = 0; i < count && !QTest::currentTestFailed(); ++i)
            pass();
    }
    qsizetype socketResults() const {
        return std::count_if(recorder.outcomes.cbegin(), recorder.outcomes.cend(),
                             [](const ProbeOutcome& o) { return o.isSocket(); });
    }
    QList<RecordingAlerts::Alert> notices() const {
        QList<RecordingAlerts::Alert> found;
        for (const RecordingAlerts::Alert& alert : alerts.alerts) {
            if (alert.title == kNoticeTitle)
                found.append(alert);
        }
        return found;
    }

    ServerRowModel rows;
    QSortFilterProxyModel list;
    MonitorSettings settings{0, 10000, 1, 0, false, {}};
    FakeClock clock;
    FakeEcho echo;
    RecordingAlerts alerts;
    FakeRecorder recorder;
    RecordingNoticeStore store;
    ServerMonitor monitor{rows, list, settings, clock, echo, alerts};
};

// What CertNotified holds after a notice about the first certificate of a
// PEM file at that threshold: its SHA-256 in hex, '/', the days.
QString noticeKey(const QString& pemFile, qint32 warnDays) {
    QFile file(pemFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray pem = file.readAll();
    const qsizetype begin = pem.indexOf('\n') + 1;
    const QByteArray der = QByteArray::fromBase64(pem.mid(begin, pem.indexOf("-----END") - begin));
    return QString::fromLatin1(QCryptographicHash::hash(der, QCryptographicHash::Sha256).toHex()) +
           QLatin1Char('/') + QString::number(warnDays);
}

QString localDate(qint64 seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

using Written = QList<QPair<qint64, QString>>;

} // namespace

class TestTlsNotices final : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_certificates;
    QString caFile() const { return m_certificates.filePath(QStringLiteral("ca.pem")); }
    QString pemFile(const QString& stem) const {
        return m_certificates.filePath(stem + QStringLiteral(".pem"));
    }

private slots:
    void initTestCase() {
        QVERIFY(m_certificates.isValid());
        const QString failed = TlsPeers::makeCertificates(m_certificates.path());
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
    }

    // Over several passes a certificate within the server's threshold is
    // warned about exactly once, whatever its verification found and
    // whether errors are ignored; a threshold of 0 never warns. The chain
    // ends within 5 days, the self-signed leaf within 10; the expired leaf
    // ended 2 days ago.
    void warnedOnceWithinTheThreshold_data() {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<bool>("ignoreErrors");
        QTest::addColumn<int>("warnDays");
        QTest::addColumn<bool>("warned");
        QTest::addColumn<QString>("status");
        const QString expired = QStringLiteral("证书错误:已过期");
        QTest::newRow("chain, 14 days") << "chain" << false << 14 << true << kCorrect;
        QTest::newRow("chain, 2 days") << "chain" << false << 2 << false << kCorrect;
        QTest::newRow("chain, never") << "chain" << false << 0 << false << kCorrect;
        QTest::newRow("expired, refused") << "expired" << false << 14 << true << expired;
        QTest::newRow("expired, errors ignored") << "expired" << true << 14 << true << kCorrect;
        QTest::newRow("expired, never") << "expired" << true << 0 << false << kCorrect;
        QTest::newRow("self-signed, errors ignored")
            << "selfsigned" << true << 14 << true << kCorrect;
        QTest::newRow("self-signed, refused")
            << "selfsigned" << false << 14 << true << QStringLiteral("证书错误:不受信任");
        QTest::newRow("self-signed, 5 days") << "selfsigned" << true << 5 << false << kCorrect;
    }
    void warnedOnceWithinTheThreshold() {
        QFETCH(QString, certificate);
        QFETCH(bool, ignoreErrors);
        QFETCH(int, warnDays);
        QFETCH(bool, warned);
        QFETCH(QString, status);
        TlsPeer peer(QStringLiteral("tls"), m_certificates.path(), certificate);
        QVERIFY2(!peer.port().isEmpty(), "the Python peer did not start");
        Rig rig(caFile());
        ServerRecord server = Rig::server(peer.port(), warnDays);
        server.tls.ignoreErrors = ignoreErrors;
        rig.rows.resetRows({server});
        rig.passes(3);
        QCOMPARE(rig.rows.text(0, Col::Status), status);

        const QList<RecordingAlerts::Alert> notices = rig.notices();
        QCOMPARE(notices.size(), warned ? 1 : 0);
        const QString key = noticeKey(pemFile(certificate), warnDays);
        QCOMPARE(rig.store.written, (warned ? Written{{7, key}} : Written{}));
        QCOMPARE(rig.rows.certNotified(0), warned ? key : QString());
        if (!warned)
            return;
        const CertificateFacts* facts = rig.rows.certificateFacts(0);
        QVERIFY(facts);
        const RecordingAlerts::Alert& notice = notices.first();
        QCOMPARE(notice.server, QStringLiteral("7"));
        QVERIFY2(notice.text.startsWith(QStringLiteral("服务器:邮件网关\r\nIP:127.0.0.1\r\n证书:") +
                                        facts->subject + QStringLiteral("\r\n")),
                 qPrintable(notice.text));
        QVERIFY(facts->subject.contains(QStringLiteral("CN = svc.test")));
        QVERIFY2(notice.text.contains(localDate(facts->chainNotAfter)), qPrintable(notice.text));
    }

    // The Status tool-tip tells the days left and the date they end, as the
    // clock goes on; the notice comes when the days reach the threshold,
    // and an expired certificate, already warned about, is not warned
    // about again.
    void followsTheClock() {
        TlsPeer peer(QStringLiteral("tls"), m_certificates.path(), QStringLiteral("chain"));
        QVERIFY2(!peer.port().isEmpty(), "the Python peer did not start");
        Rig rig(caFile());
        rig.rows.resetRows({Rig::server(peer.port(), 2)});
        rig.pass();
        const CertificateFacts* facts = rig.rows.certificateFacts(0);
        QVERIFY(facts);
        const qint64 notAfterMs = facts->chainNotAfter * 1000;
        const QString date = localDate(facts->chainNotAfter);
        struct Step {
            qint64 nowMs;
            QString tip;
            int notices;
        };
        const QList<Step> steps{
            {notAfterMs - 3 * kDayMs - kHourMs, QStringLiteral("证书剩余 3 天,到期 %1"), 0},
            {notAfterMs - 2 * kDayMs - kHourMs, QStringLiteral("证书剩余 2 天,到期 %1"), 1},
            {notAfterMs - kHourMs, QStringLiteral("证书剩余 0 天,到期 %1"), 1},
            {notAfterMs + kHourMs, QStringLiteral("证书已过期 1 天,到期 %1"), 1},
        };
        for (const Step& step : steps) {
            rig.clock.setUtcMs(step.nowMs);
            rig.pass();
            QCOMPARE(rig.rows.toolTip(0, Col::Status), step.tip.arg(date));
            QCOMPARE(rig.notices().size(), step.notices);
        }
        QCOMPARE(rig.store.written.size(), 1);
    }

    // The notice given is remembered: a restart that loads it from the
    // catalogue does not repeat it; a renewed certificate (another
    // fingerprint) still within the threshold is warned about once, and so
    // is the same certificate at another threshold.
    void rememberedAcrossRestarts() {
        TlsPeer first(QStringLiteral("tls"), m_certificates.path(), QStringLiteral("chain"));
        TlsPeer renewed(QStringLiteral("tls"), m_certificates.path(), QStringLiteral("selfsigned"));
        QVERIFY2(!first.port().isEmpty() && !renewed.port().isEmpty(),
                 "the Python peers did not start");
        const QString firstKey = noticeKey(pemFile(QStringLiteral("chain")), 14);
        const QString renewedKey = noticeKey(pemFile(QStringLiteral("selfsigned")), 14);
        QVERIFY(firstKey != renewedKey);
        {
            Rig rig(caFile());
            rig.rows.resetRows({Rig::server(first.port(), 14)});
            rig.passes(2);
            QCOMPARE(rig.notices().size(), 1);
            QCOMPARE(rig.store.written, (Written{{7, firstKey}}));
        }
        Rig restarted(caFile());
        restarted.rows.resetRows({Rig::server(first.port(), 14, firstKey)});
        restarted.passes(2);
        QCOMPARE(restarted.notices().size(), 0);
        QCOMPARE(restarted.store.written, Written{});

        restarted.rows.resetRows({Rig::server(renewed.port(), 14, firstKey)});
        restarted.passes(2);
        QCOMPARE(restarted.notices().size(), 1);
        QCOMPARE(restarted.store.written, (Written{{7, renewedKey}}));

        const QString wider = noticeKey(pemFile(QStringLiteral("selfsigned")), 30);
        restarted.rows.resetRows({Rig::server(renewed.port(), 30, renewedKey)});
        restarted.passes(2);
        QCOMPARE(restarted.notices().size(), 2);
        QCOMPARE(restarted.store.written, (Written{{7, renewedKey}, {7, wider}}));
    }

    // A silenced server hears nothing, and nothing is remembered for it, so
    // the notice comes once the silence has ended.
    void silencedServerIsWarnedAfterItsSilence() {
        TlsPeer peer(QStringLiteral("tls"), m_certificates.path(), QStringLiteral("chain"));
        QVERIFY2(!peer.port().isEmpty(), "the Python peer did not start");
        Rig rig(caFile());
        ServerSilence silence(rig.rows, rig.clock,
                              [](qint64, qint64, ServerSilence::Origin) { return QString(); });
        rig.monitor.setSilence(&silence);
        rig.rows.resetRows({Rig::server(peer.port(), 14)});
        QCOMPARE(silence.apply(7, ServerSilence::Kind::ForHour), QString());
        rig.passes(2);
        QCOMPARE(rig.rows.text(0, Col::Status), kCorrect);
        QCOMPARE(rig.alerts.alerts.size(), 0);
        QCOMPARE(rig.store.written, Written{});
        QCOMPARE(rig.rows.certNotified(0), QString());

        rig.clock.advance(ServerSilence::HourMs + 1000);
        rig.passes(2);
        QCOMPARE(rig.notices().size(), 1);
        QCOMPARE(rig.store.written.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestTlsNotices)
#include "tst_tlsnotices.moc"
