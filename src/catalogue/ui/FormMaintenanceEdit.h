#pragma once

#include "monitor/MaintenanceWindow.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTimeEdit;

// Adds or changes one maintenance window: over the selected servers or all
// of them, once (start and end) or weekly (days, start time, minutes), in a
// named time zone, with a note. Saved to the catalogue on 保存.
class FormMaintenanceEdit final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormMaintenanceEdit)
public:
    // selected: the catalogue IDs of the selected rows, offered for a new
    // window; an existing window (id > 0) keeps its own list.
    FormMaintenanceEdit(const MaintenanceWindow& window, const QList<qint64>& selected,
                        QWidget* parent = nullptr);

    // The window as the fields stand, times in the chosen zone.
    MaintenanceWindow window() const;
    // Why the fields make no window; empty when they do.
    QString problem() const;

    QRadioButton* OptAll;
    QRadioButton* OptSelected;
    QComboBox* ComboKind;
    QDateTimeEdit* TextStart;
    QDateTimeEdit* TextEnd;
    QList<QCheckBox*> CheckDays; // Monday first
    QTimeEdit* TextStartTime;
    QSpinBox* SpinMinutes;
    QComboBox* ComboTimeZone;
    QLineEdit* TextNote;
    QPushButton* CmdSave;
    QPushButton* CmdCancel;

private:
    void CmdSave_Click();
    QTimeZone chosenZone() const;

    MaintenanceWindow m_window;
    QList<qint64> m_selected;
    QStackedWidget* m_kindFields;
};
