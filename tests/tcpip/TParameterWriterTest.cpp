#include "helpers/THiveText.h"
#include "helpers/TScriptedDialogs.h"
#include "helpers/TTestEnvironment.h"
#include "tcpip/TParameterSet.h"

#include <QFile>
#include <QtEndian>

using namespace HiveText;

namespace {

const QString Profile0 =
    QStringLiteral("System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000");
const QString MSTCP = QStringLiteral("System\\CurrentControlSet\\Services\\VxD\\MSTCP");
const QString CacheSize =
    QStringLiteral("System\\CurrentControlSet\\Services\\VxD\\NWLink\\Ndi\\params\\cachesize");
const QString NdisWan4 =
    QStringLiteral("SYSTEM\\CurrentControlSet\\Services\\NdisWan4\\Parameters\\Tcpip");
const QString NTGlobal = QStringLiteral("System\\CurrentControlSet\\Services\\Tcpip\\Parameters");

} // namespace

class TParameterWriterTest : public TZephynTest {
protected:
    // Reads a Windows 95/98 machine with profile 0000 and the given extra sections.
    void ReadWin9x(const QString& profileValues, const QString& more = {},
                   TPlatform platform = Win98) {
        WriteHive(THKey::HKEY_LOCAL_MACHINE,
                  Binding(QStringLiteral("0000"), QStringLiteral("TCP/IP"), profileValues) + more +
                      Mstcp(QStringLiteral("\"DefaultRcvWindow\"=\"2144\"\n\"DefaultTTL\"=\"128\"\n"
                                           "\"PMTUBlackHoleDetect\"=\"1\"")));
        Model.Platform = platform;
        ASSERT_EQ(Model.ReadWin9xParameters(), 1);
    }
    QString Text(const QString& key, const QString& name) {
        const auto v = HiveValue(THKey::HKEY_LOCAL_MACHINE, key, name);
        return v ? v->Text : QStringLiteral("<absent>");
    }
    quint32 Dword(const QString& key, const QString& name) {
        const auto v = HiveValue(THKey::HKEY_LOCAL_MACHINE, key, name);
        if (!v || v->Type != REG_DWORD || v->Data.size() != 4)
            return 0xFFFFFFFFu;
        return qFromLittleEndian<quint32>(v->Data.constData());
    }
    TParameterSet Model;
};

TEST_F(TParameterWriterTest, Windows98WritesStringsAndRemovesUnsetValues) {
    ReadWin9x(QStringLiteral("\"MaxMTU\"=\"1500\"\n\"IPMTU\"=\"1500\""),
              QStringLiteral("[HKEY_LOCAL_MACHINE\\") + Profile0 + QStringLiteral("\\IPMTU]\n\n"));
    ASSERT_TRUE(Model.IPMTUInUse);
    Model.Profiles[0].MTU = QStringLiteral("576");
    Model.RWIN = QStringLiteral("0");
    Model.TTL = QStringLiteral("64");
    Model.MSS = QStringLiteral("536");
    Model.AutoDiscover = true;
    Model.BlackHole = false;
    Model.NdiCacheSize = QStringLiteral("0");
    EXPECT_TRUE(Model.WriteParameters(0));
    EXPECT_EQ(Text(Profile0, QStringLiteral("MaxMTU")), QStringLiteral("576"));
    EXPECT_EQ(Text(Profile0, QStringLiteral("IPMTU")), QStringLiteral("576"));
    EXPECT_EQ(Text(MSTCP, QStringLiteral("DefaultRcvWindow")), QStringLiteral("<absent>"));
    EXPECT_EQ(Text(MSTCP, QStringLiteral("DefaultTTL")), QStringLiteral("64"));
    EXPECT_EQ(Text(MSTCP, QStringLiteral("DefaultMSS")), QStringLiteral("536"));
    EXPECT_EQ(Text(MSTCP, QStringLiteral("PMTUDiscovery")), QStringLiteral("1"));
    EXPECT_EQ(Text(MSTCP, QStringLiteral("PMTUBlackHoleDetect")), QStringLiteral("<absent>"));
    EXPECT_EQ(Text(CacheSize, QStringLiteral("default")), QStringLiteral("0"));

    // Unset MTU: MaxMTU goes, IPMTU becomes "0"; values already absent are no failure.
    Model.Profiles[0].MTU = QStringLiteral("-1");
    EXPECT_TRUE(Model.WriteParameters(0));
    EXPECT_EQ(Text(Profile0, QStringLiteral("MaxMTU")), QStringLiteral("<absent>"));
    EXPECT_EQ(Text(Profile0, QStringLiteral("IPMTU")), QStringLiteral("0"));
    EXPECT_TRUE(Dialogs().Shown().empty());
}

TEST_F(TParameterWriterTest, Windows95LeavesIpmtuAloneAndWritesTextsAsTheyStand) {
    ReadWin9x(QStringLiteral("\"MaxMTU\"=\"1500\"\n\"IPMTU\"=\"1500\""), {}, Win95);
    ASSERT_FALSE(Model.IPMTUInUse);
    Model.Profiles[0].MTU = QStringLiteral("-1");
    EXPECT_TRUE(Model.WriteParameters(0));
    EXPECT_EQ(Text(Profile0, QStringLiteral("MaxMTU")), QStringLiteral("<absent>"));
    EXPECT_EQ(Text(Profile0, QStringLiteral("IPMTU")), QStringLiteral("1500"));

    // A custom MTU left empty is written as an empty string; no number check.
    Model.Profiles[0].MTU = QString();
    Model.TTL = QStringLiteral("abc");
    EXPECT_TRUE(Model.WriteParameters(0));
    EXPECT_EQ(Text(Profile0, QStringLiteral("MaxMTU")), QString());
    EXPECT_EQ(Text(MSTCP, QStringLiteral("DefaultTTL")), QStringLiteral("abc"));
    EXPECT_TRUE(Dialogs().Shown().empty());
}

