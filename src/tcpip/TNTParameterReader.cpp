// Reading the Windows NT layout: the dial-out NdisWan adapters are the
// profiles; Tcpip\Parameters holds the global values as integers.
#include "tcpip/TNTParameterReader.h"
#include "platform/TConvert.h"
#include "platform/TExceptions.h"
#include "platform/TMessageDlg.h"
#include "tcpip/TParameterSet.h"

namespace {

// An integer as decimal text, or the fallback when missing or of another type.
QString ReadIntOr(TRegistry& reg, const QString& name, const QString& fallback) {
    try {
        return IntToStr(reg.ReadInteger(name));
    } catch (const ERegistryException&) {
        return fallback;
    }
}

} // namespace

int TNTParameterReader::Read() {
    TRegistry& reg = FModel.Registry;
    for (int i = 0; i <= 50; ++i) {
        const QString adapter =
            i == 0 ? QStringLiteral("NdisWan") : QStringLiteral("NdisWan%1").arg(i);
        const QString keyPath = QStringLiteral("SYSTEM\\CurrentControlSet\\Services\\") + adapter +
                                QStringLiteral("\\Parameters\\Tcpip");
        try {
            if (!reg.OpenKey(keyPath, false))
                continue;
        } catch (const ERegistryException&) {
            continue;
        }
        QString type;
        {
            TRegistry rules(THKey::HKEY_LOCAL_MACHINE);
            try {
                if (!rules.OpenKey(QStringLiteral("SOFTWARE\\Microsoft\\Windows "
                                                  "NT\\CurrentVersion\\NetworkCards\\%1\\NetRules")
                                       .arg(i),
                                   false)) {
                    reg.CloseKey();
                    continue;
                }
                type = rules.ReadString(QStringLiteral("type"));
            } catch (const ERegistryException&) {
                reg.CloseKey();
                continue;
            }
        }
        if (type.toLower().contains(QLatin1String("ndiswandialoutip"))) {
            AdapterProfile& p = FModel.Profiles[FModel.ProfileCount];
            p = AdapterProfile();
            p.KeyPath = keyPath;
            p.KeyName = adapter;
            p.IPAddress = ReadStringOr(reg, QStringLiteral("IPAddress"), QStringLiteral("0.0.0.0"));
            if (p.IPAddress == QLatin1String("0.0.0.0"))
                p.IPAddress =
                    ReadStringOr(reg, QStringLiteral("DhcpIPAddress"), QStringLiteral("0.0.0.0"));
            p.IPMask = QStringLiteral("0.0.0.0");
            p.MTU = ReadIntOr(reg, QStringLiteral("MTU"), QStringLiteral("-1"));
            FModel.AddProfileItem(QStringLiteral("..\\Tcpip\\") + adapter);
            ++FModel.ProfileCount;
        }
        reg.CloseKey();
    }

    if (FModel.ProfileCount == 0 && !ContinueWithoutProfiles())
        return -1;

    FModel.AssignLocalAddresses();

    try {
        if (!reg.OpenKey(QStringLiteral("System\\CurrentControlSet\\Services\\Tcpip\\Parameters"),
                         true))
            return 0;
    } catch (const ERegistryException& e) {
        MessageDlg(e.Message(), TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        return 0;
    }
    FModel.RWIN = ReadIntOr(reg, QStringLiteral("TcpWindowSize"), QStringLiteral("0"));
    FModel.TTL = ReadIntOr(reg, QStringLiteral("DefaultTTL"), QStringLiteral("0"));
    if (StrToInt(FModel.TTL) > 255)
        FModel.TTL = QStringLiteral("128");
    FModel.MSS = ReadIntOr(reg, QStringLiteral("TcpRecvSegmentSize"), QStringLiteral("0"));
    FModel.AutoDiscover = ReadIntOr(reg, QStringLiteral("EnablePMTUDiscovery"),
                                    QStringLiteral("0")) == QLatin1String("1");
    FModel.BlackHole = ReadIntOr(reg, QStringLiteral("EnablePMTUBHDetect"), QStringLiteral("0")) ==
                       QLatin1String("1");
    reg.CloseKey();
    FModel.SetActiveProfile(FModel.ProfileItems().isEmpty() ? -1 : 0);
    return FModel.ProfileCount;
}
