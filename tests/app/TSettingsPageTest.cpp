#include "settings/TSettingsPage.h"
#include "app/TdataMain.h"
#include "app/TfrmMain.h"
#include "helpers/TFindWidget.h"
#include "helpers/THiveText.h"
#include "helpers/TScriptedDialogs.h"
#include "helpers/TTestEnvironment.h"
#include "platform/TApplication.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <memory>

using namespace HiveText;

namespace {

// A Windows 98 machine with one dial-up profile and the given values.
QString Win98Machine(const QString& mtu, const QString& mstcp, const QString& more = {}) {
    return Win98Version() +
           Binding(QStringLiteral("0000"), QStringLiteral("TCP/IP"),
                   QStringLiteral("\"IPAddress\"=\"127.7.7.7\"\n\"MaxMTU\"=\"%1\"").arg(mtu)) +
           more + Mstcp(mstcp);
}

const QString Tuned = QStringLiteral("\"DefaultRcvWindow\"=\"2144\"\n\"DefaultTTL\"=\"64\"\n"
                                     "\"DefaultMSS\"=\"536\"");

} // namespace

class TSettingsPageTest : public TZephynTest {
protected:
    void Start(const QString& machine = {}) {
        if (!machine.isEmpty())
            WriteHive(THKey::HKEY_LOCAL_MACHINE, machine);
        WriteOneRecordHistory();
        Data = std::make_unique<TdataMain>();
        Frm = std::make_unique<TfrmMain>(*Data);
        Frm->show();
    }
    void TearDown() override {
        Frm.reset();
        Data.reset();
        TZephynTest::TearDown();
    }
    TParameterSet& Model() { return Data->Parameters; }
    AdapterProfile& Profile() { return *Model().ActiveEntry(); }
    TSettingsPage* Page() { return Frm->tabshtSettings(); }
    template <class T> T* Control(const char* name) { return FindWidget<T>(Frm, name); }
    QRadioButton* Radio(const char* name) { return Control<QRadioButton>(name); }
    QSlider* Multiplier() { return Control<QSlider>("tbRWIN"); }
    QPushButton* Button(const char* name) { return FindWidget<QPushButton>(Frm, name); }
    // The display as the program runs it; what it raises goes to the error log.
    void Display() {
        TApplication::Guard([this] { Page()->cbActiveProfileChange(); });
    }
    // Moves the multiplier as the program does, running its handler.
    void MoveMultiplier(int position) {
        TApplication::SetFromCode([&] { Multiplier()->setValue(position); });
    }
    void ActivateWindow() {
        Frm->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Frm.get()));
    }

    std::unique_ptr<TdataMain> Data;
    std::unique_ptr<TfrmMain> Frm;
};

