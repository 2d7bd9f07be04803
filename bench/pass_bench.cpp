// Measures the cost of a monitoring pass over N rows of loopback servers,
// against a minimal poll() loop and against process-per-check peer tools;
// how long events wait during a pass, a reload of the list and a sort; what
// recording the results in the history adds; and, with --silent S, a whole
// pass in which S hosts never answer an echo, beside fping over the same
// hosts.
// Ratios to the poll() floor come from interleaved pairs (our pass, the
// floor, our pass, ...), one ratio per pair, reported as the median and the
// interquartile range; event waits as the median of the per-run maxima and
// the worst run.
//   pass_bench [--rows N] [--repeats K] [--pairs P] [--no-peers] [--summary]
//              [--silent S] [--key-figures]
#include "BenchDoubles.h"
#include "BenchFigures.h"
#include "BenchRecords.h"
#include "EventWait.h"
#include "LoopbackServer.h"
#include "PeerTimer.h"
#include "PollFloor.h"
#include "StallMeter.h"

#include "catalogue/ServerListLoader.h"
#include "history/HistoryRecorder.h"
#include "monitor/AlertSink.h"
#include "monitor/IcmpEchoService.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "monitor/TextSortProxyModel.h"
#include "platform/FileLimit.h"
#include "platform/SystemClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <unistd.h>

namespace {
const std::string Request = "GET / HTTP/1.0\r\n\r\n";
using BenchRecords::Expected;

struct Options {
    int rows = 1000;
    int repeats = 3;
    int pairs = 9;
    bool peers = true;
    bool summary = false;
    int silent = 0;
    bool keyFigures = false;
};

Options parseOptions(const QStringList& arguments) {
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--rows") && i + 1 < arguments.size())
            options.rows = std::clamp(arguments.at(++i).toInt(), 1, 20000);
        else if (argument == QLatin1String("--repeats") && i + 1 < arguments.size())
            options.repeats = std::clamp(arguments.at(++i).toInt(), 1, 10);
        else if (argument == QLatin1String("--pairs") && i + 1 < arguments.size())
            options.pairs = std::clamp(arguments.at(++i).toInt(), 1, 99);
        else if (argument == QLatin1String("--no-peers"))
            options.peers = false;
        else if (argument == QLatin1String("--summary"))
            options.summary = true;
        else if (argument == QLatin1String("--silent") && i + 1 < arguments.size())
            options.silent = std::clamp(arguments.at(++i).toInt(), 0, 250);
        else if (argument == QLatin1String("--key-figures"))
            options.keyFigures = true;
    }
    return options;
}

// The history recorder, with the time the UI thread spends in it.
class TimedRecorder final : public ResultRecorder {
public:
    explicit TimedRecorder(HistoryRecorder& recorder)
        : m_recorder(recorder) {}
    void record(const ProbeOutcome& outcome) override {
        QElapsedTimer timer;
        timer.start();
        m_recorder.record(outcome);
        nanoseconds += timer.nsecsElapsed();
        ++results;
    }
    void flush() {
        QElapsedTimer timer;
        timer.start();
        m_recorder.flush();
        nanoseconds += timer.nsecsElapsed();
    }
    qint64 nanoseconds = 0;
    qint64 results = 0;

private:
    HistoryRecorder& m_recorder;
};

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

struct PassResult {
    double micros = -1;    // wall time
    double cpuMicros = -1; // of the UI thread
    double maxStallMs = 0;
};

// One pass, timed from the preamble until the reply count reaches the row
// count (the TCP leg), or, for a whole pass, until its last echo completed
// as well. Either way the pass has ended when this returns.
PassResult timePass(ServerMonitor& monitor, int rowCount, bool wholePass = false) {
    StallMeter stalls;
    stalls.start();
    QElapsedTimer elapsed;
    elapsed.start();
    const double cpuStarted = threadCpuMicros();
    monitor.TimerProc_Timer();
    const auto done = [&] {
        return monitor.passReplyCount() >= rowCount && (!wholePass || !monitor.isPassRunning());
    };
    const bool passed = waitUntil(done, 30000);
    PassResult result;
    if (passed) {
        result.micros = static_cast<double>(elapsed.nsecsElapsed()) / 1e3;
        result.cpuMicros = threadCpuMicros() - cpuStarted;
    }
    result.maxStallMs = stalls.stopMaxLateMs();
    waitUntil([&] { return !monitor.isPassRunning(); }, 30000);
    return result;
}

