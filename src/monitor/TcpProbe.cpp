#include "monitor/TcpProbe.h"

#include "monitor/ClockStamp.h"
#include "monitor/GbkText.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ProbePass.h"
#include "monitor/ServerAlerts.h"
#include "monitor/ServerRowModel.h"
#include "monitor/SharedTranslations.h"
#include "monitor/SocketElement.h"
#include "monitor/TextNumbers.h"
#include "platform/Clock.h"
#include "tls/CertificateFacts.h"
#include "tls/TlsContext.h"
#include "tls/TlsFault.h"

namespace {

using Col = ServerRowModel::Column;

const QString& connectingText() {
    return SharedTranslations::text("TcpProbe",
                                    QT_TRANSLATE_NOOP("TcpProbe", "正在尝试连接服务器"));
}

} // namespace

TcpProbe::TcpProbe(ServerRowModel& rows, const MonitorSettings& settings, Clock& clock,
                   ServerAlerts& serverAlerts, ProbePass& pass, QObject* parent)
    : QObject(parent)
    , m_rows(rows)
    , m_settings(settings)
    , m_clock(clock)
    , m_serverAlerts(serverAlerts)
    , m_pass(pass)
    , m_counts(rows, settings, serverAlerts, pass)
    , WskWeb(rows) {
    connect(&WskWeb, &SocketArray::Connected, this, &TcpProbe::WskWeb_Connect);
    connect(&WskWeb, &SocketArray::DataArrival, this, &TcpProbe::WskWeb_DataArrival);
    connect(&WskWeb, &SocketArray::Error, this, &TcpProbe::WskWeb_Error);
    // The request texts of a new list are converted afresh.
    connect(&rows, &QAbstractItemModel::modelReset, this, [this] { m_requestBytes.clear(); });
    // The elements of rows that go are dropped with them, connections and all.
    connect(&rows, &QAbstractItemModel::modelAboutToBeReset, this, &TcpProbe::forgetAll);
    connect(&rows, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                for (int row = first; row <= last; ++row)
                    probeEnded(m_rows.keyAt(row));
            });
    connect(&rows, &ServerRowModel::rowReplaced, this,
            [this](int, quint64 oldKey) { probeEnded(oldKey); });
}

void TcpProbe::setMaxInFlight(int limit) {
    m_maxInFlight = qMax(1, limit);
}

// A probe still pending from an earlier pass is timed out once it is older
// than the time-out. A younger one is left running, so a silent server is
// counted even when the interval is shorter than the time-out (a peer that
// closed without a reply counts as silent). A probe that ended in a socket
// error was counted then and is finished, however old: its element stays in
// the error state until closed, so it starts afresh, as does a younger probe
// that never started because its address was unusable.
TcpProbe::Pending TcpProbe::checkPending(int row, quint64 key) {
    if (m_queued.contains(key))
        return Pending::Running;
    if (!m_rows.text(row, Col::ReplyTime).contains(QLatin1Char(':')))
        return Pending::None;
    const SocketElement* element = WskWeb.element(key);
    const int state = element ? element->State() : 0;
    if (state == SocketElement::ErrorState)
        return Pending::None;
    const qint32 timeOut = m_settings.iTimeOut;
    if (m_clock.monotonicMs() - m_rows.probeStartedMs(row) <= timeOut)
        return state == 0 ? Pending::None : Pending::Running;
    const QString limit = QString::number(timeOut) + QStringLiteral("ms");
    m_rows.setText(row, Col::ReplyTime, tr("超过") + limit);
    m_rows.setText(row, Col::Status, tr("SOCKET超时:") + limit);
    m_counts.fault(row);
    SocketElement* pending = WskWeb.element(key);
    m_pass.probeResult(row, ProbeOutcome::TimedOut, timeOut,
                       pending ? pending->tlsHandshakeUs() : 0);
    if (pending)
        pending->Close();
    probeEnded(key);
    return Pending::TimedOut;
}

void TcpProbe::start(int row, quint64 key) {
    if (m_inFlight.size() < m_maxInFlight) {
        connectRow(row, key);
        return;
    }
    m_rows.setText(row, Col::Status, connectingText());
    m_rows.setText(row, Col::ReplyTime, ClockStamp(m_clock.localTime()));
    if (!m_queued.contains(key)) {
        m_queued.insert(key);
        m_queue.push_back(key);
    }
}

void TcpProbe::connectRow(int row, quint64 key) {
    if (SocketElement* element = WskWeb.elementFor(key)) {
        m_inFlight.insert(key);
        const TlsOptions options = m_rows.tlsOptions(row);
        element->setTransport(options, options.isPlain() ? nullptr : tlsContext());
        element->Connect(m_rows.text(row, Col::IPAddress),
                         leadingInteger(m_rows.text(row, Col::Port)));
    }
    m_rows.setText(row, Col::Status, connectingText());
    m_rows.setText(row, Col::ReplyTime, ClockStamp(m_clock.localTime()));
    m_rows.setProbeStartedMs(row, m_clock.monotonicMs());
}

// A freed connection goes to the next queued row a turn later, outside the
// handler of the event that freed it.
void TcpProbe::probeEnded(quint64 key) {
    if (m_queued.remove(key))
        return;
    if (!m_inFlight.remove(key) || m_queue.empty() || m_startQueuedPosted)
        return;
    m_startQueuedPosted = true;
    QMetaObject::invokeMethod(this, &TcpProbe::startQueued, Qt::QueuedConnection);
}

void TcpProbe::startQueued() {
    m_startQueuedPosted = false;
    while (m_inFlight.size() < m_maxInFlight && !m_queue.empty()) {
        const quint64 key = m_queue.front();
        m_queue.pop_front();
        if (!m_queued.remove(key))
            continue;
        const int row = m_rows.rowOfKey(key);
        if (row >= 0)
            connectRow(row, key);
    }
}

