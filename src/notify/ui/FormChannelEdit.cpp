#include "notify/ui/FormChannelEdit.h"

#include "app/AppVersion.h"
#include "notify/ChannelCatalogue.h"
#include "notify/ChannelValidation.h"
#include "notify/ui/ChannelFieldPages.h"
#include "platform/gui/MessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

FormChannelEdit::FormChannelEdit(const Channel& channel, QWidget* parent)
    : QDialog(parent)
    , TextName(named(new QLineEdit(channel.name), "TextName"))
    , ComboKind(named(new QComboBox, "ComboKind"))
    , Pages(new ChannelFieldPages)
    , CheckEnabled(named(new QCheckBox(tr("启用")), "CheckEnabled"))
    , CheckRecovery(named(new QCheckBox(tr("恢复时也发送")), "CheckRecovery"))
    , SpinStormLimit(named(new QSpinBox, "SpinStormLimit"))
    , CmdSave(named(new QPushButton(tr("保存")), "CmdSave"))
    , CmdCancel(named(new QPushButton(tr("取消")), "CmdCancel"))
    , m_given(channel) {
    setObjectName(QStringLiteral("FormChannelEdit"));
    setWindowTitle(channel.id > 0 ? tr("编辑通知渠道") : tr("添加通知渠道"));
    setModal(true);

    for (const ChannelKind kind : ChannelKinds::all())
        ComboKind->addItem(ChannelKinds::text(kind), ChannelKinds::key(kind));
    ComboKind->setCurrentIndex(ComboKind->findData(ChannelKinds::key(channel.kind)));
    Pages->fill(channel);
    CheckEnabled->setChecked(channel.enabled);
    CheckRecovery->setChecked(channel.sendRecovery);
    SpinStormLimit->setRange(0, ChannelValidation::MaxStormLimit);
    SpinStormLimit->setValue(channel.stormLimit);
    SpinStormLimit->setToolTip(tr("一分钟内超过此条数的告警合并为一条摘要发送,0为不合并"));
    CmdSave->setDefault(true);
    CmdCancel->setAutoDefault(false);

    auto* fields = new QFormLayout;
    fields->addRow(tr("名称:"), TextName);
    fields->addRow(tr("类型:"), ComboKind);
    auto* common = new QFormLayout;
    common->addRow(CheckEnabled);
    common->addRow(CheckRecovery);
    common->addRow(tr("告警合并阈值(条/分钟):"), SpinStormLimit);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CmdSave);
    buttons->addWidget(CmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(Pages, 1);
    layout->addLayout(common);
    layout->addLayout(buttons);
    resize(520, 480);

    connect(ComboKind, &QComboBox::currentIndexChanged, this,
            [this] { Pages->showKind(chosenKind()); });
    connect(CmdSave, &QPushButton::clicked, this, &FormChannelEdit::CmdSave_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

ChannelKind FormChannelEdit::chosenKind() const {
    return ChannelKinds::ofKey(ComboKind->currentData().toString()).value_or(m_given.kind);
}

Channel FormChannelEdit::channel() const {
    Channel result;
    result.id = m_given.id;
    result.kind = chosenKind();
    result.name = TextName->text().trimmed();
    result.enabled = CheckEnabled->isChecked();
    result.settings = Pages->settings(result.kind);
    // The stored secret belongs to the stored kind: another kind's secret
    // is never carried over.
    result.secret = Pages->typedSecret(result.kind);
    if (result.secret.isEmpty() && result.kind == m_given.kind)
        result.secret = m_given.secret;
    result.sendRecovery = CheckRecovery->isChecked();
    result.stormLimit = SpinStormLimit->value();
    return result;
}

void FormChannelEdit::CmdSave_Click() {
    const Channel edited = channel();
    const QString failedTitle = edited.id > 0 ? tr("对不起,保存失败") : tr("对不起,添加失败");
    bool read = false;
    const QList<Channel> stored = ChannelCatalogue::SelectChannels(&read);
    if (!read) {
        MessageBoxes::show(this, QMessageBox::Critical, failedTitle,
                           tr("无法读取通知渠道列表,请稍后再试。"));
        return;
    }
    if (const QString refusal = ChannelValidation::problem(edited, stored); !refusal.isEmpty()) {
        MessageBoxes::show(this, QMessageBox::NoIcon, AppVersion::title(), refusal);
        return;
    }
    qint64 id = edited.id;
    const QString report = edited.id > 0 ? ChannelCatalogue::ChangeChannel(edited)
                                         : ChannelCatalogue::AddChannel(edited, &id);
    if (!report.isEmpty()) {
        MessageBoxes::show(this, QMessageBox::Critical, failedTitle, report);
        return;
    }
    m_savedId = id;
    accept();
}
