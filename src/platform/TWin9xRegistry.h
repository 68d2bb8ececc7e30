#pragma once
#include "platform/TLoadedRegistry.h"

// HKEY_LOCAL_MACHINE of a Windows 95/98/Me installation: its SYSTEM.DAT,
// read with libcreg and never written (Windows checks the file at every
// boot, and nothing else writes the format). Commit writes the run's
// changes as ZEPHYN.REG beside it, for regedit on that machine to import.
class TWin9xRegistry : public TLoadedRegistry {
public:
    explicit TWin9xRegistry(const QString& systemDat);

    QString Commit() override;
    QString Location() const override { return FPath; }

    QString ImportFile() const;
    // ZEPHYN.REG's text for the changes so far.
    QByteArray ImportText();

protected:
    TRegistryHive Load() override;

private:
    QString FPath;
};
