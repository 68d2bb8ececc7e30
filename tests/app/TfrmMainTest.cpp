#include "app/TfrmMain.h"
#include "app/TdataMain.h"
#include "ftptest/TTestingPage.h"
#include "ftptest/TfrmFtpProfileEdit.h"
#include "helpers/TFindWidget.h"
#include "helpers/THiveText.h"
#include "helpers/TScriptedDialogs.h"
#include "helpers/TTestEnvironment.h"
#include "history/TfrmHistoryEntry.h"
#include "platform/TAnsiCodec.h"
#include "platform/TApplication.h"
#include "platform/TShell.h"
#include "settings/TSettingsPage.h"
#include "support/TAboutBox1.h"
#include "support/TErrorLog.h"
#include "support/THelpWindow.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSet>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <cmath>

class TfrmMainTest : public TZephynTest {
protected:
    void SetUp() override {
        TZephynTest::SetUp();
        WriteOneRecordHistory();
    }
};

TEST_F(TfrmMainTest, StartsOnTheWindows98SampleShowingItsProfile) {
    LocalAddresses = {QStringLiteral("127.20.30.40")};
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    EXPECT_EQ(frm.windowTitle(), QStringLiteral("Zephyn for Windows [Freeware]"));
    QTabWidget* pages = FindWidget<QTabWidget>(&frm, "PageControl1");
    // The Performance page exists, but its tab is not in the row.
    ASSERT_EQ(pages->count(), 4);
    const QStringList names{"tabshtSettings", "tabshtTesting", "tabshtHistory", "tabshtAnalysis"};
    const QStringList captions{"Settings", "Testing", "History", "Analysis"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pages->widget(i)->objectName(), names[i]);
        EXPECT_EQ(pages->tabText(i), captions[i]);
    }
    ASSERT_TRUE(frm.findChild<QWidget*>(QStringLiteral("tabshtPerformance")));
    EXPECT_FALSE(frm.findChild<QWidget*>(QStringLiteral("tabshtPerformance"))->isVisible());
    EXPECT_EQ(pages->currentIndex(), 0);
    const QStringList buttons{"btnDefaults", "btnCalc",  "btnOptimal", "btnPPP",
                              "btnSave",     "btnAbout", "btnHelp",    "btnClose"};
    const QStringList texts{"Defaults", "Calculate", "Optimal", "PPP",
                            "Save",     "About",     "Help",    "Exit"};
    int lastY = -1;
    for (int i = 0; i < buttons.size(); ++i) {
        QPushButton* b = FindWidget<QPushButton>(&frm, buttons[i].toLatin1().constData());
        ASSERT_NE(b, nullptr) << buttons[i].toStdString();
        EXPECT_EQ(b->text().remove(u'&'), texts[i]);
        EXPECT_GT(b->y(), lastY);
        lastY = b->y();
    }
    ASSERT_NE(FindWidget<QStatusBar>(&frm, "StatusBar1"), nullptr);

    QComboBox* selector = FindWidget<QComboBox>(frm.tabshtSettings(), "cbActiveProfile");
    EXPECT_EQ(selector->count(), 1);
    EXPECT_EQ(selector->currentText(), QStringLiteral("..\\NetTrans\\0000"));
    EXPECT_EQ(selector->accessibleName(), QStringLiteral("Profile:"));
    EXPECT_FALSE(selector->toolTip().isEmpty());
    // The keyboard starts at the profile; the tab row has a name.
    EXPECT_EQ(frm.focusWidget(), selector);
    EXPECT_EQ(pages->tabBar()->accessibleName(), QStringLiteral("Pages"));
    // The single dynamic profile got this computer's address.
    EXPECT_EQ(FindWidget<QLineEdit>(frm.tabshtSettings(), "ebIPAddress")->text(),
              QStringLiteral("127.20.30.40"));
    EXPECT_TRUE(FindWidget<QLineEdit>(frm.tabshtSettings(), "ebIPAddress")->isReadOnly());
    EXPECT_FALSE(data.Parameters.SettingsChanged);
    EXPECT_EQ(data.Parameters.NdiCacheSize, QStringLiteral("32"));
    EXPECT_TRUE(Dialogs().Shown().empty());
    Dialogs().Answer(mrOk);
    frm.close();
}

