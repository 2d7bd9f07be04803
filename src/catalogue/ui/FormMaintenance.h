#pragma once

#include "monitor/MaintenanceWindow.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;

// The maintenance windows of the catalogue, with add, edit and delete. Each
// change is stored at once and announced by windowsChanged().
class FormMaintenance final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormMaintenance)
public:
    // selected: the catalogue IDs of the selected rows, for a new window.
    explicit FormMaintenance(const QList<qint64>& selected, QWidget* parent = nullptr);

    // One line describing when the window is open.
    static QString whenText(const MaintenanceWindow& window);

    QTreeWidget* LstWindows;
    QPushButton* CmdAdd;
    QPushButton* CmdEdit;
    QPushButton* CmdDel;
    QPushButton* CmdClose;

signals:
    void windowsChanged();

private:
    void fill();
    void edit(const MaintenanceWindow& window);
    void CmdEdit_Click();
    void CmdDel_Click();

    QList<qint64> m_selected;
    QList<MaintenanceWindow> m_windows;
};
