#include "service/CatalogueTransfer.h"

#include "catalogue/ModuleDB.h"
#include "catalogue/ServerCatalogue.h"
#include "service/CatalogueWriter.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

namespace CatalogueTransfer {

ImportReport ImportServers(const QString& path) {
    ImportReport report;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report.error = QCoreApplication::translate("CatalogueTransfer", "无法读取文件 %1(%2)")
                           .arg(path, file.errorString());
        return report;
    }
    const CatalogueReader::Result read =
        CatalogueReader::Read(file.readAll(), CatalogueFormatOf(path));
    if (!read.error.isEmpty()) {
        report.error = read.error;
        return report;
    }
    report.error = ModuleDB::DbTransaction([&read] {
        for (const CatalogueReader::Row& row : read.accepted) {
            QString failure = ServerCatalogue::AddServer(row.server);
            if (failure.isEmpty() && !row.server.addTime.isEmpty())
                failure = ServerCatalogue::SetAddTimeOfLastAdded(row.server.addTime);
            if (!failure.isEmpty())
                return failure;
        }
        return QString();
    });
    if (report.error.isEmpty()) {
        report.added = static_cast<int>(read.accepted.size());
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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(CatalogueWriter::Write(servers, CatalogueFormatOf(path))) < 0 ||
        !file.commit()) {
        report.error = QCoreApplication::translate("CatalogueTransfer", "无法写入文件 %1(%2)")
                           .arg(path, file.errorString());
        return report;
    }
    report.written = static_cast<int>(servers.size());
    return report;
}

} // namespace CatalogueTransfer
