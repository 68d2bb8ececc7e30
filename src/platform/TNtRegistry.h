#pragma once
#include "platform/TLoadedRegistry.h"
#include "platform/TRegfHive.h"

// HKEY_LOCAL_MACHINE of a Windows NT installation: its SYSTEM and SOFTWARE
// hive files. CurrentControlSet stands for the control set that
// Select\Current names, as Windows links it at boot. Changes stay in memory
// until Commit writes them into the hive they belong to.
class TNtRegistry : public TLoadedRegistry {
public:
    TNtRegistry(const QString& folder, const QString& system, const QString& software);

    QString Commit() override;
    QString ReadOnlyReason() override;
    QString StartWarning() override;
    QString OwnerWarning() override;
    QString Location() const override { return FFolder; }

protected:
    TRegistryHive Load() override;

private:
    void RemoveLeftovers();

    QString FFolder;
    TRegfHive FSystem;
    TRegfHive FSoftware;
};
