#include "platform/TExceptions.h"
#include "support/TScriptedDialogs.h"
#include "support/TTestEnvironment.h"
#include "tcpip/TParameterSet.h"

namespace {

const QString NoProfiles = QStringLiteral(
    "There were no Dialup Networking TCP/IP profiles found\r\nin your registry. Please make sure "
    "your dialup adapter\r\nis configured to use TCP/IP. You can continue running\r\nZephyn, but "
    "the maximum MTU setting will be disabled.\r\n\r\nDo you wish to continue?");

QString Binding(const QString& index, const QString& desc, const QString& extra = QString()) {
    return QStringLiteral(
               "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\%1]\n"
               "\"DriverDesc\"=\"%2\"\n%3\n")
        .arg(index, desc, extra);
}

QString Mstcp(const QString& values) {
    return QStringLiteral(
               "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VxD\\MSTCP]\n") +
           values + u'\n';
}

} // namespace

class TWin9xReaderTest : public TZephynTest {
protected:
    TParameterSet Model;
    int Read(TPlatform platform = Win98) {
        Model.Platform = platform;
        return Model.ReadWin9xParameters();
    }
};

TEST_F(TWin9xReaderTest, TcpIpBindingsBecomeProfilesInKeyOrder) {
    WriteHive(
        THKey::HKEY_LOCAL_MACHINE,
        Binding(QStringLiteral("0000"), QStringLiteral("TCP/IP"),
                QStringLiteral(
                    "\"IPAddress\"=\"10.1.1.1\"\n\"IPMask\"=\"255.0.0.0\"\n\"MaxMTU\"=\"576\"")) +
            Binding(QStringLiteral("0001"), QStringLiteral("IPX/SPX-compatible Protocol")) +
            Binding(QStringLiteral("0002"), QStringLiteral("TCP/IP -> Dial-Up Adapter")) +
            Binding(QStringLiteral("0003"), QStringLiteral("tcp/ip")) +
            Binding(QStringLiteral("0051"), QStringLiteral("TCP/IP")) +
            Mstcp(QStringLiteral("\"DefaultRcvWindow\"=\"2144\"\n\"DefaultTTL\"=\"128\"\n"
                                 "\"DefaultMSS\"=\"536\"\n\"PMTUDiscovery\"="
                                 "\"1\"\n\"PMTUBlackHoleDetect\"=\"yes\"")));
    EXPECT_EQ(Read(), 2);
    EXPECT_EQ(Model.Profiles[0].KeyName, QStringLiteral("0000"));
    EXPECT_EQ(Model.Profiles[0].KeyPath,
              QStringLiteral("System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000"));
    EXPECT_EQ(Model.Profiles[0].IPAddress, QStringLiteral("10.1.1.1"));
    EXPECT_EQ(Model.Profiles[0].IPMask, QStringLiteral("255.0.0.0"));
    EXPECT_EQ(Model.Profiles[0].MTU, QStringLiteral("576"));
    EXPECT_EQ(Model.Profiles[1].KeyName, QStringLiteral("0003"));
    EXPECT_EQ(Model.Profiles[1].MTU, QString()); // MaxMTU absent
    EXPECT_EQ(Model.ProfileItems(), (QStringList{QStringLiteral("..\\NetTrans\\0000"),
                                                 QStringLiteral("..\\NetTrans\\0003")}));
    EXPECT_EQ(Model.ActiveProfile(), 0);
    EXPECT_EQ(Model.RWIN, QStringLiteral("2144"));
    EXPECT_EQ(Model.TTL, QStringLiteral("128"));
    EXPECT_EQ(Model.MSS, QStringLiteral("536"));
    EXPECT_TRUE(Model.AutoDiscover);
    EXPECT_FALSE(Model.BlackHole);
    EXPECT_FALSE(Model.IPMTUInUse);
}