struct LegResult {
    double perRowUs = -1;
    double passMs = -1;
    double maxStallMs = 0;
};

// A monitor over the rows that runs a pass whenever the benchmark asks.
class LegRunner final {
public:
    LegRunner(ServerRowModel& rows, EchoService& echo, ResultRecorder* recorder = nullptr)
        : m_monitor(rows, m_listView, m_settings, m_clock, echo, m_alerts) {
        m_listView.setSourceModel(&rows);
        m_settings.iTimerN = 0; // every tick starts a pass
        m_settings.iTimeOut = 30000;
        m_monitor.setRecorder(recorder);
        m_monitor.CmdStart_Click();
        // Monitoring stays on, but passes start only when the benchmark ticks.
        m_monitor.timerProc().setInterval(24 * 3600 * 1000);
    }
    ~LegRunner() { m_monitor.CmdStart_Click(); }
    Q_DISABLE_COPY_MOVE(LegRunner)

    PassResult pass(int rowCount, bool wholePass = false) {
        return timePass(m_monitor, rowCount, wholePass);
    }

private:
    TextSortProxyModel m_listView;
    MonitorSettings m_settings;
    SystemClock m_clock;
    SilentAlerts m_alerts;
    ServerMonitor m_monitor;
};

LegResult measureLeg(ServerRowModel& rows, EchoService& echo, int rowCount, int repeats,
                     bool wholePass = false, ResultRecorder* recorder = nullptr,
                     const std::function<void()>& afterPass = {}) {
    LegRunner runner(rows, echo, recorder);
    std::vector<double> perRow;
    LegResult leg;
    for (int i = 0; i < repeats; ++i) {
        const PassResult pass = runner.pass(rowCount, wholePass);
        if (pass.micros < 0)
            return leg;
        perRow.push_back(pass.micros / rowCount);
        leg.maxStallMs = std::max(leg.maxStallMs, pass.maxStallMs);
        if (afterPass)
            afterPass();
    }
    leg.perRowUs = spreadOf(perRow).median;
    leg.passMs = leg.perRowUs * rowCount / 1000;
    return leg;
}

// Our TCP leg and the poll() floor in turn, so that both see the same
// machine at the same moment; each pair gives one ratio.
struct InterleavedLeg {
    double perRowUs = -1;
    double floorUs = -1;
    Spread ratio;       // of wall times
    Spread cpuRatio;    // of the UI thread's CPU time to the floor's
    Spread passStallMs; // the longest wait of each pass
};

InterleavedLeg measureInterleaved(ServerRowModel& rows, EchoService& echo,
                                  const std::vector<LoopbackServer::Endpoint>& endpoints,
                                  int pairs) {
    const int rowCount = rows.rowCount();
    LegRunner runner(rows, echo);
    std::vector<double> ours, floors, ratios, cpuRatios, stalls;
    InterleavedLeg result;
    for (int i = 0; i < pairs; ++i) {
        const PassResult pass = runner.pass(rowCount);
        if (pass.micros < 0)
            return result;
        const FloorTime floor = pollFloor(endpoints, Request, Expected.toStdString());
        if (floor.wallMicros <= 0)
            return result;
        ours.push_back(pass.micros / rowCount);
        floors.push_back(floor.wallMicros / rowCount);
        ratios.push_back(pass.micros / floor.wallMicros);
        cpuRatios.push_back(pass.cpuMicros / floor.cpuMicros);
        stalls.push_back(pass.maxStallMs);
    }
    result.perRowUs = spreadOf(ours).median;
    result.floorUs = spreadOf(floors).median;
    result.ratio = spreadOf(ratios);
    result.cpuRatio = spreadOf(cpuRatios);
    result.passStallMs = spreadOf(stalls);
    return result;
}

