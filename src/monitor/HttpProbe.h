#pragma once

#include "monitor/HttpCheckPlan.h"
#include "monitor/TcpProbe.h"

#include <QObject>
#include <QString>

#include <memory>
#include <unordered_map>

class Clock;
class CurlMulti;
class HttpExchange;
class ProbePass;
class ServerAlerts;
class ServerRowModel;
class TlsContext;
struct HttpResult;
struct MonitorSettings;

// The HTTP(S) check of a pass, beside the TCP probe and with its shape: an
// HTTP row gets one exchange per pass, a fresh connection with the row's
// method, headers and body to its URL, within the pass's time-out. The
// reply is judged by its status code, the expected text in its body and
// the JSON condition; a row's results, faults, slow replies and alerts go
// through ProbePass and ServerAlerts exactly as a TCP row's. A failed
// connection, a refused certificate or a failed handshake is a socket error,
// with the Status texts of the TLS probe for TLS faults; the certificate
// facts of an HTTPS server are kept on the row as the TLS probe keeps them.
class HttpProbe final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpProbe)
public:
    using Pending = TcpProbe::Pending;

    // Everything passed in must outlive the probe.
    HttpProbe(ServerRowModel& rows, const MonitorSettings& settings, Clock& clock,
              ServerAlerts& serverAlerts, ProbePass& pass, QObject* parent = nullptr);
    ~HttpProbe() override;

    // As TcpProbe's: none pending (or it ended, however long ago), still
    // running within the time-out, or timed out now and counted.
    Pending checkPending(int row, quint64 key);
    // Starts the row's exchange and stamps the start.
    void start(int row, quint64 key);
    // Ends the row's pending exchange without counting it.
    void giveUp(int row);
    int exchangesRunning() const;

private:
    struct Probe {
        std::unique_ptr<HttpExchange> exchange;
        std::optional<HttpCheckPlan> plan;
    };

    Probe& probeOf(quint64 key);
    void requestSent(quint64 key);
    void exchangeEnded(quint64 key);
    void replyArrived(int row, quint64 key, const HttpResult& result, const HttpCheckPlan& plan);
    void judgeReply(int row, const HttpCheckPlan::Verdict& verdict, qint64 elapsed,
                    qint64 handshakeUs);
    void socketError(int row, const QString& status, bool tlsFault, qint64 elapsed,
                     qint64 handshakeUs);
    void timedOut(int row, qint64 handshakeUs);
    std::shared_ptr<TlsContext> tlsContext();

    ServerRowModel& m_rows;
    const MonitorSettings& m_settings;
    Clock& m_clock;
    ServerAlerts& m_serverAlerts;
    ProbePass& m_pass;
    ReplyCounts m_counts;
    std::unique_ptr<CurlMulti> m_multi;
    // Per row key; declared after the multi handle, so they go first.
    std::unordered_map<quint64, Probe> m_probes;
    std::shared_ptr<TlsContext> m_tlsContext; // of the CA file set, once an HTTPS row was probed
};
