#pragma once

#include "notify/Channel.h"

#include <QDialog>

class ChannelFieldPages;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

// Adds or changes one notification channel: its name and kind, the kind's
// own fields, whether it is enabled and sends recoveries, and its storm
// limit. 保存 checks the channel (ChannelValidation) and stores it; a refused
// channel leaves the dialog open with everything as typed. A stored secret
// is never shown: an empty secret field keeps it while the kind stays.
class FormChannelEdit final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormChannelEdit)
public:
    // A channel with id 0 is added; otherwise that channel is changed.
    explicit FormChannelEdit(const Channel& channel, QWidget* parent = nullptr);

    // The channel as the fields stand.
    Channel channel() const;
    // The ID of the channel once saved.
    qint64 savedId() const { return m_savedId; }

    QLineEdit* TextName;
    QComboBox* ComboKind;
    ChannelFieldPages* Pages;
    QCheckBox* CheckEnabled;
    QCheckBox* CheckRecovery;
    QSpinBox* SpinStormLimit;
    QPushButton* CmdSave;
    QPushButton* CmdCancel;

private:
    void CmdSave_Click();
    ChannelKind chosenKind() const;

    Channel m_given;
    qint64 m_savedId = 0;
};
