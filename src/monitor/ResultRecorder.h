#pragma once

#include <QtGlobal>

// One result of a probe, as the history keeps it.
struct ProbeOutcome {
    // Stored as numbers: values are never renumbered, new kinds are appended.
    enum Kind : quint8 {
        Correct = 1,      // a reply that held the expected text; ms = reply time
        Wrong = 2,        // a reply without it; ms = reply time
        SocketError = 3,  // ms = time until the error
        TimedOut = 4,     // ms = the time-out
        EchoAnswered = 5, // ms = round-trip time
        EchoLost = 6,     // status = the echo's status number
    };
    qint64 serverId = 0;
    qint64 timeUtcMs = 0; // when the result came, ms since 1970 UTC
    Kind kind = Correct;
    qint32 ms = 0;
    qint32 status = 0;
    // The TLS handshake of the probe, in ms; -1 without one (a plain probe,
    // one that failed before its handshake completed, an echo).
    qint32 handshakeMs = -1;
    // Taken while the server was in an open maintenance window: no
    // availability figure counts it.
    bool maintenance = false;
    // The server failed while an ancestor it depends on was failing.
    bool unreachable = false;

    bool isSocket() const { return kind <= TimedOut; }
    bool isFault() const { return kind == Wrong || kind == SocketError || kind == TimedOut; }
};

// Where the monitoring cycle hands every probe result; the cycle knows
// nothing of how or whether results are kept. Called on the UI thread, so an
// implementation must return at once.
class ResultRecorder {
public:
    virtual ~ResultRecorder() = default;
    virtual void record(const ProbeOutcome& outcome) = 0;
};
