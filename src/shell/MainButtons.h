#pragma once

#include <QtGlobal>

class FormMain;
class QBoxLayout;
class QPushButton;
class QWidget;

// The main window's button row, each button wired to the window's handler of
// its name. The texts are the window's and keep its translation context.
class MainButtons final {
    Q_DISABLE_COPY_MOVE(MainButtons)
public:
    // The buttons are made in parent and lined up in row, which ends with a stretch.
    MainButtons(FormMain& window, QWidget* parent, QBoxLayout* row);

    QPushButton* startButton() const { return CmdStart; }

private:
    QPushButton* CmdLoad = nullptr;
    QPushButton* CmdListErr = nullptr;
    QPushButton* CmdFind = nullptr;
    QPushButton* CmdStart = nullptr;
    QPushButton* CmdSetup = nullptr;
    QPushButton* CmdExit = nullptr;
    QPushButton* CmdServer = nullptr;
};
