#include "shell/MainButtons.h"

#include "catalogue/ServerCatalogue.h"
#include "shell/FormMain.h"

#include <QBoxLayout>
#include <QPushButton>

MainButtons::MainButtons(FormMain& window, QWidget* parent, QBoxLayout* row) {
    const auto addButton = [&](QPushButton*& button, const char* name, const QString& caption) {
        button = new QPushButton(caption, parent);
        button->setObjectName(QString::fromLatin1(name));
        row->addWidget(button);
    };
    addButton(CmdLoad, "CmdLoad", FormMain::tr("监控列表"));
    addButton(CmdListErr, "CmdListErr", FormMain::tr("异常服务器"));
    addButton(CmdFind, "CmdFind", FormMain::tr("搜索服务器"));
    addButton(CmdStart, "CmdStart", FormMain::tr("开始监控"));
    addButton(CmdSetup, "CmdSetup", FormMain::tr("系统设置"));
    addButton(CmdExit, "CmdExit", FormMain::tr("退出系统"));
    addButton(CmdServer, "CmdServer", FormMain::tr("添加服务器"));
    row->addStretch();

    QObject::connect(CmdLoad, &QPushButton::clicked, &window,
                     [&window] { window.LoadServerList(ServerCatalogue::Selection::Enabled); });
    QObject::connect(CmdListErr, &QPushButton::clicked, &window, &FormMain::CmdListErr_Click);
    QObject::connect(CmdExit, &QPushButton::clicked, &window, &FormMain::CmdExit_Click);
    QObject::connect(CmdSetup, &QPushButton::clicked, &window, &FormMain::CmdSetup_Click);
    QObject::connect(CmdStart, &QPushButton::clicked, &window, &FormMain::CmdStart_Click);
    QObject::connect(CmdFind, &QPushButton::clicked, &window, &FormMain::CmdFind_Click);
    QObject::connect(CmdServer, &QPushButton::clicked, &window, &FormMain::CmdServer_Click);
}
