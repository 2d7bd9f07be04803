#include "shell/FormMain.h"

#include "app/AppVersion.h"
#include "catalogue/CatalogueEvents.h"
#include "catalogue/CatalogueUri.h"
#include "catalogue/MaintenanceCatalogue.h"
#include "catalogue/ModuleDB.h"
#include "catalogue/ServerListLoader.h"
#include "catalogue/ui/FormFind.h"
#include "catalogue/ui/FormInfo.h"
#include "catalogue/ui/FormMaintenance.h"
#include "catalogue/ui/FormServer.h"
#include "catalogue/ui/FormServerEdit.h"
#include "config/ModuleINI.h"
#include "config/PageSwitches.h"
#include "config/SettingsStore.h"
#include "config/SkinFolder.h"
#include "config/Twips.h"
#include "config/ui/FormSetup.h"
#include "history/ui/FormHistory.h"
#include "monitor/ModulePing.h"
#include "monitor/ServerMonitor.h"
#include "monitor/ServerRowModel.h"
#include "monitor/ServerSilence.h"
#include "monitor/SocketElement.h"
#include "monitor/TextSortProxyModel.h"
#include "monitor/ui/AlertNotifier.h"
#include "monitor/ui/ModuleTrayIcon.h"
#include "monitor/ui/PaintedServerRowModel.h"
#include "notify/ui/FormChannels.h"
#include "platform/DesktopNotifications.h"
#include "platform/SkinEngine.h"
#include "platform/gui/AppIcons.h"
#include "platform/gui/MessageBoxes.h"
#include "platform/gui/ScreenDpi.h"
#include "platform/gui/TrayIcon.h"
#include "shell/CatalogueFileCommands.h"
#include "shell/ConsoleLauncher.h"
#include "shell/ElidingHeaderView.h"
#include "shell/FormAD.h"
#include "shell/MainButtons.h"
#include "shell/MainMenus.h"
#include "shell/MainStatusBar.h"
#include "shell/ModalDialogs.h"
#include "shell/ModuleHTTP.h"
#include "shell/ResultListInteraction.h"
#include "shell/ResultListSelection.h"
#include "shell/frmAbout.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QTreeView>
#include <QVBoxLayout>

#include <utility>

namespace {
const QString CrLf = QStringLiteral("\r\n");

// A silence the operator sets is a change to the server; one its recovery
// ends is not.
QString storeSilence(qint64 id, qint64 until, ServerSilence::Origin origin) {
    return origin == ServerSilence::Origin::Recovery ? ServerCatalogue::EndSilenceAtRecovery(id)
                                                     : ServerCatalogue::SetServerSilence(id, until);
}
} // namespace

FormMain::FormMain(AppServices& services, QWidget* parent)
    : QMainWindow(parent)
    , m_services(services)
    , m_historyAccess(m_settings, services.clock)
    , m_rows(new PaintedServerRowModel(this))
    , m_sortedRows(new TextSortProxyModel(this))
    , m_alerts(new AlertNotifier(services.sound, m_settings, AppIcons::Picture1(),
                                 &services.notifications, this))
    , m_trayHiding(*this, services.tray, *m_alerts)
    , m_monitor(new ServerMonitor(*m_rows, *m_sortedRows, m_settings, services.clock, services.echo,
                                  *m_alerts, this))
    , m_silence(new ServerSilence(*m_rows, services.clock, &storeSilence, this))
    , m_launcher(std::make_unique<ConsoleLauncher>(services.processStarter)) {
    Twips::setDpiSource(&ScreenDpi::logical);
    ModuleHTTP::setUrlOpener(&m_services.urlOpener);
    ModuleTrayIcon::setTrayIcon(&m_services.tray);
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(designedCaption());
    m_sortedRows->setSourceModel(m_rows);
    createControls();
    m_menus = std::make_unique<MainMenus>(*this);
    connect(m_listInteraction, &ResultListInteraction::contextMenuRequested, this,
            [this](const QPoint& position) { m_menus->serverMenu()->popup(position); });
    m_statusPanels = std::make_unique<MainStatusBar>(*this);
    m_services.tray.setContextMenu(m_menus->systemMenu());
    resize(800, 600);
    connect(&m_services.tray, &TrayIcon::mouseMessage, this, &FormMain::Tray_MouseMessage);
    connect(m_monitor, &ServerMonitor::statusPanelChanged, this,
            [this](int panel, const QString& text) { m_statusPanels->setPanelText(panel, text); });
    connect(m_monitor, &ServerMonitor::windowTitleChanged, this, &QWidget::setWindowTitle);
    connect(m_monitor, &ServerMonitor::tipChanged, this,
            [](const QString& tip) { ModuleTrayIcon::TraySetTip(tip); });
    connect(m_monitor, &ServerMonitor::startCaptionChanged, this, [this](const QString& caption) {
        m_buttons->startButton()->setText(caption);
        findChild<QAction*>(QStringLiteral("Menu_Start"))->setText(caption);
    });
    connect(m_listInteraction, &ResultListInteraction::sorted, m_monitor, &ServerMonitor::SetColor);
    // A click on a desktop notice stands for a click on the balloon it replaces.
    connect(&m_services.notifications, &DesktopNotifications::clicked, this,
            [this] { Tray_MouseMessage(TrayIcon::BalloonClicked); });
    m_monitor->setSilence(m_silence);
    // The windows are read with every list, after the cycle has let go of
    // the old rows.
    connect(m_rows, &QAbstractItemModel::modelReset, this, &FormMain::loadMaintenanceWindows);
    connect(ModuleDB::events(), &CatalogueEvents::stateChanged, this,
            &FormMain::showCatalogueState);
    connect(ModuleDB::events(), &CatalogueEvents::serversChanged, this,
            &FormMain::applyCatalogueChanges);
    m_monitor->setCertNoticeStore(&m_certNoticeStore);
    m_alerts->setAlertActions(ServerSilence::noticeActions());
    connect(&m_services.notifications, &DesktopNotifications::actionInvoked, m_silence,
            &ServerSilence::applyNoticeAction);
    connect(m_alerts, &AlertNotifier::alerted, this, [this] {
        if (!isActiveWindow())
            QApplication::alert(this);
    });
}

