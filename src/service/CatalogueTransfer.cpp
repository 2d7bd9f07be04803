#include "service/CatalogueTransfer.h"

#include "catalogue/ModuleDB.h"
#include "catalogue/ServerCatalogue.h"
#include "platform/WholeFile.h"
#include "service/CatalogueWriter.h"

#include <QCoreApplication>
#include <QFile>

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
    const QList<ServerRecord> servers =
        ServerCatalogue::SelectServers(ServerCatalogue::Selection::All);
    QString reason;
    if (!WholeFile::write(path, CatalogueWriter::Write(servers, CatalogueFormatOf(path)),
                          &reason)) {
        report.error = QCoreApplication::translate("CatalogueTransfer", "无法写入文件 %1(%2)")
                           .arg(path, reason);
        return report;
    }
    report.written = static_cast<int>(servers.size());
    return report;
}

} // namespace CatalogueTransfer
