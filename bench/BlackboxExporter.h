#pragma once

#include <QProcess>
#include <QTemporaryDir>

#include <cstdint>
#include <sys/types.h>

// Debian's blackbox exporter run from its unpacked binary with a config
// written at start: one module, tcp_q, that connects, sends "GET /
// HTTP/1.0" and expects a line matching "200 OK" within a short timeout. It
// listens on a free port of 127.0.0.1 and ends with the object (or with the
// benchmark's process).
class BlackboxExporter final {
    Q_DISABLE_COPY_MOVE(BlackboxExporter)
public:
    static constexpr const char* Module = "tcp_q";

    explicit BlackboxExporter(const QString& binary);
    ~BlackboxExporter();

    // Waits until the exporter accepts connections; false when it ended or
    // did not listen within timeoutMs, with its output in log().
    bool waitReady(int timeoutMs);
    uint16_t port() const { return m_port; }
    pid_t pid() const;
    QString log() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    uint16_t m_port = 0;
};
