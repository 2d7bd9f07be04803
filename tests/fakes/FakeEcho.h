#pragma once

#include "platform/EchoService.h"

#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>

#include <functional>

// Answers echoes from a script: each entry is a status, a round-trip time,
// how long after the request the answer comes (0: on the next turn of the
// event loop) and whether the system refused the echo socket. An echo
// scripted Never gets no answer and is lost when its real 200 ms deadline
// passes, as a silent host's is. When the script is empty every echo
// succeeds at once in defaultRoundTrip ms. Answers come in the order of
// their delays, so they may overtake earlier echoes.
class FakeEcho final : public EchoService {
public:
    static constexpr int Never = -1;
    static constexpr int DeadlineMs = 200;
    struct Answer {
        quint32 status = 0;
        quint32 roundTripTime = 0;
        int delayMs = 0;
        bool permissionDenied = false;
    };

    void PingHost(const QString& address, QObject* context, Done done) override {
        const QPointer<QObject> caller(context);
        targets.append(address);
        Answer answer = script.isEmpty() ? Answer{0, defaultRoundTrip} : script.dequeue();
        if (const auto hook = duringSend) // a copy: the hook may replace itself
            hook(static_cast<int>(targets.size()));
        int delay = answer.delayMs;
        if (delay == Never) {
            answer = Answer{11010, 0};
            delay = DeadlineMs;
        }
        ++underWay;
        QTimer::singleShot(delay, Qt::PreciseTimer, &m_timers,
                           [this, caller, done = std::move(done), answer, address] {
                               --underWay;
                               if (!caller)
                                   return;
                               answered.append(address);
                               done(reply(answer), record(answer));
                           });
    }

    static long reply(const Answer& answer) {
        return answer.status != 0 ? -static_cast<long>(answer.status)
                                  : static_cast<long>(answer.roundTripTime);
    }
    static EchoReply record(const Answer& answer) {
        EchoReply reply;
        reply.status = answer.status;
        reply.roundTripTime = answer.roundTripTime;
        reply.permissionDenied = answer.permissionDenied;
        if (answer.status == 0) {
            reply.ttl = 64;
            reply.data = QByteArrayLiteral("My Request");
            reply.dataSize = static_cast<quint16>(reply.data.size());
        }
        return reply;
    }

    QQueue<Answer> script;
    quint32 defaultRoundTrip = 1;
    QStringList targets;  // in the order the echoes were sent
    QStringList answered; // in the order their outcomes were delivered
    int underWay = 0;
    // Runs inside the send of the echo numbered n (from 1), as a caller's
    // own code may.
    std::function<void(int n)> duringSend;

private:
    QObject m_timers;
};