void TcpProbe::forgetAll() {
    m_inFlight.clear();
    m_queued.clear();
    m_queue.clear();
}

// The stamp leaves ReplyTime, so the probe no longer counts as pending.
void TcpProbe::giveUp(int row) {
    probeEnded(m_rows.keyAt(row));
    if (SocketElement* element = WskWeb.element(m_rows.keyAt(row)))
        element->Close();
    if (m_rows.text(row, Col::ReplyTime).contains(QLatin1Char(':')))
        m_rows.setText(row, Col::ReplyTime, QStringLiteral("0"));
}

void TcpProbe::WskWeb_Connect(quint64 key) {
    const int row = m_rows.rowOfKey(key);
    SocketElement* element = WskWeb.element(key);
    if (row < 0 || !element)
        return;
    keepHandshake(row, *element);
    element->SendData(m_requestBytes.bytes(m_rows.text(row, Col::PostData)));
    m_rows.setText(row, Col::Status,
                   SharedTranslations::text(
                       "TcpProbe", QT_TRANSLATE_NOOP("TcpProbe", "已发送数据包,等待回应...")));
}

// Only the first arrival counts: the socket is closed at once, so later
// segments of the reply are never read. The match sees the whole first
// segment; the row keeps only the start of it that it can show.
void TcpProbe::WskWeb_DataArrival(quint64 key, qint64 bytesTotal) {
    Q_UNUSED(bytesTotal)
    SocketElement* element = WskWeb.element(key);
    if (!element)
        return;
    const QByteArray bytes = element->GetData();
    const qint64 handshakeUs = element->tlsHandshakeUs();
    WskWeb.release(key);
    probeEnded(key);
    const int row = m_rows.rowOfKey(key);
    if (row < 0)
        return;
    const QString reply = GbkText::decode(bytes);
    const qint64 elapsed = m_clock.monotonicMs() - m_rows.probeStartedMs(row);
    if (m_rows.text(row, Col::ReplyTime).contains(QLatin1Char(':')))
        m_rows.setText(row, Col::ReplyTime, millisecondsText(elapsed, false));
    m_rows.setLastReply(row, bytes);
    m_pass.replyArrived(key, [this, reply, elapsed, handshakeUs](int judged) {
        judgeReply(judged, reply, elapsed, handshakeUs);
    });
}

void TcpProbe::judgeReply(int row, const QString& reply, qint64 elapsed, qint64 handshakeUs) {
    if (replyMatches(reply, m_rows.text(row, Col::ReplyData))) {
        m_counts.correct(row, elapsed, handshakeUs);
    } else {
        m_rows.setStatusWithReply(row, tr("应答包错误："));
        m_counts.fault(row);
        m_rows.setToolTip(row, Col::ReplyErr, tr("累计错误数:") + m_rows.text(row, Col::ReplyErr));
        m_pass.probeResult(row, ProbeOutcome::Wrong, elapsed, handshakeUs);
    }
}

bool TcpProbe::replyMatches(const QString& reply, const QString& expected) {
    return reply.contains(expected, Qt::CaseInsensitive);
}

// The stamp stays in ReplyTime, but the probe is finished: the next pass
// finds its element in the error state and probes the row anew.
void TcpProbe::WskWeb_Error(quint64 key, int number, const QString& description) {
    Q_UNUSED(number)
    const int row = m_rows.rowOfKey(key);
    if (row < 0)
        return;
    const SocketElement* element = WskWeb.element(key);
    if (element)
        keepHandshake(row, *element);
    const TlsFault fault = element ? element->tlsFault() : TlsFault();
    probeEnded(key);
    m_rows.setText(row, Col::Status, faultStatus(fault, description));
    m_rows.setTlsFault(row, fault.kind != TlsFault::Kind::None);
    m_counts.fault(row);
    m_pass.probeResult(row, ProbeOutcome::SocketError,
                       m_clock.monotonicMs() - m_rows.probeStartedMs(row),
                       element ? element->tlsHandshakeUs() : 0);
}

QString TcpProbe::faultStatus(const TlsFault& fault, const QString& description) {
    switch (fault.kind) {
    case TlsFault::Kind::Expired:
        return tr("证书错误:已过期");
    case TlsFault::Kind::Untrusted:
        return tr("证书错误:不受信任");
    case TlsFault::Kind::NameMismatch:
        return tr("证书错误:主机名不匹配");
    case TlsFault::Kind::HandshakeFailed:
        return tr("TLS握手失败:") + fault.reason;
    case TlsFault::Kind::NoStartTls:
        return tr("不支持STARTTLS");
    case TlsFault::Kind::None:
    case TlsFault::Kind::Broken:
        break;
    }
    return tr("SOCKET错误:") + description;
}

// Facts of a refused certificate are kept too: an expired one still shows
// when it expired, and is warned about.
void TcpProbe::keepHandshake(int row, const SocketElement& element) {
    const CertificateFacts* facts = element.certificateFacts();
    if (!facts)
        return;
    m_rows.setTlsHandshake(row, *facts, element.tlsHandshakeUs());
    m_pass.certificateRead(row);
}

// Shared by the rows and kept between passes, so the trust store is read
// once, and again only when the CA file setting changes.
std::shared_ptr<TlsContext> TcpProbe::tlsContext() {
    if (!m_tlsContext || m_tlsContext->caFile() != m_settings.TlsCaFile)
        m_tlsContext = TlsContext::forCaFile(m_settings.TlsCaFile);
    return m_tlsContext;
}