// Runs step from the event loop and lets the loop turn a while longer: the
// longest time an event waited meanwhile.
double stallOf(const std::function<void()>& step) {
    StallMeter stalls;
    stalls.start();
    QTimer::singleShot(0, step);
    bool lingered = false;
    QTimer::singleShot(50, [&lingered] { lingered = true; });
    waitUntil([&lingered] { return lingered; }, 1000);
    QCoreApplication::processEvents();
    return stalls.stopMaxLateMs();
}

struct ListStalls {
    double reloadMs = 0; // the longer of a reload after a pass and one of a sorted list
    double sortMs = 0;   // the longest over every column, both directions
};

// A reload of the whole list after a pass (its socket elements dropped with
// it), then a sort by each column, as a header click does it, through the
// list view's proxy, and a reload of the list so sorted, which the proxy
// sorts at once.
ListStalls measureListStalls(ServerRowModel& rows, const QList<ServerRecord>& records) {
    TextSortProxyModel listView;
    listView.setSourceModel(&rows);
    MonitorSettings settings;
    settings.iTimerN = 0;
    settings.iTimeOut = 30000;
    SystemClock clock;
    InstantEcho echo;
    SilentAlerts alerts;
    ServerMonitor monitor(rows, listView, settings, clock, echo, alerts);
    monitor.CmdStart_Click();
    monitor.timerProc().setInterval(24 * 3600 * 1000);
    timePass(monitor, rows.rowCount());
    monitor.CmdStart_Click();
    const auto reload = [&] { ServerListLoader::LoadServerList(rows, records); };
    ListStalls result;
    result.reloadMs = stallOf(reload);
    for (int column = 0; column < rows.columnCount(); ++column) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder})
            result.sortMs = std::max(result.sortMs, stallOf([&] { listView.sort(column, order); }));
    }
    listView.sort(ServerRowModel::DisplayName);
    result.reloadMs = std::max(result.reloadMs, stallOf(reload));
    return result;
}

// The list's waits over several runs: the median of each run's longest wait
// and the worst run.
struct ListStallRuns {
    Spread reloadMs;
    Spread sortMs;
};

ListStallRuns measureListStallRuns(ServerRowModel& rows, const QList<ServerRecord>& records,
                                   int runs) {
    std::vector<double> reloads, sorts;
    for (int i = 0; i < runs; ++i) {
        const ListStalls run = measureListStalls(rows, records);
        reloads.push_back(run.reloadMs);
        sorts.push_back(run.sortMs);
    }
    return {spreadOf(reloads), spreadOf(sorts)};
}

// Echoes that the benchmark's silent hosts never answer, lost at their real
// 200 ms deadline; every other echo goes to the real service. Stands in
// where no firewall rule drops the silent hosts' echo requests.
class SilentHostsEcho final : public EchoService {
public:
    SilentHostsEcho(EchoService& real, QStringList silentHosts)
        : m_real(real)
        , m_silent(std::move(silentHosts)) {}
    void PingHost(const QString& address, QObject* context, Done done) override {
        if (!m_silent.contains(address)) {
            m_real.PingHost(address, context, std::move(done));
            return;
        }
        QTimer::singleShot(IcmpEchoService::EchoWaitMs, Qt::PreciseTimer, &m_receiver,
                           [context = QPointer<QObject>(context), done = std::move(done)] {
                               if (!context)
                                   return;
                               EchoReply reply;
                               reply.status = 11010;
                               done(-11010, reply);
                           });
    }

private:
    EchoService& m_real;
    QStringList m_silent;
    QObject m_receiver;
};

// Whether an echo to address is answered.
bool echoAnswered(EchoService& echo, const QString& address) {
    QObject context;
    std::optional<long> result;
    echo.PingHost(address, &context,
                  [&result](long outcome, const EchoReply&) { result = outcome; });
    waitUntil([&result] { return result.has_value(); }, 10000);
    return result.value_or(-1) >= 0;
}

