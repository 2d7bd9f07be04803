#pragma once

#include "monitor/ServerRecord.h"
#include "tls/CertificateFacts.h"

#include <QDialog>

#include <optional>

class Clock;
class EchoService;
class MultiLineText;
class OneShotTest;
class QGroupBox;
class QHideEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QResizeEvent;
class QShowEvent;
class QTimer;
class QTreeWidget;
class HttpProbeTest;
class TlsProbeTest;
struct AgentServerState;
struct MonitorSettings;

// Details of one server with a manual socket test and a manual ping test;
// for a TLS server also the certificate facts of its row's last handshake
// and a manual TLS test; for an HTTP(S) server a manual HTTP test instead of
// the TLS test, and for HTTPS the certificate facts too. With a shared
// catalogue, below them what each live agent last saw of the server, read
// again every 10 s while the window is open. Nothing here is stored; the
// catalogue and the main list stay as they are.
class FormInfo final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormInfo)
public:
    explicit FormInfo(EchoService& echo, QWidget* parent = nullptr);
    ~FormInfo() override;

    // Fills the fields from a list row; replyData is the row's last reply
    // (its ReplyData tool-tip), the expected text until a reply arrived.
    // The transport and the TLS name a probe uses are shown, not edited.
    // Also enables the history button: the window now shows a row, and with
    // a shared catalogue shows the agents' results for the server's ID.
    void setServer(const ServerRecord& server);
    // For a TLS or HTTPS server: the facts of its row's last handshake (nullptr: none
    // yet) and the handshake's time; expected is the reply the TLS test
    // checks for, whatever the reply box shows.
    void setTlsDetails(const CertificateFacts* facts, qint64 handshakeUs, const QString& expected);
    // The time-out and CA file the TLS test uses, and the clock that counts
    // a certificate's days left; until set, the defaults and the system's.
    void setTlsTestSettings(const MonitorSettings& settings, const Clock& clock);

signals:
    // The history button was pressed.
    void historyRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Form_Resize();
    void Cmd_Send_Click();
    void Cmd_Tls_Click();
    void Cmd_Http_Click();
    void Cmd_Ping_Click();
    void CmdCancel_Click();
    void TimerWsk_Timer();
    void TimerAgents_Timer();
    void showAgentStates(const QList<AgentServerState>& states);
    void showReplyBytes(const QByteArray& bytes);
    void tlsTestFinished();
    void httpTestFinished();
    void showCertificate(const QStringList& heading, const std::optional<CertificateFacts>& facts,
                         qint64 handshakeUs);
    qint64 utcNowMs() const;

    EchoService& m_echo;
    bool m_pingWaiting = false;
    TlsOptions m_tls;
    std::optional<CertificateFacts> m_facts; // of the row's last handshake
    qint64 m_handshakeUs = 0;
    QString m_expected;
    qint32 m_timeOutMs;
    QString m_caFile;
    const Clock* m_clock = nullptr;
    // The test the state label follows.
    enum class Shown { Socket, Tls, Http };
    Shown m_shownTest = Shown::Socket;
    bool m_secured = false;                   // the certificate box shows: a TLS or an HTTPS server
    std::optional<ServerRecord> m_httpServer; // an HTTP(S) server's check
    qint64 m_agentServerId = 0;               // whose agents' results show; 0: none
    bool m_readingAgents = false;

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
    QLabel* Label8;
    QPlainTextEdit* TextCertificate;
    QPushButton* Cmd_Send;
    QPushButton* Cmd_Tls;
    QPushButton* Cmd_Http;
    QPushButton* Cmd_Ping;
    QPushButton* CmdHistory;
    QPushButton* CmdCancel;
    QLabel* lb_WskState;
    QTimer* TimerWsk;
    QLabel* Label9;
    QTreeWidget* LstAgents;
    QTimer* TimerAgents;
    OneShotTest* m_test;
    TlsProbeTest* m_tlsTest;
    HttpProbeTest* m_httpTest;
};
