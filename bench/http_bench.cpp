// Measures an HTTP pass over N rows against a loopback HTTP server, beside a
// minimal libcurl multi loop doing the same requests, in the client
// process's CPU time; and how long events wait during the pass. The server
// (LoopbackServer's epoll thread) runs in a process of its own, so none of
// its work is the client's.
// Ratios come from interleaved pairs (our pass, the floor, our pass, ...),
// one ratio per pair, reported as the median and the interquartile range;
// event waits, in passes of their own, as the median of the passes' longest
// waits and the worst.
//   http_bench [--rows N] [--pairs P] [--stall-passes S] [--summary]
#include "BenchFigures.h"
#include "CheckedPassRunner.h"
#include "EventWait.h"
#include "HttpFloor.h"
#include "LoopbackServer.h"
#include "ServerProcess.h"
#include "StallMeter.h"

#include "catalogue/ServerListLoader.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "monitor/TextSortProxyModel.h"
#include "platform/FileLimit.h"
#include "platform/SystemClock.h"

#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <cstdio>

namespace {

const QString Expected = QStringLiteral("OK");

struct Options {
    int rows = 1000;
    int pairs = 9;
    int stallPasses = 5;
    bool summary = false;
};

Options parseOptions(int argc, char* argv[]) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--rows" && i + 1 < argc)
            options.rows = std::clamp(std::atoi(argv[++i]), 1, 10000);
        else if (argument == "--pairs" && i + 1 < argc)
            options.pairs = std::clamp(std::atoi(argv[++i]), 1, 99);
        else if (argument == "--stall-passes" && i + 1 < argc)
            options.stallPasses = std::clamp(std::atoi(argv[++i]), 1, 99);
        else if (argument == "--summary")
            options.summary = true;
    }
    return options;
}

std::string urlOf(const LoopbackServer::Endpoint& endpoint) {
    return "http://" + endpoint.address + ":" + std::to_string(endpoint.port) + "/";
}

QList<ServerRecord> httpRecords(const std::vector<LoopbackServer::Endpoint>& rows) {
    QList<ServerRecord> records;
    qint64 id = 1;
    for (const auto& row : rows) {
        ServerRecord record;
        record.id = id++;
        record.displayName = QStringLiteral("http%1").arg(record.id);
        record.ipAddress = QString::fromStdString(row.address);
        record.port = QString::number(row.port);
        record.replyData = Expected;
        record.checkKind = ServerRecord::CheckKind::Http;
        record.url = QString::fromStdString(urlOf(row));
        records.append(record);
    }
    return records;
}

} // namespace

int main(int argc, char* argv[]) {
    const Options options = parseOptions(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    // The server's process starts before this one starts any thread; its
    // server lives as long as the process.
    constexpr int ServerAddresses = 4;
    constexpr int PortsPerAddress = 2;
    const ServerProcess server(
        [](const ServerProcess::Announce& announce) {
            try {
                const auto* serving = new LoopbackServer(ServerAddresses, PortsPerAddress);
                for (const LoopbackServer::Endpoint& endpoint : serving->endpoints())
                    announce(endpoint);
                return true;
            } catch (const std::exception&) {
                return false;
            }
        },
        ServerAddresses * PortsPerAddress);
    if (server.endpoints().empty()) {
        std::fprintf(stderr, "http_bench: the HTTP server did not start\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    FileLimit::raiseToHardLimit();

    std::vector<LoopbackServer::Endpoint> rows;
    std::vector<std::string> urls;
    for (int i = 0; i < options.rows; ++i) {
        rows.push_back(server.endpoints()[static_cast<size_t>(i) % server.endpoints().size()]);
        urls.push_back(urlOf(rows.back()));
    }
    ServerRowModel model;
    ServerListLoader::LoadServerList(model, httpRecords(rows));
    CheckedPassRunner ours(model, "http_bench");
    HttpFloor floor;
    const std::string expected = Expected.toStdString();

    // One round of each first: the server warmed, the handles made.
    const bool warm = ours.pass(false).cpuMicros > 0 && floor.cpuMicros(urls, expected) > 0;
    std::vector<double> oursUs, floorUs, ratios, stalls, serverUs;
    for (int i = 0; warm && i < options.pairs; ++i) {
        const double serverBefore = server.cpuMicros();
        const CheckedPassRunner::PassResult pass = ours.pass(false);
        serverUs.push_back((server.cpuMicros() - serverBefore) / options.rows);
        const double floorMicros = floor.cpuMicros(urls, expected);
        if (pass.cpuMicros < 0 || floorMicros <= 0) {
            std::fprintf(stderr, "http_bench: %s failed a check in pair %d\n",
                         pass.cpuMicros < 0 ? "an HTTP pass" : "the floor", i + 1);
            break;
        }
        oursUs.push_back(pass.cpuMicros / options.rows);
        floorUs.push_back(floorMicros / options.rows);
        ratios.push_back(pass.cpuMicros / floorMicros);
    }
    for (int i = 0; ratios.size() == static_cast<size_t>(options.pairs) && i < options.stallPasses;
         ++i) {
        const CheckedPassRunner::PassResult pass = ours.pass(true);
        if (pass.cpuMicros < 0) {
            std::fprintf(stderr, "http_bench: a metered HTTP pass failed a check\n");
            return 1;
        }
        stalls.push_back(pass.maxStallMs);
    }
    if (!warm)
        std::fprintf(stderr, "http_bench: the first round failed a check\n");
    if (ratios.size() != static_cast<size_t>(options.pairs))
        return 1;
    const Spread ratio = spreadOf(ratios);
    const Spread stall = spreadOf(stalls);
    std::printf("HTTP: N=%d rows over %zu loopback endpoints (server: its own process, one epoll "
                "thread), %d interleaved pairs\n",
                options.rows, server.endpoints().size(), options.pairs);
    std::printf("  %-28s %.1f us CPU per row (the server's %.1f us)\n", "HTTP pass",
                spreadOf(oursUs).median, spreadOf(serverUs).median);
    std::printf("  %-28s %.1f us CPU per row, ours/floor %.2f (IQR %.2f, pairs' worst %.2f)\n",
                "libcurl multi floor", spreadOf(floorUs).median, ratio.median, ratio.iqr,
                ratio.worst);
    std::printf("  %-28s %.2f ms, worst pass %.2f ms (%d passes)\n", "longest event wait",
                stall.median, stall.worst, options.stallPasses);
    if (options.summary)
        std::printf("http_floor_ratio=%.2f http_floor_ratio_iqr=%.2f http_stall_ms=%.2f "
                    "http_stall_worst_ms=%.2f\n",
                    ratio.median, ratio.iqr, stall.median, stall.worst);
    return 0;
}
