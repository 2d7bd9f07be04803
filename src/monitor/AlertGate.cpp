#include "monitor/AlertGate.h"

#include "monitor/AlertSink.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerRowModel.h"
#include "monitor/TextNumbers.h"
#include "platform/Clock.h"

#include <limits>
#include <utility>

namespace {

using Col = ServerRowModel::Column;
using Run = ServerAlerts::Run;
const QString kFault = QStringLiteral("1");

QString socketTitle() {
    return QCoreApplication::translate("ServerMonitor", "注意:服务器测试返回异常");
}

QString echoTitle() {
    return QCoreApplication::translate("ServerMonitor", "注意:服务器PING异常");
}

} // namespace

AlertGate::AlertGate(ServerRowModel& rows, const MonitorSettings& settings, Clock& clock,
                     AlertSink& alerts, ServerAlerts& serverAlerts)
    : m_rows(rows)
    , m_settings(settings)
    , m_clock(clock)
    , m_alerts(alerts)
    , m_serverAlerts(serverAlerts)
    , m_dependencies(rows) {}

QString AlertGate::unreachableStatus(const QString& parentName) {
    return tr("上级服务器故障:") + parentName;
}

void AlertGate::setWindows(const QList<MaintenanceWindow>& windows) {
    m_plan.setWindows(windows);
    refreshMaintenance();
}

void AlertGate::clear() {
    m_dependencies.invalidate();
    m_inPass = false;
    m_held.clear();
    m_unreachable.clear();
    m_baselines.clear();
    m_inMaintenance.clear();
    m_flaps.clear();
    m_reminders.clear();
    m_flapMarks = false;
    refreshMaintenance();
}

void AlertGate::tick() {
    if (m_clock.utcMs() >= m_maintenanceDueUtcMs)
        refreshMaintenance();
}

void AlertGate::passBegins() {
    if (m_inPass)
        settle();
    m_inPass = true;
    m_echoesDone = false;
    m_repliesJudged = false;
    refreshMaintenance();
}

void AlertGate::echoesDone() {
    m_echoesDone = true;
    if (m_inPass && m_repliesJudged)
        settle();
}

void AlertGate::repliesJudged() {
    m_repliesJudged = true;
    if (m_inPass && m_echoesDone)
        settle();
}

void AlertGate::settle() {
    m_inPass = false;
    markUnreachable();
    const QList<std::pair<quint64, QString>> held = std::exchange(m_held, {});
    for (const auto& [key, title] : held) {
        const int row = m_rows.rowOfKey(key);
        if (row >= 0)
            deliver(row, title);
    }
    detectFlapping();
    remind();
}

bool AlertGate::failing(int row) const {
    return (m_settings.iReplyLim > 0 &&
            leadingInteger(m_rows.text(row, Col::ReplyErr)) >= m_settings.iReplyLim) ||
           (m_settings.iPingLim > 0 &&
            leadingInteger(m_rows.text(row, Col::PingErr)) >= m_settings.iPingLim);
}

bool AlertGate::faulting(int row) const {
    return m_rows.tag(row, Col::ReplyErr) == kFault || m_rows.tag(row, Col::PingErr) == kFault;
}

qint32 AlertGate::runCount(int row, ServerAlerts::Run run, qint32 count) {
    if (m_baselines.isEmpty())
        return count;
    const auto found = m_baselines.find(m_rows.keyAt(row));
    if (found == m_baselines.end())
        return count;
    qint32& base = (*found)[run == Run::Socket ? 0 : 1];
    // A count no higher than the base belongs to a run begun since.
    if (count <= base) {
        base = 0;
        return count;
    }
    return count - base;
}

void AlertGate::alert(int row, const QString& title) {
    if (m_inPass && m_dependencies.parentRow(row) >= 0) {
        m_held.append({m_rows.keyAt(row), title});
        return;
    }
    deliver(row, title);
}

AlertGate::Block AlertGate::blockOf(int row) const {
    if (m_serverAlerts.isSilenced(row))
        return Block::Silenced;
    if (inMaintenance(row))
        return Block::Maintenance;
    if (isUnreachable(row))
        return Block::Unreachable;
    if (m_rows.marks(row) & ServerRowModel::FlappingMark)
        return Block::Flapping;
    return Block::None;
}

bool AlertGate::inMaintenance(int row) const {
    return m_rows.marks(row) & ServerRowModel::MaintenanceMark;
}

int AlertGate::unreachableBelow(int row) const {
    if (m_dependencies.parentRow(row) < 0 || !faulting(row))
        return -1;
    return m_dependencies.failingAncestor(row, [this](int r) { return failing(r); });
}

bool AlertGate::isUnreachable(int row) const {
    return unreachableBelow(row) >= 0;
}

bool AlertGate::markIfUnreachable(int row) {
    const int ancestor = unreachableBelow(row);
    if (ancestor < 0)
        return false;
    m_rows.setText(row, Col::Status, unreachableStatus(m_rows.text(ancestor, Col::DisplayName)));
    return true;
}

