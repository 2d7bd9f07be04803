#pragma once

#include "monitor/ServerRecord.h"

#include <QDialog>

#include <memory>

class HttpCheckFields;
class MultiLineText;
class OneShotTest;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;

// Layout, fields and shared buttons of the add and edit dialogs: the port's
// request template, the one-shot socket test and the socket state label.
// Saving is up to the dialog; the main list is never reloaded from here,
// catalogueChanged() asks the main window to reload its monitored servers.
class ServerEditor : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServerEditor)
public:
    ~ServerEditor() override;

signals:
    void catalogueChanged();

protected:
    ServerEditor(const QString& title, QWidget* parent);

    // The fields as typed; a multi-line text not edited is returned as it was
    // set, and what the dialog does not show as setFields gave it.
    ServerRecord fields() const;
    void setFields(const ServerRecord& server);
    // Name and address must not be empty, an HTTP(S) check's fields must be
    // usable, the warning time a whole number of milliseconds from 0 (blank:
    // 0, no warning) up to an hour, the TLS name a host name or address
    // alone, the parent none that depends on this server, the locations free
    // of control characters; tells the user and focuses the field otherwise.
    bool validateFields();
    QHBoxLayout& buttonRow() { return *m_buttonRow; }

    QGroupBox* Frame1;
    QLineEdit* TextDisplayName;
    QComboBox* ComboCheckKind;
    QLineEdit* TextIPAddress;
    QLineEdit* TextPort;
    QLineEdit* TextWarnMs;
    QComboBox* ComboTransport;
    QLineEdit* TextTlsName;
    QCheckBox* CheckTlsIgnoreErrors;
    QSpinBox* SpinCertWarnDays;
    MultiLineText* TextPostData;
    MultiLineText* TextReplyData;
    QCheckBox* CheckInUse;
    QComboBox* ComboParent; // "无" or a server of the catalogue, found by typing
    QLineEdit* TextLocations;
    QPushButton* CmdAuto;
    QPushButton* CmdTest;
    QPushButton* CmdSave;
    QPushButton* CmdCancel;
    QLabel* lb_WskState;
    QTimer* TimerWsk;

private:
    void CmdAuto_Click();
    void CmdTest_Click();
    void TimerWsk_Timer();
    Transport chosenTransport() const;
    ServerRecord::CheckKind chosenCheckKind() const;
    // The TLS fields only apply to a transport other than 无, or to HTTP(S),
    // whose URL names both the transport and the TLS name.
    void ComboTransport_Change();
    // HTTP(S) shows its own fields and takes address and port from the URL,
    // with no port template; TCP gets back the address and port it had, and
    // the design request and reply if HTTP(S) cleared them.
    void ComboCheckKind_Change();
    void TextUrl_Change();
    void fillParents();
    qint64 chosenParent() const;

    ServerRecord m_given; // what setFields gave, for the fields not shown
    std::unique_ptr<HttpCheckFields> m_http;
    QString m_tcpAddress; // the address and port typed for TCP, while HTTP(S) is chosen
    QString m_tcpPort;
    bool m_designTextsCleared = false; // by choosing HTTP(S); given back with TCP
    QHBoxLayout* m_buttonRow;
    OneShotTest* m_test;
};
