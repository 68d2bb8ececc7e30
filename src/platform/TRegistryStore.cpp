#include "platform/TRegistryStore.h"
#include "platform/TDataDirectory.h"
#include "platform/TNtRegistry.h"
#include "platform/TWin9xRegistry.h"

#include <QFile>

namespace {

QByteArray MachineSeed() {
    QFile sample(QStringLiteral(":/samples/registry/win98.reg"));
    return sample.open(QIODevice::ReadOnly) ? sample.readAll() : QByteArray();
}

TRegistryLocation& CurrentLocation() {
    static TRegistryLocation location;
    return location;
}
int& LocationGeneration() {
    static int generation = 0;
    return generation;
}

std::unique_ptr<THive> MachineHive(const QString& directory, const TRegistryLocation& where) {
    using TKind = TRegistryLocation::TKind;
    switch (where.Kind) {
    case TKind::NtFolder:
        return std::make_unique<TNtRegistry>(where.Path, where.File, where.Software);
    case TKind::Win9xFolder:
        return std::make_unique<TWin9xRegistry>(where.File,
                                                directory + QStringLiteral("/written-imports"));
    case TKind::RegFile:
        // A file of the user's: no seed, its mode and encoding kept.
        return std::make_unique<THiveFile>(where.File, RootKeyName(THKey::HKEY_LOCAL_MACHINE),
                                           QByteArray(), TFileAccess::Shared,
                                           THiveFile::TLockPlace::Folder);
    case TKind::DataDirectory:
        break;
    }
    return std::make_unique<THiveFile>(directory + QStringLiteral("/HKEY_LOCAL_MACHINE.reg"),
                                       RootKeyName(THKey::HKEY_LOCAL_MACHINE), MachineSeed(),
                                       TFileAccess::Shared);
}

} // namespace

QString RootKeyName(THKey root) {
    return root == THKey::HKEY_LOCAL_MACHINE ? QStringLiteral("HKEY_LOCAL_MACHINE")
                                             : QStringLiteral("HKEY_CURRENT_USER");
}

TRegistryStore::TRegistryStore(const QString& dataDirectory, const TRegistryLocation& machine)
    : FDirectory(dataDirectory + QStringLiteral("/registry")),
      FMachine(MachineHive(FDirectory, machine)),
      FUser(std::make_unique<THiveFile>(FDirectory + QStringLiteral("/HKEY_CURRENT_USER.reg"),
                                        RootKeyName(THKey::HKEY_CURRENT_USER))) {}

TRegistryStore& TRegistryStore::Instance() {
    static std::unique_ptr<TRegistryStore> store;
    static QString storeDir;
    static int storeGeneration = -1;
    const QString dir = TDataDirectory::Path();
    if (!store || dir != storeDir || storeGeneration != LocationGeneration()) {
        store = std::make_unique<TRegistryStore>(dir, CurrentLocation());
        storeDir = dir;
        storeGeneration = LocationGeneration();
    }
    return *store;
}

void TRegistryStore::SetMachineLocation(const TRegistryLocation& location) {
    CurrentLocation() = location;
    ++LocationGeneration();
}

const TRegistryLocation& TRegistryStore::MachineLocation() {
    return CurrentLocation();
}

THive& TRegistryStore::Hive(THKey root) {
    return root == THKey::HKEY_LOCAL_MACHINE ? *FMachine : static_cast<THive&>(*FUser);
}

void TRegistryStore::CheckHives() {
    FMachine->Read();
    FUser->Read();
}

QString TRegistryStore::MachineDescription() const {
    if (CurrentLocation().Kind == TRegistryLocation::TKind::DataDirectory)
        return FMachine->Location();
    return CurrentLocation().Description();
}
