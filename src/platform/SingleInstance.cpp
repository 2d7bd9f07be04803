#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

namespace {
const QByteArray ShowRequest = QByteArrayLiteral("show\n");
constexpr int RetryPauseMs = 100;
} // namespace

SingleInstance::SingleInstance(const QString& lockFile, QObject* parent)
    : QObject(parent)
    , m_lockFile(lockFile)
    , m_lock(lockFile) {
    // The lock of a running copy never goes stale by age; one left by a
    // copy that died is taken over.
    m_lock.setStaleLockTime(0);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName() const {
    const QFileInfo info(m_lockFile);
    QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        folder = info.absolutePath();
    const QByteArray key = (folder + QLatin1Char('/') + info.fileName()).toUtf8();
    return QStringLiteral("servermon-") +
           QString::fromLatin1(
               QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(24));
}

SingleInstance::Claim SingleInstance::claim() {
    if (!m_lock.tryLock(0))
        return m_lock.error() == QLockFile::LockFailedError ? Claim::AlreadyRunning
                                                            : Claim::Unavailable;
    // A socket left by a copy that died would refuse the name.
    QLocalServer::removeServer(serverName());
    m_server.listen(serverName());
    return Claim::Claimed;
}

bool SingleInstance::activateRunning(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    // The running copy may hold the lock a moment before it listens.
    do {
        QLocalSocket socket;
        socket.connectToServer(serverName());
        if (socket.waitForConnected(qMax(1, static_cast<int>(deadline.remainingTime())))) {
            socket.write(ShowRequest);
            const bool sent =
                socket.waitForBytesWritten(qMax(1, static_cast<int>(deadline.remainingTime())));
            socket.disconnectFromServer();
            return sent;
        }
        QThread::msleep(RetryPauseMs);
    } while (!deadline.hasExpired());
    return false;
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains(ShowRequest))
                emit activationRequested();
        });
    }
}
