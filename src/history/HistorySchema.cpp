#include "history/HistorySchema.h"

#include "history/HistorySql.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace {

// SQLite's primary result code behind an error.
int resultCode(const QSqlError& error) {
    return error.nativeErrorCode().toInt() & 0xff;
}

// Another connection holds the file (SQLITE_BUSY, SQLITE_LOCKED).
bool isBusyError(const QSqlError& error) {
    const int code = resultCode(error);
    return code == 5 || code == 6;
}

// The file's content is not a sound database (SQLITE_CORRUPT, SQLITE_NOTADB).
bool isDamageError(const QSqlError& error) {
    const int code = resultCode(error);
    return code == 11 || code == 26;
}

QString readOnlyReason() {
    return QCoreApplication::translate("HistorySchema", "文件或其所在的文件夹是只读的");
}

// Why a statement failed, in words for the operator; never empty.
QString reasonOf(const QSqlError& error) {
    if (isBusyError(error))
        return QCoreApplication::translate("HistorySchema", "文件正被其他程序占用");
    if (resultCode(error) == 8) // SQLITE_READONLY
        return readOnlyReason();
    const QString text = error.text().trimmed();
    return text.isEmpty() ? QCoreApplication::translate("HistorySchema", "未知错误") : text;
}

// The file, or the folder where it and its journal live, may not be written.
bool isReadOnly(const QString& path) {
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    return (file.exists() && !file.isWritable()) || (folder.isDir() && !folder.isWritable());
}

} // namespace

HistorySchema::HistorySchema(const QString& connectionName)
    : m_connection(connectionName) {}

QString HistorySchema::aggregatedIdKey() {
    return QStringLiteral("aggregated_id");
}

QString HistorySchema::rawFromKey() {
    return QStringLiteral("raw_from");
}

void HistorySchema::close() {
    if (!QSqlDatabase::contains(m_connection))
        return;
    HistorySql::database(m_connection).close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool HistorySchema::exec(const QString& sql, const QVariantList& values) {
    QSqlQuery query(HistorySql::database(m_connection));
    bool ok = query.prepare(sql);
    for (const QVariant& value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok)
        m_error = query.lastError();
    return ok;
}

bool HistorySchema::openFile(const QString& path) {
    close();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        m_error = db.lastError();
        return false;
    }
    return true;
}

HistorySchema::Finding HistorySchema::inspect(bool check) const {
    Finding found;
    QSqlQuery query(HistorySql::database(m_connection));
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        found.error = query.lastError();
        return found;
    }
    found.version = query.value(0).toInt();
    query.finish();
    if (found.version > Version) {
        found.kind = Finding::Newer;
        return found;
    }
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"))) {
        found.error = query.lastError();
        return found;
    }
    QStringList names;
    while (query.next())
        names.append(query.value(0).toString());
    const bool history =
        names.contains(QStringLiteral("raw")) && names.contains(QStringLiteral("agg")) &&
        names.contains(QStringLiteral("agg_hour")) && names.contains(QStringLiteral("meta"));
    if (found.version == 0)
        found.kind = names.isEmpty() ? Finding::Empty : Finding::Foreign;
    else
        found.kind = history ? Finding::History : Finding::Foreign;
    if (!check || found.kind != Finding::History)
        return found;
    query.finish();
    if (!query.exec(QStringLiteral("PRAGMA quick_check")) || !query.next()) {
        found.kind = Finding::Failed;
        found.error = query.lastError();
    } else if (query.value(0).toString() != QStringLiteral("ok")) {
        found.kind = Finding::Damaged;
    }
    return found;
}

