#include "monitor/ServerMonitor.h"

#include "monitor/AlertSink.h"
#include "monitor/LocaleTimeText.h"
#include "monitor/ModulePing.h"
#include "monitor/MonitorSettings.h"
#include "monitor/NetworkCheck.h"
#include "monitor/ResultRecorder.h"
#include "monitor/ServerRowModel.h"
#include "monitor/TextNumbers.h"
#include "platform/AppPaths.h"
#include "platform/Clock.h"
#include "platform/EchoService.h"

#include <QAbstractProxyModel>
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using Col = ServerRowModel::Column;

constexpr RowColour kSocketFaultColour(255, 0, 0);
constexpr RowColour kLostEchoColour(0, 255, 0);
constexpr RowColour kSlowReplyColour(255, 191, 0);
constexpr qint32 kMaxCount = std::numeric_limits<qint32>::max();
// The two yields of a row, each a whole turn of the event loop. A row started
// inside a turn (the first, by the tick) waits for the end of that turn first.
constexpr int kTurnsPerRow = 2;

// numerator / denominator rounded to the nearest integer, halves to even.
qint64 roundedQuotient(qint64 numerator, qint64 denominator) {
    qint64 quotient = numerator / denominator;
    const qint64 twiceRest = 2 * (numerator % denominator);
    if (twiceRest > denominator || (twiceRest == denominator && quotient % 2 != 0))
        ++quotient;
    return quotient;
}

} // namespace

ServerMonitor::ServerMonitor(ServerRowModel& rows, const QAbstractItemModel& listView,
                             const MonitorSettings& settings, Clock& clock, EchoService& echo,
                             AlertSink& alerts, QObject* parent)
    : QObject(parent)
    , m_rows(rows)
    , m_list(listView)
    , m_settings(settings)
    , m_clock(clock)
    , m_echo(echo)
    , m_alerts(alerts)
    , m_serverAlerts(rows, settings, clock, alerts)
    , m_gate(rows, settings, clock, alerts, m_serverAlerts)
    , m_certNotices(rows, clock, m_serverAlerts, alerts)
    , m_tcpProbe(rows, settings, clock, m_serverAlerts, *this)
    , m_httpProbe(rows, settings, clock, m_serverAlerts, *this)
    , m_netCheck(std::make_unique<NetworkCheck>(echo, alerts)) {
    TimerProc.setObjectName(QStringLiteral("TimerProc"));
    TimerProc.setInterval(1000);
    connect(&TimerProc, &QTimer::timeout, this, &ServerMonitor::TimerProc_Timer);
    connect(&rows, &QAbstractItemModel::modelReset, this, &ServerMonitor::listReloaded);
    const auto rowsChanged = [this] { m_gate.rowsChanged(); };
    connect(&rows, &QAbstractItemModel::rowsRemoved, this, rowsChanged);
    connect(&rows, &QAbstractItemModel::rowsInserted, this, rowsChanged);
    connect(&rows, &ServerRowModel::rowReplaced, this, rowsChanged);
    m_serverAlerts.setQuiet(
        [this](int row) { return m_gate.blockOf(row) != AlertGate::Block::None; });
}

ServerMonitor::~ServerMonitor() = default;

void ServerMonitor::setAlertFeed(AlertFeed* feed) {
    m_serverAlerts.setFeed(feed);
    m_netCheck->setFeed(feed);
}

void ServerMonitor::setRecorder(ResultRecorder* recorder) {
    m_recorders.clear();
    addRecorder(recorder);
}

void ServerMonitor::addRecorder(ResultRecorder* recorder) {
    if (recorder && !m_recorders.contains(recorder))
        m_recorders.append(recorder);
}

void ServerMonitor::removeRecorder(ResultRecorder* recorder) {
    m_recorders.removeAll(recorder);
}

void ServerMonitor::CmdStart_Click() {
    if (TimerProc.isActive()) {
        TimerProc.stop();
        emit startCaptionChanged(tr("开始监控"));
        emit statusPanelChanged(3, tr("任务等待开始"));
        emit windowTitleChanged(MeCaption + tr("[等待开始任务]"));
        emit tipChanged(tip(tr("等待开始任务...")));
    } else {
        TimerProc.start();
        iTimerNCount = intervalTicks(); // the first tick starts a pass
        emit startCaptionChanged(tr("停止监控"));
        emit tipChanged(tip(tr("正在监控...")));
    }
    emit monitoringChanged(TimerProc.isActive());
}

