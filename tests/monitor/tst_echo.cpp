#include "monitor/IcmpEchoService.h"
#include "monitor/ModulePing.h"
#include "platform/IcmpPacket.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/QtHostResolver.h"

#include <QElapsedTimer>
#include <QHash>
#include <QNetworkInterface>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace {

constexpr quint32 Loopback = 0x7F000001;
constexpr quint32 Loopback2 = 0x7F000002;
constexpr quint32 Router = 0x7F000003;
const QByteArray Ipv6Loopback = QByteArray::fromHex("00000000000000000000000000000001");

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
    QHostAddress destination;
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

    quint32 sendEcho(const QHostAddress& destination, quint16 sequence,
                     const QByteArray& payload) override {
        m_network.sent.append({destination, sequence, payload});
        for (const Delivery& delivery : std::as_const(m_network.deliveries)) {
            IcmpMessage message;
            message.kind =
                delivery.status ? IcmpMessage::Kind::Error : IcmpMessage::Kind::EchoReply;
            message.status = delivery.status;
            message.identifier = static_cast<quint16>(identifier() + delivery.identifierShift);
            message.sequence = static_cast<quint16>(sequence + delivery.sequenceShift);
            const QHostAddress host = delivery.host ? QHostAddress(delivery.host) : destination;
            message.source = delivery.status ? QHostAddress(Router) : host;
            message.destination = delivery.status ? host : QHostAddress();
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
// resolve to nothing, and names beginning with "hangs" are never answered:
// their lookups stay outstanding until their context goes.
class FakeResolver final : public HostResolver {
public:
    explicit FakeResolver(QStringList& queries)
        : m_queries(queries) {}

    void resolve(const QString& name, QObject* context, Done done) override {
        m_queries.append(name);
        if (name.startsWith(QLatin1String("hangs"))) {
            m_hanging.append(context);
            return;
        }
        const QHostAddress answer = m_table.value(name);
        QTimer::singleShot(5, context, [done = std::move(done), answer] { done(answer); });
    }
    int outstanding() const {
        return int(
            std::count_if(m_hanging.cbegin(), m_hanging.cend(),
                          [](const QPointer<QObject>& context) { return !context.isNull(); }));
    }

private:
    QStringList& m_queries;
    QList<QPointer<QObject>> m_hanging;
    const QHash<QString, QHostAddress> m_table{
        {QStringLiteral("127.1"), QHostAddress(Loopback)},
        {QStringLiteral("server.test"), QHostAddress(Loopback2)},
        {QStringLiteral("zero.test"), QHostAddress(quint32{0})},
        {QStringLiteral("six.test"), QHostAddress(QHostAddress::LocalHostIPv6)}};
};

struct FakeService {
    FakeNetwork network;
    QStringList lookups;
    FakeResolver* resolver = new FakeResolver(lookups);
    IcmpEchoService service{
        [this](IcmpEchoService::Family, bool& permissionDenied) {
            permissionDenied = network.refuseSocket && network.refusedForPermission;
            return network.refuseSocket ? nullptr : std::make_unique<FakeIcmpSocket>(network);
        },
        std::unique_ptr<FakeResolver>(resolver)};
};

QByteArray ipHeader(quint32 source, quint32 destination, quint8 ttl) {
    QByteArray header = QByteArray::fromHex("4500000000000000000100000000000000000000");
    header[8] = static_cast<char>(ttl);
    qToBigEndian(source, header.data() + 12);
    qToBigEndian(destination, header.data() + 16);
    return header;
}

// Sends one echo and waits for its outcome; LONG_MIN when none came.
long pingAndWait(EchoService& service, const QString& address, EchoReply& reply) {
    long result = LONG_MIN;
    QObject context;
    service.PingHost(address, &context, [&](long outcome, const EchoReply& record) {
        result = outcome;
        reply = record;
    });
    return QTest::qWaitFor([&result] { return result != LONG_MIN; }, 5000) ? result : LONG_MIN;
}

bool hasIpv6Loopback() {
    for (const QHostAddress& address : QNetworkInterface::allAddresses())
        if (address == QHostAddress(QHostAddress::LocalHostIPv6))
            return true;
    return false;
}

} // namespace

Q_DECLARE_METATYPE(Delivery)
Q_DECLARE_METATYPE(LinuxIcmpSocket::Kind)

class TestEcho final : public QObject {
    Q_OBJECT
private slots:
    // Names may resolve to ::1 first; what answers is the loopback then too.
    void echoesLoopbackForReal_data() {
        QTest::addColumn<LinuxIcmpSocket::Kind>("kind");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("replier"); // empty: either loopback address
        const auto datagram = LinuxIcmpSocket::Kind::Datagram;
        const auto raw = LinuxIcmpSocket::Kind::Raw;
        const QString v4 = QStringLiteral("127.0.0.1");
        const QString v6 = QStringLiteral("::1");
        QTest::newRow("datagram") << datagram << v4 << v4;
        QTest::newRow("datagram, localhost")
            << datagram << QStringLiteral("localhost") << QString();
        QTest::newRow("datagram, ::1") << datagram << v6 << v6;
        QTest::newRow("raw") << raw << v4 << v4;
        QTest::newRow("raw, localhost") << raw << QStringLiteral("localhost") << QString();
        QTest::newRow("raw, short form") << raw << QStringLiteral("127.1") << v4;
        QTest::newRow("raw, part above 255") << raw << QStringLiteral("383.0.0.1") << v4;
        QTest::newRow("raw, ::1") << raw << v6 << v6;
        QTest::newRow("raw, [::1]") << raw << QStringLiteral("[::1]") << v6;
    }
    void echoesLoopbackForReal() {
        QFETCH(LinuxIcmpSocket::Kind, kind);
        QFETCH(QString, address);
        QFETCH(QString, replier);
        const bool v6 = address.contains(u':');
        if (v6 && !hasIpv6Loopback())
            QSKIP("this machine has no ::1");
        const auto family = v6 ? LinuxIcmpSocket::Family::IPv6 : LinuxIcmpSocket::Family::IPv4;
        QString whyNot;
        if (!LinuxIcmpSocket::open(kind, family, &whyNot))
            QSKIP(qPrintable(QStringLiteral("not permitted here: ") + whyNot));
        IcmpEchoService service(
            [kind](IcmpEchoService::Family wanted, bool&) {
                return LinuxIcmpSocket::open(kind, wanted == IcmpEchoService::Family::IPv6
                                                       ? LinuxIcmpSocket::Family::IPv6
                                                       : LinuxIcmpSocket::Family::IPv4);
            },
            std::make_unique<QtHostResolver>());
        for (int i = 0; i < 3; ++i) {
            EchoReply reply;
            const long result = pingAndWait(service, address, reply);
            QCOMPARE(reply.status, 0u);
            QVERIFY(result >= 0);
            QCOMPARE(static_cast<quint32>(result), reply.roundTripTime);
            if (replier.isEmpty())
                QVERIFY(reply.address.isLoopback());
            else
                QCOMPARE(reply.address, QHostAddress(replier));
            QVERIFY(reply.ttl > 0);
            QCOMPARE(reply.dataSize, 10);
            QCOMPARE(reply.data, QByteArrayLiteral("My Request"));
        }
    }

    // Many echoes under way on one socket: every one ends by itself.
    void echoesOverlapForReal() {
        QString whyNot;
        if (!LinuxIcmpSocket::open(LinuxIcmpSocket::Kind::Raw, LinuxIcmpSocket::Family::IPv4,
                                   &whyNot) &&
            !LinuxIcmpSocket::open(LinuxIcmpSocket::Kind::Datagram, LinuxIcmpSocket::Family::IPv4,
                                   &whyNot))
            QSKIP(qPrintable(QStringLiteral("not permitted here: ") + whyNot));
        IcmpEchoService service;
        QObject context;
        QList<long> results(20, LONG_MIN);
        for (int i = 0; i < results.size(); ++i)
            service.PingHost(QStringLiteral("127.0.0.%1").arg(1 + i % 4), &context,
                             [&results, i](long result, const EchoReply&) { results[i] = result; });
        QCOMPARE(service.echoesUnderWay(), results.size());
        QTRY_VERIFY(!results.contains(LONG_MIN));
        for (const long result : std::as_const(results))
            QVERIFY(result >= 0);
        QCOMPARE(service.echoesUnderWay(), 0);
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
        EchoReply reply{QHostAddress(Router), 0, 77777, 5, 9, QByteArrayLiteral("stale")};
        const long result = pingAndWait(fake.service, QStringLiteral("127.0.0.1"), reply);
        QCOMPARE(fake.network.sent.size(), 1);
        QCOMPARE(fake.network.sent.at(0).destination, QHostAddress(Loopback));
        QCOMPARE(fake.network.sent.at(0).payload, QByteArrayLiteral("My Request"));
        QCOMPARE(reply.status, status);
        QCOMPARE(reply.address, reporter ? QHostAddress(reporter) : QHostAddress());
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
        QCOMPARE(pingAndWait(fake.service, QStringLiteral("127.0.0.1"), reply), -11010L);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 195 && elapsed < 2000, qPrintable(QString::number(elapsed)));
        QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
    }

    void targets_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("looksUp");
        QTest::addColumn<QString>("destination"); // empty: nothing sent
        QTest::addColumn<quint32>("status");
        const auto row = [](const char* address, bool looksUp, const char* destination) {
            QTest::newRow(address)
                << QString::fromLatin1(address) << looksUp << QString::fromLatin1(destination)
                << (*destination ? 0u : 11018u);
        };
        row("127.0.0.2", false, "127.0.0.2");
        row("383.0.0.1", false, "127.0.0.1");
        row(" 127.0.0.1 ", false, "127.0.0.1");
        row("127.1", true, "127.0.0.1");
        row("server.test", true, "127.0.0.2");
        row("nowhere.test", true, "");
        row("a.b.c.d", true, "");
        row("1.2.3.4.5", true, "");
        row("", false, "");
        row("0.0.0.0", false, "");
        row("256.0.0.0", false, "");
        row("zero.test", true, "");
        row("hangs.test", true, "");
        row("::1", false, "::1");
        row("[::1]", false, "::1");
        row("2001:db8::1", false, "2001:db8::1");
        row("[2001:db8::1]", false, "2001:db8::1");
        row("::ffff:127.0.0.2", false, "127.0.0.2");
        row("six.test", true, "::1");
        row("::", false, "");
        row("[::1", true, "");
    }
    void targets() {
        QFETCH(QString, address);
        QFETCH(bool, looksUp);
        QFETCH(QString, destination);
        QFETCH(quint32, status);
        FakeService fake;
        fake.network.deliveries = {Delivery{1}};
        EchoReply reply;
        const long result = pingAndWait(fake.service, address, reply);
        QCOMPARE(fake.lookups, looksUp ? QStringList{address.trimmed()} : QStringList());
        QCOMPARE(reply.status, status);
        QCOMPARE(result < 0, status != 0);
        const bool sent = !destination.isEmpty();
        QCOMPARE(fake.network.opened, sent ? 1 : 0);
        QCOMPARE(fake.network.sent.size(), sent ? 1 : 0);
        if (sent) {
            QCOMPARE(fake.network.sent.at(0).destination, QHostAddress(destination));
            QCOMPARE(reply.address, QHostAddress(destination));
        }
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
        QCOMPARE(pingAndWait(fake.service, QStringLiteral("127.0.0.1"), reply), -11050L);
        QCOMPARE(reply.status, 11050u);
        QCOMPARE(reply.permissionDenied, forPermission);
        // A later echo that gets its socket clears the mark.
        fake.network.refuseSocket = false;
        fake.network.deliveries = {Delivery{}};
        QVERIFY(pingAndWait(fake.service, QStringLiteral("127.0.0.1"), reply) >= 0);
        QVERIFY(!reply.permissionDenied);
    }

    void openAnyTellsPermissionFromOtherRefusals() {
        QVERIFY(LinuxIcmpSocket::isPermissionError(EACCES));
        QVERIFY(LinuxIcmpSocket::isPermissionError(EPERM));
        QVERIFY(!LinuxIcmpSocket::isPermissionError(EMFILE));
        QVERIFY(!LinuxIcmpSocket::isPermissionError(0));
        // Here, with whatever this process may open, the answer matches what
        // each kind of each family reports on its own.
        for (const auto family : {LinuxIcmpSocket::Family::IPv4, LinuxIcmpSocket::Family::IPv6}) {
            int datagramError = 0;
            int rawError = 0;
            const bool datagram = LinuxIcmpSocket::open(LinuxIcmpSocket::Kind::Datagram, family,
                                                        nullptr, &datagramError) != nullptr;
            const bool raw = LinuxIcmpSocket::open(LinuxIcmpSocket::Kind::Raw, family, nullptr,
                                                   &rawError) != nullptr;
            bool denied = false;
            const bool opened = LinuxIcmpSocket::openAny(family, &denied) != nullptr;
            QCOMPARE(opened, datagram || raw);
            QCOMPARE(denied, !opened && LinuxIcmpSocket::isPermissionError(datagramError) &&
                                 LinuxIcmpSocket::isPermissionError(rawError));
        }
    }

    // Three echoes under way at once on one socket, answered in reverse
    // order: each gets its own answer, matched by sequence and source.
    void echoesUnderWayShareOneSocket() {
        FakeService fake;
        QObject context;
        QList<long> results(3, LONG_MIN);
        QList<QHostAddress> repliers(3);
        QStringList done;
        for (int i = 0; i < 3; ++i) {
            fake.network.deliveries = {Delivery{90 - 40 * i}};
            fake.service.PingHost(QStringLiteral("127.0.0.%1").arg(i + 1), &context,
                                  [&, i](long result, const EchoReply& reply) {
                                      results[i] = result;
                                      repliers[i] = reply.address;
                                      done.append(QString::number(i));
                                  });
        }
        QCOMPARE(fake.network.opened, 1);
        QCOMPARE(fake.service.echoesUnderWay(), 3);
        QTRY_COMPARE(done, QStringList({"2", "1", "0"}));
        for (int i = 0; i < 3; ++i) {
            QVERIFY(results.at(i) >= 0);
            QCOMPARE(repliers.at(i), QHostAddress(Loopback + quint32(i)));
        }
        QVERIFY(fake.network.sent.at(0).sequence != fake.network.sent.at(1).sequence);
        QVERIFY(fake.network.sent.at(1).sequence != fake.network.sent.at(2).sequence);
    }

    // A caller that goes away cancels its echo: neither its answer nor its
    // deadline calls back, and other echoes go on.
    void destroyingTheContextCancels() {
        FakeService fake;
        fake.network.deliveries = {Delivery{30}};
        auto gone = std::make_unique<QObject>();
        int cancelledCalls = 0;
        fake.service.PingHost(QStringLiteral("127.0.0.1"), gone.get(),
                              [&cancelledCalls](long, const EchoReply&) { ++cancelledCalls; });
        fake.service.PingHost(QStringLiteral("server.test"), gone.get(),
                              [&cancelledCalls](long, const EchoReply&) { ++cancelledCalls; });
        gone.reset();
        EchoReply reply;
        QVERIFY(pingAndWait(fake.service, QStringLiteral("127.0.0.2"), reply) >= 0);
        QTRY_COMPARE(fake.service.echoesUnderWay(), 0);
        QCOMPARE(cancelledCalls, 0);
    }

    // A resolver that drops every query, and echoes to three names sent
    // pass after pass: while echoes wait, each name has one lookup, shared by
    // every echo to it; once none waits, the lookup is abandoned.
    void unansweredLookupsDoNotPileUp() {
        FakeService fake;
        const QStringList names{"hangs.a.test", "hangs.b.test", "hangs.c.test"};
        int lost = 0;
        const auto count = [&lost](long result, const EchoReply& reply) {
            lost += result == -11018 && reply.status == 11018;
        };
        QObject pass;
        for (int i = 0; i < 10; ++i) {
            for (const QString& name : names)
                fake.service.PingHost(name, &pass, count);
            QCOMPARE(fake.resolver->outstanding(), 3);
            QCOMPARE(fake.service.lookupsUnderWay(), 3);
            QTest::qWait(10);
        }
        QCOMPARE(fake.lookups, names);
        QTRY_COMPARE_WITH_TIMEOUT(lost, 30, 5 * IcmpEchoService::ResolveWaitMs);
        QCOMPARE(fake.resolver->outstanding(), 0);

        // Two rows with one name, and a caller that went away meanwhile.
        auto gone = std::make_unique<QObject>();
        fake.service.PingHost(names.at(0), gone.get(), count);
        fake.service.PingHost(names.at(0), &pass, count);
        gone.reset();
        QCOMPARE(fake.lookups.size(), 4);
        QCOMPARE(fake.resolver->outstanding(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(lost, 31, 5 * IcmpEchoService::ResolveWaitMs);
        QCOMPARE(fake.resolver->outstanding(), 0);
        QCOMPARE(fake.service.lookupsUnderWay(), 0);
        QCOMPARE(fake.network.sent.size(), 0);
    }

    // Echoes to one name share its lookup and its answer; a name asked again
    // after the answer is looked up again.
    void echoesToOneNameShareItsLookup() {
        FakeService fake;
        fake.network.deliveries = {Delivery{1}};
        QObject context;
        int answered = 0;
        for (int i = 0; i < 3; ++i)
            fake.service.PingHost(
                QStringLiteral("server.test"), &context,
                [&answered](long result, const EchoReply&) { answered += result >= 0; });
        QCOMPARE(fake.lookups, QStringList{"server.test"});
        QTRY_COMPARE(answered, 3);
        QCOMPARE(fake.network.sent.size(), 3);
        EchoReply reply;
        QVERIFY(pingAndWait(fake.service, QStringLiteral("server.test"), reply) >= 0);
        QCOMPARE(fake.lookups, QStringList(2, "server.test"));
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
            QCOMPARE(message->source, QHostAddress(Loopback2));
            QCOMPARE(message->ttl, 64);
            QCOMPARE(message->data, QByteArrayLiteral("My Request"));
        } else {
            QCOMPARE(message->kind, IcmpMessage::Kind::Error);
            QCOMPARE(message->source, QHostAddress(Router));
            QCOMPARE(message->destination, QHostAddress(Loopback2));
        }
    }

    // Each ICMPv6 error ends an echo with the status, and so the text, of
    // its IPv4 counterpart.
    void icmp6ErrorsReadLikeTheirIpv4Counterparts_data() {
        QTest::addColumn<int>("type6");
        QTest::addColumn<int>("code6");
        QTest::addColumn<int>("type4");
        QTest::addColumn<int>("code4");
        QTest::newRow("no route: net unreachable") << 1 << 0 << 3 << 0;
        QTest::newRow("prohibited: host unreachable") << 1 << 1 << 3 << 13;
        QTest::newRow("address unreachable") << 1 << 3 << 3 << 1;
        QTest::newRow("port unreachable") << 1 << 4 << 3 << 3;
        QTest::newRow("reject route: net unreachable") << 1 << 6 << 3 << 0;
        QTest::newRow("packet too big") << 2 << 0 << 3 << 4;
        QTest::newRow("hop limit exceeded") << 3 << 0 << 11 << 0;
        QTest::newRow("reassembly time exceeded") << 3 << 1 << 11 << 1;
        QTest::newRow("parameter problem") << 4 << 0 << 12 << 0;
        QTest::newRow("unknown next header: protocol unreachable") << 4 << 1 << 3 << 2;
    }
    void icmp6ErrorsReadLikeTheirIpv4Counterparts() {
        QFETCH(int, type6);
        QFETCH(int, code6);
        QFETCH(int, type4);
        QFETCH(int, code4);
        const std::optional<quint32> v6 = IcmpPacket::statusForIcmp6Error(type6, code6);
        const std::optional<quint32> v4 = IcmpPacket::statusForIcmpError(type4, code4);
        QVERIFY(v6 && v4);
        QCOMPARE(*v6, *v4);
        QVERIFY(ModulePing::PingStatusText(*v6).startsWith(QStringLiteral("ip ")));

        // The same error as it arrives, quoting our echo request.
        const QByteArray ipv6Header = QByteArray::fromHex("6000000000123a40") + Ipv6Loopback +
                                      QByteArray::fromHex("20010db8000000000000000000000001");
        const QByteArray error = QByteArray(1, char(type6)) + QByteArray(1, char(code6)) +
                                 QByteArray(6, '\0') + ipv6Header +
                                 IcmpPacket::echoRequest6(0x4242, 7, "My Request");
        const std::optional<IcmpMessage> message =
            IcmpPacket::readIcmp6(error, QHostAddress(QStringLiteral("fe80::1")), 64);
        QVERIFY(message);
        QCOMPARE(message->kind, IcmpMessage::Kind::Error);
        QCOMPARE(message->status, *v4);
        QCOMPARE(message->destination, QHostAddress(QStringLiteral("2001:db8::1")));
        QCOMPARE(message->identifier, 0x4242);
        QCOMPARE(message->sequence, 7);
    }

    void icmp6Messages_data() {
        QTest::addColumn<QByteArray>("icmp");
        QTest::addColumn<bool>("read");
        const QByteArray request = QByteArray::fromHex("6000000000123a40") + Ipv6Loopback +
                                   Ipv6Loopback + IcmpPacket::echoRequest6(0x4242, 7, "My");
        QTest::newRow("echo reply")
            << QByteArray::fromHex("8100000042420007") + "My Request" << true;
        QTest::newRow("echo request") << IcmpPacket::echoRequest6(0x4242, 7, "My Request") << false;
        QTest::newRow("neighbour solicitation") << QByteArray::fromHex("8700000000000000") << false;
        QTest::newRow("error quoting too little")
            << QByteArray::fromHex("0103000000000000") + request.left(44) << false;
        QTest::newRow("error quoting no echo request")
            << QByteArray::fromHex("0103000000000000") + request.left(40) +
                   QByteArray::fromHex("8100000042420007")
            << false;
        QTest::newRow("too short") << QByteArray::fromHex("810000") << false;
    }
    void icmp6Messages() {
        QFETCH(QByteArray, icmp);
        QFETCH(bool, read);
        const QHostAddress loopback(QHostAddress::LocalHostIPv6);
        const std::optional<IcmpMessage> message = IcmpPacket::readIcmp6(icmp, loopback, 64);
        QCOMPARE(message.has_value(), read);
        if (!message)
            return;
        QCOMPARE(message->kind, IcmpMessage::Kind::EchoReply);
        QCOMPARE(message->source, loopback);
        QCOMPARE(message->ttl, 64);
        QCOMPARE(message->identifier, 0x4242);
        QCOMPARE(message->sequence, 7);
        QCOMPARE(message->data, QByteArrayLiteral("My Request"));
    }
};

QTEST_GUILESS_MAIN(TestEcho)
#include "tst_echo.moc"
