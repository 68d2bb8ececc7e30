#include "platform/TChangeSet.h"

void TChangeSet::Touch(const THive::TTouch& touch) {
    const QString id = TRegistryHive::SplitPath(touch.KeyPath).join(u'\\').toUpper();
    auto it = FIndex.constFind(id);
    if (it == FIndex.constEnd()) {
        FKeys.push_back(TKeyChange{TRegistryHive::SplitPath(touch.KeyPath).join(u'\\'), {}, false});
        it = FIndex.insert(id, FKeys.size() - 1);
    }
    TKeyChange& key = FKeys[*it];
    key.WholeKey = key.WholeKey || touch.WholeKey;
    if (touch.ValueName.isNull())
        return;
    for (const QString& v : key.Values)
        if (v.compare(touch.ValueName, Qt::CaseInsensitive) == 0)
            return;
    key.Values << touch.ValueName;
}
