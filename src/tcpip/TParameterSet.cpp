#include "tcpip/TParameterSet.h"
#include "platform/TExceptions.h"
#include "platform/TMessageDlg.h"
#include "tcpip/TNTParameterReader.h"
#include "tcpip/TParameterWriter.h"
#include "tcpip/TWin9xParameterReader.h"

TParameterSet::TParameterSet() = default;

int TParameterSet::ReadWin9xParameters() {
    return TWin9xParameterReader(*this).Read();
}

int TParameterSet::ReadNTParameters() {
    return TNTParameterReader(*this).Read();
}

bool TParameterSet::WriteParameters(int profileIndex) {
    return TParameterWriter(*this).Write(profileIndex);
}

bool TParameterSet::MachineRegistryWritable() {
    TParameterWriter writer(*this);
    return writer.RegistryWritable() && writer.ConfirmOwner();
}

bool TParameterSet::CommitRegistry() {
    return TParameterWriter(*this).Commit();
}

void TParameterSet::AddProfileItem(const QString& text) {
    FProfileItems << text;
    emit ProfileItemsChanged();
}

void TParameterSet::ClearProfileItems() {
    FProfileItems.clear();
    FActiveProfile = -1;
    emit ProfileItemsChanged();
}

void TParameterSet::SetActiveProfile(int index) {
    if (index < -1 || index >= FProfileItems.size())
        index = -1;
    FActiveProfile = index;
    emit ActiveProfileChanged(index);
}

void TParameterSet::AssignLocalAddresses() {
    if (ProfileCount <= 0 || ProfileCount != LocalAddresses.size())
        return;
    for (const QString& address : LocalAddresses) {
        for (int i = 0; i < ProfileCount; ++i) {
            if (Profiles[i].IPAddress == address)
                break;
            if (Profiles[i].IPAddress == QLatin1String("0.0.0.0")) {
                Profiles[i].IPAddress = address;
                break;
            }
        }
    }
}

void TParameterSet::CalculateFromMTU(int mtu) {
    // No range check: an MTU below 40 gives negative values, as it always did.
    const qint64 mss = qint64(mtu) - 40;
    MSS = QString::number(mss);
    RWIN = QString::number(4 * mss);
}

AdapterProfile* TParameterSet::ActiveEntry() {
    if (FActiveProfile < 0 || FActiveProfile >= MaxProfiles)
        return nullptr;
    return &Profiles[FActiveProfile];
}

bool ContinueWithoutProfiles() {
    return MessageDlg(QStringLiteral(
                          "There were no Dialup Networking TCP/IP profiles found\r\nin your "
                          "registry. Please make sure your dialup adapter\r\nis configured to use "
                          "TCP/IP. You can continue running\r\nZephyn, but the maximum MTU setting "
                          "will be disabled.\r\n\r\nDo you wish to continue?"),
                      TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) == mrYes;
}

QString ReadStringOr(TRegistry& reg, const QString& name, const QString& fallback) {
    try {
        return reg.ReadString(name);
    } catch (const ERegistryException&) {
        return fallback;
    }
}
