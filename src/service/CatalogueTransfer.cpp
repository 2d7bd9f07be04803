#include "service/CatalogueTransfer.h"

#include "catalogue/MaintenanceCatalogue.h"
#include "catalogue/ModuleDB.h"
#include "catalogue/ServerCatalogue.h"
#include "platform/WholeFile.h"
#include "service/CatalogueWriter.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlRecord>

namespace {

// Servers written to the catalogue at once by an import.
constexpr qsizetype ImportBatchRows = 500;

// The windows of the file over the servers as numbered now; a server not in
// the file leaves a window, and a window left over none is not added (an
// empty list would mean every server).
QString importWindows(const QList<QJsonObject>& objects, const QHash<qint64, qint64>& newIdOf) {
    for (const QJsonObject& object : objects) {
        std::optional<MaintenanceWindow> window = CatalogueWriter::windowOfObject(object);
        if (!window)
            continue;
        const bool everyServer = window->servers.isEmpty();
        QList<qint64> servers;
        for (const qint64 id : std::as_const(window->servers)) {
            if (newIdOf.contains(id))
                servers.append(newIdOf.value(id));
        }
        if (!everyServer && servers.isEmpty())
            continue;
        window->servers = servers;
        if (const QString report = MaintenanceCatalogue::AddWindow(*window); !report.isEmpty())
            return report;
    }
    return {};
}

} // namespace

namespace CatalogueTransfer {

ImportReport ImportServers(const QString& path) {
    ImportReport report;
    // A device, a pipe or a folder would never end, block or read as nothing.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        report.error =
            QCoreApplication::translate("CatalogueTransfer", "无法读取文件 %1(%2)")
                .arg(path, QCoreApplication::translate("CatalogueTransfer", "不是普通文件"));
        return report;
    }
    if (info.size() > MaxImportBytes) {
        report.error =
            QCoreApplication::translate("CatalogueTransfer", "文件 %1 超过 1 GiB,不能导入")
                .arg(path);
        return report;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report.error = QCoreApplication::translate("CatalogueTransfer", "无法读取文件 %1(%2)")
                           .arg(path, file.errorString());
        return report;
    }
    // The rows go into the catalogue as they are read, a batch at a time, so
    // only a batch is held; a file that turns out unreadable part way adds
    // nothing. The servers are numbered anew: a ParentID names a server of
    // the file by the ID it had there, and a parent not in the file is none.
    CatalogueReader::Result read;
    report.error = ModuleDB::DbTransaction([&] {
        QHash<qint64, qint64> newIdOf;
        QList<std::pair<qint64, qint64>> parentOf; // new ID, parent's ID in the file
        QList<ServerRecord> batch;
        const auto store = [&] {
            QList<qint64> ids;
            const QString stored = ServerCatalogue::ImportServers(batch, ids);
            for (qsizetype i = 0; stored.isEmpty() && i < batch.size(); ++i) {
                if (batch.at(i).id > 0)
                    newIdOf.insert(batch.at(i).id, ids.at(i));
                if (batch.at(i).parentId > 0)
                    parentOf.append({ids.at(i), batch.at(i).parentId});
            }
            batch.clear();
            return stored;
        };
        read = CatalogueReader::Read(
            file, CatalogueFormatOf(path), [&](const CatalogueReader::Row& row) {
                batch << row.server;
                return batch.size() < ImportBatchRows ? QString() : store();
            });
        if (!read.error.isEmpty())
            return read.error;
        if (const QString stored = store(); !stored.isEmpty())
            return stored;
        for (const auto& [id, parent] : std::as_const(parentOf)) {
            const QString report =
                ModuleDB::DbExecute(QStringLiteral("update ServerList set ParentID=? where ID=?"),
                                    {newIdOf.value(parent, 0), id});
            if (!report.isEmpty())
                return report;
        }
        return importWindows(read.maintenance, newIdOf);
    });
    if (report.error.isEmpty()) {
        report.added = read.accepted;
        report.refused = read.refused;
    }
    return report;
}

ExportReport ExportServers(const QString& path) {
    ExportReport report;
    if (!ModuleDB::DbConnected()) {
        report.error = QCoreApplication::translate("CatalogueTransfer", "数据库未连接");
        return report;
    }
    bool read = false;
    const QList<ServerRecord> servers =
        ServerCatalogue::SelectServers(ServerCatalogue::Selection::All, &read);
    if (!read) {
        report.error = QCoreApplication::translate("CatalogueTransfer", "无法读取服务器列表");
        return report;
    }
    const CatalogueFormat format = CatalogueFormatOf(path);
    const QList<MaintenanceWindow> windows = format == CatalogueFormat::Json
                                                 ? MaintenanceCatalogue::SelectWindows(&read)
                                                 : QList<MaintenanceWindow>();
    if (!read) {
        report.error = QCoreApplication::translate("CatalogueTransfer", "无法读取服务器列表");
        return report;
    }
    QString reason;
    if (!WholeFile::write(path, CatalogueWriter::Write(servers, format, windows), &reason)) {
        report.error = QCoreApplication::translate("CatalogueTransfer", "无法写入文件 %1(%2)")
                           .arg(path, reason);
        return report;
    }
    report.written = static_cast<int>(servers.size());
    return report;
}

} // namespace CatalogueTransfer
