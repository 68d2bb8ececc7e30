#include "ftptest/TTestingPage.h"
#include "app/TdataMain.h"
#include "app/TfrmMain.h"
#include "dialup/TRAS.h"
#include "ftp/TMFtp.h"
#include "ftptest/TConnectionReadout.h"
#include "ftptest/TFtpTestProfile.h"
#include "ftptest/TRemainingTimeBar.h"
#include "ftptest/TTestSettings.h"
#include "platform/TOneLineLabel.h"
#include "tcpip/TSettingsInForce.h"
#include "ftptest/TTestRun.h"
#include "helpers/TFindWidget.h"
#include "helpers/TFtpServers.h"
#include "helpers/TScriptedDialogs.h"
#include "helpers/TScriptedFtpPeer.h"
#include "helpers/TTestEnvironment.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <linux/tcp.h>
#include <sys/stat.h>

namespace {

FtpTestProfile Profile(const QString& host, const QString& file = QStringLiteral("test.bin"),
                       const QString& password = QStringLiteral("me@example.test")) {
    FtpTestProfile p;
    p.SetHost(host);
    p.SetPath(QStringLiteral("/"));
    p.SetFileName(file);
    p.SetLoginName(QStringLiteral("anonymous"));
    p.SetPassword(password);
    return p;
}

} // namespace