TEST_F(TfrmMainTest, NoProfileAnsweredNoEndsTheProgramWithNothingFurther) {
    UseSample(QStringLiteral("win95.reg"));
    WriteHive(THKey::HKEY_LOCAL_MACHINE, QStringLiteral("[HKEY_LOCAL_MACHINE\\System]\n"));
    Dialogs().Answer(mrNo);
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    EXPECT_TRUE(Application->Terminated());
    ASSERT_EQ(Dialogs().Shown().size(), 1u);
    EXPECT_TRUE(
        Dialogs().Shown()[0].Text.startsWith(QStringLiteral("There were no Dialup Networking")));
    EXPECT_EQ(data.Parameters.ProfileCount, -1);
    EXPECT_EQ(FindWidget<QComboBox>(frm.tabshtSettings(), "cbActiveProfile")->count(), 0);
}

TEST_F(TfrmMainTest, NoProfileAnsweredYesDisablesTheProfileControls) {
    WriteHive(THKey::HKEY_LOCAL_MACHINE, QStringLiteral("[HKEY_LOCAL_MACHINE\\System]\n"));
    Dialogs().Answer(mrYes);
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    EXPECT_FALSE(Application->Terminated());
    EXPECT_FALSE(FindWidget<QComboBox>(frm.tabshtSettings(), "cbActiveProfile")->isEnabled());
    EXPECT_FALSE(FindWidget<QLineEdit>(frm.tabshtSettings(), "ebIPAddress")->isEnabled());
    Dialogs().Answer(mrOk);
    frm.close();
}

TEST_F(TfrmMainTest, AFailureDuringShowAbandonsItAndGoesToTheErrorLog) {
    WriteHive(
        THKey::HKEY_LOCAL_MACHINE,
        QStringLiteral(
            "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000]\n"
            "\"DriverDesc\"=\"TCP/IP\"\n\"IPAddress\"=\"127.9.9.9\"\n"
            "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VxD\\MSTCP]\n"
            "\"DefaultTTL\"=\"abc\"\n"));
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    EXPECT_TRUE(Dialogs().Shown().empty()); // logged, never shown
    EXPECT_TRUE(
        ErrorLogText().endsWith(QStringLiteral(" : 'abc' is not a valid integer value\r\n")));
    // The rest of the start-up display did not run.
    EXPECT_EQ(FindWidget<QLineEdit>(frm.tabshtSettings(), "ebIPAddress")->text(), QString());
    EXPECT_EQ(FindWidget<QComboBox>(frm.tabshtSettings(), "cbActiveProfile")->count(), 1);
    Dialogs().Answer(mrOk);
    frm.close();
}

TEST_F(TfrmMainTest, AHostNameFailureAbandonsTheStartUpDisplay) {
    HostNameFails = true;
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    EXPECT_TRUE(ErrorLogText().endsWith(QStringLiteral(" : Winsock.GetHostName failed\r\n")));
    EXPECT_EQ(FindWidget<QComboBox>(frm.tabshtSettings(), "cbActiveProfile")->count(), 0);
    Dialogs().Answer(mrOk);
    frm.close();
}

TEST_F(TfrmMainTest, ClosingAsksOnlyToTerminateAndCancelKeepsTheWindow) {
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    Dialogs().Answer(mrCancel);
    QTest::mouseClick(FindWidget<QPushButton>(&frm, "btnClose"), Qt::LeftButton);
    EXPECT_TRUE(frm.isVisible());
    // Ctrl+Q is Exit too.
    frm.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frm));
    Dialogs().Answer(mrOk);
    QTest::keyClick(&frm, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(frm.isVisible());
    EXPECT_EQ(Dialogs().ShownTexts(), (QStringList{QStringLiteral("Terminate Zephyn Now?"),
                                                   QStringLiteral("Terminate Zephyn Now?")}));
    EXPECT_EQ(Dialogs().Shown()[0].Buttons, TMsgDlgButtons::mbOKCancel);
    EXPECT_EQ(Dialogs().Shown()[0].Type, TMsgDlgType::mtConfirmation);
}

TEST_F(TfrmMainTest, WindowPlacementIsKeptPerUser) {
    {
        TdataMain data;
        TfrmMain frm(data);
        frm.show();
        frm.move(40, 30);
        Dialogs().Answer(mrOk);
        frm.close();
    }
    TRegistry reg(THKey::HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("Software\\Brindlecove\\Zephyn\\Form"), false));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Left")), 40);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Top")), 30);
    reg.CloseKey();
    QSize natural;
    {
        TdataMain data;
        TfrmMain frm(data);
        frm.show();
        EXPECT_EQ(frm.pos(), QPoint(40, 30));
        natural = frm.size();
        // A run on a small screen or at a large scale leaves a cramped size behind.
        frm.resize(natural / 2);
        Dialogs().Answer(mrOk);
        frm.close();
    }
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    EXPECT_EQ(frm.pos(), QPoint(40, 30));
    EXPECT_EQ(frm.size(), natural);
    Dialogs().Answer(mrOk);
    frm.close();
}

