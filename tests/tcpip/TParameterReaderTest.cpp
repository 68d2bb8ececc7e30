#include "helpers/THiveText.h"
#include "helpers/TScriptedDialogs.h"
#include "helpers/TTestEnvironment.h"
#include "platform/TExceptions.h"
#include "tcpip/TParameterSet.h"

namespace {

const QString NoProfiles = QStringLiteral(
    "There were no Dialup Networking TCP/IP profiles found\r\nin your registry. Please make sure "
    "your dialup adapter\r\nis configured to use TCP/IP. You can continue running\r\nZephyn, but "
    "the maximum MTU setting will be disabled.\r\n\r\nDo you wish to continue?");

} // namespace

using HiveText::Binding;
using HiveText::Mstcp;

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
                    "\"IPAddress\"=\"127.1.1.1\"\n\"IPMask\"=\"255.0.0.0\"\n\"MaxMTU\"=\"576\"")) +
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
    EXPECT_EQ(Model.Profiles[0].IPAddress, QStringLiteral("127.1.1.1"));
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
    Model.LocalAddresses = {QStringLiteral("127.0.0.5"), QStringLiteral("127.0.0.6")};
    Model.AssignLocalAddresses();
    EXPECT_EQ(Model.Profiles[0].IPAddress, QStringLiteral("127.0.0.5"));
    EXPECT_EQ(Model.Profiles[1].IPAddress, QStringLiteral("127.0.0.6"));

    profiles({"0.0.0.0", "0.0.0.0", "0.0.0.0"});
    Model.AssignLocalAddresses();
    EXPECT_EQ(Model.Profiles[0].IPAddress, QStringLiteral("0.0.0.0"));

    profiles({"127.0.0.5", "0.0.0.0"});
    Model.AssignLocalAddresses();
    EXPECT_EQ(Model.Profiles[0].IPAddress, QStringLiteral("127.0.0.5"));
    EXPECT_EQ(Model.Profiles[1].IPAddress, QStringLiteral("127.0.0.6"));

    profiles({"127.0.0.5", "0.0.0.0"});
    Model.LocalAddresses = {QStringLiteral("127.0.0.5"), QStringLiteral("127.0.0.5")};
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

