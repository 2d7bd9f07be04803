#include "FakeClock.h"
#include "RecordingAlerts.h"

#include "monitor/GbkText.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "monitor/SocketArray.h"
#include "monitor/SocketElement.h"
#include "platform/EchoService.h"
#include "platform/FileLimit.h"
#include "platform/PlainText.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>

#include <functional>
#include <memory>

using Col = ServerRowModel::Column;

namespace {

const QString kCorrect = QStringLiteral("已收到正确的回应包");
const QString kWrong = QStringLiteral("应答包错误：");
const QString kSent = QStringLiteral("已发送数据包,等待回应...");

// A loopback peer that answers the first bytes of a request, resets every
// connection at once, or accepts and never reads.
class HostilePeer final : public QObject {
public:
    enum class Mode { Answer, Reset, NeverRead };

    explicit HostilePeer(Mode mode, QByteArray answer = {})
        : m_answer(std::move(answer)) {
        m_server.setListenBacklogSize(4096);
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this, mode] {
            while (QTcpSocket* peer = m_server.nextPendingConnection())
                accept(peer, mode);
        });
    }
    QString port() const { return QString::number(m_server.serverPort()); }

    int open = 0; // accepted connections not yet gone
    int accepted = 0;

private:
    void accept(QTcpSocket* peer, Mode mode) {
        ++open;
        ++accepted;
        connect(peer, &QObject::destroyed, this, [this] { --open; });
        connect(peer, &QTcpSocket::disconnected, peer, &QObject::deleteLater);
        connect(peer, &QTcpSocket::errorOccurred, peer, &QObject::deleteLater);
        if (mode == Mode::Reset) {
            const linger immediately{1, 0};
            ::setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &immediately,
                         sizeof immediately);
            peer->abort();
            peer->deleteLater();
        } else if (mode == Mode::Answer) {
            connect(peer, &QTcpSocket::readyRead, peer, [this, peer] {
                peer->readAll();
                if (!peer->property("answered").toBool())
                    peer->write(m_answer);
                peer->setProperty("answered", true);
            });
        }
    }

    QTcpServer m_server;
    QByteArray m_answer;
};

// Echoes always answer; a test may act in the middle of an echo, as the
// real echo's local wait lets the window do.
class ScriptedEcho final : public EchoService {
public:
    long PingHost(const QString&, EchoReply& reply) override {
        reply = EchoReply{};
        reply.roundTripTime = 1;
        ++echoes;
        if (duringEcho)
            duringEcho(echoes);
        return 1;
    }
    int echoes = 0;
    std::function<void(int)> duringEcho;
};

ServerRecord record(const QString& port, const QString& postData, const QString& replyData) {
    return {1, {}, QStringLiteral("127.0.0.1"), port, postData, replyData, {}, true};
}

// The most a loopback connection can hold in flight: the largest send and
// receive buffers the kernel grows to.
qsizetype socketBufferBytes() {
    qsizetype total = 0;
    for (const char* path : {"/proc/sys/net/ipv4/tcp_wmem", "/proc/sys/net/ipv4/tcp_rmem"}) {
        QFile file(QString::fromLatin1(path));
        if (file.open(QIODevice::ReadOnly))
            total += file.readAll().simplified().split(' ').value(2).toLongLong();
    }
    return total;
}

int openDescriptors() {
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

struct Rig {
    Rig() {
        list.setSourceModel(&rows);
        list.setDynamicSortFilter(false);
        monitor.timerProc().setInterval(24 * 3600 * 1000);
    }
    void pass() {
        if (!monitor.isMonitoring())
            monitor.CmdStart_Click();
        monitor.TimerProc_Timer();
    }
    QString text(Col column, int row = 0) const { return rows.text(row, column); }
    QString shown(Col column, int role, int row = 0) const {
        return rows.data(rows.index(row, column), role).toString();
    }

    ServerRowModel rows;
    QSortFilterProxyModel list;
    MonitorSettings settings{0, 10000, 3, 0, false, {}};
    FakeClock clock;
    ScriptedEcho echo;
    RecordingAlerts alerts;
    ServerMonitor monitor{rows, list, settings, clock, echo, alerts};
};

struct ReplyCase {
    QByteArray answer;
    QString replyData;
    bool correct;
    QString replyStart; // what the reply's text begins with
    QString reply;      // the whole reply text, when it arrives in one piece
};

} // namespace

