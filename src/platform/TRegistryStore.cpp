#include "platform/TRegistryStore.h"
#include "platform/TDataDirectory.h"

#include <QFile>

namespace {
QByteArray MachineSeed() {
    QFile sample(QStringLiteral(":/samples/registry/win98.reg"));
    return sample.open(QIODevice::ReadOnly) ? sample.readAll() : QByteArray();
}
} // namespace

QString RootKeyName(THKey root) {
    return root == THKey::HKEY_LOCAL_MACHINE ? QStringLiteral("HKEY_LOCAL_MACHINE")
                                             : QStringLiteral("HKEY_CURRENT_USER");
}

TRegistryStore::TRegistryStore(const QString& dataDirectory)
    : FDirectory(dataDirectory + QStringLiteral("/registry")),
      FMachine(std::make_unique<THiveFile>(FDirectory + QStringLiteral("/HKEY_LOCAL_MACHINE.reg"),
                                           RootKeyName(THKey::HKEY_LOCAL_MACHINE), MachineSeed(),
                                           TFileAccess::Shared)),
      FUser(std::make_unique<THiveFile>(FDirectory + QStringLiteral("/HKEY_CURRENT_USER.reg"),
                                        RootKeyName(THKey::HKEY_CURRENT_USER))) {}

TRegistryStore& TRegistryStore::Instance() {
    static std::unique_ptr<TRegistryStore> store;
    static QString storeDir;
    const QString dir = TDataDirectory::Path();
    if (!store || dir != storeDir) {
        store = std::make_unique<TRegistryStore>(dir);
        storeDir = dir;
    }
    return *store;
}

THiveFile& TRegistryStore::Hive(THKey root) {
    return root == THKey::HKEY_LOCAL_MACHINE ? *FMachine : *FUser;
}

void TRegistryStore::CheckHives() {
    FMachine->Read();
    FUser->Read();
}
