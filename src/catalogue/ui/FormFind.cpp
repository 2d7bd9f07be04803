#include "catalogue/ui/FormFind.h"

#include "catalogue/ServerCatalogue.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

FormFind::FormFind(QWidget* parent)
    : QDialog(parent)
    , TextKeyword(new QLineEdit)
    , CmdFind(new QPushButton(tr("搜索"))) {
    setWindowTitle(tr("搜索服务器"));
    setModal(true);
    auto* label = new QLabel(tr("关键字:"));
    label->setObjectName(QStringLiteral("Label1"));
    label->setBuddy(TextKeyword);
    TextKeyword->setObjectName(QStringLiteral("TextKeyword"));
    CmdFind->setObjectName(QStringLiteral("CmdFind"));
    // Enter in the keyword box runs the search itself, so the button must not
    // also take it as the dialog's default.
    CmdFind->setAutoDefault(false);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(TextKeyword, 1);
    layout->addWidget(CmdFind);
    resize(360, sizeHint().height());

    connect(CmdFind, &QPushButton::clicked, this, &FormFind::CmdFind_Click);
    connect(TextKeyword, &QLineEdit::returnPressed, this, &FormFind::CmdFind_Click);
}

FormFind::~FormFind() = default;

void FormFind::CmdFind_Click() {
    emit searchResultsReady(ServerCatalogue::SearchServers(TextKeyword->text()));
    accept();
}
