#include "history/THistoryPage.h"
#include "app/TdataMain.h"
#include "app/TfrmMain.h"
#include "helpers/TFindWidget.h"
#include "helpers/THiveText.h"
#include "helpers/TScriptedDialogs.h"
#include "helpers/TTestEnvironment.h"
#include "history/TfrmHistoryEntry.h"
#include "settings/TSettingsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

namespace {

HistoryRecord Record(const QString& name, const QString& profile, const QString& mtu) {
    HistoryRecord r;
    r.SetEntryName(name);
    r.SetProfile(profile);
    r.SetProfileCopy(profile);
    r.SetMaxMTU(mtu);
    r.SetIPMTU(mtu);
    r.SetRWIN(QStringLiteral("8192"));
    r.SetTTL(QStringLiteral("32"));
    r.SetMSS(QStringLiteral("1460"));
    r.SetNDICache(QStringLiteral("16"));
    r.SetMTUDiscover(true);
    r.SetThroughput(3100);
    r.SetComment(QStringLiteral("kept"));
    return r;
}

const QString ProfileKey = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\NetTrans\\");
const QString MSTCP = QStringLiteral("System\\CurrentControlSet\\Services\\VxD\\MSTCP");

} // namespace

// The window on the Windows 98 sample (profile 0000: MTU 576, RWIN 2144, TTL
// 64, MSS 536, NDI cache 32) with the given history.
class THistoryPageTest : public TZephynTest {
protected:
    void Start(const std::vector<HistoryRecord>& records) {
        WriteRecords(QStringLiteral("hist.dat"), records);
        Data = std::make_unique<TdataMain>();
        Frm = std::make_unique<TfrmMain>(*Data);
        Frm->show();
        FindWidget<QTabWidget>(Frm, "PageControl1")->setCurrentWidget(Page());
    }
    void TearDown() override {
        Frm.reset();
        Data.reset();
        TZephynTest::TearDown();
    }
    THistoryPage* Page() { return Frm->tabshtHistory(); }
    const THistory& History() { return Data->History; }
    TParameterSet& Model() { return Data->Parameters; }
    void Select(std::initializer_list<int> rows) {
        QItemSelectionModel* s = FindWidget<QTreeView>(Page(), "lvHistory")->selectionModel();
        s->clearSelection();
        for (int row : rows)
            s->select(History().index(row, 0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    template <class T> T* Control(const char* name) {
        return Frm->findChild<T*>(QLatin1String(name));
    }
    QString Value(const QString& key, const QString& name) {
        const auto v = HiveValue(THKey::HKEY_LOCAL_MACHINE, key, name);
        return v ? v->Text : QStringLiteral("<absent>");
    }

    std::unique_ptr<TdataMain> Data;
    std::unique_ptr<TfrmMain> Frm;
};

TEST_F(THistoryPageTest, TheListIsARowPerRecordWithFixedColumnsAndOrder) {
    Start({Record(QStringLiteral("a"), QStringLiteral("0000"), QStringLiteral("576")),
           Record(QStringLiteral("b"), QStringLiteral("0000"), QStringLiteral("1500"))});
    QTreeView* list = FindWidget<QTreeView>(Page(), "lvHistory");
    const QStringList captions{"Entry Name", "Profile",    "MaxMTU",      "RWIN",
                               "MSS",        "TTL",        "MTUDiscover", "BlackHole",
                               "NDI Cache",  "Throughput", "Comment"};
    // The designed widths, grown with the font: a date-stamped name and every
    // caption show whole; numbers are right-aligned.
    const int widths[] = {125, 75, 60, 50, 50, 40, 75, 75, 75, 75, 300};
    const QFontMetrics metrics = list->fontMetrics();
    for (int c = 0; c < 11; ++c) {
        EXPECT_EQ(list->model()->headerData(c, Qt::Horizontal).toString(), captions[c]);
        EXPECT_GE(list->header()->sectionSize(c), widths[c]) << c;
        EXPECT_GE(list->header()->sectionSize(c), metrics.horizontalAdvance(captions[c])) << c;
        const int align = list->model()->data(History().index(0, c), Qt::TextAlignmentRole).toInt();
        EXPECT_EQ(bool(align & Qt::AlignRight), c >= 2 && c <= 5 ? true : c == 8 || c == 9) << c;
    }
    EXPECT_GT(list->header()->sectionSize(0),
              metrics.horizontalAdvance(QStringLiteral("08 Dec 2026 10:40:11")));
    EXPECT_FALSE(list->header()->sectionsClickable());
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(list->toolTip().startsWith(QStringLiteral("Dbl-click to edit.")));
    ASSERT_EQ(list->model()->rowCount(), 2);
    // MSS before TTL, as the columns say.
    EXPECT_EQ(History().HistoryRowTexts(1), (QStringList{"b", "0000", "1500", "8192", "1460", "32",
                                                         "Yes", "No", "16", "3100", "kept"}));
    EXPECT_EQ(FindWidget<QToolButton>(Page(), "sbtnNew")->text(), QStringLiteral("&Add New"));
    for (QToolButton* b : {FindWidget<QToolButton>(Page(), "sbtnEdit"),
                           FindWidget<QToolButton>(Page(), "sbtnRemove"),
                           FindWidget<QToolButton>(Page(), "sbtnUse")})
        EXPECT_FALSE(b->isEnabled());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(History().index(1, 0)).center());
    EXPECT_EQ(Page()->SelectedRows(), QList<int>{1});
    for (QToolButton* b : {FindWidget<QToolButton>(Page(), "sbtnEdit"),
                           FindWidget<QToolButton>(Page(), "sbtnRemove"),
                           FindWidget<QToolButton>(Page(), "sbtnUse")})
        EXPECT_TRUE(b->isEnabled());
}

TEST_F(THistoryPageTest, EditRemoveAndUseNeedExactlyOneSelectedRecord) {
    Start({Record(QStringLiteral("a"), QStringLiteral("0000"), QStringLiteral("576")),
           Record(QStringLiteral("b"), QStringLiteral("0000"), QStringLiteral("1002")),
           Record(QStringLiteral("c"), QStringLiteral("0000"), QStringLiteral("1500"))});
    Select({0, 2});
    for (int i = 0; i < 3; ++i)
        Dialogs().Answer(mrOk);
    Page()->sbtnEditClick();
    Page()->sbtnRemoveClick();
    Page()->sbtnUseClick();
    EXPECT_EQ(Dialogs().ShownTexts(), QStringList(3, "Please select only a single record first"));
    EXPECT_EQ(History().Count(), 3);
    EXPECT_EQ(FindWidget<QTabWidget>(Frm, "PageControl1")->currentWidget(), Page());
    EXPECT_FALSE(Model().SettingsChanged);

    Dialogs().Clear();
    Select({});
    for (int i = 0; i < 3; ++i)
        Dialogs().Answer(mrOk);
    Page()->sbtnEditClick();
    Page()->sbtnRemoveClick();
    Page()->sbtnUseClick();
    EXPECT_EQ(Dialogs().ShownTexts(),
              (QStringList{"Please select a record first", "Please select a record first",
                           "Please select a history record first"}));

    // Remove asks with the record's name; No keeps it, Yes removes that one.
    Dialogs().Clear();
    Select({1});
    Dialogs().Answer(mrNo);
    Dialogs().Answer(mrYes);
    QTest::mouseClick(FindWidget<QToolButton>(Page(), "sbtnRemove"), Qt::LeftButton);
    EXPECT_EQ(History().Count(), 3);
    QTest::mouseClick(FindWidget<QToolButton>(Page(), "sbtnRemove"), Qt::LeftButton);
    EXPECT_EQ(Dialogs().ShownTexts().first(),
              QStringLiteral("Permanently remove the history entry named\r\nb?"));
    ASSERT_EQ(History().Count(), 2);
    EXPECT_EQ(History().Record(1).EntryName(), QStringLiteral("c"));
    EXPECT_EQ(FindWidget<QTreeView>(Page(), "lvHistory")->model()->rowCount(), 2);

    // Delete on the selected row asks the same question.
    Dialogs().Clear();
    Select({0});
    Dialogs().Answer(mrYes);
    QTest::keyClick(FindWidget<QTreeView>(Page(), "lvHistory"), Qt::Key_Delete);
    EXPECT_EQ(Dialogs().ShownTexts(),
              QStringList{QStringLiteral("Permanently remove the history entry named\r\na?")});
    EXPECT_EQ(History().Count(), 1);
}

TEST_F(THistoryPageTest, UseSettingsPutsARecordOnTheSettingsPage) {
    Start({Record(QStringLiteral("std"), QStringLiteral("0000"), QStringLiteral("1002")),
           Record(QStringLiteral("odd"), QStringLiteral("0000"), QStringLiteral("1400")),
           Record(QStringLiteral("gone"), QStringLiteral("0007"), QStringLiteral("576"))});
    const QString entered = QStringLiteral(
        "The settings have been entered on the settings page.\r\nNote that they have NOT yet been "
        "changed in your registry\r\nand will not until you click on the Save button and "
        "then\r\nanswer yes to the confirmation. This is for YOUR protection.");

    // A profile that no longer exists: the warning, the Settings page, nothing changed.
    Select({2});
    Dialogs().Answer(mrOk);
    QTest::mouseClick(FindWidget<QToolButton>(Page(), "sbtnUse"), Qt::LeftButton);
    EXPECT_EQ(Dialogs().ShownTexts(),
              QStringList{QStringLiteral(
                  "Saved profile (..\\NetTrans\\0007) no\r\nlonger exists on your system.")});
    EXPECT_EQ(Dialogs().Shown()[0].Type, TMsgDlgType::mtWarning);
    EXPECT_EQ(FindWidget<QTabWidget>(Frm, "PageControl1")->currentWidget(), Frm->tabshtSettings());
    EXPECT_EQ(Model().Profiles[0].MTU, QStringLiteral("576"));
    EXPECT_FALSE(Model().SettingsChanged);
    // The Settings page's commands follow it, as after any change of page.
    for (const char* name : {"btnDefaults", "btnCalc", "btnOptimal", "btnPPP", "btnSave"})
        EXPECT_TRUE(FindWidget<QPushButton>(Frm, name)->isEnabled()) << name;

    FindWidget<QTabWidget>(Frm, "PageControl1")->setCurrentWidget(Page());
    Dialogs().Clear();
    Select({0});
    Dialogs().Answer(mrOk);
    QTest::mouseClick(FindWidget<QToolButton>(Page(), "sbtnUse"), Qt::LeftButton);
    EXPECT_EQ(Dialogs().ShownTexts(), QStringList{entered});
    EXPECT_TRUE(Control<QRadioButton>("radio1002")->isChecked());
    EXPECT_EQ(Model().Profiles[0].MTU, QStringLiteral("1002"));
    EXPECT_EQ(Control<QSpinBox>("seMSS")->value(), 1460);
    EXPECT_EQ(Model().MSS, QStringLiteral("1460"));
    EXPECT_EQ(Control<QLineEdit>("ebRWIN")->text(), QStringLiteral("8192"));
    EXPECT_EQ(Control<QComboBox>("cbTTL")->currentText(), QStringLiteral("32"));
    EXPECT_EQ(Control<QComboBox>("cbNdiCache")->currentText(), QStringLiteral("16"));
    EXPECT_TRUE(Control<QCheckBox>("cbAutoDiscover")->isChecked());
    // What the page shows is what Save will write.
    EXPECT_EQ(Model().RWIN, QStringLiteral("8192"));
    EXPECT_EQ(Model().TTL, QStringLiteral("32"));
    EXPECT_EQ(Model().NdiCacheSize, QStringLiteral("16"));
    EXPECT_TRUE(Model().AutoDiscover);
    EXPECT_TRUE(Model().SettingsChanged);
    EXPECT_TRUE(FindWidget<QPushButton>(Frm, "btnSave")->isEnabled());

    FindWidget<QTabWidget>(Frm, "PageControl1")->setCurrentWidget(Page());
    Select({1});
    Dialogs().Answer(mrOk);
    QTest::mouseClick(FindWidget<QToolButton>(Page(), "sbtnUse"), Qt::LeftButton);
    EXPECT_TRUE(Control<QRadioButton>("radioCustomMTU")->isChecked());
    EXPECT_EQ(Control<QLineEdit>("ebCustomMTU")->text(), QStringLiteral("1400"));
    EXPECT_EQ(Model().Profiles[0].MTU, QStringLiteral("1400"));

    // A fixed MTU whose button is already checked still reaches the profile.
    FindWidget<QTabWidget>(Frm, "PageControl1")->setCurrentWidget(Page());
    Select({0});
    Dialogs().Answer(mrOk);
    QTest::mouseClick(FindWidget<QToolButton>(Page(), "sbtnUse"), Qt::LeftButton);
    Model().Profiles[0].MTU = QStringLiteral("576");
    FindWidget<QTabWidget>(Frm, "PageControl1")->setCurrentWidget(Page());
    Dialogs().Answer(mrOk);
    QTest::mouseClick(FindWidget<QToolButton>(Page(), "sbtnUse"), Qt::LeftButton);
    EXPECT_EQ(Model().Profiles[0].MTU, QStringLiteral("1002"));
}

TEST_F(THistoryPageTest, SaveWritesAndOffersARecordOfTheSettingsInForce) {
    Start({Record(QStringLiteral("a"), QStringLiteral("0000"), QStringLiteral("576"))});
    FindWidget<QTabWidget>(Frm, "PageControl1")->setCurrentWidget(Frm->tabshtSettings());
    const QString before = ReadHiveText(THKey::HKEY_LOCAL_MACHINE);
    Model().TTL = QStringLiteral("128");
    Model().SettingsChanged = true;

    Dialogs().Answer(mrNo);
    QTest::mouseClick(FindWidget<QPushButton>(Frm, "btnSave"), Qt::LeftButton);
    EXPECT_EQ(ReadHiveText(THKey::HKEY_LOCAL_MACHINE), before);
    EXPECT_TRUE(Model().SettingsChanged);

    Dialogs().Clear();
    for (int answer : {mrYes, mrOk, mrNo, mrOk})
        Dialogs().Answer(answer);
    QTest::mouseClick(FindWidget<QPushButton>(Frm, "btnSave"), Qt::LeftButton);
    EXPECT_EQ(
        Dialogs().ShownTexts(),
        (QStringList{"Are you sure you want to save these changes?", "Your changes have been saved",
                     "Would you like to add a history entry for these settings?",
                     "You must now exit all active programs and reboot\r\nyour system for "
                     "these new changes to take affect."}));
    EXPECT_EQ(Value(MSTCP, QStringLiteral("DefaultTTL")), QStringLiteral("128"));
    EXPECT_FALSE(Model().SettingsChanged);
    EXPECT_EQ(History().Count(), 1);

    // With a record: its name is the time, its values those the page shows.
    Dialogs().Clear();
    for (int answer : {mrYes, mrOk, mrYes, mrOk})
        Dialogs().Answer(answer);
    Dialogs().AnswerInput(true, QStringLiteral("after the save"));
    QTest::mouseClick(FindWidget<QPushButton>(Frm, "btnSave"), Qt::LeftButton);
    ASSERT_EQ(History().Count(), 2);
    EXPECT_EQ(History().HistoryRowTexts(1),
              (QStringList{"08 Dec 2026 09:05:07", "0000", "576", "2144", "536", "64", "No", "No",
                           "32", "0", "after the save"}));
    EXPECT_EQ(History().Record(1).ProfileCopy(), QString());

    // A cancelled comment still adds the record.
    Dialogs().Clear();
    for (int answer : {mrYes, mrOk, mrYes, mrOk})
        Dialogs().Answer(answer);
    Dialogs().AnswerInput(false, QString());
    QTest::mouseClick(FindWidget<QPushButton>(Frm, "btnSave"), Qt::LeftButton);
    ASSERT_EQ(History().Count(), 3);
    EXPECT_EQ(History().Record(2).Comment(), QString());

    // A failed write is summed up, and the flag stays.
    Model().SettingsChanged = true;
    QFile::setPermissions(HivePath(THKey::HKEY_LOCAL_MACHINE), QFile::ReadOwner);
    Model().TTL = QStringLiteral("32");
    Dialogs().Clear();
    for (int answer : {mrYes, mrOk, mrOk})
        Dialogs().Answer(answer);
    QTest::mouseClick(FindWidget<QPushButton>(Frm, "btnSave"), Qt::LeftButton);
    EXPECT_EQ(Dialogs().ShownTexts().last(),
              QStringLiteral("An error occurred saving your changes!"));
    EXPECT_TRUE(Model().SettingsChanged);
    QFile::setPermissions(HivePath(THKey::HKEY_LOCAL_MACHINE),
                          QFile::ReadOwner | QFile::WriteOwner);
}

TEST_F(THistoryPageTest, DefaultsRemovesTheValuesAndExitCanWriteThemBack) {
    using namespace HiveText;
    WriteHive(THKey::HKEY_LOCAL_MACHINE,
              Binding(QStringLiteral("0000"), QStringLiteral("TCP/IP"),
                      QStringLiteral("\"MaxMTU\"=\"576\"\n\"IPMTU\"=\"576\"")) +
                  Binding(QStringLiteral("0001"), QStringLiteral("TCP/IP"),
                          QStringLiteral("\"MaxMTU\"=\"1500\"")) +
                  Binding(QStringLiteral("0002"), QStringLiteral("TCP/IP")) +
                  Mstcp(QStringLiteral("\"DefaultRcvWindow\"=\"2144\"\n\"DefaultTTL\"=\"64\"\n"
                                       "\"DefaultMSS\"=\"536\"\n\"PMTUDiscovery\"=\"1\"")) +
                  QStringLiteral("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VxD\\"
                                 "NWLink\\Ndi\\params\\cachesize]\n\"default\"=\"32\"\n"));
    Start({Record(QStringLiteral("a"), QStringLiteral("0000"), QStringLiteral("576"))});
    FindWidget<QTabWidget>(Frm, "PageControl1")->setCurrentWidget(Frm->tabshtSettings());
    ASSERT_EQ(Model().ProfileCount, 3);
    ASSERT_FALSE(Model().IPMTUInUse);
    Dialogs().Answer(mrYes);
    Dialogs().Answer(mrOk);
    QTest::mouseClick(FindWidget<QPushButton>(Frm, "btnDefaults"), Qt::LeftButton);
    ASSERT_EQ(Dialogs().Shown().size(), 2u);
    EXPECT_TRUE(Dialogs().Shown()[0].Text.startsWith(
        QStringLiteral("This will remove all registry entries for the TCP/IP parameters\r\n")));
    EXPECT_EQ(Dialogs().Shown()[1].Text,
              QStringLiteral("The registry entries have now been removed from your "
                             "system.\r\nYou will now need to close all running applications "
                             "and\r\nreboot your system for the changes to take effect."));
    for (const char* key : {"0000", "0001", "0002"})
        EXPECT_EQ(Value(ProfileKey + QLatin1String(key), QStringLiteral("MaxMTU")),
                  QStringLiteral("<absent>"))
            << key;
    EXPECT_EQ(Value(ProfileKey + QStringLiteral("0000"), QStringLiteral("IPMTU")),
              QStringLiteral("576"));
    for (const char* name :
         {"DefaultRcvWindow", "DefaultTTL", "DefaultMSS", "PMTUDiscovery", "PMTUBlackHoleDetect"})
        EXPECT_EQ(Value(MSTCP, QLatin1String(name)), QStringLiteral("<absent>")) << name;
    EXPECT_EQ(Value(QStringLiteral("System\\CurrentControlSet\\Services\\VxD\\NWLink\\Ndi\\params\\"
                                   "cachesize"),
                    QStringLiteral("default")),
              QStringLiteral("0"));
    // The model and the page keep what was read.
    EXPECT_EQ(Model().RWIN, QStringLiteral("2144"));
    EXPECT_FALSE(Model().SettingsChanged);

    // Again with everything already gone: no message but the two.
    Dialogs().Clear();
    Dialogs().Answer(mrYes);
    Dialogs().Answer(mrOk);
    QTest::mouseClick(FindWidget<QPushButton>(Frm, "btnDefaults"), Qt::LeftButton);
    EXPECT_EQ(Dialogs().Shown().size(), 2u);

    // Exit with the save answered Yes writes the previous values back.
    Model().SettingsChanged = true;
    Dialogs().Clear();
    Dialogs().Answer(mrOk);
    Dialogs().Answer(mrYes);
    QTest::mouseClick(FindWidget<QPushButton>(Frm, "btnClose"), Qt::LeftButton);
    EXPECT_EQ(Value(ProfileKey + QStringLiteral("0000"), QStringLiteral("MaxMTU")),
              QStringLiteral("576"));
    EXPECT_EQ(Value(MSTCP, QStringLiteral("DefaultRcvWindow")), QStringLiteral("2144"));
    EXPECT_EQ(Value(MSTCP, QStringLiteral("PMTUDiscovery")), QStringLiteral("1"));
}

TEST_F(THistoryPageTest, AddNewChecksItsFieldsAndAppendsTheRecord) {
    Start({Record(QStringLiteral("a"), QStringLiteral("0000"), QStringLiteral("576"))});
    Dialogs().Answer(mrOk);
    Dialogs().Answer(mrOk);
    WhenModal<TfrmHistoryEntry>([this](TfrmHistoryEntry& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Zephyn History Record"));
        EXPECT_EQ(FindWidget<QComboBox>(&d, "cbProfiles")->count(), 1);
        EXPECT_EQ(FindWidget<QComboBox>(&d, "cbProfiles")->currentIndex(), -1);
        QTest::mouseClick(FindWidget<QPushButton>(&d, "sbtnSave"), Qt::LeftButton);
        EXPECT_EQ(Dialogs().ShownTexts().last(),
                  QStringLiteral("You must first enter a name for this entry."));
        QTest::keyClicks(FindWidget<QLineEdit>(&d, "ebEntryName"), QString(35, u'n'));
        EXPECT_EQ(FindWidget<QLineEdit>(&d, "ebEntryName")->text().size(), 30);
        QTest::mouseClick(FindWidget<QPushButton>(&d, "sbtnSave"), Qt::LeftButton);
        EXPECT_EQ(Dialogs().ShownTexts().last(),
                  QStringLiteral("You must first select the profile for this entry."));
        EXPECT_TRUE(d.isVisible());

        // The field rules, typed and stepped.
        auto type = [](QSpinBox* spin, const QString& text) {
            spin->setFocus();
            spin->selectAll();
            QTest::keyClicks(spin, text);
            QTest::keyClick(spin, Qt::Key_Tab);
            return spin->value();
        };
        EXPECT_EQ(type(FindWidget<QSpinBox>(&d, "seMTU"), QStringLiteral("-5")), -1);
        EXPECT_EQ(type(FindWidget<QSpinBox>(&d, "seRWIN"), QStringLiteral("-5")), 0);
        for (QSpinBox* s :
             {FindWidget<QSpinBox>(&d, "seMSS"), FindWidget<QSpinBox>(&d, "seRWIN"),
              FindWidget<QSpinBox>(&d, "seTTL"), FindWidget<QSpinBox>(&d, "seThroughput")})
            EXPECT_EQ(type(s, QStringLiteral("48")), 48) << s->objectName().toStdString();
        EXPECT_EQ(type(FindWidget<QSpinBox>(&d, "seNDI"), QStringLiteral("48")), 64);
        FindWidget<QSpinBox>(&d, "seNDI")->setValue(32);
        FindWidget<QSpinBox>(&d, "seNDI")->stepUp();
        EXPECT_EQ(FindWidget<QSpinBox>(&d, "seNDI")->value(), 64);
        FindWidget<QSpinBox>(&d, "seNDI")->stepDown();
        EXPECT_EQ(FindWidget<QSpinBox>(&d, "seNDI")->value(), 32);
        EXPECT_EQ(FindWidget<QSpinBox>(&d, "seTTL")->singleStep(), 32);

        // Copy Current Profile Settings, with a TTL choice that is no number.
        Frm->findChild<QComboBox*>(QStringLiteral("cbTTL"))->setCurrentIndex(-1);
        QTest::mouseClick(FindWidget<QPushButton>(&d, "sbtnCopySettings"), Qt::LeftButton);
        EXPECT_EQ(FindWidget<QLineEdit>(&d, "ebEntryName")->text(),
                  QStringLiteral("08 Dec 2026 09:05:07"));
        EXPECT_EQ(FindWidget<QComboBox>(&d, "cbProfiles")->currentText(), QStringLiteral("0000"));
        EXPECT_EQ(FindWidget<QSpinBox>(&d, "seMTU")->value(), 576);
        EXPECT_EQ(FindWidget<QSpinBox>(&d, "seRWIN")->value(), 2144);
        EXPECT_EQ(FindWidget<QSpinBox>(&d, "seTTL")->value(), 0);
        EXPECT_EQ(FindWidget<QSpinBox>(&d, "seNDI")->value(), 32);
        EXPECT_EQ(FindWidget<QSpinBox>(&d, "seThroughput")->value(), 48); // left as it was
        FindWidget<QPlainTextEdit>(&d, "mComment")->setPlainText(QString(300, u'c'));
        EXPECT_EQ(FindWidget<QPlainTextEdit>(&d, "mComment")->toPlainText().size(), 255);
        QTest::mouseClick(FindWidget<QPushButton>(&d, "sbtnSave"), Qt::LeftButton);
    });
    QTest::mouseClick(FindWidget<QToolButton>(Page(), "sbtnNew"), Qt::LeftButton);
    ASSERT_EQ(History().Count(), 2);
    const HistoryRecord& r = History().Record(1);
    EXPECT_EQ(r.EntryName(), QStringLiteral("08 Dec 2026 09:05:07"));
    EXPECT_EQ(r.Profile(), QStringLiteral("0000"));
    EXPECT_EQ(r.ProfileCopy(), QStringLiteral("0000"));
    EXPECT_EQ(r.MaxMTU(), QStringLiteral("576"));
    EXPECT_EQ(r.IPMTU(), QStringLiteral("576"));
    EXPECT_EQ(r.TTL(), QStringLiteral("0"));
    EXPECT_EQ(r.NDICache(), QStringLiteral("32"));
    EXPECT_EQ(r.Throughput(), 48);
    EXPECT_EQ(r.Comment().size(), 255);
}

TEST_F(THistoryPageTest, EditChangesTheSelectedRecordInPlace) {
    HistoryRecord first =
        Record(QStringLiteral("first"), QStringLiteral("0000"), QStringLiteral("576"));
    first.SetProfileCopy(QStringLiteral("copy"));
    HistoryRecord second =
        Record(QStringLiteral("second"), QStringLiteral("0000"), QStringLiteral("1500"));
    second.SetThroughput(213995102);
    Start({first, second});
    WhenModal<TfrmHistoryEntry>([](TfrmHistoryEntry& d) {
        EXPECT_FALSE(FindWidget<QPushButton>(&d, "sbtnCopySettings")->isEnabled());
        EXPECT_EQ(FindWidget<QLineEdit>(&d, "ebEntryName")->text(), QStringLiteral("first"));
        EXPECT_EQ(FindWidget<QComboBox>(&d, "cbProfiles")->currentText(), QStringLiteral("0000"));
        EXPECT_EQ(FindWidget<QSpinBox>(&d, "seMTU")->value(), 576);
        EXPECT_EQ(FindWidget<QSpinBox>(&d, "seRWIN")->value(), 8192);
        EXPECT_EQ(FindWidget<QSpinBox>(&d, "seNDI")->value(), 16);
        EXPECT_TRUE(FindWidget<QCheckBox>(&d, "ckbxDiscover")->isChecked());
        EXPECT_EQ(FindWidget<QSpinBox>(&d, "seThroughput")->value(), 3100);
        FindWidget<QSpinBox>(&d, "seThroughput")->setValue(4200);
        FindWidget<QLineEdit>(&d, "ebEntryName")->setText(QStringLiteral("edited"));
        QTest::mouseClick(FindWidget<QPushButton>(&d, "sbtnSave"), Qt::LeftButton);
    });
    QTreeView* list = FindWidget<QTreeView>(Page(), "lvHistory");
    // A double click is a click and then the double-click event.
    const QPoint at = list->visualRect(History().index(0, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(History().Count(), 2);
    EXPECT_EQ(History().Record(0).EntryName(), QStringLiteral("edited"));
    // Save Entry on an untouched record keeps a figure of any size.
    EXPECT_EQ(History().Record(1).Throughput(), 213995102);
    const QByteArray before(History().Record(1).Bytes(), HistoryRecord::Size);
    WhenModal<TfrmHistoryEntry>([](TfrmHistoryEntry& d) {
        QTest::mouseClick(FindWidget<QPushButton>(&d, "sbtnSave"), Qt::LeftButton);
    });
    Select({1});
    QTest::mouseClick(FindWidget<QToolButton>(Page(), "sbtnEdit"), Qt::LeftButton);
    EXPECT_EQ(QByteArray(History().Record(1).Bytes(), HistoryRecord::Size), before);
    EXPECT_EQ(History().Record(0).Throughput(), 4200);
    EXPECT_EQ(History().Record(0).ProfileCopy(), QStringLiteral("copy"));
    EXPECT_EQ(History().CellText(0, 9), QStringLiteral("4200"));
    EXPECT_EQ(History().Record(1).EntryName(), QStringLiteral("second"));

    // Enter on a record opens it as a double click does.
    bool opened = false;
    WhenModal<TfrmHistoryEntry>([&opened](TfrmHistoryEntry& d) {
        opened = true;
        QTest::mouseClick(FindWidget<QPushButton>(&d, "sbtnAbort"), Qt::LeftButton);
    });
    list->setCurrentIndex(History().index(1, 0));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(opened);

    // Cancel changes nothing.
    WhenModal<TfrmHistoryEntry>([](TfrmHistoryEntry& d) {
        FindWidget<QLineEdit>(&d, "ebEntryName")->setText(QStringLiteral("not kept"));
        QTest::mouseClick(FindWidget<QPushButton>(&d, "sbtnAbort"), Qt::LeftButton);
    });
    Select({1});
    QTest::mouseClick(FindWidget<QToolButton>(Page(), "sbtnEdit"), Qt::LeftButton);
    EXPECT_EQ(History().Record(1).EntryName(), QStringLiteral("second"));
}

TEST_F(THistoryPageTest, DefaultsOnNtRemovesTheAdapterMtusAndTheIntegerValues) {
    UseSample(QStringLiteral("nt4.reg"));
    Start({Record(QStringLiteral("a"), QStringLiteral("NdisWan4"), QStringLiteral("1500"))});
    FindWidget<QTabWidget>(Frm, "PageControl1")->setCurrentWidget(Frm->tabshtSettings());
    Dialogs().Answer(mrYes);
    Dialogs().Answer(mrOk);
    QTest::mouseClick(FindWidget<QPushButton>(Frm, "btnDefaults"), Qt::LeftButton);
    const QString adapter =
        QStringLiteral("SYSTEM\\CurrentControlSet\\Services\\NdisWan4\\Parameters\\Tcpip");
    const QString global = QStringLiteral("System\\CurrentControlSet\\Services\\Tcpip\\Parameters");
    EXPECT_FALSE(HiveValue(THKey::HKEY_LOCAL_MACHINE, adapter, QStringLiteral("MTU")));
    for (const char* name : {"TcpWindowSize", "DefaultTTL", "TcpRecvSegmentSize",
                             "EnablePMTUDiscovery", "EnablePMTUBHDetect"})
        EXPECT_FALSE(HiveValue(THKey::HKEY_LOCAL_MACHINE, global, QLatin1String(name))) << name;
    EXPECT_EQ(History().CellText(0, 8), QStringLiteral("n/a"));
}
