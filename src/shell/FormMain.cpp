#include "shell/FormMain.h"

#include "app/AppVersion.h"
#include "catalogue/ModuleDB.h"
#include "catalogue/ServerListLoader.h"
#include "catalogue/ui/FormFind.h"
#include "catalogue/ui/FormInfo.h"
#include "catalogue/ui/FormServer.h"
#include "catalogue/ui/FormServerEdit.h"
#include "config/ModuleINI.h"
#include "config/SettingsStore.h"
#include "config/SkinFolder.h"
#include "config/Twips.h"
#include "config/ui/FormSetup.h"
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"
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
#include "platform/AppPaths.h"
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
#include "shell/ModuleHTTP.h"
#include "shell/ResultListInteraction.h"
#include "shell/frmAbout.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <utility>

namespace {
const QString CrLf = QStringLiteral("\r\n");
QString authorCredit() {
    return FormMain::tr("作者:Quillfern");
}
} // namespace

FormMain::FormMain(AppServices& services, QWidget* parent)
    : QMainWindow(parent)
    , m_services(services)
    , m_rows(new PaintedServerRowModel(this))
    , m_sortedRows(new TextSortProxyModel(this))
    , m_alerts(new AlertNotifier(services.sound, m_settings, AppIcons::Picture1(),
                                 &services.notifications, this))
    , m_monitor(new ServerMonitor(*m_rows, *m_sortedRows, m_settings, services.clock, services.echo,
                                  *m_alerts, this))
    , m_silence(
          new ServerSilence(*m_rows, services.clock, &ServerCatalogue::SetServerSilence, this))
    , m_launcher(std::make_unique<ConsoleLauncher>(services.processStarter)) {
    Twips::setDpiSource(&ScreenDpi::logical);
    ModuleHTTP::setUrlOpener(&m_services.urlOpener);
    ModuleTrayIcon::setTrayIcon(&m_services.tray);
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(designedCaption());
    m_sortedRows->setSourceModel(m_rows);
    createControls();
    createMenus();
    createStatusBar();
    m_services.tray.setContextMenu(Menu_System);
    resize(800, 600);
    connect(&m_services.tray, &TrayIcon::mouseMessage, this, &FormMain::Tray_MouseMessage);
    connect(m_monitor, &ServerMonitor::statusPanelChanged, this, &FormMain::setPanelText);
    connect(m_monitor, &ServerMonitor::windowTitleChanged, this, &QWidget::setWindowTitle);
    connect(m_monitor, &ServerMonitor::tipChanged, this,
            [](const QString& tip) { ModuleTrayIcon::TraySetTip(tip); });
    connect(m_monitor, &ServerMonitor::startCaptionChanged, this, [this](const QString& caption) {
        CmdStart->setText(caption);
        findChild<QAction*>(QStringLiteral("Menu_Start"))->setText(caption);
    });
    connect(m_listInteraction, &ResultListInteraction::sorted, m_monitor, &ServerMonitor::SetColor);
    // A click on a desktop notice stands for a click on the balloon it replaces.
    connect(&m_services.notifications, &DesktopNotifications::clicked, this,
            [this] { Tray_MouseMessage(TrayIcon::BalloonClicked); });
    m_monitor->setSilence(m_silence);
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

void FormMain::setStepObserver(GuardedSequence::Observer observer) {
    m_stepObserver = std::move(observer);
}

void FormMain::createControls() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 0);

    auto* buttons = new QHBoxLayout;
    const auto addButton = [&](QPushButton*& button, const char* name, const QString& caption) {
        button = new QPushButton(caption, central);
        button->setObjectName(QString::fromLatin1(name));
        buttons->addWidget(button);
    };
    addButton(CmdLoad, "CmdLoad", tr("监控列表"));
    addButton(CmdListErr, "CmdListErr", tr("异常服务器"));
    addButton(CmdFind, "CmdFind", tr("搜索服务器"));
    addButton(CmdStart, "CmdStart", tr("开始监控"));
    addButton(CmdSetup, "CmdSetup", tr("系统设置"));
    addButton(CmdExit, "CmdExit", tr("退出系统"));
    addButton(CmdServer, "CmdServer", tr("添加服务器"));
    buttons->addStretch();
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
    setCentralWidget(central);

    connect(CmdLoad, &QPushButton::clicked, this,
            [this] { LoadServerList(ServerCatalogue::Selection::Enabled); });
    connect(CmdListErr, &QPushButton::clicked, this, &FormMain::CmdListErr_Click);
    connect(CmdExit, &QPushButton::clicked, this, &FormMain::CmdExit_Click);
    connect(m_rows, &ServerRowModel::checkToggled, this, &FormMain::LstResult_ItemCheck);
    connect(CmdSetup, &QPushButton::clicked, this, &FormMain::CmdSetup_Click);
    connect(CmdStart, &QPushButton::clicked, this, &FormMain::CmdStart_Click);
    connect(CmdFind, &QPushButton::clicked, this, &FormMain::CmdFind_Click);
    connect(CmdServer, &QPushButton::clicked, this, &FormMain::CmdServer_Click);
    connect(LstResult, &QAbstractItemView::doubleClicked, this, &FormMain::LstResult_DblClick);
}

