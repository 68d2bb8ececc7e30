#include "history/TAnalysisPage.h"
#include "app/TdataMain.h"
#include "app/TfrmMain.h"
#include "helpers/TFindWidget.h"
#include "helpers/TScriptedDialogs.h"
#include "helpers/TTestEnvironment.h"
#include "history/THistoryPage.h"
#include "history/TThroughputChart.h"
#include "platform/TPrinter.h"
#include "platform/TShell.h"
#include "settings/TSettingsPage.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPageLayout>
#include <QPainter>
#include <QPalette>
#include <QPrinter>
#include <QProcess>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <QtTest/qtestspontaneevent.h>
#include <algorithm>
#include <sys/stat.h>

namespace {

const QSize ImageSize(600, 400);

// Three points, flat, on a plain background without a legend unless a test
// turns them on: each test changes one option and looks at the pixels.
struct TPlainChart {
    TThroughputChart Chart;
    TPlainChart() {
        Chart.resize(ImageSize);
        Chart.AddPoint(QStringLiteral("first"), 1000);
        Chart.AddPoint(QStringLiteral("second"), 2000);
        Chart.AddPoint(QStringLiteral("third"), 3000);
        Chart.SetView3D(false);
        Chart.SetLegendVisible(false);
        Chart.SetGradientVisible(false);
        Chart.SetLabelsVisible(false);
        Chart.SetActiveSeries(TThroughputChart::TSeriesKind::Bar);
    }
    TThroughputChart::TLayout Layout() { return Chart.Layout(QRectF(QPoint(), ImageSize)); }
    QRgb At(const QImage& image, QPointF p) { return image.pixel(p.toPoint()); }
};

int CountColor(const QImage& image, const QColor& color) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == color.rgb();
    return n;
}

HistoryRecord Record(const QString& name, int throughput) {
    HistoryRecord r;
    r.SetEntryName(name);
    r.SetProfile(QStringLiteral("0000"));
    r.SetThroughput(throughput);
    return r;
}

} // namespace

TEST(TThroughputChartTest, BarsLineAndTheirThreeDFaces) {
    TPlainChart c;
    const QColor second = TThroughputChart::AutoColor(1);
    // Half-way up the second bar: the bar's colour, and nothing of a line there.
    QPointF mid = c.Layout().PointOf(1, 1000);
    EXPECT_EQ(c.At(c.Chart.Image(ImageSize), mid), second.rgb());
    c.Chart.SetActiveSeries(TThroughputChart::TSeriesKind::Line);
    QImage line = c.Chart.Image(ImageSize);
    EXPECT_EQ(c.At(line, mid), qRgb(255, 255, 255));
    EXPECT_NE(c.At(line, c.Layout().PointOf(1, 2000)), qRgb(255, 255, 255)); // its marker

    // In 3D a bar has a darker side face to the right of its front.
    c.Chart.SetActiveSeries(TThroughputChart::TSeriesKind::Bar);
    c.Chart.SetView3D(true);
    auto l = c.Layout();
    ASSERT_GT(l.Depth, 4);
    const QPointF side = l.PointOf(1, 1000) + QPointF(l.SlotWidth() * 0.35 + l.Depth / 2, 0);
    EXPECT_EQ(c.At(c.Chart.Image(ImageSize), side), second.darker(160).rgb());
    c.Chart.SetView3D(false);
    EXPECT_NE(c.At(c.Chart.Image(ImageSize), side), second.darker(160).rgb());
    // The line in 3D is a ribbon: its lighter face lies up and right of the line.
    c.Chart.SetView3D(true);
    c.Chart.SetActiveSeries(TThroughputChart::TSeriesKind::Line);
    l = c.Layout();
    const QPointF ribbon = (l.PointOf(1, 2000) + l.PointOf(2, 3000)) / 2 + QPointF(0, -l.Depth / 2);
    EXPECT_EQ(c.At(c.Chart.Image(ImageSize), ribbon),
              TThroughputChart::AutoColor(2).lighter(120).rgb());
}