TEST_F(TfrmMainTest, HelpOpensTheManualAtItsTopics) {
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    QTest::mouseClick(FindWidget<QPushButton>(&frm, "btnHelp"), Qt::LeftButton);
    THelpWindow* help = frm.HelpWindow();
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->Browser()->source().fragment(), QStringLiteral("topic20"));
    EXPECT_TRUE(help->Browser()->toPlainText().contains(QStringLiteral("Settings")));
    QApplication::setActiveWindow(&frm);
    // Every section has an id of its own, and the contents list reaches each page's.
    QFile manual(QStringLiteral(":/help/Zephyn.html"));
    ASSERT_TRUE(manual.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(manual.readAll());
    QStringList ids;
    for (const auto& m : QRegularExpression(QStringLiteral("id=\"([^\"]+)\"")).globalMatch(html))
        ids << m.captured(1);
    EXPECT_EQ(ids.size(), QSet<QString>(ids.begin(), ids.end()).size())
        << ids.join(u' ').toStdString();
    for (const auto& m : QRegularExpression(QStringLiteral("href=\"#([^\"]+)\"")).globalMatch(html))
        EXPECT_TRUE(ids.contains(m.captured(1))) << m.captured(1).toStdString();
    for (const char* section :
         {"settings", "testing", "topic90", "history", "analysis", "performance"})
        EXPECT_TRUE(html.contains(QStringLiteral("href=\"#%1\"").arg(QLatin1String(section))))
            << section;
    // F1 opens the section of the page in front.
    QTest::keyClick(&frm, Qt::Key_F1);
    EXPECT_EQ(help->Browser()->source().fragment(), QStringLiteral("settings"));
    FindWidget<QTabWidget>(&frm, "PageControl1")->setCurrentWidget(frm.tabshtTesting());
    QApplication::setActiveWindow(&frm);
    QTest::keyClick(&frm, Qt::Key_F1);
    EXPECT_EQ(help->Browser()->source().fragment(), QStringLiteral("testing"));
    QTest::mouseClick(help->findChild<QToolButton*>(QStringLiteral("HelpBack")), Qt::LeftButton);
    // Back returns to the first topic; Escape closes the window.
    QTest::mouseClick(help->findChild<QToolButton*>(QStringLiteral("HelpBack")), Qt::LeftButton);
    EXPECT_EQ(help->Browser()->source().fragment(), QStringLiteral("topic20"));
    help->activateWindow();
    QApplication::setActiveWindow(help);
    QTest::keyClick(help, Qt::Key_Escape);
    EXPECT_FALSE(help->isVisible());
    Dialogs().Answer(mrOk);
    frm.close();
}

TEST_F(TfrmMainTest, AboutShowsTheVersionAndOpensTheMakersPages) {
    QStringList opened;
    // The web site opens; no browser can be had for the FAQ: its address is shown.
    TShell::SetUrlOpener([&](const QString& url) {
        opened << url;
        return url == TAboutBox1::WebSiteUrl;
    });
    Dialogs().Answer(mrOk);
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    // Acts on the box once it runs modally (bounded: the test fails rather than hangs).
    int tries = 0;
    std::function<void()> driveBox = [&] {
        TAboutBox1* box = frm.AboutBox();
        if (QApplication::activeModalWidget() != box) {
            if (++tries < 200)
                QTimer::singleShot(10, driveBox);
            return;
        }
        EXPECT_EQ(box->windowTitle(), QStringLiteral("About Zephyn"));
        EXPECT_EQ(FindWidget<QLabel>(box, "lblVersion")->text(),
                  QStringLiteral("Version " ZEPHYN_TEST_VERSION));
        QTest::mouseClick(FindWidget<QPushButton>(box, "btnWebSite"), Qt::LeftButton);
        QTest::mouseClick(FindWidget<QPushButton>(box, "btnSupport"), Qt::LeftButton);
        QTest::mouseClick(FindWidget<QPushButton>(box, "OKButton"), Qt::LeftButton);
    };
    QTimer::singleShot(0, driveBox);
    QTest::mouseClick(FindWidget<QPushButton>(&frm, "btnAbout"), Qt::LeftButton);
    EXPECT_EQ(opened, (QStringList{TAboutBox1::WebSiteUrl, TAboutBox1::FaqUrl}));
    ASSERT_EQ(Dialogs().Shown().size(), 1u);
    EXPECT_TRUE(Dialogs().Shown()[0].Text.contains(TAboutBox1::FaqUrl));
    TShell::SetUrlOpener(nullptr);
    Dialogs().Answer(mrOk);
    frm.close();
}

