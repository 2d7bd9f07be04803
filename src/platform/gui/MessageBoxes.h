#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>
#include <memory>

class QWidget;

// Every modal message box goes through here. In test mode nothing is shown:
// each box is recorded and answered from a queue (default: the first of
// its buttons), so dialogs can be driven without a person.
namespace MessageBoxes {

struct Shown {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

QMessageBox::StandardButton show(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                 const QString& text,
                                 QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// The box show() runs outside test mode, not yet shown. Its text is plain
// text whatever it holds: boxes show names and reports from outside.
std::unique_ptr<QMessageBox> makeBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                     const QString& text, QMessageBox::StandardButtons buttons);

void setTestMode(bool enabled);
void queueAnswer(QMessageBox::StandardButton answer);
QList<Shown> takeShown();

} // namespace MessageBoxes
