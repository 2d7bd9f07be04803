#include "history/ui/FormHistory.h"

#include "platform/Clock.h"
#include "platform/WholeFile.h"
#include "platform/gui/MessageBoxes.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <QValueAxis>

namespace {

template <typename Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QString axisFormat(HistoryQuery::Range range) {
    switch (range) {
    case HistoryQuery::Range::Hour:
    case HistoryQuery::Range::Day:
        return QStringLiteral("HH:mm");
    case HistoryQuery::Range::Week:
        return QStringLiteral("MM-dd HH:mm");
    case HistoryQuery::Range::Month:
    case HistoryQuery::Range::Year:
        break;
    }
    return QStringLiteral("yyyy-MM-dd");
}

QString localTimeText(qint64 utcMs) {
    return QDateTime::fromMSecsSinceEpoch(utcMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace

FormHistory::FormHistory(const QString& historyPath, qint64 serverId, const QString& serverName,
                         bool recording, const Clock& clock, QWidget* parent)
    : QDialog(parent)
    , m_clock(clock)
    , m_serverId(serverId)
    , m_query(std::make_unique<HistoryQuery>(historyPath))
    , m_chart(new QChart)
    , m_timeAxis(new QDateTimeAxis)
    , m_msAxis(new QValueAxis)
    , m_replySeries(new QLineSeries)
    , m_echoSeries(new QLineSeries)
    , m_faultSeries(new QScatterSeries)
    , m_lostSeries(new QScatterSeries)
    , m_points(new QStandardItemModel(this)) {
    setObjectName(QStringLiteral("FormHistory"));
    setWindowTitle(tr("历史记录 - ") + serverName);
    resize(900, 520);

    ComboRange = named(new QComboBox, "ComboRange");
    for (const HistoryQuery::Range range : HistoryQuery::Ranges)
        ComboRange->addItem(HistoryQuery::rangeName(range), int(range));
    auto* rangeLabel = new QLabel(tr("时间范围:"));
    rangeLabel->setBuddy(ComboRange);
    CmdExport = named(new QPushButton(tr("导出CSV(&C)...")), "CmdExport");
    CmdCancel = named(new QPushButton(tr("关闭")), "CmdCancel");
    LabelState = named(new QLabel, "LabelState");
    LabelState->setWordWrap(true);
    QStringList states;
    if (!recording)
        states << tr("历史记录已关闭：在系统配置中勾选“记录历史数据”后开始记录。");
    if (m_query->isBusy())
        states << tr("历史记录文件正被占用，暂时无法读取，请稍后再打开本窗口。");
    else if (!m_query->problem().isEmpty())
        states << tr("无法读取历史记录文件 %1：%2")
                      .arg(QDir::toNativeSeparators(historyPath), m_query->problem());
    LabelState->setVisible(!states.isEmpty());
    LabelState->setText(states.join(QLatin1Char('\n')));
    LabelSummary = named(new QLabel, "LabelSummary");
    LabelSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelSummary->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    LabelSummary->setMinimumWidth(260);
    // Results taken during maintenance count in no availability figure.
    auto* maintenanceNote = new QLabel(tr("不含维护时段"));
    maintenanceNote->setObjectName(QStringLiteral("LabelMaintenance"));

    m_replySeries->setName(tr("应答时间(ms)"));
    m_echoSeries->setName(tr("Ping延时(ms)"));
    m_faultSeries->setName(tr("SOCKET异常"));
    m_lostSeries->setName(tr("Ping丢包"));
    for (QScatterSeries* marks : {m_faultSeries, m_lostSeries}) {
        marks->setMarkerSize(7);
        marks->setBorderColor(Qt::transparent);
    }
    m_faultSeries->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    m_chart->addSeries(m_replySeries);
    m_chart->addSeries(m_echoSeries);
    m_chart->addSeries(m_faultSeries);
    m_chart->addSeries(m_lostSeries);
    m_msAxis->setLabelFormat(QStringLiteral("%d"));
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_msAxis, Qt::AlignLeft);
    for (auto* series : m_chart->series()) {
        series->attachAxis(m_timeAxis);
        series->attachAxis(m_msAxis);
    }
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    ChartHistory = named(new QChartView(m_chart), "ChartHistory");
    ChartHistory->setRenderHint(QPainter::Antialiasing);
    ChartHistory->setAccessibleName(tr("历史曲线"));

    LstPoints = named(new QTableView, "LstPoints");
    LstPoints->setModel(m_points);
    LstPoints->verticalHeader()->hide();
    LstPoints->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LstPoints->setSelectionBehavior(QAbstractItemView::SelectRows);
    LstPoints->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* views = named(new QTabWidget, "TabViews");
    views->addTab(ChartHistory, tr("图表"));
    views->addTab(LstPoints, tr("数据"));

    auto* top = new QHBoxLayout;
    top->addWidget(rangeLabel);
    top->addWidget(ComboRange);
    top->addStretch();
    top->addWidget(CmdExport);
    auto* middle = new QHBoxLayout;
    middle->addWidget(views, 1);
    auto* summary = new QVBoxLayout;
    summary->addWidget(LabelSummary, 1);
    summary->addWidget(maintenanceNote);
    middle->addLayout(summary);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(CmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(LabelState);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);

    connect(ComboRange, &QComboBox::activated, this, [this](int index) {
        showRange(static_cast<HistoryQuery::Range>(ComboRange->itemData(index).toInt()));
    });
    connect(CmdExport, &QPushButton::clicked, this, &FormHistory::CmdExport_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    applyColours();
    showRange(HistoryQuery::Range::Day);
}

FormHistory::~FormHistory() = default;

void FormHistory::showRange(HistoryQuery::Range range) {
    ComboRange->setCurrentIndex(ComboRange->findData(int(range)));
    // One point per pixel of the plot at most.
    const int pixels = qMax(200, ChartHistory->width() - 80);
    m_report = m_query->load(m_serverId, range, m_clock.utcMs(), pixels);
    LabelSummary->setText(HistoryQuery::summaryLines(m_report).join(QLatin1Char('\n')));
    fillChart();
    fillPoints();
}

void FormHistory::fillChart() {
    QList<QPointF> replies, echoes, faults, lost;
    qint32 top = 0;
    for (const HistoryQuery::Point& point : std::as_const(m_report.points)) {
        const auto x = double(point.timeUtcMs);
        if (point.replyMs) {
            replies.append({x, double(*point.replyMs)});
            top = qMax(top, *point.replyMs);
        }
        if (point.echoMs) {
            echoes.append({x, double(*point.echoMs)});
            top = qMax(top, *point.echoMs);
        }
    }
    // Marks stand on the base line, so they show even without any time.
    for (const HistoryQuery::Point& point : std::as_const(m_report.points)) {
        if (point.faults > 0)
            faults.append({double(point.timeUtcMs), 0});
        if (point.lost > 0)
            lost.append({double(point.timeUtcMs), 0});
    }
    m_replySeries->replace(replies);
    m_echoSeries->replace(echoes);
    // A few points, or a single one that makes no line, show as dots too.
    m_replySeries->setPointsVisible(replies.size() < 60);
    m_echoSeries->setPointsVisible(echoes.size() < 60);
    m_faultSeries->replace(faults);
    m_lostSeries->replace(lost);
    m_timeAxis->setFormat(axisFormat(m_report.range));
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(m_report.fromUtcMs),
                         QDateTime::fromMSecsSinceEpoch(m_report.toUtcMs));
    m_msAxis->setRange(0, qMax(10, top + top / 10 + 1));
    m_msAxis->applyNiceNumbers();
}

void FormHistory::fillPoints() {
    m_points->clear();
    m_points->setHorizontalHeaderLabels(
        {tr("时间"), tr("应答时间(ms)"), tr("Ping延时(ms)"), tr("SOCKET异常"), tr("Ping丢包")});
    const auto number = [](const std::optional<qint32>& value) {
        return value ? QString::number(*value) : QString();
    };
    m_points->setRowCount(int(m_report.points.size()));
    for (int row = 0; row < m_report.points.size(); ++row) {
        const HistoryQuery::Point& point = m_report.points.at(row);
        const QStringList cells = {localTimeText(point.timeUtcMs), number(point.replyMs),
                                   number(point.echoMs), QString::number(point.faults),
                                   QString::number(point.lost)};
        for (int column = 0; column < cells.size(); ++column)
            m_points->setItem(row, column, new QStandardItem(cells.at(column)));
    }
}

// Background, texts and grid come from the skin's palette; the series get
// colours that stand out on that background, faults red and lost echoes
// green as in the result list.
void FormHistory::applyColours() {
    const QPalette colours = palette();
    const QColor base = colours.color(QPalette::Base);
    const QColor text = colours.color(QPalette::Text);
    const bool dark = base.lightness() < 128;
    m_chart->setBackgroundBrush(base);
    m_chart->setBackgroundPen(QPen(colours.color(QPalette::Mid)));
    m_chart->legend()->setLabelColor(text);
    for (QAbstractAxis* axis :
         {static_cast<QAbstractAxis*>(m_timeAxis), static_cast<QAbstractAxis*>(m_msAxis)}) {
        axis->setLabelsColor(text);
        axis->setTitleBrush(text);
        axis->setLinePenColor(text);
        QColor grid = text;
        grid.setAlpha(50);
        axis->setGridLineColor(grid);
    }
    m_replySeries->setPen(QPen(dark ? QColor(0x4f, 0xc3, 0xf7) : QColor(0x15, 0x65, 0xc0), 2));
    m_echoSeries->setPen(QPen(dark ? QColor(0xff, 0xb7, 0x4d) : QColor(0xe6, 0x51, 0x00), 2));
    m_faultSeries->setColor(dark ? QColor(0xff, 0x52, 0x52) : QColor(0xd5, 0x00, 0x00));
    m_lostSeries->setColor(dark ? QColor(0x69, 0xf0, 0xae) : QColor(0x00, 0x96, 0x3c));
}

void FormHistory::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        applyColours();
}

bool FormHistory::exportCsv(const QString& path) const {
    return WholeFile::write(path, m_query->csv(m_report).toUtf8());
}

void FormHistory::CmdExport_Click() {
    const QString path =
        QFileDialog::getSaveFileName(this, tr("导出CSV"), QString(), tr("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    if (!exportCsv(path))
        MessageBoxes::show(this, QMessageBox::Critical, tr("对不起,导出失败"),
                           tr("无法写入文件：") + path);
}
