// Measures the cost of a monitoring pass over N rows of loopback servers,
// against a minimal poll() loop and against process-per-check peer tools,
// and what recording the results in the history adds.
//   pass_bench [--rows N] [--repeats K] [--no-peers] [--summary]
#include "LoopbackServer.h"
#include "PeerTimer.h"
#include "PollFloor.h"

#include "catalogue/ServerListLoader.h"
#include "history/HistoryRecorder.h"
#include "monitor/AlertSink.h"
#include "monitor/IcmpEchoService.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "platform/FileLimit.h"
#include "platform/SystemClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace {
const std::string Request = "GET / HTTP/1.0\r\n\r\n";
const QString RequestText =
    QStringLiteral("ASC:71:69:84:32:47:32:72:84:84:80:47:49:46:48:13:10:13:10");
const QString Expected = QStringLiteral("200 OK");

struct Options {
    int rows = 1000;
    int repeats = 3;
    bool peers = true;
    bool summary = false;
};

Options parseOptions(const QStringList& arguments) {
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--rows") && i + 1 < arguments.size())
            options.rows = std::clamp(arguments.at(++i).toInt(), 1, 20000);
        else if (argument == QLatin1String("--repeats") && i + 1 < arguments.size())
            options.repeats = std::clamp(arguments.at(++i).toInt(), 1, 10);
        else if (argument == QLatin1String("--no-peers"))
            options.peers = false;
        else if (argument == QLatin1String("--summary"))
            options.summary = true;
    }
    return options;
}

// The TCP leg alone: every echo answers at once.
class InstantEcho final : public EchoService {
public:
    long PingHost(const QString&, EchoReply& reply) override {
        reply = EchoReply{};
        return 0;
    }
};

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

class SilentAlerts final : public AlertSink {
public:
    void ShowMsg(int, const QString&, const QString&) override {}
};