// The timer steps in whole seconds, so a fractional interval counts as the
// next whole second.
qint32 ServerMonitor::intervalTicks() const {
    const double ticks = std::ceil(m_settings.iTimerN);
    if (ticks >= kMaxCount)
        return kMaxCount;
    return ticks <= 0 ? 0 : static_cast<qint32>(ticks);
}

void ServerMonitor::TimerProc_Timer() {
    m_gate.tick();
    if (iTimerNCount < intervalTicks())
        waitingTick();
    else if (!m_inPass)
        runPass();
}

void ServerMonitor::waitingTick() {
    emit statusPanelChanged(4, tr("Socket异常:") + QString::number(SocketFaultCount));
    emit statusPanelChanged(5, tr("Ping异常:") + QString::number(PingFaultCount));
    iTimerNCount = raised(iTimerNCount);
    const QString remaining = QString::number(intervalTicks() - iTimerNCount);
    const QString next = tr("下次开始任务:") + remaining + tr("秒后");
    emit statusPanelChanged(3, next);
    emit windowTitleChanged(MeCaption + QStringLiteral("[ ") + remaining +
                            tr(" 秒后开始下次任务]"));
    emit tipChanged(tip(next));
}

void ServerMonitor::passPreamble() {
    PingFaultCount = 0;
    SocketFaultCount = 0;
    const QString running = tr("任务正在进行:") + LocaleTimeText(m_clock.localTime(), m_locale);
    emit statusPanelChanged(3, running);
    emit tipChanged(tip(running));
    emit windowTitleChanged(MeCaption + tr("[任务正在进行...]"));
    iTimerNCount = 0;
    resetReplyCount();
    m_serverAlerts.passBegins();
    m_gate.passBegins();
}

void ServerMonitor::runPass() {
    m_inPass = true;
    m_passRowsDone = false;
    m_passStopped = false;
    passPreamble();
    if (m_settings.NetCheck.trimmed().isEmpty()) {
        m_netCheck->reset();
        visitRows();
        return;
    }
    m_netCheck->check(m_settings.NetCheck, [this](bool up) { networkChecked(up); });
}

// With reference addresses set, a pass probes its rows only once the own
// network is known to work. A stop while the check runs ends the pass with
// nothing visited.
void ServerMonitor::networkChecked(bool up) {
    if (!isMonitoring())
        m_inPass = false;
    else if (up)
        visitRows();
    else
        markNetworkDown();
}

// The own network does not answer: every row says so and nothing of the pass
// counts (no probe, no echo, no fault, no colour, no pass number). A probe
// still pending from the pass before is given up, so the outage does not
// count as its time-out either.
void ServerMonitor::markNetworkDown() {
    for (int row = 0; row < m_rows.rowCount(); ++row) {
        if (isHttpRow(row))
            m_httpProbe.giveUp(row);
        else
            m_tcpProbe.giveUp(row);
        m_rows.setText(row, Col::Status, tr("本机网络异常"));
    }
    m_inPass = false;
}

// Rows are taken by key in the order the list shows them when the pass
// begins, so sorting meanwhile changes nothing and a row that disappears is
// skipped. After a reload the pass goes on with the new list from the next
// position, up to the row count taken at the start. A stop ends the visits
// after the current row; the echoes already sent still complete their rows.
void ServerMonitor::visitRows() {
    emit passStarted();
    m_visit = Visit{QList<quint64>(m_list.rowCount(), 0), 0, m_listGeneration};
    takeKeys(0);
    visitNextRow(kTurnsPerRow + 1);
}

void ServerMonitor::takeKeys(int from) {
    const int count = static_cast<int>(m_visit.keys.size());
    const int shown = qMin(count, m_list.rowCount());
    for (int i = from; i < count; ++i)
        m_visit.keys[i] = i < shown ? keyShownAt(i) : 0;
}

