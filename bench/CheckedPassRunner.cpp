#include "CheckedPassRunner.h"

#include "BenchFigures.h"
#include "EventWait.h"
#include "StallMeter.h"

#include "monitor/ServerRowModel.h"

#include <cstdio>

CheckedPassRunner::CheckedPassRunner(ServerRowModel& rows, const char* name, const QString& caFile)
    : m_rows(rows)
    , m_name(name)
    , m_monitor(rows, m_listView, m_settings, m_clock, m_echo, m_alerts) {
    m_listView.setSourceModel(&rows);
    m_settings.iTimerN = 0; // every tick starts a pass
    m_settings.iTimeOut = 30000;
    m_settings.TlsCaFile = caFile;
    m_monitor.CmdStart_Click();
    // Monitoring stays on, but passes start only when the benchmark asks.
    m_monitor.timerProc().setInterval(24 * 3600 * 1000);
}

CheckedPassRunner::~CheckedPassRunner() {
    m_monitor.CmdStart_Click();
}

CheckedPassRunner::PassResult CheckedPassRunner::pass(bool metered) {
    const int rowCount = m_rows.rowCount();
    StallMeter stalls;
    if (metered)
        stalls.start();
    const double started = processCpuMicros();
    m_monitor.TimerProc_Timer();
    waitUntil([&] { return m_monitor.passReplyCount() >= rowCount; }, 60000);
    PassResult result;
    const double used = processCpuMicros() - started;
    if (metered)
        result.maxStallMs = stalls.stopMaxLateMs();
    waitUntil([&] { return !m_monitor.isPassRunning(); }, 60000);
    // Replies are judged a few turns after they arrived.
    const QString correct = QStringLiteral("已收到正确的回应包");
    const auto firstWrong = [&] {
        for (int row = 0; row < rowCount; ++row) {
            if (m_rows.text(row, ServerRowModel::Status) != correct)
                return row;
        }
        return -1;
    };
    waitUntil([&] { return firstWrong() < 0; }, 60000);
    if (const int row = firstWrong(); row >= 0) {
        std::fprintf(stderr, "%s: row %d: %s\n", m_name, row,
                     qPrintable(m_rows.text(row, ServerRowModel::Status)));
        return result;
    }
    result.cpuMicros = used;
    return result;
}
