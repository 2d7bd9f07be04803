#include "monitor/ServerMonitor.h"

#include "monitor/AlertSink.h"
#include "monitor/ClockStamp.h"
#include "monitor/GbkText.h"
#include "monitor/LocaleTimeText.h"
#include "monitor/ModulePing.h"
#include "monitor/MonitorSettings.h"
#include "monitor/NetworkCheck.h"
#include "monitor/ResultRecorder.h"
#include "monitor/ServerRowModel.h"
#include "monitor/SocketElement.h"
#include "monitor/TextNumbers.h"
#include "platform/AppPaths.h"
#include "platform/Clock.h"
#include "platform/EchoService.h"

#include <QAbstractProxyModel>
#include <QCoreApplication>
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
    , WskWeb(rows)
    , m_netCheck(std::make_unique<NetworkCheck>(echo, alerts)) {
    TimerProc.setObjectName(QStringLiteral("TimerProc"));
    TimerProc.setInterval(1000);
    connect(&TimerProc, &QTimer::timeout, this, &ServerMonitor::TimerProc_Timer);
    connect(&WskWeb, &SocketArray::Connected, this, &ServerMonitor::WskWeb_Connect);
    connect(&WskWeb, &SocketArray::DataArrival, this, &ServerMonitor::WskWeb_DataArrival);
    connect(&WskWeb, &SocketArray::Error, this, &ServerMonitor::WskWeb_Error);
    connect(&rows, &QAbstractItemModel::modelReset, this, &ServerMonitor::listReloaded);
}

ServerMonitor::~ServerMonitor() = default;

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
        if (SocketElement* element = WskWeb.element(m_rows.keyAt(row)))
            element->Close();
        if (m_rows.text(row, Col::ReplyTime).contains(QLatin1Char(':')))
            m_rows.setText(row, Col::ReplyTime, QStringLiteral("0"));
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
    const QPointer<ServerMonitor> self(this);
    emit passStarted();

    const int count = m_list.rowCount();
    QList<quint64> keys(count, 0);
    const auto takeKeys = [&](int from) {
        const int shown = qMin(count, m_list.rowCount());
        for (int i = from; i < count; ++i)
            keys[i] = i < shown ? keyShownAt(i) : 0;
    };
    takeKeys(0);
    quint64 keysOfList = m_listGeneration;
    for (int i = 0; i < count; ++i) {
        if (keysOfList != m_listGeneration) {
            keysOfList = m_listGeneration;
            takeKeys(i);
        }
        const quint64 key = keys.at(i);
        const int row = m_rows.rowOfKey(key);
        if (row < 0)
            continue;
        const PendingProbe pending = checkPendingProbe(row, key);
        if (pending == PendingProbe::TimedOut)
            continue;
        if (pending == PendingProbe::None)
            startProbe(row, key);
        yield();
        if (!self)
            return;
        yield();
        if (!self)
            return;
        sendEcho(key);
        if (!isMonitoring()) {
            m_passStopped = true;
            break;
        }
    }
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

// A probe still pending from an earlier pass is timed out once it is older
// than the time-out. A younger one is left running, so a silent server is
// counted even when the interval is shorter than the time-out (a peer that
// closed without a reply counts as silent). A probe that ended in a socket
// error, or never started because its address was unusable, starts afresh.
ServerMonitor::PendingProbe ServerMonitor::checkPendingProbe(int row, quint64 key) {
    if (!m_rows.text(row, Col::ReplyTime).contains(QLatin1Char(':')))
        return PendingProbe::None;
    const qint32 timeOut = m_settings.iTimeOut;
    if (m_clock.monotonicMs() - m_rows.probeStartedMs(row) <= timeOut) {
        const SocketElement* element = WskWeb.element(key);
        const int state = element ? element->State() : 0;
        return state == 0 || state == SocketElement::ErrorState ? PendingProbe::None
                                                                : PendingProbe::Running;
    }
    const QString limit = QString::number(timeOut) + QStringLiteral("ms");
    m_rows.setText(row, Col::ReplyTime, tr("超过") + limit);
    m_rows.setText(row, Col::Status, tr("SOCKET超时:") + limit);
    raiseReplyErr(row);
    SocketFaultCount = raised(SocketFaultCount);
    record(row, ProbeOutcome::TimedOut, timeOut);
    CheckReplyState(row);
    if (SocketElement* element = WskWeb.element(key))
        element->Close();
    return PendingProbe::TimedOut;
}