class TTestingPageTest : public TZephynTest {
protected:
    void WriteProfiles(const std::vector<FtpTestProfile>& profiles, const QByteArray& tail = {}) {
        QFile f(DataDir() + QStringLiteral("/ftptest.prf"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const FtpTestProfile& p : profiles)
            f.write(p.Bytes(), FtpTestProfile::Size);
        f.write(tail);
    }
    // A server that logs in, takes the path and the type, and accepts PORT.
    static void ScriptSession(TScriptedFtpPeer& peer) {
        peer.Reply(QStringLiteral("USER"), {{QStringLiteral("331 password")}});
        peer.Reply(QStringLiteral("PASS"), {{QStringLiteral("230 in")}});
        peer.Reply(QStringLiteral("SYST"), {{QStringLiteral("215 UNIX")}});
        peer.Reply(QStringLiteral("REST"), {{QStringLiteral("350 a")}});
        peer.Reply(QStringLiteral("CWD"), {{QStringLiteral("250 \"/\" is current")}});
        peer.Reply(QStringLiteral("TYPE"), {{QStringLiteral("200 ok")}});
        peer.Reply(QStringLiteral("PORT"), {{QStringLiteral("200 ok")}});
    }
    QByteArray ProfileFile() const {
        QFile f(DataDir() + QStringLiteral("/ftptest.prf"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
    }
    void Start() {
        WriteOneRecordHistory();
        Data = std::make_unique<TdataMain>();
        Frm = std::make_unique<TfrmMain>(*Data);
        Frm->show();
        FindWidget<QTabWidget>(Frm, "PageControl1")->setCurrentWidget(Page());
    }
    // A fresh start of the program on one profile, for a case in a loop.
    void StartOver(const FtpTestProfile& profile) {
        Frm.reset();
        Data.reset();
        Dialogs().Clear();
        WriteProfiles({profile});
        Start();
    }
    void TearDown() override {
        Frm.reset();
        Data.reset();
        TZephynTest::TearDown();
    }
    TTestingPage* Page() { return Frm->tabshtTesting(); }
    template <class T> T* Find(const char* name) { return FindWidget<T>(Page(), name); }
    TTestRun* Run() { return Frm->TestRun(); }
    // A ppp interface of the fake system, up or down.
    void Interface(const QString& name, bool up) {
        const QString dir = DataDir() + QStringLiteral("/sys-class-net/") + name;
        QDir().mkpath(dir);
        QFile f(dir + QStringLiteral("/flags"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(up ? "0x1091\n" : "0x1090\n");
    }

    std::unique_ptr<TdataMain> Data;
    std::unique_ptr<TfrmMain> Frm;
};

TEST_F(TTestingPageTest, ProfilesAreFixedRecordsAndTheFileFollowsEveryChange) {
    FtpTestProfile p = Profile(QString(130, u'h'));
    QByteArray expected(576, '\0');
    expected[0] = char(128);
    expected.replace(1, 128, QByteArray(128, 'h'));
    expected[129] = 1;
    expected[130] = '/';
    expected[385] = 8;
    expected.replace(386, 8, "test.bin");
    expected[446] = 9;
    expected.replace(447, 9, "anonymous");
    expected[511] = 15;
    expected.replace(512, 15, "me@example.test");
    EXPECT_EQ(QByteArray(p.Bytes(), 576), expected);

    // Three profiles, the middle one deleted.
    WriteProfiles({Profile(QStringLiteral("one")), Profile(QStringLiteral("two")),
                   Profile(QStringLiteral("three"))});
    Start();
    QComboBox* hosts = Find<QComboBox>("cbFtpHost");
    ASSERT_EQ(hosts->count(), 3);
    EXPECT_EQ(hosts->currentIndex(), 0);
    EXPECT_EQ(Find<QLineEdit>("ebftpFilename")->text(), QStringLiteral("test.bin"));
    EXPECT_EQ(Find<QLineEdit>("ebftpPassword")->echoMode(), QLineEdit::Password);
    // Shown, not edited here: read-only, and still reachable by keyboard.
    // Shown as read-only to the eye and to a screen reader, not as editable.
    for (const char* name : {"ebftpPath", "ebftpFilename", "ebftpLoginName", "ebftpPassword"}) {
        QLineEdit* field = Find<QLineEdit>(name);
        EXPECT_TRUE(field->isReadOnly() && field->isEnabled());
        EXPECT_EQ(field->palette().color(QPalette::Base), Page()->palette().color(QPalette::Window))
            << name;
        const QAccessible::State state = QAccessible::queryAccessibleInterface(field)->state();
        EXPECT_TRUE(state.readOnly && !state.editable && state.focusable) << name;
    }
    // Each host's item tells its path and file.
    EXPECT_EQ(hosts->itemData(1, Qt::ToolTipRole).toString(), QStringLiteral("/test.bin"));
    hosts->setCurrentIndex(1);
    Dialogs().Answer(mrYes);
    QTest::mouseClick(Find<QToolButton>("btnFtpDelete"), Qt::LeftButton);
    EXPECT_EQ(Dialogs().ShownTexts(),
              QStringList{QStringLiteral("Delete displayed testing profile?")});
    EXPECT_EQ(ProfileFile(), QByteArray(Profile(QStringLiteral("one")).Bytes(), 576) +
                                 QByteArray(Profile(QStringLiteral("three")).Bytes(), 576));
    EXPECT_EQ(hosts->currentIndex(), 0);

    // Adding selects the new last entry.
    WhenModal<QDialog>([](QDialog& d) {
        d.findChild<QLineEdit*>(QStringLiteral("ebHost"))->setText(QStringLiteral("four"));
        QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("btnSave")), Qt::LeftButton);
    });
    QTest::mouseClick(Find<QToolButton>("btnFtpAdd"), Qt::LeftButton);
    EXPECT_EQ(hosts->count(), 3);
    EXPECT_EQ(hosts->currentText(), QStringLiteral("four"));
    EXPECT_EQ(ProfileFile().size(), 3 * 576);

    // Deleting down to none removes the file and empties the boxes.
    for (int i = 0; i < 3; ++i) {
        Dialogs().Answer(mrYes);
        QTest::mouseClick(Find<QToolButton>("btnFtpDelete"), Qt::LeftButton);
    }
    EXPECT_EQ(ProfileFile(), QByteArray("<absent>"));
    EXPECT_EQ(hosts->count(), 0);
    EXPECT_TRUE(Find<QLineEdit>("ebftpPath")->text().isEmpty());
}

TEST_F(TTestingPageTest, AStrayByteKeepsEveryProfileAndTheDamagedFile) {
    WriteProfiles({Profile(QStringLiteral("one")), Profile(QStringLiteral("two")),
                   Profile(QStringLiteral("three"))},
                  QByteArray(1, 'x'));
    const QByteArray damaged = ProfileFile();
    Dialogs().Answer(mrOk);
    Start();
    const QString prf = DataDir() + QStringLiteral("/ftptest.prf");
    EXPECT_TRUE(Dialogs().ShownTexts().value(0).startsWith(
        QStringLiteral("Unable to read ftp test settings. This is most likely due to\r\n")));
    EXPECT_TRUE(Dialogs().ShownTexts().value(0).endsWith(
        prf + QStringLiteral(": a stray 1 byte after 3 profiles")))
        << Dialogs().ShownTexts().value(0).toStdString();
    EXPECT_EQ(Find<QComboBox>("cbFtpHost")->count(), 3);
    EXPECT_EQ(ProfileFile(), damaged); // nothing written yet
    // The first change writes all four, after keeping the damaged file.
    Data->FtpTestProfiles.Items.push_back(Profile(QStringLiteral("four")));
    Data->FtpTestProfiles.WriteFtpTestProfiles();
    EXPECT_EQ(ProfileFile().size(), 4 * FtpTestProfile::Size);
    QFile bak(prf + QStringLiteral(".bak"));
    ASSERT_TRUE(bak.open(QIODevice::ReadOnly));
    EXPECT_EQ(bak.readAll(), damaged);
}

TEST_F(TTestingPageTest, AnOversizedProfileFileIsNeitherReadNorWrittenOver) {
    {
        QFile f(DataDir() + QStringLiteral("/ftptest.prf"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(
            f.resize(TFtpTestProfiles::MaxRecordFileBytes + FtpTestProfile::Size)); // sparse
    }
    Dialogs().Answer(mrOk);
    Start();
    EXPECT_TRUE(Dialogs().ShownTexts().value(0).contains(
        QStringLiteral("ftptest.prf is %1 bytes long")
            .arg(TFtpTestProfiles::MaxRecordFileBytes + FtpTestProfile::Size)))
        << Dialogs().ShownTexts().value(0).toStdString();
    EXPECT_EQ(Find<QComboBox>("cbFtpHost")->count(), 0);
    Data->FtpTestProfiles.Items.push_back(Profile(QStringLiteral("one")));
    Dialogs().Answer(mrOk);
    Data->FtpTestProfiles.WriteFtpTestProfiles();
    EXPECT_EQ(QFileInfo(DataDir() + QStringLiteral("/ftptest.prf")).size(),
              TFtpTestProfiles::MaxRecordFileBytes + FtpTestProfile::Size);
}

TEST_F(TTestingPageTest, ProxySettingsLiveInTheUsersKey) {
    WriteHive(THKey::HKEY_CURRENT_USER,
              QStringLiteral("[HKEY_CURRENT_USER\\Software\\Brindlecove\\Zephyn\\Proxy]\n"
                             "\"Host\"=\"proxy.example.test\"\n\"Port\"=dword:00000bb8\n"
                             "\"Type\"=\"HostUser\"\n\"Username\"=\"pu\"\n\"Password\"=\"pp\"\n"));
    Start();
    EXPECT_EQ(Find<QLineEdit>("ebProxy")->text(), QStringLiteral("proxy.example.test"));
    EXPECT_EQ(Find<QSpinBox>("seProxyPort")->value(), 3000);
    EXPECT_EQ(Find<QComboBox>("cbProxyType")->currentText(),
              QStringLiteral("HOST ftp server name ! login user name"));
    // A negative port typed is put back to 0.
    QSpinBox* port = Find<QSpinBox>("seProxyPort");
    port->setFocus();
    port->selectAll();
    QTest::keyClicks(port, QStringLiteral("-5"));
    EXPECT_EQ(port->value(), 0);
    EXPECT_EQ(Data->Proxy.ProxyPort, 0);
    // With the host emptied, shutdown writes the blanks whatever the page showed.
    Find<QLineEdit>("ebProxy")->selectAll();
    Find<QLineEdit>("ebProxy")->setFocus();
    QTest::keyClick(Find<QLineEdit>("ebProxy"), Qt::Key_Delete);
    EXPECT_EQ(Data->Proxy.ProxyHost, QString());
    Frm.reset();
    Data.reset();
    const QString key = QStringLiteral("Software\\Brindlecove\\Zephyn\\Proxy");
    EXPECT_EQ(HiveValue(THKey::HKEY_CURRENT_USER, key, QStringLiteral("Host"))->Text, QString());
    EXPECT_EQ(HiveValue(THKey::HKEY_CURRENT_USER, key, QStringLiteral("Type"))->Text, QString());
    EXPECT_EQ(HiveValue(THKey::HKEY_CURRENT_USER, key, QStringLiteral("Username"))->Text,
              QString());
    EXPECT_EQ(HiveValue(THKey::HKEY_CURRENT_USER, key, QStringLiteral("Port"))->Data,
              QByteArray(4, '\0'));

    // An unknown type with a host selects the first entry.
    WriteHive(THKey::HKEY_CURRENT_USER,
              QStringLiteral("[HKEY_CURRENT_USER\\Software\\Brindlecove\\Zephyn\\Proxy]\n"
                             "\"Host\"=\"p\"\n\"Type\"=\"Bogus\"\n"));
    Start();
    EXPECT_EQ(Find<QComboBox>("cbProxyType")->currentIndex(), 0);
}

TEST_F(TTestingPageTest, StartChecksThePageInOrder) {
    Start();
    Dialogs().Answer(mrOk);
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    EXPECT_EQ(Dialogs().ShownTexts().last(),
              QStringLiteral("You first need to enter at least one testing profile!"));
    Frm.reset();
    Data.reset();

    WriteProfiles({Profile(QStringLiteral("127.0.0.1")),
                   Profile(QStringLiteral("127.0.0.1"), QStringLiteral("f"), QString())});
    Start();
    QPushButton* start = Find<QPushButton>("btnStart");
    EXPECT_EQ(start->text().remove(u'&'), QStringLiteral("Start"));
    auto click = [&](int answers) {
        Dialogs().Clear();
        for (int i = 0; i < answers; ++i)
            Dialogs().Answer(mrOk);
        QTest::mouseClick(start, Qt::LeftButton);
        return Dialogs().ShownTexts().value(0);
    };
    Find<QLineEdit>("ebProxy")->setText(QStringLiteral("proxy.example.test"));
    EXPECT_EQ(click(1), QStringLiteral("You must specify a port number to use (0 is not valid)!"));
    Find<QLineEdit>("ebProxy")->clear();
    Find<QSpinBox>("seProxyPort")->setValue(8080);
    EXPECT_TRUE(click(1).startsWith(
        QStringLiteral("You've specified a proxy port to use, but have not\r\n")));
    Find<QSpinBox>("seProxyPort")->setValue(0);
    Find<QComboBox>("cbFtpHost")->setCurrentIndex(1);
    Page()->cbFtpHostChange();
    EXPECT_EQ(click(1), QStringLiteral("You must specify information for each field in the "
                                       "Ftp\r\nTest Settings section before initiating a test!"));

    // Without an active dial-up connection the user is asked; No ends the click.
    Find<QComboBox>("cbFtpHost")->setCurrentIndex(0);
    Page()->cbFtpHostChange();
    Dialogs().Clear();
    Dialogs().Answer(mrNo);
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_EQ(Dialogs().ShownTexts(),
              QStringList{QStringLiteral("Are you connected to the internet?")});
    EXPECT_FALSE(Run()->Running());
}

TEST_F(TTestingPageTest, DialUpIsPppdAndThePppInterfacesThatAreUp) {
    TRAS ras;
    qputenv("ZEPHYN_PPPD", QFile::encodeName(DataDir() + QStringLiteral("/no-pppd")));
    EXPECT_FALSE(ras.RasAvailable());
    EXPECT_EQ(ras.LastError, 1157);
    EXPECT_EQ(ras.StatusStr, QStringLiteral("RASAPI32.DLL Not Available"));
    EXPECT_EQ(ras.GetConnections(), 1157);

    qputenv("ZEPHYN_PPPD", "/bin/true");
    TRAS present;
    ASSERT_TRUE(present.RasAvailable());
    EXPECT_EQ(present.OpenConnection(0), TRAS::ERROR_INVALID_HANDLE);
    EXPECT_EQ(present.RASConn, 0u);
    Interface(QStringLiteral("ppp1"), false);
    Interface(QStringLiteral("ppp0"), true);
    Interface(QStringLiteral("eth0"), true);
    EXPECT_EQ(present.GetConnections(), 0);
    ASSERT_EQ(present.Connections().size(), 1u);
    EXPECT_EQ(present.CurConnName, QStringLiteral("ppp0"));
    EXPECT_EQ(present.CurRASConn, present.Connections()[0].Handle);
    EXPECT_EQ(present.OpenConnection(0), 0);
    EXPECT_EQ(present.ConnectState, TRAS::RASCS_Connected);
    present.ReleaseConnection();
    EXPECT_EQ(present.RASConn, 0u);

    // With a connection up, Start asks nothing about being online.
    WriteProfiles({Profile(QStringLiteral("127.0.0.1:1"))});
    Start();
    EXPECT_TRUE(Frm->RasPresent);
    Run()->btnStartClick();
    EXPECT_TRUE(Dialogs().Shown().empty());
    EXPECT_TRUE(Run()->Running());
    Dialogs().Answer(mrOk); // the refused connect
    ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 5000));
    EXPECT_EQ(Dialogs().ShownTexts().value(0),
              QStringLiteral("Test transfer error:\r\nConnection refused by host system"));
}

TEST_F(TTestingPageTest, WithoutPppdTheStartWarnsThatStatisticsAreNotAvailable) {
    qputenv("ZEPHYN_PPPD", QFile::encodeName(DataDir() + QStringLiteral("/no-pppd")));
    Dialogs().Answer(mrOk);
    Start();
    EXPECT_TRUE(Dialogs().ShownTexts().value(0).startsWith(
        QStringLiteral("RAS/DUN is not installed on your computer.")));
    EXPECT_FALSE(Frm->RasPresent);
}

TEST(TRemainingTimeBar, EstimatesFromTheShareDoneAndTheTimeSpent) {
    TFixedClock clock;
    TClock::SetSource(&clock);
    TRemainingTimeBar bar;
    bar.setMaximum(1000000);
    bar.StartTiming();
    bar.setValue(250000);
    EXPECT_EQ(bar.RemainingSeconds(), -1); // the same instant
    clock.When = clock.When.addSecs(4);
    EXPECT_EQ(bar.RemainingSeconds(), 12);
    EXPECT_EQ(QString::asprintf("%3.2f mins", bar.RemainingSeconds() / 60.0),
              QStringLiteral("0.20 mins"));
    // Halves go to the even neighbour; e is a little over the second.
    bar.setMaximum(7);
    bar.setValue(2);
    bar.StartTiming();
    clock.When = clock.When.addSecs(1);
    EXPECT_EQ(bar.RemainingSeconds(), 3); // 1.00002 / 2 * 5 = 2.50005
    TClock::SetSource(nullptr);
}

TEST(TTestRun, ErrorTextsFollowTheTable) {
    EXPECT_EQ(TTestRun::ErrorText(11, QString()),
              QStringLiteral("Connection refused by host system"));
    EXPECT_EQ(TTestRun::ErrorText(3, QStringLiteral("x")), QStringLiteral("Internal error: x"));
    EXPECT_EQ(TTestRun::ErrorText(30, QStringLiteral("odd")), QStringLiteral("odd"));
    EXPECT_EQ(TTestRun::ErrorText(30, QString()), QStringLiteral("unknown error"));
    EXPECT_EQ(TTestRun::ErrorText(0, QString()), QStringLiteral("unknown error"));
}

// A whole test against pyftpdlib: the figures, the statistics, the history
// record and the downloaded file.
class TTestRunServerTest : public TTestingPageTest {
protected:
    void Serve(int size, int rateLimit = 0, bool vsftpd = false) {
        ASSERT_TRUE(FServed.isValid());
        ::chmod(QFile::encodeName(FServed.path()).constData(), 0755);
        QFile f(FServed.path() + QStringLiteral("/test.bin"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'z'));
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther |
                         QFile::ReadGroup);
        // vsftpd for aborting: it takes the urgent ABOR in the middle of a transfer.
        Server = vsftpd ? TFtpServer::Vsftpd(FServed.path(), rateLimit)
                        : TFtpServer::Pyftpdlib(FServed.path(), rateLimit);
        ASSERT_TRUE(Server);
        WriteProfiles({Profile(QStringLiteral("127.0.0.1:%1").arg(Server->Port))});
    }
    QTemporaryDir FServed;
    std::unique_ptr<TFtpServer> Server;
};

TEST_F(TTestRunServerTest, ACompletedTestOffersARecordAndTheFilesDeletion) {
    Serve(3 * 1024 * 1024);
    Start();
    for (int answer : {mrYes, mrYes, mrYes})
        Dialogs().Answer(answer);
    Dialogs().AnswerInput(true, QStringLiteral("test run"));
    const int records = Data->History.Count();
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    EXPECT_TRUE(Run()->Running());
    ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 20000));
    const QStringList shown = Dialogs().ShownTexts();
    // The boxes, and the comment question of the history record between them.
    ASSERT_EQ(shown.size(), 4) << shown.join(u'\n').toStdString();
    EXPECT_EQ(shown[0], QStringLiteral("Are you connected to the internet?"));
    EXPECT_TRUE(shown[1].startsWith(QStringLiteral(
        "Transfer Complete!\r\n\r\nTest Transfer Statistics:\r\nBytes Transfered: 3145728\r\n"
        "Average Throughput: ")));
    EXPECT_TRUE(shown[1].endsWith(QStringLiteral(" bps\r\n\r\nAdd history record for this test?")));
    EXPECT_EQ(shown[3], QStringLiteral("Delete the downloaded test file?"));
    // pyftpdlib's 125 reply names no size: SIZE's answer sized the bar.
    EXPECT_EQ(Find<TRemainingTimeBar>("pbFtp")->maximum(), 3 * 1024 * 1024);
    ASSERT_EQ(Data->History.Count(), records + 1);
    EXPECT_EQ(Data->History.Record(records).Throughput(), Run()->Throughput);
    EXPECT_EQ(Data->History.Record(records).Comment(), QStringLiteral("test run"));
    EXPECT_FALSE(QFile::exists(DataDir() + QStringLiteral("/test.bin")));
    EXPECT_EQ(Find<QLabel>("lblActivity")->text(), QStringLiteral("inactive"));
    EXPECT_TRUE(Find<QComboBox>("cbFtpHost")->isEnabled());
}

