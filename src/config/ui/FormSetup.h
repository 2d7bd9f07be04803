#pragma once

#include <functional>

#include <QDialog>

struct MonitorSettings;
class SkinEngine;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

// The settings dialog. Created once and kept hidden between uses; its fields
// are filled at creation from the running settings. A save checks every field
// before anything is written; a bad field leaves the file and the running
// settings untouched and keeps the dialog open. Choosing or typing a skin
// previews it at once.
class FormSetup final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormSetup)

public:
    FormSetup(MonitorSettings& settings, SkinEngine& skins, QWidget* parent = nullptr);

    // Fills the skin box's list from the skin folder; a missing or unreadable
    // folder gives a single empty entry.
    void SkinList();
    // Fills the fields from the running settings and the skin from the file.
    void loadINI();
    // What is wrong with a shared catalogue's address; empty when usable.
    void setDatabaseCheck(std::function<QString(const QString&)> check) {
        m_databaseCheck = std::move(check);
    }

    QGroupBox* Frame1 = nullptr;
    QLineEdit* TextTimerN = nullptr;
    QLineEdit* TextReplyLim = nullptr;
    QLineEdit* TextPingLim = nullptr;
    QLineEdit* TextTimeOut = nullptr;
    QComboBox* ComboSkin = nullptr;
    QCheckBox* CheckSnd = nullptr;
    QCheckBox* CheckHistory = nullptr;
    QLineEdit* TextHistRawDays = nullptr;
    QLineEdit* TextHistDays = nullptr;
    QLineEdit* TextNetCheck = nullptr;
    QCheckBox* CheckRecovery = nullptr;
    QLineEdit* TextRemindMin = nullptr;
    QLineEdit* TextFlapLimit = nullptr;
    QLineEdit* TextDatabase = nullptr;
    QCheckBox* CheckAnnounce = nullptr;
    QCheckBox* CheckExitPage = nullptr;
    QComboBox* ComboLanguage = nullptr; // applied at the next start
    QPushButton* CmdChannels = nullptr;
    QPushButton* CmdSave = nullptr;
    QPushButton* CmdCancel = nullptr;

signals:
    // The file and the running settings hold the new values.
    void settingsSaved();
    // The operator asked for the notification channels.
    void channelsRequested();

public slots:
    void ComboSkin_Click(int index);
    void ComboSkin_Change(const QString& text);
    void CmdSave_Click();
    void CmdCancel_Click();

private:
    void preview(const QString& skinName);
    // The sound box as the value of PLAYSND: 0 unchecked, 1 checked, 2 greyed.
    qint32 soundSwitch() const;

    MonitorSettings& m_settings;
    SkinEngine& m_skins;
    std::function<QString(const QString&)> m_databaseCheck;
};
