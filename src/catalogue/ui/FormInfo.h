#pragma once

#include "monitor/ServerRecord.h"

#include <QDialog>

class EchoService;
class MultiLineText;
class OneShotTest;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QResizeEvent;
class QTimer;

// Details of one server with a manual socket test and a manual ping test.
// Nothing here is stored; the catalogue and the main list stay as they are.
class FormInfo final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormInfo)
public:
    explicit FormInfo(EchoService& echo, QWidget* parent = nullptr);
    ~FormInfo() override;

    // Fills the fields from a list row; replyData is the row's last reply
    // (its ReplyData tool-tip), the expected text until a reply arrived.
    // The transport and the TLS name a probe uses are shown, not edited.
    // Also enables the history button: the window now shows a row.
    void setServer(const ServerRecord& server);

signals:
    // The history button was pressed.
    void historyRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Form_Resize();
    void Cmd_Send_Click();
    void Cmd_Ping_Click();
    void CmdCancel_Click();
    void TimerWsk_Timer();
    void showReplyBytes(const QByteArray& bytes);

    EchoService& m_echo;
    bool m_pingWaiting = false;

    QGroupBox* Frame1;
    QLabel* Label1;
    QLineEdit* TextDisplayName;
    QLabel* Label2;
    QLineEdit* TextIPAddress;
    QLabel* Label3;
    QLineEdit* TextPort;
    QLabel* Label6;
    QLineEdit* TextTransport;
    QLabel* Label7;
    QLineEdit* TextTlsName;
    QLabel* Label4;
    MultiLineText* TextPostData;
    QLabel* Label5;
    MultiLineText* TextReplyData;
    QPlainTextEdit* TextReplyHex;
    QPushButton* Cmd_Send;
    QPushButton* Cmd_Ping;
    QPushButton* CmdHistory;
    QPushButton* CmdCancel;
    QLabel* lb_WskState;
    QTimer* TimerWsk;
    OneShotTest* m_test;
};
