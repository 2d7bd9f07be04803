#include "catalogue/CatalogueWorker.h"

#include "catalogue/CatalogueCopy.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/SqlErrorText.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int HeartbeatMs = 2000;
// Changes that arrive together (an import, row by row) are read as one.
constexpr int AnnounceDelayMs = 100;
constexpr int SnapshotDelayMs = 1000;
// The advisory lock whose holder sends the channel messages.
constexpr int SenderLockKey = 7302;

// Beside the operator's options: a statement that hangs ends, and a
// database host that vanished is noticed within seconds. The server ends
// the session of a copy whose host vanished, and with it the sender lock,
// within 30 s: its keepalives find the peer gone, and a session idle that
// long (a live copy asks every two seconds) is closed.
const QString kConnectionOptions =
    QStringLiteral("keepalives_idle=5;keepalives_interval=2;keepalives_count=3;"
                   "options='-cstatement_timeout=30000 -cidle_session_timeout=30000"
                   " -ctcp_keepalives_idle=5 -ctcp_keepalives_interval=2"
                   " -ctcp_keepalives_count=3'");

} // namespace

CatalogueWorker::CatalogueWorker(const CatalogueUri& uri, const QString& snapshotPath)
    : m_uri(uri)
    , m_snapshotPath(snapshotPath)
    , m_connectionName(QStringLiteral("ModuleDB-postgres"))
    , m_heartbeat(new QTimer(this))
    , m_retry(new QTimer(this))
    , m_snapshotDelay(new QTimer(this))
    , m_announceDelay(new QTimer(this)) {
    m_heartbeat->setInterval(HeartbeatMs);
    connect(m_heartbeat, &QTimer::timeout, this, &CatalogueWorker::heartbeat);
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, [this] {
        if (connectNow())
            emit serversChanged({});
    });
    m_snapshotDelay->setSingleShot(true);
    m_snapshotDelay->setInterval(SnapshotDelayMs);
    connect(m_snapshotDelay, &QTimer::timeout, this, &CatalogueWorker::writeSnapshot);
    m_announceDelay->setSingleShot(true);
    m_announceDelay->setInterval(AnnounceDelayMs);
    connect(m_announceDelay, &QTimer::timeout, this, &CatalogueWorker::announceChanges);
}

CatalogueWorker::~CatalogueWorker() = default;

QSqlDatabase CatalogueWorker::database() const {
    return QSqlDatabase::database(m_connectionName, false);
}

void CatalogueWorker::configure(QSqlDatabase& db, const CatalogueUri& uri) {
    db.setHostName(uri.host());
    db.setPort(uri.port());
    db.setUserName(uri.userName());
    db.setDatabaseName(uri.databaseName());
    const QString options = uri.connectOptions();
    db.setConnectOptions(options.isEmpty() ? kConnectionOptions
                                           : options + QLatin1Char(';') + kConnectionOptions);
}

bool CatalogueWorker::connectNow() {
    if (m_stopped)
        return false;
    closeConnection();
    bool ready = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
        configure(db, m_uri);
        if (!db.open()) {
            m_lastError = sqlErrorText(db.lastError());
        } else if (!CatalogueSchema::prepare(db, CatalogueSchema::Dialect::Postgres,
                                             m_uri.displayText(), &m_refusal)) {
            m_lastError = m_refusal.isEmpty() ? sqlErrorText(db.lastError()) : m_refusal;
        } else {
            QSqlDriver* driver = db.driver();
            connect(driver,
                    qOverload<const QString&, QSqlDriver::NotificationSource, const QVariant&>(
                        &QSqlDriver::notification),
                    this, &CatalogueWorker::notified);
            ready = driver->subscribeToNotification(
                QString::fromLatin1(CatalogueSchema::ChangeChannel));
            if (!ready)
                m_lastError = sqlErrorText(driver->lastError());
        }
    }
    if (!ready) {
        closeConnection();
        goOffline(m_lastError);
        return false;
    }
    m_lastError.clear();
    m_retryMs = FirstRetryMs;
    m_heartbeat->start();
    const bool wasOnline = m_online;
    m_online = true;
    if (!wasOnline)
        emit onlineChanged(true, {});
    takeSenderRole();
    writeSnapshot();
    return true;
}

