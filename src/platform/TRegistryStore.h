#pragma once
#include "platform/THiveFile.h"

#include <QString>
#include <memory>

enum class THKey { HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };

QString RootKeyName(THKey root);

// The registry of one data directory: a hive file per root in <data>/registry/.
// A fresh machine hive starts as the bundled Windows 98 sample.
class TRegistryStore {
public:
    explicit TRegistryStore(const QString& dataDirectory);
    // The store of the current data directory.
    static TRegistryStore& Instance();

    THiveFile& Hive(THKey root);
    // Reads every hive; raises ERegistryException naming the file and line
    // of the first one that cannot be read.
    void CheckHives();

private:
    QString FDirectory;
    std::unique_ptr<THiveFile> FMachine;
    std::unique_ptr<THiveFile> FUser;
};