void ServerMonitor::startProbe(int row, quint64 key) {
    if (SocketElement* element = WskWeb.elementFor(key)) {
        element->Close();
        element->Connect(m_rows.text(row, Col::IPAddress),
                         leadingInteger(m_rows.text(row, Col::Port)));
    }
    m_rows.setText(row, Col::Status, tr("正在尝试连接服务器"));
    m_rows.setText(row, Col::ReplyTime, ClockStamp(m_clock.localTime()));
    m_rows.setProbeStartedMs(row, m_clock.monotonicMs());
}

void ServerMonitor::yield() {
    QCoreApplication::processEvents();
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
        m_rows.setText(row, Col::PingTime, QString::number(roundTrip) + QStringLiteral(" ms"));
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
    m_rows.setText(row, Col::PingState, state);
    m_rows.setToolTip(row, Col::PingState,
                      state + QLatin1Char('(') + QString::number(lost) + QLatin1Char('/') +
                          QString::number(PassNumber) + QLatin1Char(')'));
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
    SetColor();
    PassNumber = raised(PassNumber);
    emit passFinished();
}

// The echoes under way belong to rows of the old list: they are cancelled,
// so a late answer never reaches the new one.
void ServerMonitor::listReloaded() {
    PassNumber = 1;
    ++m_listGeneration;
    m_requestBytes.clear();
    m_echoScope = std::make_unique<QObject>();
    m_echoesOutstanding = 0;
    m_serverAlerts.clear();
    endPassWhenEchoesDone();
}

void ServerMonitor::WskWeb_Connect(quint64 key) {
    const int row = m_rows.rowOfKey(key);
    SocketElement* element = WskWeb.element(key);
    if (row < 0 || !element)
        return;
    element->SendData(m_requestBytes.bytes(m_rows.text(row, Col::PostData)));
    m_rows.setText(row, Col::Status, tr("已发送数据包,等待回应..."));
}

// Only the first arrival counts: the socket is closed at once, so later
// segments of the reply are never read. The match sees the whole first
// segment; the row keeps only the start of it that it can show.
void ServerMonitor::WskWeb_DataArrival(quint64 key, qint64 bytesTotal) {
    Q_UNUSED(bytesTotal)
    SocketElement* element = WskWeb.element(key);
    if (!element)
        return;
    const QByteArray bytes = element->GetData();
    element->Close();
    int row = m_rows.rowOfKey(key);
    if (row < 0)
        return;
    const QString reply = GbkText::decode(bytes);
    const qint64 elapsed = m_clock.monotonicMs() - m_rows.probeStartedMs(row);
    if (m_rows.text(row, Col::ReplyTime).contains(QLatin1Char(':')))
        m_rows.setText(row, Col::ReplyTime, QString::number(elapsed) + QStringLiteral("ms"));
    PassReplyCount = raised(PassReplyCount);
    m_rows.setLastReply(row, bytes);
    showReplyCount();

    const QPointer<ServerMonitor> self(this);
    ++m_repliesAwaitingJudgement;
    yield();
    if (!self)
        return;
    --m_repliesAwaitingJudgement;
    row = m_rows.rowOfKey(key);
    if (row < 0) {
        paintWhenRepliesJudged();
        return;
    }
    // The colours are repainted once the pass's last reply is judged, so that
    // reply's own result shows too. Arrivals that came into one another's
    // yields all see the count complete; they paint once, after the last of
    // them is judged.
    if (PassReplyCount == m_list.rowCount())
        m_paintDue = true;

    if (replyMatches(reply, m_rows.text(row, Col::ReplyData))) {
        const qint32 faultRun = leadingInteger(m_rows.text(row, Col::ReplyErr));
        m_rows.setText(row, Col::Status, tr("已收到正确的回应包"));
        m_rows.setText(row, Col::ReplyErr, QStringLiteral("0"));
        m_rows.setToolTip(row, Col::ReplyErr, tr("累计错误数:0"));
        m_rows.setTag(row, Col::ReplyErr, QStringLiteral("0"));
        // The status says "slow" before the result is recorded, so a record
        // of it reads the same as the row.
        const qint32 slowRun = m_serverAlerts.correctReply(row, elapsed);
        record(row, ProbeOutcome::Correct, elapsed);
        m_serverAlerts.runEnded(row, ServerAlerts::Run::Socket, faultRun);
        if (slowRun)
            alertAtLimit(row, slowRun, m_settings.iReplyLim, tr("注意:服务器响应缓慢"));
    } else {
        m_rows.setStatusWithReply(row, tr("应答包错误："));
        raiseReplyErr(row);
        m_rows.setToolTip(row, Col::ReplyErr, tr("累计错误数:") + m_rows.text(row, Col::ReplyErr));
        SocketFaultCount = raised(SocketFaultCount);
        record(row, ProbeOutcome::Wrong, elapsed);
        CheckReplyState(row);
    }
    paintWhenRepliesJudged();
}

