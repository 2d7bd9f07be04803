#include "platform/SingleInstance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSysInfo>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray ShowRequest = QByteArrayLiteral("show\n");
const QByteArray ShownAnswer = QByteArrayLiteral("shown\n");
const QByteArray HeadlessAnswer = QByteArrayLiteral("headless\n");
constexpr int RetryPauseMs = 100;
// A holder that ends removes the file between another start's open and its
// lock; that start then tries again on the new file.
constexpr int ClaimAttempts = 10;

// Whether the open file is still the one the path names.
bool stillNamed(int descriptor, const QByteArray& path) {
    struct stat opened = {};
    struct stat named = {};
    return ::fstat(descriptor, &opened) == 0 && ::stat(path.constData(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// The lock file for reading and writing, created when missing; one that can
// only be read (another user's, or on a read-only medium) serves as well,
// since a lock needs no write access. Sets writable; -1 with errno set.
int openLockFile(const QByteArray& path, bool& writable) {
    writable = true;
    const int descriptor = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor >= 0 || (errno != EACCES && errno != EROFS && errno != EPERM))
        return descriptor;
    const int refused = errno;
    writable = false;
    const int readOnly = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (readOnly < 0)
        errno = refused;
    return readOnly;
}

} // namespace

SingleInstance::SingleInstance(const QString& lockFile, Role role, QObject* parent)
    : QObject(parent)
    , m_lockFile(lockFile)
    , m_role(role) {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
}

SingleInstance::~SingleInstance() {
    if (m_descriptor < 0)
        return;
    m_server.close();
    // Removed while still locked: a later start that opened it meanwhile
    // finds it no longer named and opens the new one.
    const QByteArray path = QFile::encodeName(m_lockFile);
    if (stillNamed(m_descriptor, path))
        ::unlink(path.constData());
    ::close(m_descriptor);
}

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
    if (m_descriptor >= 0)
        return Claim::Claimed;
    m_error.clear();
    const QByteArray path = QFile::encodeName(m_lockFile);
    for (int attempt = 0; attempt < ClaimAttempts; ++attempt) {
        bool writable = true;
        const int descriptor = openLockFile(path, writable);
        if (descriptor < 0) {
            m_error = qt_error_string(errno);
            return Claim::Unavailable;
        }
        if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            const int refused = errno;
            ::close(descriptor);
            if (refused == EWOULDBLOCK)
                return Claim::AlreadyRunning;
            m_error = qt_error_string(refused);
            return Claim::Unavailable;
        }
        if (!stillNamed(descriptor, path)) {
            ::close(descriptor);
            continue;
        }
        m_descriptor = descriptor;
        if (writable)
            writeOwner();
        // A socket left by a copy that died would refuse the name.
        QLocalServer::removeServer(serverName());
        m_server.listen(serverName());
        return Claim::Claimed;
    }
    return Claim::AlreadyRunning;
}

// The lines QLockFile writes (process ID, program, host name), for a person
// who wonders who holds the folder.
void SingleInstance::writeOwner() const {
    const QByteArray owner =
        QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
        QFile::encodeName(QFileInfo(QCoreApplication::applicationFilePath()).fileName()) + '\n' +
        QSysInfo::machineHostName().toUtf8() + '\n';
    if (::ftruncate(m_descriptor, 0) != 0)
        return;
    [[maybe_unused]] const ssize_t written =
        ::pwrite(m_descriptor, owner.constData(), static_cast<size_t>(owner.size()), 0);
}

SingleInstance::Activation SingleInstance::activateRunning(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    const auto remaining = [&deadline] {
        return qMax(1, static_cast<int>(deadline.remainingTime()));
    };
    // The running copy may hold the lock a moment before it listens.
    do {
        QLocalSocket socket;
        socket.connectToServer(serverName());
        if (socket.waitForConnected(remaining())) {
            socket.write(ShowRequest);
            if (!socket.waitForBytesWritten(remaining()))
                return Activation::Unreachable;
            QByteArray answer;
            while (!answer.endsWith('\n') && socket.waitForReadyRead(remaining()))
                answer += socket.readAll();
            return answer == HeadlessAnswer ? Activation::Headless : Activation::Shown;
        }
        QThread::msleep(RetryPauseMs);
    } while (!deadline.hasExpired());
    return Activation::Unreachable;
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->readAll().contains(ShowRequest))
                return;
            if (m_role == Role::Headless) {
                socket->write(HeadlessAnswer);
                return;
            }
            emit activationRequested();
            socket->write(ShownAnswer);
        });
    }
}
