#pragma once

#include <QtGlobal>

class ProbePass;
class ServerAlerts;
class ServerRowModel;
struct MonitorSettings;

// What a judged reply does to its row's counts, alike for every kind of
// probe: a correct reply clears the row's fault count, ends its run of faults
// and may count as slow; a fault raises the count and goes on with the run.
class ReplyCounts final {
    Q_DISABLE_COPY_MOVE(ReplyCounts)
public:
    // Everything passed in must outlive the counts.
    ReplyCounts(ServerRowModel& rows, const MonitorSettings& settings, ServerAlerts& serverAlerts,
                ProbePass& pass);

    // A correct reply after elapsedMs, with a TLS handshake of handshakeUs
    // (0 without one): shown, recorded, and alerted about when the run of
    // slow replies has just reached the limit.
    void correct(int row, qint64 elapsedMs, qint64 handshakeUs);
    // A fault of the row's probe, its Status already set.
    void fault(int row);

private:
    ServerRowModel& m_rows;
    const MonitorSettings& m_settings;
    ServerAlerts& m_serverAlerts;
    ProbePass& m_pass;
};
