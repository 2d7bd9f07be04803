#pragma once

#include "notify/Channel.h"

#include <QDialog>
#include <QList>

class ChannelSender;
class QLabel;
class QPushButton;
class QTreeWidget;

// The notification channels of the catalogue: add, edit, delete, enable or
// disable, and 发送测试, which sends a test message through the channel at
// once and shows what became of it without blocking the window. Each change
// is stored at once and announced by channelsChanged().
class FormChannels final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormChannels)
public:
    // sender: what 发送测试 sends through; without one the button stays off.
    explicit FormChannels(ChannelSender* sender, QWidget* parent = nullptr);

    // The list's columns.
    enum Column { NameColumn, KindColumn, EnabledColumn, RecoveryColumn };

    QTreeWidget* LstChannels;
    QPushButton* CmdAdd;
    QPushButton* CmdEdit;
    QPushButton* CmdDel;
    QPushButton* CmdEnable;
    QPushButton* CmdTest;
    QPushButton* CmdClose;
    QLabel* lbTestResult;

signals:
    void channelsChanged();

private:
    void fill(qint64 currentId);
    const Channel* currentChannel() const;
    void updateButtons();
    void edit(const Channel& channel);
    void CmdEdit_Click();
    void CmdDel_Click();
    void CmdEnable_Click();
    void CmdTest_Click();

    ChannelSender* m_sender;
    QList<Channel> m_channels;
    bool m_testRunning = false;
};