TEST_F(TSettingsPageTest, ControlsCarryTheirCaptionsLimitsAndHints) {
    Start(Win98Machine(QStringLiteral("576"), Tuned));
    const std::pair<const char*, const char*> captions[] = {
        {"GroupBox1", "TCP/IP Profiles"},
        {"RadioGroup1", "Max Transmission Unit (MTU/IPMTU)"},
        {"radioRemoveMTU", "Unset (use Windows default setting)"},
        {"radio552", "552 (lowest normally needed)"},
        {"radio576", "576 (Optimal setting)"},
        {"radio1002", "1002 (Good with Terminal Servers)"},
        {"radio1500", "1500 (Win95 default value)"},
        {"radioCustomMTU", "Custom (CAREFUL!)"},
        {"Label2", "Profile:"},
        {"Label3", "IP Address:"},
        {"Label8", "TCP MSS Value:"},
        {"Label5", "RWIN Multiplier:"},
        {"Label6", "Calculated RWIN Value:"},
        {"Label7", "TTL Value:"},
        {"lblNdiCache", "NDI CacheSize:"},
        {"cbAutoDiscover", "MTU  Auto Discover"},
        {"cbBlackHole", "MTU Black Hole Detection"},
        {"lblRWINLow", "1"},
        {"lblRWINHigh", "8"},
    };
    for (const auto& [name, caption] : captions) {
        QWidget* w = Control<QWidget>(name);
        ASSERT_NE(w, nullptr);
        QString text;
        if (auto* g = qobject_cast<QGroupBox*>(w))
            text = g->title();
        else if (auto* l = qobject_cast<QLabel*>(w))
            text = l->text();
        else if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        EXPECT_EQ(text.remove(u'&'), QString::fromUtf8(caption)) << name;
    }
    EXPECT_TRUE(Control<QLabel>("Label1")->text().startsWith(
        QStringLiteral("Choose from these DUN TCP/IP profiles that were found in your registry. "
                       "The MTU value here will ONLY affects the displayed profile.")));

    QSpinBox* mss = Control<QSpinBox>("seMSS");
    EXPECT_EQ(mss->minimum(), 0);
    EXPECT_EQ(mss->maximum(), 99999);
    QSlider* rwin = Multiplier();
    EXPECT_EQ(rwin->minimum(), 1);
    EXPECT_EQ(rwin->maximum(), 8);
    EXPECT_EQ(rwin->singleStep(), 1);
    EXPECT_TRUE(Control<QLineEdit>("ebRWIN")->isReadOnly());
    auto items = [](QComboBox* c) {
        QStringList list;
        for (int i = 0; i < c->count(); ++i)
            list << c->itemText(i);
        return list;
    };
    EXPECT_EQ(items(Control<QComboBox>("cbTTL")), (QStringList{"0", "32", "64", "128"}));
    EXPECT_EQ(items(Control<QComboBox>("cbNdiCache")), (QStringList{"0", "16", "32", "64"}));

    // The hints, with their line breaks.
    const QString careful = QStringLiteral("Use caution when setting to non-standard values. It "
                                           "may work\nfor you, but it also may make your "
                                           "connection unuseable.");
    EXPECT_EQ(Radio("radioCustomMTU")->toolTip(), careful);
    EXPECT_EQ(Control<QLineEdit>("ebCustomMTU")->toolTip(), careful);
    EXPECT_EQ(Radio("radioRemoveMTU")->toolTip(),
              QStringLiteral("Choose this to remove the MTU registry entry completely."));
    EXPECT_EQ(Control<QLineEdit>("ebRWIN")->toolTip(),
              QStringLiteral("Current ReceiveWindow setting. Use the bar above to change\nthe "
                             "multiplier (to the current MSS setting) and recalculate."));
    EXPECT_EQ(Button("btnCalc")->toolTip(), QStringLiteral("Click this button to calculate optimal "
                                                           "settings \nbased in the current MTU "
                                                           "setting."));
    EXPECT_TRUE(
        Button("btnPPP")->toolTip().endsWith(QStringLiteral("recommendations\nof RFC879.")));
    EXPECT_TRUE(Button("btnOptimal")
                    ->toolTip()
                    .startsWith(QStringLiteral(
                        "Click this button to calculate optimal settings. \nThese settings")));

    // The custom MTU edit takes at most six digits.
    QLineEdit* custom = Control<QLineEdit>("ebCustomMTU");
    custom->setEnabled(true);
    custom->clear();
    QTest::keyClicks(custom, QStringLiteral("12ab34567"));
    EXPECT_EQ(custom->text(), QStringLiteral("123456"));
}

TEST_F(TSettingsPageTest, TheMtuSelectsItsRadioButtonAndTheCalculateButton) {
    Start(Win98Machine(QStringLiteral("576"), Tuned));
    QLineEdit* custom = Control<QLineEdit>("ebCustomMTU");
    QPushButton* calc = Button("btnCalc");
    EXPECT_TRUE(Radio("radio576")->isChecked());
    EXPECT_TRUE(calc->isEnabled());
    EXPECT_TRUE(custom->text().isEmpty());
    EXPECT_FALSE(custom->isEnabled());
    EXPECT_EQ(FindWidget<QLineEdit>(Page(), "ebIPAddress")->text(), QStringLiteral("127.7.7.7"));

    Profile().MTU = QStringLiteral("1200");
    Display();
    EXPECT_TRUE(Radio("radioCustomMTU")->isChecked());
    EXPECT_EQ(custom->text(), QStringLiteral("1200"));
    EXPECT_TRUE(custom->isEnabled());
    EXPECT_TRUE(calc->isEnabled());

    for (const char* unset : {"-1", ""}) {
        Profile().MTU = QString::fromLatin1(unset);
        Display();
        EXPECT_TRUE(Radio("radioRemoveMTU")->isChecked()) << unset;
        EXPECT_FALSE(calc->isEnabled()) << unset;
        EXPECT_TRUE(custom->text().isEmpty()) << unset;
        EXPECT_FALSE(custom->isEnabled()) << unset;
        EXPECT_EQ(Profile().MTU, QStringLiteral("-1")) << unset;
    }

    // A radio button the display selects runs its handler, as a click would.
    Model().SettingsChanged = false;
    Model().IPMTUInUse = true;
    Profile().MTU = QStringLiteral("1500");
    Display();
    EXPECT_TRUE(Radio("radio1500")->isChecked());
    EXPECT_EQ(Profile().IPMTU, QStringLiteral("1500"));
    EXPECT_TRUE(Model().SettingsChanged);
    // One already selected runs nothing.
    Model().SettingsChanged = false;
    Profile().IPMTU = QStringLiteral("1400");
    Display();
    EXPECT_EQ(Profile().IPMTU, QStringLiteral("1400"));
    EXPECT_FALSE(Model().SettingsChanged);

    // The user's clicks set MTU and, with IPMTU in use, IPMTU.
    QTest::mouseClick(Radio("radio1002"), Qt::LeftButton);
    EXPECT_EQ(Profile().MTU, QStringLiteral("1002"));
    EXPECT_EQ(Profile().IPMTU, QStringLiteral("1002"));
    EXPECT_TRUE(calc->isEnabled());
    EXPECT_TRUE(Model().SettingsChanged);
    QTest::mouseClick(Radio("radioRemoveMTU"), Qt::LeftButton);
    EXPECT_EQ(Profile().MTU, QStringLiteral("-1"));
    EXPECT_EQ(Profile().IPMTU, QStringLiteral("0"));
    EXPECT_FALSE(calc->isEnabled());
}