TEST_F(TTestRunServerTest, AnAbortedTestDeletesTheFileAndOffersNothing) {
    SKIP_UNLESS_VSFTPD_CAN_RUN();
    Serve(2 * 1024 * 1024, 128 * 1024, true);
    Start();
    Dialogs().Answer(mrYes);
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return Run()->BytesReceived > 0; }, 10000));
    // Closing is refused while the test runs.
    Dialogs().Answer(mrOk);
    Frm->close();
    EXPECT_TRUE(Frm->isVisible());
    EXPECT_EQ(Dialogs().ShownTexts().last(),
              QStringLiteral("Please abort the test tranfer before quiting Zephyn"));
    Dialogs().Answer(mrYes);
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    EXPECT_EQ(Dialogs().ShownTexts().last(), QStringLiteral("Abort this test transfer?"));
    ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 10000));
    EXPECT_EQ(Dialogs().Shown().size(), 3u);
    EXPECT_FALSE(QFile::exists(DataDir() + QStringLiteral("/test.bin")));
    EXPECT_NE(Find<QLabel>("lblAvgXfer")->text(), QString());
}

TEST_F(TTestRunServerTest, AnEmptyFileIsReportedAsNotFound) {
    Serve(0);
    Start();

    Dialogs().Answer(mrYes);
    Dialogs().Answer(mrOk);
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 10000));
    EXPECT_EQ(Dialogs().ShownTexts().value(1),
              QStringLiteral("The file you requested to download (test.bin)\r\nwas not found at "
                             "the host site. Please check the\r\nspelling and/or confirm the file "
                             "does exist."));
    EXPECT_EQ(Dialogs().Shown().size(), 2u);
    // The empty file the test made is gone; a file of the user's at that name stays.
    EXPECT_FALSE(QFile::exists(DataDir() + QStringLiteral("/test.bin")));
    {
        QFile own(DataDir() + QStringLiteral("/test.bin"));
        ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    }
    Dialogs().Clear();
    Dialogs().Answer(mrYes);
    Dialogs().Answer(mrOk);
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 10000));
    EXPECT_EQ(Dialogs().Shown().size(), 2u);
    EXPECT_TRUE(QFile::exists(DataDir() + QStringLiteral("/test.bin")));
}