TEST_F(TWin9xReaderTest, AllFiftyOneQualifyingKeysBecomeProfiles) {
    QString hive;
    for (int i = 0; i <= 51; ++i)
        hive += Binding(QStringLiteral("%1").arg(i, 4, 10, QChar(u'0')), QStringLiteral("TCP/IP"));
    WriteHive(THKey::HKEY_LOCAL_MACHINE, hive);
    EXPECT_EQ(Read(Win95), 51);
    EXPECT_EQ(Model.Profiles[50].KeyName, QStringLiteral("0050"));
}

TEST_F(TWin9xReaderTest, IpmtuIsWrittenOnWindows98OnlyAndASubkeyTurnsItOn) {
    WriteHive(
        THKey::HKEY_LOCAL_MACHINE,
        Binding(QStringLiteral("0000"), QStringLiteral("TCP/IP")) +
            Binding(QStringLiteral("0001"), QStringLiteral("TCP/IP"),
                    QStringLiteral("\"IPMTU\"=dword:00000001")) +
            QStringLiteral(
                "[HKEY_LOCAL_"
                "MACHINE\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\0001\\IPMTU]\n"));
    EXPECT_EQ(Read(Win95), 2);
    EXPECT_FALSE(
        ReadHiveText(THKey::HKEY_LOCAL_MACHINE).contains(QStringLiteral("\"IPMTU\"=\"0\"")));
    EXPECT_TRUE(Model.IPMTUInUse);
    EXPECT_EQ(Model.Profiles[0].IPMTU, QString());
    EXPECT_EQ(Model.Profiles[1].IPMTU, QStringLiteral("0")); // a read error reads as "0"

    TParameterSet again;
    again.Platform = Win98;
    again.ReadWin9xParameters();
    TRegistry reg(THKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(
        QStringLiteral("System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000"), false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("IPMTU")), QStringLiteral("0"));
}

