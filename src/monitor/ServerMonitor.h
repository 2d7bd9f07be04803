#pragma once

#include "monitor/AlertGate.h"
#include "monitor/CertificateNotices.h"
#include "monitor/HttpProbe.h"
#include "monitor/LoopTurns.h"
#include "monitor/ProbePass.h"
#include "monitor/ServerAlerts.h"
#include "monitor/TcpProbe.h"

#include <QLocale>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class AlertSink;
class CertNoticeStore;
class Clock;
class EchoService;
class NetworkCheck;
class QAbstractItemModel;
class ResultRecorder;
class ServerRowModel;
class ServerSilence;
struct EchoReply;
struct MonitorSettings;

// The monitoring cycle of the main window, without the window: the start and
// stop switch, the one-second timer TimerProc with its countdown and passes,
// the evaluation of results into counters, alerts and row colours. A pass
// visits the rows in the order the list view shows them; everything kept per
// row is found by the row's key. At each row the pass starts the row's TCP
// probe (TcpProbe) or, for an HTTP row, its HTTP check (HttpProbe), whose
// replies and results come back through ProbePass,
// and yields twice before the row's echo, which completes the row's echo
// step whenever it is answered or lost, while the pass goes on; the pass
// ends once its last echo has completed. The pass moves on from the event
// loop (LoopTurns) and never waits on the stack, so it goes on in whatever
// loop turns, a modal dialog's too. Texts for the window
// (status-bar panels, title, tray tip, start caption) leave as signals.
class ServerMonitor final : public QObject, private ProbePass {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServerMonitor)
public:
    // listView is the model the list view shows (a proxy over rows or rows
    // itself); settings are read on every tick and row, so changes take
    // effect at once. Everything passed in must outlive the monitor.
    ServerMonitor(ServerRowModel& rows, const QAbstractItemModel& listView,
                  const MonitorSettings& settings, Clock& clock, EchoService& echo,
                  AlertSink& alerts, QObject* parent = nullptr);
    ~ServerMonitor() override;

    void setMeCaption(const QString& meCaption) { MeCaption = meCaption; }
    void setTips(const QString& tips) { sTips = tips; }
    // The locale whose time format panel 3 and the tray tip use during a
    // pass; the system's unless set.
    void setLocale(const QLocale& locale) { m_locale = locale; }
    // Receives every probe result from now on, instead of all recorders
    // added so far; nullptr records nothing.
    void setRecorder(ResultRecorder* recorder);
    // Receives every probe result from now on, besides the others.
    void addRecorder(ResultRecorder* recorder);
    void removeRecorder(ResultRecorder* recorder);
    // Silenced servers raise no alerts; nullptr silences none.
    void setSilence(ServerSilence* silence) { m_serverAlerts.setSilence(silence); }
    // Where alerts and recoveries also go (the notification channels).
    void setAlertFeed(AlertFeed* feed);
    const MonitorSettings& settings() const { return m_settings; }
    // Remembers the certificate notices given, so a restart does not repeat
    // them; nullptr: the loaded rows alone remember them.
    void setCertNoticeStore(CertNoticeStore* store) { m_certNotices.setStore(store); }
    // The planned maintenance windows: their servers alert nobody meanwhile.
    void setMaintenanceWindows(const QList<MaintenanceWindow>& windows) {
        m_gate.setWindows(windows);
    }
    const AlertGate& alertGate() const { return m_gate; }

    bool isMonitoring() const { return TimerProc.isActive(); }
    // From the first row until the last echo of the pass has completed.
    bool isPassRunning() const { return m_inPass; }
    int echoesOutstanding() const { return m_echoesOutstanding; }
    qint32 passNumber() const { return PassNumber; }
    qint32 socketFaultCount() const { return SocketFaultCount; }
    qint32 pingFaultCount() const { return PingFaultCount; }
    qint32 passReplyCount() const { return PassReplyCount; }
    qint32 timerNCount() const { return iTimerNCount; }
    QTimer& timerProc() { return TimerProc; }
    SocketArray& sockets() { return m_tcpProbe.sockets(); }
    TcpProbe& tcpProbe() { return m_tcpProbe; }
    HttpProbe& httpProbe() { return m_httpProbe; }
    const NetworkCheck& networkCheck() const { return *m_netCheck; }

    // The reply check of the TCP probe.
    static bool replyMatches(const QString& reply, const QString& expected) {
        return TcpProbe::replyMatches(reply, expected);
    }
    // What an echo the system does not permit tells the operator to run.
    static QString echoPermissionNotice();