TEST_F(TNTReaderTest, OnlyDialOutIpCardsQualifyWhateverTheirCase) {
    using namespace HiveText;
    WriteHive(THKey::HKEY_LOCAL_MACHINE,
              NTAdapter(0, QStringLiteral("\"IPAddress\"=\"127.0.0.9\"\n\"MTU\"=dword:000005dc")) +
                  NTCard(0, QStringLiteral("ndiswan ndiswandialin")) +
                  NTAdapter(4, QStringLiteral("\"IPAddress\"=\"0.0.0.0\"")) +
                  NTCard(4, QStringLiteral("ndiswan NdisWanDialOutIP")) +
                  // A qualifying card without its adapter key, and an adapter
                  // without its card's rules, are both skipped.
                  NTCard(6, QStringLiteral("ndiswandialoutip")) + NTAdapter(7) + NTAdapter(51) +
                  NTCard(51, QStringLiteral("ndiswandialoutip")) + NTParameters(QString()));
    TParameterSet model;
    model.Platform = WinNT;
    EXPECT_EQ(model.ReadNTParameters(), 1);
    EXPECT_EQ(model.ProfileItems(), QStringList{QStringLiteral("..\\Tcpip\\NdisWan4")});
    const AdapterProfile& p = model.Profiles[0];
    EXPECT_EQ(p.KeyName, QStringLiteral("NdisWan4"));
    EXPECT_EQ(p.KeyPath,
              QStringLiteral("SYSTEM\\CurrentControlSet\\Services\\NdisWan4\\Parameters\\Tcpip"));
    EXPECT_EQ(p.IPAddress, QString()); // "0.0.0.0" and no DhcpIPAddress
    EXPECT_EQ(p.IPMask, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(p.MTU, QStringLiteral("-1"));
    EXPECT_EQ(p.IPMTU, QString());
    EXPECT_EQ(model.ActiveProfile(), 0);
    // Missing globals read as unset.
    EXPECT_EQ(model.RWIN, QStringLiteral("0"));
    EXPECT_EQ(model.TTL, QStringLiteral("0"));
    EXPECT_EQ(model.MSS, QStringLiteral("0"));
    EXPECT_FALSE(model.AutoDiscover);
    EXPECT_FALSE(model.BlackHole);
}

TEST_F(TNTReaderTest, AnUnsetOrUnreadableAddressFallsBackToTheDhcpAddress) {
    using namespace HiveText;
    WriteHive(
        THKey::HKEY_LOCAL_MACHINE,
        NTAdapter(1, QStringLiteral("\"IPAddress\"=\"0.0.0.0\"\n"
                                    "\"DhcpIPAddress\"=\"127.1.2.3\"")) +
            NTCard(1, QStringLiteral("ndiswandialoutip")) +
            // 127.0.0.1 as a multi-string: a read error, so the DHCP address counts.
            NTAdapter(2, QStringLiteral("\"IPAddress\"=hex(7):31,30,2e,30,2e,30,2e,31,00,00\n"
                                        "\"DhcpIPAddress\"=\"127.4.4.4\"")) +
            NTCard(2, QStringLiteral("ndiswandialoutip")) +
            NTAdapter(3, QStringLiteral("\"IPAddress\"=hex(7):31,30,2e,30,2e,30,2e,31,00,00")) +
            NTCard(3, QStringLiteral("ndiswandialoutip")) +
            NTAdapter(5,
                      QStringLiteral("\"IPAddress\"=\"127.5.5.5\"\n"
                                     "\"DhcpIPAddress\"=\"127.6.6.6\"\n\"MTU\"=dword:00000240")) +
            NTCard(5, QStringLiteral("ndiswandialoutip")) + NTParameters(QString()));
    TParameterSet model;
    model.Platform = WinNT;
    ASSERT_EQ(model.ReadNTParameters(), 4);
    EXPECT_EQ(model.Profiles[0].IPAddress, QStringLiteral("127.1.2.3"));
    EXPECT_EQ(model.Profiles[1].IPAddress, QStringLiteral("127.4.4.4"));
    EXPECT_EQ(model.Profiles[2].IPAddress, QString());
    EXPECT_EQ(model.Profiles[3].IPAddress, QStringLiteral("127.5.5.5"));
    EXPECT_EQ(model.Profiles[3].MTU, QStringLiteral("576"));
}

TEST_F(TNTReaderTest, GlobalValuesFollowTheirIntegerRules) {
    using namespace HiveText;
    struct Case {
        const char* Values;
        const char* TTL;
        bool AutoDiscover;
        bool BlackHole;
    };
    const Case cases[] = {
        {"\"DefaultTTL\"=dword:0000012c\n\"EnablePMTUDiscovery\"=dword:00000002", "128", false,
         false},
        {"\"DefaultTTL\"=dword:000000ff\n\"EnablePMTUBHDetect\"=dword:00000001", "255", false,
         true},
        // A string where an integer belongs reads as a failure: the fallback.
        {"\"DefaultTTL\"=\"64\"\n\"EnablePMTUDiscovery\"=dword:00000001", "0", true, false},
    };
    for (const Case& c : cases) {
        WriteHive(THKey::HKEY_LOCAL_MACHINE,
                  NTAdapter(0) + NTCard(0, QStringLiteral("ndiswandialoutip")) +
                      NTParameters(QString::fromLatin1(c.Values) +
                                   QStringLiteral("\n\"TcpWindowSize\"=\"8192\"\n"
                                                  "\"TcpRecvSegmentSize\"=dword:000005b4")));
        TParameterSet model;
        model.Platform = WinNT;
        EXPECT_EQ(model.ReadNTParameters(), 1) << c.Values;
        EXPECT_EQ(model.TTL, QString::fromLatin1(c.TTL)) << c.Values;
        EXPECT_EQ(model.AutoDiscover, c.AutoDiscover) << c.Values;
        EXPECT_EQ(model.BlackHole, c.BlackHole) << c.Values;
        EXPECT_EQ(model.RWIN, QStringLiteral("0")) << c.Values;
        EXPECT_EQ(model.MSS, QStringLiteral("1460")) << c.Values;
    }
}

TEST_F(TNTReaderTest, NoDialOutAdapterAsksAndTheParametersKeyIsCreated) {
    using namespace HiveText;
    WriteHive(THKey::HKEY_LOCAL_MACHINE, NTAdapter(0) + NTCard(0, QStringLiteral("ndiswandialin")));
    Dialogs().Answer(mrNo);
    TParameterSet declining;
    declining.Platform = WinNT;
    EXPECT_EQ(declining.ReadNTParameters(), -1);

    Dialogs().Answer(mrYes);
    TParameterSet going;
    going.Platform = WinNT;
    EXPECT_EQ(going.ReadNTParameters(), 0);
    EXPECT_EQ(going.ActiveProfile(), -1);
    EXPECT_EQ(going.TTL, QStringLiteral("0"));
    EXPECT_TRUE(
        ReadHiveText(THKey::HKEY_LOCAL_MACHINE)
            .contains(
                QStringLiteral(
                    "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Tcpip\\Parameters]"),
                Qt::CaseInsensitive));
    EXPECT_EQ(Dialogs().Shown().size(), 2u);
}