namespace {

// Raw results, one a row; ids only grow, so the aggregation can follow them.
QString rawTable(const QString& name) {
    return QStringLiteral(
               "CREATE TABLE %1 (id INTEGER PRIMARY KEY AUTOINCREMENT, "
               "server INTEGER NOT NULL, t INTEGER NOT NULL, kind INTEGER NOT NULL, "
               "ms INTEGER NOT NULL, status INTEGER NOT NULL, "
               "maintenance INTEGER NOT NULL DEFAULT 0, handshake_ms INTEGER DEFAULT NULL)")
        .arg(name);
}

QString rawIndex() {
    return QStringLiteral("CREATE INDEX raw_server_t ON raw (server, t)");
}

QString aggTable(const QString& name) {
    return QStringLiteral("CREATE TABLE %1 (server INTEGER NOT NULL, bucket INTEGER NOT NULL, "
                          "count INTEGER, faults INTEGER, replies INTEGER, reply_min INTEGER, "
                          "reply_mean INTEGER, reply_max INTEGER, reply_p95 INTEGER, "
                          "echoes INTEGER, lost INTEGER, echo_min INTEGER, echo_mean INTEGER, "
                          "echo_max INTEGER, echo_p95 INTEGER, "
                          "maintenance_count INTEGER NOT NULL DEFAULT 0, "
                          "PRIMARY KEY (server, bucket)) WITHOUT ROWID")
        .arg(name);
}

} // namespace

bool HistorySchema::create() {
    QSqlDatabase db = HistorySql::database(m_connection);
    if (!db.transaction()) {
        m_error = db.lastError();
        return false;
    }
    const bool made =
        exec(rawTable(QStringLiteral("raw"))) && exec(rawIndex()) &&
        exec(aggTable(QStringLiteral("agg"))) && exec(aggTable(QStringLiteral("agg_hour"))) &&
        exec(QStringLiteral("CREATE TABLE meta (key TEXT PRIMARY KEY, value INTEGER)")) &&
        exec(QStringLiteral("INSERT INTO meta (key, value) VALUES (?, 0), (?, 0)"),
             {aggregatedIdKey(), rawFromKey()}) &&
        exec(QStringLiteral("PRAGMA user_version = %1").arg(Version));
    if (!made || !db.commit()) {
        if (made)
            m_error = db.lastError();
        db.rollback();
        return false;
    }
    return true;
}

// Version 1 to 2 in one transaction, every row kept. The raw results get
// their ids in time order, so the results before the time version 1's
// aggregation had reached are the ones up to the new watermark. Version 1
// dropped only raw results older than a limit, so the raw results are
// whole from the oldest one kept.
bool HistorySchema::migrate() {
    // Where version 1's aggregation had reached, by time.
    const QString aggregatedUntil = QStringLiteral("aggregated_until");
    QSqlDatabase db = HistorySql::database(m_connection);
    if (!db.transaction()) {
        m_error = db.lastError();
        return false;
    }
    const bool migrated =
        exec(rawTable(QStringLiteral("raw_v2"))) &&
        exec(QStringLiteral(
            "INSERT INTO raw_v2 (server, t, kind, ms, status) "
            "SELECT server, t, kind, ms, status FROM raw ORDER BY t, server, kind")) &&
        exec(QStringLiteral("DROP TABLE raw")) &&
        exec(QStringLiteral("ALTER TABLE raw_v2 RENAME TO raw")) && exec(rawIndex()) &&
        exec(QStringLiteral(
            "ALTER TABLE agg ADD COLUMN maintenance_count INTEGER NOT NULL DEFAULT 0")) &&
        exec(QStringLiteral(
            "ALTER TABLE agg_hour ADD COLUMN maintenance_count INTEGER NOT NULL DEFAULT 0")) &&
        exec(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) "
                            "SELECT ?, COALESCE(MAX(id), 0) FROM raw WHERE t < "
                            "COALESCE((SELECT value FROM meta WHERE key = ?), 0)"),
             {aggregatedIdKey(), aggregatedUntil}) &&
        exec(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) "
                            "SELECT ?, COALESCE((SELECT MIN(t) FROM raw), "
                            "(SELECT value FROM meta WHERE key = ?), 0)"),
             {rawFromKey(), aggregatedUntil}) &&
        exec(QStringLiteral("DELETE FROM meta WHERE key = ?"), {aggregatedUntil}) &&
        exec(QStringLiteral("PRAGMA user_version = %1").arg(Version));
    if (!migrated || !db.commit()) {
        if (migrated)
            m_error = db.lastError();
        db.rollback();
        return false;
    }
    return true;
}

