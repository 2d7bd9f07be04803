#pragma once

#include "monitor/ReplyCounts.h"
#include "monitor/RequestBytesCache.h"
#include "monitor/SocketArray.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <deque>
#include <memory>

class Clock;
class ProbePass;
class ServerAlerts;
class ServerRowModel;
class TlsContext;
struct MonitorSettings;
struct TlsFault;

// The TCP leg of a pass, one row at a time: the row's socket element
// connects to the row's address and port, sends the request once connected,
// and the first segment of the reply is judged against the expected text; a
// socket error, a wrong reply or a probe still pending beyond the time-out
// counts as a fault of the row. Elements and their events are found by the
// row's key. Replies and results go to the pass through ProbePass.
//
// A row with a TLS transport is probed the same way over TLS: the element
// connects, runs the STARTTLS exchange and the handshake, and the request is
// sent once it is done. A failed handshake, a refused certificate or a
// refused STARTTLS counts like a socket error; the certificate facts of every
// completed handshake are kept on the row.
//
// At most maxInFlight() probes have a connection open at a time; the rows
// beyond wait in a queue, in the order the pass reached them, and connect as
// running probes end. A queued probe is still running for the passes that
// find it, and its reply time and time-out count from its own connect.
class TcpProbe final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TcpProbe)
public:
    enum class Pending { None, Running, TimedOut };
    // Enough for a list of thousands of quick servers, far below the
    // descriptors and the ephemeral ports of one address.
    static constexpr int DefaultMaxInFlight = 2000;

    // Everything passed in must outlive the probe.
    TcpProbe(ServerRowModel& rows, const MonitorSettings& settings, Clock& clock,
             ServerAlerts& serverAlerts, ProbePass& pass, QObject* parent = nullptr);

    // What became of the row's probe from an earlier pass: none is pending
    // (or it ended in a socket error, however long ago), it is still running
    // within the time-out, or it has timed out now and is counted as a fault.
    Pending checkPending(int row, quint64 key);
    // Starts a probe of the row: connects its element and stamps the start.
    void start(int row, quint64 key);
    // Ends the row's pending probe without counting it.
    void giveUp(int row);
    SocketArray& sockets() { return WskWeb; }
    int maxInFlight() const { return m_maxInFlight; }
    void setMaxInFlight(int limit);
    int inFlight() const { return static_cast<int>(m_inFlight.size()); }
    int queued() const { return static_cast<int>(m_queued.size()); }

    // The reply check: the expected text anywhere in the decoded reply,
    // without regard to case; an empty expected text matches any reply.
    static bool replyMatches(const QString& reply, const QString& expected);
    // The Status text of a socket error: its own text for a TLS fault, else
    // "SOCKET错误:" and the socket's description.
    static QString faultStatus(const TlsFault& fault, const QString& description);

private:
    void connectRow(int row, quint64 key);
    // The probe of key has no connection open any more (or never had one).
    void probeEnded(quint64 key);
    void startQueued();
    void forgetAll();
    void WskWeb_Connect(quint64 key);
    void WskWeb_DataArrival(quint64 key, qint64 bytesTotal);
    void WskWeb_Error(quint64 key, int number, const QString& description);
    void judgeReply(int row, const QString& reply, qint64 elapsed, qint64 handshakeUs);
    void keepHandshake(int row, const SocketElement& element);
    std::shared_ptr<TlsContext> tlsContext();

    ServerRowModel& m_rows;
    const MonitorSettings& m_settings;
    Clock& m_clock;
    ServerAlerts& m_serverAlerts;
    ProbePass& m_pass;
    ReplyCounts m_counts;
    SocketArray WskWeb;
    RequestBytesCache m_requestBytes;
    std::shared_ptr<TlsContext> m_tlsContext; // of the CA file set, once a TLS row was probed
    int m_maxInFlight = DefaultMaxInFlight;
    QSet<quint64> m_inFlight;    // keys of the probes with a connection open
    QSet<quint64> m_queued;      // keys waiting for a connection
    std::deque<quint64> m_queue; // the same in order; keys gone are skipped
    bool m_startQueuedPosted = false;
};