TEST_F(TSettingsPageTest, AnMtuThatIsNoNumberStopsTheDisplayInTheErrorLog) {
    Start(Win98Machine(QStringLiteral("576"), Tuned));
    Profile().MTU = QStringLiteral("57x");
    Model().MSS = QStringLiteral("777");
    Display();
    EXPECT_TRUE(
        ErrorLogText().endsWith(QStringLiteral(" : '57x' is not a valid integer value\r\n")));
    EXPECT_TRUE(Radio("radio576")->isChecked());
    EXPECT_EQ(Control<QSpinBox>("seMSS")->value(), 536); // the later steps did not run
    EXPECT_TRUE(Dialogs().Shown().empty());

    // Likewise a TTL, after the steps before it ran.
    Profile().MTU = QStringLiteral("576");
    Model().TTL = QStringLiteral("abc");
    Model().AutoDiscover = true;
    Display();
    EXPECT_TRUE(
        ErrorLogText().endsWith(QStringLiteral(" : 'abc' is not a valid integer value\r\n")));
    EXPECT_EQ(Control<QSpinBox>("seMSS")->value(), 777);
    EXPECT_FALSE(Control<QCheckBox>("cbAutoDiscover")->isChecked());
}

TEST_F(TSettingsPageTest, TheMultiplierFollowsRwinOverMssAndRecalculatesOnlyWhenItMoves) {
    Start(Win98Machine(QStringLiteral("576"), Tuned));
    EXPECT_EQ(Multiplier()->value(), 4);
    EXPECT_EQ(Model().RWIN, QStringLiteral("2144"));
    EXPECT_EQ(Control<QLineEdit>("ebRWIN")->text(), QStringLiteral("2144"));

    struct Case {
        int From;
        const char* RWIN;
        const char* MSS;
        int Position;
        const char* After;
    };
    const Case cases[] =
        {
            {4, "64240", "1460", 8, "11680"}, // quotient 44 clamped to 8, the bar moved
            {8, "64240", "1460", 8, "64240"}, // already at 8: RWIN kept
            {4, "8192", "1460", 5, "7300"},   {5, "8192", "1460", 5, "8192"},
            {4, "8760", "0", 1, "0"},         {1, "8760", "0", 1, "0"},
            {3, "0", "536", 1, "536"}, // RWIN unset: the bar goes to 1 and recalculates
            {4, "300", "536", 1, "536"},
        };
    for (const Case& c : cases) {
        MoveMultiplier(c.From);
        Model().RWIN = QString::fromLatin1(c.RWIN);
        Model().MSS = QString::fromLatin1(c.MSS);
        Display();
        const QString label = QStringLiteral("%1/%2 from %3").arg(c.RWIN, c.MSS).arg(c.From);
        EXPECT_EQ(Multiplier()->value(), c.Position) << label.toStdString();
        EXPECT_EQ(Model().RWIN, QString::fromLatin1(c.After)) << label.toStdString();
        EXPECT_EQ(Control<QLineEdit>("ebRWIN")->text(), QString::fromLatin1(c.After))
            << label.toStdString();
    }
    EXPECT_TRUE(ErrorLogText().isEmpty());

    // An MSS that reads as zero without being "0" is a failure, not a crash.
    // (The spin edit already shows 0, so its handler does not replace the text.)
    Model().MSS = QStringLiteral("0");
    Display();
    ASSERT_EQ(Control<QSpinBox>("seMSS")->value(), 0);
    Model().RWIN = QStringLiteral("8760");
    Model().MSS = QStringLiteral("00");
    Display();
    EXPECT_TRUE(ErrorLogText().endsWith(QStringLiteral(" : Division by zero\r\n")));
}

TEST_F(TSettingsPageTest, MovingTheMultiplierIsNoChangeToSave) {
    Start(Win98Machine(QStringLiteral("576"), Tuned));
    EXPECT_FALSE(Model().SettingsChanged);
    Multiplier()->setFocus();
    QTest::keyClick(Multiplier(), Qt::Key_Right);
    EXPECT_EQ(Multiplier()->value(), 5);
    EXPECT_EQ(Model().RWIN, QStringLiteral("2680"));
    EXPECT_EQ(Control<QLineEdit>("ebRWIN")->text(), QStringLiteral("2680"));
    EXPECT_FALSE(Model().SettingsChanged);
    Dialogs().Answer(mrOk);
    QTest::mouseClick(Button("btnClose"), Qt::LeftButton);
    EXPECT_EQ(Dialogs().ShownTexts(), QStringList{QStringLiteral("Terminate Zephyn Now?")});
}

