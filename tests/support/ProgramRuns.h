#pragma once

#include "catalogue/ModuleDB.h"
#include "catalogue/ServerCatalogue.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

// For tests that run the built programs as child processes: where they are,
// a data folder made beforehand, and a loopback server for them to probe.
namespace ProgramRuns {

constexpr int WaitMs = 20000;

inline QString windowProgram() {
    return qEnvironmentVariable("SERVERMON_BINARY");
}

inline QString headlessProgram() {
    return QFileInfo(windowProgram()).dir().filePath(QStringLiteral("servermon-headless"));
}

// A loopback port nothing listens on (the moment it is asked for).
inline quint16 closedPort() {
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    return closed.serverPort();
}

// What the program's metrics endpoint on that loopback port answers, the
// HTTP head included; empty when nothing accepts.
inline QByteArray scrapeMetrics(quint16 port) {
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    if (!client.waitForConnected(5000))
        return {};
    client.write("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray reply;
    while (client.waitForReadyRead(5000))
        reply += client.readAll();
    return reply + client.readAll();
}

// No desktop and no session bus: nothing of the test's session is touched.
inline QProcessEnvironment withoutDesktop() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

inline QProcessEnvironment offscreen() {
    QProcessEnvironment environment = withoutDesktop();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

// The permission bits of the file in octal ("600"); empty when it is missing.
inline QString modeOf(const QString& path) {
    struct stat status = {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return QString::number(status.st_mode & 07777, 8);
}

// For a child process: when the test runs as root, whom a file's mode does
// not hold back, the child runs as the given user instead.
inline void runAsUser(uid_t user) {
    if (::geteuid() != 0)
        return;
    ::setgroups(0, nullptr);
    if (::setgid(user) != 0 || ::setuid(user) != 0)
        ::_exit(125);
}

constexpr uid_t Nobody = 65534;
constexpr uid_t Daemon = 1;

inline void setMode(const QString& path, mode_t mode) {
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

// A folder in parent that nobody but root may write to, its parent open to
// every user, so a child run as another user meets a read-only folder.
inline QString readOnlyFolderIn(const QTemporaryDir& parent) {
    setMode(parent.path(), 0755);
    const QString folder = parent.filePath(QStringLiteral("read-only"));
    QDir().mkdir(folder);
    setMode(folder, 0555);
    return folder;
}

// Sends the signal and waits for the end; false when it did not end in time.
inline bool endWith(QProcess& process, int signalNumber) {
    ::kill(static_cast<pid_t>(process.processId()), signalNumber);
    return process.waitForFinished(WaitMs);
}

// A server on 127.0.0.1 that answers every request; the answers take turns
// from the list, so each pass can change a server's state.
class LoopbackPeer final {
    Q_DISABLE_COPY_MOVE(LoopbackPeer)
public:
    explicit LoopbackPeer(QList<QByteArray> answers)
        : m_answers(std::move(answers)) {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                const QByteArray answer = m_answers.at(m_connections % m_answers.size());
                ++m_connections;
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, answer] {
                    socket->readAll();
                    socket->write(answer);
                    ++m_answered;
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
                    ++m_closed;
                    socket->deleteLater();
                });
            }
        });
    }

    quint16 port() const { return m_server.serverPort(); }
    int answered() const { return m_answered; }
    // Connections the prober closed, having read the answer.
    int closed() const { return m_closed; }

private:
    QTcpServer m_server;
    QList<QByteArray> m_answers;
    int m_connections = 0;
    int m_answered = 0;
    int m_closed = 0;
};

// A data folder for --config-dir: a catalogue and a settings file made
// before the program starts.
class DataFolder final {
    Q_DISABLE_COPY_MOVE(DataFolder)
public:
    DataFolder() = default;

    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

    // Runs work on the folder's catalogue, opened as the program opens it
    // (made when missing), and closes it again.
    template <typename Work> void inCatalogue(Work work) const {
        const AppPaths previous = AppPaths::current();
        AppPaths::setCurrent(AppPaths::portableIn(path()));
        ModuleDB::setDbPath(AppPaths::current().catalogueFile());
        const bool opened = ModuleDB::DbOpen();
        if (opened)
            work();
        ModuleDB::DbClose();
        AppPaths::setCurrent(previous);
        QVERIFY2(opened, "the catalogue did not open");
    }

    // Adds a server on 127.0.0.1 that expects reply.
    void addServer(const QString& name, quint16 port, const QString& reply) const {
        inCatalogue([&] {
            ServerRecord record;
            record.displayName = name;
            record.ipAddress = QStringLiteral("127.0.0.1");
            record.port = QString::number(port);
            record.postData = QStringLiteral("HELLO");
            record.replyData = reply;
            QCOMPARE(ServerCatalogue::AddServer(record), QString());
        });
    }

    void writeSettings(const QByteArray& content) const {
        QFile settings(file(QStringLiteral("RodOdazuConfig.ini")));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(content);
    }

    QByteArray read(const QString& name) const {
        QFile content(file(name));
        return content.open(QIODevice::ReadOnly) ? content.readAll() : QByteArray();
    }

    // Results in the history file; -1 when it cannot be read. Check for a
    // -wal file first: reading the file makes one while it is open.
    int historyResults() const {
        int count = -1;
        {
            QSqlDatabase history =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("results"));
            history.setDatabaseName(file(QStringLiteral("History.db")));
            if (history.open()) {
                QSqlQuery query(QStringLiteral("SELECT COUNT(*) FROM raw"), history);
                if (query.next())
                    count = query.value(0).toInt();
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("results"));
        return count;
    }

private:
    QTemporaryDir m_dir;
};

} // namespace ProgramRuns
