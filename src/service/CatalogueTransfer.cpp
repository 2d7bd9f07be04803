#include "service/CatalogueTransfer.h"

#include "catalogue/ModuleDB.h"
#include "catalogue/ServerCatalogue.h"
#include "platform/WholeFile.h"
#include "service/CatalogueWriter.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

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
    // The rows go into the catalogue as they are read, so only one is held
    // at a time; a file that turns out unreadable part way adds nothing.
    CatalogueReader::Result read;
    report.error = ModuleDB::DbTransaction([&] {
        read = CatalogueReader::Read(file, CatalogueFormatOf(path),
                                     [](const CatalogueReader::Row& row) {
                                         return ServerCatalogue::ImportServer(row.server);
                                     });
        return read.error;
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