// Starts the TCP probe or the HTTP check of the next row still there, unless
// it has just timed out, and sends its echo the given turns of the event
// loop later. The pass
// waits for them off the stack, so a handler that runs a loop of its own in
// them (a modal dialog) holds the pass up no more than any other handler.
void ServerMonitor::visitNextRow(int turns) {
    for (; m_visit.next < m_visit.keys.size(); ++m_visit.next) {
        if (m_visit.keysOfList != m_listGeneration) {
            m_visit.keysOfList = m_listGeneration;
            takeKeys(m_visit.next);
        }
        const quint64 key = m_visit.keys.at(m_visit.next);
        const int row = m_rows.rowOfKey(key);
        if (row < 0)
            continue;
        const bool http = isHttpRow(row);
        const TcpProbe::Pending pending =
            http ? m_httpProbe.checkPending(row, key) : m_tcpProbe.checkPending(row, key);
        if (pending == TcpProbe::Pending::TimedOut)
            continue;
        if (pending == TcpProbe::Pending::None) {
            if (http)
                m_httpProbe.start(row, key);
            else
                m_tcpProbe.start(row, key);
        }
        m_turns.after(turns, [this] { echoRow(); });
        return;
    }
    rowsVisited();
}

bool ServerMonitor::isHttpRow(int row) const {
    return m_rows.httpCheck(row) != nullptr;
}

void ServerMonitor::echoRow() {
    const QPointer<ServerMonitor> self(this);
    sendEcho(m_visit.keys.at(m_visit.next));
    if (!self)
        return;
    if (!isMonitoring()) {
        m_passStopped = true;
        rowsVisited();
        return;
    }
    ++m_visit.next;
    visitNextRow(kTurnsPerRow);
}

void ServerMonitor::rowsVisited() {
    m_visit = {};
    m_passRowsDone = true;
    endPassWhenEchoesDone();
}

// The key of the row the list shows at position. The row model itself, or a
// proxy straight over it, answer without going through item data: a pass
// over ten thousand rows takes them all in one go.
quint64 ServerMonitor::keyShownAt(int position) const {
    if (&m_list == &m_rows)
        return m_rows.keyAt(position);
    const auto* proxy = qobject_cast<const QAbstractProxyModel*>(&m_list);
    if (proxy && proxy->sourceModel() == &m_rows)
        return m_rows.keyAt(proxy->mapToSource(proxy->index(position, 0)).row());
    return m_list.index(position, 0).data(ServerRowModel::KeyRole).value<quint64>();
}

// Sends the row's echo; its outcome completes the row's echo step later.
void ServerMonitor::sendEcho(quint64 key) {
    const int row = m_rows.rowOfKey(key);
    if (row < 0)
        return;
    // Counted before sending: a reload inside the call cancels it again.
    ++m_echoesOutstanding;
    m_echo.PingHost(m_rows.text(row, Col::IPAddress), m_echoScope.get(),
                    [this, key](long result, const EchoReply& reply) {
                        --m_echoesOutstanding;
                        echoDone(key, result, reply);
                        endPassWhenEchoesDone();
                    });
}

