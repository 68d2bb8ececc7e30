// Writing the model back: the active profile's MTU into its key, the global
// values into the TCP/IP driver's key, and unset values removed so that
// Windows uses its defaults. Stops at the first failure.
#include "platform/TConvert.h"
#include "platform/TExceptions.h"
#include "platform/TMessageDlg.h"
#include "tcpip/TParameterSet.h"

namespace {

void ShowError(const QString& text) {
    MessageDlg(text, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}

bool IsUnset(const QString& value) {
    return value.isEmpty() || value == QLatin1String("0");
}

const QString NetTrans = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\NetTrans\\");

} // namespace

bool TParameterSet::WriteStringValue(const QString& name, const QString& text) {
    try {
        Registry.WriteString(name, text);
        return true;
    } catch (const Exception& e) {
        ShowError(QStringLiteral("Error saving ") + name + QStringLiteral("\r\n") + e.Message());
        return false;
    }
}

bool TParameterSet::RemoveValue(const QString& name) {
    if (!Registry.ValueExists(name))
        return true;
    bool deleted = false;
    try {
        deleted = Registry.DeleteValue(name);
    } catch (const Exception&) {
        deleted = false;
    }
    if (!deleted)
        ShowError(QStringLiteral("Error removing key value: ") + name);
    return deleted;
}

bool TParameterSet::MachineRegistryWritable() {
    QString reason;
    try {
        reason = Registry.ReadOnlyReason();
    } catch (const Exception& e) {
        reason = e.Message();
    }
    if (reason.isEmpty())
        return true;
    ShowError(reason);
    return false;
}

bool TParameterSet::CommitRegistry() {
    QString note;
    try {
        note = Registry.CommitChanges();
    } catch (const Exception& e) {
        ShowError(e.Message());
        return false;
    }
    if (!note.isEmpty())
        MessageDlg(note, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    return true;
}

bool TParameterSet::WriteParameters(int profileIndex) {
    // A registry that must not be written gets nothing, not even part of it.
    if (!MachineRegistryWritable())
        return false;
    const bool written = WriteParameterValues(profileIndex);
    return CommitRegistry() && written;
}

bool TParameterSet::WriteParameterValues(int profileIndex) {
    TRegistry& reg = Registry;
    auto fail = [&reg] {
        reg.CloseKey();
        return false;
    };

    if (ProfileCount > 0) {
        if (profileIndex < 0 || profileIndex >= MaxProfiles)
            profileIndex = 0;
        const AdapterProfile& profile = Profiles[profileIndex];
        const QString keyPath = Platform == WinNT
                                    ? QStringLiteral("System\\CurrentControlSet\\Services\\") +
                                          profile.KeyName + QStringLiteral("\\Parameters\\Tcpip")
                                    : NetTrans + profile.KeyName;
        bool opened = false;
        try {
            opened = reg.OpenKey(keyPath, false);
        } catch (const Exception&) {
            opened = false;
        }
        if (!opened) {
            ShowError(QStringLiteral("Error opening key for write:\r\n") + keyPath);
            return false;
        }
        const bool unsetMTU = profile.MTU == QLatin1String("-1");
        if (Platform == WinNT) {
            try {
                if (!unsetMTU)
                    reg.WriteInteger(QStringLiteral("MTU"), StrToInt(profile.MTU));
                else
                    RemoveValue(QStringLiteral("MTU"));
            } catch (const Exception& e) {
                ShowError(e.Message());
                return fail();
            }
        } else if (unsetMTU) {
            RemoveValue(QStringLiteral("MaxMTU"));
            if (IPMTUInUse)
                WriteStringValue(QStringLiteral("IPMTU"), QStringLiteral("0"));
        } else if (!WriteStringValue(QStringLiteral("MaxMTU"), profile.MTU)) {
            return fail();
        }
        reg.CloseKey();

        if (IPMTUInUse) {
            const QString ipmtuKey = NetTrans + profile.KeyName;
            bool ipmtuOpened = false;
            try {
                ipmtuOpened = reg.OpenKey(ipmtuKey, true);
            } catch (const Exception&) {
                ipmtuOpened = false;
            }
            if (!ipmtuOpened) {
                ShowError(QStringLiteral("Error opening key for write:\r\n") + ipmtuKey);
                return false;
            }
            WriteStringValue(QStringLiteral("IPMTU"), unsetMTU ? QStringLiteral("0") : profile.MTU);
            reg.CloseKey();
        }
    }

    const bool nt = Platform == WinNT;
    const QString globalKey =
        nt ? QStringLiteral("System\\CurrentControlSet\\Services\\Tcpip\\Parameters")
           : QStringLiteral("System\\CurrentControlSet\\Services\\VxD\\MSTCP");
    bool opened = false;
    try {
        opened = reg.OpenKey(globalKey, true);
    } catch (const Exception&) {
        opened = false;
    }
    if (!opened) {
        ShowError(QStringLiteral("Error opening or creating key:\r\n") + globalKey);
        return false;
    }

    struct TGlobal {
        QString Win9xName;
        QString NTName;
        bool Unset;
        QString Text;
    };
    const TGlobal globals[] = {
        {QStringLiteral("DefaultRcvWindow"), QStringLiteral("TcpWindowSize"), IsUnset(RWIN), RWIN},
        {QStringLiteral("DefaultTTL"), QStringLiteral("DefaultTTL"), IsUnset(TTL), TTL},
        {QStringLiteral("DefaultMSS"), QStringLiteral("TcpRecvSegmentSize"), IsUnset(MSS), MSS},
        {QStringLiteral("PMTUDiscovery"), QStringLiteral("EnablePMTUDiscovery"), !AutoDiscover,
         QStringLiteral("1")},
        {QStringLiteral("PMTUBlackHoleDetect"), QStringLiteral("EnablePMTUBHDetect"), !BlackHole,
         QStringLiteral("1")},
    };
    for (const TGlobal& g : globals) {
        const QString& name = nt ? g.NTName : g.Win9xName;
        if (g.Unset) {
            if (!RemoveValue(name))
                return fail();
        } else if (!nt) {
            if (!WriteStringValue(name, g.Text))
                return fail();
        } else {
            try {
                reg.WriteInteger(name, StrToInt(g.Text));
            } catch (const Exception& e) {
                ShowError(e.Message());
                return fail();
            }
        }
    }
    reg.CloseKey();

    if (!nt) {
        const QString cacheKey = QStringLiteral(
            "System\\CurrentControlSet\\Services\\VxD\\NWLink\\Ndi\\params\\cachesize");
        bool cacheOpened = false;
        try {
            cacheOpened = reg.OpenKey(cacheKey, true);
        } catch (const Exception&) {
            cacheOpened = false;
        }
        if (cacheOpened) {
            try {
                reg.WriteString(QStringLiteral("default"), NdiCacheSize);
            } catch (const Exception& e) {
                MessageDlg(QStringLiteral("Error writing NDI cachesize value:\r\n") + e.Message(),
                           TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
            }
            reg.CloseKey();
        } else {
            MessageDlg(QStringLiteral("Unable to open or create key for NDI cachesize.\r\nThis "
                                      "could be due to not having NWLink installed\r\non your "
                                      "system."),
                       TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
        }
    }
    return true;
}
