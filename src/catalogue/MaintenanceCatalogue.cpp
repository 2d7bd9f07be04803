#include "catalogue/MaintenanceCatalogue.h"

#include "catalogue/ModuleDB.h"

#include <QCoreApplication>
#include <QSqlRecord>
#include <QStringList>

namespace MaintenanceCatalogue {

namespace {

const QString kColumns =
    QStringLiteral("Servers,Kind,StartUtcMs,EndUtcMs,Days,StartTime,Minutes,TimeZone,Note");

QString kindText(MaintenanceWindow::Kind kind) {
    return kind == MaintenanceWindow::Kind::Weekly ? QStringLiteral("weekly")
                                                   : QStringLiteral("once");
}

// Every column is not null: an empty text is bound as one.
QString notNull(const QString& text) {
    return text.isNull() ? QString(QLatin1String("")) : text;
}

QVariantList values(const MaintenanceWindow& window) {
    return {notNull(serversText(window.servers)),
            kindText(window.kind),
            window.startUtcMs,
            window.endUtcMs,
            window.days,
            window.startTime.toString(QStringLiteral("HH:mm")),
            window.minutes,
            notNull(QString::fromLatin1(window.timeZone)),
            notNull(window.note)};
}

} // namespace

QString serversText(const QList<qint64>& servers) {
    QStringList ids;
    for (const qint64 id : servers)
        ids << QString::number(id);
    return ids.join(QLatin1Char(','));
}

QList<qint64> serversOfText(const QString& text) {
    QList<qint64> servers;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const qint64 id = part.trimmed().toLongLong(&ok);
        if (ok && id > 0 && !servers.contains(id))
            servers << id;
    }
    return servers;
}

QList<MaintenanceWindow> SelectWindows(bool* ok) {
    QList<MaintenanceWindow> windows;
    const QList<QSqlRecord> rows = ModuleDB::DbSelect(
        QStringLiteral("select ID,") + kColumns + QStringLiteral(" from Maintenance order by ID"),
        {}, ok);
    for (const QSqlRecord& row : rows) {
        MaintenanceWindow window;
        window.id = row.value(0).toLongLong();
        window.servers = serversOfText(row.value(1).toString());
        window.kind = row.value(2).toString() == QLatin1String("weekly")
                          ? MaintenanceWindow::Kind::Weekly
                          : MaintenanceWindow::Kind::Once;
        window.startUtcMs = row.value(3).toLongLong();
        window.endUtcMs = row.value(4).toLongLong();
        window.days = row.value(5).toInt() & 0x7f;
        const QTime start = QTime::fromString(row.value(6).toString(), QStringLiteral("HH:mm"));
        window.startTime = start.isValid() ? start : QTime(0, 0);
        window.minutes = qBound(0, row.value(7).toInt(), MaintenanceWindow::MaxMinutes);
        window.timeZone = row.value(8).toString().toLatin1();
        window.note = row.value(9).toString();
        windows << window;
    }
    return windows;
}

QString AddWindow(const MaintenanceWindow& window) {
    return ModuleDB::DbExecute(QStringLiteral("insert into Maintenance (") + kColumns +
                                   QStringLiteral(") values (?,?,?,?,?,?,?,?,?)"),
                               values(window));
}

QString ChangeWindow(const MaintenanceWindow& window) {
    QVariantList bound = values(window);
    bound << window.id;
    return ModuleDB::DbExecute(
        QStringLiteral("update Maintenance set Servers=?,Kind=?,StartUtcMs=?,EndUtcMs=?,Days=?,"
                       "StartTime=?,Minutes=?,TimeZone=?,Note=? where ID=?"),
        bound);
}

QString DeleteWindow(qint64 id) {
    return ModuleDB::DbExecute(QStringLiteral("delete from Maintenance where ID=?"), {id});
}

QString RemoveServer(qint64 serverId) {
    bool ok = false;
    const QList<MaintenanceWindow> windows = SelectWindows(&ok);
    if (!ok)
        return QCoreApplication::translate("MaintenanceCatalogue", "无法读取维护计划");
    for (MaintenanceWindow window : windows) {
        if (!window.servers.contains(serverId))
            continue;
        window.servers.removeAll(serverId);
        const QString report =
            window.servers.isEmpty() ? DeleteWindow(window.id) : ChangeWindow(window);
        if (!report.isEmpty())
            return report;
    }
    return {};
}

} // namespace MaintenanceCatalogue
