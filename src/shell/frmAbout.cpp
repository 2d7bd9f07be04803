#include "shell/frmAbout.h"

#include "app/AppVersion.h"
#include "platform/ProcessStarter.h"
#include "platform/SysInfoLocator.h"
#include "platform/gui/MessageBoxes.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* makeLabel(QWidget* parent, const QString& name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    return label;
}

} // namespace

frmAbout::frmAbout(SysInfoLocator& locator, ProcessStarter& starter, QWidget* parent)
    : QDialog(parent)
    , m_locator(locator)
    , m_starter(starter)
    , picIcon(makeLabel(this, QStringLiteral("picIcon")))
    , lblTitle(makeLabel(this, QStringLiteral("lblTitle")))
    , lblVersion(makeLabel(this, QStringLiteral("lblVersion")))
    , lblDescription(makeLabel(this, QStringLiteral("lblDescription")))
    , lblDisclaimer(makeLabel(this, QStringLiteral("lblDisclaimer")))
    , cmdOK(new QPushButton(tr("确定"), this))
    , cmdSysInfo(new QPushButton(tr("系统信息(&S)..."), this)) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(tr("关于本软件[云杉工作室]"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    picIcon->setPixmap(windowIcon().pixmap(48, 48));
    picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    lblDescription->setText(descriptionText());
    lblDisclaimer->setText(disclaimerText());

    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setAutoDefault(false);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* text = new QVBoxLayout;
    text->addWidget(lblTitle);
    text->addWidget(lblVersion);
    text->addSpacing(8);
    text->addWidget(lblDescription);
    text->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(picIcon);
    top->addLayout(text, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblDisclaimer, 1);
    bottom->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(line);
    layout->addLayout(bottom);
    setMinimumWidth(460);

    Form_Load();
}

QString frmAbout::descriptionText() {
    return tr("定时连接所监控的服务器，发送请求、核对回应并测量回应时间，"
              "同时用 Ping 检测网络是否通畅；服务器连续出错时以声音、"
              "托盘气泡和闪烁图标报警。");
}

QString frmAbout::disclaimerText() {
    return tr("版权所有 (C) 云杉工作室。本软件是自由软件，按 GNU 通用公共许可证"
              "第 3 版或（由您选择）任何更新的版本（GPL-3.0-or-later）发布，"
              "您可以自由地复制、修改和分发；本软件不提供任何担保。");
}

void frmAbout::Form_Load() {
    setWindowTitle(tr("关于 ") + AppVersion::title());
    lblVersion->setText(tr("版本 ") + AppVersion::text());
    lblTitle->setText(AppVersion::title());
}

void frmAbout::StartSysInfo() {
    const QString program = m_locator.locate();
    if (!program.isEmpty() && m_starter.startDetached(program, {}))
        return;
    MessageBoxes::show(this, QMessageBox::NoIcon, AppVersion::title(), tr("此时系统信息不可用"),
                       QMessageBox::Ok);
}

void frmAbout::cmdOK_Click() {
    accept();
}

void frmAbout::cmdSysInfo_Click() {
    StartSysInfo();
}
