#include "catalogue/ui/FormMaintenance.h"

#include "catalogue/MaintenanceCatalogue.h"
#include "catalogue/ui/FormMaintenanceEdit.h"
#include "platform/gui/MessageBoxes.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QPushButton* button(const QString& caption, const char* name) {
    auto* result = new QPushButton(caption);
    result->setObjectName(QLatin1String(name));
    result->setAutoDefault(false);
    return result;
}

} // namespace

FormMaintenance::FormMaintenance(const QList<qint64>& selected, QWidget* parent)
    : QDialog(parent)
    , LstWindows(new QTreeWidget)
    , CmdAdd(button(tr("添加(&A)"), "CmdAdd"))
    , CmdEdit(button(tr("编辑(&E)"), "CmdEdit"))
    , CmdDel(button(tr("删除(&D)"), "CmdDel"))
    , CmdClose(button(tr("关闭"), "CmdClose"))
    , m_selected(selected) {
    setObjectName(QStringLiteral("FormMaintenance"));
    setWindowTitle(tr("维护计划"));
    setModal(true);
    resize(640, 360);
    LstWindows->setObjectName(QStringLiteral("LstWindows"));
    LstWindows->setRootIsDecorated(false);
    LstWindows->setHeaderLabels({tr("时间"), tr("时区"), tr("服务器"), tr("备注")});
    LstWindows->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {CmdAdd, CmdEdit, CmdDel})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(CmdClose);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(LstWindows, 1);
    layout->addLayout(buttons);

    connect(CmdAdd, &QPushButton::clicked, this, [this] { edit({}); });
    connect(CmdEdit, &QPushButton::clicked, this, &FormMaintenance::CmdEdit_Click);
    connect(LstWindows, &QTreeWidget::itemDoubleClicked, this, &FormMaintenance::CmdEdit_Click);
    connect(CmdDel, &QPushButton::clicked, this, &FormMaintenance::CmdDel_Click);
    connect(CmdClose, &QPushButton::clicked, this, &QDialog::accept);
    fill();
}

QString FormMaintenance::whenText(const MaintenanceWindow& window) {
    const QString format = QStringLiteral("yyyy-MM-dd HH:mm");
    const QTimeZone zone = window.zone();
    if (window.kind == MaintenanceWindow::Kind::Once)
        return tr("一次 %1 至 %2")
            .arg(QDateTime::fromMSecsSinceEpoch(window.startUtcMs, zone).toString(format),
                 QDateTime::fromMSecsSinceEpoch(window.endUtcMs, zone).toString(format));
    QStringList days;
    const QStringList names = {tr("一"), tr("二"), tr("三"), tr("四"),
                               tr("五"), tr("六"), tr("日")};
    for (int day = 0; day < 7; ++day) {
        if (window.days & (1 << day))
            days << names.at(day);
    }
    return tr("每周%1 %2 起 %3 分钟")
        .arg(days.join(QString()), window.startTime.toString(QStringLiteral("HH:mm")))
        .arg(window.minutes);
}

void FormMaintenance::fill() {
    LstWindows->clear();
    m_windows = MaintenanceCatalogue::SelectWindows();
    for (const MaintenanceWindow& window : std::as_const(m_windows)) {
        const QString servers = window.servers.isEmpty()
                                    ? tr("全部")
                                    : MaintenanceCatalogue::serversText(window.servers);
        LstWindows->addTopLevelItem(new QTreeWidgetItem(
            {whenText(window), QString::fromLatin1(window.timeZone), servers, window.note}));
    }
    if (!m_windows.isEmpty())
        LstWindows->setCurrentItem(LstWindows->topLevelItem(0));
}

void FormMaintenance::edit(const MaintenanceWindow& window) {
    FormMaintenanceEdit editor(window, m_selected, this);
    if (editor.exec() != QDialog::Accepted)
        return;
    fill();
    emit windowsChanged();
}

void FormMaintenance::CmdEdit_Click() {
    const int current = LstWindows->indexOfTopLevelItem(LstWindows->currentItem());
    if (current >= 0 && current < m_windows.size())
        edit(m_windows.at(current));
}

void FormMaintenance::CmdDel_Click() {
    const int current = LstWindows->indexOfTopLevelItem(LstWindows->currentItem());
    if (current < 0 || current >= m_windows.size())
        return;
    const QString report = MaintenanceCatalogue::DeleteWindow(m_windows.at(current).id);
    if (!report.isEmpty()) {
        MessageBoxes::show(this, QMessageBox::Critical, tr("对不起,删除失败"), report);
        return;
    }
    fill();
    emit windowsChanged();
}
