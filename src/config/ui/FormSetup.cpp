#include "config/ui/FormSetup.h"

#include "config/InterfaceLanguage.h"
#include "config/ModuleINI.h"
#include "config/PageSwitches.h"
#include "config/SetupValues.h"
#include "config/SkinFolder.h"
#include "monitor/MonitorSettings.h"
#include "platform/SkinEngine.h"
#include "platform/gui/MessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel* buddyLabel(const QString& caption, QWidget* field) {
    auto* label = new QLabel(caption);
    label->setBuddy(field);
    return label;
}

} // namespace

FormSetup::FormSetup(MonitorSettings& settings, SkinEngine& skins, QWidget* parent)
    : QDialog(parent)
    , m_settings(settings)
    , m_skins(skins) {
    setObjectName(QStringLiteral("FormSetup"));
    setWindowTitle(tr("系统配置"));

    Frame1 = named(new QGroupBox(tr("监控选项")), "Frame1");
    TextTimerN = named(new QLineEdit(QStringLiteral("30")), "TextTimerN");
    TextReplyLim = named(new QLineEdit(QStringLiteral("5")), "TextReplyLim");
    TextPingLim = named(new QLineEdit(QStringLiteral("3")), "TextPingLim");
    TextTimeOut = named(new QLineEdit(QStringLiteral("1000")), "TextTimeOut");
    ComboSkin = named(new QComboBox, "ComboSkin");
    ComboSkin->setEditable(true);
    ComboSkin->setInsertPolicy(QComboBox::NoInsert);
    CheckSnd = named(new QCheckBox(tr("新消息播放提示音")), "CheckSnd");
    CheckHistory = named(new QCheckBox(tr("记录历史数据")), "CheckHistory");
    TextHistRawDays = named(new QLineEdit(QStringLiteral("7")), "TextHistRawDays");
    TextHistDays = named(new QLineEdit(QStringLiteral("400")), "TextHistDays");
    TextNetCheck = named(new QLineEdit, "TextNetCheck");
    TextNetCheck->setToolTip(
        tr("以空格分隔:地址为PING检测,地址:端口为TCP连接检测;均无响应时不计异常"));
    ComboLanguage = named(new QComboBox, "ComboLanguage");
    // Each language is named in itself, so it can be found in either.
    ComboLanguage->addItem(QStringLiteral("中文"), int(InterfaceLanguage::Choice::Chinese));
    ComboLanguage->addItem(QStringLiteral("English"), int(InterfaceLanguage::Choice::English));
    ComboLanguage->addItem(tr("跟随系统"), int(InterfaceLanguage::Choice::System));
    ComboLanguage->setToolTip(tr("重新启动程序后生效"));
    CheckRecovery = named(new QCheckBox(tr("服务器恢复时提示")), "CheckRecovery");
    TextRemindMin = named(new QLineEdit(QStringLiteral("0")), "TextRemindMin");
    TextRemindMin->setToolTip(tr("0为不提醒"));
    TextFlapLimit = named(new QLineEdit(QStringLiteral("0")), "TextFlapLimit");
    TextFlapLimit->setToolTip(tr("最近20次检测中状态变化达到此次数即视为频繁变化;0为不检测"));
    TextDatabase = named(new QLineEdit, "TextDatabase");
    TextDatabase->setPlaceholderText(QStringLiteral("postgresql://user@host:5432/servermon"));
    TextDatabase->setToolTip(
        tr("多人共享的 PostgreSQL 服务器列表;留空为本机的数据库文件。重新启动程序后生效"));
    CheckAnnounce = named(new QCheckBox(tr("启动时显示公告")), "CheckAnnounce");
    CheckExitPage = named(new QCheckBox(tr("退出时打开更新页面")), "CheckExitPage");
    CmdChannels = named(new QPushButton(tr("通知渠道...")), "CmdChannels");
    CmdChannels->setAutoDefault(false);
    CmdSave = named(new QPushButton(tr("保存")), "CmdSave");
    CmdCancel = named(new QPushButton(tr("取消")), "CmdCancel");
    CmdSave->setDefault(true);
    // A box is as wide as its caption, so only the caption takes a click.
    for (QCheckBox* box : {CheckSnd, CheckHistory, CheckRecovery, CheckAnnounce, CheckExitPage})
        box->setSizePolicy(QSizePolicy::Maximum, box->sizePolicy().verticalPolicy());

    auto* fields = new QFormLayout(Frame1);
    fields->addRow(buddyLabel(tr("循环任务间隔:"), TextTimerN), TextTimerN);
    fields->addRow(buddyLabel(tr("POST报警阀值:"), TextReplyLim), TextReplyLim);
    fields->addRow(buddyLabel(tr("PING报警阀值:"), TextPingLim), TextPingLim);
    fields->addRow(buddyLabel(tr("SOCKET超时:"), TextTimeOut), TextTimeOut);
    fields->addRow(buddyLabel(tr("系统默认皮肤:"), ComboSkin), ComboSkin);
    fields->addRow(CheckSnd);
    fields->addRow(CheckHistory);
    fields->addRow(buddyLabel(tr("原始数据保留天数:"), TextHistRawDays), TextHistRawDays);
    fields->addRow(buddyLabel(tr("历史数据保留天数:"), TextHistDays), TextHistDays);
    fields->addRow(buddyLabel(tr("网络检测地址:"), TextNetCheck), TextNetCheck);
    fields->addRow(CheckRecovery);
    // Both on one row, so the dialog stays as tall as before.
    auto* alertRow = new QHBoxLayout;
    alertRow->addWidget(TextRemindMin);
    alertRow->addWidget(buddyLabel(tr("频繁变化阈值:"), TextFlapLimit));
    alertRow->addWidget(TextFlapLimit);
    fields->addRow(buddyLabel(tr("持续故障提醒间隔(分钟):"), TextRemindMin), alertRow);
    fields->addRow(buddyLabel(tr("界面语言:"), ComboLanguage), ComboLanguage);
    fields->addRow(buddyLabel(tr("数据库连接:"), TextDatabase), TextDatabase);
    fields->addRow(CheckAnnounce);
    fields->addRow(CheckExitPage);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CmdChannels);
    buttons->addStretch();
    buttons->addWidget(CmdSave);
    buttons->addWidget(CmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(ComboSkin, &QComboBox::activated, this, &FormSetup::ComboSkin_Click);
    // Only the operator's typing: filling the box must not apply a skin.
    connect(ComboSkin->lineEdit(), &QLineEdit::textEdited, this, &FormSetup::ComboSkin_Change);
    // A greyed sound box stays greyed until the operator clicks it; it never
    // becomes greyed again by clicking.
    connect(CheckSnd, &QCheckBox::stateChanged, this, [this](int state) {
        if (state != Qt::PartiallyChecked)
            CheckSnd->setTristate(false);
    });
    connect(CmdChannels, &QPushButton::clicked, this, &FormSetup::channelsRequested);
    connect(CmdSave, &QPushButton::clicked, this, &FormSetup::CmdSave_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &FormSetup::CmdCancel_Click);

    SkinList();
    loadINI();
}