FormMain::~FormMain() {
    // The cycle goes first: it refers to the rows, the list, the notifier and
    // the history recorder.
    delete m_monitor;
    ModuleHTTP::setUrlOpener(nullptr);
    if (ModuleTrayIcon::trayIcon() == &m_services.tray)
        ModuleTrayIcon::setTrayIcon(nullptr);
}

QString FormMain::designedCaption() {
    return tr("青岚服务器监控[云杉工作室]");
}

QString FormMain::authorCredit() {
    return tr("作者:Quillfern");
}

void FormMain::setStepObserver(GuardedSequence::Observer observer) {
    m_stepObserver = std::move(observer);
}

void FormMain::createControls() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 0);

    auto* buttons = new QHBoxLayout;
    m_buttons = std::make_unique<MainButtons>(*this, central, buttons);
    layout->addLayout(buttons);

    LstResult = new QTreeView(central);
    LstResult->setObjectName(QStringLiteral("LstResult"));
    auto* header = new ElidingHeaderView(Qt::Horizontal, LstResult);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    LstResult->setHeader(header);
    LstResult->setModel(m_sortedRows);
    LstResult->setRootIsDecorated(false);
    LstResult->setItemsExpandable(false);
    LstResult->setUniformRowHeights(true);
    LstResult->setAllColumnsShowFocus(true);
    LstResult->setSelectionMode(QAbstractItemView::ExtendedSelection);
    LstResult->setSelectionBehavior(QAbstractItemView::SelectRows);
    LstResult->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LstResult->header()->setStretchLastSection(false);
    // Stored column widths belong to column positions: columns stay where they are.
    LstResult->header()->setSectionsMovable(false);
    layout->addWidget(LstResult, 1);
    m_listInteraction = new ResultListInteraction(LstResult, m_sortedRows, this);
    m_selection = std::make_unique<ResultListSelection>(*LstResult, *m_sortedRows, *m_rows);
    setCentralWidget(central);

    connect(m_rows, &ServerRowModel::checkToggled, this, &FormMain::LstResult_ItemCheck);
    connect(LstResult, &QAbstractItemView::doubleClicked, this, &FormMain::LstResult_DblClick);
}

