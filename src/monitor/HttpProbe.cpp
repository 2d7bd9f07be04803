#include "monitor/HttpProbe.h"

#include "http/CurlMulti.h"
#include "http/HttpExchange.h"
#include "http/HttpExchangeFacts.h"
#include "monitor/ClockStamp.h"
#include "monitor/GbkText.h"
#include "monitor/HttpCheck.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ProbePass.h"
#include "monitor/ServerAlerts.h"
#include "monitor/ServerRowModel.h"
#include "monitor/TextNumbers.h"
#include "platform/Clock.h"
#include "tls/TlsContext.h"

namespace {

using Col = ServerRowModel::Column;

bool isPending(const ServerRowModel& rows, int row) {
    return rows.text(row, Col::ReplyTime).contains(QLatin1Char(':'));
}

qint64 roundedMs(qint64 us) {
    return (us + 500) / 1000;
}

// The reply as the row keeps it for its tool-tip: the status line and the
// start of the body, as text.
QByteArray keptReply(const HttpResult& result) {
    const QString text = QString::fromLatin1(result.statusLine) + QStringLiteral("\r\n\r\n") +
                         result.bodyText().left(ServerRowModel::ReplyKeptBytes);
    return GbkText::encode(text);
}

} // namespace

HttpProbe::HttpProbe(ServerRowModel& rows, const MonitorSettings& settings, Clock& clock,
                     ServerAlerts& serverAlerts, ProbePass& pass, QObject* parent)
    : QObject(parent)
    , m_rows(rows)
    , m_settings(settings)
    , m_clock(clock)
    , m_serverAlerts(serverAlerts)
    , m_pass(pass)
    , m_counts(rows, settings, serverAlerts, pass)
    , m_multi(std::make_unique<CurlMulti>()) {
    // The exchanges of a replaced list end: their rows are gone.
    connect(&rows, &QAbstractItemModel::modelReset, this, [this] { m_probes.clear(); });
    connect(&rows, &ServerRowModel::rowReplaced, this,
            [this](int, quint64 oldKey) { m_probes.erase(oldKey); });
}

HttpProbe::~HttpProbe() {
    m_probes.clear();
}

int HttpProbe::exchangesRunning() const {
    return m_multi->transfers();
}

HttpProbe::Probe& HttpProbe::probeOf(quint64 key) {
    Probe& probe = m_probes[key];
    if (!probe.exchange) {
        probe.exchange = std::make_unique<HttpExchange>(*m_multi);
        connect(probe.exchange.get(), &HttpExchange::requestSent, this,
                [this, key] { requestSent(key); });
        connect(probe.exchange.get(), &HttpExchange::finished, this,
                [this, key] { exchangeEnded(key); });
    }
    return probe;
}

// As the TCP probe: an exchange older than the time-out is counted as timed
// out, a younger one left running; one that has ended was counted then.
HttpProbe::Pending HttpProbe::checkPending(int row, quint64 key) {
    if (!isPending(m_rows, row))
        return Pending::None;
    const auto found = m_probes.find(key);
    if (found == m_probes.end() || !found->second.exchange->isRunning())
        return Pending::None;
    if (m_clock.monotonicMs() - m_rows.probeStartedMs(row) <= m_settings.iTimeOut)
        return Pending::Running;
    found->second.exchange->abort();
    timedOut(row, 0);
    return Pending::TimedOut;
}

// A check whose texts cannot make a request (a catalogue edited by hand)
// fails as a socket error with the reason, and is tried again next pass.
void HttpProbe::start(int row, quint64 key) {
    const HttpCheck* check = m_rows.httpCheck(row);
    if (!check)
        return;
    m_rows.setText(row, Col::Status, tr("正在尝试连接服务器"));
    m_rows.setText(row, Col::ReplyTime, ClockStamp(m_clock.localTime()));
    m_rows.setProbeStartedMs(row, m_clock.monotonicMs());
    Probe& probe = probeOf(key);
    QString reason;
    probe.plan = HttpCheckPlan::of(*check, m_rows.text(row, Col::PostData), &reason);
    if (!probe.plan) {
        probe.exchange->abort();
        socketError(row, tr("SOCKET错误:") + reason, false, 0, 0);
        return;
    }
    HttpRequest& request = probe.plan->request();
    request.timeOutMs = m_settings.iTimeOut;
    request.ignoreCertificateErrors = m_rows.tlsOptions(row).ignoreErrors;
    request.trust = tlsContext();
    probe.exchange->start(request);
}

void HttpProbe::giveUp(int row) {
    const auto found = m_probes.find(m_rows.keyAt(row));
    if (found != m_probes.end())
        found->second.exchange->abort();
    if (isPending(m_rows, row))
        m_rows.setText(row, Col::ReplyTime, QStringLiteral("0"));
}