QAction* FormMain::addItem(QMenu* menu, const char* name, const QString& caption) {
    auto* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

void FormMain::addSeparator(QMenu* menu, const char* name) {
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

void FormMain::createMenus() {
    QMenuBar* bar = menuBar();
    const auto addMenu = [&](QMenu*& menu, const char* name, const QString& caption) {
        menu = bar->addMenu(caption);
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setObjectName(QString::fromLatin1(name));
    };

    addMenu(Menu_System, "Menu_System", tr("系统菜单"));
    connect(addItem(Menu_System, "Menu_Start", tr("开始监控(&S)")), &QAction::triggered, this,
            &FormMain::Menu_Start_Click);
    connect(addItem(Menu_System, "Menu_Setup", tr("系统设置(&E)")), &QAction::triggered, this,
            &FormMain::Menu_Setup_Click);
    addSeparator(Menu_System, "Line1");
    connect(addItem(Menu_System, "Menu_Exit", tr("退出系统")), &QAction::triggered, this,
            &FormMain::Menu_Exit_Click);

    addMenu(Menu_Right, "Menu_Right", tr("服务器选项(&M)"));
    connect(addItem(Menu_Right, "Menu_InfoServer", tr("查看服务器(&I)")), &QAction::triggered, this,
            &FormMain::Menu_InfoServer_Click);
    connect(addItem(Menu_Right, "Menu_History", tr("历史记录(&H)...")), &QAction::triggered, this,
            &FormMain::Menu_History_Click);
    QMenu* silence = Menu_Right->addMenu(tr("静默(&S)"));
    silence->setObjectName(QStringLiteral("Menu_Silence"));
    silence->menuAction()->setObjectName(QStringLiteral("Menu_Silence"));
    for (const auto& [name, kind] : {std::pair{"Menu_SilenceHour", ServerSilence::Kind::ForHour},
                                     {"Menu_SilenceRecovery", ServerSilence::Kind::UntilRecovery},
                                     {"Menu_SilenceOff", ServerSilence::Kind::Off}})
        connect(addItem(silence, name, ServerSilence::caption(kind)), &QAction::triggered, this,
                [this, kind] { Menu_Silence_Click(kind); });
    addSeparator(Menu_Right, "line2");
    connect(addItem(Menu_Right, "Menu_AddServer", tr("添加服务器(&A)")), &QAction::triggered, this,
            &FormMain::CmdServer_Click);
    connect(addItem(Menu_Right, "Menu_EditServer", tr("编辑服务器(&E)")), &QAction::triggered, this,
            &FormMain::Menu_EditServer_Click);
    addSeparator(Menu_Right, "Line3");
    connect(addItem(Menu_Right, "Menu_Find", tr("搜索服务器(&F)")), &QAction::triggered, this,
            &FormMain::CmdFind_Click);
    const auto addLoader = [this](const char* name, const QString& caption,
                                  ServerCatalogue::Selection selection) {
        connect(addItem(Menu_Right, name, caption), &QAction::triggered, this,
                [this, selection] { LoadServerList(selection); });
    };
    addLoader("Menu_InUse", tr("载入已监控(&I)"), ServerCatalogue::Selection::Enabled);
    addLoader("Menu_NoUse", tr("载入未监控(&N)"), ServerCatalogue::Selection::Disabled);
    addLoader("Menu_All", tr("载入所有项(&V)"), ServerCatalogue::Selection::All);
    addSeparator(Menu_Right, "Line6");
    connect(addItem(Menu_Right, "Menu_ImportServers", tr("导入服务器列表(&P)...")),
            &QAction::triggered, this, &FormMain::Menu_ImportServers_Click);
    connect(addItem(Menu_Right, "Menu_ExportServers", tr("导出服务器列表(&X)...")),
            &QAction::triggered, this, [this] { CatalogueFileCommands::ExportServers(this); });
    addSeparator(Menu_Right, "Line5");
    connect(addItem(Menu_Right, "Menu_TelnetTest", tr("Telnet命令测试")), &QAction::triggered, this,
            &FormMain::Menu_TelnetTest_Click);
    connect(addItem(Menu_Right, "Menu_PingTest", tr("Ping 命令测试")), &QAction::triggered, this,
            &FormMain::Menu_PingTest_Click);

    addMenu(Menu_Theme, "Menu_Theme", tr("主题(&T)"));
    Menu_ListThemes.append(addItem(Menu_Theme, "Menu_ListThemes", tr("主题列表")));
    connect(Menu_ListThemes.first(), &QAction::triggered, this,
            [this] { Menu_ListThemes_Click(0); });

    addMenu(Menu_Help, "Menu_Help", tr("帮助(&H)"));
    connect(addItem(Menu_Help, "Menu_HelpWeb", tr("系统帮助")), &QAction::triggered, this,
            &FormMain::Menu_HelpWeb_Click);
    connect(addItem(Menu_Help, "Menu_Check", tr("检查更新")), &QAction::triggered, this,
            &FormMain::Menu_Check_Click);
    connect(addItem(Menu_Help, "Menu_About", tr("关于本软件")), &QAction::triggered, this,
            &FormMain::Menu_About_Click);

    QAction* tips = bar->addAction(authorCredit());
    tips->setObjectName(QStringLiteral("Menu_Tips"));
    tips->setEnabled(false);

    connect(m_listInteraction, &ResultListInteraction::contextMenuRequested, this,
            [this](const QPoint& position) { Menu_Right->popup(position); });
}

void FormMain::createStatusBar() {
    QStatusBar* SB = statusBar();
    SB->setObjectName(QStringLiteral("SB"));
    const std::array<QString, 5> initial = {tr("数据库:"), tr("回应数:"), tr("任务等待开始"),
                                            tr("SOCKET异常:0"), tr("Ping异常:0")};
    for (int i = 0; i < 5; ++i) {
        auto* panel = new QLabel(initial.at(static_cast<size_t>(i)), SB);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setFrameShape(QFrame::StyledPanel);
        SB->addPermanentWidget(panel, i == 2 ? 2 : 1);
        m_panels.at(static_cast<size_t>(i)) = panel;
    }
}

void FormMain::setPanelText(int panel, const QString& text) {
    m_panels.at(static_cast<size_t>(panel - 1))->setText(text);
}

void FormMain::applyLayout(const MainWindowLayout& layout) {
    m_loadedLayout = layout;
    resize(Twips::toPixelsX(layout.width), Twips::toPixelsY(layout.height));
    for (int column = 0; column < layout.columnWidths.size(); ++column)
        LstResult->header()->resizeSection(column,
                                           Twips::toPixelsX(layout.columnWidths.at(column)));
}

namespace {
// Twips for a pixel size; a size nobody changed keeps its stored twips, so
// start and exit do not drift it by rounding.
qint32 keptTwips(int pixels, qint32 loadedTwips, int (*toPixels)(qint32),
                 qint32 (*fromPixels)(int)) {
    return pixels == toPixels(loadedTwips) ? loadedTwips : fromPixels(pixels);
}
} // namespace

MainWindowLayout FormMain::currentLayout() const {
    MainWindowLayout layout;
    layout.height =
        keptTwips(height(), m_loadedLayout.height, Twips::toPixelsY, Twips::fromPixelsY);
    layout.width = keptTwips(width(), m_loadedLayout.width, Twips::toPixelsX, Twips::fromPixelsX);
    for (int column = 0; column < MainWindowLayout::ColumnCount; ++column) {
        const qint32 loaded = column < m_loadedLayout.columnWidths.size()
                                  ? m_loadedLayout.columnWidths.at(column)
                                  : Twips::fromPixelsX(LstResult->header()->sectionSize(column));
        layout.columnWidths.append(keptTwips(LstResult->header()->sectionSize(column), loaded,
                                             Twips::toPixelsX, Twips::fromPixelsX));
    }
    return layout;
}

void FormMain::Form_Load() {
    GuardedSequence startUp;
    startUp.add(QStringLiteral("SocketStateNames"), [] { SocketStateNames(); })
        .add(QStringLiteral("IniBaseName"),
             [] { ModuleINI::setIniBaseName(QStringLiteral("RodOdazuConfig")); })
        .add(QStringLiteral("DbPath"), [] { ModuleDB::setDbPath(ModuleDB::DefaultDbPath()); })
        .add(QStringLiteral("loadINI"), [this] { applyLayout(SettingsStore::loadINI(m_settings)); })
        .add(QStringLiteral("DbOpen"),
             [this] {
                 ModuleDB::DbOpen();
                 setPanelText(1, ModuleDB::DbStateText());
                 if (const QString refused = ModuleDB::DbOpenError(); !refused.isEmpty())
                     MessageBoxes::show(this, QMessageBox::Critical, tr("数据库：连接失败"),
                                        refused);
             })
        .add(QStringLiteral("History"), [this] { startHistory(); })
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
        .add(QStringLiteral("FirstCloseHint"), [this] { FirstCloseHint = true; })
        .add(QStringLiteral("ReplyCount"), [this] { m_monitor->resetReplyCount(); })
        .add(QStringLiteral("SkinList"), [this] { SkinList(); });
    startUp.run(m_stepObserver);
}

// The history file lives beside the catalogue.
QString FormMain::historyPath() {
    return AppPaths::current().historyFile();
}

// The history is opened whatever the
// setting: the recorder keeps results only while HISTORY is on.
void FormMain::startHistory() {
    if (m_history)
        return;
    m_history = new HistoryRecorder(historyPath(), m_settings, m_services.clock, this);
    connect(m_history, &HistoryRecorder::warning, this,
            [this](const QString& message) { statusBar()->showMessage(message); });
    m_monitor->addRecorder(m_history);
}

void FormMain::LoadServerList(ServerCatalogue::Selection selection) {
    ServerListLoader::LoadServerList(*m_rows, selection);
}

void FormMain::CmdListErr_Click() {
    ServerListLoader::KeepFailingRows(*m_rows);
    m_monitor->SetColor();
}

void FormMain::LstResult_ItemCheck(quint64 key, bool checked) {
    const QString report = ServerListLoader::LstResult_ItemCheck(*m_rows, key, checked);
    if (!report.isEmpty())
        MessageBoxes::show(this, QMessageBox::Critical, tr("对不起,更改状态失败"), report);
}

void FormMain::SkinList() {
    while (Menu_ListThemes.size() > 1)
        delete Menu_ListThemes.takeLast();
    QAction* first = Menu_ListThemes.first();
    const std::optional<QStringList> files = SkinFolder::SkinFiles();
    if (!files) {
        first->setText(QString());
        first->setData(QString());
        return;
    }
    for (qsizetype i = 0; i < files->size(); ++i) {
        QAction* entry = first;
        if (i > 0) {
            const int index = static_cast<int>(i);
            entry = addItem(Menu_Theme, "Menu_ListThemes", QString());
            connect(entry, &QAction::triggered, this,
                    [this, index] { Menu_ListThemes_Click(index); });
            Menu_ListThemes.append(entry);
        }
        QString caption = files->at(i);
        entry->setText(caption.replace(QLatin1Char('&'), QStringLiteral("&&")));
        entry->setData(files->at(i));
    }
}

void FormMain::Menu_ListThemes_Click(int Index) {
    if (Index < 0 || Index >= Menu_ListThemes.size())
        return;
    // Only entries made from a skin file carry a name; the designed entry and
    // the empty one of an unreadable folder do nothing.
    const QString name = Menu_ListThemes.at(Index)->data().toString();
    if (name.isEmpty())
        return;
    m_services.skinEngine.attachFile(SkinFolder::filePath(name));
    ModuleINI::IniWriteString(QStringLiteral("SETUP"), QStringLiteral("SKIN"), name);
}

void FormMain::Form_Activate() {
    m_alerts->stopFlashing();
}

void FormMain::Form_Resize() {
    if (isMinimized() && m_services.tray.isAvailable()) {
        // Hidden once the minimise has finished; showMinimized() makes the
        // window visible again after announcing the new state.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (isMinimized())
                    hide();
            },
            Qt::QueuedConnection);
    }
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
    // Without a notification area the window stays on the task bar, so it
    // can always be reached again.
    showMinimized();
    if (FirstCloseHint && m_services.tray.isAvailable())
        showCloseHint();
}

