#include "catalogue/ui/FormServer.h"

#include "catalogue/ServerCatalogue.h"
#include "platform/gui/MessageBoxes.h"

#include <QLabel>
#include <QPushButton>

FormServer::FormServer(QWidget* parent)
    : ServerEditor(tr("添加服务器信息"), parent) {
    connect(CmdSave, &QPushButton::clicked, this, &FormServer::CmdSave_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &FormServer::CmdCancel_Click);
}

FormServer::~FormServer() = default;

void FormServer::CmdSave_Click() {
    if (!validateFields())
        return;
    const QString report = ServerCatalogue::AddServer(fields());
    if (!report.isEmpty()) {
        MessageBoxes::show(this, QMessageBox::Critical, tr("对不起,添加失败"), report);
        return;
    }
    MessageBoxes::show(this, QMessageBox::Information, tr("恭喜,添加成功"),
                       tr("添加新服务器信息成功"));
    lb_WskState->setText(tr("提示：添加新服务器信息成功"));
}

void FormServer::CmdCancel_Click() {
    emit catalogueChanged();
    accept();
}