TEST_F(TSettingsPageTest, TheMssSpinEditRunsItsHandlerOnlyWhenItsValueChanges) {
    // The start-up display changes the spin edit and so raises the flag;
    // the end of start-up clears it.
    Start(Win98Machine(QStringLiteral("576"), Tuned));
    QSpinBox* mss = Control<QSpinBox>("seMSS");
    EXPECT_EQ(mss->value(), 536);
    EXPECT_FALSE(Model().SettingsChanged);
    Display();
    EXPECT_FALSE(Model().SettingsChanged);

    Model().MSS = QStringLiteral("1460");
    Display();
    EXPECT_TRUE(Model().SettingsChanged);
    // RWIN is not recomputed by the MSS: the multiplier stays where 2144/1460 puts it.
    EXPECT_EQ(Multiplier()->value(), 1);
    EXPECT_EQ(Model().RWIN, QStringLiteral("1460"));

    // The value is clamped first, then stored by the handler.
    Model().MSS = QStringLiteral("123456");
    Display();
    EXPECT_EQ(mss->value(), 99999);
    EXPECT_EQ(Model().MSS, QStringLiteral("99999"));
    Model().MSS = QStringLiteral("abc");
    Display();
    EXPECT_EQ(mss->value(), 0);
    EXPECT_EQ(Model().MSS, QStringLiteral("0"));

    Model().SettingsChanged = false;
    mss->setFocus();
    mss->selectAll();
    QTest::keyClicks(mss, QStringLiteral("1002"));
    EXPECT_EQ(Model().MSS, QStringLiteral("1002"));
    EXPECT_TRUE(Model().SettingsChanged);
}

TEST_F(TSettingsPageTest, ListsRunTheirHandlersOnlyForTheUsersChoice) {
    Start(Win98Machine(QStringLiteral("576"), QStringLiteral("\"DefaultTTL\"=\"100\"")));
    QComboBox* ttl = Control<QComboBox>("cbTTL");
    QComboBox* ndi = Control<QComboBox>("cbNdiCache");
    EXPECT_EQ(ttl->currentText(), QStringLiteral("0"));
    EXPECT_EQ(Model().TTL, QStringLiteral("100"));
    EXPECT_EQ(ndi->currentText(), QStringLiteral("0")); // no NWLink key: "0"
    ttl->setCurrentIndex(2);
    ndi->setCurrentIndex(3);
    EXPECT_EQ(Model().TTL, QStringLiteral("100"));
    EXPECT_EQ(Model().NdiCacheSize, QStringLiteral("0"));
    EXPECT_FALSE(Model().SettingsChanged);

    ttl->setCurrentIndex(0);
    ttl->setFocus();
    QTest::keyClick(ttl, Qt::Key_Down);
    EXPECT_EQ(Model().TTL, QStringLiteral("32"));
    EXPECT_TRUE(Model().SettingsChanged);
    ndi->setFocus();
    QTest::keyClick(ndi, Qt::Key_Up);
    EXPECT_EQ(Model().NdiCacheSize, QStringLiteral("32"));

    // An NDI cache size the list does not have leaves its selection alone.
    Model().NdiCacheSize = QStringLiteral("48");
    Display();
    EXPECT_EQ(ndi->currentText(), QStringLiteral("32"));
    EXPECT_EQ(Model().NdiCacheSize, QStringLiteral("48"));
}

TEST_F(TSettingsPageTest, CheckBoxesRunTheirHandlersWhenTheirStateChanges) {
    Start(Win98Machine(QStringLiteral("576"), Tuned));
    QCheckBox* discover = Control<QCheckBox>("cbAutoDiscover");
    QCheckBox* blackHole = Control<QCheckBox>("cbBlackHole");
    Model().AutoDiscover = true;
    Display();
    EXPECT_TRUE(discover->isChecked());
    EXPECT_TRUE(Model().SettingsChanged);
    Model().SettingsChanged = false;
    QTest::mouseClick(blackHole, Qt::LeftButton);
    EXPECT_TRUE(Model().BlackHole);
    EXPECT_TRUE(Model().SettingsChanged);
    QTest::mouseClick(discover, Qt::LeftButton);
    EXPECT_FALSE(Model().AutoDiscover);
}

