#include "service/CatalogueCommand.h"

#include "catalogue/ModuleDB.h"
#include "platform/AppPaths.h"
#include "service/CatalogueChoice.h"
#include "service/CatalogueTransfer.h"
#include "service/CommandLine.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

void printLine(std::FILE* stream, const QString& text) {
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
}

int runImport(const QString& file) {
    const CatalogueTransfer::ImportReport report = CatalogueTransfer::ImportServers(file);
    if (!report.error.isEmpty()) {
        printLine(stderr, QCoreApplication::translate("CatalogueCommand", "没有导入任何服务器:") +
                              report.error);
        return report.exitCode();
    }
    for (const CatalogueReader::Refusal& refusal : report.refused)
        printLine(stderr, QCoreApplication::translate("CatalogueCommand", "%1:第 %2 行未导入:%3")
                              .arg(file)
                              .arg(refusal.line)
                              .arg(refusal.reason));
    printLine(
        stdout,
        QCoreApplication::translate("CatalogueCommand", "已添加 %1 个服务器").arg(report.added));
    return report.exitCode();
}

int runExport(const QString& file) {
    const CatalogueTransfer::ExportReport report = CatalogueTransfer::ExportServers(file);
    if (!report.error.isEmpty()) {
        printLine(stderr,
                  QCoreApplication::translate("CatalogueCommand", "导出失败:") + report.error);
        return 2;
    }
    printLine(
        stdout,
        QCoreApplication::translate("CatalogueCommand", "已导出 %1 个服务器").arg(report.written));
    return 0;
}

} // namespace

namespace CatalogueCommand {

int Run(const CommandLine& commandLine) {
    AppPaths::setCurrent(
        AppPaths::decide(QCoreApplication::applicationDirPath(), commandLine.pathChoice()));
    AppPaths::current().createFolders();
    CatalogueChoice::useConfigured();
    // An import goes into the catalogue itself, never into an offline snapshot.
    if (!ModuleDB::DbOpen() || !ModuleDB::DbOnline()) {
        printLine(stderr, QCoreApplication::translate("CatalogueCommand", "无法打开服务器列表 ") +
                              ModuleDB::DbName());
        return 2;
    }
    const int exitCode = commandLine.action() == CommandLine::Action::Import
                             ? runImport(commandLine.transferFile())
                             : runExport(commandLine.transferFile());
    ModuleDB::DbClose();
    return exitCode;
}

} // namespace CatalogueCommand
