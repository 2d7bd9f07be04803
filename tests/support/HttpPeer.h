#pragma once

#include "TlsPeer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

// A peer of tests/http/http-peer.py on 127.0.0.1, in a process of its own,
// plain or, given a certificate of make-certificates.py, over TLS. It needs
// Debian's interpreter like the TLS peers.
class HttpPeer final {
public:
    // certificate names a pair STEM.pem and STEM.key in folder; empty: plain.
    explicit HttpPeer(const QString& folder = {}, const QString& certificate = {}) {
        QStringList arguments{qEnvironmentVariable("SERVERMON_SOURCE_DIR") +
                              QStringLiteral("/tests/http/http-peer.py")};
        if (!certificate.isEmpty())
            arguments << folder + u'/' + certificate + QStringLiteral(".pem")
                      << folder + u'/' + certificate + QStringLiteral(".key");
        m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
        const QByteArray line = readLine();
        if (line.startsWith("port "))
            m_port = line.mid(5).trimmed().toUShort();
    }
    ~HttpPeer() {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(10000);
    }
    Q_DISABLE_COPY_MOVE(HttpPeer)

    quint16 port() const { return m_port; } // 0 when the peer did not start
    // The URL of path on this peer.
    QString url(const QString& path, bool secure = false) const {
        return (secure ? QStringLiteral("https://127.0.0.1:")
                       : QStringLiteral("http://127.0.0.1:")) +
               QString::number(m_port) + path;
    }
    // The requests whose head the peer has read.
    int requests() {
        m_process.write("count\n");
        const QList<QByteArray> words = readLine().simplified().split(' ');
        return words.size() == 2 ? words.at(1).toInt() : -1;
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
    quint16 m_port = 0;
};