TEST(TThroughputChartTest, LegendGradientAndLabelsShowOnlyWhenOn) {
    TPlainChart c;
    EXPECT_EQ(CountColor(c.Chart.Image(ImageSize), TThroughputChart::LegendColor), 0);
    c.Chart.SetLegendVisible(true);
    EXPECT_GT(CountColor(c.Chart.Image(ImageSize), TThroughputChart::LegendColor), 1000);
    c.Chart.SetLegendVisible(false);

    // The gradient darkens the corners towards grey; without it they stay white.
    const QPoint corner(8, 8);
    EXPECT_EQ(c.Chart.Image(ImageSize).pixelColor(corner), QColor(Qt::white));
    c.Chart.SetGradientVisible(true);
    const QImage gradient = c.Chart.Image(ImageSize);
    EXPECT_LT(gradient.pixelColor(corner).red(), 230);
    c.Chart.SetGradientVisible(false);

    // A label above the third bar, 20 pixels up its connector.
    const QPointF top = c.Layout().PointOf(2, 3000);
    const QRect above = QRectF(top.x() - 30, top.y() - 36, 60, 34).toRect();
    const QImage without = c.Chart.Image(ImageSize).copy(above);
    c.Chart.SetLabelsVisible(true);
    const QImage with = c.Chart.Image(ImageSize).copy(above);
    EXPECT_NE(with, without);
    EXPECT_GT(CountColor(with, TThroughputChart::LabelColor), 50);
    EXPECT_EQ(CountColor(without, TThroughputChart::LabelColor), 0);
}

TEST(TThroughputChartTest, DraggingZoomsInAndTheOtherWayShowsAllAgain) {
    TPlainChart c;
    c.Chart.show();
    const auto l = c.Layout();
    const QPoint from = l.Plot.topLeft().toPoint() + QPoint(5, 5);
    const QPoint to = l.PointOf(1, 500).toPoint();
    QTest::mousePress(&c.Chart, Qt::LeftButton, {}, from);
    QTest::mouseMove(&c.Chart, to);
    QTest::mouseRelease(&c.Chart, Qt::LeftButton, {}, to);
    EXPECT_TRUE(c.Chart.Zoomed());
    // Animated: it reaches the rectangle after about a quarter of a second.
    EXPECT_TRUE(WaitUntil([&] { return c.Chart.VisibleRange().XMax < 1.6; }, 1000));
    EXPECT_GT(c.Chart.VisibleRange().YMin, 400);
    QTest::mousePress(&c.Chart, Qt::LeftButton, {}, to);
    QTest::mouseRelease(&c.Chart, Qt::LeftButton, {}, from);
    EXPECT_FALSE(c.Chart.Zoomed());
    EXPECT_TRUE(WaitUntil([&] { return c.Chart.VisibleRange().XMax == 3; }, 1000));
}