void CatalogueWorker::goOffline(const QString& why) {
    m_heartbeat->stop();
    m_lastError = why;
    const bool wasOnline = m_online;
    m_online = false;
    setSender(false);
    if (wasOnline) {
        closeConnection();
        emit onlineChanged(false, why);
    }
    scheduleReconnect();
}

void CatalogueWorker::scheduleReconnect() {
    if (m_stopped || m_retry->isActive())
        return;
    m_retry->start(m_retryMs);
    m_retryMs = qMin(m_retryMs * 2, LastRetryMs);
}

void CatalogueWorker::verifyConnection() {
    // A failed statement inside a transaction fails every later one until
    // the rollback: the connection is checked once the transaction is over.
    if (!m_online || m_inTransaction)
        return;
    QString why;
    {
        QSqlDatabase db = database();
        QSqlQuery probe(db);
        if (db.isOpen() && probe.exec(QStringLiteral("select 1")))
            return;
        why = sqlErrorText(probe.lastError());
    }
    goOffline(why.isEmpty() ? tr("与数据库的连接已断开") : why);
}

void CatalogueWorker::heartbeat() {
    verifyConnection();
    if (m_online && !m_sender)
        takeSenderRole();
}

// Held for as long as the session lasts: when the holder ends or loses its
// connection, the next copy to try takes it.
void CatalogueWorker::takeSenderRole() {
    QSqlQuery lock(database());
    setSender(lock.exec(QStringLiteral("select pg_try_advisory_lock(%1)").arg(SenderLockKey)) &&
              lock.next() && lock.value(0).toBool());
}

void CatalogueWorker::setSender(bool sender) {
    if (sender == m_sender)
        return;
    m_sender = sender;
    emit senderChanged(sender);
}

void CatalogueWorker::notified(const QString& name, QSqlDriver::NotificationSource source,
                               const QVariant& payload) {
    if (name != QLatin1String(CatalogueSchema::ChangeChannel))
        return;
    m_snapshotDelay->start();
    if (source == QSqlDriver::SelfSource)
        return;
    const QString ids = payload.toString();
    if (ids.isEmpty())
        m_changedAll = true;
    for (const QStringView id : QStringView(ids).split(u',', Qt::SkipEmptyParts))
        m_changed.insert(id.toLongLong());
    if (!m_announceDelay->isActive())
        m_announceDelay->start();
}

void CatalogueWorker::announceChanges() {
    const QList<qint64> ids = m_changedAll ? QList<qint64>() : m_changed.values();
    m_changed.clear();
    m_changedAll = false;
    emit serversChanged(ids);
}

// Written whole beside the snapshot and then put in its place, so a copy
// that goes offline half way through reads the last complete one.
void CatalogueWorker::writeSnapshot() {
    if (!m_online || m_snapshotPath.isEmpty())
        return;
    const QString fresh = m_snapshotPath + QStringLiteral(".new");
    QFile::remove(fresh);
    const int descriptor =
        ::open(QFile::encodeName(fresh).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return;
    ::close(descriptor);
    const QString name = m_connectionName + QStringLiteral("-snapshot");
    bool written = false;
    {
        QSqlDatabase snapshot = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        snapshot.setDatabaseName(fresh);
        QSqlDatabase source = database();
        written =
            snapshot.open() &&
            CatalogueSchema::prepare(snapshot, CatalogueSchema::Dialect::Sqlite, fresh, nullptr) &&
            snapshot.transaction() && source.transaction();
        written = written &&
                  CatalogueCopy::copyKeptTables(source, snapshot, CatalogueSchema::Dialect::Sqlite)
                      .isEmpty();
        if (source.isOpen())
            source.rollback();
        written = snapshot.commit() && written;
        snapshot.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!written || ::rename(QFile::encodeName(fresh).constData(),
                             QFile::encodeName(m_snapshotPath).constData()) != 0)
        QFile::remove(fresh);
}

void CatalogueWorker::closeConnection() {
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    {
        QSqlDatabase db = database();
        if (db.isOpen() && db.driver())
            db.driver()->disconnect(this);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

void CatalogueWorker::stop() {
    m_stopped = true;
    m_heartbeat->stop();
    m_retry->stop();
    m_snapshotDelay->stop();
    m_announceDelay->stop();
    m_online = false;
    m_sender = false;
    closeConnection();
}