TEST_F(TTestRunServerTest, ARefusedPathEndsTheTestWithTheServersReply) {
    Serve(1000);
    FtpTestProfile p = Profile(QStringLiteral("127.0.0.1:%1").arg(Server->Port));
    p.SetPath(QStringLiteral("/nonexistent"));
    WriteProfiles({p});
    Start();
    Dialogs().Answer(mrYes);
    Dialogs().Answer(mrOk);
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 10000));
    // One box quoting pyftpdlib's 550; nothing fetched from the login folder.
    ASSERT_EQ(Dialogs().Shown().size(), 2u) << Dialogs().ShownTexts().join(u'|').toStdString();
    EXPECT_TRUE(Dialogs().ShownTexts().at(1).startsWith(
        QStringLiteral("Test transfer error:\r\nThe server refused the path:\r\n550 ")))
        << Dialogs().ShownTexts().at(1).toStdString();
    EXPECT_FALSE(QFile::exists(DataDir() + QStringLiteral("/test.bin")));
    EXPECT_EQ(Run()->BytesReceived, 0);
}

TEST_F(TTestingPageTest, BadPortsAndIpv6HostsAreToldAtStart) {
    QTcpServer server; // nothing may connect to it
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const std::pair<const char*, const char*> hosts[] = {
        {"127.0.0.1:0", "The port in"},
        {"127.0.0.1:99999", "The port in"},
        {"127.0.0.1:ftp", "The port in"},
        {"::1", "IPv6 addresses are not supported yet"},
        {"[::1]:2150", "IPv6 addresses are not supported yet"}};
    for (const auto& [host, told] : hosts) {
        StartOver(Profile(QString::fromLatin1(host)));
        Dialogs().Answer(mrOk);
        QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
        ASSERT_EQ(Dialogs().Shown().size(), 1u) << host;
        EXPECT_TRUE(Dialogs().ShownTexts().at(0).startsWith(QLatin1String(told))) << host;
        EXPECT_FALSE(Run()->Running());
    }
    // The proxy port box holds ports only: nothing beyond 65535, nothing below 0.
    QSpinBox* port = Find<QSpinBox>("seProxyPort");
    port->setValue(67657);
    EXPECT_EQ(port->value(), 65535);
    port->setValue(-5);
    EXPECT_EQ(port->value(), 0);
    QTest::qWait(50);
    EXPECT_FALSE(server.hasPendingConnections());
}