// The window on the Windows 98 sample with a history of its own.
class TAnalysisPageTest : public TZephynTest {
protected:
    void Start(const std::vector<HistoryRecord>& records) {
        WriteRecords(QStringLiteral("hist.dat"), records);
        Data = std::make_unique<TdataMain>();
        Frm = std::make_unique<TfrmMain>(*Data);
        Frm->show();
    }
    void StartThree() {
        Start({Record(QStringLiteral("a"), 100), Record(QStringLiteral("b"), 200),
               Record(QStringLiteral("c"), 300)});
    }
    void TearDown() override {
        TPrinter::SetPrinterAvailable(std::nullopt);
        TPrinter::SetPrintDialog(nullptr);
        Frm.reset();
        Data.reset();
        TZephynTest::TearDown();
    }
    void ShowPage() {
        FindWidget<QTabWidget>(Frm, "PageControl1")->setCurrentWidget(Frm->tabshtSettings());
        FindWidget<QTabWidget>(Frm, "PageControl1")->setCurrentWidget(Frm->tabshtAnalysis());
    }
    TThroughputChart* Chart() { return Frm->findChild<TThroughputChart*>(QStringLiteral("Chart")); }
    QAction* Item(const char* name) { return Frm->findChild<QAction*>(QLatin1String(name)); }
    QMenu* Menu() { return Frm->findChild<QMenu*>(QStringLiteral("mnuChart")); }
    void Select(std::initializer_list<int> rows) {
        QItemSelectionModel* s =
            FindWidget<QTreeView>(Frm->tabshtHistory(), "lvHistory")->selectionModel();
        s->clearSelection();
        for (int row : rows)
            s->select(Data->History.index(row, 0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // ChartState, the checked type, the 3D item and the drawing, together.
    void ExpectState(int state) {
        const bool bar = state == 1 || state == 3, view3D = state <= 1;
        EXPECT_EQ(Frm->ChartState, state);
        EXPECT_EQ(Item("BarChart1")->isChecked(), bar) << state;
        EXPECT_EQ(Item("LineChart1")->isChecked(), !bar) << state;
        EXPECT_EQ(Item("Viewin3D1")->isChecked(), view3D) << state;
        EXPECT_EQ(Chart()->ActiveSeries() == TThroughputChart::TSeriesKind::Bar, bar) << state;
        EXPECT_EQ(Chart()->View3D(), view3D) << state;
    }

    std::unique_ptr<TdataMain> Data;
    std::unique_ptr<TfrmMain> Frm;
};

TEST_F(TAnalysisPageTest, AnEmptyHistoryShowsOnlyTheTextAndHasNothingToPrint) {
    StartThree();
    Data->History.Clear();
    ShowPage();
    auto* label = Frm->findChild<QLabel*>(QStringLiteral("lblNoHistory"));
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(),
              QStringLiteral("[ Not enough history exists to be able to analyze results. ]"));
    EXPECT_TRUE(label->font().bold());
    EXPECT_FALSE(Chart()->isVisible());
    Dialogs().Answer(mrOk);
    Item("PrintChart1")->trigger();
    EXPECT_EQ(Dialogs().ShownTexts(), QStringList{"Sorry, nothing to print!"});
    EXPECT_EQ(Dialogs().Shown()[0].Type, TMsgDlgType::mtInformation);
}

TEST_F(TAnalysisPageTest, TheMenuWalksTheChartStateTable) {
    StartThree();
    const QStringList texts{"View in &3D",
                            "View &Labels",
                            "View Le&gend",
                            "G&radient Background",
                            "",
                            "L&ine Chart",
                            "&Bar Chart",
                            "",
                            "&Print Chart"};
    QStringList shown;
    for (QAction* a : Menu()->actions())
        shown << a->text();
    EXPECT_EQ(shown, texts);

    // The first showing: a bar chart in 3D without labels.
    ShowPage();
    ExpectState(1);
    EXPECT_FALSE(Item("ViewLabels1")->isChecked());
    EXPECT_FALSE(Chart()->Series2.LabelsVisible);
    EXPECT_TRUE(Item("ViewLegend1")->isChecked());

    const std::pair<const char*, int> steps[] = {
        {"LineChart1", 0}, {"LineChart1", 1}, // the chosen type switches to the other
        {"Viewin3D1", 3},  {"BarChart1", 2},  // 3D off with bars, then Bar Chart: line, flat
        {"Viewin3D1", 0},  {"BarChart1", 1},  {"BarChart1", 0},
        {"Viewin3D1", 2},  {"LineChart1", 3}, {"Viewin3D1", 1},
    };
    for (const auto& [item, state] : steps) {
        Item(item)->trigger();
        ExpectState(state);
    }
    Item("Viewin3D1")->trigger();
    Item("LineChart1")->trigger();
    ExpectState(2);
    // Another showing applies the state the run has reached.
    ShowPage();
    ExpectState(2);

    Item("ViewLabels1")->trigger();
    EXPECT_TRUE(Item("ViewLabels1")->isChecked());
    EXPECT_TRUE(Chart()->Series1.LabelsVisible && Chart()->Series2.LabelsVisible);
    Item("ViewLegend1")->trigger();
    EXPECT_FALSE(Item("ViewLegend1")->isChecked());
    EXPECT_FALSE(Chart()->LegendVisible());
    Item("GradientBackground1")->trigger();
    EXPECT_FALSE(Item("GradientBackground1")->isChecked());
    EXPECT_FALSE(Chart()->GradientVisible());
}

TEST_F(TAnalysisPageTest, ARestoredWindowKeepsTheZoomAndAPageChangeDropsIt) {
    StartThree();
    ShowPage();
    TThroughputChart* chart = Chart();
    ASSERT_TRUE(WaitUntil([chart] { return chart->width() > 200; }, 2000));
    const auto l = chart->Layout(QRectF(chart->rect()));
    const QPoint from = l.Plot.topLeft().toPoint() + QPoint(5, 5);
    const QPoint to = l.PointOf(1, 150).toPoint();
    QTest::mousePress(chart, Qt::LeftButton, {}, from);
    QTest::mouseMove(chart, to);
    QTest::mouseRelease(chart, Qt::LeftButton, {}, to);
    ASSERT_TRUE(chart->Zoomed());
    // What the window system sends to the pages of a restored window.
    QShowEvent restored;
    QSpontaneKeyEvent::setSpontaneous(&restored);
    // (Straight to the page: sending it through the application would clear the flag.)
    static_cast<QObject*>(Frm->tabshtAnalysis())->event(&restored);
    EXPECT_TRUE(chart->Zoomed());
    ShowPage();
    EXPECT_FALSE(chart->Zoomed());
}

TEST_F(TAnalysisPageTest, OneSelectedRowDrawsAllRecordsAndTwoDrawThoseTwo) {
    StartThree();
    FindWidget<QTabWidget>(Frm, "PageControl1")->setCurrentWidget(Frm->tabshtHistory());
    Select({1});
    FindWidget<QTabWidget>(Frm, "PageControl1")->setCurrentWidget(Frm->tabshtAnalysis());
    ASSERT_EQ(Chart()->Points().size(), 3u);
    EXPECT_EQ(Chart()->accessibleName(), QStringLiteral("Zephyn Connection Throughput Analysis"));
    EXPECT_EQ(Chart()->accessibleDescription(),
              QStringLiteral("a: 100 bytes/sec; b: 200 bytes/sec; c: 300 bytes/sec"));
    Select({2, 0});
    ShowPage();
    EXPECT_EQ(Chart()->accessibleDescription(),
              QStringLiteral("a: 100 bytes/sec; c: 300 bytes/sec"));
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(Chart());
    ASSERT_TRUE(a);
    EXPECT_EQ(a->role(), QAccessible::Chart);
    EXPECT_EQ(a->text(QAccessible::Description), Chart()->accessibleDescription());
}

TEST_F(TAnalysisPageTest, TheMenuOpensOnRightClickMenuKeyAndShiftF10) {
    StartThree();
    ShowPage();
    Chart()->setFocus();
    auto opens = [this](const std::function<void()>& how, int ms = 1000) {
        how();
        const bool open = WaitUntil([this] { return Menu()->isVisible(); }, ms);
        Menu()->hide();
        return open;
    };
    EXPECT_TRUE(opens([this] {
        QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(50, 50),
                            Chart()->mapToGlobal(QPoint(50, 50)));
        QApplication::sendEvent(Chart(), &e);
    }));
    EXPECT_TRUE(opens([this] { QTest::keyClick(Chart(), Qt::Key_Menu); }));
    EXPECT_TRUE(opens([this] { QTest::keyClick(Chart(), Qt::Key_F10, Qt::ShiftModifier); }));
    EXPECT_FALSE(opens([this] { QTest::keyClick(Chart(), Qt::Key_F10); }, 100));
}

TEST_F(TAnalysisPageTest, TheChartOptionsAreStoredAtCloseAndTheFirstShowingOverridesThem) {
    StartThree();
    ShowPage();
    Item("LineChart1")->trigger();
    Item("Viewin3D1")->trigger(); // line, flat
    Dialogs().Answer(mrOk);
    Frm->close();
    const QString form = QStringLiteral("Software\\Brindlecove\\Zephyn\\Form");
    auto stored = [&](const char* name) {
        const auto v = HiveValue(THKey::HKEY_CURRENT_USER, form, QLatin1String(name));
        return v ? int(v->Data.at(0)) : -1;
    };
    EXPECT_EQ(stored("BarChart1.Checked"), 0);
    EXPECT_EQ(stored("LineChart1.Checked"), 1);
    EXPECT_EQ(stored("Chart.View3D"), 0);

    Frm.reset();
    Data.reset();
    Data = std::make_unique<TdataMain>();
    Frm = std::make_unique<TfrmMain>(*Data);
    Frm->show();
    EXPECT_TRUE(Item("LineChart1")->isChecked()); // restored...
    EXPECT_FALSE(Chart()->View3D());
    ShowPage();
    ExpectState(1); // ...and the first showing's bar chart in 3D over them
}

TEST_F(TAnalysisPageTest, WithoutAPrinterTheChartBecomesALandscapePdf) {
    const QString pdftoppm = QStringLiteral("/usr/bin/pdftoppm");
    ASSERT_TRUE(QFile::exists(pdftoppm)) << "scripts/install-deps.sh installs poppler-utils";
    StartThree();
    ShowPage();
    TPrinter::SetPrinterAvailable(false);
    const QStringList before = QDir(DataDir()).entryList(QDir::Files);
    Dialogs().Answer(mrOk);
    Item("PrintChart1")->trigger();
    const QString pdf = DataDir() + QStringLiteral("/zephyn-chart-20261208-090507.pdf");
    ASSERT_EQ(
        Dialogs().ShownTexts(),
        QStringList{"No printer is installed, so the chart was saved as a PDF file:\r\n" + pdf});
    EXPECT_EQ(QDir(DataDir()).entryList(QDir::Files),
              QStringList(before) << QStringLiteral("zephyn-chart-20261208-090507.pdf"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(pdf).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    QProcess render;
    render.start(pdftoppm, {"-png", "-r", "40", pdf, DataDir() + QStringLiteral("/page")});
    ASSERT_TRUE(render.waitForFinished(30000));
    EXPECT_FALSE(QFile::exists(DataDir() + QStringLiteral("/page-2.png"))) << "one page";
    QImage page(DataDir() + QStringLiteral("/page-1.png"));
    ASSERT_FALSE(page.isNull());
    EXPECT_GT(page.width(), page.height()) << "landscape";
    // The bars' colours and the legend's, give or take the renderer's rounding.
    for (const QColor& colour : {TThroughputChart::AutoColor(0), TThroughputChart::AutoColor(2),
                                 TThroughputChart::LegendColor}) {
        bool found = false;
        for (int y = 0; y < page.height() && !found; ++y)
            for (int x = 0; x < page.width() && !found; ++x) {
                const QColor p = page.pixelColor(x, y);
                found = std::abs(p.red() - colour.red()) + std::abs(p.green() - colour.green()) +
                            std::abs(p.blue() - colour.blue()) <
                        12;
            }
        EXPECT_TRUE(found) << colour.name().toStdString();
    }
    // A second print in the same second gets a name of its own; the box's
    // Open Folder opens the folder it is in.
    QStringList opened;
    TShell::SetUrlOpener([&opened](const QString& url) {
        opened << url;
        return true;
    });
    Dialogs().Clear();
    Dialogs().Answer(mrOpenFolder);
    Item("PrintChart1")->trigger();
    TShell::SetUrlOpener(nullptr);
    EXPECT_TRUE(QFile::exists(DataDir() + QStringLiteral("/zephyn-chart-20261208-090507-2.pdf")));
    EXPECT_EQ(Dialogs().Shown().at(0).Buttons, TMsgDlgButtons::mbOKOpenFolder);
    EXPECT_EQ(opened, QStringList{QUrl::fromLocalFile(DataDir()).toString()});
}

TEST_F(TAnalysisPageTest, WithAPrinterTheDialogOffersItInLandscapeAndAFailureIsToldOnce) {
    StartThree();
    ShowPage();
    TPrinter::SetPrinterAvailable(true);
    bool landscape = false;
    TPrinter::SetPrintDialog([&landscape](QPrinter& printer) {
        landscape = printer.pageLayout().orientation() == QPageLayout::Landscape;
        return false; // Cancel: nothing printed, nothing said
    });
    Item("PrintChart1")->trigger();
    EXPECT_TRUE(landscape);
    EXPECT_TRUE(Dialogs().Shown().empty());
    // A printer that cannot be started (none is installed here) is told once, plainly.
    TPrinter::SetPrintDialog([](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::NativeFormat);
        printer.setPrinterName(QString());
        return true;
    });
    Dialogs().Answer(mrOk);
    Item("PrintChart1")->trigger();
    TPrinter::SetPrintDialog(nullptr);
    ASSERT_EQ(Dialogs().Shown().size(), 1u);
    EXPECT_EQ(
        Dialogs().ShownTexts().at(0),
        QStringLiteral("The chart could not be printed:\r\nThe printer could not be started."));
}
// Four records named by their dates, as test runs name them.
struct TDatedChart {
    TThroughputChart Chart;
    TDatedChart(std::initializer_list<int> values) {
        Chart.resize(ImageSize);
        int minute = 31;
        for (int v : values)
            Chart.AddPoint(QStringLiteral("09 Dec 2026 02:%1:10").arg(minute++), v);
        Chart.SetLabelsVisible(true);
        Chart.SetActiveSeries(TThroughputChart::TSeriesKind::Bar);
    }
    TThroughputChart::TLayout Layout() { return Chart.Layout(QRectF(QPoint(), ImageSize)); }
    void ZoomTo(double xMin, double xMax, double yMin, double yMax) {
        const auto l = Layout();
        const QPointF a = l.PointAt(xMin, yMax), b = l.PointAt(xMax, yMin);
        Chart.ZoomToRect(QRectF(a, b).toRect());
        (void)WaitUntil([this] { return false; }, AnimationWait);
    }
    static constexpr int AnimationWait = 400;
};

TEST(TThroughputChartTest, AZoomedChartDrawsInsideItsPlotAndNamesWhatIsInView) {
    TDatedChart c{250000000, 0, 180000000, 240000000};
    c.Chart.show();
    // In view: the right part of the first slot (not its centre) to part of
    // the last, above the zero bar.
    c.ZoomTo(0.6, 3.3, 100000000, 200000000);
    const auto l = c.Layout();
    const QImage image = c.Chart.Image(ImageSize);
    for (int i = 0; i < 4; ++i) {
        const QColor bar = TThroughputChart::AutoColor(i);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y) != bar ||
                    l.Legend.adjusted(0, 0, 3, 3).contains(QPointF(x, y)))
                    continue; // the legend's swatches have the bars' colours
                // Bars stay in the plot's room: not right of the back wall, not
                // below the floor, and right of the front plane only behind it.
                EXPECT_LE(x, l.Plot.right() + l.Depth + 1) << i;
                EXPECT_LE(y, l.Plot.bottom() + 1) << i;
                if (x > l.Plot.right() + 1) {
                    EXPECT_LE(y, l.Plot.bottom() - (x - l.Plot.right()) + 2) << i << ' ' << x;
                }
            }
    }
    // The zero bar is below the floor in view: neither it nor its label is drawn
    // (its colour is only in the legend).
    EXPECT_LE(CountColor(image, TThroughputChart::AutoColor(1)), 12 * 8);
    const auto labels = c.Chart.PointLabels(l, c.Chart.font());
    EXPECT_TRUE(
        std::none_of(labels.begin(), labels.end(), [](const auto& t) { return t.Index == 1; }));
    // The first slot, cut by the view, is named all the same.
    const auto names = c.Chart.AxisLabels(l, c.Chart.font());
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front().Index, 0);
}

