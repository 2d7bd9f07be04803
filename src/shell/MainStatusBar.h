#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

class QLabel;
class QMainWindow;

// The main window's status bar SB with its five panels, Panel1 to Panel5,
// the third one twice as wide, and a sixth, Panel6, shown only while it has
// something to say (a notification channel that fails). The texts are the
// window's and keep its translation context.
class MainStatusBar final {
    Q_DISABLE_COPY_MOVE(MainStatusBar)
public:
    explicit MainStatusBar(QMainWindow& window);

    // panel counts from 1, as the monitor numbers the panels.
    void setPanelText(int panel, const QString& text);
    void setPanelToolTip(int panel, const QString& toolTip);

private:
    std::array<QLabel*, 6> m_panels{};
};
