#pragma once

#include <QByteArray>
#include <QString>

// One ICMP echo reply record, as PingHost fills it.
struct EchoReply {
    quint32 address = 0; // replying address, host byte order
    quint32 status = 0;  // 0 success, else an IP_STATUS number (11000 + n)
    quint32 roundTripTime = 0;
    quint16 dataSize = 0;
    quint8 ttl = 0;
    QByteArray data;
    // The system let this program open no echo socket (no ping socket for
    // its group, no CAP_NET_RAW): the failure is the installation's, not
    // the network's.
    bool permissionDenied = false;
};

// Sends one echo request and waits for its answer without freezing the
// window. Returns the round-trip time on success and minus the status
// otherwise.
class EchoService {
public:
    virtual ~EchoService() = default;
    virtual long PingHost(const QString& address, EchoReply& reply) = 0;
};