Q_DECLARE_METATYPE(ReplyCase)

class TestHostileReplies final : public QObject {
    Q_OBJECT
private slots:
    // Only the first arrival is judged, decoded with NUL bytes and broken
    // characters kept in place; a cell never shows more than 4,096 characters.
    void strangeReplies_data() {
        QTest::addColumn<ReplyCase>("c");
        const QByteArray tenMegabytes(10 << 20, 'x');
        const QString replacement(QChar::ReplacementCharacter);
        QTest::newRow("10 MB at once, matching") << ReplyCase{
            "HTTP/1.1 200 OK\r\n" + tenMegabytes, "200 ok", true, "HTTP/1.1 200 OK", {}};
        QTest::newRow("10 MB at once, wrong")
            << ReplyCase{tenMegabytes, "HTTP", false, QString(16, u'x'), {}};
        QTest::newRow("NUL bytes, matching") << ReplyCase{QByteArray("\0\0+OK\0\r\n", 8),
                                                          "+ok",
                                                          true,
                                                          {},
                                                          QString::fromLatin1("\0\0+OK\0\r\n", 8)};
        QTest::newRow("NUL bytes, wrong")
            << ReplyCase{QByteArray(4, '\0'), "x", false, {}, QString(4, QChar(0))};
        QTest::newRow("invalid GBK")
            << ReplyCase{"\x81 OK\xFF", "ok", true, {}, replacement + " OK" + replacement};
        QTest::newRow("lead byte cut off at the end")
            << ReplyCase{"OK\x81", "OK", true, {}, "OK" + replacement};
        QTest::newRow("GBK text") << ReplyCase{GbkText::encode(QStringLiteral("服务正常\r\n")),
                                               QStringLiteral("正常"),
                                               true,
                                               {},
                                               QStringLiteral("服务正常\r\n")};
        QTest::newRow("only broken bytes")
            << ReplyCase{"\xFF\xFF\x80", "OK", false, {}, QString(3, QChar::ReplacementCharacter)};
    }
    void strangeReplies() {
        QFETCH(ReplyCase, c);
        HostilePeer peer(HostilePeer::Mode::Answer, c.answer);
        Rig rig;
        rig.rows.resetRows({record(peer.port(), "GET / HTTP/1.0\r\n\r\n", c.replyData)});
        rig.pass();
        QTRY_VERIFY_WITH_TIMEOUT(rig.monitor.passReplyCount() == 1, 20000);
        QTRY_VERIFY(rig.text(Col::Status) != kSent);

        const QString reply = rig.rows.toolTip(0, Col::ReplyData);
        QVERIFY(reply.startsWith(c.replyStart));
        if (!c.reply.isNull())
            QCOMPARE(reply, c.reply);
        QCOMPARE(rig.text(Col::Status), c.correct ? kCorrect : kWrong + reply);
        QCOMPARE(rig.text(Col::ReplyErr), QString(c.correct ? "0" : "1"));
        for (const Col column : {Col::Status, Col::ReplyData})
            QVERIFY(rig.shown(column, Qt::DisplayRole).size() <= 4097);
        // The tip is capped like a cell and written so that it shows as plain text.
        const QString cappedReply = reply.size() > 4096 ? reply.left(4096) + u'…' : reply;
        QCOMPARE(rig.shown(Col::ReplyData, Qt::ToolTipRole), PlainText::asRichText(cappedReply));
    }

    // A peer that resets every connection: no success is ever shown, and the
    // probe ends at the latest as a time-out.
    void peerResetsAfterConnect() {
        HostilePeer peer(HostilePeer::Mode::Reset);
        Rig rig;
        rig.rows.resetRows({record(peer.port(), "HELLO", "OK")});
        rig.pass();
        QTRY_COMPARE(peer.accepted, 1);
        QTRY_COMPARE(peer.open, 0);
        QVERIFY(rig.text(Col::Status) != kCorrect);
        qInfo("after the reset: %s", qPrintable(rig.text(Col::Status)));
        rig.clock.advance(rig.settings.iTimeOut + 1);
        rig.pass();
        QCOMPARE(rig.text(Col::Status), QStringLiteral("SOCKET超时:10000ms"));
        QVERIFY(rig.text(Col::ReplyErr).toInt() >= 1);
        QCOMPARE(rig.monitor.passReplyCount(), 0);
    }

