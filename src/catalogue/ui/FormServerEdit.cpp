#include "catalogue/ui/FormServerEdit.h"

#include "catalogue/ServerCatalogue.h"
#include "platform/gui/MessageBoxes.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

FormServerEdit::FormServerEdit(const ServerRecord& server, QWidget* parent)
    : ServerEditor(tr("编辑服务器信息"), parent)
    , CmdDel(new QPushButton(tr("删除")))
    , lbID(new QLabel(QString::number(server.id)))
    , m_id(server.id) {
    CmdDel->setObjectName(QStringLiteral("CmdDel"));
    CmdDel->setAutoDefault(false);
    lbID->setObjectName(QStringLiteral("lbID"));
    buttonRow().insertWidget(0, lbID);
    buttonRow().insertWidget(buttonRow().indexOf(CmdCancel), CmdDel);
    setFields(server);
    showAddressInTitle();

    connect(CmdSave, &QPushButton::clicked, this, &FormServerEdit::CmdSave_Click);
    connect(CmdDel, &QPushButton::clicked, this, &FormServerEdit::CmdDel_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &FormServerEdit::CmdCancel_Click);
    connect(TextIPAddress, &QLineEdit::textChanged, this, &FormServerEdit::showAddressInTitle);
}

FormServerEdit::~FormServerEdit() = default;

std::unique_ptr<FormServerEdit>
FormServerEdit::forSelection(const std::optional<ServerRecord>& selected, QWidget* parent) {
    if (!selected || selected->id <= 0)
        return nullptr;
    return std::make_unique<FormServerEdit>(*selected, parent);
}

void FormServerEdit::showAddressInTitle() {
    setWindowTitle(tr("编辑服务器信息[") + TextIPAddress->text() + QLatin1Char(']'));
}

void FormServerEdit::CmdSave_Click() {
    if (!validateFields())
        return;
    ServerRecord server = fields();
    server.id = m_id;
    const QString report = ServerCatalogue::ChangeServer(server);
    if (!report.isEmpty()) {
        // Refused because someone else changed the server: the dialog keeps
        // what was typed, and the list behind it is reloaded, so the server
        // opens again as the catalogue holds it now.
        if (report == ServerCatalogue::EditConflictText())
            emit catalogueChanged();
        MessageBoxes::show(this, QMessageBox::Critical, tr("对不起,保存失败"), report);
        return;
    }
    emit catalogueChanged();
    MessageBoxes::show(this, QMessageBox::Information, tr("恭喜,编辑成功"),
                       tr("保存服务器信息成功"));
    accept();
}

void FormServerEdit::CmdDel_Click() {
    const auto answer = MessageBoxes::show(this, QMessageBox::Question, tr("确认？"),
                                           tr("确定删除该服务器信息?\r\n删除后无法恢复!"),
                                           QMessageBox::Ok | QMessageBox::Cancel);
    if (answer != QMessageBox::Ok)
        return;
    const QString report = ServerCatalogue::DeleteServer(m_id);
    if (!report.isEmpty()) {
        MessageBoxes::show(this, QMessageBox::Critical, tr("对不起,删除失败"), report);
        return;
    }
    emit serverDeleted(m_id);
    emit catalogueChanged();
    accept();
}

void FormServerEdit::CmdCancel_Click() {
    reject();
}