void FormMain::Form_Load() {
    GuardedSequence startUp;
    startUp.add(QStringLiteral("SocketStateNames"), [] { SocketStateNames(); })
        .add(QStringLiteral("IniBaseName"),
             [] { ModuleINI::setIniBaseName(QStringLiteral("RodOdazuConfig")); })
        .add(QStringLiteral("DbPath"), [] { ModuleDB::setDbPath(ModuleDB::DefaultDbPath()); })
        .add(QStringLiteral("loadINI"),
             [this] { m_layout.apply(SettingsStore::loadINI(m_settings), *this, *LstResult); })
        .add(QStringLiteral("DbOpen"),
             [this] {
                 ModuleDB::setDatabaseUri(m_settings.Database);
                 ModuleDB::DbOpen();
                 showCatalogueState();
                 if (const QString refused = ModuleDB::DbOpenError(); !refused.isEmpty())
                     MessageBoxes::show(this, QMessageBox::Critical, tr("数据库：连接失败"),
                                        refused);
             })
        .add(QStringLiteral("History"), [this] { m_historyAccess.start(*m_monitor, *this); })
        .add(QStringLiteral("Caption"),
             [this] {
                 setWindowTitle(designedCaption() + tr("[版本:") + AppVersion::text() +
                                QLatin1Char(']'));
             })
        .add(QStringLiteral("MeCaption"),
             [this] {
                 MeCaption = windowTitle();
                 m_monitor->setMeCaption(MeCaption);
             })
        .add(QStringLiteral("TrayAdd"),
             [this] {
                 // The settings dialog is made here, once, and lives hidden until the exit.
                 m_formSetup = new FormSetup(m_settings, m_services.skinEngine, this);
                 connect(m_formSetup, &FormSetup::channelsRequested, this,
                         [this] { openChannels(m_formSetup); });
                 m_formSetup->setDatabaseCheck(
                     [](const QString& uri) { return CatalogueUri::parse(uri).error(); });
                 ModuleTrayIcon::TrayAdd(m_alerts->pictures().at(0), MeCaption);
             })
        .add(QStringLiteral("sTips"),
             [this] {
                 sTips = tr("服务器监控系统") + CrLf + tr("版本:") + AppVersion::text() + CrLf +
                         QLatin1Char('[') + authorCredit() + QLatin1Char(']');
                 m_monitor->setTips(sTips);
                 ModuleTrayIcon::TraySetTip(sTips);
             })
        .add(QStringLiteral("LoadServerList"),
             [this] { LoadServerList(ServerCatalogue::Selection::Enabled); })
        .add(QStringLiteral("SocketsStartup"), [] { ModulePing::SocketsStartup(); })
        .add(QStringLiteral("FirstCloseHint"), [this] { m_trayHiding.armCloseHint(); })
        .add(QStringLiteral("ReplyCount"), [this] { m_monitor->resetReplyCount(); })
        .add(QStringLiteral("SkinList"), [this] { SkinList(); });
    startUp.run(m_stepObserver);
}

// A catalogue that is connected yet cannot be read (another program keeps
// it locked) leaves the list empty; the box says the list is not the
// catalogue's. Without a connection the status bar already says so.
void FormMain::LoadServerList(ServerCatalogue::Selection selection) {
    m_listSelection = selection;
    if (!ServerListLoader::LoadServerList(*m_rows, selection) && ModuleDB::DbConnected())
        MessageBoxes::show(
            this, QMessageBox::Warning, tr("无法读取服务器列表"),
            tr("服务器列表暂时无法读取(可能正被其他程序占用),列表中没有显示任何服务器。"
               "请稍后重新载入。"));
}

void FormMain::CmdListErr_Click() {
    ServerListLoader::KeepFailingRows(*m_rows);
    m_listSelection.reset();
    m_monitor->SetColor();
}

void FormMain::LstResult_ItemCheck(quint64 key, bool checked) {
    const QString report = ServerListLoader::LstResult_ItemCheck(*m_rows, key, checked);
    if (!report.isEmpty())
        MessageBoxes::show(this, QMessageBox::Critical, tr("对不起,更改状态失败"), report);
}

void FormMain::SkinList() {
    m_menus->listThemes();
}

void FormMain::Menu_ListThemes_Click(int Index) {
    // Only entries made from a skin file carry a name; the designed entry and
    // the empty one of an unreadable folder do nothing.
    const QString name = m_menus->themeName(Index);
    if (name.isEmpty())
        return;
    m_services.skinEngine.attachFile(SkinFolder::filePath(name));
    ModuleINI::IniWriteString(QStringLiteral("SETUP"), QStringLiteral("SKIN"), name);
}

void FormMain::Form_Activate() {
    m_alerts->stopFlashing();
}

void FormMain::Form_Resize() {
    m_trayHiding.hideWhenMinimised();
    m_monitor->SetColor();
}

void FormMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
    else if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

void FormMain::closeEvent(QCloseEvent* event) {
    Form_QueryUnload(event);
}

void FormMain::Form_QueryUnload(QCloseEvent* event) {
    if (ExitRequested) {
        event->accept();
        runExitPath();
        return;
    }
    event->ignore();
    m_trayHiding.minimiseOnClose();
}

