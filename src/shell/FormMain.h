#pragma once

#include "catalogue/ServerCatalogue.h"
#include "config/MainWindowLayout.h"
#include "monitor/MonitorSettings.h"
#include "monitor/ServerSilence.h"
#include "shell/AppServices.h"
#include "shell/GuardedSequence.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <array>
#include <memory>
#include <optional>

class AlertNotifier;
class ConsoleLauncher;
class FormSetup;
class HistoryRecorder;
class QAction;
class QDialog;
class QLabel;
class QMenu;
class QPushButton;
class QTreeView;
class ResultListInteraction;
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
    void CmdExit_Click();
    void Menu_Exit_Click();
    void SkinList();
    void Menu_ListThemes_Click(int Index);
    // Mouse messages of the notification icon (double click, right button
    // up, balloon clicked).
    void Tray_MouseMessage(int number);

    ServerRowModel& rowModel() const { return *m_rows; }
    ServerMonitor& monitor() const { return *m_monitor; }
    HistoryRecorder* historyRecorder() const { return m_history; }

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createMenus();
    void createStatusBar();
    QAction* addItem(QMenu* menu, const char* name, const QString& caption);
    void addSeparator(QMenu* menu, const char* name);

    void Form_Resize();
    void Form_QueryUnload(QCloseEvent* event);
    void runExitPath();
    int execDialog(QDialog& dialog);
    void closeOpenDialogs();
    void restoreFromTray();
    void showCloseHint();
    void setPanelText(int panel, const QString& text);
    // The row the list reports as its selected item (the current row when it
    // is selected, else the first selected one), as a row of the model; -1
    // without a selection.
    int selectedRow() const;
    std::optional<ServerRecord> selectedServer() const;
    void reloadMonitoredServers();
    static QString historyPath();
    void openHistory(const ServerRecord& server);
    void startHistory();
    void applyLayout(const MainWindowLayout& layout);
    MainWindowLayout currentLayout() const;

    AppServices& m_services;
    GuardedSequence::Observer m_stepObserver;
    MonitorSettings m_settings;
    MainWindowLayout m_loadedLayout;
    QPointer<FormSetup> m_formSetup;

    ServerRowModel* m_rows;
    TextSortProxyModel* m_sortedRows;
    QTreeView* LstResult = nullptr;
    ResultListInteraction* m_listInteraction = nullptr;
    AlertNotifier* m_alerts;
    ServerMonitor* m_monitor;
    ServerSilence* m_silence;
    HistoryRecorder* m_history = nullptr;
    std::unique_ptr<ConsoleLauncher> m_launcher;

    QPushButton* CmdLoad = nullptr;
    QPushButton* CmdListErr = nullptr;
    QPushButton* CmdFind = nullptr;
    QPushButton* CmdStart = nullptr;
    QPushButton* CmdSetup = nullptr;
    QPushButton* CmdExit = nullptr;
    QPushButton* CmdServer = nullptr;

    QMenu* Menu_System = nullptr;
    QMenu* Menu_Right = nullptr;
    QMenu* Menu_Theme = nullptr;
    QMenu* Menu_Help = nullptr;
    QList<QAction*> Menu_ListThemes;

    std::array<QLabel*, 5> m_panels{};

    QString MeCaption;
    QString sTips;
    bool ExitRequested = false;
    bool FirstCloseHint = false;
};
