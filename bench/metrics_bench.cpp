// A metrics scrape of a large list through the endpoint as the program
// serves it: the server on a thread of its own, the text built in pieces on
// the main thread, a separate curl reading it. Prints on one line the
// scrape's size, its time, the main thread's processor time for it, the
// longest wait of a main-thread event during it beside that of the idle
// thread, how far its peak resident memory rose above the memory resident
// before it, the process's peak resident memory per server (the list's
// load included), then the size and time of the whole text built at once.
//   metrics_bench [--rows N]

#include "BenchFigures.h"
#include "StallMeter.h"

#include "catalogue/ServerListLoader.h"
#include "monitor/ResultRecorder.h"
#include "monitor/ServerRowModel.h"
#include "platform/SystemClock.h"
#include "service/MetricsCollector.h"
#include "service/MetricsPublisher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <cstdio>

namespace {

QList<ServerRecord> records(int count) {
    QList<ServerRecord> records;
    records.reserve(count);
    for (int id = 1; id <= count; ++id) {
        ServerRecord record;
        record.id = id;
        record.displayName = QStringLiteral("bench%1").arg(id);
        record.ipAddress = QStringLiteral("127.0.%1.%2").arg(id / 250 % 250).arg(1 + id % 250);
        record.port = QString::number(1024 + id % 60000);
        record.postData = QStringLiteral("GET / HTTP/1.0\r\n\r\n");
        record.replyData = QStringLiteral("200 OK");
        records.append(record);
    }
    return records;
}

// A figure of this process's /proc status in KiB: VmRSS now, VmHWM its peak.
qint64 statusKiB(const QByteArray& field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Starts the peak resident memory again from the memory resident now.
void resetPeakResident() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

ProbeOutcome outcome(qint64 id, ProbeOutcome::Kind kind, qint32 ms) {
    ProbeOutcome result;
    result.serverId = id;
    result.kind = kind;
    result.ms = ms;
    return result;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    int rowCount = 100000;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2)
        if (arguments.at(i) == QLatin1String("--rows"))
            rowCount = std::max(1, arguments.at(i + 1).toInt());

    ServerRowModel rows;
    ServerListLoader::LoadServerList(rows, records(rowCount));
    SystemClock clock;
    MetricsCollector collector(rows, clock);
    for (int id = 1; id <= rowCount; ++id) {
        collector.record(
            outcome(id, id % 7 ? ProbeOutcome::Correct : ProbeOutcome::Wrong, id % 900));
        collector.record(
            outcome(id, id % 5 ? ProbeOutcome::EchoAnswered : ProbeOutcome::EchoLost, 3));
    }

    // Served as the service serves it.
    MetricsPublisher publisher(collector, clock);
    if (!publisher.listen(QHostAddress::LocalHost, 0)) {
        std::printf("metrics_bench: cannot listen on 127.0.0.1\n");
        return 1;
    }

    // The longest event wait of an idle main thread on this machine now, to
    // hold the scrape's against.
    StallMeter stalls;
    stalls.start();
    QTimer::singleShot(2000, &app, &QCoreApplication::quit);
    app.exec();
    const double idleStallMs = stalls.stopMaxLateMs();

    const qint64 loadPeak = statusKiB("VmHWM");
    resetPeakResident();
    const qint64 residentBefore = statusKiB("VmRSS");
    QProcess curl;
    curl.setProgram(QStringLiteral("curl"));
    curl.setArguments({QStringLiteral("-sS"), QStringLiteral("--fail"), QStringLiteral("-o"),
                       QStringLiteral("/dev/null"), QStringLiteral("-w"),
                       QStringLiteral("%{size_download}"),
                       QStringLiteral("http://127.0.0.1:%1/metrics").arg(publisher.port())});
    QElapsedTimer elapsed;
    QEventLoop loop;
    QObject::connect(&curl, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&curl, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    elapsed.start();
    const double cpuBefore = threadCpuMicros();
    curl.start();
    // Forking the reader is the bench's own wait, not the scrape's.
    stalls.start();
    loop.exec();
    const double seconds = static_cast<double>(elapsed.nsecsElapsed()) / 1e9;
    const double cpuSeconds = (threadCpuMicros() - cpuBefore) / 1e6;
    const double stallMs = stalls.stopMaxLateMs();
    const qint64 scrapePeak = statusKiB("VmHWM");
    const QByteArray size = curl.readAllStandardOutput().trimmed();
    if (curl.exitStatus() != QProcess::NormalExit || curl.exitCode() != 0) {
        std::printf("metrics_bench: curl failed: %s\n", curl.readAllStandardError().constData());
        return 1;
    }
    // The same text at once, as a scrape was built before: the main thread
    // is held for all of it.
    QElapsedTimer whole;
    whole.start();
    const qsizetype wholeBytes = collector.text().size();
    const double wholeSeconds = static_cast<double>(whole.nsecsElapsed()) / 1e9;
    std::printf("scrape100k_rows=%d scrape100k_bytes=%s scrape100k_s=%.3f "
                "scrape100k_main_cpu_s=%.3f scrape100k_stall_ms=%.1f idle_stall_ms=%.1f "
                "scrape100k_rss_growth_kib=%lld peak_rss_per_server_bytes=%.0f "
                "whole100k_bytes=%lld whole100k_s=%.3f\n",
                rowCount, size.constData(), seconds, cpuSeconds, stallMs, idleStallMs,
                static_cast<long long>(scrapePeak - residentBefore),
                static_cast<double>(qMax(loadPeak, scrapePeak)) * 1024.0 / rowCount,
                static_cast<long long>(wholeBytes), wholeSeconds);
    return 0;
}
