#include "app/TfrmMain.h"
#include "app/TdataMain.h"
#include "platform/TAnsiCodec.h"
#include "platform/TApplication.h"
#include "platform/TShell.h"
#include "settings/TSettingsPage.h"
#include "support/TAboutBox1.h"
#include "support/TErrorLog.h"
#include "support/THelpWindow.h"
#include "support/TScriptedDialogs.h"
#include "support/TTestEnvironment.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

class TfrmMainTest : public TZephynTest {};

TEST_F(TfrmMainTest, StartsOnTheWindows98SampleShowingItsProfile) {
    LocalAddresses = {QStringLiteral("10.20.30.40")};
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    EXPECT_EQ(frm.windowTitle(), QStringLiteral("Zephyn for Windows [Freeware]"));
    QTabWidget* pages = frm.PageControl1();
    ASSERT_EQ(pages->count(), 5);
    const QStringList names{"tabshtSettings", "tabshtPerformance", "tabshtTesting", "tabshtHistory",
                            "tabshtAnalysis"};
    const QStringList captions{"Settings", "Performance", "Testing", "History", "Analysis"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(pages->widget(i)->objectName(), names[i]);
        EXPECT_EQ(pages->tabText(i), captions[i]);
        EXPECT_EQ(pages->isTabVisible(i), i != 1);
    }
    EXPECT_EQ(pages->currentIndex(), 0);
    const QStringList buttons{"btnDefaults", "btnCalc",  "btnOptimal", "btnPPP",
                              "btnSave",     "btnAbout", "btnHelp",    "btnClose"};
    const QStringList texts{"Defaults", "Calculate", "Optimal", "PPP",
                            "Save",     "About",     "Help",    "Exit"};
    int lastY = -1;
    for (int i = 0; i < buttons.size(); ++i) {
        QPushButton* b = frm.Button(buttons[i].toLatin1().constData());
        ASSERT_NE(b, nullptr) << buttons[i].toStdString();
        EXPECT_EQ(b->text().remove(u'&'), texts[i]);
        EXPECT_GT(b->y(), lastY);
        lastY = b->y();
    }
    ASSERT_NE(frm.StatusBar1(), nullptr);

    QComboBox* selector = frm.tabshtSettings()->cbActiveProfile();
    EXPECT_EQ(selector->count(), 1);
    EXPECT_EQ(selector->currentText(), QStringLiteral("..\\NetTrans\\0000"));
    EXPECT_EQ(selector->accessibleName(), QStringLiteral("Profile:"));
    EXPECT_FALSE(selector->toolTip().isEmpty());
    // The single dynamic profile got this computer's address.
    EXPECT_EQ(frm.tabshtSettings()->ebIPAddress()->text(), QStringLiteral("10.20.30.40"));
    EXPECT_TRUE(frm.tabshtSettings()->ebIPAddress()->isReadOnly());
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
    EXPECT_EQ(frm.tabshtSettings()->cbActiveProfile()->count(), 0);
}

TEST_F(TfrmMainTest, NoProfileAnsweredYesDisablesTheProfileControls) {
    WriteHive(THKey::HKEY_LOCAL_MACHINE, QStringLiteral("[HKEY_LOCAL_MACHINE\\System]\n"));
    Dialogs().Answer(mrYes);
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    EXPECT_FALSE(Application->Terminated());
    EXPECT_FALSE(frm.tabshtSettings()->cbActiveProfile()->isEnabled());
    EXPECT_FALSE(frm.tabshtSettings()->ebIPAddress()->isEnabled());
    Dialogs().Answer(mrOk);
    frm.close();
}

TEST_F(TfrmMainTest, AFailureDuringShowAbandonsItAndGoesToTheErrorLog) {
    WriteHive(
        THKey::HKEY_LOCAL_MACHINE,
        QStringLiteral(
            "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000]\n"
            "\"DriverDesc\"=\"TCP/IP\"\n\"IPAddress\"=\"10.9.9.9\"\n"
            "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VxD\\MSTCP]\n"
            "\"DefaultTTL\"=\"abc\"\n"));
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    EXPECT_TRUE(Dialogs().Shown().empty()); // logged, never shown
    EXPECT_TRUE(
        ErrorLogText().endsWith(QStringLiteral(" : 'abc' is not a valid integer value\r\n")));
    // The rest of the start-up display did not run.
    EXPECT_EQ(frm.tabshtSettings()->ebIPAddress()->text(), QString());
    EXPECT_EQ(frm.tabshtSettings()->cbActiveProfile()->count(), 1);
    Dialogs().Answer(mrOk);
    frm.close();
}

TEST_F(TfrmMainTest, AHostNameFailureAbandonsTheStartUpDisplay) {
    HostNameFails = true;
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    EXPECT_TRUE(ErrorLogText().endsWith(QStringLiteral(" : Winsock.GetHostName failed\r\n")));
    EXPECT_EQ(frm.tabshtSettings()->cbActiveProfile()->count(), 0);
    Dialogs().Answer(mrOk);
    frm.close();
}

TEST_F(TfrmMainTest, ClosingAsksOnlyToTerminateAndCancelKeepsTheWindow) {
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    Dialogs().Answer(mrCancel);
    QTest::mouseClick(frm.Button("btnClose"), Qt::LeftButton);
    EXPECT_TRUE(frm.isVisible());
    Dialogs().Answer(mrOk);
    QTest::mouseClick(frm.Button("btnClose"), Qt::LeftButton);
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
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    EXPECT_EQ(frm.pos(), QPoint(40, 30));
    Dialogs().Answer(mrOk);
    frm.close();
}

TEST_F(TfrmMainTest, HelpOpensTheManualAtItsTopics) {
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    QTest::mouseClick(frm.Button("btnHelp"), Qt::LeftButton);
    THelpWindow* help = frm.HelpWindow();
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->Browser()->source().fragment(), QStringLiteral("topic20"));
    EXPECT_TRUE(help->Browser()->toPlainText().contains(QStringLiteral("Settings")));
    QApplication::setActiveWindow(&frm);
    QTest::keyClick(&frm, Qt::Key_F1);
    EXPECT_EQ(help->Browser()->source().fragment(), QStringLiteral("topic10"));
    Dialogs().Answer(mrOk);
    frm.close();
}

TEST_F(TfrmMainTest, AboutShowsTheVersionAndOpensTheMakersPages) {
    QStringList opened;
    TShell::SetUrlOpener([&](const QString& url) { opened << url; });
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    QTimer::singleShot(0, [&] {
        TAboutBox1* box = frm.AboutBox();
        EXPECT_EQ(box->windowTitle(), QStringLiteral("About Zephyn"));
        EXPECT_EQ(box->lblVersion->text(), QStringLiteral("Version " ZEPHYN_TEST_VERSION));
        QTest::mouseClick(box->btnWebSite, Qt::LeftButton);
        QTest::mouseClick(box->btnSupport, Qt::LeftButton);
        QTest::mouseClick(box->OKButton, Qt::LeftButton);
    });
    QTest::mouseClick(frm.Button("btnAbout"), Qt::LeftButton);
    EXPECT_EQ(opened, (QStringList{TAboutBox1::WebSiteUrl, TAboutBox1::FaqUrl}));
    TShell::SetUrlOpener(nullptr);
    Dialogs().Answer(mrOk);
    frm.close();
}
