// Writing the model back: the active profile's MTU into its key, the global
// values into the TCP/IP driver's key, and unset values removed so that
// Windows uses its defaults. Stops at the first failure.
#include "tcpip/TParameterWriter.h"
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

bool TParameterWriter::CloseAndFail() {
    FModel.Registry.CloseKey();
    return false;
}

bool TParameterWriter::OpenKey(const QString& path, bool create) {
    // A key the registry refuses to open is as good as missing: the caller
    // says which one.
    try {
        return FModel.Registry.OpenKey(path, create);
    } catch (const Exception&) {
        return false;
    }
}

bool TParameterWriter::WriteString(const QString& name, const QString& text) {
    try {
        FModel.Registry.WriteString(name, text);
        return true;
    } catch (const Exception& e) {
        ShowError(QStringLiteral("Error saving ") + name + QStringLiteral("\r\n") + e.Message());
        return false;
    }
}

bool TParameterWriter::RemoveValue(const QString& name) {
    if (!FModel.Registry.ValueExists(name))
        return true;
    bool deleted = false;
    try {
        deleted = FModel.Registry.DeleteValue(name);
    } catch (const Exception&) {
        deleted = false;
    }
    if (!deleted)
        ShowError(QStringLiteral("Error removing key value: ") + name);
    return deleted;
}

bool TParameterWriter::RegistryWritable() {
    QString reason;
    try {
        reason = FModel.Registry.ReadOnlyReason();
    } catch (const Exception& e) {
        reason = e.Message();
    }
    if (reason.isEmpty())
        return true;
    ShowError(reason);
    return false;
}

bool TParameterWriter::ConfirmOwner() {
    QString warning;
    try {
        warning = FModel.Registry.OwnerWarning();
    } catch (const Exception&) {
        return true; // the read-only check has told what is wrong
    }
    return warning.isEmpty() ||
           MessageDlg(warning + QStringLiteral("\r\n\r\nWrite it all the same?"),
                      TMsgDlgType::mtWarning, TMsgDlgButtons::mbOKCancel) == mrOk;
}

bool TParameterWriter::Commit() {
    QString note;
    try {
        note = FModel.Registry.CommitChanges();
    } catch (const Exception& e) {
        ShowError(e.Message());
        return false;
    }
    if (!note.isEmpty())
        MessageDlg(note, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    return true;
}

bool TParameterWriter::Write(int profileIndex) {
    // A registry that must not be written gets nothing, not even part of it.
    if (!RegistryWritable())
        return false;
    const bool written = WriteValues(profileIndex);
    return Commit() && written;
}

bool TParameterWriter::WriteValues(int profileIndex) {
    if (FModel.ProfileCount > 0) {
        if (profileIndex < 0 || profileIndex >= MaxProfiles)
            profileIndex = 0;
        if (!WriteProfile(FModel.Profiles[profileIndex]))
            return false;
    }
    if (!WriteGlobals())
        return false;
    if (FModel.Platform != WinNT)
        WriteNdiCache();
    return true;
}

bool TParameterWriter::WriteProfile(const AdapterProfile& profile) {
    TRegistry& reg = FModel.Registry;
    const QString keyPath = FModel.Platform == WinNT
                                ? QStringLiteral("System\\CurrentControlSet\\Services\\") +
                                      profile.KeyName + QStringLiteral("\\Parameters\\Tcpip")
                                : NetTrans + profile.KeyName;
    const bool opened = OpenKey(keyPath, false);
    if (!opened) {
        ShowError(QStringLiteral("Error opening key for write:\r\n") + keyPath);
        return false;
    }
    const bool unsetMTU = profile.MTU == QLatin1String("-1");
    if (FModel.Platform == WinNT) {
        try {
            if (!unsetMTU)
                reg.WriteInteger(QStringLiteral("MTU"), StrToInt(profile.MTU));
            else
                RemoveValue(QStringLiteral("MTU"));
        } catch (const Exception& e) {
            ShowError(e.Message());
            return CloseAndFail();
        }
    } else if (unsetMTU) {
        RemoveValue(QStringLiteral("MaxMTU"));
        if (FModel.IPMTUInUse)
            WriteString(QStringLiteral("IPMTU"), QStringLiteral("0"));
    } else if (!WriteString(QStringLiteral("MaxMTU"), profile.MTU)) {
        return CloseAndFail();
    }
    reg.CloseKey();

    if (FModel.IPMTUInUse) {
        const QString ipmtuKey = NetTrans + profile.KeyName;
        const bool ipmtuOpened = OpenKey(ipmtuKey, true);
        if (!ipmtuOpened) {
            ShowError(QStringLiteral("Error opening key for write:\r\n") + ipmtuKey);
            return false;
        }
        WriteString(QStringLiteral("IPMTU"), unsetMTU ? QStringLiteral("0") : profile.MTU);
        reg.CloseKey();
    }
    return true;
}

bool TParameterWriter::WriteGlobals() {
    TRegistry& reg = FModel.Registry;
    const bool nt = FModel.Platform == WinNT;
    const QString globalKey =
        nt ? QStringLiteral("System\\CurrentControlSet\\Services\\Tcpip\\Parameters")
           : QStringLiteral("System\\CurrentControlSet\\Services\\VxD\\MSTCP");
    const bool opened = OpenKey(globalKey, true);
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
        {QStringLiteral("DefaultRcvWindow"), QStringLiteral("TcpWindowSize"), IsUnset(FModel.RWIN),
         FModel.RWIN},
        {QStringLiteral("DefaultTTL"), QStringLiteral("DefaultTTL"), IsUnset(FModel.TTL),
         FModel.TTL},
        {QStringLiteral("DefaultMSS"), QStringLiteral("TcpRecvSegmentSize"), IsUnset(FModel.MSS),
         FModel.MSS},
        // Windows takes a missing value as on: off must be written.
        {QStringLiteral("PMTUDiscovery"), QStringLiteral("EnablePMTUDiscovery"), false,
         FModel.AutoDiscover ? QStringLiteral("1") : QStringLiteral("0")},
        {QStringLiteral("PMTUBlackHoleDetect"), QStringLiteral("EnablePMTUBHDetect"),
         !FModel.BlackHole, QStringLiteral("1")},
    };
    for (const TGlobal& g : globals) {
        const QString& name = nt ? g.NTName : g.Win9xName;
        if (g.Unset) {
            if (!RemoveValue(name))
                return CloseAndFail();
        } else if (!nt) {
            if (!WriteString(name, g.Text))
                return CloseAndFail();
        } else {
            try {
                reg.WriteInteger(name, StrToInt(g.Text));
            } catch (const Exception& e) {
                ShowError(e.Message());
                return CloseAndFail();
            }
        }
    }
    reg.CloseKey();
    return true;
}

void TParameterWriter::WriteNdiCache() {
    TRegistry& reg = FModel.Registry;
    const QString cacheKey =
        QStringLiteral("System\\CurrentControlSet\\Services\\VxD\\NWLink\\Ndi\\params\\cachesize");
    const bool cacheOpened = OpenKey(cacheKey, true);
    if (cacheOpened) {
        try {
            reg.WriteString(QStringLiteral("default"), FModel.NdiCacheSize);
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
