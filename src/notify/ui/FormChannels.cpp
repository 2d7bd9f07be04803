#include "notify/ui/FormChannels.h"

#include "notify/ChannelCatalogue.h"
#include "notify/ChannelMessage.h"
#include "notify/ChannelSender.h"
#include "notify/ui/FormChannelEdit.h"
#include "platform/gui/MessageBoxes.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QPushButton* button(const QString& caption, const char* name) {
    auto* result = new QPushButton(caption);
    result->setObjectName(QLatin1String(name));
    result->setAutoDefault(false);
    return result;
}

} // namespace

FormChannels::FormChannels(ChannelSender* sender, QWidget* parent)
    : QDialog(parent)
    , LstChannels(new QTreeWidget)
    , CmdAdd(button(tr("添加(&A)"), "CmdAdd"))
    , CmdEdit(button(tr("编辑(&E)"), "CmdEdit"))
    , CmdDel(button(tr("删除(&D)"), "CmdDel"))
    , CmdEnable(button(tr("停用(&U)"), "CmdEnable"))
    , CmdTest(button(tr("发送测试"), "CmdTest"))
    , CmdClose(button(tr("关闭"), "CmdClose"))
    , lbTestResult(new QLabel)
    , m_sender(sender) {
    setObjectName(QStringLiteral("FormChannels"));
    setWindowTitle(tr("通知渠道"));
    setModal(true);
    resize(640, 360);
    LstChannels->setObjectName(QStringLiteral("LstChannels"));
    LstChannels->setRootIsDecorated(false);
    LstChannels->setHeaderLabels({tr("名称"), tr("类型"), tr("启用"), tr("恢复时也发送")});
    LstChannels->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lbTestResult->setObjectName(QStringLiteral("lbTestResult"));
    lbTestResult->setWordWrap(true);
    lbTestResult->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {CmdAdd, CmdEdit, CmdDel, CmdEnable, CmdTest})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(CmdClose);
    auto* top = new QHBoxLayout;
    top->addWidget(LstChannels, 1);
    top->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(lbTestResult);

    connect(CmdAdd, &QPushButton::clicked, this, [this] { edit({}); });
    connect(CmdEdit, &QPushButton::clicked, this, &FormChannels::CmdEdit_Click);
    connect(LstChannels, &QTreeWidget::itemDoubleClicked, this, &FormChannels::CmdEdit_Click);
    connect(CmdDel, &QPushButton::clicked, this, &FormChannels::CmdDel_Click);
    connect(CmdEnable, &QPushButton::clicked, this, &FormChannels::CmdEnable_Click);
    connect(CmdTest, &QPushButton::clicked, this, &FormChannels::CmdTest_Click);
    connect(CmdClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(LstChannels, &QTreeWidget::currentItemChanged, this, &FormChannels::updateButtons);
    fill(0);
}

void FormChannels::fill(qint64 currentId) {
    bool read = false;
    m_channels = ChannelCatalogue::SelectChannels(&read);
    LstChannels->clear();
    for (const Channel& channel : std::as_const(m_channels))
        LstChannels->addTopLevelItem(new QTreeWidgetItem(
            {channel.name, ChannelKinds::text(channel.kind), channel.enabled ? tr("是") : tr("否"),
             channel.sendRecovery ? tr("是") : tr("否")}));
    qsizetype current = 0;
    for (qsizetype at = 0; at < m_channels.size(); ++at)
        if (m_channels.at(at).id == currentId)
            current = at;
    if (!m_channels.isEmpty())
        LstChannels->setCurrentItem(LstChannels->topLevelItem(static_cast<int>(current)));
    updateButtons();
    if (!read)
        MessageBoxes::show(this, QMessageBox::Warning, tr("无法读取通知渠道"),
                           tr("通知渠道列表暂时无法读取(可能正被其他程序占用),列表中没有显示"
                              "任何渠道。请稍后再试。"));
}

const Channel* FormChannels::currentChannel() const {
    const int at = LstChannels->indexOfTopLevelItem(LstChannels->currentItem());
    return at >= 0 && at < m_channels.size() ? &m_channels.at(at) : nullptr;
}

void FormChannels::updateButtons() {
    const Channel* channel = currentChannel();
    for (QPushButton* b : {CmdEdit, CmdDel, CmdEnable})
        b->setEnabled(channel != nullptr);
    CmdEnable->setText(channel && !channel->enabled ? tr("启用(&U)") : tr("停用(&U)"));
    CmdTest->setEnabled(channel && m_sender && !m_testRunning);
}

void FormChannels::edit(const Channel& channel) {
    FormChannelEdit editor(channel, this);
    if (editor.exec() != QDialog::Accepted)
        return;
    fill(editor.savedId());
    emit channelsChanged();
}

void FormChannels::CmdEdit_Click() {
    if (const Channel* channel = currentChannel())
        edit(*channel);
}

void FormChannels::CmdDel_Click() {
    const Channel* channel = currentChannel();
    if (!channel)
        return;
    const auto answer =
        MessageBoxes::show(this, QMessageBox::Question, tr("确认？"),
                           tr("确定删除通知渠道“%1”?\r\n尚未发出的消息也将一并删除,删除后无法恢复!")
                               .arg(channel->name),
                           QMessageBox::Ok | QMessageBox::Cancel);
    if (answer != QMessageBox::Ok)
        return;
    const QString report = ChannelCatalogue::DeleteChannel(channel->id);
    if (!report.isEmpty()) {
        MessageBoxes::show(this, QMessageBox::Critical, tr("对不起,删除失败"), report);
        return;
    }
    fill(0);
    emit channelsChanged();
}

void FormChannels::CmdEnable_Click() {
    const Channel* current = currentChannel();
    if (!current)
        return;
    Channel channel = *current;
    channel.enabled = !channel.enabled;
    const QString report = ChannelCatalogue::ChangeChannel(channel);
    if (!report.isEmpty()) {
        MessageBoxes::show(this, QMessageBox::Critical, tr("对不起,更改状态失败"), report);
        return;
    }
    fill(channel.id);
    emit channelsChanged();
}

// The outcome comes later, from the event loop; the window may be gone by
// then, and the list may have changed.
void FormChannels::CmdTest_Click() {
    const Channel* current = currentChannel();
    if (!current || !m_sender || m_testRunning)
        return;
    const Channel channel = *current;
    m_testRunning = true;
    updateButtons();
    lbTestResult->setText(tr("正在向“%1”发送测试消息...").arg(channel.name));
    QPointer<FormChannels> form(this);
    m_sender->send(channel, channelTestMessage(channel.name),
                   [form, name = channel.name](const SendOutcome& outcome) {
                       if (!form)
                           return;
                       form->m_testRunning = false;
                       form->lbTestResult->setText(
                           outcome.accepted ? tr("“%1”已接受测试消息。").arg(name)
                                            : tr("“%1”发送失败:%2").arg(name, outcome.reason));
                       form->updateButtons();
                   });
}
