// Measures the CPU time per probe of a TCP pass over N loopback endpoints
// beside Debian's blackbox exporter probing the same endpoints with the same
// send and expect, driven as Prometheus drives it: one /probe request per
// target, a few at a time. The endpoints' server (LoopbackServer's epoll
// thread) runs in a process of its own, so neither side pays for it. Ours
// is this process's CPU time during the pass's TCP leg (every echo answers
// at once); the exporter's is its own process's user and system time, so
// the requests' driver is not counted. Rounds are interleaved (our passes,
// the exporter's rounds, our passes, ...); each pair gives one ratio,
// reported as the median and the interquartile range. Where the exporter's
// package cannot be fetched or its binary does not start, the bench says so
// and reports x_blackbox=0.
//   blackbox_bench [--rows N] [--pairs P] [--passes K] [--rounds R]
//                  [--concurrency C] [--cache DIR] [--summary]
#include "BenchFigures.h"
#include "BenchRecords.h"
#include "BlackboxExporter.h"
#include "CheckedPassRunner.h"
#include "DebianPackage.h"
#include "LoopbackServer.h"
#include "ProbeDriver.h"
#include "ServerProcess.h"

#include "catalogue/ServerListLoader.h"
#include "monitor/ServerRowModel.h"
#include "platform/FileLimit.h"

#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <optional>

namespace {
using BenchRecords::Expected;
const QString Package = QStringLiteral("prometheus-blackbox-exporter");
constexpr int ServerAddresses = 8;

struct Options {
    int rows = 1000;
    int pairs = 7;
    int passes = 3;
    int rounds = 2;
    int concurrency = 12;
    QString cache = QStringLiteral(BLACKBOX_CACHE_DIR);
    bool summary = false;
};

Options parseOptions(const QStringList& arguments) {
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        const bool valued = i + 1 < arguments.size();
        if (argument == QLatin1String("--rows") && valued)
            options.rows = std::clamp(arguments.at(++i).toInt(), ServerAddresses, 4000);
        else if (argument == QLatin1String("--pairs") && valued)
            options.pairs = std::clamp(arguments.at(++i).toInt(), 1, 99);
        else if (argument == QLatin1String("--passes") && valued)
            options.passes = std::clamp(arguments.at(++i).toInt(), 1, 20);
        else if (argument == QLatin1String("--rounds") && valued)
            options.rounds = std::clamp(arguments.at(++i).toInt(), 1, 10);
        else if (argument == QLatin1String("--concurrency") && valued)
            options.concurrency = std::clamp(arguments.at(++i).toInt(), 1, 64);
        else if (argument == QLatin1String("--cache") && valued)
            options.cache = arguments.at(++i);
        else if (argument == QLatin1String("--summary"))
            options.summary = true;
    }
    return options;
}

// Our CPU time per probe over passes checked passes; nullopt when one
// failed its check.
std::optional<double> oursPerProbe(CheckedPassRunner& ours, int passes, int rows) {
    double micros = 0;
    for (int i = 0; i < passes; ++i) {
        const double pass = ours.pass(false).cpuMicros;
        if (pass < 0)
            return std::nullopt;
        micros += pass;
    }
    return micros / (double(passes) * rows);
}

// The exporter's CPU time per probe over rounds over every target; nullopt
// when a probe failed or its CPU time could not be read.
std::optional<double> exporterPerProbe(ProbeDriver& driver, pid_t exporter,
                                       const std::vector<LoopbackServer::Endpoint>& targets,
                                       int rounds) {
    const double before = processCpuMicros(exporter);
    for (int i = 0; i < rounds; ++i) {
        const ProbeDriver::Round round = driver.probeAll(targets, 30000);
        if (round.succeeded != static_cast<int>(targets.size())) {
            std::fprintf(stderr, "blackbox_bench: %d of %zu probes succeeded; first failure: %s\n",
                         round.succeeded, targets.size(), round.firstFailure.c_str());
            return std::nullopt;
        }
    }
    const double after = processCpuMicros(exporter);
    if (before < 0 || after < 0)
        return std::nullopt;
    return (after - before) / (double(rounds) * static_cast<double>(targets.size()));
}

void printSummary(const Options& options, const Spread& ratio, double exporterUs, double oursUs) {
    if (options.summary)
        std::printf("x_blackbox=%.1f x_blackbox_iqr=%.1f blackbox_us=%.1f ours_probe_us=%.2f\n",
                    ratio.median, ratio.iqr, exporterUs, oursUs);
}
} // namespace

