#pragma once
#include <QString>

class TParameterSet;
struct AdapterProfile;

// Writes the model back: the active profile's MTU into its key, the global
// values into the TCP/IP driver's key, and unset values removed so that
// Windows uses its defaults. Stops at the first failure; shows its own
// messages.
class TParameterWriter {
public:
    explicit TParameterWriter(TParameterSet& model) : FModel(model) {}
    // true when the profile and every global value were written.
    bool Write(int profileIndex);
    // false, after a message naming the file, when the machine registry must
    // not be written (a Windows hive that was not shut down cleanly).
    bool RegistryWritable();
    // When the files a save writes cannot keep their owner, says so and asks
    // whether to go on; true to go on.
    bool ConfirmOwner();
    // Writes what the machine registry keeps until asked (a Windows
    // installation's own files) and shows its note; false after an error message.
    bool Commit();

private:
    bool WriteValues(int profileIndex);
    // The profile's MTU into its key (and IPMTU beside it, where in use).
    bool WriteProfile(const AdapterProfile& profile);
    // RWIN, TTL, MSS and the two path MTU switches into the driver's key.
    bool WriteGlobals();
    // Windows 9x: the NWLink cache size; a missing NWLink is only warned of.
    void WriteNdiCache();
    bool OpenKey(const QString& path, bool create);
    // Closes the open key after a failure; false.
    bool CloseAndFail();
    // On the open key; false (after an error message) when it fails.
    bool WriteString(const QString& name, const QString& text);
    bool RemoveValue(const QString& name);

    TParameterSet& FModel;
};
