#include "monitor/ServerAlerts.h"

#include "monitor/AlertSink.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerSilence.h"
#include "monitor/TextNumbers.h"
#include "platform/Clock.h"

#include <utility>

namespace {

using Col = ServerRowModel::Column;
const QString kSlow = QStringLiteral("1");

} // namespace

ServerAlerts::ServerAlerts(ServerRowModel& rows, const MonitorSettings& settings, Clock& clock,
                           AlertSink& alerts)
    : m_rows(rows)
    , m_settings(settings)
    , m_clock(clock)
    , m_alerts(alerts) {}

bool ServerAlerts::isSilenced(int row) const {
    return m_silence && m_silence->isSilenced(row);
}

void ServerAlerts::passBegins() {
    if (m_silence)
        m_silence->expire();
}

qint64& ServerAlerts::runStart(State& state, Run run) {
    return run == Run::Socket ? state.socketRunStart : state.echoRunStart;
}

void ServerAlerts::faultCounted(int row, Run run) {
    qint64& start = runStart(m_runs[m_rows.keyAt(row)], run);
    if (start < 0)
        start = m_clock.monotonicMs();
}

// A server silenced until its recovery hears of it whatever RECOVERYMSG
// says, and is silenced no more; one silenced for a while hears nothing.
void ServerAlerts::runEnded(int row, Run run, qint32 faults) {
    if (faults <= 0)
        return;
    const auto found = m_runs.find(m_rows.keyAt(row));
    qint64 start = -1;
    if (found != m_runs.end())
        std::swap(start, runStart(*found, run));
    const qint32 limit = run == Run::Socket ? m_settings.iReplyLim : m_settings.iPingLim;
    if (limit <= 0 || faults < limit)
        return;
    const bool quiet = isSilenced(row) || (m_quiet && m_quiet(row));
    const bool untilRecovery = m_silence && m_silence->endAtRecovery(row);
    const qint64 failing = start < 0 ? 0 : m_clock.monotonicMs() - start;
    const QString message = tr("服务器:%1\r\nIP:%2\r\n故障时长:%3")
                                .arg(m_rows.text(row, Col::DisplayName),
                                     m_rows.text(row, Col::IPAddress), durationText(failing));
    const QString title = tr("注意:服务器已恢复");
    if (!quiet)
        feed(row, AlertEvent::Kind::Recovery, title, message, failing);
    if (untilRecovery || (m_settings.RecoveryMsg != 0 && !quiet))
        m_alerts.ShowServerNotice(m_rows.text(row, Col::ID), message, title);
}

void ServerAlerts::feed(int row, AlertEvent::Kind kind, const QString& title,
                        const QString& message, qint64 durationMs) const {
    if (!m_feed)
        return;
    AlertEvent event;
    event.kind = kind;
    event.server = m_rows.text(row, Col::ID);
    event.serverName = m_rows.text(row, Col::DisplayName);
    event.address = m_rows.text(row, Col::IPAddress);
    event.port = m_rows.text(row, Col::Port);
    event.status = m_rows.text(row, Col::Status);
    event.title = title;
    event.message = message;
    event.durationMs = durationMs;
    m_feed->alertRaised(event);
}

qint32 ServerAlerts::correctReply(int row, qint64 elapsedMs) {
    const qint32 warnMs = m_rows.warnMs(row);
    if (warnMs <= 0 || elapsedMs <= warnMs) {
        if (m_rows.tag(row, Col::ReplyTime) == kSlow) {
            m_rows.setTag(row, Col::ReplyTime, QStringLiteral("0"));
            m_runs[m_rows.keyAt(row)].slowReplies = 0;
        }
        return 0;
    }
    m_rows.setText(row, Col::Status, tr("响应缓慢:%1ms").arg(elapsedMs));
    m_rows.setTag(row, Col::ReplyTime, kSlow);
    qint32& slow = m_runs[m_rows.keyAt(row)].slowReplies;
    slow = raised(slow);
    return slow;
}

QString ServerAlerts::durationText(qint64 ms) {
    qint64 seconds = ms / 1000;
    const qint64 days = seconds / 86400;
    const qint64 hours = seconds / 3600 % 24;
    const qint64 minutes = seconds / 60 % 60;
    seconds %= 60;
    if (days > 0)
        return tr("%1天%2小时%3分%4秒").arg(days).arg(hours).arg(minutes).arg(seconds);
    if (hours > 0)
        return tr("%1小时%2分%3秒").arg(hours).arg(minutes).arg(seconds);
    if (minutes > 0)
        return tr("%1分%2秒").arg(minutes).arg(seconds);
    return tr("%1秒").arg(seconds);
}
