#pragma once

#include "BenchDoubles.h"

#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "monitor/TextSortProxyModel.h"
#include "platform/SystemClock.h"

class ServerRowModel;

// Passes of the whole monitoring cycle over the rows, whenever a benchmark
// asks, each checked: every row must end with a correct reply. Every echo
// answers at once, so a pass costs its probes.
class CheckedPassRunner final {
    Q_DISABLE_COPY_MOVE(CheckedPassRunner)
public:
    struct PassResult {
        double cpuMicros = -1; // of the process; -1 when a check failed
        double maxStallMs = 0;
    };

    // name starts the lines that report a failed check; caFile is trusted
    // beside the system's certificates.
    CheckedPassRunner(ServerRowModel& rows, const char* name, const QString& caFile = {});
    ~CheckedPassRunner();

    // One pass, from the preamble until every reply has arrived; its CPU time
    // until then. With metered, a 1 ms timer records the longest wait of an
    // event meanwhile; its own turns cost CPU time, so passes timed against
    // a floor go without it.
    PassResult pass(bool metered);

private:
    ServerRowModel& m_rows;
    const char* m_name;
    TextSortProxyModel m_listView;
    MonitorSettings m_settings;
    SystemClock m_clock;
    InstantEcho m_echo;
    SilentAlerts m_alerts;
    ServerMonitor m_monitor;
};
