#pragma once
#include "platform/TChangeSet.h"
#include "platform/THive.h"

#include <optional>

// A Windows installation's own registry, read whole into memory on first
// use. A failure to read it is kept and raised again at every read; changes
// stay in memory, in a change set, until Commit writes them.
class TLoadedRegistry : public THive {
public:
    TRegistryHive& Read() override;
    void Modify(const TTouch& touch, const TChange& change) override;

protected:
    // Reads the files; raises ERegistryException naming the file.
    virtual TRegistryHive Load() = 0;

    std::optional<TRegistryHive> FHive;
    TChangeSet FChanges;

private:
    QString FDamage;
};
