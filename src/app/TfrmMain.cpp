#include "app/TfrmMain.h"
#include "platform/TRegistryStore.h"
#include "app/TdataMain.h"
#include "dialup/TPerformancePage.h"
#include "dialup/TRAS.h"
#include "ftp/TMFtp.h"
#include "ftptest/TTestRun.h"
#include "ftptest/TTestingPage.h"
#include "history/TAnalysisPage.h"
#include "history/TBaselineRecords.h"
#include "history/THistoryPage.h"
#include "platform/TApplication.h"
#include "platform/TFormStorage.h"
#include "platform/TMessageDlg.h"
#include "platform/TWinSock.h"
#include "settings/TCalculator.h"
#include "settings/TSaveDefaults.h"
#include "settings/TSettingsPage.h"
#include "support/TAboutBox1.h"
#include "support/TErrorLog.h"
#include "support/THelpWindow.h"
#include "support/TProgramIcon.h"
#include "ui_TfrmMain.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTabBar>
#include <algorithm>

TfrmMain::TfrmMain(TdataMain& data, QWidget* parent)
    : QMainWindow(parent), FData(data), ui(std::make_unique<Ui::TfrmMain>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(TProgramIcon::Icon());
    FormStorage1 =
        std::make_unique<TFormStorage>(this, QStringLiteral("Software\\Brindlecove\\Zephyn\\Form"));

    FSettings = new TSettingsPage(data.Parameters);
    FRAS = std::make_unique<TRAS>();
    FPerformance = new TPerformancePage(*FRAS);
    FTesting = new TTestingPage(data.FtpTestProfiles, data.Proxy);
    FHistory = new THistoryPage(data.History, data.Parameters, *FSettings);
    FAnalysis = new TAnalysisPage(data.History, *FHistory, ChartState);
    FAnalysis->AddStoredProperties(*FormStorage1);
    ui->PageControl1->addTab(FSettings, QStringLiteral("Settings"));
    ui->PageControl1->addTab(FTesting, QStringLiteral("Testing"));
    ui->PageControl1->addTab(FHistory, QStringLiteral("History"));
    ui->PageControl1->addTab(FAnalysis, QStringLiteral("Analysis"));
    ui->PageControl1->tabBar()->setAccessibleName(QStringLiteral("Pages"));
    // The Performance page's tab is hidden: it is left out of the tab row
    // altogether, so that neither Ctrl+Tab nor a screen reader comes upon it.
    // The variable shows it, for users with a real ppp link.
    if (qEnvironmentVariable("ZEPHYN_PERFORMANCE_TAB") == u"1") {
        ui->PageControl1->insertTab(1, FPerformance, QStringLiteral("Performance"));
    } else {
        FPerformance->setParent(ui->centralwidget);
        FPerformance->hide();
    }
    FMFtp = new TMFtp(this);
    FTestRun = new TTestRun(*FTesting, *FMFtp, *FRAS, data.FtpTestProfiles, data.Proxy,
                            ui->StatusBar1, this);
    FTestRun->AddHistoryRecord = [this](int throughput) { FHistory->AddHistoryRecord(throughput); };
    // The test's connections carry what the record will say: the page's
    // values, and the MTU of the active profile.
    FTestRun->PageSettings = [this] {
        const AdapterProfile* profile =
            FData.Parameters.ProfileCount > 0 ? FData.Parameters.ActiveEntry() : nullptr;
        return TTestSettings::FromPage(FSettings->SettingsInForce(),
                                       profile ? profile->MTU : QString());
    };
    connect(FTesting, &TTestingPage::OwnSettingsToggled, this, [this](bool checked) {
        FData.TestSettings.OwnSettings = checked;
        TApplication::Guard([this] { FData.TestSettings.Save(); });
    });
    FPerformance->AddHistoryRecord = [this](int throughput) {
        FHistory->AddHistoryRecord(throughput);
    };
    // Every command takes a custom MTU still being typed first, as leaving the
    // edit would: a mnemonic presses its button without moving the focus.
    // Connected before the commands themselves, so it runs before them.
    for (QPushButton* command :
         {ui->btnDefaults, ui->btnCalc, ui->btnOptimal, ui->btnPPP, ui->btnSave})
        connect(command, &QPushButton::clicked, this,
                TApplication::Guarded([this] { FSettings->CommitPendingEdit(); }));
    FSettings->SetCalcButton(ui->btnCalc);
    new TCalculator(data.Parameters, *FSettings, ui->btnCalc, ui->btnOptimal, ui->btnPPP);
    auto* saveDefaults = new TSaveDefaults(data.Parameters, ui->btnSave, ui->btnDefaults, this);
    saveDefaults->AddHistoryRecord = [this](int throughput) {
        FHistory->AddHistoryRecord(throughput);
    };
    FHistory->ShowSettingsPage = [this] { SetActivePage(FSettings); };
    FHistory->PageControl1Change = [this] { PageControl1Change(); };
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, [this] {
        TApplication::Guard([this] { FSettings->CommitPendingEdit(); });
        if (!FSettingPage)
            TApplication::Guard([this] { PageControl1Change(); });
    });

    // The failures no step caught go to the error log while the window exists.
    if (auto* app = TApplication::Instance()) {
        app->OnException = [this](const QString& message) { AppEvents1Exception(message); };
        app->OnHelp = [this](int context) { HelpWindow()->ShowTopic(context); };
    }

    connect(ui->btnClose, &QPushButton::clicked, this,
            TApplication::Guarded([this] { btnCloseClick(); }));
    connect(ui->btnHelp, &QPushButton::clicked, this,
            TApplication::Guarded([this] { btnHelpClick(); }));
    connect(ui->btnAbout, &QPushButton::clicked, this,
            TApplication::Guarded([this] { btnAboutClick(); }));
    // Ctrl+Q is Exit, with its question.
    auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, this, TApplication::Guarded([this] { btnCloseClick(); }));
    // F1 opens the manual at the section of the page in front (the window's
    // own topic when a page has none).
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, TApplication::Guarded([this] {
                const std::pair<QWidget*, const char*> sections[] = {{FSettings, "settings"},
                                                                     {FTesting, "testing"},
                                                                     {FHistory, "history"},
                                                                     {FAnalysis, "analysis"},
                                                                     {FPerformance, "performance"}};
                for (const auto& [page, anchor] : sections)
                    if (ui->PageControl1->currentWidget() == page) {
                        HelpWindow()->ShowSection(QString::fromLatin1(anchor));
                        return;
                    }
                if (auto* app = TApplication::Instance())
                    app->HelpContext(HelpContext);
            }));

    // The pages scroll when the screen is too small for them (a large scale
    // factor, say): the window is sized for its content, but may be smaller.
    const QSize content = minimumSizeHint();
    auto* scroller = new QScrollArea;
    scroller->setObjectName(QStringLiteral("PageScroller"));
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setFocusPolicy(Qt::NoFocus);
    scroller->setWidgetResizable(true);
    // The layout hands back the item it held for the page control: it is ours.
    delete ui->layoutMain->replaceWidget(ui->PageControl1, scroller);
    scroller->setWidget(ui->PageControl1);
    resize(QSize(511, 398).expandedTo(content));
    FormCreate();
}

