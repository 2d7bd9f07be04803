#pragma once

#include "platform/EchoService.h"
#include "platform/HostResolver.h"
#include "platform/IcmpSocket.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>

// PingHost over ICMP sockets: one echo request carrying "My Request",
// answered within 200 ms or lost. Text of four numeric parts is the address
// AddressToNumber makes of it, an IPv6 literal (in brackets or not) is
// echoed with ICMPv6, and any other text is looked up by name: one lookup
// per name at a time, shared by every echo waiting for it and abandoned once
// none does. One socket per address family serves every echo under way;
// replies are matched to their echo by identifier, sequence and source.
class IcmpEchoService final : public QObject, public EchoService {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IcmpEchoService)
public:
    enum class Family { IPv4, IPv6 };
    // Opens an echo socket of the family; on failure sets permissionDenied
    // when the system permits this program none.
    using SocketOpener =
        std::function<std::unique_ptr<IcmpSocket>(Family family, bool& permissionDenied)>;

    static constexpr int EchoWaitMs = 200;
    static constexpr int ResolveWaitMs = 2000;

    // Linux ICMP sockets and the system resolver.
    IcmpEchoService();
    IcmpEchoService(SocketOpener openSocket, std::unique_ptr<HostResolver> resolver);
    ~IcmpEchoService() override;

    void PingHost(const QString& address, QObject* context, Done done) override;
    int echoesUnderWay() const { return static_cast<int>(m_echoes.size()); }
    int lookupsUnderWay() const { return static_cast<int>(m_lookups.size()); }

private:
    struct Echo {
        QHostAddress destination;
        Family family;
        quint64 serial;
        qint64 sentNs;
        QPointer<QObject> context;
        Done done;
    };
    struct Deadline {
        quint64 serial;
        quint16 sequence;
        Family family;
        qint64 dueNs;
    };
    using Key = quint32; // family in bit 16, sequence below
    // An echo waiting for the address of its name.
    struct Waiter {
        quint64 serial;
        QPointer<QObject> context;
        Done done;
    };
    // The lookup of one name; destroying its scope abandons it.
    struct NameLookup {
        std::unique_ptr<QObject> scope;
        QList<Waiter> waiters;
    };

    static Key keyOf(Family family, quint16 sequence) {
        return (family == Family::IPv6 ? 0x10000U : 0U) | sequence;
    }
    void lookUp(const QString& name, QObject* context, Done done);
    void resolved(const QString& name, const QHostAddress& found);
    void resolveWaitOver(const QString& name, quint64 serial);
    void send(const QHostAddress& destination, QPointer<QObject> context, Done done);
    // The family's socket, opened on first use; null when it cannot be opened.
    IcmpSocket* socketFor(Family family, bool& permissionDenied);
    std::optional<quint16> freeSequence(Family family);
    void readReplies(Family family);
    void expireDue();
    void armDeadline();
    // Calls done from the event loop with a lost echo's status.
    void failLater(QPointer<QObject> context, Done done, quint32 status,
                   bool permissionDenied = false);

    SocketOpener m_openSocket;
    std::unique_ptr<HostResolver> m_resolver;
    std::unique_ptr<IcmpSocket> m_sockets[2];
    QHash<Key, Echo> m_echoes;
    QQueue<Deadline> m_deadlines; // in sending order, so earliest first
    QTimer m_deadlineTimer;
    QElapsedTimer m_clock;
    quint16 m_nextSequence = 1;
    quint64 m_nextSerial = 1;
    // Before the resolver goes, its lookups are abandoned.
    std::map<QString, NameLookup> m_lookups;
    quint64 m_nextWaiter = 1;
};
