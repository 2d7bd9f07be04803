#include "monitor/IcmpEchoService.h"
#include "platform/IcmpPacket.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/QtHostResolver.h"

#include <QElapsedTimer>
#include <QHash>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <cerrno>

namespace {

constexpr quint32 Loopback = 0x7F000001;
constexpr quint32 Loopback2 = 0x7F000002;
constexpr quint32 Router = 0x7F000003;

// What a scripted socket delivers after a send, in terms of the request just
// sent: a reply, or an error report from Router, possibly for a neighbour.
struct Delivery {
    int delayMs = 10;
    quint32 status = 0; // 0: an echo reply
    int sequenceShift = 0;
    int identifierShift = 0;
    quint32 host = 0; // replying host or quoted destination; 0: the destination
};

struct Sent {
    quint32 destination;
    quint16 sequence;
    QByteArray payload;
};

// What every socket of one test plays, and what they were asked to send.
struct FakeNetwork {
    bool refuseSocket = false;
    bool refusedForPermission = false; // a refusal says the system permits none
    quint32 sendStatus = 0;
    QList<Delivery> deliveries;
    QList<Sent> sent;
    int opened = 0;
};

class FakeIcmpSocket final : public IcmpSocket {
    Q_OBJECT
public:
    explicit FakeIcmpSocket(FakeNetwork& network)
        : m_network(network) {
        ++network.opened;
    }

    quint16 identifier() const override { return 0x4242; }

    quint32 sendEcho(quint32 destination, quint16 sequence, const QByteArray& payload) override {
        m_network.sent.append({destination, sequence, payload});
        for (const Delivery& delivery : std::as_const(m_network.deliveries)) {
            IcmpMessage message;
            message.kind =
                delivery.status ? IcmpMessage::Kind::Error : IcmpMessage::Kind::EchoReply;
            message.status = delivery.status;
            message.identifier = static_cast<quint16>(identifier() + delivery.identifierShift);
            message.sequence = static_cast<quint16>(sequence + delivery.sequenceShift);
            const quint32 host = delivery.host ? delivery.host : destination;
            message.source = delivery.status ? Router : host;
            message.destination = delivery.status ? host : 0;
            message.ttl = 64;
            message.data = delivery.status ? QByteArray() : payload;
            QTimer::singleShot(delivery.delayMs, this, [this, message] {
                m_pending.append(message);
                emit readyRead();
            });
        }
        return m_network.sendStatus;
    }

    QList<IcmpMessage> readMessages() override { return std::exchange(m_pending, {}); }

private:
    FakeNetwork& m_network;
    QList<IcmpMessage> m_pending;
};

// Answers names from its table shortly after being asked; other names
// resolve to nothing, and "hangs.test" is never answered.
class FakeResolver final : public HostResolver {
public:
    explicit FakeResolver(QStringList& queries)
        : m_queries(queries) {}

    void resolve(const QString& name, QObject* context, Done done) override {
        m_queries.append(name);
        if (name == QLatin1String("hangs.test"))
            return;
        const auto found = m_table.constFind(name);
        const std::optional<quint32> answer =
            found == m_table.cend() ? std::nullopt : std::optional(*found);
        QTimer::singleShot(5, context, [done = std::move(done), answer] { done(answer); });
    }

private:
    QStringList& m_queries;
    const QHash<QString, quint32> m_table{{QStringLiteral("127.1"), Loopback},
                                          {QStringLiteral("server.test"), Loopback2},
                                          {QStringLiteral("zero.test"), 0}};
};

struct FakeService {
    FakeNetwork network;
    QStringList lookups;
    IcmpEchoService service{
        [this](bool& permissionDenied) {
            permissionDenied = network.refuseSocket && network.refusedForPermission;
            return network.refuseSocket ? nullptr : std::make_unique<FakeIcmpSocket>(network);
        },
        std::make_unique<FakeResolver>(lookups)};
};

QByteArray ipHeader(quint32 source, quint32 destination, quint8 ttl) {
    QByteArray header = QByteArray::fromHex("4500000000000000000100000000000000000000");
    header[8] = static_cast<char>(ttl);
    qToBigEndian(source, header.data() + 12);
    qToBigEndian(destination, header.data() + 16);
    return header;
}

} // namespace

Q_DECLARE_METATYPE(Delivery)
Q_DECLARE_METATYPE(LinuxIcmpSocket::Kind)