TEST_F(TTestRunServerTest, AtCompletionThePageShowsTheStatisticsFigures) {
    TClock::SetSource(nullptr); // real time: the page shows figures ten times a second
    Serve(20000000);
    Start();
    QString bar, figures;
    Dialogs().WhenShown = [&](const QString& text) {
        if (!text.startsWith(QStringLiteral("Transfer Complete!")))
            return;
        const auto* pb = Find<TRemainingTimeBar>("pbFtp");
        bar = QStringLiteral("%1 of %2").arg(pb->value()).arg(pb->maximum());
        figures = Find<QLabel>("lblAvgXfer")->text() + u' ' + Find<QLabel>("lblRemMins")->text();
    };
    for (int answer : {mrYes, mrNo, mrYes})
        Dialogs().Answer(answer);
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 30000));
    EXPECT_EQ(bar, QStringLiteral("20000000 of 20000000"));
    EXPECT_EQ(figures, QString::number(Run()->Throughput) + QStringLiteral(" 0.00 mins"));
    EXPECT_TRUE(Dialogs().Shown()[1].Text.contains(
        QStringLiteral("Average Throughput: %1 bps").arg(Run()->Throughput)));
}

TEST_F(TTestingPageTest, TheFiguresFollowTheBytesAndTheTicks) {
    Start();
    TTestRun* run = Run();
    run->StartTicks = Clock.Ticks;
    Frm->MFtp().BytesTransferred = 1000000;
    run->MFtpFtpInfo(ftpiProgress, QString()); // same tick: nothing to divide by
    EXPECT_EQ(Find<QLabel>("lblAvgXfer")->text(), QStringLiteral("0"));
    Clock.Ticks += 4000;
    run->MFtpFtpInfo(ftpiSize, QStringLiteral("12345"));
    EXPECT_EQ(Find<TRemainingTimeBar>("pbFtp")->maximum(), 12345);
    run->MFtpFtpInfo(ftpiSize, QStringLiteral("n/a"));
    EXPECT_EQ(Find<TRemainingTimeBar>("pbFtp")->maximum(), 100);
    run->MFtpFtpInfo(ftpiSize, QStringLiteral("2000000"));
    run->MFtpFtpInfo(ftpiProgress, QString());
    EXPECT_EQ(Find<QLabel>("lblAvgXfer")->text(), QStringLiteral("250000"));
    EXPECT_EQ(run->Throughput, 250000);
    EXPECT_EQ(run->BytesReceived, 1000000);
    EXPECT_EQ(Find<TRemainingTimeBar>("pbFtp")->value(), 1000000);
}

TEST_F(TTestingPageTest, NewFiguresRepaintOnlyThemselves) {
    Start();
    TTestRun* run = Run();
    run->StartTicks = Clock.Ticks;
    run->MFtpFtpInfo(ftpiSize, QStringLiteral("4000000000"));
    Clock.Ticks += 110;
    Frm->MFtp().BytesTransferred = 1;
    run->MFtpFtpInfo(ftpiProgress, QString()); // the first figures shown
    // Figures of every width, as a download shows them: none lays the page
    // out again (which repaints it whole); and at most one new text in 100 ms.
    struct TLayoutCount : QObject {
        int N = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            N += e->type() == QEvent::LayoutRequest;
            return false;
        }
    } layouts;
    QApplication::processEvents();
    Page()->installEventFilter(&layouts);
    QStringList shown;
    for (qint64 bytes = 9; bytes < 4000000000LL; bytes = bytes * 10 + 9) {
        Clock.Ticks += 110;
        Frm->MFtp().BytesTransferred = quint64(bytes);
        run->MFtpFtpInfo(ftpiProgress, QString());
        shown << Find<QLabel>("lblAvgXfer")->text();
        Clock.Ticks += 10;
        Frm->MFtp().BytesTransferred = quint64(bytes + 1);
        run->MFtpFtpInfo(ftpiProgress, QString());
        EXPECT_EQ(Find<QLabel>("lblAvgXfer")->text(), shown.last()); // too soon to show
        QApplication::processEvents();
    }
    Page()->removeEventFilter(&layouts);
    EXPECT_EQ(layouts.N, 0);
    EXPECT_GE(shown.last().size(), 9); // up to hundreds of millions a second
}

TEST_F(TTestingPageTest, EditingKeepsTheSelectionAndNoSelectionIsRefused) {
    WriteProfiles({Profile(QStringLiteral("one")), Profile(QStringLiteral("two"))});
    Start();
    QComboBox* hosts = Find<QComboBox>("cbFtpHost");
    hosts->setCurrentIndex(1);
    Page()->cbFtpHostChange();
    WhenModal<QDialog>([](QDialog& d) {
        auto* file = d.findChild<QLineEdit*>(QStringLiteral("ebFile"));
        EXPECT_EQ(file->text(), QStringLiteral("test.bin"));
        file->setText(QStringLiteral("other.bin"));
        QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("btnSave")), Qt::LeftButton);
    });
    QTest::mouseClick(Find<QToolButton>("btnFtpEdit"), Qt::LeftButton);
    EXPECT_EQ(hosts->currentIndex(), 1);
    EXPECT_EQ(Find<QLineEdit>("ebftpFilename")->text(), QStringLiteral("other.bin"));

    hosts->setCurrentIndex(-1);
    Dialogs().Answer(mrOk);
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    EXPECT_EQ(Dialogs().ShownTexts(),
              QStringList{QStringLiteral("Please choose a testing profile first")});
}

TEST_F(TTestingPageTest, AtMostFourActiveConnectionsAreKept) {
    for (int i = 0; i < 5; ++i)
        Interface(QStringLiteral("ppp%1").arg(i), true);
    TRAS ras;
    EXPECT_EQ(ras.GetConnections(), TRAS::ERROR_BUFFER_TOO_SMALL); // the buffer holds four
    EXPECT_EQ(ras.NumConns, 5);
    ASSERT_EQ(ras.Connections().size(), 4u);
    EXPECT_EQ(ras.Connections().back().EntryName, QStringLiteral("ppp3"));
}