void FormMain::runExitPath() {
    GuardedSequence exitPath;
    exitPath
        .add(QStringLiteral("OpenUrl"),
             [this] {
                 if (m_updatePageOnExit && PageSwitches::updatePageAtExit())
                     ModuleHTTP::OpenUrl(ModuleHTTP::UpdateCheckUrl().toString());
             })
        .add(QStringLiteral("TrayRemove"), [] { ModuleTrayIcon::TrayRemove(); })
        .add(QStringLiteral("SaveINI"),
             [this] {
                 SettingsStore::SaveINI(m_layout.current(*this, *LstResult),
                                        windowState() == Qt::WindowNoState, m_settings);
             })
        .add(QStringLiteral("DbClose"), [] { ModuleDB::DbClose(); })
        .add(QStringLiteral("SocketsCleanup"), [] { ModulePing::SocketsCleanup(); })
        .add(QStringLiteral("UnloadFormSetup"),
             [this] {
                 // The dialog may be open (the tray menu reaches past it): it
                 // closes first and goes once its own event loop has returned.
                 if (m_formSetup) {
                     m_formSetup->reject();
                     m_formSetup->deleteLater();
                 }
             })
        .add(QStringLiteral("UnloadFormMain"),
             [this] {
                 hide();
                 deleteLater();
             })
        .add(QStringLiteral("End"), [] { QCoreApplication::quit(); });
    exitPath.run(m_stepObserver);
}

void FormMain::reloadMonitoredServers() {
    LoadServerList(ServerCatalogue::Selection::Enabled);
}

void FormMain::showCatalogueState() {
    m_statusPanels->setPanelText(1, ModuleDB::DbStateText());
    m_statusPanels->setPanelToolTip(1, ModuleDB::DbOfflineReason());
}

void FormMain::applyCatalogueChanges(const QList<qint64>& ids) {
    if (ids.isEmpty()) {
        LoadServerList(m_listSelection.value_or(ServerCatalogue::Selection::Enabled));
        return;
    }
    // A search result or the failing servers keep to the rows they show.
    QList<qint64> changed = ids;
    if (!m_listSelection) {
        QSet<qint64> listed;
        for (int row = 0; row < m_rows->rowCount(); ++row)
            listed.insert(m_rows->text(row, ServerRowModel::ID).toLongLong());
        changed.removeIf([&listed](qint64 id) { return !listed.contains(id); });
    }
    ServerListLoader::ReloadServers(*m_rows, changed,
                                    m_listSelection.value_or(ServerCatalogue::Selection::All));
    m_monitor->SetColor();
}

void FormMain::LstResult_DblClick() {
    Menu_InfoServer_Click();
}

void FormMain::Menu_InfoServer_Click() {
    if (m_rows->rowCount() == 0)
        return;
    FormInfo details(m_services.echo, this);
    details.setTlsTestSettings(m_settings, m_services.clock);
    // Without a selected row the window keeps its design texts.
    if (std::optional<ServerRecord> server = m_selection->selectedServer()) {
        const int row = m_selection->selectedRow();
        const QString expected = server->replyData;
        // The details show the last reply once one arrived: the ReplyData tip.
        const QString lastReply = m_rows->toolTip(row, ServerRowModel::ReplyData);
        if (!lastReply.isEmpty())
            server->replyData = lastReply;
        details.setServer(*server);
        details.setTlsDetails(m_rows->certificateFacts(row), m_rows->tlsHandshakeUs(row), expected);
        connect(&details, &FormInfo::historyRequested, this,
                [this, server = *server] { openHistory(server); });
    }
    ModalDialogs::exec(details);
}

void FormMain::Menu_History_Click() {
    if (const std::optional<ServerRecord> server = m_selection->selectedServer())
        openHistory(*server);
}

void FormMain::Menu_Silence_Click(ServerSilence::Kind kind) {
    QStringList reports;
    for (const int row : m_selection->selectedRows()) {
        const QString report =
            m_silence->apply(m_rows->text(row, ServerRowModel::ID).toLongLong(), kind);
        if (!report.isEmpty())
            reports << report;
    }
    if (!reports.isEmpty())
        MessageBoxes::show(this, QMessageBox::Critical, tr("对不起,更改状态失败"),
                           reports.join(CrLf));
}

void FormMain::Menu_Maintenance_Click() {
    QList<qint64> selected;
    for (const int row : m_selection->selectedRows())
        selected << m_rows->text(row, ServerRowModel::ID).toLongLong();
    FormMaintenance plan(selected, this);
    connect(&plan, &FormMaintenance::windowsChanged, this, &FormMain::loadMaintenanceWindows);
    ModalDialogs::exec(plan);
}

void FormMain::loadMaintenanceWindows() {
    m_monitor->setMaintenanceWindows(MaintenanceCatalogue::SelectWindows());
}