TEST_F(TSettingsPageTest, TheCustomMtuIsTakenWhenTheUserLeavesTheEdit) {
    Start(Win98Machine(QStringLiteral("576"), Tuned,
                       QStringLiteral("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\"
                                      "Class\\NetTrans\\0000\\IPMTU]\n\n")));
    ActivateWindow();
    ASSERT_TRUE(Model().IPMTUInUse);
    QLineEdit* custom = Control<QLineEdit>("ebCustomMTU");
    QTest::mouseClick(Radio("radioCustomMTU"), Qt::LeftButton);
    EXPECT_TRUE(custom->isEnabled());
    EXPECT_TRUE(custom->hasFocus());
    EXPECT_EQ(custom->text(), QStringLiteral("576"));
    EXPECT_EQ(custom->selectedText(), QStringLiteral("576"));
    EXPECT_EQ(Profile().MTU, QStringLiteral("576")); // taken only on leaving
    EXPECT_TRUE(Model().SettingsChanged);

    QTest::keyClicks(custom, QStringLiteral("1200"));
    QTest::keyClick(custom, Qt::Key_Tab);
    EXPECT_FALSE(custom->hasFocus());
    EXPECT_EQ(Profile().MTU, QStringLiteral("1200"));
    EXPECT_EQ(Profile().IPMTU, QStringLiteral("1200"));

    // An edit left empty becomes an unset MTU at the next display.
    custom->setFocus();
    custom->clear();
    QTest::keyClick(custom, Qt::Key_Backspace);
    QTest::mouseClick(Radio("radioCustomMTU"), Qt::LeftButton);
    EXPECT_EQ(Profile().MTU, QString());
    Display();
    EXPECT_TRUE(Radio("radioRemoveMTU")->isChecked());
    EXPECT_EQ(Profile().MTU, QStringLiteral("-1"));
}

TEST_F(TSettingsPageTest, TheCustomEditTakesTheFocusOnlyOnTheShownPage) {
    Start(Win98Machine(QStringLiteral("576"), Tuned));
    ActivateWindow();
    QLineEdit* custom = Control<QLineEdit>("ebCustomMTU");
    Frm->SetActivePage(FindWidget<QTabWidget>(Frm, "PageControl1")->widget(2));
    QWidget* before = QApplication::focusWidget();
    Profile().MTU = QStringLiteral("1300");
    Display();
    EXPECT_TRUE(Radio("radioCustomMTU")->isChecked());
    EXPECT_EQ(custom->text(), QStringLiteral("1300"));
    EXPECT_EQ(QApplication::focusWidget(), before);
    EXPECT_FALSE(custom->hasFocus());
}

TEST_F(TSettingsPageTest, SwitchingPagesEnablesTheSettingsButtonsOnlyOnTheSettingsPage) {
    Start(Win98Machine(QStringLiteral("576"), Tuned));
    const char* settingsButtons[] = {"btnDefaults", "btnCalc", "btnOptimal", "btnPPP", "btnSave"};
    for (const char* name : settingsButtons)
        EXPECT_TRUE(Button(name)->isEnabled()) << name;
    QTabBar* tabs = FindWidget<QTabWidget>(Frm, "PageControl1")->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
    ASSERT_EQ(FindWidget<QTabWidget>(Frm, "PageControl1")->currentIndex(), 3);
    for (const char* name : settingsButtons)
        EXPECT_FALSE(Button(name)->isEnabled()) << name;
    for (const char* name : {"btnAbout", "btnHelp", "btnClose"})
        EXPECT_TRUE(Button(name)->isEnabled()) << name;

    Profile().MTU = QStringLiteral("-1");
    Display();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    EXPECT_TRUE(Button("btnSave")->isEnabled());
    EXPECT_FALSE(Button("btnCalc")->isEnabled());
}