TEST_F(TTestingPageTest, AbortWhileResolvingIdlesThePageAndStopsTheComponent) {
    WriteProfiles({Profile(QStringLiteral("localhost"))});
    Start();
    Dialogs().Answer(mrYes);                             // online
    Dialogs().Answer(mrYes);                             // abort
    Find<TRemainingTimeBar>("pbFtp")->setMaximum(12345); // the last run's size
    Run()->btnStartClick();
    ASSERT_TRUE(Run()->Running());
    EXPECT_EQ(Find<TRemainingTimeBar>("pbFtp")->maximum(), 100);
    ASSERT_EQ(Find<QLabel>("lblActivity")->text(), QStringLiteral("Resolving host"));
    Run()->btnStartClick();
    // Idle at once, and the session ends without ever logging in.
    EXPECT_FALSE(Run()->Running());
    EXPECT_EQ(Find<QPushButton>("btnStart")->text().remove(u'&'), QStringLiteral("Start"));
    EXPECT_TRUE(
        WaitUntil([&] { return !Frm->MFtp().Connected() && !Frm->MFtp().LookupPending(); }, 2000));
    QTest::qWait(200);
    EXPECT_FALSE(Frm->MFtp().LoggedIn());
    EXPECT_FALSE(Frm->MFtp().HandleValid());
}

TEST_F(TTestRunServerTest, TheDownloadedFileStaysWhenTheUserSaysSo) {
    Serve(64 * 1024);
    Start();
    for (int answer : {mrYes, mrNo, mrNo})
        Dialogs().Answer(answer);
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 20000));
    EXPECT_EQ(Dialogs().Shown().size(), 3u);
    QFile kept(DataDir() + QStringLiteral("/test.bin"));
    EXPECT_EQ(kept.size(), 64 * 1024);
}

TEST_F(TTestRunServerTest, TheTestRunsThroughTheUserAtHostProxy) {
    SKIP_UNLESS_VSFTPD_CAN_RUN();
    Serve(100 * 1024, 0, true);
    auto proxy = TFtpServer::FtpProxy(Server->Port);
    ASSERT_TRUE(proxy);
    WriteProfiles({Profile(QStringLiteral("127.0.0.1:%1").arg(Server->Port))});
    WriteHive(THKey::HKEY_CURRENT_USER,
              QStringLiteral("[HKEY_CURRENT_USER\\Software\\Brindlecove\\Zephyn\\Proxy]\n"
                             "\"Host\"=\"127.0.0.1\"\n\"Port\"=dword:%1\n\"Type\"=\"UserSite\"\n")
                  .arg(proxy->Port, 8, 16, QChar(u'0')));
    Start();
    EXPECT_EQ(Find<QComboBox>("cbProxyType")->currentText(),
              QStringLiteral("USER login user name @ ftp server name"));
    for (int answer : {mrYes, mrNo, mrYes})
        Dialogs().Answer(answer);
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 20000));
    EXPECT_TRUE(
        Dialogs().ShownTexts().value(1).contains(QStringLiteral("Bytes Transfered: 102400")))
        << Dialogs().ShownTexts().join(u'\n').toStdString();
}

TEST_F(TTestingPageTest, AProfileThatWouldReplaceOneOfZephynsFilesIsRefusedAtStart) {
    QTcpServer server; // nothing may connect to it
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const QString host = QStringLiteral("127.0.0.1:%1").arg(server.serverPort());
    for (const char* name : {"ftptest.prf", "HIST.DAT", "zeph_err.log", "history.dat.bak",
                             "zephyn-chart-20261208-090507.pdf", ".hist.dat.Ab12Cd", "registry",
                             "sub/hist.dat", "Portable"}) {
        StartOver(Profile(host, QString::fromLatin1(name)));
        Dialogs().Answer(mrOk);
        QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
        const QString local = QFileInfo(QString::fromLatin1(name)).fileName();
        EXPECT_EQ(Dialogs().ShownTexts(),
                  QStringList{QStringLiteral("The test file \"%1\" would replace one of Zephyn's "
                                             "own files in %2.\r\nPlease choose a profile whose "
                                             "file has another name.")
                                  .arg(local, DataDir())})
            << name;
        EXPECT_EQ(Dialogs().Shown().front().Type, TMsgDlgType::mtWarning);
        EXPECT_FALSE(Run()->Running());
    }
    QTest::qWait(50);
    EXPECT_FALSE(server.hasPendingConnections());
    EXPECT_FALSE(TTestRun::IsOwnFile(QStringLiteral("test.bin")));
    EXPECT_FALSE(TTestRun::IsOwnFile(QStringLiteral("hist.dat.zip")));
}

TEST_F(TTestRunServerTest, ALinkAtTheDownloadNameIsRefusedAndLeftPointingAtItsTarget) {
    Serve(64 * 1024);
    QTemporaryDir outside;
    const QString target = outside.path() + QStringLiteral("/precious");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("precious content");
    }
    const QString link = DataDir() + QStringLiteral("/test.bin");
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()),
              0);
    Start();
    // One cause, one message: the local refusal, naming the file and why.
    Dialogs().Answer(mrYes); // online
    Dialogs().Answer(mrOk);  // the error
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 10000));
    EXPECT_EQ(Dialogs().ShownTexts().value(1),
              QStringLiteral("Test transfer error:\r\nI/O error opening file: ") + link +
                  QStringLiteral(": it is a symbolic link, which Zephyn does not follow"));
    EXPECT_EQ(Dialogs().Shown().size(), 2u);
    EXPECT_EQ(QFile::symLinkTarget(link), target);
    QFile f(target);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("precious content"));

    // A folder at that name likewise.
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QDir().mkdir(link));
    Dialogs().Clear();
    Dialogs().Answer(mrYes);
    Dialogs().Answer(mrOk);
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 10000));
    EXPECT_EQ(Dialogs().ShownTexts().value(1),
              QStringLiteral("Test transfer error:\r\nI/O error opening file: ") + link +
                  QStringLiteral(": it is a folder where a file should be"));
    EXPECT_EQ(Dialogs().Shown().size(), 2u);
    EXPECT_TRUE(QFileInfo(link).isDir());
}

// A file received whole stays when an error ends the session afterwards
// (QUIT refused, and the connection left open): the error is shown once,
// then the statistics and the delete question as usual.
TEST_F(TTestingPageTest, AnErrorAfterTheWholeFileKeepsItAndItsStatistics) {
    TScriptedFtpPeer peer;
    ScriptSession(peer);
    peer.Reply(QStringLiteral("QUIT"), {{QStringLiteral("500 No.")}});
    QString port;
    peer.OnCommand = [&port](TScriptedFtpPeer& p, const QString& line) {
        if (line.startsWith(QLatin1String("PORT")))
            port = line;
        if (!line.startsWith(QLatin1String("RETR")))
            return false;
        p.ConnectActive(port);
        p.Send(QStringLiteral("150 Opening (70000 bytes)\r\n"));
        p.SendData(QByteArray(70000, 'd'));
        QTimer::singleShot(100, &p, [&p] { p.Send(QStringLiteral("226 done\r\n")); });
        return true;
    };
    WriteProfiles({Profile(QStringLiteral("127.0.0.1:%1").arg(peer.Port()))});
    Start();
    for (int answer : {mrYes, mrOk, mrNo, mrNo})
        Dialogs().Answer(answer);
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 10000));
    const QStringList shown = Dialogs().ShownTexts();
    ASSERT_EQ(shown.size(), 4) << shown.join(u'\n').toStdString();
    EXPECT_TRUE(shown[1].startsWith(QStringLiteral("Test transfer error:\r\n")));
    EXPECT_TRUE(shown[2].startsWith(QStringLiteral("Transfer Complete!")));
    EXPECT_EQ(shown[3], QStringLiteral("Delete the downloaded test file?"));
    EXPECT_EQ(QFileInfo(DataDir() + QStringLiteral("/test.bin")).size(), 70000);
    EXPECT_EQ(Run()->State(), TTestRunState::Idle);
}