struct SilentResult {
    double passMs = -1;
    double fpingMs = -1;
    bool firewall = false; // the silent hosts' echoes were dropped by a rule
};

// A whole pass (TCP and echo) over rows of which some go to hosts that never
// answer an echo: the hosts 127.0.1.1 and up, whose echo requests the bench
// script drops with an nftables rule; fping over the same hosts beside it.
SilentResult measureSilentPass(int rowCount, int silentHosts, int repeats,
                               const std::vector<LoopbackServer::Endpoint>& answering) {
    LoopbackServer silentServers(silentHosts, 1, "127.0.1.");
    std::vector<LoopbackServer::Endpoint> rows;
    QStringList silent;
    for (const auto& endpoint : silentServers.endpoints())
        silent << QString::fromStdString(endpoint.address);
    const int stride = std::max(1, rowCount / silentHosts);
    for (int i = 0; i < rowCount; ++i) {
        const int host = i / stride;
        rows.push_back(i % stride == 0 && host < silentHosts
                           ? silentServers.endpoints()[static_cast<size_t>(host)]
                           : answering[static_cast<size_t>(i) % answering.size()]);
    }
    SilentResult result;
    IcmpEchoService icmp;
    if (!echoAnswered(icmp, QStringLiteral("127.0.0.1")))
        return result; // no echo at all here
    result.firewall = !echoAnswered(icmp, silent.front());
    SilentHostsEcho emulated(icmp, silent);
    EchoService& echo = result.firewall ? static_cast<EchoService&>(icmp) : emulated;
    ServerRowModel model;
    ServerListLoader::LoadServerList(model, BenchRecords::of(rows));
    result.passMs = measureLeg(model, echo, rowCount, repeats, true).passMs;

    // fping takes each host once, however many rows name it.
    std::vector<std::string> fping{"/usr/bin/fping", "-c1", "-t200", "-q"};
    for (const auto& row : rows) {
        if (std::find(fping.begin(), fping.end(), row.address) == fping.end())
            fping.push_back(row.address);
    }
    std::vector<double> fpingRuns;
    for (int i = 0; i < repeats; ++i)
        fpingRuns.push_back(wallMillisOfRun(fping));
    result.fpingMs = spreadOf(fpingRuns).median;
    return result;
}

// Echoes to every row's host, one after another, each awaited.
double echoPerCheckUs(EchoService& echo, const std::vector<LoopbackServer::Endpoint>& rows) {
    QElapsedTimer elapsed;
    elapsed.start();
    int answered = 0;
    QObject context;
    for (const auto& row : rows) {
        bool done = false;
        echo.PingHost(QString::fromStdString(row.address), &context,
                      [&](long result, const EchoReply&) {
                          answered += result >= 0 ? 1 : 0;
                          done = true;
                      });
        if (!waitUntil([&done] { return done; }, 10000))
            return -1;
    }
    if (answered != static_cast<int>(rows.size()))
        return -1;
    return static_cast<double>(elapsed.nsecsElapsed()) / 1e3 / static_cast<double>(rows.size());
}

std::vector<std::vector<std::string>>
checkTcpCommands(const std::vector<LoopbackServer::Endpoint>& rows, size_t count) {
    std::vector<std::vector<std::string>> commands;
    for (size_t i = 0; i < std::min(count, rows.size()); ++i)
        commands.push_back({"/usr/lib/nagios/plugins/check_tcp", "-H", rows[i].address, "-p",
                            std::to_string(rows[i].port), "-s", Request, "-e",
                            Expected.toStdString()});
    return commands;
}

std::vector<std::vector<std::string>>
fpingCommands(const std::vector<LoopbackServer::Endpoint>& rows, size_t count) {
    std::vector<std::vector<std::string>> commands;
    for (size_t i = 0; i < std::min(count, rows.size()); ++i)
        commands.push_back({"/usr/bin/fping", "-c1", "-q", rows[i].address});
    return commands;
}