bool HistorySchema::setAside(const QString& path, const QString& why) {
    close();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString aside = path + QLatin1Char('.') + stamp;
    if (!QFile::rename(path, aside)) {
        m_message = QCoreApplication::translate(
                        "HistorySchema", "历史记录文件 %1 %2，无法改名，本次运行不记录历史。")
                        .arg(QDir::toNativeSeparators(path), why);
        return false;
    }
    for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        if (QFile::exists(path + suffix))
            QFile::rename(path + suffix, aside + suffix);
    }
    m_message = QCoreApplication::translate(
                    "HistorySchema", "历史记录文件 %1 %2，已改名为 %3，并新建了历史记录文件。")
                    .arg(QDir::toNativeSeparators(path), why, QFileInfo(aside).fileName());
    return true;
}

bool HistorySchema::openForReading(const QString& path) {
    m_message.clear();
    m_busy = false;
    close();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=1000"));
    Finding found;
    if (db.open())
        found = inspect(false);
    else
        found.error = db.lastError();
    if (found.kind == Finding::History && found.version == Version)
        return true;
    switch (found.kind) {
    case Finding::Failed:
        m_busy = isBusyError(found.error);
        m_message = reasonOf(found.error);
        break;
    case Finding::Newer:
        m_message = QCoreApplication::translate("HistorySchema", "由较新版本的程序创建");
        break;
    case Finding::History:
        m_message = QCoreApplication::translate("HistorySchema", "由较旧版本的程序创建，尚未升级");
        break;
    case Finding::Empty:
    case Finding::Foreign:
    case Finding::Damaged:
        m_message = QCoreApplication::translate("HistorySchema", "已损坏或不是历史记录文件");
        break;
    }
    close();
    return false;
}

bool HistorySchema::open(const QString& path) {
    m_message.clear();
    m_error = {};
    m_busy = false;
    const auto failed = [&](const QString& reason) {
        m_message = QCoreApplication::translate("HistorySchema",
                                                "无法打开历史记录文件 %1：%2，本次运行不记录历史。")
                        .arg(QDir::toNativeSeparators(path), reason);
        close();
        return false;
    };
    const auto failedOn = [&](const QSqlError& error) {
        m_busy = isBusyError(error);
        return failed(reasonOf(error));
    };
    // A file that may not be written is left as it is.
    if (isReadOnly(path))
        return failed(readOnlyReason());
    if (!openFile(path))
        return failedOn(m_error);
    Finding found = inspect(true);
    // Only what the file itself shows sets it aside; a file that could not
    // be read for another reason (held by another connection, say) is
    // reported.
    if (found.kind == Finding::Failed && !isDamageError(found.error))
        return failedOn(found.error);
    if (found.kind != Finding::History && found.kind != Finding::Empty) {
        const QString why =
            found.kind == Finding::Newer
                ? QCoreApplication::translate("HistorySchema", "由较新版本的程序创建")
                : QCoreApplication::translate("HistorySchema", "已损坏或不是历史记录文件");
        if (!setAside(path, why))
            return false;
        const QString asideMessage = m_message;
        if (!openFile(path))
            return failedOn(m_error);
        found = inspect(false);
        if (found.kind != Finding::Empty)
            return failedOn(found.error);
        m_message = asideMessage;
    }
    QSqlQuery wal(HistorySql::database(m_connection));
    if (!wal.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
        return failedOn(wal.lastError());
    wal.finish();
    exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    const int version = found.version;
    if ((version == 0 && !create()) || (version > 0 && version < Version && !migrate()))
        return failedOn(m_error);
    return true;
}
