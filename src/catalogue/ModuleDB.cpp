#include "catalogue/ModuleDB.h"

#include "catalogue/CatalogueEvents.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/PostgresCatalogue.h"
#include "catalogue/SqlErrorText.h"
#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

const QString kConnectionName = QStringLiteral("ModuleDB");

struct DbState {
    QString path;
    QString databaseUri;
    QString commandLineUri;
    int busyTimeOutMs = ModuleDB::WindowBusyTimeOutMs;
    bool connected = false; // the local connection: the file, or the snapshot
    QString openError;
    std::unique_ptr<PostgresCatalogue> postgres;
};

DbState& state() {
    static DbState s;
    return s;
}

CatalogueEvents& catalogueEvents() {
    static CatalogueEvents events;
    return events;
}

QSqlDatabase connection() {
    return QSqlDatabase::database(kConnectionName, false);
}

QString failureReport(const QString& sql, const QVariantList& values, const QString& description) {
    return QCoreApplication::translate("ModuleDB", "数据库操作失败:") +
           ModuleDB::StatementText(sql, values) +
           QCoreApplication::translate("ModuleDB", "\r\n错误描述:") + description;
}

// Readers never wait for a writer in write-ahead-log mode: a copy that
// reloads while another imports sees the catalogue as it was before the
// import. Where the mode cannot be set (another copy is in the middle of a
// change, a folder that cannot be written to), the catalogue works as
// before.
void useWriteAheadLog(QSqlDatabase& db) {
    QSqlQuery query(db);
    query.exec(QStringLiteral("pragma journal_mode=wal"));
}

// At rest the catalogue keeps a rollback journal, so a copy in a folder it
// cannot write to still reads it (the write-ahead log needs files beside
// the catalogue). Only the last copy to close it can switch back; while
// another has it open, it stays as it is, without waiting.
void useRollbackJournalIfAlone(QSqlDatabase& db) {
    QSqlQuery query(db);
    query.exec(QStringLiteral("pragma busy_timeout=0"));
    query.exec(QStringLiteral("pragma journal_mode=delete"));
}

QString valueText(const QVariant& value) {
    if (value.isNull())
        return QStringLiteral("null");
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return QLatin1Char('\'') + value.toString() + QLatin1Char('\'');
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return value.toString();
    }
}

// A catalogue may come to hold the notification channels' secrets: a new
// one is made readable by its owner only (SQLite gives its side files the
// same permissions). An empty file becomes a catalogue like a missing one.
void createOwnerOnly(const QString& path) {
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor >= 0)
        ::close(descriptor);
}

// The statements themselves, on whichever connection holds the catalogue.
QString execute(QSqlDatabase db, const QString& sql, const QVariantList& values) {
    QSqlQuery query(db);
    if (!query.prepare(sql))
        return failureReport(sql, values, sqlErrorText(query.lastError()));
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        return failureReport(sql, values, sqlErrorText(query.lastError()));
    return {};
}

// Hands each row of the query to take; empty on success, the failure
// report otherwise. A read that fails part way (the file changed under it)
// is a failure too.
QString eachRow(QSqlDatabase db, const QString& sql, const QVariantList& values,
                const std::function<void(const QSqlQuery&)>& take) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    bool done = query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    done = done && query.exec();
    while (done && query.next())
        take(query);
    if (!done || query.lastError().isValid())
        return failureReport(sql, values, sqlErrorText(query.lastError()));
    return {};
}

// Empty on success, the failure report otherwise (and then no rows).
QString query(QSqlDatabase db, const QString& sql, const QVariantList& values,
              QList<QSqlRecord>& rows) {
    rows.clear();
    const QString report =
        eachRow(db, sql, values, [&rows](const QSqlQuery& row) { rows << row.record(); });
    if (!report.isEmpty())
        rows.clear();
    return report;
}

QList<QSqlRecord> select(QSqlDatabase db, const QString& sql, const QVariantList& values,
                         bool* ok) {
    QList<QSqlRecord> rows;
    *ok = query(db, sql, values, rows).isEmpty();
    return rows;
}

QString transaction(QSqlDatabase db, const std::function<QString()>& work) {
    if (!db.transaction())
        return failureReport(QStringLiteral("begin transaction"), {}, sqlErrorText(db.lastError()));
    QString report = work();
    if (report.isEmpty() && !db.commit())
        report = failureReport(QStringLiteral("commit"), {}, sqlErrorText(db.lastError()));
    if (!report.isEmpty())
        db.rollback();
    return report;
}

QString notConnected() {
    return QCoreApplication::translate("ModuleDB", "数据库未连接");
}

QString offlineRefusal() {
    return QCoreApplication::translate(
        "ModuleDB", "数据库离线(只读),暂时不能修改服务器列表,请在数据库恢复连接后重试");
}

QString timedOut() {
    return QCoreApplication::translate("ModuleDB", "数据库在5秒内未响应");
}

QString databaseUri() {
    return state().commandLineUri.isEmpty() ? state().databaseUri : state().commandLineUri;
}

PostgresCatalogue* postgres() {
    return state().postgres.get();
}