void ServerMonitor::paintWhenRepliesJudged() {
    if (!m_paintDue || m_repliesAwaitingJudgement > 0)
        return;
    m_paintDue = false;
    SetColor();
}

bool ServerMonitor::replyMatches(const QString& reply, const QString& expected) {
    return reply.contains(expected, Qt::CaseInsensitive);
}

// The stamp stays in ReplyTime: the next pass finds the probe pending.
void ServerMonitor::WskWeb_Error(quint64 key, int number, const QString& description) {
    Q_UNUSED(number)
    const int row = m_rows.rowOfKey(key);
    if (row < 0)
        return;
    m_rows.setText(row, Col::Status, tr("SOCKET错误:") + description);
    raiseReplyErr(row);
    SocketFaultCount = raised(SocketFaultCount);
    record(row, ProbeOutcome::SocketError, m_clock.monotonicMs() - m_rows.probeStartedMs(row));
    CheckReplyState(row);
}

void ServerMonitor::raiseReplyErr(int row) {
    m_rows.setText(row, Col::ReplyErr,
                   QString::number(raised(leadingInteger(m_rows.text(row, Col::ReplyErr)))));
    m_rows.setTag(row, Col::ReplyErr, QStringLiteral("1"));
    m_serverAlerts.faultCounted(row, ServerAlerts::Run::Socket);
}

void ServerMonitor::CheckReplyState(int row) {
    if (row < 0 || row >= m_rows.rowCount())
        return;
    alertAtLimit(row, leadingInteger(m_rows.text(row, Col::ReplyErr)), m_settings.iReplyLim,
                 tr("注意:服务器测试返回异常"));
}

void ServerMonitor::CheckPingState(int row) {
    if (row < 0 || row >= m_rows.rowCount())
        return;
    alertAtLimit(row, leadingInteger(m_rows.text(row, Col::PingErr)), m_settings.iPingLim,
                 tr("注意:服务器PING异常"));
}

// Equality, not "at least": a run of failures alerts once, when it reaches
// the limit. A silenced server's row is repainted but alerts nobody.
void ServerMonitor::alertAtLimit(int row, qint32 count, qint32 limit, const QString& title) {
    if (limit <= 0 || count != limit)
        return;
    SetColor();
    if (m_serverAlerts.isSilenced(row))
        return;
    const QString message = QStringLiteral("IP:") + m_rows.text(row, Col::IPAddress) +
                            tr("\r\n状态:") + m_rows.text(row, Col::Status);
    m_alerts.ShowServerMsg(m_rows.text(row, Col::ID), 4, message, title);
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

void ServerMonitor::record(int row, quint8 kind, qint64 ms, qint32 status) {
    if (m_recorders.isEmpty())
        return;
    ProbeOutcome outcome;
    outcome.serverId = m_rows.text(row, Col::ID).toLongLong();
    outcome.timeUtcMs = m_clock.utcMs();
    outcome.kind = static_cast<ProbeOutcome::Kind>(kind);
    outcome.ms = static_cast<qint32>(std::clamp<qint64>(ms, 0, kMaxCount));
    outcome.status = status;
    for (ResultRecorder* recorder : std::as_const(m_recorders))
        recorder->record(outcome);
}

QString ServerMonitor::tip(const QString& line) const {
    return sTips + QStringLiteral("\r\n") + line;
}
