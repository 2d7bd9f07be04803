#include "catalogue/ui/FormMaintenanceEdit.h"

#include "app/AppVersion.h"
#include "catalogue/MaintenanceCatalogue.h"
#include "platform/gui/MessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

const char* const kDayNames[] = {
    QT_TRANSLATE_NOOP("FormMaintenanceEdit", "一"), QT_TRANSLATE_NOOP("FormMaintenanceEdit", "二"),
    QT_TRANSLATE_NOOP("FormMaintenanceEdit", "三"), QT_TRANSLATE_NOOP("FormMaintenanceEdit", "四"),
    QT_TRANSLATE_NOOP("FormMaintenanceEdit", "五"), QT_TRANSLATE_NOOP("FormMaintenanceEdit", "六"),
    QT_TRANSLATE_NOOP("FormMaintenanceEdit", "日"),
};

} // namespace

FormMaintenanceEdit::FormMaintenanceEdit(const MaintenanceWindow& window,
                                         const QList<qint64>& selected, QWidget* parent)
    : QDialog(parent)
    , OptAll(named(new QRadioButton(tr("全部服务器")), "OptAll"))
    , OptSelected(named(new QRadioButton, "OptSelected"))
    , ComboKind(named(new QComboBox, "ComboKind"))
    , TextStart(named(new QDateTimeEdit, "TextStart"))
    , TextEnd(named(new QDateTimeEdit, "TextEnd"))
    , TextStartTime(named(new QTimeEdit, "TextStartTime"))
    , SpinMinutes(named(new QSpinBox, "SpinMinutes"))
    , ComboTimeZone(named(new QComboBox, "ComboTimeZone"))
    , TextNote(named(new QLineEdit, "TextNote"))
    , CmdSave(named(new QPushButton(tr("保存")), "CmdSave"))
    , CmdCancel(named(new QPushButton(tr("取消")), "CmdCancel"))
    , m_window(window)
    , m_selected(window.id > 0 ? window.servers : selected)
    , m_kindFields(new QStackedWidget) {
    setWindowTitle(window.id > 0 ? tr("编辑维护计划") : tr("添加维护计划"));
    setModal(true);

    OptSelected->setText(tr("选中的服务器(%1台)").arg(m_selected.size()));
    OptSelected->setEnabled(!m_selected.isEmpty());
    if ((window.id > 0 && window.servers.isEmpty()) || m_selected.isEmpty())
        OptAll->setChecked(true);
    else
        OptSelected->setChecked(true);

    ComboKind->addItem(tr("一次"), int(MaintenanceWindow::Kind::Once));
    ComboKind->addItem(tr("每周"), int(MaintenanceWindow::Kind::Weekly));

    for (const QByteArray& id : QTimeZone::availableTimeZoneIds())
        ComboTimeZone->addItem(QString::fromLatin1(id));
    const QByteArray zone =
        window.timeZone.isEmpty() ? QTimeZone::systemTimeZoneId() : window.timeZone;
    const int zoneIndex = ComboTimeZone->findText(QString::fromLatin1(zone));
    ComboTimeZone->setCurrentIndex(zoneIndex >= 0 ? zoneIndex : ComboTimeZone->findText("UTC"));

    const QString dateTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm");
    TextStart->setDisplayFormat(dateTimeFormat);
    TextEnd->setDisplayFormat(dateTimeFormat);
    auto* once = new QWidget;
    auto* onceFields = new QFormLayout(once);
    onceFields->addRow(tr("开始时间:"), TextStart);
    onceFields->addRow(tr("结束时间:"), TextEnd);

    auto* weekly = new QWidget;
    auto* weeklyFields = new QFormLayout(weekly);
    auto* days = new QHBoxLayout;
    for (int day = 0; day < 7; ++day) {
        auto* check = new QCheckBox(tr(kDayNames[day]));
        check->setObjectName(QStringLiteral("CheckDay%1").arg(day + 1));
        check->setChecked(window.days & (1 << day));
        CheckDays.append(check);
        days->addWidget(check);
    }
    weeklyFields->addRow(tr("星期:"), days);
    TextStartTime->setDisplayFormat(QStringLiteral("HH:mm"));
    TextStartTime->setTime(window.startTime);
    weeklyFields->addRow(tr("开始时间:"), TextStartTime);
    SpinMinutes->setRange(1, MaintenanceWindow::MaxMinutes);
    SpinMinutes->setValue(window.minutes > 0 ? window.minutes : 60);
    weeklyFields->addRow(tr("持续(分钟):"), SpinMinutes);
    m_kindFields->addWidget(once);
    m_kindFields->addWidget(weekly);

    // Once-window times show in the chosen zone.
    const QTimeZone shownZone = chosenZone();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const bool storedOnce = window.kind == MaintenanceWindow::Kind::Once && window.id > 0;
    const auto shown = [&shownZone](qint64 utcMs) {
        const QDateTime there = QDateTime::fromMSecsSinceEpoch(utcMs, shownZone);
        return QDateTime(there.date(), there.time());
    };
    TextStart->setDateTime(shown(storedOnce ? window.startUtcMs : now));
    TextEnd->setDateTime(shown(storedOnce ? window.endUtcMs : now + 3600 * 1000));
    TextNote->setText(window.note);
    ComboKind->setCurrentIndex(ComboKind->findData(int(window.kind)));
    m_kindFields->setCurrentIndex(ComboKind->currentIndex());
    connect(ComboKind, &QComboBox::currentIndexChanged, m_kindFields,
            &QStackedWidget::setCurrentIndex);

    auto* servers = new QHBoxLayout;
    servers->addWidget(OptSelected);
    servers->addWidget(OptAll);
    auto* fields = new QFormLayout;
    fields->addRow(tr("服务器:"), servers);
    fields->addRow(tr("类型:"), ComboKind);
    fields->addRow(m_kindFields);
    fields->addRow(tr("时区:"), ComboTimeZone);
    fields->addRow(tr("备注:"), TextNote);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CmdSave);
    buttons->addWidget(CmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    CmdSave->setDefault(true);

    connect(CmdSave, &QPushButton::clicked, this, &FormMaintenanceEdit::CmdSave_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QTimeZone FormMaintenanceEdit::chosenZone() const {
    const QTimeZone zone(ComboTimeZone->currentText().toLatin1());
    return zone.isValid() ? zone : QTimeZone::systemTimeZone();
}

MaintenanceWindow FormMaintenanceEdit::window() const {
    MaintenanceWindow window = m_window;
    window.servers = OptAll->isChecked() ? QList<qint64>() : m_selected;
    window.kind = MaintenanceWindow::Kind(ComboKind->currentData().toInt());
    window.timeZone = ComboTimeZone->currentText().toLatin1();
    window.note = TextNote->text();
    const QTimeZone zone = chosenZone();
    if (window.kind == MaintenanceWindow::Kind::Once) {
        window.startUtcMs =
            QDateTime(TextStart->date(), TextStart->time(), zone).toMSecsSinceEpoch();
        window.endUtcMs = QDateTime(TextEnd->date(), TextEnd->time(), zone).toMSecsSinceEpoch();
        window.days = 0;
        window.minutes = 0;
    } else {
        window.startUtcMs = window.endUtcMs = 0;
        window.days = 0;
        for (int day = 0; day < CheckDays.size(); ++day)
            window.days |= CheckDays.at(day)->isChecked() ? 1 << day : 0;
        window.startTime = TextStartTime->time();
        window.minutes = SpinMinutes->value();
    }
    return window;
}

QString FormMaintenanceEdit::problem() const {
    const MaintenanceWindow w = window();
    if (w.kind == MaintenanceWindow::Kind::Once && w.endUtcMs <= w.startUtcMs)
        return tr("结束时间必须晚于开始时间！");
    if (w.kind == MaintenanceWindow::Kind::Weekly && w.days == 0)
        return tr("请至少选择一天！");
    return {};
}

void FormMaintenanceEdit::CmdSave_Click() {
    if (const QString refusal = problem(); !refusal.isEmpty()) {
        MessageBoxes::show(this, QMessageBox::NoIcon, AppVersion::title(), refusal);
        return;
    }
    const MaintenanceWindow w = window();
    const QString report =
        w.id > 0 ? MaintenanceCatalogue::ChangeWindow(w) : MaintenanceCatalogue::AddWindow(w);
    if (!report.isEmpty()) {
        MessageBoxes::show(this, QMessageBox::Critical, tr("对不起,保存失败"), report);
        return;
    }
    accept();
}
