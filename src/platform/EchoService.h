#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <functional>

class QObject;

// One ICMP echo reply record, as PingHost fills it.
struct EchoReply {
    QHostAddress address; // the replying host, or the host that reported an error
    quint32 status = 0;   // 0 success, else an IP_STATUS number (11000 + n)
    quint32 roundTripTime = 0;
    quint16 dataSize = 0;
    quint8 ttl = 0;
    QByteArray data;
    // The system let this program open no echo socket (no ping socket for
    // its group, no CAP_NET_RAW): the failure is the installation's, not
    // the network's.
    bool permissionDenied = false;
};

// Sends echo requests without waiting for them: any number may be under way
// at once, each answered on its own.
class EchoService {
public:
    // result is the round-trip time on success and minus the status otherwise.
    using Done = std::function<void(long result, const EchoReply& reply)>;

    virtual ~EchoService() = default;
    // Sends one echo request to address and returns at once. done is called
    // once with the outcome, from the event loop, unless context is
    // destroyed first; destroying context is how a caller cancels.
    virtual void PingHost(const QString& address, QObject* context, Done done) = 0;
};