void FormSetup::SkinList() {
    ComboSkin->clear();
    const std::optional<QStringList> files = SkinFolder::SkinFiles();
    if (files)
        ComboSkin->addItems(*files);
    else
        ComboSkin->addItem(QString());
}

void FormSetup::loadINI() {
    const QLocale c = QLocale::c();
    TextTimerN->setText(c.toString(m_settings.iTimerN, 'f', QLocale::FloatingPointShortest));
    TextReplyLim->setText(QString::number(m_settings.iReplyLim));
    TextPingLim->setText(QString::number(m_settings.iPingLim));
    TextTimeOut->setText(QString::number(m_settings.iTimeOut));
    switch (m_settings.bPlaySnd) {
    case 0:
        CheckSnd->setCheckState(Qt::Unchecked);
        break;
    case 1:
        CheckSnd->setCheckState(Qt::Checked);
        break;
    case 2:
        CheckSnd->setCheckState(Qt::PartiallyChecked);
        break;
    default: // the box stays as it was
        break;
    }
    CheckHistory->setChecked(m_settings.History != 0);
    TextHistRawDays->setText(QString::number(m_settings.HistRawDays));
    TextHistDays->setText(QString::number(m_settings.HistDays));
    TextNetCheck->setText(m_settings.NetCheck);
    CheckRecovery->setChecked(m_settings.RecoveryMsg != 0);
    TextRemindMin->setText(QString::number(m_settings.RemindMin));
    TextFlapLimit->setText(QString::number(m_settings.FlapLimit));
    TextDatabase->setText(m_settings.Database);
    ComboLanguage->setCurrentIndex(ComboLanguage->findData(int(InterfaceLanguage::read())));
    CheckAnnounce->setChecked(PageSwitches::announceAtStart());
    CheckExitPage->setChecked(PageSwitches::updatePageAtExit());
    ComboSkin->setEditText(ModuleINI::IniReadString(QStringLiteral("SETUP"), QStringLiteral("SKIN"),
                                                    QStringLiteral("skinh.she")));
}

void FormSetup::ComboSkin_Click(int index) {
    preview(ComboSkin->itemText(index));
}

void FormSetup::ComboSkin_Change(const QString& text) {
    preview(text);
}

void FormSetup::preview(const QString& skinName) {
    if (!skinName.isEmpty())
        m_skins.attachFile(SkinFolder::filePath(skinName));
}

void FormSetup::CmdSave_Click() {
    const QString title = tr("保存配置文件失败！");
    QString error;
    const std::optional<SetupValues> values = SetupValues::parse(
        {TextTimerN->text(), TextReplyLim->text(), TextPingLim->text(), TextTimeOut->text(),
         soundSwitch(), ComboSkin->currentText(), CheckHistory->isChecked() ? 1 : 0,
         TextHistRawDays->text(), TextHistDays->text(), TextNetCheck->text(),
         CheckRecovery->isChecked() ? 1 : 0,
         InterfaceLanguage::Choice(ComboLanguage->currentData().toInt()),
         CheckAnnounce->isChecked() ? 1 : 0, CheckExitPage->isChecked() ? 1 : 0,
         TextRemindMin->text(), TextFlapLimit->text(), TextDatabase->text(),
         m_databaseCheck ? m_databaseCheck(TextDatabase->text().trimmed()) : QString()},
        error);
    if (!values) {
        MessageBoxes::show(this, QMessageBox::Critical, title, error);
        return;
    }
    if (!values->write()) {
        MessageBoxes::show(this, QMessageBox::Critical, title,
                           tr("无法写入配置文件：") +
                               ModuleINI::IniFilePath(ModuleINI::IniBaseName()));
        return;
    }
    values->applyTo(m_settings);
    accept();
    emit settingsSaved();
}

qint32 FormSetup::soundSwitch() const {
    switch (CheckSnd->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::PartiallyChecked:
        return 2;
    case Qt::Checked:
        break;
    }
    return 1;
}

void FormSetup::CmdCancel_Click() {
    reject();
}
