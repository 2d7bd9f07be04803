#include "FakeClock.h"
#include "FakeEcho.h"
#include "RecordingAlerts.h"

#include "monitor/GbkText.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "monitor/SocketArray.h"
#include "monitor/SocketElement.h"
#include "platform/FileLimit.h"
#include "platform/PlainText.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
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
const QString kResetStatus = QStringLiteral("SOCKET错误:连接被对方重置");

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

// A peer in a process of its own (tcp_peer.py beside this test), so that
// none of it runs in the event loop of the sockets under test. It counts the
// connections it accepted and reports them when asked.
class ProcessPeer final {
public:
    explicit ProcessPeer(const QString& mode) {
        m_process.start(QStringLiteral("python3"),
                        {qEnvironmentVariable("SERVERMON_SOURCE_DIR") +
                             QStringLiteral("/tests/monitor/tcp_peer.py"),
                         mode});
        const QByteArray line = readLine();
        if (line.startsWith("port "))
            m_port = QString::fromLatin1(line.mid(5).trimmed());
    }
    ~ProcessPeer() {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(10000);
    }
    Q_DISABLE_COPY_MOVE(ProcessPeer)

    QString port() const { return m_port; } // empty when the peer did not start
    int accepted() {
        m_process.write("count\n");
        const QByteArray line = readLine();
        return line.startsWith("accepted ") ? line.mid(9).trimmed().toInt() : -1;
    }

private:
    QByteArray readLine() {
        QElapsedTimer waited;
        waited.start();
        while (!m_process.canReadLine() && waited.elapsed() < 20000)
            m_process.waitForReadyRead(1000);
        return m_process.readLine();
    }

    QProcess m_process;
    QString m_port;
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
    // A whole pass, until its last echo has completed. A pass of thousands
    // of rows under the sanitizers on a busy machine takes many seconds.
    void pass() {
        if (!monitor.isMonitoring())
            monitor.CmdStart_Click();
        monitor.TimerProc_Timer();
        QTRY_VERIFY_WITH_TIMEOUT(!monitor.isPassRunning(), 60000);
    }
    QString text(Col column, int row = 0) const { return rows.text(row, column); }
    QString shown(Col column, int role, int row = 0) const {
        return rows.data(rows.index(row, column), role).toString();
    }

    ServerRowModel rows;
    QSortFilterProxyModel list;
    MonitorSettings settings{0, 10000, 3, 0, false, {}};
    FakeClock clock;
    FakeEcho echo;
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

    // A peer in this thread that resets every connection: a socket error, and
    // the next pass probes it anew and meets the reset again.
    void peerResetsAfterConnect() {
        HostilePeer peer(HostilePeer::Mode::Reset);
        Rig rig;
        rig.rows.resetRows({record(peer.port(), "HELLO", "OK")});
        rig.pass();
        QTRY_COMPARE(rig.text(Col::Status), kResetStatus);
        QCOMPARE(rig.text(Col::ReplyErr) + rig.rows.tag(0, Col::ReplyErr), QStringLiteral("11"));
        QTRY_COMPARE(peer.open, 0);
        QCOMPARE(peer.accepted, 1);
        QCOMPARE(rig.monitor.socketFaultCount(), 1);
        QCOMPARE(rig.monitor.sockets().element(rig.rows.keyAt(0))->State(),
                 SocketElement::ErrorState);
        rig.clock.advance(rig.settings.iTimeOut + 1);
        rig.pass();
        QTRY_COMPARE(peer.accepted, 2);
        QTRY_COMPARE(rig.text(Col::ReplyErr), QStringLiteral("2"));
        QCOMPARE(rig.text(Col::Status), kResetStatus);
        QCOMPARE(rig.monitor.socketFaultCount(), 1);
    }

