#pragma once

#include "platform/EchoService.h"

#include <QQueue>
#include <QStringList>

// Answers echoes from a script: each entry is a status, a round-trip time
// and whether the system refused the echo socket; when the script is empty
// every echo succeeds in defaultRoundTrip ms.
class FakeEcho final : public EchoService {
public:
    struct Answer {
        quint32 status = 0;
        quint32 roundTripTime = 0;
        bool permissionDenied = false;
    };

    long PingHost(const QString& address, EchoReply& reply) override {
        targets.append(address);
        const Answer answer = script.isEmpty() ? Answer{0, defaultRoundTrip} : script.dequeue();
        reply = EchoReply{};
        reply.status = answer.status;
        reply.roundTripTime = answer.roundTripTime;
        reply.permissionDenied = answer.permissionDenied;
        if (answer.status != 0)
            return -static_cast<long>(answer.status);
        reply.ttl = 64;
        reply.data = QByteArrayLiteral("My Request");
        reply.dataSize = static_cast<quint16>(reply.data.size());
        return static_cast<long>(answer.roundTripTime);
    }

    QQueue<Answer> script;
    quint32 defaultRoundTrip = 1;
    QStringList targets;
};