TEST_F(TSettingsPageTest, CalculateDerivesMssAndRwinFromTheMtu) {
    Start(Win98Machine(QStringLiteral("576"), QStringLiteral("\"DefaultMSS\"=\"1000\"\n"
                                                             "\"DefaultRcvWindow\"=\"8000\"")));
    QPushButton* calc = Button("btnCalc");
    struct Case {
        const char* MTU;
        const char* MSS;
        const char* RWIN;
    };
    for (const Case& c :
         {Case{"576", "536", "2144"}, Case{"1500", "1460", "5840"}, Case{"552", "512", "2048"}}) {
        Profile().MTU = QString::fromLatin1(c.MTU);
        Display();
        Model().SettingsChanged = false;
        QTest::mouseClick(calc, Qt::LeftButton);
        EXPECT_EQ(Model().MSS, QString::fromLatin1(c.MSS)) << c.MTU;
        EXPECT_EQ(Model().RWIN, QString::fromLatin1(c.RWIN)) << c.MTU;
        EXPECT_EQ(Multiplier()->value(), 4) << c.MTU;
        EXPECT_EQ(Control<QSpinBox>("seMSS")->value(), QString::fromLatin1(c.MSS).toInt());
        // The display's spin edit raised it, not the button.
        EXPECT_TRUE(Model().SettingsChanged) << c.MTU;
    }
    Model().SettingsChanged = false;
    QTest::mouseClick(calc, Qt::LeftButton);
    EXPECT_FALSE(Model().SettingsChanged);

    // With IPMTU in use, IPMTU is the MTU calculated from.
    Model().IPMTUInUse = true;
    Profile().IPMTU = QStringLiteral("1002");
    QTest::mouseClick(calc, Qt::LeftButton);
    EXPECT_EQ(Model().MSS, QStringLiteral("962"));
    Model().IPMTUInUse = false;

    // An MTU that is no number changes nothing and goes to the log.
    Profile().MTU = QStringLiteral("9x");
    QTest::mouseClick(calc, Qt::LeftButton);
    EXPECT_EQ(Model().MSS, QStringLiteral("962"));
    EXPECT_TRUE(
        ErrorLogText().endsWith(QStringLiteral(" : '9x' is not a valid integer value\r\n")));

    // An unset MTU is refused with the warning, and the button turns off.
    Profile().MTU = QStringLiteral("-1");
    Dialogs().Answer(mrOk);
    QTest::mouseClick(calc, Qt::LeftButton);
    ASSERT_EQ(Dialogs().Shown().size(), 1u);
    EXPECT_EQ(Dialogs().Shown()[0].Text,
              QStringLiteral("Cannot calculate settings based on MTU when it\r\nhas been selected "
                             "for removal"));
    EXPECT_EQ(Dialogs().Shown()[0].Type, TMsgDlgType::mtWarning);
    EXPECT_EQ(Dialogs().Shown()[0].Buttons, TMsgDlgButtons::mbOK);
    EXPECT_FALSE(calc->isEnabled());
    EXPECT_EQ(Model().MSS, QStringLiteral("962"));
}

TEST_F(TSettingsPageTest, OptimalAndPppApplyTheirPresetsToTheActiveProfileOnly) {
    Start(Win98Version() +
          Binding(QStringLiteral("0000"), QStringLiteral("TCP/IP"),
                  QStringLiteral("\"MaxMTU\"=\"1500\"")) +
          Binding(QStringLiteral("0001"), QStringLiteral("TCP/IP"),
                  QStringLiteral("\"MaxMTU\"=\"1002\"")) +
          Mstcp(QStringLiteral("\"DefaultRcvWindow\"=\"8760\"\n\"DefaultTTL\"=\"64\"\n"
                               "\"DefaultMSS\"=\"1460\"\n\"PMTUDiscovery\"=\"1\"\n"
                               "\"PMTUBlackHoleDetect\"=\"1\"")));
    QTest::mouseClick(Button("btnOptimal"), Qt::LeftButton);
    EXPECT_TRUE(Radio("radio576")->isChecked());
    EXPECT_EQ(Model().Profiles[0].MTU, QStringLiteral("576"));
    EXPECT_EQ(Model().Profiles[1].MTU, QStringLiteral("1002"));
    EXPECT_EQ(Multiplier()->value(), 4);
    EXPECT_EQ(Model().RWIN, QStringLiteral("2144"));
    EXPECT_EQ(Model().MSS, QStringLiteral("536"));
    EXPECT_EQ(Control<QComboBox>("cbTTL")->currentText(), QStringLiteral("0"));
    EXPECT_EQ(Model().TTL, QStringLiteral("0"));
    EXPECT_EQ(Control<QComboBox>("cbNdiCache")->currentText(), QStringLiteral("16"));
    EXPECT_EQ(Model().NdiCacheSize, QStringLiteral("16"));
    EXPECT_FALSE(Control<QCheckBox>("cbAutoDiscover")->isChecked());
    EXPECT_FALSE(Control<QCheckBox>("cbBlackHole")->isChecked());
    EXPECT_FALSE(Model().AutoDiscover || Model().BlackHole);
    EXPECT_TRUE(Button("btnCalc")->isEnabled());
    EXPECT_TRUE(Model().SettingsChanged);

    // PPP on the second profile.
    QComboBox* selector = FindWidget<QComboBox>(Page(), "cbActiveProfile");
    selector->setFocus();
    QTest::keyClick(selector, Qt::Key_Down);
    ASSERT_EQ(Model().ActiveProfile(), 1);
    EXPECT_TRUE(Radio("radio1002")->isChecked());
    QTest::mouseClick(Button("btnPPP"), Qt::LeftButton);
    EXPECT_EQ(Model().Profiles[1].MTU, QStringLiteral("576"));
    EXPECT_EQ(Multiplier()->value(), 8);
    EXPECT_EQ(Model().RWIN, QStringLiteral("4288"));
    EXPECT_EQ(Control<QComboBox>("cbTTL")->currentText(), QStringLiteral("32"));
    EXPECT_EQ(Model().TTL, QStringLiteral("32"));
    EXPECT_EQ(Control<QComboBox>("cbNdiCache")->currentText(), QStringLiteral("0"));
    EXPECT_EQ(Model().NdiCacheSize, QStringLiteral("0"));
}

