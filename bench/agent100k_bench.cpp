// Measures servermon-headless holding a large catalogue of loopback servers
// (100,000 by default), pinned to one core: the time from its start until
// the list is loaded, the time its first pass takes until every server has
// a TCP result, its peak memory per server after that pass, and a metrics
// scrape of the whole list (its size and time, and the peak memory after
// it). The servers answer from a process of their own on 64 loopback
// addresses with 4 ports each, so no address runs short of ephemeral ports.
//   agent100k_bench [--rows N] [--summary]
#include "BenchFigures.h"
#include "LoopbackServer.h"
#include "ServerProcess.h"

#include "platform/FileLimit.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sched.h>
#include <string>
#include <sys/resource.h>

namespace {
constexpr int Addresses = 64;
constexpr int PortsPerAddress = 4;
constexpr int PassLimitMs = 180000;

struct Options {
    int rows = 100000;
    bool summary = false;
};

Options parseOptions(const QStringList& arguments) {
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QLatin1String("--rows") && i + 1 < arguments.size())
            options.rows = std::clamp(arguments.at(++i).toInt(), 1000, 200000);
        else if (arguments.at(i) == QLatin1String("--summary"))
            options.summary = true;
    }
    return options;
}

quint16 freePort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// A status line of /proc/PID/status in bytes ("VmHWM", "VmRSS"); -1 when
// it cannot be read.
double statusBytes(qint64 pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0)
            return std::stod(line.substr(field.size() + 1)) * 1024;
    }
    return -1;
}

bool writeCatalogueCsv(const QString& path, const std::vector<LoopbackServer::Endpoint>& endpoints,
                       int rows) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("DisplayName,IPAddress,Port,PostData,ReplyData,AddTime,InUse,WarnMs\n");
    for (int i = 0; i < rows; ++i) {
        const auto& endpoint = endpoints[static_cast<size_t>(i) % endpoints.size()];
        file.write(QByteArray("s") + QByteArray::number(i) + ',' +
                   QByteArray::fromStdString(endpoint.address) + ',' +
                   QByteArray::number(endpoint.port) + ",GET / HTTP/1.0,200 OK,2026-01-01,1,0\n");
    }
    return file.error() == QFileDevice::NoError;
}

// The agent's log, followed line by line: its start line, and the first
// socket result of each server (the line leaving the state "unknown").
class AgentLog final {
public:
    explicit AgentLog(QProcess& process)
        : m_process(process) {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] { read(); });
    }
    bool started() const { return m_started; }
    int firstResults() const { return m_firstResults; }
    int firstResultsOk() const { return m_firstResultsOk; }
    int loadedRows() const { return m_loadedRows; }

private:
    void read() {
        while (m_process.canReadLine()) {
            const QList<QByteArray> fields = m_process.readLine().trimmed().split('\t');
            if (fields.size() >= 6 && fields.at(1) == "start") {
                m_started = true;
                m_loadedRows = fields.at(5).toInt();
            } else if (fields.size() >= 7 && fields.at(5) == "unknown") {
                ++m_firstResults;
                m_firstResultsOk += fields.at(6) == "ok" ? 1 : 0;
            }
        }
    }

    QProcess& m_process;
    bool m_started = false;
    int m_loadedRows = 0;
    int m_firstResults = 0;
    int m_firstResultsOk = 0;
};

bool waitFor(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

struct Scrape {
    qint64 bytes = -1;
    double seconds = -1;
    bool complete = false;
};

// One GET /metrics read to its end.
Scrape scrape(quint16 port) {
    Scrape result;
    QTcpSocket socket;
    QElapsedTimer elapsed;
    elapsed.start();
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return result;
    socket.write("GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray tail;
    qint64 bytes = 0;
    while (socket.state() == QAbstractSocket::ConnectedState || socket.bytesAvailable() > 0) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(60000))
            break;
        const QByteArray chunk = socket.readAll();
        bytes += chunk.size();
        tail = (tail + chunk).right(4096);
    }
    result.seconds = static_cast<double>(elapsed.nsecsElapsed()) / 1e9;
    result.bytes = bytes;
    result.complete = tail.contains("servermon_");
    return result;
}
} // namespace