struct HistoryCost {
    double usPerRow = -1;       // on the UI thread, per row and pass
    double bytesPerResult = -1; // file growth per stored raw result
};

// Passes with every echo answering while the history records: the UI
// thread's time in the recorder, and the file's size per result once the
// writer is done and the file closed.
HistoryCost measureHistory(ServerRowModel& rows, EchoService& echo, int rowCount, int repeats) {
    HistoryCost cost;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("History.db"));
    MonitorSettings settings;
    SystemClock clock;
    qint64 results = 0;
    {
        HistoryRecorder history(path, settings, clock);
        TimedRecorder timed(history);
        const LegResult leg =
            measureLeg(rows, echo, rowCount, repeats, false, &timed, [&timed] { timed.flush(); });
        if (leg.perRowUs < 0)
            return cost;
        QEventLoop written;
        QObject::connect(&history, &HistoryRecorder::flushed, &written, &QEventLoop::quit);
        QTimer::singleShot(30000, &written, &QEventLoop::quit);
        timed.flush();
        written.exec();
        cost.usPerRow = static_cast<double>(timed.nanoseconds) / 1e3 / (double(rowCount) * repeats);
        results = timed.results;
    }
    if (results > 0)
        cost.bytesPerResult = static_cast<double>(QFileInfo(path).size()) / double(results);
    return cost;
}