TEST_F(TSettingsPageTest, WithoutAProfileOnlyTheGlobalValuesAreEdited) {
    Dialogs().Answer(mrYes);
    Start(Win98Version() + Mstcp(Tuned));
    for (const char* name : {"GroupBox1", "Label1", "Label2", "Label3", "cbActiveProfile",
                             "ebIPAddress", "RadioGroup1", "radioRemoveMTU", "radio552", "radio576",
                             "radio1002", "radio1500", "radioCustomMTU", "ebCustomMTU"})
        EXPECT_FALSE(Control<QWidget>(name)->isEnabled()) << name;
    EXPECT_FALSE(Button("btnCalc")->isEnabled());
    EXPECT_TRUE(Control<QSpinBox>("seMSS")->isEnabled());

    // The MTU handlers change nothing.
    Page()->radioFixedMTUClick(QStringLiteral("552"));
    Page()->radioRemoveMTUClick();
    Page()->radioCustomMTUClick();
    EXPECT_FALSE(Model().SettingsChanged);
    EXPECT_EQ(Model().Profiles[0].MTU, QString());

    QTest::mouseClick(Button("btnPPP"), Qt::LeftButton);
    EXPECT_EQ(Model().RWIN, QStringLiteral("4288"));
    EXPECT_FALSE(Button("btnCalc")->isEnabled());
    QTest::mouseClick(Button("btnOptimal"), Qt::LeftButton);
    EXPECT_EQ(Model().RWIN, QStringLiteral("2144"));
    EXPECT_EQ(Model().TTL, QStringLiteral("0"));
    EXPECT_TRUE(Model().SettingsChanged);
    EXPECT_EQ(Model().Profiles[0].MTU, QString());
    // Enabled, but with nothing to calculate from it does nothing.
    EXPECT_TRUE(Button("btnCalc")->isEnabled());
    Model().MSS = QStringLiteral("100");
    QTest::mouseClick(Button("btnCalc"), Qt::LeftButton);
    EXPECT_EQ(Model().MSS, QStringLiteral("100"));
    ASSERT_EQ(Dialogs().Shown().size(), 1u); // only the reader's question
}

TEST_F(TSettingsPageTest, WindowsNtShowsItsAdaptersAndNoNdiCache) {
    UseSample(QStringLiteral("nt4.reg"));
    Start();
    ASSERT_EQ(Model().Platform, WinNT);
    QComboBox* selector = FindWidget<QComboBox>(Page(), "cbActiveProfile");
    ASSERT_EQ(selector->count(), 2);
    EXPECT_EQ(selector->itemText(0), QStringLiteral("..\\Tcpip\\NdisWan4"));
    EXPECT_EQ(selector->currentIndex(), 0);
    EXPECT_EQ(Model().NdiCacheSize, QStringLiteral("-2"));
    EXPECT_FALSE(Control<QLabel>("lblNdiCache")->isEnabled());
    QComboBox* ndi = Control<QComboBox>("cbNdiCache");
    EXPECT_FALSE(ndi->isEnabled());
    EXPECT_EQ(ndi->currentIndex(), -1);
    EXPECT_TRUE(Radio("radio1500")->isChecked());
    EXPECT_EQ(Control<QComboBox>("cbTTL")->currentText(), QStringLiteral("128"));
    // 8736 / 1460 puts the bar at 5, which recalculates RWIN.
    EXPECT_EQ(Multiplier()->value(), 5);
    EXPECT_EQ(Model().RWIN, QStringLiteral("7300"));
    EXPECT_TRUE(Control<QCheckBox>("cbAutoDiscover")->isChecked());

    QTest::mouseClick(Button("btnOptimal"), Qt::LeftButton);
    QTest::mouseClick(Button("btnPPP"), Qt::LeftButton);
    EXPECT_EQ(Model().NdiCacheSize, QStringLiteral("-2"));
    EXPECT_EQ(ndi->currentIndex(), -1);
    EXPECT_TRUE(ErrorLogText().isEmpty());
}