void FormMain::openHistory(const ServerRecord& server) {
    ModalDialogs::exec(*m_historyAccess.window(server, this));
}

void FormMain::CmdServer_Click() {
    FormServer editor(this);
    connect(&editor, &ServerEditor::catalogueChanged, this, &FormMain::reloadMonitoredServers);
    ModalDialogs::exec(editor);
}

void FormMain::Menu_EditServer_Click() {
    const std::unique_ptr<FormServerEdit> editor =
        FormServerEdit::forSelection(m_selection->selectedServer(), this);
    if (!editor)
        return;
    connect(editor.get(), &ServerEditor::catalogueChanged, this, &FormMain::reloadMonitoredServers);
    connect(editor.get(), &FormServerEdit::serverDeleted, this,
            [this](qint64 id) { m_historyAccess.forgetServer(id); });
    ModalDialogs::exec(*editor);
}

// The new servers are in the list behind the box that reports them.
void FormMain::Menu_ImportServers_Click() {
    const auto report = CatalogueFileCommands::ImportChosenFile(this);
    if (!report)
        return;
    if (report->added > 0)
        reloadMonitoredServers();
    CatalogueFileCommands::ShowImportReport(this, *report);
}

void FormMain::CmdFind_Click() {
    FormFind search(this);
    connect(&search, &FormFind::searchResultsReady, this,
            [this](const QList<ServerRecord>& servers) {
                ServerListLoader::LoadServerList(*m_rows, servers);
                m_listSelection.reset();
            });
    ModalDialogs::exec(search);
}

void FormMain::Menu_PingTest_Click() {
    const int row = m_selection->selectedRow();
    if (row >= 0)
        m_launcher->startPing(m_rows->text(row, ServerRowModel::IPAddress));
}

void FormMain::Menu_TelnetTest_Click() {
    const int row = m_selection->selectedRow();
    if (row >= 0)
        m_launcher->startTelnet(m_rows->text(row, ServerRowModel::IPAddress),
                                m_rows->text(row, ServerRowModel::Port));
}

void FormMain::Menu_HelpWeb_Click() {
    ModuleHTTP::OpenUrl(ModuleHTTP::HelpUrl().toString());
}

void FormMain::Menu_Check_Click() {
    FormAD::showAnnouncement();
}

void FormMain::Menu_About_Click() {
    frmAbout about(m_services.sysInfoLocator, m_services.processStarter, this);
    ModalDialogs::exec(about);
}

void FormMain::CmdStart_Click() {
    m_monitor->CmdStart_Click();
}

void FormMain::Menu_Start_Click() {
    CmdStart_Click();
}

void FormMain::CmdSetup_Click() {
    if (!m_formSetup)
        return;
    // Reached from the tray menu while the dialog is already open.
    if (m_formSetup->isVisible()) {
        m_formSetup->raise();
        m_formSetup->activateWindow();
        return;
    }
    ModalDialogs::exec(*m_formSetup);
}

void FormMain::Menu_Setup_Click() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    activateWindow();
    CmdSetup_Click();
}

void FormMain::Menu_Channels_Click() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    activateWindow();
    openChannels(this);
}

void FormMain::openChannels(QWidget* parent) {
    // Reached from the tray menu while the dialog is already open.
    if (m_formChannels) {
        m_formChannels->raise();
        m_formChannels->activateWindow();
        return;
    }
    FormChannels channels(m_services.channelSender, parent);
    m_formChannels = &channels;
    connect(&channels, &FormChannels::channelsChanged, this, &FormMain::channelsChanged);
    ModalDialogs::exec(channels);
}

void FormMain::setFailingChannel(const QString& channelName) {
    m_statusPanels->setPanelText(
        6, channelName.isEmpty() ? QString() : tr("通知渠道故障：%1").arg(channelName));
}

// The exit command can come from the tray menu while dialogs are open.
void FormMain::CmdExit_Click() {
    ModalDialogs::closeAll();
    ExitRequested = true;
    close();
}

void FormMain::Menu_Exit_Click() {
    CmdExit_Click();
}

void FormMain::exitOnSignal() {
    if (ExitRequested)
        return;
    m_updatePageOnExit = false;
    CmdExit_Click();
}

void FormMain::Tray_MouseMessage(int number) {
    switch (number) {
    case TrayIcon::DoubleClick:
    case TrayIcon::BalloonClicked:
        m_trayHiding.restoreFromTray();
        break;
    case TrayIcon::RightButtonUp:
        // The tray opens Menu_System itself, as its context menu.
        break;
    default:
        break;
    }
}