TEST_F(TParameterWriterTest, WithoutProfilesOnlyTheGlobalAndCacheKeysAreWritten) {
    WriteHive(THKey::HKEY_LOCAL_MACHINE, Mstcp(QString()));
    Dialogs().Answer(mrYes);
    ASSERT_EQ(Model.ReadWin9xParameters(), 0);
    Model.MSS = QStringLiteral("536");
    Model.NdiCacheSize = QStringLiteral("32");
    EXPECT_TRUE(Model.WriteParameters(0));
    EXPECT_EQ(Text(MSTCP, QStringLiteral("DefaultMSS")), QStringLiteral("536"));
    EXPECT_EQ(Text(CacheSize, QStringLiteral("default")), QStringLiteral("32"));
    EXPECT_FALSE(HiveKeyExists(THKey::HKEY_LOCAL_MACHINE,
                               QStringLiteral("System\\CurrentControlSet\\Services\\Class")));
}

TEST_F(TParameterWriterTest, WindowsNtWritesIntegersAndStopsAtAnMtuThatIsNoNumber) {
    UseSample(QStringLiteral("nt4.reg"));
    Model.Platform = WinNT;
    ASSERT_EQ(Model.ReadNTParameters(), 2);
    Model.NdiCacheSize = QStringLiteral("-2");
    Model.Profiles[0].MTU = QStringLiteral("1500");
    Model.RWIN = QStringLiteral("4288");
    Model.TTL = QStringLiteral("0");
    Model.BlackHole = true;
    EXPECT_TRUE(Model.WriteParameters(0));
    EXPECT_EQ(Dword(NdisWan4, QStringLiteral("MTU")), 1500u);
    EXPECT_EQ(Dword(NTGlobal, QStringLiteral("TcpWindowSize")), 4288u);
    EXPECT_EQ(Text(NTGlobal, QStringLiteral("DefaultTTL")), QStringLiteral("<absent>"));
    EXPECT_EQ(Dword(NTGlobal, QStringLiteral("EnablePMTUBHDetect")), 1u);
    EXPECT_FALSE(HiveKeyExists(THKey::HKEY_LOCAL_MACHINE, CacheSize));

    Model.Profiles[0].MTU = QStringLiteral("-1");
    EXPECT_TRUE(Model.WriteParameters(0));
    EXPECT_EQ(Text(NdisWan4, QStringLiteral("MTU")), QStringLiteral("<absent>"));

    // An empty custom MTU: the conversion error, false, no global value written.
    Model.Profiles[0].MTU = QString();
    Model.RWIN = QStringLiteral("8192");
    Dialogs().Answer(mrOk);
    EXPECT_FALSE(Model.WriteParameters(0));
    EXPECT_EQ(Dialogs().ShownTexts(),
              QStringList{QStringLiteral("'' is not a valid integer value")});
    EXPECT_EQ(Dialogs().Shown()[0].Type, TMsgDlgType::mtError);
    EXPECT_EQ(Dword(NTGlobal, QStringLiteral("TcpWindowSize")), 4288u);
    EXPECT_FALSE(Model.Registry.HasCurrentKey());
}

TEST_F(TParameterWriterTest, AMissingProfileKeyOrAReadOnlyHiveStopsTheWrite) {
    ReadWin9x(QStringLiteral("\"MaxMTU\"=\"1500\""));
    Model.Profiles[0].MTU = QStringLiteral("576");
    Model.TTL = QStringLiteral("32");
    QFile::setPermissions(HivePath(THKey::HKEY_LOCAL_MACHINE), QFile::ReadOwner | QFile::ReadGroup);
    const QString before = ReadHiveText(THKey::HKEY_LOCAL_MACHINE);
    Dialogs().Answer(mrOk);
    EXPECT_FALSE(Model.WriteParameters(0));
    EXPECT_EQ(
        Dialogs().ShownTexts(),
        QStringList{QStringLiteral("Error saving MaxMTU\r\nFailed to set data for 'MaxMTU'")});
    EXPECT_EQ(ReadHiveText(THKey::HKEY_LOCAL_MACHINE), before);
    EXPECT_FALSE(Model.Registry.HasCurrentKey());

    // The profile's key deleted since start-up: nothing is written.
    QFile::setPermissions(HivePath(THKey::HKEY_LOCAL_MACHINE),
                          QFile::ReadOwner | QFile::WriteOwner);
    TRegistry other(THKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(other.DeleteKey(Profile0));
    Dialogs().Clear();
    Dialogs().Answer(mrOk);
    EXPECT_FALSE(Model.WriteParameters(0));
    EXPECT_EQ(Dialogs().ShownTexts(),
              QStringList{QStringLiteral("Error opening key for write:\r\n") + Profile0});
    EXPECT_EQ(Text(MSTCP, QStringLiteral("DefaultTTL")), QStringLiteral("128"));
}