void FormMain::showCloseHint() {
    m_alerts->ShowMsg(4,
                      tr("我并没有被关闭！而是被最小化到了这里") + CrLf +
                          tr("如果要退出程序，请右键我！然后选择退出"),
                      tr("你注意到没？"));
    FirstCloseHint = false;
    Form_Activate();
}

void FormMain::runExitPath() {
    GuardedSequence exitPath;
    exitPath
        .add(QStringLiteral("OpenUrl"),
             [] { ModuleHTTP::OpenUrl(ModuleHTTP::UpdateCheckUrl().toString()); })
        .add(QStringLiteral("TrayRemove"), [] { ModuleTrayIcon::TrayRemove(); })
        .add(QStringLiteral("SaveINI"),
             [this] {
                 SettingsStore::SaveINI(currentLayout(), windowState() == Qt::WindowNoState,
                                        m_settings);
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

int FormMain::selectedRow() const {
    const QItemSelectionModel* selection = LstResult->selectionModel();
    QModelIndex current = LstResult->currentIndex();
    if (!current.isValid() || !selection->isRowSelected(current.row(), current.parent())) {
        const QModelIndexList rows = selection->selectedRows();
        if (rows.isEmpty())
            return -1;
        current = rows.first();
    }
    return m_sortedRows->mapToSource(current).row();
}

std::optional<ServerRecord> FormMain::selectedServer() const {
    const int row = selectedRow();
    if (row < 0)
        return std::nullopt;
    using Column = ServerRowModel::Column;
    ServerRecord server;
    server.id = m_rows->text(row, Column::ID).toLongLong();
    server.displayName = m_rows->text(row, Column::DisplayName);
    server.ipAddress = m_rows->text(row, Column::IPAddress);
    server.port = m_rows->text(row, Column::Port);
    server.postData = m_rows->text(row, Column::PostData);
    server.replyData = m_rows->text(row, Column::ReplyData);
    server.addTime = m_rows->text(row, Column::AddTime);
    server.inUse = m_rows->isChecked(row);
    server.warnMs = m_rows->warnMs(row);
    return server;
}

void FormMain::reloadMonitoredServers() {
    LoadServerList(ServerCatalogue::Selection::Enabled);
}

void FormMain::LstResult_DblClick() {
    Menu_InfoServer_Click();
}

void FormMain::Menu_InfoServer_Click() {
    if (m_rows->rowCount() == 0)
        return;
    FormInfo details(m_services.echo, this);
    // Without a selected row the window keeps its design texts.
    if (std::optional<ServerRecord> server = selectedServer()) {
        // The details show the last reply once one arrived: the ReplyData tip.
        const QString lastReply = m_rows->toolTip(selectedRow(), ServerRowModel::ReplyData);
        if (!lastReply.isEmpty())
            server->replyData = lastReply;
        details.setServer(*server);
        connect(&details, &FormInfo::historyRequested, this,
                [this, server = *server] { openHistory(server); });
    }
    execDialog(details);
}

void FormMain::Menu_History_Click() {
    if (const std::optional<ServerRecord> server = selectedServer())
        openHistory(*server);
}

void FormMain::Menu_Silence_Click(ServerSilence::Kind kind) {
    QStringList reports;
    for (const QModelIndex& selected : LstResult->selectionModel()->selectedRows()) {
        const int row = m_sortedRows->mapToSource(selected).row();
        const QString report =
            m_silence->apply(m_rows->text(row, ServerRowModel::ID).toLongLong(), kind);
        if (!report.isEmpty())
            reports << report;
    }
    if (!reports.isEmpty())
        MessageBoxes::show(this, QMessageBox::Critical, tr("对不起,更改状态失败"),
                           reports.join(CrLf));
}

void FormMain::openHistory(const ServerRecord& server) {
    if (m_history)
        m_history->flush(); // the latest results show too
    FormHistory history(historyPath(), server.id, server.displayName, m_settings.History != 0,
                        m_services.clock, this);
    execDialog(history);
}

void FormMain::CmdServer_Click() {
    FormServer editor(this);
    connect(&editor, &ServerEditor::catalogueChanged, this, &FormMain::reloadMonitoredServers);
    execDialog(editor);
}

void FormMain::Menu_EditServer_Click() {
    const std::unique_ptr<FormServerEdit> editor =
        FormServerEdit::forSelection(selectedServer(), this);
    if (!editor)
        return;
    connect(editor.get(), &ServerEditor::catalogueChanged, this, &FormMain::reloadMonitoredServers);
    connect(editor.get(), &FormServerEdit::serverDeleted, this, [this](qint64 id) {
        if (m_history)
            m_history->forgetServer(id);
    });
    execDialog(*editor);
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
            });
    execDialog(search);
}

void FormMain::Menu_PingTest_Click() {
    const int row = selectedRow();
    if (row >= 0)
        m_launcher->startPing(m_rows->text(row, ServerRowModel::IPAddress));
}

void FormMain::Menu_TelnetTest_Click() {
    const int row = selectedRow();
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
    execDialog(about);
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
    execDialog(*m_formSetup);
}

void FormMain::Menu_Setup_Click() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    activateWindow();
    CmdSetup_Click();
}

void FormMain::CmdExit_Click() {
    closeOpenDialogs();
    ExitRequested = true;
    close();
}

// Modal to the main window only, so the tray icon, a window of its own,
// keeps taking clicks while the dialog is open.
int FormMain::execDialog(QDialog& dialog) {
    dialog.setWindowModality(Qt::WindowModal);
    return dialog.exec();
}

// The exit command can come from the tray menu while dialogs are open: each
// closes as its close box would, without saving, the top one first.
void FormMain::closeOpenDialogs() {
    const QWidget* refused = nullptr;
    while (QWidget* dialog = QApplication::activeModalWidget()) {
        if (dialog == refused)
            break;
        if (!dialog->close())
            refused = dialog;
    }
}

void FormMain::Menu_Exit_Click() {
    CmdExit_Click();
}

void FormMain::restoreFromTray() {
    Form_Activate();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void FormMain::Tray_MouseMessage(int number) {
    switch (number) {
    case TrayIcon::DoubleClick:
    case TrayIcon::BalloonClicked:
        restoreFromTray();
        break;
    case TrayIcon::RightButtonUp:
        // The tray opens Menu_System itself, as its context menu.
        break;
    default:
        break;
    }
}