void ServerMonitor::echoDone(quint64 key, long result, const EchoReply& reply) {
    const int row = m_rows.rowOfKey(key);
    if (row < 0)
        return;
    noteEchoPermission(row, reply.permissionDenied);
    qint32 lost = m_rows.lostPings(row);
    if (!ModulePing::EchoAnswered(result, reply)) {
        const long status =
            reply.status != 0 ? static_cast<long>(reply.status) : (result < 0 ? -result : 0);
        m_rows.setText(row, Col::PingTime, ModulePing::PingStatusText(status));
        m_rows.setText(row, Col::PingErr,
                       QString::number(raised(leadingInteger(m_rows.text(row, Col::PingErr)))));
        m_rows.setTag(row, Col::PingErr, QStringLiteral("1"));
        m_serverAlerts.faultCounted(row, ServerAlerts::Run::Echo);
        lost = raised(lost);
        m_rows.setLostPings(row, lost);
        PingFaultCount = raised(PingFaultCount);
        record(row, ProbeOutcome::EchoLost, 0, static_cast<qint32>(status));
        CheckPingState(row);
    } else {
        const qint64 roundTrip = reply.roundTripTime;
        m_rows.setText(row, Col::PingTime, millisecondsText(roundTrip, true));
        const qint32 lostRun = leadingInteger(m_rows.text(row, Col::PingErr));
        m_rows.setText(row, Col::PingErr, QStringLiteral("0"));
        m_rows.setTag(row, Col::PingErr, QStringLiteral("0"));
        record(row, ProbeOutcome::EchoAnswered, roundTrip);
        m_serverAlerts.runEnded(row, ServerAlerts::Run::Echo, lostRun);
        // k answered echoes, this one included; none left means the pass was
        // repeated after a stop and the average stays as it is.
        const qint64 k = qint64(PassNumber) - lost;
        if (k > 0) {
            const qint64 sum = qint64(m_rows.averagePingMs(row)) * (k - 1) + roundTrip;
            m_rows.setAveragePingMs(row, static_cast<qint32>(roundedQuotient(sum, k)));
        }
    }
    // A pass repeated after a stop can count more losses than passes; the
    // rate never goes beyond all of them.
    const qint64 lossPercent = qMin<qint64>(100, qint64(lost) * 100 / PassNumber);
    const QString state = tr("平均延时:") + QString::number(m_rows.averagePingMs(row)) +
                          tr("ms  丢包率:") + QString::number(lossPercent) + QStringLiteral("%");
    m_rows.setPingState(row, state, lost, PassNumber);
}

QString ServerMonitor::echoPermissionNotice() {
    return tr("无法发送PING:请运行 setcap cap_net_raw+ep ") + AppPaths::current().programFile();
}

// An echo the system does not permit says how to permit it: in the row's
// tool-tip each time, and once per run as an alert.
void ServerMonitor::noteEchoPermission(int row, bool denied) {
    m_rows.setToolTip(row, Col::PingTime, denied ? echoPermissionNotice() : QString());
    if (!denied || m_echoPermissionNoticeShown)
        return;
    m_echoPermissionNoticeShown = true;
    m_alerts.ShowMsg(4, echoPermissionNotice(), tr("注意:无法发送PING"));
}

// A pass whose rows were all visited ends with its last echo: a completed
// pass repaints the colours and counts itself; a stopped one does neither.
void ServerMonitor::endPassWhenEchoesDone() {
    if (!m_inPass || !m_passRowsDone || m_echoesOutstanding > 0)
        return;
    m_inPass = false;
    if (m_passStopped)
        return;
    m_gate.echoesDone();
    SetColor();
    PassNumber = raised(PassNumber);
    emit passFinished();
}

// The echoes under way belong to rows of the old list: they are cancelled,
// so a late answer never reaches the new one.
void ServerMonitor::listReloaded() {
    PassNumber = 1;
    ++m_listGeneration;
    m_echoScope = std::make_unique<QObject>();
    m_echoesOutstanding = 0;
    m_serverAlerts.clear();
    m_gate.clear();
    endPassWhenEchoesDone();
}

// A reply counts at once and is judged after a yield: the rest of the turn
// it came in and one whole turn more. The colours are repainted once the
// pass's last reply is judged, so that reply's own result shows too.
// Arrivals that came within one another's yields all see the count complete;
// they paint once, after the last of them is judged.
void ServerMonitor::replyArrived(quint64 key, const std::function<void(int)>& judge) {
    PassReplyCount = raised(PassReplyCount);
    showReplyCount();

    ++m_repliesAwaitingJudgement;
    m_turns.after(2, [this, key, judge] {
        --m_repliesAwaitingJudgement;
        const int row = m_rows.rowOfKey(key);
        if (row < 0) {
            paintWhenRepliesJudged();
            return;
        }
        if (PassReplyCount == m_list.rowCount())
            m_paintDue = true;
        judge(row);
        paintWhenRepliesJudged();
    });
}

void ServerMonitor::paintWhenRepliesJudged() {
    if (!m_paintDue || m_repliesAwaitingJudgement > 0)
        return;
    m_paintDue = false;
    SetColor();
    m_gate.repliesJudged();
}