int main(int argc, char* argv[]) {
    // The servers' process starts before this one starts any thread.
    const ServerProcess server(
        [](const ServerProcess::Announce& announce) {
            // The servers answer from the second core at the normal priority:
            // the agent has the first to itself and must not wait for them.
            cpu_set_t second;
            CPU_ZERO(&second);
            CPU_SET(1, &second);
            sched_setaffinity(0, sizeof(second), &second);
            setpriority(PRIO_PROCESS, 0, 0);
            static LoopbackServer loopback(Addresses, PortsPerAddress, "127.0.3.");
            for (const LoopbackServer::Endpoint& endpoint : loopback.endpoints())
                announce(endpoint);
            return !loopback.endpoints().empty();
        },
        Addresses * PortsPerAddress);
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());
    FileLimit::raiseToHardLimit();
    if (server.endpoints().empty()) {
        std::fprintf(stderr, "agent100k_bench: the loopback servers did not start\n");
        return 1;
    }
    const QString program = QDir(QCoreApplication::applicationDirPath())
                                .filePath(QStringLiteral("../servermon-headless"));
    QTemporaryDir folder;
    const QString csv = folder.filePath(QStringLiteral("servers.csv"));
    QFile settings(folder.filePath(QStringLiteral("RodOdazuConfig.ini")));
    if (!writeCatalogueCsv(csv, server.endpoints(), options.rows) ||
        !settings.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "agent100k_bench: cannot write the catalogue\n");
        return 1;
    }
    // One pass: the next would start an hour later.
    settings.write("[SETTING]\nITIMERN=3600\n[SETUP]\nITIMEOUT=30000\n");
    settings.close();
    QProcess import;
    import.setStandardOutputFile(QProcess::nullDevice());
    import.start(program,
                 {QStringLiteral("--config-dir"), folder.path(), QStringLiteral("--import"), csv});
    if (!import.waitForFinished(600000) || import.exitCode() != 0) {
        std::fprintf(stderr, "agent100k_bench: the import failed\n");
        return 1;
    }

    const quint16 metricsPort = freePort();
    QProcess agent;
    agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The agent gets one core of its own, the first.
    agent.setChildProcessModifier([] {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(0, &one);
        sched_setaffinity(0, sizeof(one), &one);
    });
    AgentLog log(agent);
    QElapsedTimer sinceStart;
    sinceStart.start();
    agent.start(program,
                {QStringLiteral("--config-dir"), folder.path(), QStringLiteral("--metrics"),
                 QStringLiteral("127.0.0.1:%1").arg(metricsPort)});
    const bool started = waitFor([&log] { return log.started(); }, 60000);
    const double loadSeconds = static_cast<double>(sinceStart.nsecsElapsed()) / 1e9;
    const double peakAfterLoad = statusBytes(agent.processId(), "VmHWM");
    const double cpuAtStart = processCpuMicros(static_cast<pid_t>(agent.processId()));
    QElapsedTimer sinceLoad;
    sinceLoad.start();
    const bool passed =
        started && waitFor([&] { return log.firstResults() >= options.rows; }, PassLimitMs);
    const double passSeconds = static_cast<double>(sinceLoad.nsecsElapsed()) / 1e9;
    const double passCpuSeconds =
        (processCpuMicros(static_cast<pid_t>(agent.processId())) - cpuAtStart) / 1e6;
    const double peakAfterPass = statusBytes(agent.processId(), "VmHWM");
    const Scrape metrics = scrape(metricsPort);
    const double peakAfterScrape = statusBytes(agent.processId(), "VmHWM");
    agent.terminate();
    if (!agent.waitForFinished(30000))
        agent.kill();

    std::printf("N=%d servers over %zu loopback endpoints, servermon-headless on one core\n",
                options.rows, server.endpoints().size());
    std::printf("  %-28s %.2f s (%d rows)\n", "start until loaded", loadSeconds, log.loadedRows());
    std::printf("  %-28s %.2f s, %.2f s of CPU, %d results (%d ok)%s\n", "first pass, TCP",
                passSeconds, passCpuSeconds, log.firstResults(), log.firstResultsOk(),
                passed ? "" : " (incomplete)");
    std::printf("  %-28s %.0f bytes per server after the load, %.0f after the pass, %.0f after "
                "a scrape\n",
                "peak memory", peakAfterLoad / options.rows, peakAfterPass / options.rows,
                peakAfterScrape / options.rows);
    std::printf("  %-28s %.1f MB in %.2f s%s\n", "metrics scrape",
                static_cast<double>(metrics.bytes) / 1e6, metrics.seconds,
                metrics.complete ? "" : " (incomplete)");
    const int thousands = options.rows / 1000;
    if (options.summary)
        std::printf(
            "load%dk_s=%.2f pass%dk_s=%.2f bytes_per_row%dk=%.0f "
            "bytes_per_row%dk_scraped=%.0f agent_scrape%dk_mb=%.1f agent_scrape%dk_s=%.2f\n",
            thousands, loadSeconds, thousands, passed ? passSeconds : -1.0, thousands,
            peakAfterPass / options.rows, thousands, peakAfterScrape / options.rows, thousands,
            static_cast<double>(metrics.bytes) / 1e6, thousands, metrics.seconds);
    const bool allOk = log.firstResultsOk() == options.rows;
    return passed && metrics.complete && allOk ? 0 : 1;
}
