#include "shell/MainStatusBar.h"

#include "shell/FormMain.h"

#include <QLabel>
#include <QStatusBar>
#include <QTextDocument>

MainStatusBar::MainStatusBar(QMainWindow& window) {
    QStatusBar* SB = window.statusBar();
    SB->setObjectName(QStringLiteral("SB"));
    const std::array<QString, 6> initial = {
        FormMain::tr("数据库:"),      FormMain::tr("回应数:"),    FormMain::tr("任务等待开始"),
        FormMain::tr("SOCKET异常:0"), FormMain::tr("Ping异常:0"), QString()};
    for (int i = 0; i < 6; ++i) {
        auto* panel = new QLabel(initial.at(static_cast<size_t>(i)), SB);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setFrameShape(QFrame::StyledPanel);
        SB->addPermanentWidget(panel, i == 2 ? 2 : 1);
        m_panels.at(static_cast<size_t>(i)) = panel;
    }
    m_panels.back()->hide();
}

void MainStatusBar::setPanelToolTip(int panel, const QString& toolTip) {
    // The text may come from the database's own words: never read as markup.
    m_panels.at(static_cast<size_t>(panel - 1))
        ->setToolTip(toolTip.isEmpty() ? QString() : Qt::convertFromPlainText(toolTip));
}

void MainStatusBar::setPanelText(int panel, const QString& text) {
    QLabel* label = m_panels.at(static_cast<size_t>(panel - 1));
    label->setText(text);
    if (label == m_panels.back())
        label->setVisible(!text.isEmpty());
}
