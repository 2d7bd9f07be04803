#pragma once

#include "history/HistoryQuery.h"

#include <QDialog>

#include <memory>

class Clock;
class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLabel;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QStandardItemModel;
class QTableView;
class QValueAxis;

// The history of one server: a chart of reply and echo times with faults
// and lost echoes marked, the figures beside it, and every point of the
// chart as a table row too. Colours follow the skin in force.
class FormHistory final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormHistory)
public:
    FormHistory(const QString& historyPath, qint64 serverId, const QString& serverName,
                bool recording, const Clock& clock, QWidget* parent = nullptr);
    ~FormHistory() override;

    void showRange(HistoryQuery::Range range);
    // Writes the range shown as CSV (UTF-8); false when the file cannot be written.
    bool exportCsv(const QString& path) const;
    const HistoryQuery::Report& report() const { return m_report; }

    QComboBox* ComboRange = nullptr;
    QPushButton* CmdExport = nullptr;
    QPushButton* CmdCancel = nullptr;
    QLabel* LabelState = nullptr;
    QLabel* LabelSummary = nullptr;
    QChartView* ChartHistory = nullptr;
    QTableView* LstPoints = nullptr;

protected:
    void changeEvent(QEvent* event) override;

private:
    void CmdExport_Click();
    void fillChart();
    void fillPoints();
    void applyColours();

    const Clock& m_clock;
    qint64 m_serverId;
    std::unique_ptr<HistoryQuery> m_query;
    HistoryQuery::Report m_report;
    QChart* m_chart;
    QDateTimeAxis* m_timeAxis;
    QValueAxis* m_msAxis;
    QLineSeries* m_replySeries;
    QLineSeries* m_echoSeries;
    QScatterSeries* m_faultSeries;
    QScatterSeries* m_lostSeries;
    QStandardItemModel* m_points;
};