TEST_F(TWin9xReaderTest, GlobalValuesFallBackAndTheirKeysAreCreated) {
    WriteHive(
        THKey::HKEY_LOCAL_MACHINE,
        Binding(QStringLiteral("0000"), QStringLiteral("TCP/IP"),
                QStringLiteral("\"MaxMTU\"=dword:00000240\n\"IPAddress\"=hex:00")) +
            Mstcp(QStringLiteral(
                "\"DefaultTTL\"=\"200\"\n\"DefaultMSS\"=dword:00000001\n\"PMTUDiscovery\"=\"0\"")));
    EXPECT_EQ(Read(), 1);
    EXPECT_EQ(Model.Profiles[0].MTU, QStringLiteral("-1"));
    EXPECT_EQ(Model.Profiles[0].IPAddress, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(Model.TTL, QStringLiteral("0")); // above 128
    EXPECT_EQ(Model.RWIN, QStringLiteral("0"));
    EXPECT_EQ(Model.MSS, QStringLiteral("0"));
    EXPECT_FALSE(Model.AutoDiscover);
    EXPECT_EQ(Model.NdiCacheSize, QStringLiteral("0")); // no NWLink
    TRegistry reg(THKey::HKEY_LOCAL_MACHINE);
    EXPECT_TRUE(reg.OpenKey(
        QStringLiteral("System\\CurrentControlSet\\Services\\VxD\\NWLink\\Ndi\\params\\cachesize"),
        false));
}

TEST_F(TWin9xReaderTest, ATtlThatIsNoNumberRaisesTheConversionError) {
    WriteHive(THKey::HKEY_LOCAL_MACHINE, Binding(QStringLiteral("0000"), QStringLiteral("TCP/IP")) +
                                             Mstcp(QStringLiteral("\"DefaultTTL\"=\"abc\"")));
    try {
        Read();
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'abc' is not a valid integer value"));
    }
}

TEST_F(TWin9xReaderTest, NoProfilesAsksAndNoEndsTheReading) {
    WriteHive(THKey::HKEY_LOCAL_MACHINE,
              Binding(QStringLiteral("0000"), QStringLiteral("NetBEUI")));
    Dialogs().Answer(mrNo);
    EXPECT_EQ(Read(), -1);
    ASSERT_EQ(Dialogs().Shown().size(), 1u);
    EXPECT_EQ(Dialogs().Shown()[0].Text, NoProfiles);
    EXPECT_EQ(Dialogs().Shown()[0].Type, TMsgDlgType::mtConfirmation);
    EXPECT_EQ(Dialogs().Shown()[0].Buttons, TMsgDlgButtons::mbYesNo);
    TRegistry reg(THKey::HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(
        reg.OpenKey(QStringLiteral("System\\CurrentControlSet\\Services\\VxD\\MSTCP"), false));

    Dialogs().Answer(mrYes);
    TParameterSet going;
    EXPECT_EQ(going.ReadWin9xParameters(), 0);
    EXPECT_EQ(going.ActiveProfile(), -1);
    EXPECT_EQ(going.TTL, QStringLiteral("0"));
}

TEST_F(TWin9xReaderTest, LocalAddressesGoToDynamicProfilesInOrder) {
    auto profiles = [this](std::initializer_list<const char*> addresses) {
        Model.ProfileCount = 0;
        for (const char* a : addresses)
            Model.Profiles[Model.ProfileCount++].IPAddress = QString::fromLatin1(a);
    };
    profiles({"0.0.0.0", "0.0.0.0"});
    Model.LocalAddresses = {QStringLiteral("10.0.0.5"), QStringLiteral("10.0.0.6")};
    Model.AssignLocalAddresses();
    EXPECT_EQ(Model.Profiles[0].IPAddress, QStringLiteral("10.0.0.5"));
    EXPECT_EQ(Model.Profiles[1].IPAddress, QStringLiteral("10.0.0.6"));

    profiles({"0.0.0.0", "0.0.0.0", "0.0.0.0"});
    Model.AssignLocalAddresses();
    EXPECT_EQ(Model.Profiles[0].IPAddress, QStringLiteral("0.0.0.0"));

    profiles({"10.0.0.5", "0.0.0.0"});
    Model.AssignLocalAddresses();
    EXPECT_EQ(Model.Profiles[0].IPAddress, QStringLiteral("10.0.0.5"));
    EXPECT_EQ(Model.Profiles[1].IPAddress, QStringLiteral("10.0.0.6"));

    profiles({"10.0.0.5", "0.0.0.0"});
    Model.LocalAddresses = {QStringLiteral("10.0.0.5"), QStringLiteral("10.0.0.5")};
    Model.AssignLocalAddresses();
    EXPECT_EQ(Model.Profiles[1].IPAddress, QStringLiteral("0.0.0.0"));
}

class TNTReaderTest : public TZephynTest {};

TEST_F(TNTReaderTest, DialOutAdaptersOfTheSampleBecomeProfiles) {
    UseSample(QStringLiteral("nt4.reg"));
    TParameterSet model;
    model.Platform = WinNT;
    EXPECT_EQ(model.ReadNTParameters(), 2);
    EXPECT_EQ(model.ProfileItems(), (QStringList{QStringLiteral("..\\Tcpip\\NdisWan4"),
                                                 QStringLiteral("..\\Tcpip\\NdisWan5")}));
    EXPECT_EQ(model.Profiles[0].MTU, QStringLiteral("1500"));
    EXPECT_EQ(model.Profiles[1].MTU, QStringLiteral("-1"));
    EXPECT_EQ(model.Profiles[1].IPAddress, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(model.RWIN, QStringLiteral("8736"));
    EXPECT_EQ(model.TTL, QStringLiteral("128"));
    EXPECT_EQ(model.MSS, QStringLiteral("1460"));
    EXPECT_TRUE(model.AutoDiscover);
    EXPECT_FALSE(model.BlackHole);
}
