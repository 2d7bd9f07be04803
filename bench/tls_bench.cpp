// Measures a TLS pass over N rows against a loopback TLS server with ECDSA
// P-256 certificates, beside a minimal OpenSSL client loop doing the same
// handshakes and exchanges, in the client process's CPU time; and how long
// events wait during the pass. The server runs in a process of its own (a
// few epoll threads), so none of its work is the client's.
// Ratios come from interleaved pairs (our pass, the floor, our pass, ...),
// one ratio per pair, reported as the median and the interquartile range;
// event waits, in passes of their own, as the median of the passes' longest
// waits and the worst.
//   tls_bench [--rows N] [--pairs P] [--stall-passes S] [--summary]
#include "BenchFigures.h"
#include "CheckedPassRunner.h"
#include "EventWait.h"
#include "StallMeter.h"
#include "TlsFloor.h"
#include "TlsLoopbackServer.h"

#include "catalogue/ServerListLoader.h"
#include "monitor/AlertSink.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "monitor/TextSortProxyModel.h"
#include "platform/EchoService.h"
#include "platform/FileLimit.h"
#include "platform/SystemClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

const std::string Request = "GET / HTTP/1.0\r\n\r\n";
const QString RequestText =
    QStringLiteral("ASC:71:69:84:32:47:32:72:84:84:80:47:49:46:48:13:10:13:10");
const QString Expected = QStringLiteral("200 OK");
const QString ServerName = QStringLiteral("svc.test");

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

// The test certificates of tests/tls (ECDSA P-256: a leaf for svc.test
// behind an intermediate, and the CA), made now into folder.
bool makeCertificates(const std::string& folder) {
    const std::string script = SERVERMON_SOURCE_DIR "/tests/tls/make-certificates.py";
    std::vector<char*> argv{const_cast<char*>("/usr/bin/python3"),
                            const_cast<char*>(script.c_str()), const_cast<char*>(folder.c_str()),
                            nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, argv.front(), nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QList<ServerRecord> tlsRecords(const std::vector<LoopbackServer::Endpoint>& rows) {
    QList<ServerRecord> records;
    qint64 id = 1;
    for (const auto& row : rows) {
        ServerRecord record;
        record.id = id++;
        record.displayName = QStringLiteral("tls%1").arg(record.id);
        record.ipAddress = QString::fromStdString(row.address);
        record.port = QString::number(row.port);
        record.postData = RequestText;
        record.replyData = Expected;
        record.tls = {Transport::Tls, ServerName, false};
        records.append(record);
    }
    return records;
}

} // namespace

int main(int argc, char* argv[]) {
    const Options options = parseOptions(argc, argv);
    // The floor's OpenSSL writes to its sockets: a reset peer must not end it.
    std::signal(SIGPIPE, SIG_IGN);
    QTemporaryDir folder;
    if (!folder.isValid() || !makeCertificates(folder.path().toStdString())) {
        std::fprintf(stderr, "tls_bench: cannot make the test certificates\n");
        return 1;
    }
    const std::string certificates = folder.path().toStdString();
    // The server's process starts before this one starts any thread.
    constexpr int ServerThreads = 2;
    constexpr int ServerAddresses = 4;
    const TlsLoopbackServer server(certificates + "/chain.pem", certificates + "/chain.key",
                                   ServerThreads, ServerAddresses);
    if (server.endpoints().empty()) {
        std::fprintf(stderr, "tls_bench: the TLS server did not start\n");
        return 1;
    }
    QCoreApplication app(argc, argv);
    FileLimit::raiseToHardLimit();

    std::vector<LoopbackServer::Endpoint> rows;
    for (int i = 0; i < options.rows; ++i)
        rows.push_back(server.endpoints()[static_cast<size_t>(i) % server.endpoints().size()]);
    const std::string caFile = certificates + "/ca.pem";
    ServerRowModel model;
    ServerListLoader::LoadServerList(model, tlsRecords(rows));
    CheckedPassRunner ours(model, "tls_bench", QString::fromStdString(caFile));
    TlsFloor floor(caFile, ServerName.toStdString());

    // One round of each first: the trust is read and the server warmed.
    const bool warm = ours.pass(false).cpuMicros > 0 &&
                      floor.cpuMicros(rows, Request, Expected.toStdString()) > 0;
    std::vector<double> oursUs, floorUs, ratios, stalls, serverUs;
    for (int i = 0; warm && i < options.pairs; ++i) {
        const double serverBefore = server.cpuMicros();
        const CheckedPassRunner::PassResult pass = ours.pass(false);
        serverUs.push_back((server.cpuMicros() - serverBefore) / options.rows);
        const double floorMicros = floor.cpuMicros(rows, Request, Expected.toStdString());
        if (pass.cpuMicros < 0 || floorMicros <= 0) {
            std::fprintf(stderr, "tls_bench: %s failed a check in pair %d\n",
                         pass.cpuMicros < 0 ? "a TLS pass" : "the floor", i + 1);
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
            std::fprintf(stderr, "tls_bench: a metered TLS pass failed a check\n");
            return 1;
        }
        stalls.push_back(pass.maxStallMs);
    }
    if (!warm)
        std::fprintf(stderr, "tls_bench: the first round failed a check\n");
    if (ratios.size() != static_cast<size_t>(options.pairs))
        return 1;
    const Spread ratio = spreadOf(ratios);
    const Spread stall = spreadOf(stalls);
    std::printf("TLS: N=%d rows over %zu loopback endpoints (server: its own process, %d epoll "
                "threads, ECDSA P-256), %d interleaved pairs\n",
                options.rows, server.endpoints().size(), ServerThreads, options.pairs);
    std::printf("  %-28s %.1f us CPU per row (the server's %.1f us)\n", "TLS pass",
                spreadOf(oursUs).median, spreadOf(serverUs).median);
    std::printf("  %-28s %.1f us CPU per row, ours/floor %.2f (IQR %.2f, pairs' worst %.2f)\n",
                "OpenSSL client floor", spreadOf(floorUs).median, ratio.median, ratio.iqr,
                ratio.worst);
    std::printf("  %-28s %.2f ms, worst pass %.2f ms (%d passes)\n", "longest event wait",
                stall.median, stall.worst, options.stallPasses);
    if (options.summary)
        std::printf("tls_floor_ratio=%.2f tls_floor_ratio_iqr=%.2f tls_stall_ms=%.2f "
                    "tls_stall_worst_ms=%.2f\n",
                    ratio.median, ratio.iqr, stall.median, stall.worst);
    return 0;
}