// A 1 ms timer that records how late it fired: the longest time any event
// waited while it ran.
class StallMeter final {
public:
    StallMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_maxGapNs = std::max(m_maxGapNs, now - m_last);
            m_last = now;
        });
    }
    void start() {
        m_maxGapNs = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    double stopMaxLateMs() {
        m_timer.stop();
        return std::max(0.0, static_cast<double>(m_maxGapNs) / 1e6 - 1.0);
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_maxGapNs = 0;
};

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

QList<ServerRecord> benchRecords(const std::vector<LoopbackServer::Endpoint>& rows) {
    QList<ServerRecord> records;
    records.reserve(static_cast<qsizetype>(rows.size()));
    qint64 id = 1;
    for (const auto& row : rows) {
        ServerRecord record;
        record.id = id++;
        record.displayName = QStringLiteral("bench%1").arg(record.id);
        record.ipAddress = QString::fromStdString(row.address);
        record.port = QString::number(row.port);
        record.postData = RequestText;
        record.replyData = Expected;
        records.append(record);
    }
    return records;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

struct PassResult {
    double micros = -1;
    double maxStallMs = 0;
};

// One whole pass, from the preamble until the reply count reaches the row count.
PassResult timePass(ServerMonitor& monitor, int rowCount) {
    StallMeter stalls;
    stalls.start();
    QElapsedTimer elapsed;
    elapsed.start();
    monitor.TimerProc_Timer();
    while (monitor.passReplyCount() < rowCount && elapsed.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    PassResult result;
    if (monitor.passReplyCount() >= rowCount)
        result.micros = static_cast<double>(elapsed.nsecsElapsed()) / 1e3;
    result.maxStallMs = stalls.stopMaxLateMs();
    return result;
}

struct LegResult {
    double perRowUs = -1;
    double maxStallMs = 0;
};

LegResult measureLeg(ServerRowModel& rows, EchoService& echo, int rowCount, int repeats,
                     ResultRecorder* recorder = nullptr,
                     const std::function<void()>& afterPass = {}) {
    QSortFilterProxyModel listView;
    listView.setDynamicSortFilter(false);
    listView.setSourceModel(&rows);
    MonitorSettings settings;
    settings.iTimerN = 0; // every tick starts a pass
    settings.iTimeOut = 30000;
    SystemClock clock;
    SilentAlerts alerts;
    ServerMonitor monitor(rows, listView, settings, clock, echo, alerts);
    monitor.setRecorder(recorder);
    monitor.CmdStart_Click();
    // Monitoring stays on, but passes start only when the benchmark ticks.
    monitor.timerProc().setInterval(24 * 3600 * 1000);
    std::vector<double> perRow;
    LegResult leg;
    for (int i = 0; i < repeats; ++i) {
        const PassResult pass = timePass(monitor, rowCount);
        if (pass.micros < 0)
            return leg;
        perRow.push_back(pass.micros / rowCount);
        leg.maxStallMs = std::max(leg.maxStallMs, pass.maxStallMs);
        if (afterPass)
            afterPass();
    }
    monitor.CmdStart_Click();
    leg.perRowUs = median(perRow);
    return leg;
}

double echoPerCheckUs(EchoService& echo, const std::vector<LoopbackServer::Endpoint>& rows) {
    QElapsedTimer elapsed;
    elapsed.start();
    int answered = 0;
    for (const auto& row : rows) {
        EchoReply reply;
        answered += echo.PingHost(QString::fromStdString(row.address), reply) >= 0 ? 1 : 0;
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
            measureLeg(rows, echo, rowCount, repeats, &timed, [&timed] { timed.flush(); });
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
    const long before = residentBytes();
    ServerListLoader::LoadServerList(model, benchRecords(rows));
    const double bytesPerRow = static_cast<double>(residentBytes() - before) / options.rows;

    InstantEcho instant;
    const LegResult tcp = measureLeg(model, instant, options.rows, options.repeats);
    IcmpEchoService icmp;
    const double echoUs = echoPerCheckUs(icmp, rows);
    const LegResult both =
        echoUs < 0 ? LegResult{} : measureLeg(model, icmp, options.rows, options.repeats);

    const HistoryCost history = measureHistory(model, instant, options.rows, options.repeats);

    std::vector<double> floors;
    for (int i = 0; i < options.repeats; ++i)
        floors.push_back(pollFloorMicros(rows, Request, Expected.toStdString()) / options.rows);
    const double floorUs = median(floors);

    std::printf("N=%d rows over %zu loopback endpoints, median of %d passes\n", options.rows,
                server.endpoints().size(), options.repeats);
    std::printf("  %-28s %.1f us per row (pass %.1f ms)\n", "TCP leg", tcp.perRowUs,
                tcp.perRowUs * options.rows / 1000);
    if (both.perRowUs < 0)
        std::printf("  %-28s skipped (ICMP echo not permitted here)\n", "TCP and echo");
    else
        std::printf("  %-28s %.1f us per row (echo alone %.1f us)\n", "TCP and echo", both.perRowUs,
                    echoUs);
    std::printf("  %-28s %.1f us per row, ours/floor %.2f\n", "poll() floor", floorUs,
                tcp.perRowUs / floorUs);
    std::printf("  %-28s %.2f ms\n", "longest event wait",
                std::max(tcp.maxStallMs, both.maxStallMs));
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
    if (options.summary)
        std::printf("per-row us=%.1f floor_ratio=%.2f maxstall_ms=%.2f bytes_per_row=%.0f "
                    "x_check_tcp=%.1f x_fping=%.1f history_us=%.2f history_bytes=%.1f\n",
                    tcp.perRowUs, tcp.perRowUs / floorUs, std::max(tcp.maxStallMs, both.maxStallMs),
                    bytesPerRow, checkTcpUs > 0 ? checkTcpUs / tcp.perRowUs : 0.0,
                    fpingUs > 0 && echoUs > 0 ? fpingUs / echoUs : 0.0, history.usPerRow,
                    history.bytesPerResult);
    return tcp.perRowUs > 0 ? 0 : 1;
}
