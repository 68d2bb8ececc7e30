#pragma once
#include "platform/TChangeSet.h"
#include "platform/THive.h"

#include <optional>

// HKEY_LOCAL_MACHINE of a Windows 95/98/Me installation: its SYSTEM.DAT,
// read with libcreg and never written (Windows checks the file at every
// boot, and nothing else writes the format). Commit writes the run's
// changes as ZEPHYN.REG beside it, for regedit on that machine to import.
class TWin9xRegistry : public THive {
public:
    explicit TWin9xRegistry(const QString& systemDat);

    TRegistryHive& Read() override;
    void Modify(const TTouch& touch, const TChange& change) override;
    QString Commit() override;
    QString Location() const override { return FPath; }

    QString ImportFile() const;
    // ZEPHYN.REG's text for the changes so far.
    QByteArray ImportText();

private:
    void Load();

    QString FPath;
    std::optional<TRegistryHive> FHive;
    QString FDamage;
    TChangeSet FChanges;
};
