// Reading the Windows 95/98 layout: the TCP/IP bindings under Class\NetTrans
// are the profiles; MSTCP and the NWLink cache size hold the global values.
#include "tcpip/TWin9xParameterReader.h"
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

int TWin9xParameterReader::Read() {
    TRegistry& reg = FModel.Registry;
    FModel.ProfileCount = 0;
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
            AdapterProfile& p = FModel.Profiles[FModel.ProfileCount];
            p = AdapterProfile();
            p.KeyPath = keyPath;
            p.KeyName = keyName;
            p.IPAddress = ReadStringOr(reg, QStringLiteral("IPAddress"), QStringLiteral("0.0.0.0"));
            p.IPMask = ReadStringOr(reg, QStringLiteral("IPMask"), QStringLiteral("0.0.0.0"));
            p.MTU = ReadStringOr(reg, QStringLiteral("MaxMTU"), QStringLiteral("-1"));
            if (reg.KeyExists(QStringLiteral("IPMTU"))) {
                FModel.IPMTUInUse = true;
                p.IPMTU = ReadStringOr(reg, QStringLiteral("IPMTU"), QStringLiteral("0"));
            } else {
                if (FModel.Platform == Win98) {
                    try {
                        reg.WriteString(QStringLiteral("IPMTU"), QStringLiteral("0"));
                    } catch (const ERegistryException&) {
                        // a binding that cannot take the value keeps working without it
                    }
                }
                p.IPMTU.clear();
            }
            FModel.AddProfileItem(QStringLiteral("..\\NetTrans\\") + keyName);
            ++FModel.ProfileCount;
        }
        reg.CloseKey();
    }

    if (FModel.ProfileCount == 0 && !ContinueWithoutProfiles())
        return -1;

    FModel.AssignLocalAddresses();

    FModel.NdiCacheSize.clear();
    try {
        if (reg.OpenKey(CacheSizeKey, true)) {
            FModel.NdiCacheSize = ReadStringOr(reg, QStringLiteral("default"), QStringLiteral("0"));
            reg.CloseKey();
        }
    } catch (const ERegistryException&) {
        FModel.NdiCacheSize = QStringLiteral("0");
    }

    try {
        if (!reg.OpenKey(MstcpKey, true))
            return 0;
    } catch (const ERegistryException& e) {
        MessageDlg(QStringLiteral("OpenKey exception: ") + e.Message(), TMsgDlgType::mtError,
                   TMsgDlgButtons::mbOK);
        return 0;
    }
    FModel.RWIN = ReadStringOr(reg, QStringLiteral("DefaultRcvWindow"), QStringLiteral("0"));
    FModel.TTL = ReadStringOr(reg, QStringLiteral("DefaultTTL"), QStringLiteral("0"));
    if (FModel.TTL.isEmpty())
        FModel.TTL = QStringLiteral("0");
    if (StrToInt(FModel.TTL) > 128)
        FModel.TTL = QStringLiteral("0");
    FModel.MSS = ReadStringOr(reg, QStringLiteral("DefaultMSS"), QStringLiteral("0"));
    FModel.AutoDiscover =
        ReadStringOr(reg, QStringLiteral("PMTUDiscovery"), QString()) == QLatin1String("1");
    FModel.BlackHole =
        ReadStringOr(reg, QStringLiteral("PMTUBlackHoleDetect"), QString()) == QLatin1String("1");
    reg.CloseKey();
    for (QString* value : {&FModel.RWIN, &FModel.TTL, &FModel.MSS, &FModel.NdiCacheSize})
        if (value->isEmpty())
            *value = QStringLiteral("0");

    FModel.SetActiveProfile(FModel.ProfileItems().isEmpty() ? -1 : 0);
    return FModel.ProfileCount;
}
