#pragma once
#include "platform/TRegistry.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>

enum TPlatform { Win95 = 0, Win98 = 1, WinNT = 2 };

// One dial-up TCP/IP binding and its MTU.
struct AdapterProfile {
    QString KeyName;
    QString KeyPath;
    QString IPAddress;
    QString IPMask;
    QString MTU;
    QString IPMTU;
};

constexpr int MaxProfiles = 51;

// The TCP/IP tuning values as decimal text, the dial-up adapter profiles and
// the profile selector's items. The pages are views of it.
class TParameterSet : public QObject {
    Q_OBJECT
public:
    TParameterSet();

    std::array<AdapterProfile, MaxProfiles> Profiles;
    int ProfileCount = 0;
    bool IPMTUInUse = false;
    QString RWIN;
    QString TTL;
    QString MSS;
    bool AutoDiscover = false;
    bool BlackHole = false;
    TPlatform Platform = Win95;
    QString NdiCacheSize;

    bool SettingsChanged = false;
    QStringList LocalAddresses;

    // The long-lived accessor for the TCP/IP keys.
    TRegistry Registry{THKey::HKEY_LOCAL_MACHINE};

    // The profile selector: its items and the active profile (-1: none).
    const QStringList& ProfileItems() const { return FProfileItems; }
    void AddProfileItem(const QString& text);
    void ClearProfileItems();
    int ActiveProfile() const { return FActiveProfile; }
    void SetActiveProfile(int index);

    int ReadWin9xParameters();
    int ReadNTParameters();
    void AssignLocalAddresses();
    // Writes the model into the registry layout of the platform; true when the
    // profile and every global value were written. Shows its own messages.
    bool WriteParameters(int profileIndex);
    // false, after a message naming the file, when the machine registry must
    // not be written (a Windows hive that was not shut down cleanly, a
    // read-only file), or when the user cancels a save whose files cannot
    // keep their owner.
    bool MachineRegistryWritable();
    // Writes what the machine registry keeps until asked (a Windows
    // installation's own files) and shows its note; false after an error message.
    bool CommitRegistry();
    // The recommended MSS and RWIN for an MTU: MTU - 40 and four times that.
    void CalculateFromMTU(int mtu);
    // The active profile's entry, or nullptr while no profile is selected.
    AdapterProfile* ActiveEntry();

signals:
    void ProfileItemsChanged();
    void ActiveProfileChanged(int index);

private:
    QStringList FProfileItems;
    int FActiveProfile = -1;
};

// The readers' rule for values: a read error gives the fallback; a missing
// value reads as empty text.
QString ReadStringOr(TRegistry& reg, const QString& name, const QString& fallback);

// The question both readers ask when they find no dial-up profile; false ends the reading.
bool ContinueWithoutProfiles();
