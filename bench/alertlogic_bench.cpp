// Measures what dependencies, maintenance windows, flapping and reminders
// cost a pass: 10,000 rows of loopback servers (or --rows N), 500 of them
// parents of the rest, 20 weekly windows of which half are open. A whole
// pass is timed with all of it configured; the alert gate's work of one
// pass (its pass start and settling, and what recording asks of it per
// row) is timed apart over the same rows with every parent failing and
// every child failing below it, its worst case. The share is the gate's
// time against the pass's.
//   alertlogic_bench [--rows N] [--repeats K]
#include "BenchDoubles.h"
#include "BenchFigures.h"
#include "EventWait.h"
#include "LoopbackServer.h"

#include "catalogue/ServerListLoader.h"
#include "monitor/AlertGate.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "platform/FileLimit.h"
#include "platform/SystemClock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <cstdio>

namespace {

constexpr int Parents = 500;
constexpr int Windows = 20;

QList<ServerRecord> records(const std::vector<LoopbackServer::Endpoint>& endpoints, int rows) {
    QList<ServerRecord> list;
    for (int i = 0; i < rows; ++i) {
        const auto& endpoint = endpoints[static_cast<size_t>(i) % endpoints.size()];
        ServerRecord record;
        record.id = i + 1;
        record.displayName = QStringLiteral("bench%1").arg(record.id);
        record.ipAddress = QString::fromStdString(endpoint.address);
        record.port = QString::number(endpoint.port);
        record.postData =
            QStringLiteral("ASC:71:69:84:32:47:32:72:84:84:80:47:49:46:48:13:10:13:10");
        record.replyData = QStringLiteral("200 OK");
        record.parentId = i < Parents ? 0 : i % Parents + 1;
        list.append(record);
    }
    return list;
}

// Half of them open now, each over its own share of the servers.
QList<MaintenanceWindow> windows(int rows, qint64 nowUtcMs) {
    QList<MaintenanceWindow> list;
    for (int w = 0; w < Windows; ++w) {
        MaintenanceWindow window;
        window.kind = MaintenanceWindow::Kind::Weekly;
        window.days = 0x7f;
        window.timeZone = w % 2 == 0 ? "Europe/Berlin" : "America/New_York";
        const QTime now =
            QDateTime::fromMSecsSinceEpoch(nowUtcMs, QTimeZone(window.timeZone)).time();
        window.startTime = now.addSecs(w % 2 == 0 ? -600 : 7200);
        window.minutes = 60;
        for (int id = w + 1; id <= rows; id += Windows * 4)
            window.servers.append(id);
        list.append(window);
    }
    return list;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    int rowCount = 10000;
    int repeats = 5;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments.at(i) == QLatin1String("--rows"))
            rowCount = std::max(Parents + 1, arguments.at(i + 1).toInt());
        else if (arguments.at(i) == QLatin1String("--repeats"))
            repeats = std::max(1, arguments.at(i + 1).toInt());
    }
    FileLimit::raiseToHardLimit();
    LoopbackServer server(8, 4);

    ServerRowModel rows;
    ServerListLoader::LoadServerList(rows, records(server.endpoints(), rowCount));
    MonitorSettings settings;
    settings.iTimerN = 0; // every tick a pass
    settings.RemindMin = 5;
    settings.FlapLimit = 6;
    SystemClock clock;
    InstantEcho echo;
    SilentAlerts alerts;
    ServerMonitor monitor(rows, rows, settings, clock, echo, alerts);
    monitor.timerProc().setInterval(24 * 3600 * 1000);
    monitor.setMaintenanceWindows(windows(rowCount, clock.utcMs()));
    monitor.CmdStart_Click();
    waitUntil([&] { return !monitor.isPassRunning(); }, 30000);

    std::vector<double> passUs;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer elapsed;
        elapsed.start();
        monitor.TimerProc_Timer();
        if (!waitUntil(
                [&] { return monitor.passReplyCount() >= rowCount && !monitor.isPassRunning(); },
                60000)) {
            std::printf("alertlogic: a pass did not complete\n");
            return 1;
        }
        passUs.push_back(static_cast<double>(elapsed.nsecsElapsed()) / 1e3);
    }
    monitor.CmdStart_Click();

    // The worst case apart: every parent at its limit, every child failing.
    for (int row = 0; row < rows.rowCount(); ++row) {
        rows.setText(row, ServerRowModel::ReplyErr, QStringLiteral("3"));
        rows.setTag(row, ServerRowModel::ReplyErr, QStringLiteral("1"));
    }
    ServerAlerts serverAlerts(rows, settings, clock, alerts);
    AlertGate gate(rows, settings, clock, alerts, serverAlerts);
    gate.setWindows(windows(rowCount, clock.utcMs()));
    std::vector<double> gateUs;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer elapsed;
        elapsed.start();
        gate.passBegins();
        int marked = 0;
        for (int row = 0; row < rows.rowCount(); ++row)
            marked += (gate.inMaintenance(row) ? 1 : 0) + (gate.isUnreachable(row) ? 1 : 0);
        gate.echoesDone();
        gate.repliesJudged();
        gateUs.push_back(static_cast<double>(elapsed.nsecsElapsed()) / 1e3);
        if (marked == 0) {
            std::printf("alertlogic: nothing marked\n");
            return 1;
        }
    }
    const Spread pass = spreadOf(passUs);
    const Spread gateSpread = spreadOf(gateUs);
    std::printf("N=%d rows, %d parents, %d weekly windows, median of %d\n", rowCount, Parents,
                Windows, repeats);
    std::printf("  %-28s %.1f ms\n", "whole pass, all configured", pass.median / 1e3);
    std::printf("  %-28s %.2f ms (worst case: every row failing)\n", "alert gate per pass",
                gateSpread.median / 1e3);
    std::printf("alertlogic_share=%.4f\n", gateSpread.median / pass.median);
    return 0;
}