TEST_F(TfrmMainTest, AnEmptyHistoryGetsOneInitialRecordPerProfile) {
    QFile::remove(DataDir() + QStringLiteral("/hist.dat"));
    WriteHive(
        THKey::HKEY_LOCAL_MACHINE,
        HiveText::Binding(QStringLiteral("0000"), QStringLiteral("TCP/IP"),
                          QStringLiteral("\"MaxMTU\"=\"576\"")) +
            HiveText::Binding(QStringLiteral("0003"), QStringLiteral("TCP/IP")) +
            HiveText::Mstcp(QStringLiteral("\"DefaultRcvWindow\"=\"2144\"\n"
                                           "\"DefaultMSS\"=\"536\"\n\"PMTUDiscovery\"=\"1\"")));
    Dialogs().Answer(mrOk);
    {
        TdataMain data;
        TfrmMain frm(data);
        frm.show();
        EXPECT_EQ(
            Dialogs().ShownTexts(),
            QStringList{QStringLiteral(
                "Zephyn found that your history file was empty. Therefore\r\nyour current "
                "settings have been saved to history records\r\nto preserve the settings and "
                "to provide a baseline for\r\nyour analysis. You can edit them and should add "
                "your avg\r\ncurrent download throughput values.")});
        EXPECT_EQ(Dialogs().Shown()[0].Type, TMsgDlgType::mtInformation);
        const THistory& history = data.History;
        ASSERT_EQ(history.Count(), 2);
        ASSERT_EQ(history.rowCount(), 2);
        for (int i = 0; i < 2; ++i) {
            const HistoryRecord& r = history.Record(i);
            EXPECT_EQ(r.EntryName(), QStringLiteral("08 Dec 2026 Initial"));
            EXPECT_EQ(r.RWIN(), QStringLiteral("2144"));
            EXPECT_EQ(r.MSS(), QStringLiteral("536"));
            EXPECT_EQ(r.TTL(), QStringLiteral("0"));
            EXPECT_EQ(r.NDICache(), QStringLiteral("0"));
            EXPECT_TRUE(r.MTUDiscover());
            EXPECT_EQ(r.Throughput(), 0);
            EXPECT_EQ(r.Comment().size(), 162);
        }
        EXPECT_EQ(history.Record(0).Profile(), QStringLiteral("0000"));
        EXPECT_EQ(history.Record(0).ProfileCopy(), QStringLiteral("0000"));
        EXPECT_EQ(history.Record(0).MaxMTU(), QStringLiteral("576"));
        // The second profile was shown before its record was made: its empty MTU became "-1".
        EXPECT_EQ(history.Record(1).Profile(), QStringLiteral("0003"));
        EXPECT_EQ(history.Record(1).MaxMTU(), QStringLiteral("-1"));
        EXPECT_EQ(history.Record(1).IPMTU(), QStringLiteral("-1"));
        EXPECT_EQ(FindWidget<QComboBox>(frm.tabshtSettings(), "cbActiveProfile")->currentIndex(),
                  1);
        EXPECT_EQ(history.HistoryRowTexts(0),
                  (QStringList{"08 Dec 2026 Initial", "0000", "576", "2144", "536", "0", "Yes",
                               "No", "0", "0", history.Record(0).Comment()}));
    }
    // Written when the program ends.
    QFile f(DataDir() + QStringLiteral("/hist.dat"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.size(), 2 * 384);
}

TEST_F(TfrmMainTest, WithoutProfilesOrOnNtTheBaselineIsGlobalOrWithoutNdiCache) {
    QFile::remove(DataDir() + QStringLiteral("/hist.dat"));
    WriteHive(THKey::HKEY_LOCAL_MACHINE, HiveText::Mstcp(QStringLiteral("\"DefaultTTL\"=\"32\"")));
    Dialogs().Answer(mrYes);
    Dialogs().Answer(mrOk);
    {
        TdataMain data;
        TfrmMain frm(data);
        frm.show();
        ASSERT_EQ(data.History.Count(), 1);
        const HistoryRecord& r = data.History.Record(0);
        EXPECT_EQ(r.EntryName(), QStringLiteral("08 Dec 2026 Global"));
        EXPECT_EQ(r.Profile(), QStringLiteral("<global only>"));
        EXPECT_EQ(r.ProfileCopy(), QString());
        EXPECT_EQ(r.MaxMTU(), QStringLiteral("-1"));
        EXPECT_EQ(r.TTL(), QStringLiteral("32"));
        EXPECT_EQ(r.Comment(), QString());
    }
    QFile::remove(DataDir() + QStringLiteral("/hist.dat"));
    Dialogs().Clear();
    UseSample(QStringLiteral("nt4.reg"));
    Dialogs().Answer(mrOk);
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    ASSERT_EQ(data.History.Count(), 2);
    EXPECT_EQ(data.History.Record(0).Profile(), QStringLiteral("NdisWan4"));
    EXPECT_EQ(data.History.Record(1).NDICache(), QStringLiteral("-2"));
    EXPECT_EQ(data.History.CellText(1, 8), QStringLiteral("n/a"));
}

TEST_F(TfrmMainTest, RowsReadAtStartShowIpmtuWhileItIsInUse) {
    HistoryRecord stored;
    stored.SetEntryName(QStringLiteral("kept"));
    stored.SetMaxMTU(QStringLiteral("576"));
    stored.SetIPMTU(QStringLiteral("1002"));
    QFile f(DataDir() + QStringLiteral("/hist.dat"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(stored.Bytes(), HistoryRecord::Size);
    f.close();
    WriteHive(THKey::HKEY_LOCAL_MACHINE,
              HiveText::Binding(QStringLiteral("0000"), QStringLiteral("TCP/IP")) +
                  QStringLiteral("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\"
                                 "NetTrans\\0000\\IPMTU]\n\n"));
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    EXPECT_TRUE(Dialogs().Shown().empty());
    ASSERT_EQ(data.History.rowCount(), 1);
    EXPECT_EQ(data.History.CellText(0, 2), QStringLiteral("1002"));
    data.History.AppendHistoryRecord(stored);
    EXPECT_EQ(data.History.rowCount(), 2);
    EXPECT_EQ(data.History.CellText(1, 2), QStringLiteral("576"));
}

TEST_F(TfrmMainTest, UnsavedSettingsAreOfferedForSavingAtExit) {
    const QString mstcp = QStringLiteral("System\\CurrentControlSet\\Services\\VxD\\MSTCP");
    for (const int answer : {mrNo, mrYes}) {
        TdataMain data;
        TfrmMain frm(data);
        frm.show();
        frm.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frm));
        // A custom MTU still being typed when the window closes counts.
        auto* custom = frm.findChild<QLineEdit*>(QStringLiteral("ebCustomMTU"));
        QTest::mouseClick(frm.findChild<QRadioButton*>(QStringLiteral("radioCustomMTU")),
                          Qt::LeftButton);
        ASSERT_TRUE(custom->hasFocus());
        QTest::keyClicks(custom, QStringLiteral("1200"));
        Dialogs().Answer(mrOk);
        Dialogs().Answer(answer);
        QTest::mouseClick(FindWidget<QPushButton>(&frm, "btnClose"), Qt::LeftButton);
        EXPECT_FALSE(frm.isVisible());
        EXPECT_EQ(Dialogs().ShownTexts(),
                  (QStringList{QStringLiteral("Terminate Zephyn Now?"),
                               QStringLiteral("Settings Changed - Save First?")}));
        EXPECT_EQ(Dialogs().Shown()[1].Buttons, TMsgDlgButtons::mbYesNo);
        EXPECT_EQ(data.Parameters.SettingsChanged, answer == mrNo);
        const auto maxMTU = HiveValue(THKey::HKEY_LOCAL_MACHINE,
                                      QStringLiteral("System\\CurrentControlSet\\Services\\Class\\"
                                                     "NetTrans\\0000"),
                                      QStringLiteral("MaxMTU"));
        ASSERT_TRUE(maxMTU.has_value());
        EXPECT_EQ(maxMTU->Text, answer == mrYes ? QStringLiteral("1200") : QStringLiteral("576"));
        EXPECT_TRUE(HiveValue(THKey::HKEY_LOCAL_MACHINE, mstcp, QStringLiteral("DefaultMSS")));
        Dialogs().Clear();
    }
}

// The whole window opens on the screen's available area, whatever the scale
// (run again on a 1280 x 800 screen at 1x and 2x); the pages scroll instead.
TEST_F(TfrmMainTest, TheWindowOpensWithinTheScreen) {
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    const QRect available = frm.screen()->availableGeometry();
    EXPECT_TRUE(available.contains(frm.frameGeometry()))
        << available.width() << "x" << available.height();
    EXPECT_TRUE(frm.findChild<QScrollArea*>(QStringLiteral("PageScroller")));
    EXPECT_LE(frm.minimumWidth(), available.width());
    EXPECT_LE(frm.minimumHeight(), available.height());
    Dialogs().Answer(mrOk);
    frm.close();
}

// On a dark background the About box's coloured texts turn lighter and keep
// a contrast of 4.5:1 at least.
TEST_F(TfrmMainTest, TheAboutBoxAndTheManualStayReadableOnADarkBackground) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const QPalette before = QApplication::palette();
    QPalette dark = before;
    dark.setColor(QPalette::Window, QColor(0x2a, 0x2a, 0x2a));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(dark);
    {
        TAboutBox1 box;
        const double background = luminance(box.palette().color(QPalette::Window));
        for (const char* name : {"ProductName", "lblVersion"}) {
            const QColor text =
                box.findChild<QLabel*>(QLatin1String(name))->palette().color(QPalette::WindowText);
            EXPECT_GE((luminance(text) + 0.05) / (background + 0.05), 4.5) << name;
        }
    }
    {
        // The manual's links too: the default link colour is dark blue.
        THelpWindow help;
        help.ShowTopic(20);
        const double base = luminance(help.Browser()->palette().color(QPalette::Base));
        int links = 0;
        for (QTextBlock b = help.Browser()->document()->begin(); b.isValid(); b = b.next())
            for (auto it = b.begin(); !it.atEnd(); ++it)
                if (it.fragment().charFormat().isAnchor() && ++links < 5) {
                    const QColor c = it.fragment().charFormat().foreground().color();
                    EXPECT_GE((luminance(c) + 0.05) / (base + 0.05), 4.5) << c.name().toStdString();
                }
        EXPECT_GT(links, 0);
        help.close();
    }
    QApplication::setPalette(before);
}