TEST(TThroughputChartTest, LabelsLegendAndTicksFitTheirNames) {
    TDatedChart c{250000000, 249000000, 251000000, 248000000};
    // Four labels of nearly equal heights: none covers another or the legend.
    const auto l = c.Layout();
    const auto labels = c.Chart.PointLabels(l, c.Chart.font());
    ASSERT_FALSE(labels.empty());
    for (size_t i = 0; i < labels.size(); ++i) {
        EXPECT_FALSE(labels[i].Box.intersects(l.Legend)) << i;
        EXPECT_TRUE(l.Area.contains(labels[i].Box)) << i;
        for (size_t j = i + 1; j < labels.size(); ++j)
            EXPECT_FALSE(labels[i].Box.intersects(labels[j].Box)) << i << ' ' << j;
    }
    // The legend is wide enough for a whole date; the line series has one entry.
    const QFontMetricsF fm(c.Chart.font());
    EXPECT_GE(l.Legend.width(), fm.horizontalAdvance(QStringLiteral("09 Dec 2026 02:31:10")) + 20);
    c.Chart.SetActiveSeries(TThroughputChart::TSeriesKind::Line);
    EXPECT_LT(c.Layout().Legend.height(), 2 * fm.height() + 8);
    // Tick values are grouped as the user's locale writes numbers.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(TThroughputChart::TickText(250000000, 50000000), QStringLiteral("250,000,000"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(TThroughputChart::TickText(250000000, 50000000), QStringLiteral("250.000.000"));
    QLocale::setDefault(before);
}

TEST(TThroughputChartTest, ADarkPaletteDarkensTheChartButNotThePrintedPage) {
    TPlainChart c;
    c.Chart.SetGradientVisible(true);
    c.Chart.SetLegendVisible(true);
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    c.Chart.setPalette(dark);
    const QImage screen = c.Chart.Image(ImageSize);
    EXPECT_LT(screen.pixelColor(ImageSize.width() / 2, 12).lightness(), 100);
    EXPECT_EQ(CountColor(screen, TThroughputChart::LegendColor), 0);
    QImage paper(ImageSize, QImage::Format_RGB32);
    {
        QPainter p(&paper);
        c.Chart.Paint(p, QRectF(paper.rect()), true);
    }
    EXPECT_GT(paper.pixelColor(ImageSize.width() / 2, 12).lightness(), 150);
    EXPECT_GT(CountColor(paper, TThroughputChart::LegendColor), 100);
}
