#include "shell/CatalogueFileCommands.h"

#include "platform/gui/FileDialogs.h"
#include "platform/gui/MessageBoxes.h"
#include "service/CatalogueTransfer.h"

#include <QCoreApplication>

namespace {

// A box stays readable however many rows a file had wrong.
constexpr qsizetype MaxListedRefusals = 20;

QString importText(const CatalogueTransfer::ImportReport& report) {
    QString text = QCoreApplication::translate("CatalogueFileCommands", "已添加 %1 个服务器")
                       .arg(report.added);
    if (report.refused.isEmpty())
        return text;
    text += QCoreApplication::translate("CatalogueFileCommands", ",以下 %1 行未导入:")
                .arg(report.refused.size());
    for (const CatalogueReader::Refusal& refusal :
         report.refused.first(qMin(report.refused.size(), MaxListedRefusals)))
        text += QCoreApplication::translate("CatalogueFileCommands", "\r\n第 %1 行:%2")
                    .arg(refusal.line)
                    .arg(refusal.reason);
    if (report.refused.size() > MaxListedRefusals)
        text += QCoreApplication::translate("CatalogueFileCommands", "\r\n……另有 %1 行未导入")
                    .arg(report.refused.size() - MaxListedRefusals);
    return text;
}

} // namespace

namespace CatalogueFileCommands {

std::optional<CatalogueTransfer::ImportReport> ImportChosenFile(QWidget* parent) {
    const QString path = FileDialogs::openFileName(
        parent, QCoreApplication::translate("CatalogueFileCommands", "导入服务器列表"),
        QCoreApplication::translate(
            "CatalogueFileCommands",
            "服务器列表 (*.csv *.json);;CSV 文件 (*.csv);;JSON 文件 (*.json);;"
            "所有文件 (*)"));
    if (path.isEmpty())
        return std::nullopt;
    return CatalogueTransfer::ImportServers(path);
}

void ShowImportReport(QWidget* parent, const CatalogueTransfer::ImportReport& report) {
    if (!report.error.isEmpty())
        MessageBoxes::show(
            parent, QMessageBox::Critical,
            QCoreApplication::translate("CatalogueFileCommands", "对不起,导入失败"),
            QCoreApplication::translate("CatalogueFileCommands", "没有导入任何服务器:") +
                report.error);
    else if (report.refused.isEmpty())
        MessageBoxes::show(parent, QMessageBox::Information,
                           QCoreApplication::translate("CatalogueFileCommands", "恭喜,导入成功"),
                           importText(report));
    else
        MessageBoxes::show(parent, QMessageBox::Warning,
                           QCoreApplication::translate("CatalogueFileCommands", "导入服务器列表"),
                           importText(report));
}

void ExportServers(QWidget* parent) {
    const QString path = FileDialogs::saveFileName(
        parent, QCoreApplication::translate("CatalogueFileCommands", "导出服务器列表"),
        QCoreApplication::translate("CatalogueFileCommands",
                                    "CSV 文件 (*.csv);;JSON 文件 (*.json)"));
    if (path.isEmpty())
        return;
    const CatalogueTransfer::ExportReport report = CatalogueTransfer::ExportServers(path);
    if (report.error.isEmpty())
        MessageBoxes::show(
            parent, QMessageBox::Information,
            QCoreApplication::translate("CatalogueFileCommands", "恭喜,导出成功"),
            QCoreApplication::translate("CatalogueFileCommands", "已导出 %1 个服务器")
                .arg(report.written));
    else
        MessageBoxes::show(parent, QMessageBox::Critical,
                           QCoreApplication::translate("CatalogueFileCommands", "对不起,导出失败"),
                           report.error);
}

} // namespace CatalogueFileCommands