void printRatio(const char* label, double peer, double ours) {
    if (peer < 0 || ours <= 0)
        std::printf("  %-28s skipped (tool missing or a check failed)\n", label);
    else
        std::printf("  %-28s %.1f us per check, %.1fx ours\n", label, peer, peer / ours);
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());
    FileLimit::raiseToHardLimit();

    LoopbackServer server(8, 4);
    std::vector<LoopbackServer::Endpoint> rows;
    for (int i = 0; i < options.rows; ++i)
        rows.push_back(server.endpoints()[static_cast<size_t>(i) % server.endpoints().size()]);

    ServerRowModel model;
    model.setSpareRowsKept(true); // as the window's list does
    const long before = residentBytes();
    ServerListLoader::LoadServerList(model, BenchRecords::of(rows));
    const double bytesPerRow = static_cast<double>(residentBytes() - before) / options.rows;
    const ListStallRuns listStalls =
        measureListStallRuns(model, BenchRecords::of(rows), std::max(options.repeats, 5));

    InstantEcho instant;
    const InterleavedLeg tcp = measureInterleaved(model, instant, rows, options.pairs);
    IcmpEchoService icmp;
    const double echoUs = echoPerCheckUs(icmp, rows);
    const LegResult both =
        echoUs < 0 ? LegResult{} : measureLeg(model, icmp, options.rows, options.repeats);

    const HistoryCost history = measureHistory(model, instant, options.rows, options.repeats);

    const double floorUs = tcp.floorUs;
    const double ratio = tcp.ratio.median;

    std::printf("N=%d rows over %zu loopback endpoints, %d interleaved pairs, median of %d "
                "passes elsewhere\n",
                options.rows, server.endpoints().size(), options.pairs, options.repeats);
    std::printf("  %-28s %.1f us per row (pass %.1f ms)\n", "TCP leg", tcp.perRowUs,
                tcp.perRowUs * options.rows / 1000);
    if (both.perRowUs < 0)
        std::printf("  %-28s skipped (ICMP echo not permitted here)\n", "TCP and echo");
    else
        std::printf("  %-28s %.1f us per row (echo alone %.1f us)\n", "TCP and echo", both.perRowUs,
                    echoUs);
    std::printf("  %-28s %.1f us per row, ours/floor %.2f (IQR %.2f, pairs' worst %.2f)\n",
                "poll() floor", floorUs, ratio, tcp.ratio.iqr, tcp.ratio.worst);
    std::printf("  %-28s ours/floor %.2f (IQR %.2f, pairs' worst %.2f)\n",
                "CPU time of the UI thread", tcp.cpuRatio.median, tcp.cpuRatio.iqr,
                tcp.cpuRatio.worst);
    // Waits: the median of the runs' longest waits; the worst run beside it.
    const double passStallMs = tcp.passStallMs.median;
    const double stallMs =
        std::max({passStallMs, listStalls.reloadMs.median, listStalls.sortMs.median});
    const double worstStallMs = std::max({tcp.passStallMs.worst, both.maxStallMs,
                                          listStalls.reloadMs.worst, listStalls.sortMs.worst});
    std::printf("  %-28s %.2f ms (pass %.2f, reload %.2f, sort %.2f), worst run %.2f ms "
                "(pass %.2f, with echo %.2f, reload %.2f, sort %.2f)\n",
                "longest event wait", stallMs, passStallMs, listStalls.reloadMs.median,
                listStalls.sortMs.median, worstStallMs, tcp.passStallMs.worst, both.maxStallMs,
                listStalls.reloadMs.worst, listStalls.sortMs.worst);
    std::printf("  %-28s %.0f bytes\n", "memory per loaded row", bytesPerRow);
    std::printf("  %-28s %.2f us per row on the UI thread, %.1f bytes per stored result\n",
                "history", history.usPerRow, history.bytesPerResult);

    double checkTcpUs = -1;
    double fpingUs = -1;
    if (options.peers) {
        checkTcpUs = meanMicrosPerRun(checkTcpCommands(rows, 50));
        fpingUs = echoUs < 0 ? -1 : meanMicrosPerRun(fpingCommands(rows, 50));
        printRatio("check_tcp", checkTcpUs, tcp.perRowUs);
        printRatio("fping -c1", fpingUs, echoUs);
    }
    SilentResult silent;
    if (options.silent > 0) {
        silent = measureSilentPass(options.rows, options.silent, options.repeats, rows);
        if (silent.passMs < 0) {
            std::printf("  %-28s skipped (ICMP echo not permitted here)\n", "silent hosts");
        } else {
            std::printf("  %-28s %.1f ms for %d rows, %d hosts never answer (%s)\n",
                        "whole pass, silent hosts", silent.passMs, options.rows, options.silent,
                        silent.firewall ? "echo requests dropped by a firewall rule"
                                        : "emulated: lost at a real 200 ms deadline");
            if (silent.fpingMs < 0)
                std::printf("  %-28s skipped (tool missing)\n", "fping -c1 -t200");
            else
                std::printf("  %-28s %.1f ms over the same hosts, each once\n", "fping -c1 -t200",
                            silent.fpingMs);
        }
    }
    if (options.summary) {
        std::printf("per-row us=%.1f floor_ratio=%.2f floor_ratio_iqr=%.2f maxstall_ms=%.2f "
                    "maxstall_worst_ms=%.2f bytes_per_row=%.0f "
                    "x_check_tcp=%.1f x_fping=%.1f history_us=%.2f history_bytes=%.1f",
                    tcp.perRowUs, ratio, tcp.ratio.iqr, stallMs, worstStallMs, bytesPerRow,
                    checkTcpUs > 0 ? checkTcpUs / tcp.perRowUs : 0.0,
                    fpingUs > 0 && echoUs > 0 ? fpingUs / echoUs : 0.0, history.usPerRow,
                    history.bytesPerResult);
        if (options.silent > 0)
            std::printf(" silent_pass_ms=%.0f", silent.passMs);
        std::printf("\n");
    }
    if (options.keyFigures) {
        const int thousands = options.rows / 1000;
        std::printf("stall%dk_ms=%.2f stall%dk_worst_ms=%.2f pass%dk_ms=%.2f sort%dk_ms=%.2f "
                    "reload%dk_ms=%.2f floor_ratio%dk=%.2f floor_ratio%dk_iqr=%.2f\n",
                    thousands, stallMs, thousands, worstStallMs, thousands, passStallMs, thousands,
                    listStalls.sortMs.median, thousands, listStalls.reloadMs.median, thousands,
                    ratio, thousands, tcp.ratio.iqr);
    }
    return tcp.perRowUs > 0 ? 0 : 1;
}
