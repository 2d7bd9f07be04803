#include "monitor/ReplyCounts.h"

#include "monitor/MonitorSettings.h"
#include "monitor/ProbePass.h"
#include "monitor/ServerAlerts.h"
#include "monitor/ServerRowModel.h"
#include "monitor/SharedTranslations.h"
#include "monitor/TextNumbers.h"

#include <QCoreApplication>

namespace {
using Col = ServerRowModel::Column;
} // namespace

ReplyCounts::ReplyCounts(ServerRowModel& rows, const MonitorSettings& settings,
                         ServerAlerts& serverAlerts, ProbePass& pass)
    : m_rows(rows)
    , m_settings(settings)
    , m_serverAlerts(serverAlerts)
    , m_pass(pass) {}

void ReplyCounts::correct(int row, qint64 elapsedMs, qint64 handshakeUs) {
    const qint32 faultRun = leadingInteger(m_rows.text(row, Col::ReplyErr));
    m_rows.setText(
        row, Col::Status,
        SharedTranslations::text("TcpProbe", QT_TRANSLATE_NOOP("TcpProbe", "已收到正确的回应包")));
    m_rows.setText(row, Col::ReplyErr, QStringLiteral("0"));
    m_rows.setToolTip(
        row, Col::ReplyErr,
        SharedTranslations::text("TcpProbe", QT_TRANSLATE_NOOP("TcpProbe", "累计错误数:0")));
    m_rows.setTag(row, Col::ReplyErr, QStringLiteral("0"));
    // The status says "slow" before the result is recorded, so a record of
    // it reads the same as the row.
    const qint32 slowRun = m_serverAlerts.correctReply(row, elapsedMs);
    m_pass.probeResult(row, ProbeOutcome::Correct, elapsedMs, handshakeUs);
    m_serverAlerts.runEnded(row, ServerAlerts::Run::Socket, faultRun);
    if (slowRun)
        m_pass.alertAtLimit(row, slowRun, m_settings.iReplyLim,
                            QCoreApplication::translate("TcpProbe", "注意:服务器响应缓慢"));
}

void ReplyCounts::fault(int row) {
    m_rows.setText(row, Col::ReplyErr,
                   QString::number(raised(leadingInteger(m_rows.text(row, Col::ReplyErr)))));
    m_rows.setTag(row, Col::ReplyErr, QStringLiteral("1"));
    m_serverAlerts.faultCounted(row, ServerAlerts::Run::Socket);
}
