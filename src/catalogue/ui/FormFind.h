#pragma once

#include "monitor/ServerRecord.h"

#include <QDialog>
#include <QList>

class QLineEdit;
class QPushButton;

// Searches the whole catalogue for a keyword and hands the matches to the
// main list, then closes.
class FormFind final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormFind)
public:
    explicit FormFind(QWidget* parent = nullptr);
    ~FormFind() override;

signals:
    void searchResultsReady(const QList<ServerRecord>& servers);

private:
    void CmdFind_Click();

    QLineEdit* TextKeyword;
    QPushButton* CmdFind;
};
