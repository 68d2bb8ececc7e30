#include "history/TAnalysisPage.h"
#include "history/THistory.h"
#include "history/THistoryPage.h"
#include "history/TThroughputChart.h"
#include "platform/TApplication.h"
#include "platform/TClock.h"
#include "platform/TDataDirectory.h"
#include "platform/TExceptions.h"
#include "platform/TFormStorage.h"
#include "platform/TMessageDlg.h"
#include "platform/TPrinter.h"
#include "platform/TShell.h"

#include <QFileInfo>
#include <QShowEvent>
#include <QUrl>
#include <QActionGroup>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

TAnalysisPage::TAnalysisPage(const THistory& history, const THistoryPage& historyPage,
                             int& chartState, QWidget* parent)
    : QWidget(parent), FHistory(history), FHistoryPage(historyPage), FChartState(chartState) {
    setObjectName(QStringLiteral("tabshtAnalysis"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);

    lblNoHistory = new QLabel(
        QStringLiteral("[ Not enough history exists to be able to analyze results. ]"), this);
    lblNoHistory->setObjectName(QStringLiteral("lblNoHistory"));
    lblNoHistory->setAlignment(Qt::AlignCenter);
    lblNoHistory->setWordWrap(true);
    QFont bold = lblNoHistory->font();
    bold.setBold(true);
    lblNoHistory->setFont(bold);
    layout->addWidget(lblNoHistory);

    Chart = new TThroughputChart(this);
    Chart->hide();
    layout->addWidget(Chart, 1);
    connect(Chart, &TThroughputChart::ContextMenuRequested, this,
            [this](const QPoint& pos) { ChartContextMenu(pos); });

    mnuChart = new QMenu(this);
    mnuChart->setObjectName(QStringLiteral("mnuChart"));
    Viewin3D1 = AddItem(QStringLiteral("Viewin3D1"), QStringLiteral("View in &3D"),
                        &TAnalysisPage::Viewin3D1Click);
    ViewLabels1 = AddItem(QStringLiteral("ViewLabels1"), QStringLiteral("View &Labels"),
                          &TAnalysisPage::ViewLabels1Click);
    ViewLegend1 = AddItem(QStringLiteral("ViewLegend1"), QStringLiteral("View Le&gend"),
                          &TAnalysisPage::ViewLegend1Click);
    GradientBackground1 =
        AddItem(QStringLiteral("GradientBackground1"), QStringLiteral("G&radient Background"),
                &TAnalysisPage::GradientBackground1Click);
    mnuChart->addSeparator();
    LineChart1 = AddItem(QStringLiteral("LineChart1"), QStringLiteral("L&ine Chart"),
                         &TAnalysisPage::LineChart1Click);
    BarChart1 = AddItem(QStringLiteral("BarChart1"), QStringLiteral("&Bar Chart"),
                        &TAnalysisPage::BarChart1Click);
    mnuChart->addSeparator();
    PrintChart1 = AddItem(QStringLiteral("PrintChart1"), QStringLiteral("&Print Chart"),
                          &TAnalysisPage::PrintChart1Click);
    PrintChart1->setCheckable(false);
    // A radio group in looks only: the handlers decide every check, and may
    // leave the chosen type's item unchecked on the way.
    auto* group = new QActionGroup(this);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    group->addAction(LineChart1);
    group->addAction(BarChart1);
    for (QAction* item : {Viewin3D1, ViewLabels1, ViewLegend1, GradientBackground1, LineChart1})
        item->setChecked(true);
    RememberChecks();
}

void TAnalysisPage::RememberChecks() {
    FChecks.clear();
    for (QAction* item : mnuChart->actions())
        if (item->isCheckable())
            FChecks.emplace_back(item, item->isChecked());
}

QAction* TAnalysisPage::AddItem(const QString& name, const QString& text,
                                void (TAnalysisPage::*handler)()) {
    QAction* item = mnuChart->addAction(text);
    item->setObjectName(name);
    item->setCheckable(true);
    connect(item, &QAction::triggered, this, [this, handler] {
        // Menu items do not check themselves: the toolkit's toggle is undone,
        // so the handler sees the checks as they were when the user chose.
        for (const auto& [action, checked] : FChecks)
            action->setChecked(checked);
        TApplication::Guard([this, handler] { (this->*handler)(); });
        RememberChecks();
    });
    return item;
}

void TAnalysisPage::ResetChartOptions() {
    FChartState = 1;
    ViewLabels1->setChecked(false);
    Chart->SetLabelsVisible(false);
    RememberChecks();
}

void TAnalysisPage::AddStoredProperties(TFormStorage& storage) {
    storage.AddStoredProperty(
        QStringLiteral("BarChart1.Checked"), [this] { return BarChart1->isChecked(); },
        [this](bool on) {
            BarChart1->setChecked(on);
            RememberChecks();
        });
    storage.AddStoredProperty(
        QStringLiteral("LineChart1.Checked"), [this] { return LineChart1->isChecked(); },
        [this](bool on) {
            LineChart1->setChecked(on);
            RememberChecks();
        });
    storage.AddStoredProperty(
        QStringLiteral("Chart.View3D"), [this] { return Chart->View3D(); },
        [this](bool on) { Chart->SetView3D(on); });
}

void TAnalysisPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Only a change of page rebuilds the chart: a window restored from the
    // taskbar shows its page again (spontaneously) and keeps the zoom.
    if (!event->spontaneous())
        TApplication::Guard([this] { tabshtAnalysisShow(); });
}

