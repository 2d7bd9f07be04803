#pragma once

#include "monitor/AlertReminders.h"
#include "monitor/FlapDetector.h"
#include "monitor/MaintenancePlan.h"
#include "monitor/ServerAlerts.h"
#include "monitor/ServerDependencies.h"

#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <array>

class AlertSink;
class Clock;
class ServerRowModel;
struct MonitorSettings;

// Whether an alert about a row reaches people, and the alerts the pass
// gives besides those at a limit. An alert reaches nobody while its server
// is silenced, in an open maintenance window, unreachable (an ancestor's
// socket or echo fault run has reached its limit while the row fails) or
// flapping. A row with a parent holds its alert until the pass is settled,
// so the order of the rows within a pass does not decide. When a pass is
// settled: the Status of unreachable rows, the flapping of every row
// (FLAPLIMIT), the reminders of servers still down (REMINDMIN). When a
// maintenance window closes, a server still at or past its limit alerts at
// once. Nothing here acts without parents, windows, FLAPLIMIT and REMINDMIN.
class AlertGate final {
    Q_DECLARE_TR_FUNCTIONS(AlertGate)
    Q_DISABLE_COPY_MOVE(AlertGate)
public:
    enum class Block { None, Silenced, Maintenance, Unreachable, Flapping };

    AlertGate(ServerRowModel& rows, const MonitorSettings& settings, Clock& clock,
              AlertSink& alerts, ServerAlerts& serverAlerts);

    void setWindows(const QList<MaintenanceWindow>& windows);
    const MaintenancePlan& plan() const { return m_plan; }

    // The rows were replaced: everything kept per row starts afresh.
    void clear();
    // Rows were removed, added or replaced: positions and parents change.
    void rowsChanged() { m_dependencies.invalidate(); }
    // Every tick: maintenance looked at again once a window may have closed.
    void tick();
    // A pass's results are in once its echoes are done and its replies
    // judged; replies that never come are given up on when the next pass
    // begins. Then the pass is settled, once.
    void passBegins();
    void echoesDone();
    void repliesJudged();

    // The count of the row's run as its limit sees it: after the row was
    // unreachable, its run counts anew from when it was reachable again.
    qint32 runCount(int row, ServerAlerts::Run run, qint32 count);
    // The row's run has just reached its limit.
    void alert(int row, const QString& title);

    Block blockOf(int row) const;
    bool inMaintenance(int row) const;
    bool isUnreachable(int row) const;
    // Whether the row's fault lies below a failing ancestor now; if so its
    // Status says which at once, not only when the pass settles.
    bool markIfUnreachable(int row);
    int descendants(int row) { return m_dependencies.descendants(row); }

    static QString unreachableStatus(const QString& parentName);

private:
    // The failing ancestor the row's fault lies below; -1 when none.
    int unreachableBelow(int row) const;
    bool failing(int row) const;
    bool faulting(int row) const;
    void deliver(int row, const QString& title, const QString& titleSuffix = {});
    void refreshMaintenance();
    void markUnreachable();
    void detectFlapping();
    void remind();

    ServerRowModel& m_rows;
    const MonitorSettings& m_settings;
    Clock& m_clock;
    AlertSink& m_alerts;
    ServerAlerts& m_serverAlerts;
    mutable ServerDependencies m_dependencies; // built when first asked
    MaintenancePlan m_plan;
    FlapDetector m_flaps;
    AlertReminders m_reminders;

    void settle();

    bool m_inPass = false;     // results of a pass not yet settled
    bool m_echoesDone = false; // of that pass
    bool m_repliesJudged = false;
    QList<std::pair<quint64, QString>> m_held; // alerts of rows with a parent, by key
    using Counts = std::array<qint32, 2>;      // socket, echo runs
    QHash<quint64, Counts> m_unreachable; // rows unreachable at the last pass's end, and their runs
    QHash<quint64, Counts> m_baselines;
    QSet<quint64> m_inMaintenance;
    qint64 m_maintenanceDueUtcMs = 0;
    bool m_flapMarks = false; // some row shows the flapping mark
};