void ServerMonitor::probeResult(int row, ProbeOutcome::Kind kind, qint64 ms, qint64 handshakeUs) {
    if (kind == ProbeOutcome::Correct) {
        record(row, kind, ms, 0, handshakeUs);
        return;
    }
    SocketFaultCount = raised(SocketFaultCount);
    record(row, kind, ms, 0, handshakeUs);
    CheckReplyState(row);
}

void ServerMonitor::certificateRead(int row) {
    m_certNotices.handshakeRead(row);
}

void ServerMonitor::CheckReplyState(int row) {
    if (row < 0 || row >= m_rows.rowCount())
        return;
    alertAtLimit(row,
                 m_gate.runCount(row, ServerAlerts::Run::Socket,
                                 leadingInteger(m_rows.text(row, Col::ReplyErr))),
                 m_settings.iReplyLim, tr("注意:服务器测试返回异常"));
}

void ServerMonitor::CheckPingState(int row) {
    if (row < 0 || row >= m_rows.rowCount())
        return;
    alertAtLimit(row,
                 m_gate.runCount(row, ServerAlerts::Run::Echo,
                                 leadingInteger(m_rows.text(row, Col::PingErr))),
                 m_settings.iPingLim, tr("注意:服务器PING异常"));
}

// Equality, not "at least": a run of failures alerts once, when it reaches
// the limit. The row is repainted; whether the alert reaches anybody (a
// silenced server's, one in maintenance...) the gate decides.
void ServerMonitor::alertAtLimit(int row, qint32 count, qint32 limit, const QString& title) {
    if (limit <= 0 || count != limit)
        return;
    SetColor();
    m_gate.alert(row, title);
}

void ServerMonitor::SetColor() {
    const QString fault = QStringLiteral("1");
    for (int row = 0; row < m_rows.rowCount(); ++row) {
        RowColour colour;
        if (m_rows.tag(row, Col::PingErr) == fault)
            colour = kLostEchoColour;
        else if (m_rows.tag(row, Col::ReplyErr) == fault)
            colour = kSocketFaultColour;
        else if (m_rows.tag(row, Col::ReplyTime) == fault)
            colour = kSlowReplyColour;
        if (m_rows.rowColour(row) != colour)
            m_rows.setRowColour(row, colour);
    }
}

void ServerMonitor::resetReplyCount() {
    PassReplyCount = 0;
    emit statusPanelChanged(2, tr("SOCKET回应:0/") + QString::number(m_list.rowCount()));
}

void ServerMonitor::showReplyCount() {
    const int rowCount = m_list.rowCount();
    if (rowCount <= 0)
        return;
    const qint64 percent = qint64(PassReplyCount) * 100 / rowCount;
    emit statusPanelChanged(2, tr("SOCKET回应:") + QString::number(PassReplyCount) +
                                   QLatin1Char('/') + QString::number(rowCount) + QLatin1Char('[') +
                                   QString::number(percent) + QStringLiteral("%]"));
}

void ServerMonitor::record(int row, quint8 kind, qint64 ms, qint32 status, qint64 handshakeUs) {
    const bool unreachable = m_gate.markIfUnreachable(row);
    if (m_recorders.isEmpty())
        return;
    ProbeOutcome outcome;
    outcome.serverId = m_rows.text(row, Col::ID).toLongLong();
    outcome.timeUtcMs = m_clock.utcMs();
    outcome.kind = static_cast<ProbeOutcome::Kind>(kind);
    outcome.ms = static_cast<qint32>(std::clamp<qint64>(ms, 0, kMaxCount));
    outcome.status = status;
    outcome.maintenance = m_gate.inMaintenance(row);
    outcome.unreachable = unreachable;
    if (handshakeUs > 0)
        outcome.handshakeMs =
            static_cast<qint32>(std::clamp<qint64>((handshakeUs + 500) / 1000, 0, kMaxCount));
    for (ResultRecorder* recorder : std::as_const(m_recorders))
        recorder->record(outcome);
}

QString ServerMonitor::tip(const QString& line) const {
    return sTips + QStringLiteral("\r\n") + line;
}
