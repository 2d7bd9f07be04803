#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

class FormMain;
class QAction;
class QMenu;
class QMenuBar;

// The main window's menu bar: the system, server, theme and help menus and
// the author credit, each entry wired to the window's handler of that name.
// The system menu is also the tray's; the server menu also pops up over the
// result list. The texts are the window's and keep its translation context.
class MainMenus final {
    Q_DISABLE_COPY_MOVE(MainMenus)
public:
    explicit MainMenus(FormMain& window);

    QMenu* systemMenu() const { return Menu_System; }
    QMenu* serverMenu() const { return Menu_Right; }

    // Refills the theme menu with one entry per skin file, the first entry
    // reused; one empty entry when no skin folder can be read.
    void listThemes();
    // The skin an entry of the theme menu stands for; empty for the designed
    // entry, the empty entry of an unreadable folder and an index past the end.
    QString themeName(int index) const;

private:
    void createSystemMenu(QMenuBar* bar);
    void createServerMenu(QMenuBar* bar);
    void createThemeMenu(QMenuBar* bar);
    void createHelpMenu(QMenuBar* bar);
    void addCommand(QMenu* menu, const char* name, const QString& caption,
                    void (FormMain::*handler)());

    FormMain& m_window;
    QMenu* Menu_System = nullptr;
    QMenu* Menu_Right = nullptr;
    QMenu* Menu_Theme = nullptr;
    QMenu* Menu_Help = nullptr;
    QList<QAction*> Menu_ListThemes;
};