void HttpProbe::requestSent(quint64 key) {
    const int row = m_rows.rowOfKey(key);
    if (row >= 0)
        m_rows.setText(row, Col::Status, tr("已发送数据包,等待回应..."));
}

// The facts of the exchange stay on the row whatever its outcome; the
// certificate's, as a TLS probe keeps them, also of a refused one.
void HttpProbe::exchangeEnded(quint64 key) {
    const int row = m_rows.rowOfKey(key);
    const auto found = m_probes.find(key);
    if (row < 0 || found == m_probes.end() || !found->second.plan)
        return;
    // Taken, so no row holds a body between passes, and copied: a handler
    // below may re-enter the event loop, and a reload there frees the
    // exchange.
    const HttpResult result = found->second.exchange->takeResult();
    const HttpCheckPlan plan = *found->second.plan;
    m_rows.setHttpFacts(row, HttpExchangeFacts::of(result));
    const qint64 handshakeUs = result.facts ? result.timings.tlsUs : 0;
    if (result.facts) {
        m_rows.setTlsHandshake(row, *result.facts, handshakeUs);
        m_pass.certificateRead(row);
    }
    const qint64 elapsed = roundedMs(result.timings.totalUs);
    switch (result.failure) {
    case HttpResult::Failure::None:
    case HttpResult::Failure::TooManyRedirects:
        replyArrived(row, key, result, plan);
        break;
    case HttpResult::Failure::TimedOut:
        if (isPending(m_rows, row))
            timedOut(row, handshakeUs);
        break;
    case HttpResult::Failure::Tls:
        socketError(row, TcpProbe::faultStatus(result.tlsFault, result.error), true, elapsed,
                    handshakeUs);
        break;
    case HttpResult::Failure::Connection:
        socketError(row, tr("SOCKET错误:") + result.error, false, elapsed, handshakeUs);
        break;
    }
}

// The reply is judged at once, while the exchange's result is at hand; the
// verdict counts once the pass has handled the events that came meanwhile.
void HttpProbe::replyArrived(int row, quint64 key, const HttpResult& result,
                             const HttpCheckPlan& plan) {
    const qint64 elapsed = roundedMs(result.timings.totalUs);
    const qint64 handshakeUs = result.facts ? result.timings.tlsUs : 0;
    if (isPending(m_rows, row))
        m_rows.setText(row, Col::ReplyTime, QString::number(elapsed) + QStringLiteral("ms"));
    m_rows.setLastReply(row, keptReply(result));
    const HttpCheckPlan::Verdict verdict = plan.judge(result, m_rows.text(row, Col::ReplyData));
    m_pass.replyArrived(key, [this, verdict, elapsed, handshakeUs](int judged) {
        judgeReply(judged, verdict, elapsed, handshakeUs);
    });
}

void HttpProbe::judgeReply(int row, const HttpCheckPlan::Verdict& verdict, qint64 elapsed,
                           qint64 handshakeUs) {
    if (verdict.correct) {
        m_counts.correct(row, elapsed, handshakeUs);
        return;
    }
    m_rows.setText(row, Col::Status, verdict.status);
    m_counts.fault(row);
    m_rows.setToolTip(row, Col::ReplyErr, tr("累计错误数:") + m_rows.text(row, Col::ReplyErr));
    m_pass.probeResult(row, ProbeOutcome::Wrong, elapsed, handshakeUs);
}

// The stamp stays in ReplyTime, as after a TCP socket error: the exchange
// has ended and the next pass starts afresh.
void HttpProbe::socketError(int row, const QString& status, bool tlsFault, qint64 elapsed,
                            qint64 handshakeUs) {
    m_rows.setText(row, Col::Status, status);
    m_rows.setTlsFault(row, tlsFault);
    m_counts.fault(row);
    m_pass.probeResult(row, ProbeOutcome::SocketError, elapsed, handshakeUs);
}

void HttpProbe::timedOut(int row, qint64 handshakeUs) {
    const qint32 timeOut = m_settings.iTimeOut;
    const QString limit = QString::number(timeOut) + QStringLiteral("ms");
    m_rows.setText(row, Col::ReplyTime, tr("超过") + limit);
    m_rows.setText(row, Col::Status, tr("SOCKET超时:") + limit);
    m_counts.fault(row);
    m_pass.probeResult(row, ProbeOutcome::TimedOut, timeOut, handshakeUs);
}

std::shared_ptr<TlsContext> HttpProbe::tlsContext() {
    if (!m_tlsContext || m_tlsContext->caFile() != m_settings.TlsCaFile)
        m_tlsContext = TlsContext::forCaFile(m_settings.TlsCaFile);
    return m_tlsContext;
}