void AlertGate::deliver(int row, const QString& title, const QString& titleSuffix) {
    if (blockOf(row) != Block::None)
        return;
    QString message = QStringLiteral("IP:") + m_rows.text(row, Col::IPAddress) +
                      QCoreApplication::translate("ServerMonitor", "\r\n状态:") +
                      m_rows.text(row, Col::Status);
    if (const int dependents = m_dependencies.descendants(row); dependents > 0)
        message += QStringLiteral("\r\n") + tr("另有%1台下级服务器受影响").arg(dependents);
    m_alerts.ShowServerMsg(m_rows.text(row, Col::ID), 4, message, title + titleSuffix);
    m_serverAlerts.feed(row, AlertEvent::Kind::Alert, title + titleSuffix, message);
    if (m_settings.RemindMin > 0 && titleSuffix.isEmpty())
        m_reminders.alerted(m_rows.keyAt(row), title, m_clock.monotonicMs());
}

// The windows open now mark their rows; a row whose window has closed
// alerts at once when its run is at or past its limit, as it would have
// when the run reached it.
void AlertGate::refreshMaintenance() {
    const qint64 now = m_clock.utcMs();
    if (m_plan.isEmpty() && m_inMaintenance.isEmpty()) {
        m_maintenanceDueUtcMs = std::numeric_limits<qint64>::max();
        return;
    }
    const MaintenancePlan::Open open = m_plan.openAt(now);
    m_maintenanceDueUtcMs = open.nextChangeUtcMs;
    QSet<quint64> inside;
    if (!open.isEmpty()) {
        const QList<qint64>& ids = m_dependencies.serverIds();
        for (int row = 0; row < ids.size(); ++row) {
            if (!open.covers(ids.at(row)))
                continue;
            inside.insert(m_rows.keyAt(row));
            m_rows.setMark(row, ServerRowModel::MaintenanceMark, true);
        }
    }
    for (const quint64 key : std::as_const(m_inMaintenance)) {
        const int row = m_rows.rowOfKey(key);
        if (row < 0 || inside.contains(key))
            continue;
        m_rows.setMark(row, ServerRowModel::MaintenanceMark, false);
        if (m_settings.iReplyLim > 0 &&
            leadingInteger(m_rows.text(row, Col::ReplyErr)) >= m_settings.iReplyLim)
            deliver(row, socketTitle());
        else if (m_settings.iPingLim > 0 &&
                 leadingInteger(m_rows.text(row, Col::PingErr)) >= m_settings.iPingLim)
            deliver(row, echoTitle());
    }
    m_inMaintenance = std::move(inside);
}

// A failing row below a failing ancestor says so in its Status. A row that
// is reachable again while its runs go on counts them from the last pass
// it was unreachable in.
void AlertGate::markUnreachable() {
    QHash<quint64, Counts> unreachable;
    if (!m_dependencies.isEmpty()) {
        for (const int row : m_dependencies.dependentRows()) {
            if (!faulting(row))
                continue;
            const int ancestor =
                m_dependencies.failingAncestor(row, [this](int r) { return failing(r); });
            if (ancestor < 0)
                continue;
            unreachable.insert(m_rows.keyAt(row), {leadingInteger(m_rows.text(row, Col::ReplyErr)),
                                                   leadingInteger(m_rows.text(row, Col::PingErr))});
            m_rows.setText(row, Col::Status,
                           unreachableStatus(m_rows.text(ancestor, Col::DisplayName)));
        }
    }
    for (auto it = m_unreachable.cbegin(); it != m_unreachable.cend(); ++it) {
        const int row = m_rows.rowOfKey(it.key());
        if (row >= 0 && !unreachable.contains(it.key()) && faulting(row))
            m_baselines.insert(it.key(), it.value());
    }
    m_unreachable = std::move(unreachable);
}

void AlertGate::detectFlapping() {
    const qint32 limit = m_settings.FlapLimit;
    if (limit <= 0) {
        if (m_flapMarks) {
            for (int row = 0; row < m_rows.rowCount(); ++row)
                m_rows.setMark(row, ServerRowModel::FlappingMark, false);
            m_flaps.clear();
            m_flapMarks = false;
        }
        return;
    }
    for (int row = 0; row < m_rows.rowCount(); ++row) {
        const quint8 state = (m_rows.tag(row, Col::ReplyErr) == kFault ? 1 : 0) |
                             (m_rows.tag(row, Col::PingErr) == kFault ? 2 : 0);
        switch (m_flaps.passed(m_rows.keyAt(row), state, limit)) {
        case FlapDetector::Change::Began:
            m_flapMarks = true;
            deliver(row, tr("注意:服务器状态频繁变化"));
            m_reminders.forget(m_rows.keyAt(row));
            m_rows.setMark(row, ServerRowModel::FlappingMark, true);
            break;
        case FlapDetector::Change::Ended:
            m_rows.setMark(row, ServerRowModel::FlappingMark, false);
            break;
        case FlapDetector::Change::None:
            break;
        }
    }
}

// Servers still at or past a limit are reminded of every REMINDMIN
// minutes, unless an alert about them would reach nobody now.
void AlertGate::remind() {
    if (m_settings.RemindMin <= 0) {
        m_reminders.clear();
        return;
    }
    if (m_reminders.isEmpty())
        return;
    for (const quint64 key : m_reminders.keys()) {
        const int row = m_rows.rowOfKey(key);
        if (row < 0 || !failing(row))
            m_reminders.forget(key);
    }
    for (const AlertReminders::Due& due :
         m_reminders.due(m_clock.monotonicMs(), m_settings.RemindMin)) {
        const int row = m_rows.rowOfKey(due.key);
        if (row >= 0)
            deliver(row, due.title, tr("(持续%1分钟)").arg(due.minutes));
    }
}