// A file cut short, by a refusal after 150 or by fewer bytes than announced:
// one error box with the reason, no statistics or record, no partial file.
TEST_F(TTestingPageTest, ATruncatedTransferIsAFailureNotAFigure) {
    for (const char* ending : {"426 Connection closed; transfer aborted.", "226 done"}) {
        TScriptedFtpPeer peer;
        ScriptSession(peer);
        peer.Reply(QStringLiteral("QUIT"), {{QStringLiteral("221 bye")}});
        QString port;
        const QString last = QString::fromLatin1(ending);
        peer.OnCommand = [&port, last](TScriptedFtpPeer& p, const QString& line) {
            if (line.startsWith(QLatin1String("PORT")))
                port = line;
            if (!line.startsWith(QLatin1String("RETR")))
                return false;
            p.ConnectActive(port);
            p.Send(QStringLiteral("150 Opening (200000 bytes)\r\n"));
            p.SendData(QByteArray(100000, 'd'));
            QTimer::singleShot(100, &p, [&p, last] { p.Send(last + QStringLiteral("\r\n")); });
            return true;
        };
        StartOver(Profile(QStringLiteral("127.0.0.1:%1").arg(peer.Port())));
        Dialogs().Answer(mrYes);
        Dialogs().Answer(mrOk);
        const int records = Data->History.Count();
        QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 10000)) << ending;
        const QStringList shown = Dialogs().ShownTexts();
        ASSERT_EQ(shown.size(), 2) << shown.join(u'\n').toStdString();
        EXPECT_TRUE(shown[1].startsWith(
            QStringLiteral("Test transfer error:\r\nThe file did not arrive whole:\r\n")))
            << shown[1].toStdString();
        EXPECT_TRUE(shown[1].contains(last.startsWith(u'4') ? last : QStringLiteral("200000")))
            << shown[1].toStdString();
        EXPECT_EQ(Data->History.Count(), records);
        EXPECT_FALSE(QFile::exists(DataDir() + QStringLiteral("/test.bin"))) << ending;
    }
}

// The server hangs up on a session that still needs it: after USER, after
// 150, or half-way through the file. One box says so; no file is left.
TEST_F(TTestingPageTest, AServerThatHangsUpIsToldOnceAndLeavesNoFile) {
    for (const char* when : {"USER", "150", "half"}) {
        TScriptedFtpPeer peer;
        ScriptSession(peer); // USER is answered below
        QString port;
        const QString moment = QString::fromLatin1(when);
        peer.OnCommand = [&port, moment](TScriptedFtpPeer& p, const QString& line) {
            if (line.startsWith(QLatin1String("USER"))) {
                if (moment == QLatin1String("USER")) {
                    p.CloseControl();
                    return true;
                }
                p.Send(QStringLiteral("331 password\r\n"));
                return true;
            }
            if (line.startsWith(QLatin1String("PORT")))
                port = line;
            if (!line.startsWith(QLatin1String("RETR")))
                return false;
            p.ConnectActive(port);
            p.Send(QStringLiteral("150 Opening (200000 bytes)\r\n"));
            if (moment == QLatin1String("half"))
                p.SendData(QByteArray(100000, 'h'), false);
            QTimer::singleShot(100, &p, [&p] { p.CloseControl(); });
            return true;
        };
        StartOver(Profile(QStringLiteral("127.0.0.1:%1").arg(peer.Port())));
        Dialogs().Answer(mrYes);
        Dialogs().Answer(mrOk);
        QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
        ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 10000)) << when;
        EXPECT_EQ(
            Dialogs().ShownTexts().mid(1),
            QStringList{QStringLiteral("Test transfer error:\r\nPremature disconnection by host")})
            << when;
        EXPECT_FALSE(QFile::exists(DataDir() + QStringLiteral("/test.bin"))) << when;
    }
}