namespace {

// The mnemonics of a form's visible, enabled controls (a label's counts for
// its buddy) that more than one of them uses: "t: Cus&tom, &Time to Live".
QStringList SharedMnemonics(QWidget* form) {
    QMap<QChar, QStringList> users;
    auto note = [&users](const QString& text) {
        for (qsizetype i = 0; i + 1 < text.size(); ++i) {
            if (text[i] != u'&')
                continue;
            if (text[i + 1] != u'&')
                users[text[i + 1].toLower()] << text;
            ++i;
        }
    };
    for (QWidget* w : form->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(form) || !w->isEnabledTo(form))
            continue;
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            note(b->text());
        else if (auto* g = qobject_cast<QGroupBox*>(w); g && g->isCheckable())
            note(g->title());
        else if (auto* l = qobject_cast<QLabel*>(w);
                 l && l->buddy() && l->buddy()->isVisibleTo(form) && l->buddy()->isEnabledTo(form))
            note(l->text());
    }
    QStringList shared;
    for (auto it = users.cbegin(); it != users.cend(); ++it)
        if (it.value().size() > 1)
            shared << QString(it.key()) + QStringLiteral(": ") +
                          it.value().join(QStringLiteral(", "));
    return shared;
}

} // namespace

TEST_F(TfrmMainTest, NoTwoControlsInSightShareAMnemonic) {
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    QTabWidget* pages = FindWidget<QTabWidget>(&frm, "PageControl1");
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        QApplication::processEvents();
        EXPECT_EQ(SharedMnemonics(&frm), QStringList()) << pages->tabText(i).toStdString();
    }
    TfrmHistoryEntry record(data.Parameters, frm.tabshtSettings(), &frm);
    record.show();
    EXPECT_EQ(SharedMnemonics(&record), QStringList());
    TfrmFtpProfileEdit profile(&frm);
    profile.show();
    EXPECT_EQ(SharedMnemonics(&profile), QStringList());
    frm.AboutBox()->show();
    EXPECT_EQ(SharedMnemonics(frm.AboutBox()), QStringList());
    frm.HelpWindow()->show();
    EXPECT_EQ(SharedMnemonics(frm.HelpWindow()), QStringList());
}
