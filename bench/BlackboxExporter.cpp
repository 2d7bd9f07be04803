#include "BlackboxExporter.h"

#include "LoopbackSockets.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpSocket>
#include <QThread>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {
const char* const Config = R"(modules:
  %1:
    prober: tcp
    timeout: 2s
    tcp:
      preferred_ip_protocol: ip4
      query_response:
        - send: "GET / HTTP/1.0"
        - expect: "200 OK"
)";

// A port of 127.0.0.1 that nothing listens on at the moment.
uint16_t freePort() {
    uint16_t port = 0;
    const int fd = listenOn("127.0.0.1", port);
    if (fd < 0)
        return 0;
    close(fd);
    return port;
}
} // namespace

BlackboxExporter::BlackboxExporter(const QString& binary)
    : m_port(freePort()) {
    const QString config = m_dir.filePath(QStringLiteral("blackbox.yml"));
    QFile file(config);
    if (!m_dir.isValid() || m_port == 0 || !file.open(QIODevice::WriteOnly) ||
        file.write(QString::fromLatin1(Config).arg(QLatin1String(Module)).toUtf8()) < 0)
        return;
    file.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("exporter.log")));
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_process.start(binary, {QStringLiteral("--config.file=") + config,
                             QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(m_port)});
}

BlackboxExporter::~BlackboxExporter() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

bool BlackboxExporter::waitReady(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    if (!m_process.waitForStarted(timeoutMs))
        return false;
    while (m_process.state() == QProcess::Running && !deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QStringLiteral("127.0.0.1"), m_port);
        if (probe.waitForConnected(500))
            return true;
        QThread::msleep(50);
    }
    return false;
}

pid_t BlackboxExporter::pid() const {
    return static_cast<pid_t>(m_process.processId());
}

QString BlackboxExporter::log() const {
    QFile file(m_dir.filePath(QStringLiteral("exporter.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
