#pragma once
#include "platform/TChangeSet.h"
#include "platform/THive.h"
#include "platform/TRegfHive.h"

#include <optional>

// HKEY_LOCAL_MACHINE of a Windows NT installation: its SYSTEM and SOFTWARE
// hive files. CurrentControlSet stands for the control set that
// Select\Current names, as Windows links it at boot. Changes stay in memory
// until Commit writes them into the hive they belong to.
class TNtRegistry : public THive {
public:
    TNtRegistry(const QString& folder, const QString& system, const QString& software);

    TRegistryHive& Read() override;
    void Modify(const TTouch& touch, const TChange& change) override;
    QString Commit() override;
    QString ReadOnlyReason() override;
    QString StartWarning() override;
    QString Location() const override { return FFolder; }

private:
    void Load();

    QString FFolder;
    TRegfHive FSystem;
    TRegfHive FSoftware;
    std::optional<TRegistryHive> FHive;
    QString FDamage;
    TChangeSet FChanges;
};
