#pragma once
#include <QWidget>
#include <utility>
#include <vector>

class THistory;
class THistoryPage;
class TFormStorage;
class TThroughputChart;
class QAction;
class QLabel;
class QMenu;

// The Analysis page: the throughput of the history records as a chart,
// rebuilt at every showing, with its pop-up menu.
class TAnalysisPage : public QWidget {
    Q_OBJECT
public:
    // chartState is the main window's: 0 line in 3D, 1 bar in 3D, 2 line
    // flat, 3 bar flat.
    TAnalysisPage(const THistory& history, const THistoryPage& historyPage, int& chartState,
                  QWidget* parent = nullptr);

    // The first showing's chart options: a bar chart in 3D, without labels.
    void ResetChartOptions();
    // The chart choices the window keeps between runs.
    void AddStoredProperties(TFormStorage& storage);

    void tabshtAnalysisShow();
    void Viewin3D1Click();
    void ViewLabels1Click();
    void ViewLegend1Click();
    void GradientBackground1Click();
    void LineChart1Click();
    void BarChart1Click();
    void PrintChart1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QAction* AddItem(const QString& name, const QString& text, void (TAnalysisPage::*handler)());
    void ShowSeries(bool bar);
    void ChartContextMenu(const QPoint& globalPos);
    void RememberChecks();

    const THistory& FHistory;
    const THistoryPage& FHistoryPage;
    int& FChartState;
    std::vector<std::pair<QAction*, bool>> FChecks;
    QLabel* lblNoHistory;
    TThroughputChart* Chart;
    QMenu* mnuChart;
    QAction* Viewin3D1;
    QAction* ViewLabels1;
    QAction* ViewLegend1;
    QAction* GradientBackground1;
    QAction* LineChart1;
    QAction* BarChart1;
    QAction* PrintChart1;
};
