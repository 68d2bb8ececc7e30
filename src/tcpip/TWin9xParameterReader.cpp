// Reading the Windows 95/98 layout: the TCP/IP bindings under Class\NetTrans
// are the profiles; MSTCP and the NWLink cache size hold the global values.
#include "platform/TConvert.h"
#include "platform/TExceptions.h"
#include "platform/TMessageDlg.h"
#include "tcpip/TParameterSet.h"

namespace {

const QString NetTransKey =
    QStringLiteral("System\\CurrentControlSet\\Services\\Class\\NetTrans\\");
const QString CacheSizeKey =
    QStringLiteral("System\\CurrentControlSet\\Services\\VxD\\NWLink\\Ndi\\params\\cachesize");
const QString MstcpKey = QStringLiteral("System\\CurrentControlSet\\Services\\VxD\\MSTCP");

} // namespace

int TParameterSet::ReadWin9xParameters() {
    TRegistry& reg = Registry;
    ProfileCount = 0;
    for (int i = 0; i <= 50; ++i) {
        const QString keyName = QStringLiteral("%1").arg(i, 4, 10, QChar(u'0'));
        const QString keyPath = NetTransKey + keyName;
        try {
            if (!reg.OpenKey(keyPath, false))
                continue;
        } catch (const ERegistryException&) {
            continue;
        }
        const QString driverDesc = ReadStringOr(reg, QStringLiteral("DriverDesc"), QString());
        if (!driverDesc.isEmpty() && driverDesc.toUpper() == QLatin1String("TCP/IP")) {
            AdapterProfile& p = Profiles[ProfileCount];
            p = AdapterProfile();
            p.KeyPath = keyPath;
            p.KeyName = keyName;
            p.IPAddress = ReadStringOr(reg, QStringLiteral("IPAddress"), QStringLiteral("0.0.0.0"));
            p.IPMask = ReadStringOr(reg, QStringLiteral("IPMask"), QStringLiteral("0.0.0.0"));
            p.MTU = ReadStringOr(reg, QStringLiteral("MaxMTU"), QStringLiteral("-1"));
            if (reg.KeyExists(QStringLiteral("IPMTU"))) {
                IPMTUInUse = true;
                p.IPMTU = ReadStringOr(reg, QStringLiteral("IPMTU"), QStringLiteral("0"));
            } else {
                if (Platform == Win98) {
                    try {
                        reg.WriteString(QStringLiteral("IPMTU"), QStringLiteral("0"));
                    } catch (const ERegistryException&) {
                        // a binding that cannot take the value keeps working without it
                    }
                }
                p.IPMTU.clear();
            }
            AddProfileItem(QStringLiteral("..\\NetTrans\\") + keyName);
            ++ProfileCount;
        }
        reg.CloseKey();
    }

    if (ProfileCount == 0 && !ContinueWithoutProfiles())
        return -1;

    AssignLocalAddresses();

    NdiCacheSize.clear();
    try {
        if (reg.OpenKey(CacheSizeKey, true)) {
            NdiCacheSize = ReadStringOr(reg, QStringLiteral("default"), QStringLiteral("0"));
            reg.CloseKey();
        }
    } catch (const ERegistryException&) {
        NdiCacheSize = QStringLiteral("0");
    }

    try {
        if (!reg.OpenKey(MstcpKey, true))
            return 0;
    } catch (const ERegistryException& e) {
        MessageDlg(QStringLiteral("OpenKey exception: ") + e.Message(), TMsgDlgType::mtError,
                   TMsgDlgButtons::mbOK);
        return 0;
    }
    RWIN = ReadStringOr(reg, QStringLiteral("DefaultRcvWindow"), QStringLiteral("0"));
    TTL = ReadStringOr(reg, QStringLiteral("DefaultTTL"), QStringLiteral("0"));
    if (TTL.isEmpty())
        TTL = QStringLiteral("0");
    if (StrToInt(TTL) > 128)
        TTL = QStringLiteral("0");
    MSS = ReadStringOr(reg, QStringLiteral("DefaultMSS"), QStringLiteral("0"));
    AutoDiscover =
        ReadStringOr(reg, QStringLiteral("PMTUDiscovery"), QString()) == QLatin1String("1");
    BlackHole =
        ReadStringOr(reg, QStringLiteral("PMTUBlackHoleDetect"), QString()) == QLatin1String("1");
    reg.CloseKey();
    for (QString* value : {&RWIN, &TTL, &MSS, &NdiCacheSize})
        if (value->isEmpty())
            *value = QStringLiteral("0");

    SetActiveProfile(FProfileItems.isEmpty() ? -1 : 0);
    return ProfileCount;
}