TEST_F(TSettingsPageTest, EveryControlIsReachableByTabAndByItsMnemonic) {
    Start(Win98Machine(QStringLiteral("1200"), Tuned));
    ActivateWindow();
    // The focus order of the page, as Tab walks it.
    const QStringList expected{"cbActiveProfile", "ebIPAddress", "radioCustomMTU", "ebCustomMTU",
                               "seMSS",           "tbRWIN",      "ebRWIN",         "cbTTL",
                               "cbAutoDiscover",  "cbBlackHole", "cbNdiCache"};
    FindWidget<QComboBox>(Page(), "cbActiveProfile")->setFocus(Qt::TabFocusReason);
    QStringList walked;
    for (int i = 0; i < 40 && walked.size() < expected.size(); ++i) {
        QWidget* w = QApplication::focusWidget();
        ASSERT_NE(w, nullptr);
        // A spin box's focus lands in its inner edit.
        QWidget* named = w->objectName().isEmpty() ? w->parentWidget() : w;
        if (Page()->isAncestorOf(named) && !walked.contains(named->objectName()))
            walked << named->objectName();
        QTest::keyClick(w, Qt::Key_Tab);
        QApplication::processEvents();
    }
    EXPECT_EQ(walked, expected);

    const std::pair<Qt::Key, const char*> mnemonics[] = {
        {Qt::Key_R, "cbActiveProfile"}, {Qt::Key_V, "seMSS"},         {Qt::Key_M, "tbRWIN"},
        {Qt::Key_L, "cbTTL"},           {Qt::Key_N, "cbNdiCache"},    {Qt::Key_E, "ebRWIN"},
        {Qt::Key_I, "ebIPAddress"},     {Qt::Key_A, "cbAutoDiscover"}};
    for (const auto& [key, name] : mnemonics) {
        QTest::keyClick(Frm.get(), key, Qt::AltModifier);
        QWidget* w = QApplication::focusWidget();
        ASSERT_NE(w, nullptr) << name;
        QWidget* named = w->objectName().isEmpty() ? w->parentWidget() : w;
        EXPECT_EQ(named->objectName(), QString::fromLatin1(name));
    }
    // A radio button's mnemonic selects it.
    QTest::keyClick(Frm.get(), Qt::Key_6, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([this] { return Radio("radio576")->isChecked(); }, 2000));
    EXPECT_EQ(Profile().MTU, QStringLiteral("576"));
}

TEST_F(TSettingsPageTest, NothingIsClippedAtTheDefaultFontOrALargerOne) {
    for (int pointSize : {0, 14}) {
        const QFont before = QApplication::font();
        if (pointSize) {
            QFont larger = before;
            larger.setPointSize(pointSize);
            QApplication::setFont(larger);
        }
        Start(Win98Machine(QStringLiteral("576"), Tuned));
        const QSize opened = Frm->size();
        // At its smallest the window scrolls its pages rather than squeeze them.
        Frm->resize(Frm->minimumSize());
        QApplication::processEvents();
        for (QWidget* w : Page()->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(Page()) || w->objectName().startsWith(QLatin1String("qt_")) ||
                w->objectName().isEmpty())
                continue;
            const QSize need = w->minimumSizeHint();
            EXPECT_GE(w->width(), need.width()) << w->objectName().toStdString() << pointSize;
            EXPECT_GE(w->height(), need.height()) << w->objectName().toStdString() << pointSize;
            if (auto* label = qobject_cast<QLabel*>(w); label && label->wordWrap()) {
                EXPECT_GE(w->height(), label->heightForWidth(w->width())) << pointSize;
            }
        }
        if (pointSize == 0) {
            EXPECT_GE(opened.width(), 511);
            EXPECT_GE(opened.height(), 398);
        }
        Frm.reset();
        Data.reset();
        QApplication::setFont(before);
    }
}

TEST_F(TSettingsPageTest, ATypedCustomMtuIsTakenByEveryCommandFromTheKeyboard) {
    Start(Win98Machine(QStringLiteral("576"), Tuned));
    ActivateWindow();
    auto typeMtu = [this](const char* digits) {
        QTest::keyClick(Frm.get(), Qt::Key_T, Qt::AltModifier);
        ASSERT_TRUE(QTest::qWaitFor(
            [this] { return Control<QLineEdit>("ebCustomMTU")->hasFocus(); }, 2000));
        QTest::keyClicks(Control<QLineEdit>("ebCustomMTU"), QLatin1String(digits));
    };
    // Alt+S with the focus still in the number: the typed MTU is the one saved.
    typeMtu("1400");
    Dialogs().Answer(mrYes);
    Dialogs().Answer(mrOk);
    Dialogs().Answer(mrNo);
    Dialogs().Answer(mrOk);
    QTest::keyClick(Frm.get(), Qt::Key_S, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([] { return Dialogs().Shown().size() == 4; }, 2000));
    EXPECT_EQ(
        HiveValue(THKey::HKEY_LOCAL_MACHINE,
                  QStringLiteral("System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000"),
                  QStringLiteral("MaxMTU"))
            ->Text,
        QStringLiteral("1400"));
    // Alt+T again, Custom already selected, goes back to the number; Alt+C
    // then calculates from what was typed.
    QTest::keyClick(Frm.get(), Qt::Key_V, Qt::AltModifier);
    typeMtu("1200");
    QTest::keyClick(Frm.get(), Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([this] { return Model().MSS == QStringLiteral("1160"); }, 2000))
        << Model().MSS.toStdString();
    EXPECT_EQ(Profile().MTU, QStringLiteral("1200"));
}
