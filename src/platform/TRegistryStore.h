#pragma once
#include "platform/THiveFile.h"
#include "platform/TRegistryLocation.h"

#include <QString>
#include <memory>

enum class THKey { HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };

QString RootKeyName(THKey root);

// The registry of one data directory: a hive file per root in <data>/registry/.
// A fresh machine hive starts as the bundled Windows 98 sample. The machine
// root may instead be a Windows installation's own registry (--registry).
class TRegistryStore {
public:
    explicit TRegistryStore(const QString& dataDirectory,
                            const TRegistryLocation& machine = TRegistryLocation());
    // The store of the current data directory and machine registry.
    static TRegistryStore& Instance();
    // The machine registry every later Instance() uses.
    static void SetMachineLocation(const TRegistryLocation& location);
    static const TRegistryLocation& MachineLocation();

    THive& Hive(THKey root);
    // Reads every hive; raises ERegistryException naming the file (and line)
    // of the first one that cannot be read.
    void CheckHives();
    // What the machine registry is, for the user.
    QString MachineDescription() const;

private:
    QString FDirectory;
    std::unique_ptr<THive> FMachine;
    std::unique_ptr<THiveFile> FUser;
};
