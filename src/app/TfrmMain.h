#pragma once
#include <QMainWindow>
#include <memory>

class TdataMain;
class TAboutBox1;
class THelpWindow;
class TFormStorage;
class TSettingsPage;
class TPerformancePage;
class TTestingPage;
class TTestRun;
class TMFtp;
class TRAS;
class THistoryPage;
class TAnalysisPage;
class QPushButton;
class QTabWidget;
class QStatusBar;
namespace Ui {
class TfrmMain;
}

// The main window: the page control, the command buttons and the close checks.
class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // The manual's topics: the window's own, and the contents the Help
    // button opens.
    static constexpr int HelpContext = 10;
    static constexpr int HelpContentsContext = 20;

    TfrmMain(TdataMain& data, QWidget* parent = nullptr);
    ~TfrmMain() override;

    void FormCreate();
    void FormShow();
    // Sets canClose to false to refuse the close.
    void FormCloseQuery(bool& canClose);
    // Enables the Settings page's command buttons while that page is active.
    void PageControl1Change();
    // Makes a page active the way the program does, without PageControl1Change.
    void SetActivePage(QWidget* page);
    void btnCloseClick();
    void btnHelpClick();
    void btnAboutClick();
    void AppEvents1Exception(const QString& message);

    TSettingsPage* tabshtSettings() const { return FSettings; }
    THistoryPage* tabshtHistory() const { return FHistory; }
    TAnalysisPage* tabshtAnalysis() const { return FAnalysis; }
    TPerformancePage* tabshtPerformance() const { return FPerformance; }
    TTestingPage* tabshtTesting() const { return FTesting; }
    TTestRun* TestRun() const { return FTestRun; }
    TMFtp& MFtp() { return *FMFtp; }
    TRAS& RAS() { return *FRAS; }
    bool RasPresent = false;
    // The chart's series and drawing for this run (see TAnalysisPage).
    int ChartState = 1;
    TAboutBox1* AboutBox();
    THelpWindow* HelpWindow();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The whole window, frame included, on the screen's available area.
    void FitToScreen(bool centre);
    TdataMain& FData;
    std::unique_ptr<Ui::TfrmMain> ui;
    std::unique_ptr<TFormStorage> FormStorage1;
    TSettingsPage* FSettings;
    TPerformancePage* FPerformance;
    TTestingPage* FTesting;
    THistoryPage* FHistory;
    TAnalysisPage* FAnalysis;
    std::unique_ptr<TRAS> FRAS;
    TMFtp* FMFtp;
    TTestRun* FTestRun;
    TAboutBox1* FAboutBox = nullptr;
    THelpWindow* FHelpWindow = nullptr;
    bool FShown = false;
    bool FSettingPage = false;
};