// A full disk during the download: one box naming the file and the reason,
// no statistics or record, and the partial file removed (freeing the disk).
TEST_F(TTestRunServerTest, AFullDiskEndsTheTestAsFailedAndFreesTheDisk) {
    const QString small = DataDir() + QStringLiteral("/small-disk");
    QDir().mkpath(small);
    QProcess mount;
    mount.start(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=256k", "tmpfs", small});
    if (!mount.waitForFinished(10000) || mount.exitCode() != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    qputenv("ZEPHYN_HOME", QFile::encodeName(small));
    Serve(1000000);
    WriteProfiles({Profile(QStringLiteral("127.0.0.1:%1").arg(Server->Port))});
    // The profile file and the history live on the small disk too.
    WriteOneRecordHistory();
    for (const char* file : {"/ftptest.prf", "/hist.dat"})
        QFile::copy(DataDir() + QLatin1String(file), small + QLatin1String(file));
    Start();
    Dialogs().Answer(mrYes);
    Dialogs().Answer(mrOk);
    const int records = Data->History.Count();
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    const bool ended = WaitUntil([&] { return !Run()->Running(); }, 15000);
    const QStringList shown = Dialogs().ShownTexts();
    const bool left = QFile::exists(small + QStringLiteral("/test.bin"));
    const int after = Data->History.Count();
    Frm.reset();
    Data.reset();
    QProcess::execute(QStringLiteral("umount"), {small});
    ASSERT_TRUE(ended);
    ASSERT_EQ(shown.size(), 2) << shown.join(u'|').toStdString();
    EXPECT_EQ(shown[1], QStringLiteral("Test transfer error:\r\nI/O error writing file: ") + small +
                            QStringLiteral("/test.bin: the disk is full"));
    EXPECT_FALSE(left);
    EXPECT_EQ(after, records);
}

// The Settings page's values, saved or not, go with the test's connections;
// the switch, kept per user, measures with this computer's own instead.
TEST_F(TTestRunServerTest, TheTestCarriesTheSettingsPagesValuesUnlessTheSwitchSaysOtherwise) {
    Serve(256 * 1024);
    Start();
    QWidget* settings = FindWidget<QTabWidget>(Frm, "PageControl1")->widget(0);
    FindWidget<QSpinBox>(settings, "seMSS")->setValue(536);
    FindWidget<QLineEdit>(settings, "ebRWIN")->setText(QStringLiteral("8760"));
    auto* ttl = FindWidget<QComboBox>(settings, "cbTTL");
    ttl->setCurrentIndex(ttl->findText(QStringLiteral("32")));
    auto* ftp = Frm->findChild<TMFtp*>();
    auto* own = Find<QCheckBox>("cbOwnSettings");
    EXPECT_FALSE(own->isChecked());
    for (const bool ownSettings : {false, true}) {
        if (ownSettings)
            QTest::mouseClick(own, Qt::LeftButton);
        for (int answer : {mrYes, mrNo, mrYes})
            Dialogs().Answer(answer);
        QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
        EXPECT_FALSE(own->isEnabled());
        ASSERT_TRUE(WaitUntil([&] { return !Run()->Running(); }, 20000));
        const QString readout = Page()->ReadoutText();
        const TConnectionFigures& data = ftp->DataFigures();
        ASSERT_TRUE(data.Valid) << readout.toStdString();
        if (!ownSettings) {
            EXPECT_TRUE(readout.contains(QStringLiteral("segment size of 536."))) << readout.toStdString();
            EXPECT_EQ(data.TimeToLive, 32);
            EXPECT_EQ(data.AdvertisedMss, 536u);
        } else {
            EXPECT_TRUE(readout.startsWith(QStringLiteral(
                "Measured with this computer's own settings")))
                << readout.toStdString();
            EXPECT_NE(data.TimeToLive, 32);
            EXPECT_GT(data.AdvertisedMss, 1400u);
        }
        auto* line = Find<TOneLineLabel>("lblConnection");
        EXPECT_EQ(line->toolTip(), readout);
        EXPECT_EQ(QAccessible::queryAccessibleInterface(line)->text(QAccessible::Description),
                  readout);
    }
    const auto kept = HiveValue(THKey::HKEY_CURRENT_USER,
                                QStringLiteral("Software\\Brindlecove\\Zephyn\\Testing"),
                                QStringLiteral("OwnSettings"));
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->Data, QByteArray("\x01\x00\x00\x00", 4));
    StartOver(Profile(QStringLiteral("127.0.0.1:%1").arg(Server->Port)));
    EXPECT_TRUE(Find<QCheckBox>("cbOwnSettings")->isChecked());
}

TEST(TConnectionReadout, TellsWhatTheDataConnectionDidFromItsTcpInfo) {
    tcp_info info{};
    info.tcpi_min_rtt = 201'300;
    info.tcpi_rtt = 230'000;
    info.tcpi_rcv_mss = 534;
    info.tcpi_advmss = 524;
    info.tcpi_options = TCPI_OPT_TIMESTAMPS;
    info.tcpi_rcv_ooopack = 3;
    char bytes[sizeof info + 4] = {};
    std::memcpy(bytes, &info, sizeof info);
    const uint32_t window = 2144;
    std::memcpy(bytes + offsetof(tcp_info, tcpi_snd_wnd) + 4, &window, 4);
    TConnectionFigures f = TConnectionFigures::FromTcpInfo(bytes, sizeof bytes);
    f.TimeToLive = 64;
    TSocketOptions asked;
    asked.SegmentSize = 1460;
    asked.ReceiveWindow = 2144;
    asked.TimeToLive = 64;
    // 127,000 B/s over 201.3 ms: 25,565 bytes, 48 segments of 534.
    EXPECT_EQ(TConnectionReadout::AtEnd(f, 127000, &asked, {}),
              QStringLiteral(
                  "Round trip 201 ms least, 230 ms smoothed. The server sent segments of 534 "
                  "bytes. Zephyn advertised a window of 2,144 bytes and a segment size of 536. "
                  "3 segments arrived out of order. A window of 25,632 bytes (48 × 534) would "
                  "fill this link. The link allowed a segment size of 536 only, not 1,460. "
                  "Black-hole detection and the NDI cache size are recorded, not applied: Linux "
                  "has no setting for them per connection."));
    // A kernel without the advertised window, and no settings applied.
    f = TConnectionFigures::FromTcpInfo(bytes, sizeof info - 4);
    EXPECT_TRUE(TConnectionReadout::AtEnd(f, 0, nullptr, {})
                    .startsWith(QStringLiteral("Measured with this computer's own settings: the "
                                               "Settings page's are not applied. Round trip 201 ms "
                                               "least, 230 ms smoothed. The server sent segments "
                                               "of 534 bytes. Zephyn advertised a segment size of "
                                               "536. 3 segments")));
    EXPECT_FALSE(TConnectionFigures::FromTcpInfo(bytes, 40).Valid);
}

TEST(TTestSettings, ThePagesValuesBecomeSocketOptionsAndUnsetLeavesLinuxsOwn) {
    TSettingsInForce page;
    page.MSS = 1460;
    page.RWIN = QStringLiteral("2144");
    page.TTL = QStringLiteral("32");
    page.AutoDiscover = true;
    TSocketOptions o = TTestSettings::FromPage(page, QStringLiteral("576"));
    EXPECT_EQ(o.SegmentSize, 536); // lowered to the MTU's
    EXPECT_EQ(o.ReceiveWindow, 2144);
    EXPECT_EQ(o.TimeToLive, 32);
    EXPECT_EQ(o.PathMtu, TSocketOptions::TPathMtu::Discover);
    EXPECT_EQ(TTestSettings::FromPage(page, QStringLiteral("1500")).SegmentSize, 1460);
    page = TSettingsInForce();
    page.RWIN = QStringLiteral("0");
    page.TTL = QStringLiteral("0");
    o = TTestSettings::FromPage(page, QStringLiteral("-1"));
    EXPECT_EQ(o.SegmentSize, 0);
    EXPECT_EQ(o.ReceiveWindow, 0);
    EXPECT_EQ(o.TimeToLive, 0);
    EXPECT_EQ(o.PathMtu, TSocketOptions::TPathMtu::DontDiscover);
    EXPECT_EQ(TTestSettings::FromPage(page, QStringLiteral("1002")).SegmentSize, 962);
    // What Linux cannot take is told at Start.
    o.SegmentSize = 50;
    o.ReceiveWindow = 500;
    o.TimeToLive = 300;
    const QStringList notes = o.Check();
    ASSERT_EQ(notes.size(), 3) << notes.join(u'\n').toStdString();
    EXPECT_EQ(notes[0], QStringLiteral("The connections advertise Linux's own segment size: it "
                                       "takes from 88 to 32,767 bytes only, not 50."));
    EXPECT_EQ(notes[1], QStringLiteral("The window will be 1,152 bytes, not 500: it is the least "
                                       "Linux allows."));
    EXPECT_EQ(notes[2], QStringLiteral("The connections use Linux's own TTL: it takes one from 1 "
                                       "to 255 only, not 300."));
}