// A shared catalogue that does not answer, or whose address is unusable:
// only the snapshot can be read.
bool sharedOffline() {
    return ModuleDB::DbShared() && !(postgres() && postgres()->online());
}

// Statements the main thread hands to the PostgreSQL connection; on the
// worker's own thread (inside a transaction) they run at once. A failure
// has the worker check that the database is still there.
template <typename Result>
std::optional<Result> onPostgres(std::function<Result(QSqlDatabase)> work) {
    PostgresCatalogue* database = postgres();
    CatalogueWorker* worker = database->worker();
    if (database->onWorkerThread())
        return work(worker->database());
    return database->call<Result>(
        [worker, work = std::move(work)] { return work(worker->database()); });
}

// Where the copy keeps what it last read of a shared catalogue: beside the
// file the catalogue would otherwise be.
QString snapshotPath() {
    const QFileInfo file(ModuleDB::DbPath());
    return file.dir().filePath(file.completeBaseName() + QStringLiteral("-snapshot.db"));
}

bool openLocal(const QString& path, const QString& options) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kConnectionName);
    db.setDatabaseName(path);
    db.setConnectOptions(options);
    return db.open();
}

void closeLocal() {
    const bool wasConnected = state().connected;
    state().connected = false;
    if (!QSqlDatabase::contains(kConnectionName))
        return;
    {
        QSqlDatabase db = connection();
        if (wasConnected && db.isOpen() && !postgres())
            useRollbackJournalIfAlone(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(kConnectionName);
}

// While the database is away the copy reads the snapshot, and only reads it.
void useSnapshot(bool use) {
    closeLocal();
    if (!use || !QFile::exists(snapshotPath()))
        return;
    state().connected = openLocal(snapshotPath(), QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (state().connected) {
        QSqlDatabase db = connection();
        state().connected =
            CatalogueSchema::prepare(db, CatalogueSchema::Dialect::Sqlite, snapshotPath(), nullptr);
    }
    if (!state().connected)
        closeLocal();
}

bool openPostgres() {
    const CatalogueUri uri = CatalogueUri::parse(databaseUri());
    if (!uri.isValid()) {
        state().openError = uri.error();
        useSnapshot(true);
        return ModuleDB::DbConnected();
    }
    state().postgres = std::make_unique<PostgresCatalogue>(uri, snapshotPath());
    PostgresCatalogue* database = postgres();
    QObject::connect(database, &PostgresCatalogue::onlineChanged, &catalogueEvents(),
                     [](bool online) {
                         useSnapshot(!online);
                         emit catalogueEvents().stateChanged();
                     });
    QObject::connect(database, &PostgresCatalogue::serversChanged, &catalogueEvents(),
                     &CatalogueEvents::announceServers);
    QObject::connect(database, &PostgresCatalogue::senderChanged, &catalogueEvents(),
                     &CatalogueEvents::senderChanged);
    if (!database->start()) {
        state().openError = database->refusal();
        useSnapshot(true);
    }
    return ModuleDB::DbConnected();
}

} // namespace

namespace ModuleDB {

QString DefaultDbPath() {
    return AppPaths::current().catalogueFile();
}

void setDbPath(const QString& path) {
    state().path = path;
}

void setBusyTimeOutMs(int ms) {
    state().busyTimeOutMs = ms;
}

QString DbPath() {
    return state().path.isEmpty() ? DefaultDbPath() : state().path;
}

void setDatabaseUri(const QString& uri) {
    state().databaseUri = uri.trimmed();
}

void setCommandLineDatabaseUri(const QString& uri) {
    state().commandLineUri = uri.trimmed();
}

bool DbShared() {
    return !databaseUri().isEmpty();
}

QString DbName() {
    const CatalogueUri uri = CatalogueUri::parse(databaseUri());
    return !DbShared() ? DbPath() : uri.isValid() ? uri.displayText() : QString();
}

CatalogueSchema::Dialect DbDialect() {
    return postgres() && postgres()->online() ? CatalogueSchema::Dialect::Postgres
                                              : CatalogueSchema::Dialect::Sqlite;
}

CatalogueEvents* events() {
    return &catalogueEvents();
}

bool DbOpen() {
    DbClose();
    state().openError.clear();
    if (DbShared())
        return openPostgres();
    createOwnerOnly(DbPath());
    state().connected =
        openLocal(DbPath(), QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(state().busyTimeOutMs));
    if (state().connected) {
        QSqlDatabase db = connection();
        state().connected = CatalogueSchema::prepare(db, CatalogueSchema::Dialect::Sqlite, DbPath(),
                                                     &state().openError);
        if (state().connected)
            useWriteAheadLog(db);
    }
    if (!state().connected)
        DbClose();
    return state().connected;
}

// Closing also releases the connection, so nothing of it outlives the catalogue.
void DbClose() {
    closeLocal();
    state().postgres.reset();
}

bool DbConnected() {
    return DbOnline() || (state().connected && connection().isOpen());
}

bool DbOnline() {
    if (DbShared())
        return postgres() && postgres()->online();
    return state().connected && connection().isOpen();
}

bool DbIsSender() {
    return !DbShared() || (postgres() && postgres()->isSender());
}

QString DbOpenError() {
    return state().openError;
}

QString DbOfflineReason() {
    if (!DbShared())
        return {};
    return postgres() ? postgres()->offlineReason() : state().openError;
}

QString DbStateText() {
    if (sharedOffline())
        return QCoreApplication::translate("ModuleDB", "数据库：离线(只读)");
    return DbConnected() ? QCoreApplication::translate("ModuleDB", "数据库：连接成功")
                         : QCoreApplication::translate("ModuleDB", "数据库：连接失败");
}

QString DbExecute(const QString& sql, const QVariantList& values) {
    if (DbShared()) {
        if (sharedOffline() && !(postgres() && postgres()->onWorkerThread()))
            return failureReport(sql, values, offlineRefusal());
        const std::optional<QString> report = onPostgres<QString>([sql, values](QSqlDatabase db) {
            if (!db.isOpen())
                return failureReport(sql, values, offlineRefusal());
            QString report = execute(db, sql, values);
            if (!report.isEmpty())
                postgres()->worker()->verifyConnection();
            return report;
        });
        return report ? *report : failureReport(sql, values, timedOut());
    }
    if (!DbConnected())
        return failureReport(sql, values, notConnected());
    return execute(connection(), sql, values);
}

bool DbPostShared(const QString& sql, const QVariantList& values) {
    PostgresCatalogue* database = postgres();
    if (!database || !database->online())
        return false;
    CatalogueWorker* worker = database->worker();
    QMetaObject::invokeMethod(worker, [worker, sql, values] {
        QSqlDatabase db = worker->database();
        if (db.isOpen() && !execute(db, sql, values).isEmpty())
            worker->verifyConnection();
    });
    return true;
}

QList<QSqlRecord> DbSelect(const QString& sql, const QVariantList& values, bool* ok) {
    bool read = false;
    QList<QSqlRecord> rows;
    if (postgres() && (postgres()->online() || postgres()->onWorkerThread())) {
        using Answer = std::pair<bool, QList<QSqlRecord>>;
        const std::optional<Answer> answer = onPostgres<Answer>([sql, values](QSqlDatabase db) {
            Answer result;
            result.second = select(db, sql, values, &result.first);
            if (!result.first)
                postgres()->worker()->verifyConnection();
            return result;
        });
        if (answer) {
            read = answer->first;
            rows = answer->second;
        }
    } else if (DbConnected()) {
        rows = select(connection(), sql, values, &read);
    }
    if (ok)
        *ok = read;
    return rows;
}

bool DbSelectEach(const QString& sql, const QVariantList& values,
                  const std::function<void(const QSqlQuery&)>& take) {
    if (postgres() && (postgres()->online() || postgres()->onWorkerThread())) {
        const std::optional<bool> read = onPostgres<bool>([&](QSqlDatabase db) {
            const bool done = eachRow(db, sql, values, take).isEmpty();
            if (!done)
                postgres()->worker()->verifyConnection();
            return done;
        });
        return read.value_or(false);
    }
    return DbConnected() && eachRow(connection(), sql, values, take).isEmpty();
}

QString DbExecuteReturning(const QString& sql, const QVariantList& values,
                           QList<QSqlRecord>& rows) {
    rows.clear();
    if (DbShared()) {
        if (sharedOffline() && !(postgres() && postgres()->onWorkerThread()))
            return failureReport(sql, values, offlineRefusal());
        using Answer = std::pair<QString, QList<QSqlRecord>>;
        const std::optional<Answer> answer = onPostgres<Answer>([sql, values](QSqlDatabase db) {
            Answer result;
            result.first = query(db, sql, values, result.second);
            return result;
        });
        if (!answer)
            return failureReport(sql, values, timedOut());
        rows = answer->second;
        return answer->first;
    }
    if (!DbConnected())
        return failureReport(sql, values, notConnected());
    return query(connection(), sql, values, rows);
}

QString DbTransaction(const std::function<QString()>& work) {
    const QString begin = QStringLiteral("begin transaction");
    if (DbShared()) {
        if (sharedOffline())
            return failureReport(begin, {}, offlineRefusal());
        const std::optional<QString> report = onPostgres<QString>([&work](QSqlDatabase db) {
            CatalogueWorker* worker = postgres()->worker();
            worker->setInTransaction(true);
            const QString report = transaction(db, work);
            worker->setInTransaction(false);
            if (!report.isEmpty())
                worker->verifyConnection();
            return report;
        });
        return report ? *report : failureReport(begin, {}, timedOut());
    }
    if (!DbConnected())
        return failureReport(begin, {}, notConnected());
    return transaction(connection(), work);
}

QString StatementText(const QString& sql, const QVariantList& values) {
    QString text;
    text.reserve(sql.size());
    qsizetype next = 0;
    bool quoted = false;
    for (const QChar c : sql) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (c == QLatin1Char('?') && !quoted && next < values.size())
            text += valueText(values.at(next++));
        else
            text += c;
    }
    return text;
}

} // namespace ModuleDB