TfrmMain::~TfrmMain() {
    // The component goes first, while everything its handlers use still exists.
    delete FTestRun;
    delete FMFtp;
    if (auto* app = TApplication::Instance()) {
        app->OnException = nullptr;
        app->OnHelp = nullptr;
    }
}

TAboutBox1* TfrmMain::AboutBox() {
    if (!FAboutBox)
        FAboutBox = new TAboutBox1(this);
    return FAboutBox;
}

THelpWindow* TfrmMain::HelpWindow() {
    if (!FHelpWindow)
        FHelpWindow = new THelpWindow(this);
    return FHelpWindow;
}

void TfrmMain::FitToScreen(bool centre) {
    QScreen* screen = QGuiApplication::screenAt(geometry().center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    // The window manager's frame, title bar included, as far as it is known
    // before the window is mapped: an allowance.
    const QSize frame(16, 48);
    resize(size().boundedTo(available.size() - frame).expandedTo(minimumSize()));
    const QSize outer = size() + frame;
    QPoint at = centre ? available.center() - QPoint(outer.width() / 2, outer.height() / 2) : pos();
    at.setX(std::clamp(at.x(), available.left(),
                       std::max(available.left(), available.right() + 1 - outer.width())));
    at.setY(std::clamp(at.y(), available.top(),
                       std::max(available.top(), available.bottom() + 1 - outer.height())));
    move(at);
}

void TfrmMain::FormCreate() {
    // The test-run flags live with the Testing page; nothing else is set here yet.
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    // The least the window can be: the button column and a little of the page.
    // A size saved at another scale or font never makes it open cramped: it
    // opens at least as large as its content needs now (then within the screen).
    const QSize needed = size();
    setMinimumSize(minimumSizeHint());
    const bool placed = FormStorage1->RestoreFormPlacement(needed);
    FitToScreen(!placed);
    TApplication::Guard([this] { FormStorage1->RestoreProperties(); });
    TApplication::Guard([this] { FormShow(); });
}

void TfrmMain::FormShow() {
    TParameterSet& model = FData.Parameters;
    // This computer's own addresses fill in the sample's profiles; another
    // machine's registry (--registry) keeps what that Windows holds.
    if (TRegistryStore::MachineLocation().Kind == TRegistryLocation::TKind::DataDirectory)
        model.LocalAddresses = TWinSock::LocalAddresses();

    model.ProfileCount = 0;
    model.ProfileCount =
        model.Platform == WinNT ? model.ReadNTParameters() : model.ReadWin9xParameters();
    if (model.ProfileCount == -1) {
        if (auto* app = TApplication::Instance())
            app->Terminate();
        return;
    }

    FSettings->PrepareStartupState();

    if (FData.History.Count() == 0) {
        CreateBaselineRecords(FData.History, model, [this, &model](int index) {
            model.SetActiveProfile(index);
            FSettings->cbActiveProfileChange();
        });
    } else {
        FData.History.FillList();
    }

    FTesting->ShowProxySettings();
    FTesting->ShowOwnSettings(FData.TestSettings.OwnSettings);
    FTesting->ShowProfiles();
    FRAS->Platform = model.Platform;
    RasPresent = FPerformance->CheckDialUp(*FRAS);

    SetActivePage(FSettings);
    FAnalysis->ResetChartOptions();
    FSettings->cbActiveProfileChange();
    model.SettingsChanged = false;
    // The first stop for the keyboard: the profile the page shows.
    FSettings->FocusActiveProfile();
}

void TfrmMain::SetActivePage(QWidget* page) {
    FSettingPage = true;
    ui->PageControl1->setCurrentWidget(page);
    FSettingPage = false;
}

void TfrmMain::PageControl1Change() {
    const bool settings = ui->PageControl1->currentWidget() == FSettings;
    for (QPushButton* b : {ui->btnDefaults, ui->btnOptimal, ui->btnPPP, ui->btnSave})
        b->setEnabled(settings);
    ui->btnCalc->setEnabled(settings && FSettings->CalcAllowed() &&
                            FData.Parameters.ProfileCount >= 1);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // A custom MTU still being typed counts, as if the user had left the edit.
    TApplication::Guard([this] { FSettings->CommitPendingEdit(); });
    bool canClose = true;
    TApplication::Guard([&] { FormCloseQuery(canClose); });
    if (!canClose) {
        event->ignore();
        return;
    }
    TApplication::Guard([this] {
        FormStorage1->SaveFormPlacement();
        FormStorage1->SaveProperties();
    });
    event->accept();
}

void TfrmMain::FormCloseQuery(bool& canClose) {
    if (FTestRun->Running()) {
        MessageDlg(QStringLiteral("Please abort the test tranfer before quiting Zephyn"),
                   TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
        canClose = false;
        return;
    }
    canClose = MessageDlg(QStringLiteral("Terminate Zephyn Now?"), TMsgDlgType::mtConfirmation,
                          TMsgDlgButtons::mbOKCancel) == mrOk;
    if (!canClose)
        return;
    TParameterSet& model = FData.Parameters;
    if (model.SettingsChanged &&
        MessageDlg(QStringLiteral("Settings Changed - Save First?"), TMsgDlgType::mtConfirmation,
                   TMsgDlgButtons::mbYesNo) == mrYes) {
        // What the write reports it shows itself; the window closes either way.
        if (model.MachineRegistryWritable())
            model.WriteParameters(model.ProfileCount > 0 ? model.ActiveProfile() : 0);
        model.SettingsChanged = false;
    }
    // Destroying the component must not touch the user's dial-up link.
    if (RasPresent)
        FRAS->ReleaseConnection();
}

void TfrmMain::btnCloseClick() {
    close();
}

void TfrmMain::btnHelpClick() {
    if (auto* app = TApplication::Instance())
        app->HelpContext(HelpContentsContext);
}

void TfrmMain::btnAboutClick() {
    TAboutBox1* box = AboutBox();
    box->ShowVersion();
    box->exec();
}

void TfrmMain::AppEvents1Exception(const QString& message) {
    TErrorLog::LogException(message);
}
