#include "shell/MainMenus.h"

#include "catalogue/ServerCatalogue.h"
#include "config/SkinFolder.h"
#include "monitor/ServerSilence.h"
#include "shell/CatalogueFileCommands.h"
#include "shell/FormMain.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <optional>
#include <utility>

namespace {

QMenu* addMenu(QMenuBar* bar, const char* name, const QString& caption) {
    QMenu* menu = bar->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    return menu;
}

QAction* addItem(QMenu* menu, const char* name, const QString& caption) {
    auto* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

void addSeparator(QMenu* menu, const char* name) {
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

} // namespace

MainMenus::MainMenus(FormMain& window)
    : m_window(window) {
    QMenuBar* bar = window.menuBar();
    createSystemMenu(bar);
    createServerMenu(bar);
    createThemeMenu(bar);
    createHelpMenu(bar);

    QAction* tips = bar->addAction(FormMain::authorCredit());
    tips->setObjectName(QStringLiteral("Menu_Tips"));
    tips->setEnabled(false);
}

void MainMenus::addCommand(QMenu* menu, const char* name, const QString& caption,
                           void (FormMain::*handler)()) {
    QObject::connect(addItem(menu, name, caption), &QAction::triggered, &m_window, handler);
}

void MainMenus::createSystemMenu(QMenuBar* bar) {
    Menu_System = addMenu(bar, "Menu_System", FormMain::tr("系统菜单"));
    addCommand(Menu_System, "Menu_Start", FormMain::tr("开始监控(&S)"),
               &FormMain::Menu_Start_Click);
    addCommand(Menu_System, "Menu_Setup", FormMain::tr("系统设置(&E)"),
               &FormMain::Menu_Setup_Click);
    addCommand(Menu_System, "Menu_Channels", FormMain::tr("通知渠道(&C)..."),
               &FormMain::Menu_Channels_Click);
    addSeparator(Menu_System, "Line1");
    addCommand(Menu_System, "Menu_Exit", FormMain::tr("退出系统"), &FormMain::Menu_Exit_Click);
}

void MainMenus::createServerMenu(QMenuBar* bar) {
    FormMain* window = &m_window;
    Menu_Right = addMenu(bar, "Menu_Right", FormMain::tr("服务器选项(&M)"));
    addCommand(Menu_Right, "Menu_InfoServer", FormMain::tr("查看服务器(&I)"),
               &FormMain::Menu_InfoServer_Click);
    addCommand(Menu_Right, "Menu_History", FormMain::tr("历史记录(&H)..."),
               &FormMain::Menu_History_Click);
    QMenu* silence = Menu_Right->addMenu(FormMain::tr("静默(&S)"));
    silence->setObjectName(QStringLiteral("Menu_Silence"));
    silence->menuAction()->setObjectName(QStringLiteral("Menu_Silence"));
    for (const auto& [name, kind] : {std::pair{"Menu_SilenceHour", ServerSilence::Kind::ForHour},
                                     {"Menu_SilenceRecovery", ServerSilence::Kind::UntilRecovery},
                                     {"Menu_SilenceOff", ServerSilence::Kind::Off}})
        QObject::connect(addItem(silence, name, ServerSilence::caption(kind)), &QAction::triggered,
                         window, [window, kind] { window->Menu_Silence_Click(kind); });
    addCommand(Menu_Right, "Menu_Maintenance", FormMain::tr("维护计划(&W)..."),
               &FormMain::Menu_Maintenance_Click);
    addSeparator(Menu_Right, "line2");
    addCommand(Menu_Right, "Menu_AddServer", FormMain::tr("添加服务器(&A)"),
               &FormMain::CmdServer_Click);
    addCommand(Menu_Right, "Menu_EditServer", FormMain::tr("编辑服务器(&E)"),
               &FormMain::Menu_EditServer_Click);
    addSeparator(Menu_Right, "Line3");
    addCommand(Menu_Right, "Menu_Find", FormMain::tr("搜索服务器(&F)"), &FormMain::CmdFind_Click);
    const auto addLoader = [&](const char* name, const QString& caption,
                               ServerCatalogue::Selection selection) {
        QObject::connect(addItem(Menu_Right, name, caption), &QAction::triggered, window,
                         [window, selection] { window->LoadServerList(selection); });
    };
    addLoader("Menu_InUse", FormMain::tr("载入已监控(&I)"), ServerCatalogue::Selection::Enabled);
    addLoader("Menu_NoUse", FormMain::tr("载入未监控(&N)"), ServerCatalogue::Selection::Disabled);
    addLoader("Menu_All", FormMain::tr("载入所有项(&V)"), ServerCatalogue::Selection::All);
    addSeparator(Menu_Right, "Line6");
    addCommand(Menu_Right, "Menu_ImportServers", FormMain::tr("导入服务器列表(&P)..."),
               &FormMain::Menu_ImportServers_Click);
    QObject::connect(
        addItem(Menu_Right, "Menu_ExportServers", FormMain::tr("导出服务器列表(&X)...")),
        &QAction::triggered, window, [window] { CatalogueFileCommands::ExportServers(window); });
    addSeparator(Menu_Right, "Line5");
    addCommand(Menu_Right, "Menu_TelnetTest", FormMain::tr("Telnet命令测试"),
               &FormMain::Menu_TelnetTest_Click);
    addCommand(Menu_Right, "Menu_PingTest", FormMain::tr("Ping 命令测试"),
               &FormMain::Menu_PingTest_Click);
}

void MainMenus::createThemeMenu(QMenuBar* bar) {
    Menu_Theme = addMenu(bar, "Menu_Theme", FormMain::tr("主题(&T)"));
    Menu_ListThemes.append(addItem(Menu_Theme, "Menu_ListThemes", FormMain::tr("主题列表")));
    QObject::connect(Menu_ListThemes.first(), &QAction::triggered, &m_window,
                     [window = &m_window] { window->Menu_ListThemes_Click(0); });
}

void MainMenus::createHelpMenu(QMenuBar* bar) {
    Menu_Help = addMenu(bar, "Menu_Help", FormMain::tr("帮助(&H)"));
    addCommand(Menu_Help, "Menu_HelpWeb", FormMain::tr("系统帮助"), &FormMain::Menu_HelpWeb_Click);
    addCommand(Menu_Help, "Menu_Check", FormMain::tr("检查更新"), &FormMain::Menu_Check_Click);
    addCommand(Menu_Help, "Menu_About", FormMain::tr("关于本软件"), &FormMain::Menu_About_Click);
}

void MainMenus::listThemes() {
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
            QObject::connect(entry, &QAction::triggered, &m_window,
                             [window = &m_window, index] { window->Menu_ListThemes_Click(index); });
            Menu_ListThemes.append(entry);
        }
        QString caption = files->at(i);
        entry->setText(caption.replace(QLatin1Char('&'), QStringLiteral("&&")));
        entry->setData(files->at(i));
    }
}

QString MainMenus::themeName(int index) const {
    if (index < 0 || index >= Menu_ListThemes.size())
        return QString();
    return Menu_ListThemes.at(index)->data().toString();
}
