#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

// The TLS test peers of tests/tls, run with Debian's Python where
// python3-cryptography is.
namespace TlsPeers {

inline QString sourceFile(const QString& name) {
    return qEnvironmentVariable("SERVERMON_SOURCE_DIR") + QStringLiteral("/tests/tls/") + name;
}

// Makes the test certificates (make-certificates.py) into folder: empty on
// success, else why not.
inline QString makeCertificates(const QString& folder) {
    QProcess make;
    make.start(QStringLiteral("/usr/bin/python3"),
               {sourceFile(QStringLiteral("make-certificates.py")), folder});
    if (!make.waitForFinished(120000)) {
        make.kill();
        make.waitForFinished(10000);
        return QStringLiteral("make-certificates.py did not finish");
    }
    return make.exitCode() == 0 ? QString() : QString::fromLocal8Bit(make.readAllStandardError());
}

} // namespace TlsPeers

// A peer of tls-peer.py in a process of its own, so none of it runs in the
// event loop of the sockets under test.
class TlsPeer final {
public:
    // certificate names a pair STEM.pem and STEM.key in folder.
    explicit TlsPeer(const QString& mode, const QString& folder = {},
                     const QString& certificate = {}) {
        QStringList arguments{TlsPeers::sourceFile(QStringLiteral("tls-peer.py")), mode};
        if (!certificate.isEmpty())
            arguments << folder + u'/' + certificate + QStringLiteral(".pem")
                      << folder + u'/' + certificate + QStringLiteral(".key");
        m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
        const QByteArray line = readLine();
        if (line.startsWith("port "))
            m_port = QString::fromLatin1(line.mid(5).trimmed());
    }
    ~TlsPeer() {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(10000);
    }
    Q_DISABLE_COPY_MOVE(TlsPeer)

    QString port() const { return m_port; } // empty when the peer did not start
    // Connections whose first bytes the peer has read.
    int read() {
        m_process.write("count\n");
        const QList<QByteArray> words = readLine().simplified().split(' ');
        return words.size() == 4 ? words.at(3).toInt() : -1;
    }

private:
    QByteArray readLine() {
        QElapsedTimer waited;
        waited.start();
        while (!m_process.canReadLine() && waited.elapsed() < 20000)
            m_process.waitForReadyRead(1000);
        return m_process.readLine();
    }

    QProcess m_process;
    QString m_port;
};