    // A request far larger than the socket buffers, to a peer that never
    // reads: sending returns at once, the window's events keep running, and
    // the probe times out like any silent one.
    void peerNeverReadsALargeRequest() {
        HostilePeer peer(HostilePeer::Mode::NeverRead);
        Rig rig;
        const QString request(qMax<qsizetype>(24 << 20, socketBufferBytes() + (8 << 20)), u'r');
        rig.rows.resetRows({record(peer.port(), request, "OK")});
        rig.pass();
        QVERIFY(!rig.monitor.isPassRunning());
        QTRY_COMPARE(rig.text(Col::Status), kSent);
        bool ticked = false;
        QTimer::singleShot(0, [&ticked] { ticked = true; });
        QTRY_VERIFY(ticked);
        QTcpSocket& socket = rig.monitor.sockets().element(rig.rows.keyAt(0))->socket();
        QVERIFY2(socket.bytesToWrite() > 0, "the peer took the whole request");

        rig.clock.advance(rig.settings.iTimeOut + 1);
        rig.pass();
        QCOMPARE(rig.text(Col::Status), QStringLiteral("SOCKET超时:10000ms"));
        QCOMPARE(socket.bytesToWrite(), 0);
    }

    // 5,000 rows over five loopback servers, the list reloaded in the middle
    // of a pass ten times in a row (inside an echo, or from a timer that fires
    // during the pass's next yield); then a whole pass. Every descriptor opened
    // for the probes is closed again.
    void reloadDuringPassesOf5000Rows() {
        constexpr int Rows = 5000;
        const long limit = FileLimit::raiseToHardLimit();
        if (limit < 2 * Rows + 1000)
            QSKIP(qPrintable(QStringLiteral("the open-file limit %1 is below the %2 descriptors "
                                            "the probes and their loopback peers need")
                                 .arg(limit)
                                 .arg(2 * Rows + 1000)));
        std::vector<std::unique_ptr<HostilePeer>> peers;
        for (int i = 0; i < 5; ++i)
            peers.push_back(std::make_unique<HostilePeer>(HostilePeer::Mode::Answer, "+OK\r\n"));
        QList<ServerRecord> records;
        for (int i = 0; i < Rows; ++i)
            records.append(record(peers[i % peers.size()]->port(), "PING\r\n", "+ok"));
        const auto open = [&peers] {
            int count = 0;
            for (const auto& peer : peers)
                count += peer->open;
            return count;
        };

        const int before = openDescriptors();
        {
            Rig rig;
            rig.rows.resetRows(records);
            for (int round = 0; round < 10; ++round) {
                const int reloadAt = rig.echo.echoes + 1 + round * 450;
                bool reloaded = false;
                const auto reload = [&] {
                    reloaded = true;
                    rig.rows.resetRows(records);
                };
                rig.echo.duringEcho = [&](int echo) {
                    if (echo != reloadAt)
                        return;
                    if (round % 2 == 0)
                        reload();
                    else
                        QTimer::singleShot(0, reload);
                };
                rig.pass();
                QVERIFY2(reloaded, qPrintable(QStringLiteral("round %1").arg(round)));
                QVERIFY(!rig.monitor.isPassRunning());
                QCOMPARE(rig.monitor.sockets().count(), Rows);
            }
            rig.echo.duringEcho = nullptr;
            rig.pass();
            QCOMPARE(rig.monitor.passNumber(), 2);
            QTRY_VERIFY_WITH_TIMEOUT(rig.monitor.passReplyCount() == Rows, 120000);
            for (int row = 0; row < Rows; ++row)
                QCOMPARE(rig.text(Col::Status, row), kCorrect);
        }
        QTRY_VERIFY_WITH_TIMEOUT(open() == 0, 30000);
        const int after = openDescriptors();
        qInfo("open descriptors: %d before, %d after", before, after);
        QVERIFY2(after <= before + 32,
                 qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(after)));
    }
};

QTEST_GUILESS_MAIN(TestHostileReplies)
#include "tst_hostilereplies.moc"
