#pragma once

#include <QDialog>

class ProcessStarter;
class QLabel;
class QPushButton;
class SysInfoLocator;

// The About box: title, version, a description and a rights notice, and a
// button that starts the system's information program.
class frmAbout final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmAbout)

public:
    frmAbout(SysInfoLocator& locator, ProcessStarter& starter, QWidget* parent = nullptr);

    // Starts the system-information program, or says that there is none.
    void StartSysInfo();

    static QString descriptionText();
    static QString disclaimerText();

private:
    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();

    SysInfoLocator& m_locator;
    ProcessStarter& m_starter;
    QLabel* picIcon;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QLabel* lblDisclaimer;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;
};