    // Peers in another process: a reset before or after the request is a
    // socket error like a refused connection; an orderly close without a
    // reply raises no event and counts as silent. Each probe opens exactly
    // one connection.
    void resetsAndOrderlyCloses_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("state");
        QTest::newRow("reset on accept") << "reset-on-accept" << kResetStatus << 9;
        QTest::newRow("reset after reading") << "reset-after-read" << kResetStatus << 9;
        QTest::newRow("orderly close after reading") << "close-after-read" << kSent << 8;
    }
    void resetsAndOrderlyCloses() {
        QFETCH(QString, mode);
        QFETCH(QString, status);
        QFETCH(int, state);
        ProcessPeer peer(mode);
        QVERIFY2(!peer.port().isEmpty(), "the Python peer did not start");
        Rig rig;
        rig.settings.iReplyLim = 1;
        rig.rows.resetRows({record(peer.port(), "HELLO\r\n", "OK")});
        rig.pass();
        const SocketElement& socket = *rig.monitor.sockets().element(rig.rows.keyAt(0));
        QTRY_COMPARE_WITH_TIMEOUT(socket.State(), state, 10000);
        QCOMPARE(rig.text(Col::Status), status);
        const bool fault = state == SocketElement::ErrorState;
        QCOMPARE(rig.text(Col::ReplyErr), QString(fault ? "1" : "0"));
        QCOMPARE(rig.rows.tag(0, Col::ReplyErr), QString(fault ? "1" : ""));
        QCOMPARE(rig.monitor.socketFaultCount(), fault ? 1 : 0);
        QCOMPARE(rig.alerts.alerts.size(), fault ? 1 : 0);
        QVERIFY(rig.text(Col::ReplyTime).contains(u':'));
        QCOMPARE(peer.accepted(), 1);
        QCOMPARE(socket.State(), state);

        // Within the time-out a reset probe starts afresh, while one the
        // peer closed in order waits for its reply until it times out.
        rig.clock.advance(5000);
        rig.pass();
        if (fault) {
            QTRY_COMPARE_WITH_TIMEOUT(rig.text(Col::ReplyErr), QStringLiteral("2"), 10000);
            QCOMPARE(rig.text(Col::Status), status);
            QCOMPARE(peer.accepted(), 2);
        } else {
            QCOMPARE(rig.text(Col::Status), status);
            QCOMPARE(peer.accepted(), 1);
            rig.clock.advance(5001);
            rig.pass();
            QCOMPARE(rig.text(Col::Status), QStringLiteral("SOCKET超时:10000ms"));
            QCOMPARE(rig.text(Col::ReplyErr), QStringLiteral("1"));
            QCOMPARE(socket.State(), 0);
        }
    }

    // An endless peer: the row keeps only the start of the reply it can
    // show, the socket reads at most its limit at once, and the whole first
    // segment is still matched.
    void endlessPeerLeavesBoundedRows() {
        ProcessPeer peer(QStringLiteral("stream"));
        QVERIFY2(!peer.port().isEmpty(), "the Python peer did not start");
        HostilePeer late(HostilePeer::Mode::Answer, QByteArray(6000, 'y') + "END");
        Rig rig;
        QList<ServerRecord> records;
        for (int i = 0; i < 10; ++i)
            records.append(record(peer.port(), "GET", i % 2 ? "xxx" : "absent"));
        records.append(record(late.port(), "GET", "end"));
        rig.rows.resetRows(records);
        rig.pass();
        QTRY_VERIFY_WITH_TIMEOUT(rig.monitor.passReplyCount() == records.size(), 20000);
        for (int row = 0; row < records.size(); ++row) {
            const bool wrong = row < 10 && row % 2 == 0;
            QCOMPARE(rig.text(Col::Status, row).startsWith(kWrong), wrong);
            const QString reply = rig.rows.toolTip(row, Col::ReplyData);
            QCOMPARE(reply.size(), ServerRowModel::ReplyKeptBytes + 1);
            QVERIFY(reply.endsWith(u'…'));
            QVERIFY(rig.shown(Col::Status, Qt::DisplayRole, row).size() <= 4097);
            const qsizetype bytes = rig.rows.retainedBytes(row);
            QVERIFY2(bytes < 8192,
                     qPrintable(QStringLiteral("row %1 keeps %2 bytes").arg(row).arg(bytes)));
        }
        qInfo("bytes kept by a row after a 64 KiB reply: %lld",
              static_cast<long long>(rig.rows.retainedBytes(0)));
        QCOMPARE(rig.text(Col::Status, 10), kCorrect);
        QCOMPARE(peer.accepted(), 10);

        SocketElement socket;
        QSignalSpy arrived(&socket, &SocketElement::DataArrival);
        QVERIFY(socket.Connect(QStringLiteral("127.0.0.1"), peer.port().toInt()));
        QVERIFY(arrived.wait(10000));
        QTRY_VERIFY_WITH_TIMEOUT(socket.bytesAvailable() > SocketElement::ReadLimit, 10000);
        QCOMPARE(socket.GetData().size(), SocketElement::ReadLimit);
        QCOMPARE(arrived.size(), 1); // no new arrival until the last was fetched
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
        const SocketElement& socket = *rig.monitor.sockets().element(rig.rows.keyAt(0));
        QVERIFY2(socket.bytesToWrite() > 0, "the peer took the whole request");

        rig.clock.advance(rig.settings.iTimeOut + 1);
        rig.pass();
        QCOMPARE(rig.text(Col::Status), QStringLiteral("SOCKET超时:10000ms"));
        QCOMPARE(socket.bytesToWrite(), 0);
    }

    // 5,000 rows over five loopback servers, the list reloaded in the middle
    // of a pass ten times in a row (inside an echo, or from a timer that fires
    // during the pass's next yield), each pass going on with the new list;
    // then a whole pass. Every descriptor opened for the probes is closed again.
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
                const int reloadAt = int(rig.echo.targets.size()) + 1 + round * 450;
                bool reloaded = false;
                const auto reload = [&] {
                    reloaded = true;
                    rig.rows.resetRows(records);
                };
                rig.echo.duringSend = [&](int echo) {
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
                QVERIFY(rig.monitor.sockets().count() <= Rows);
            }
            rig.echo.duringSend = nullptr;
            // The last reload reset the pass number; its pass ended as usual.
            QCOMPARE(rig.monitor.passNumber(), 2);
            const auto pending = [&rig] {
                for (int row = 0; row < Rows; ++row)
                    if (rig.text(Col::ReplyTime, row).contains(u':'))
                        return true;
                return false;
            };
            QTRY_VERIFY_WITH_TIMEOUT(!pending(), 120000);
            rig.pass();
            QCOMPARE(rig.monitor.passNumber(), 3);
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
