#include "settings/TSaveDefaults.h"
#include "platform/TApplication.h"
#include "platform/TExceptions.h"
#include "platform/TMessageDlg.h"
#include "platform/TRegistry.h"
#include "platform/TWidgetHints.h"
#include "tcpip/TParameterSet.h"

#include <QPushButton>

namespace {

bool Ask(const QString& question) {
    return MessageDlg(question, TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) == mrYes;
}

void Inform(const QString& text) {
    MessageDlg(text, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
}

// Removes the values that are there; a removal that fails is ignored.
void RemovePresent(TRegistry& reg, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        const QString n = QString::fromLatin1(name);
        if (reg.ValueExists(n)) {
            try {
                reg.DeleteValue(n);
            } catch (const ERegistryException&) {
            }
        }
    }
}

} // namespace

TSaveDefaults::TSaveDefaults(TParameterSet& model, QPushButton* save, QPushButton* defaults,
                             QObject* parent)
    : QObject(parent), FModel(model) {
    SetHint(save, QStringLiteral("Click this button to write the displayed settings \rto your "
                                 "system registry. You will be prompted to \rconfirm your desire "
                                 "to save the settings. "));
    SetHint(defaults,
            QStringLiteral("Click this button to restore the Windows default settings. This "
                           "removes ALL\r\nregistry entires for the items to the left from your "
                           "registry. This forces Windows\r\nto use it's default values."));
    connect(save, &QPushButton::clicked, this, TApplication::Guarded([this] { btnSaveClick(); }));
    connect(defaults, &QPushButton::clicked, this,
            TApplication::Guarded([this] { btnDefaultsClick(); }));
}

void TSaveDefaults::btnSaveClick() {
    if (!FModel.MachineRegistryWritable())
        return;
    if (!Ask(QStringLiteral("Are you sure you want to save these changes?")))
        return;
    if (!FModel.WriteParameters(FModel.ProfileCount > 0 ? FModel.ActiveProfile() : 0)) {
        MessageDlg(QStringLiteral("An error occurred saving your changes!"), TMsgDlgType::mtError,
                   TMsgDlgButtons::mbOK);
        return;
    }
    Inform(QStringLiteral("Your changes have been saved"));
    FModel.SettingsChanged = false;
    if (Ask(QStringLiteral("Would you like to add a history entry for these settings?")) &&
        AddHistoryRecord)
        AddHistoryRecord(0);
    Inform(QStringLiteral("You must now exit all active programs and reboot\r\nyour system for "
                          "these new changes to take affect."));
}

void TSaveDefaults::btnDefaultsClick() {
    if (!FModel.MachineRegistryWritable())
        return;
    if (!Ask(QStringLiteral(
            "This will remove all registry entries for the TCP/IP parameters\r\nthat Zephyn "
            "manipulates. When Windows boots and does not find\r\nthese entries, it will use it's "
            "default values for all parameters.\r\n\r\nProceed with restoring Windows to use "
            "it's default values?")))
        return;
    TRegistry reg(THKey::HKEY_LOCAL_MACHINE);
    // A key that cannot be opened is skipped without a message.
    auto open = [&reg](const QString& path) {
        try {
            return reg.OpenKey(path, false);
        } catch (const ERegistryException&) {
            return false;
        }
    };
    const QString services = QStringLiteral("System\\CurrentControlSet\\Services\\");
    if (FModel.Platform == WinNT) {
        for (int i = 0; i < FModel.ProfileCount && i < MaxProfiles; ++i) {
            if (open(services + FModel.Profiles[i].KeyName +
                     QStringLiteral("\\Parameters\\Tcpip"))) {
                RemovePresent(reg, {"MTU"});
                reg.CloseKey();
            }
        }
        if (open(services + QStringLiteral("Tcpip\\Parameters"))) {
            RemovePresent(reg, {"TcpWindowSize", "DefaultTTL", "TcpRecvSegmentSize",
                                "EnablePMTUDiscovery", "EnablePMTUBHDetect"});
            reg.CloseKey();
        }
    } else {
        for (int i = 0; i < FModel.ProfileCount && i < MaxProfiles; ++i) {
            if (!open(services + QStringLiteral("Class\\NetTrans\\") + FModel.Profiles[i].KeyName))
                continue;
            RemovePresent(reg, {"MaxMTU"});
            // A write that fails ends the flow; the error goes to the log.
            if (FModel.IPMTUInUse)
                reg.WriteString(QStringLiteral("IPMTU"), QStringLiteral("0"));
            reg.CloseKey();
        }
        if (open(services + QStringLiteral("VxD\\MSTCP"))) {
            RemovePresent(reg, {"DefaultRcvWindow", "DefaultTTL", "DefaultMSS", "PMTUDiscovery",
                                "PMTUBlackHoleDetect"});
            reg.CloseKey();
        }
        if (open(services + QStringLiteral("VxD\\NWLink\\Ndi\\params\\cachesize"))) {
            reg.WriteString(QStringLiteral("default"), QStringLiteral("0"));
            reg.CloseKey();
        }
    }
    if (!FModel.CommitRegistry())
        return;
    Inform(QStringLiteral("The registry entries have now been removed from your system.\r\nYou "
                          "will now need to close all running applications and\r\nreboot your "
                          "system for the changes to take effect."));
}
