#include "shell/FormLoading.h"

#include "config/ModuleINI.h"
#include "config/PageSwitches.h"
#include "config/SkinFolder.h"
#include "platform/SkinEngine.h"
#include "shell/FormAD.h"
#include "shell/FormMain.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

FormLoading::FormLoading(AppServices& services, const QUrl& announcementPage, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
    , m_services(services)
    , m_announcementPage(announcementPage)
    , Timer1(new QTimer(this)) {
    setObjectName(QStringLiteral("FormLoading"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(30, 24, 30, 24);
    auto* loading = new QLabel(tr("程序初始化中..."), this);
    loading->setObjectName(QStringLiteral("Label1"));
    auto* credit = new QLabel(QStringLiteral("Powered By Quillfern"), this);
    credit->setObjectName(QStringLiteral("Label2"));
    layout->addWidget(loading, 0, Qt::AlignCenter);
    layout->addWidget(credit, 0, Qt::AlignCenter);
    adjustSize();
    if (const QScreen* shown = screen())
        move(shown->availableGeometry().center() - rect().center());

    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &FormLoading::Timer1_Timer);
    Timer1->start();
    Form_Load();
}

FormLoading::~FormLoading() = default;

FormMain* FormLoading::mainWindow() const {
    return m_main;
}

void FormLoading::Form_Load() {
    m_main = new FormMain(m_services);
    m_main->Form_Load();
    m_services.skinEngine.attachDefault();
    // Then the skin the operator chose last, when its file is there.
    const QString chosen = SkinFolder::filePath(ModuleINI::IniReadString(
        QStringLiteral("SETUP"), QStringLiteral("SKIN"), QStringLiteral("skinh.she")));
    if (QFileInfo(chosen).isFile())
        m_services.skinEngine.attachFile(chosen);
    if (PageSwitches::announceAtStart())
        FormAD::showAnnouncement(m_announcementPage);
}

void FormLoading::Timer1_Timer() {
    Timer1->stop();
    if (m_main) {
        m_main->show();
        m_main->activateWindow();
        m_main->setFocus();
    }
    QCoreApplication::processEvents();
    close();
}