class TestEcho final : public QObject {
    Q_OBJECT
private slots:
    void echoesLoopbackForReal_data() {
        QTest::addColumn<LinuxIcmpSocket::Kind>("kind");
        QTest::addColumn<QString>("address");
        const auto datagram = LinuxIcmpSocket::Kind::Datagram;
        const auto raw = LinuxIcmpSocket::Kind::Raw;
        QTest::newRow("datagram") << datagram << QStringLiteral("127.0.0.1");
        QTest::newRow("datagram, localhost") << datagram << QStringLiteral("localhost");
        QTest::newRow("raw") << raw << QStringLiteral("127.0.0.1");
        QTest::newRow("raw, localhost") << raw << QStringLiteral("localhost");
        QTest::newRow("raw, short form") << raw << QStringLiteral("127.1");
        QTest::newRow("raw, part above 255") << raw << QStringLiteral("383.0.0.1");
    }
    void echoesLoopbackForReal() {
        QFETCH(LinuxIcmpSocket::Kind, kind);
        QFETCH(QString, address);
        QString whyNot;
        if (!LinuxIcmpSocket::open(kind, &whyNot))
            QSKIP(qPrintable(QStringLiteral("not permitted here: ") + whyNot));
        IcmpEchoService service([kind](bool&) { return LinuxIcmpSocket::open(kind); },
                                std::make_unique<QtHostResolver>());
        for (int i = 0; i < 3; ++i) {
            EchoReply reply;
            const long result = service.PingHost(address, reply);
            QCOMPARE(reply.status, 0u);
            QVERIFY(result >= 0);
            QCOMPARE(static_cast<quint32>(result), reply.roundTripTime);
            QCOMPARE(reply.address, Loopback);
            QVERIFY(reply.ttl > 0);
            QCOMPARE(reply.dataSize, 10);
            QCOMPARE(reply.data, QByteArrayLiteral("My Request"));
        }
    }