public slots:
    // Switches monitoring on or off.
    void CmdStart_Click();
    // One tick: the countdown, or a whole pass.
    void TimerProc_Timer();
    // Paints every row: red after a socket fault, green after a lost echo,
    // amber after a slow reply; green before red before amber.
    void SetColor();
    // Alerts when the consecutive socket faults of the row (a row of the
    // ServerRowModel) have just reached the limit.
    void CheckReplyState(int row);
    // The same for the row's consecutive lost echoes.
    void CheckPingState(int row);
    // Starts the reply count of panel 2 afresh for the rows now loaded.
    void resetReplyCount();

signals:
    // Panel 1 to 5 of the status bar.
    void statusPanelChanged(int panel, const QString& text);
    void windowTitleChanged(const QString& title);
    void tipChanged(const QString& tip);
    // Caption of the start button and of its menu item.
    void startCaptionChanged(const QString& caption);
    void monitoringChanged(bool on);
    // A pass begins with its preamble and finishes with its last echo; a pass
    // stopped by switching monitoring off does not finish.
    void passStarted();
    void passFinished();

private:
    qint32 intervalTicks() const;
    void waitingTick();
    void runPass();
    void networkChecked(bool up);
    void visitRows();
    void takeKeys(int from);
    void visitNextRow(int turns);
    void echoRow();
    void rowsVisited();
    void markNetworkDown();
    void passPreamble();
    quint64 keyShownAt(int position) const;
    void sendEcho(quint64 key);
    void echoDone(quint64 key, long result, const EchoReply& reply);
    void noteEchoPermission(int row, bool denied);
    void endPassWhenEchoesDone();
    void listReloaded();
    bool isHttpRow(int row) const;

    void replyArrived(quint64 key, const std::function<void(int row)>& judge) override;
    void paintWhenRepliesJudged();
    void probeResult(int row, ProbeOutcome::Kind kind, qint64 ms, qint64 handshakeUs) override;
    void certificateRead(int row) override;

    void alertAtLimit(int row, qint32 count, qint32 limit, const QString& title) override;
    void showReplyCount();
    QString tip(const QString& line) const;
    void record(int row, quint8 kind, qint64 ms, qint32 status = 0, qint64 handshakeUs = 0);

    ServerRowModel& m_rows;
    const QAbstractItemModel& m_list;
    const MonitorSettings& m_settings;
    Clock& m_clock;
    EchoService& m_echo;
    AlertSink& m_alerts;
    QList<ResultRecorder*> m_recorders;
    ServerAlerts m_serverAlerts;
    AlertGate m_gate;
    CertificateNotices m_certNotices;

    QTimer TimerProc;
    LoopTurns m_turns; // the pass's yields and the judgements of its replies
    TcpProbe m_tcpProbe;
    HttpProbe m_httpProbe;
    QString MeCaption;
    QString sTips;
    QLocale m_locale = QLocale::system();
    qint32 iTimerNCount = 0;
    qint32 PassNumber = 1;
    qint32 SocketFaultCount = 0;
    qint32 PingFaultCount = 0;
    qint32 PassReplyCount = 0;
    // The rows of the pass under way: their keys in the order the list
    // showed them (taken anew from the current position after a reload) and
    // the position visited now.
    struct Visit {
        QList<quint64> keys;
        int next = 0;
        quint64 keysOfList = 0; // the list generation the keys were taken from
    };
    Visit m_visit;
    bool m_inPass = false;
    bool m_passRowsDone = false; // every row of the pass visited, or stopped
    bool m_passStopped = false;  // monitoring switched off during the pass
    int m_echoesOutstanding = 0; // echoes of the pass not yet completed
    // The context of the echoes under way: replacing it cancels them.
    std::unique_ptr<QObject> m_echoScope = std::make_unique<QObject>();
    quint64 m_listGeneration = 0; // raised by every reload of the list
    bool m_echoPermissionNoticeShown = false;
    int m_repliesAwaitingJudgement = 0; // arrived, their handlers still in their yields
    bool m_paintDue = false;            // the reply count is complete; colours not yet painted
    std::unique_ptr<NetworkCheck> m_netCheck;
};
