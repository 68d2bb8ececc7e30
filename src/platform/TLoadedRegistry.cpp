#include "platform/TLoadedRegistry.h"
#include "platform/TExceptions.h"

TRegistryHive& TLoadedRegistry::Read() {
    if (!FHive && FDamage.isEmpty()) {
        try {
            FHive = Load();
        } catch (const ERegistryException& e) {
            FDamage = e.Message();
        }
    }
    if (!FHive)
        throw ERegistryException(FDamage);
    return *FHive;
}

void TLoadedRegistry::Modify(const TTouch& touch, const TChange& change) {
    TRegistryHive& hive = Read();
    TUndo undo;
    change(hive, undo);
    FChanges.Touch({hive.Canonical(touch.KeyPath), touch.ValueName, touch.WholeKey});
}