    void outcomes_data() {
        QTest::addColumn<QList<Delivery>>("deliveries");
        QTest::addColumn<quint32>("sendStatus");
        QTest::addColumn<quint32>("status");
        QTest::addColumn<quint32>("reporter");
        const Delivery reply;
        const Delivery otherSequence{10, 0, -1};
        QTest::newRow("reply") << QList{reply} << 0u << 0u << Loopback;
        QTest::newRow("net unreachable") << QList{Delivery{10, 11002}} << 0u << 11002u << Router;
        QTest::newRow("send refused") << QList<Delivery>() << 11003u << 11003u << 0u;
        QTest::newRow("silence") << QList<Delivery>() << 0u << 11010u << 0u;
        QTest::newRow("reply too late") << QList{Delivery{400}} << 0u << 11010u << 0u;
        QTest::newRow("stray: other sequence") << QList{otherSequence} << 0u << 11010u << 0u;
        QTest::newRow("stray: other identifier")
            << QList{Delivery{10, 0, 0, 1}} << 0u << 11010u << 0u;
        QTest::newRow("stray: other host")
            << QList{Delivery{10, 0, 0, 0, Loopback2}} << 0u << 11010u << 0u;
        QTest::newRow("stray: error for another host")
            << QList{Delivery{10, 11003, 0, 0, Loopback2}} << 0u << 11010u << 0u;
        QTest::newRow("stray, then ours")
            << QList{otherSequence, Delivery{30}} << 0u << 0u << Loopback;
        QTest::newRow("ours, then an error")
            << QList{reply, Delivery{30, 11003}} << 0u << 0u << Loopback;
    }
    void outcomes() {
        QFETCH(QList<Delivery>, deliveries);
        QFETCH(quint32, sendStatus);
        QFETCH(quint32, status);
        QFETCH(quint32, reporter);
        FakeService fake;
        fake.network.deliveries = deliveries;
        fake.network.sendStatus = sendStatus;
        EchoReply reply{0, 0, 77777, 5, 9, QByteArrayLiteral("stale")};
        const long result = fake.service.PingHost(QStringLiteral("127.0.0.1"), reply);
        QCOMPARE(fake.network.sent.size(), 1);
        QCOMPARE(fake.network.sent.at(0).destination, Loopback);
        QCOMPARE(fake.network.sent.at(0).payload, QByteArrayLiteral("My Request"));
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.address, reporter);
        if (status == 0) {
            QVERIFY(result >= 0);
            QCOMPARE(static_cast<quint32>(result), reply.roundTripTime);
            QCOMPARE(reply.data, QByteArrayLiteral("My Request"));
            QCOMPARE(reply.dataSize, 10);
        } else {
            // A lost echo keeps nothing of an earlier answer.
            QCOMPARE(result, -static_cast<long>(status));
            QCOMPARE(reply.roundTripTime, 0u);
            QCOMPARE(reply.ttl, 0);
            QVERIFY(reply.data.isEmpty());
        }
    }

    void waitEndsAfter200msAndKeepsTheLoopRunning() {
        FakeService fake;
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(10);
        QElapsedTimer clock;
        clock.start();
        EchoReply reply;
        QCOMPARE(fake.service.PingHost(QStringLiteral("127.0.0.1"), reply), -11010L);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 195 && elapsed < 2000, qPrintable(QString::number(elapsed)));
        QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
    }

    void targets_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("looksUp");
        QTest::addColumn<quint32>("destination"); // 0: nothing sent
        QTest::addColumn<quint32>("status");
        const auto row = [](const char* address, bool looksUp, quint32 destination) {
            QTest::newRow(address) << QString::fromLatin1(address) << looksUp << destination
                                   << (destination ? 0u : 11018u);
        };
        row("127.0.0.2", false, Loopback2);
        row("383.0.0.1", false, Loopback);
        row(" 127.0.0.1 ", false, Loopback);
        row("127.1", true, Loopback);
        row("server.test", true, Loopback2);
        row("nowhere.test", true, 0);
        row("a.b.c.d", true, 0);
        row("1.2.3.4.5", true, 0);
        row("", false, 0);
        row("0.0.0.0", false, 0);
        row("256.0.0.0", false, 0);
        row("zero.test", true, 0);
        row("hangs.test", true, 0);
    }
    void targets() {
        QFETCH(QString, address);
        QFETCH(bool, looksUp);
        QFETCH(quint32, destination);
        QFETCH(quint32, status);
        FakeService fake;
        fake.network.deliveries = {Delivery{1}};
        EchoReply reply;
        const long result = fake.service.PingHost(address, reply);
        QCOMPARE(fake.lookups, looksUp ? QStringList{address.trimmed()} : QStringList());
        QCOMPARE(reply.status, status);
        QCOMPARE(result < 0, status != 0);
        QCOMPARE(fake.network.opened, destination ? 1 : 0);
        QCOMPARE(fake.network.sent.size(), destination ? 1 : 0);
        if (destination)
            QCOMPARE(fake.network.sent.at(0).destination, destination);
    }

    void noSocketIsAGeneralFailure_data() {
        QTest::addColumn<bool>("forPermission");
        QTest::newRow("out of descriptors") << false;
        QTest::newRow("not permitted") << true;
    }
    void noSocketIsAGeneralFailure() {
        QFETCH(bool, forPermission);
        FakeService fake;
        fake.network.refuseSocket = true;
        fake.network.refusedForPermission = forPermission;
        EchoReply reply;
        reply.permissionDenied = !forPermission;
        QCOMPARE(fake.service.PingHost(QStringLiteral("127.0.0.1"), reply), -11050L);
        QCOMPARE(reply.status, 11050u);
        QCOMPARE(reply.permissionDenied, forPermission);
        // A later echo that gets its socket clears the mark.
        fake.network.refuseSocket = false;
        fake.network.deliveries = {Delivery{}};
        QVERIFY(fake.service.PingHost(QStringLiteral("127.0.0.1"), reply) >= 0);
        QVERIFY(!reply.permissionDenied);
    }

    void openAnyTellsPermissionFromOtherRefusals() {
        QVERIFY(LinuxIcmpSocket::isPermissionError(EACCES));
        QVERIFY(LinuxIcmpSocket::isPermissionError(EPERM));
        QVERIFY(!LinuxIcmpSocket::isPermissionError(EMFILE));
        QVERIFY(!LinuxIcmpSocket::isPermissionError(0));
        // Here, with whatever this process may open, the answer matches what
        // each kind reports on its own.
        int datagramError = 0;
        int rawError = 0;
        const bool datagram = LinuxIcmpSocket::open(LinuxIcmpSocket::Kind::Datagram, nullptr,
                                                    &datagramError) != nullptr;
        const bool raw =
            LinuxIcmpSocket::open(LinuxIcmpSocket::Kind::Raw, nullptr, &rawError) != nullptr;
        bool denied = false;
        const bool opened = LinuxIcmpSocket::openAny(&denied) != nullptr;
        QCOMPARE(opened, datagram || raw);
        QCOMPARE(denied, !opened && LinuxIcmpSocket::isPermissionError(datagramError) &&
                             LinuxIcmpSocket::isPermissionError(rawError));
    }

    void anEchoDuringAnotherOnesWaitRunsOnItsOwn() {
        FakeService fake;
        fake.network.deliveries = {Delivery{60}};
        long inner = 0;
        QTimer::singleShot(10, this, [&] {
            fake.network.deliveries.clear();
            EchoReply innerReply;
            inner = fake.service.PingHost(QStringLiteral("127.0.0.2"), innerReply);
        });
        EchoReply reply;
        const long outer = fake.service.PingHost(QStringLiteral("127.0.0.1"), reply);
        // The outer reply came during the inner wait: it still counts.
        QVERIFY(outer >= 0);
        QCOMPARE(inner, -11010L);
        QCOMPARE(fake.network.opened, 2);
        QVERIFY(fake.network.sent.at(0).sequence != fake.network.sent.at(1).sequence);
    }

    void aServiceDestroyedDuringTheLookupIsNotTouched() {
        auto fake = std::make_unique<FakeService>();
        QTimer::singleShot(1, this, [&fake] { fake.reset(); });
        EchoReply reply;
        QCOMPARE(fake->service.PingHost(QStringLiteral("server.test"), reply), -11050L);
        QVERIFY(!fake);
    }

    void echoRequestPacket() {
        const QByteArray packet = IcmpPacket::echoRequest(0x1234, 0x0102, "My Request");
        QCOMPARE(packet.toHex(),
                 "0800" + packet.mid(2, 2).toHex() + "12340102" + QByteArray("My Request").toHex());
        QCOMPARE(IcmpPacket::checksum(packet), 0);
        QCOMPARE(IcmpPacket::checksum(QByteArray::fromHex("ffff01")), quint16(~0x0100));
    }

    void rawPackets_data() {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<quint32>("status"); // 1: not read
        const QByteArray router = ipHeader(Router, Loopback, 250);
        const QByteArray request =
            ipHeader(Loopback, Loopback2, 1) + IcmpPacket::echoRequest(0x4242, 7, "My Request");
        const auto error = [&router](const char* typeAndCode, const QByteArray& quoted) {
            return router + QByteArray::fromHex(typeAndCode) + QByteArray(6, '\0') + quoted;
        };
        QTest::newRow("echo reply") << ipHeader(Loopback2, Loopback, 64) +
                                           QByteArray::fromHex("0000000042420007") + "My Request"
                                    << 0u;
        QTest::newRow("net unreachable") << error("0300", request) << 11002u;
        QTest::newRow("port unreachable") << error("0303", request) << 11005u;
        QTest::newRow("filtered") << error("030d", request) << 11003u;
        QTest::newRow("time exceeded") << error("0b00", request) << 11013u;
        QTest::newRow("reassembly time exceeded") << error("0b01", request) << 11014u;
        QTest::newRow("redirect") << error("0501", request) << 1u;
        QTest::newRow("quote cut short") << error("0301", request.left(27)) << 1u;
        QTest::newRow("quotes a reply")
            << error("0301", request.left(20) + QByteArray(8, '\0')) << 1u;
        QTest::newRow("echo request") << ipHeader(Loopback, Loopback, 64) + request.mid(20) << 1u;
        QTest::newRow("not IPv4") << QByteArray::fromHex("6000000000000000") << 1u;
    }
    void rawPackets() {
        QFETCH(QByteArray, packet);
        QFETCH(quint32, status);
        const std::optional<IcmpMessage> message = IcmpPacket::readIpPacket(packet);
        QCOMPARE(message.has_value(), status != 1);
        if (!message)
            return;
        QCOMPARE(message->status, status);
        QCOMPARE(message->identifier, 0x4242);
        QCOMPARE(message->sequence, 7);
        if (status == 0) {
            QCOMPARE(message->kind, IcmpMessage::Kind::EchoReply);
            QCOMPARE(message->source, Loopback2);
            QCOMPARE(message->ttl, 64);
            QCOMPARE(message->data, QByteArrayLiteral("My Request"));
        } else {
            QCOMPARE(message->kind, IcmpMessage::Kind::Error);
            QCOMPARE(message->source, Router);
            QCOMPARE(message->destination, Loopback2);
        }
    }
};

QTEST_GUILESS_MAIN(TestEcho)
#include "tst_echo.moc"