int main(int argc, char* argv[]) {
    std::signal(SIGPIPE, SIG_IGN);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Options options = parseOptions(arguments);
    // The server's process starts before this one starts any thread; its
    // server lives as long as the process.
    const int portsPerAddress = (options.rows + ServerAddresses - 1) / ServerAddresses;
    const ServerProcess server(
        [portsPerAddress](const ServerProcess::Announce& announce) {
            FileLimit::raiseToHardLimit();
            try {
                const auto* serving = new LoopbackServer(ServerAddresses, portsPerAddress);
                for (const LoopbackServer::Endpoint& endpoint : serving->endpoints())
                    announce(endpoint);
                return true;
            } catch (const std::exception&) {
                return false;
            }
        },
        static_cast<size_t>(ServerAddresses * portsPerAddress));
    if (server.endpoints().empty()) {
        std::fprintf(stderr, "blackbox_bench: the loopback server did not start\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    FileLimit::raiseToHardLimit();

    const std::vector<LoopbackServer::Endpoint> targets(server.endpoints().begin(),
                                                        server.endpoints().begin() + options.rows);
    ServerRowModel model;
    ServerListLoader::LoadServerList(model, BenchRecords::of(targets));
    CheckedPassRunner ours(model, "blackbox_bench");
    std::printf("blackbox: N=%d rows, each its own loopback endpoint (%d addresses; server: its "
                "own process), %d interleaved pairs of %d passes and %d exporter rounds\n",
                options.rows, ServerAddresses, options.pairs, options.passes, options.rounds);

    const DebianPackage package(Package, options.cache);
    const QString binary = package.file(QStringLiteral("usr/bin/prometheus-blackbox-exporter"));
    std::optional<BlackboxExporter> exporter;
    if (binary.isEmpty()) {
        std::printf("  %-28s skipped: %s\n", qPrintable(Package),
                    package.error().isEmpty() ? "the package holds no binary"
                                              : qPrintable(package.error()));
    } else if (exporter.emplace(binary); !exporter->waitReady(10000)) {
        std::printf("  %-28s skipped: it did not start listening\n%s\n", qPrintable(Package),
                    qPrintable(exporter->log()));
        exporter.reset();
    }
    if (!exporter) {
        const std::optional<double> oursUs = oursPerProbe(ours, options.passes, options.rows);
        if (!oursUs)
            return 1;
        std::printf("  %-28s %.2f us CPU per probe (this process)\n", "our TCP pass", *oursUs);
        printSummary(options, Spread{0, 0, 0}, 0, *oursUs);
        return 0;
    }

    ProbeDriver driver(exporter->port(), BlackboxExporter::Module, options.concurrency);
    // One of each first: the server warmed, the exporter's connections made.
    if (!oursPerProbe(ours, 1, options.rows) ||
        !exporterPerProbe(driver, exporter->pid(), targets, 1))
        return 1;
    std::vector<double> oursUs, exporterUs, ratios;
    for (int i = 0; i < options.pairs; ++i) {
        const std::optional<double> oursPair = oursPerProbe(ours, options.passes, options.rows);
        const std::optional<double> exporterPair =
            exporterPerProbe(driver, exporter->pid(), targets, options.rounds);
        if (!oursPair || !exporterPair || *oursPair <= 0) {
            std::fprintf(stderr, "blackbox_bench: pair %d failed\n", i + 1);
            return 1;
        }
        oursUs.push_back(*oursPair);
        exporterUs.push_back(*exporterPair);
        ratios.push_back(*exporterPair / *oursPair);
    }
    const Spread ratio = spreadOf(ratios);
    const double oursMedian = spreadOf(oursUs).median;
    const double exporterMedian = spreadOf(exporterUs).median;
    std::printf("  %-28s %.2f us CPU per probe (this process, the TCP leg)\n", "our TCP pass",
                oursMedian);
    std::printf("  %-28s %.1f us CPU per probe (its process; %d requests at a time), %.1fx ours "
                "(IQR %.1f, pairs' worst %.1f)\n",
                qPrintable(Package), exporterMedian, options.concurrency, ratio.median, ratio.iqr,
                ratio.worst);
    printSummary(options, ratio, exporterMedian, oursMedian);
    return 0;
}
