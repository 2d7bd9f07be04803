#pragma once

#include "catalogue/CatalogueCertNoticeStore.h"
#include "catalogue/ServerCatalogue.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerSilence.h"
#include "shell/AppServices.h"
#include "shell/GuardedSequence.h"
#include "shell/HistoryAccess.h"
#include "shell/TrayHiding.h"
#include "shell/WindowLayoutKeeper.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <memory>
#include <optional>

class AlertNotifier;
class ConsoleLauncher;
class FormChannels;
class FormSetup;
class HistoryRecorder;
class MainButtons;
class MainMenus;
class MainStatusBar;
class QTreeView;
class ResultListInteraction;
class ResultListSelection;
class ServerMonitor;
class ServerRowModel;
class TextSortProxyModel;

// The main window: the button row, the result list, the status bar and the
// menus. Closing it only hides it in the notification area; the exit
// command takes the one real exit path.
class FormMain final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormMain)
public:
    explicit FormMain(AppServices& services, QWidget* parent = nullptr);
    ~FormMain() override;

    // The designed caption, before the version banner is appended.
    static QString designedCaption();
    // The author credit of the menu bar and the tray tip.
    static QString authorCredit();

    // Start-up, each step on its own. The observer hears every step name of
    // the start-up and of the exit path as it runs.
    void Form_Load();
    void setStepObserver(GuardedSequence::Observer observer);

    void Form_Activate();
    void LoadServerList(ServerCatalogue::Selection selection);
    void CmdListErr_Click();
    void LstResult_ItemCheck(quint64 key, bool checked);
    void LstResult_DblClick();
    void Menu_InfoServer_Click();
    void Menu_History_Click();
    // Silences the selected servers for an hour or until they recover, or
    // ends their silence.
    void Menu_Silence_Click(ServerSilence::Kind kind);
    void CmdServer_Click();
    void Menu_EditServer_Click();
    void Menu_ImportServers_Click();
    void Menu_Maintenance_Click();
    void CmdFind_Click();
    void Menu_PingTest_Click();
    void Menu_TelnetTest_Click();
    void Menu_HelpWeb_Click();
    void Menu_Check_Click();
    void Menu_About_Click();
    void CmdStart_Click();
    void Menu_Start_Click();
    void CmdSetup_Click();
    void Menu_Setup_Click();
    // The notification channels, over the main window restored from the tray.
    void Menu_Channels_Click();
    void CmdExit_Click();
    void Menu_Exit_Click();
    // SIGTERM, SIGINT or SIGHUP: the exit command's path, without opening
    // the update-check page; nothing when the exit is already under way.
    void exitOnSignal();
    void SkinList();
    void Menu_ListThemes_Click(int Index);
    // Mouse messages of the notification icon (double click, right button
    // up, balloon clicked).
    void Tray_MouseMessage(int number);

    // The sixth status-bar panel names the notification channel that gave
    // up a message; empty hides it.
    void setFailingChannel(const QString& channelName);

    ServerRowModel& rowModel() const { return *m_rows; }
    ServerMonitor& monitor() const { return *m_monitor; }
    HistoryRecorder* historyRecorder() const { return m_historyAccess.recorder(); }

signals:
    // The operator changed the notification channels.
    void channelsChanged();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();

    void Form_Resize();
    void Form_QueryUnload(QCloseEvent* event);
    void runExitPath();
    void reloadMonitoredServers();
    // Panel 1 says whether the catalogue answers; its tool-tip says why not.
    void showCatalogueState();
    // Another copy changed these servers of a shared catalogue (none: all).
    void applyCatalogueChanges(const QList<qint64>& ids);
    // The catalogue's maintenance windows, for the cycle.
    void loadMaintenanceWindows();
    void openHistory(const ServerRecord& server);
    // The channels dialog over parent; the one already open is raised.
    void openChannels(QWidget* parent);

    AppServices& m_services;
    GuardedSequence::Observer m_stepObserver;
    MonitorSettings m_settings;
    CatalogueCertNoticeStore m_certNoticeStore;
    HistoryAccess m_historyAccess;
    WindowLayoutKeeper m_layout;
    QPointer<FormSetup> m_formSetup;
    QPointer<FormChannels> m_formChannels;

    ServerRowModel* m_rows;
    TextSortProxyModel* m_sortedRows;
    QTreeView* LstResult = nullptr;
    ResultListInteraction* m_listInteraction = nullptr;
    std::unique_ptr<ResultListSelection> m_selection;
    AlertNotifier* m_alerts;
    TrayHiding m_trayHiding;
    ServerMonitor* m_monitor;
    ServerSilence* m_silence;
    std::unique_ptr<ConsoleLauncher> m_launcher;

    std::unique_ptr<MainButtons> m_buttons;
    std::unique_ptr<MainMenus> m_menus;
    std::unique_ptr<MainStatusBar> m_statusPanels;
    // What the list shows: the servers of a selection, or a search result
    // and the failing servers (nothing).
    std::optional<ServerCatalogue::Selection> m_listSelection = ServerCatalogue::Selection::Enabled;

    QString MeCaption;
    QString sTips;
    bool ExitRequested = false;
    bool m_updatePageOnExit = true;
};
