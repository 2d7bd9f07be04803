#pragma once

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <utility>

// The peers of the notification channel tests, each in a process of its own
// under Debian's interpreter, as the other Python peers.
namespace ChannelPeers {

inline QString sourceFile(const QString& name) {
    return qEnvironmentVariable("SERVERMON_SOURCE_DIR") + QStringLiteral("/tests/notify/") + name;
}

// Reads one line of a peer's output within 20 s.
inline QByteArray readLine(QProcess& process) {
    QElapsedTimer waited;
    waited.start();
    while (!process.canReadLine() && waited.elapsed() < 20000)
        process.waitForReadyRead(1000);
    return process.readLine();
}

inline void end(QProcess& process) {
    process.closeWriteChannel();
    if (!process.waitForFinished(10000))
        process.kill();
    process.waitForFinished(10000);
}

} // namespace ChannelPeers

// tests/notify/channel-sink.py on 127.0.0.1: plays every HTTP channel kind
// and records every request; the first path segment picks the answer.
class ChannelSink final {
public:
    // certificate names a pair STEM.pem and STEM.key in folder; empty: plain.
    explicit ChannelSink(const QString& folder = {}, const QString& certificate = {}) {
        QStringList arguments{ChannelPeers::sourceFile(QStringLiteral("channel-sink.py"))};
        if (!certificate.isEmpty())
            arguments << folder + u'/' + certificate + QStringLiteral(".pem")
                      << folder + u'/' + certificate + QStringLiteral(".key");
        m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
        const QByteArray line = ChannelPeers::readLine(m_process);
        if (line.startsWith("port "))
            m_port = line.mid(5).trimmed().toUShort();
    }
    ~ChannelSink() { ChannelPeers::end(m_process); }
    Q_DISABLE_COPY_MOVE(ChannelSink)

    quint16 port() const { return m_port; } // 0 when the sink did not start
    QString url(const QString& path, bool secure = false) const {
        return (secure ? QStringLiteral("https://127.0.0.1:")
                       : QStringLiteral("http://127.0.0.1:")) +
               QString::number(m_port) + path;
    }
    // Every request read so far: {"method", "path", "query", "headers"
    // (names in lower case), "body"}.
    QJsonArray requests() {
        m_process.write("requests\n");
        return QJsonDocument::fromJson(ChannelPeers::readLine(m_process)).array();
    }
    // The last request read, or nothing.
    QJsonObject last() { return requests().last().toObject(); }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

// tests/notify/smtp-sink.py: three SMTP servers on 127.0.0.1 (plain,
// STARTTLS, TLS) with one mailbox, the certificate STEM of folder.
class SmtpSink final {
public:
    static constexpr const char* User = "alert";
    static constexpr const char* Password = "pa55-Secret";

    SmtpSink(const QString& folder, const QString& certificate, QString mailbox)
        : m_mailbox(std::move(mailbox)) {
        QDir().mkpath(m_mailbox);
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {ChannelPeers::sourceFile(QStringLiteral("smtp-sink.py")),
                         folder + u'/' + certificate + QStringLiteral(".pem"),
                         folder + u'/' + certificate + QStringLiteral(".key"), m_mailbox});
        const QList<QByteArray> words = ChannelPeers::readLine(m_process).simplified().split(' ');
        if (words.size() == 4 && words.first() == "ports")
            for (int i = 0; i < 3; ++i)
                m_ports[i] = words.at(i + 1).toUShort();
    }
    ~SmtpSink() { ChannelPeers::end(m_process); }
    Q_DISABLE_COPY_MOVE(SmtpSink)

    quint16 plainPort() const { return m_ports[0]; } // 0 when the sink did not start
    quint16 startTlsPort() const { return m_ports[1]; }
    quint16 tlsPort() const { return m_ports[2]; }

    // The messages received, oldest first: {"from", "to", "login", "data"}.
    QList<QJsonObject> mails() const {
        QList<QJsonObject> received;
        for (int number = 1;; ++number) {
            QFile mail(m_mailbox + QStringLiteral("/mail-%1.json").arg(number));
            if (!mail.open(QIODevice::ReadOnly))
                return received;
            received << QJsonDocument::fromJson(mail.readAll()).object();
        }
    }

private:
    QProcess m_process;
    QString m_mailbox;
    quint16 m_ports[3] = {0, 0, 0};
};