void TAnalysisPage::tabshtAnalysisShow() {
    if (FHistory.Count() == 0) {
        lblNoHistory->show();
        Chart->hide();
        Chart->Clear();
        return;
    }
    lblNoHistory->hide();
    Chart->show();
    Chart->BeginUpdate();
    Chart->Clear();

    const bool bar = FChartState == 1 || FChartState == 3;
    const bool view3D = FChartState == 0 || FChartState == 1;
    LineChart1->setChecked(!bar);
    BarChart1->setChecked(bar);
    Viewin3D1->setChecked(view3D);
    Chart->SetView3D(view3D);
    Chart->SetActiveSeries(bar ? TThroughputChart::TSeriesKind::Bar
                               : TThroughputChart::TSeriesKind::Line);
    RememberChecks();

    const QList<int> selected = FHistoryPage.SelectedRows();
    auto add = [this](int index) {
        const HistoryRecord& r = FHistory.Record(index);
        Chart->AddPoint(r.EntryName(), r.Throughput());
    };
    if (selected.size() < 2) {
        for (int i = 0; i < FHistory.Count(); ++i)
            add(i);
    } else {
        for (int index : selected)
            add(index);
    }
    Chart->EndUpdate();
}

void TAnalysisPage::Viewin3D1Click() {
    if (Viewin3D1->isChecked()) {
        Viewin3D1->setChecked(false);
        Chart->SetView3D(false);
        if (FChartState == 0)
            FChartState = 2;
        else if (FChartState == 1)
            FChartState = 3;
    } else {
        Viewin3D1->setChecked(true);
        Chart->SetView3D(true);
        if (FChartState == 2)
            FChartState = 0;
        else if (FChartState == 3)
            FChartState = 1;
    }
}

void TAnalysisPage::ViewLabels1Click() {
    ViewLabels1->setChecked(!ViewLabels1->isChecked());
    Chart->SetLabelsVisible(ViewLabels1->isChecked());
}

void TAnalysisPage::ViewLegend1Click() {
    ViewLegend1->setChecked(!ViewLegend1->isChecked());
    Chart->SetLegendVisible(ViewLegend1->isChecked());
}

void TAnalysisPage::GradientBackground1Click() {
    GradientBackground1->setChecked(!GradientBackground1->isChecked());
    Chart->SetGradientVisible(GradientBackground1->isChecked());
}

void TAnalysisPage::ShowSeries(bool bar) {
    BarChart1->setChecked(bar);
    LineChart1->setChecked(!bar);
    Chart->SetActiveSeries(bar ? TThroughputChart::TSeriesKind::Bar
                               : TThroughputChart::TSeriesKind::Line);
    FChartState = Chart->View3D() ? (bar ? 1 : 0) : (bar ? 3 : 2);
}

void TAnalysisPage::LineChart1Click() {
    // Choosing the chosen type switches to the other one.
    ShowSeries(LineChart1->isChecked());
}

void TAnalysisPage::BarChart1Click() {
    ShowSeries(!BarChart1->isChecked());
}

void TAnalysisPage::PrintChart1Click() {
    if (FHistory.Count() < 1) {
        MessageDlg(QStringLiteral("Sorry, nothing to print!"), TMsgDlgType::mtInformation,
                   TMsgDlgButtons::mbOK);
        return;
    }
    const QString pdf = TDataDirectory::FilePath(
        QStringLiteral("zephyn-chart-%1.pdf")
            .arg(TClock::Now().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    try {
        const TPrinter::TPrintResult result = TPrinter::PrintLandscape(
            [this](QPainter& painter, const QRect& page) {
                painter.setFont(Chart->font());
                Chart->Paint(painter, QRectF(page), true);
            },
            TThroughputChart::ChartTitle, pdf);
        if (!result.PdfPath.isEmpty() &&
            MessageDlg(QStringLiteral("No printer is installed, so the chart was saved as a PDF "
                                      "file:\r\n%1")
                           .arg(result.PdfPath),
                       TMsgDlgType::mtInformation, TMsgDlgButtons::mbOKOpenFolder) == mrOpenFolder) {
            const QString folder = QFileInfo(result.PdfPath).absolutePath();
            if (!TShell::OpenUrl(QUrl::fromLocalFile(folder).toString()))
                MessageDlg(QStringLiteral("No file manager could be started for\r\n%1").arg(folder),
                           TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
        }
    } catch (const std::exception& e) {
        MessageDlg(QStringLiteral("The chart could not be printed:\r\n%1").arg(ExceptionMessage(e)),
                   TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    }
}

void TAnalysisPage::ChartContextMenu(const QPoint& globalPos) {
    // The Menu key may also arrive as a context-menu event: one menu is enough.
    if (!mnuChart->isVisible())
        mnuChart->popup(globalPos);
}
