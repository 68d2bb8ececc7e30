#pragma once
#include "platform/THive.h"

#include <QHash>
#include <QStringList>

// The keys and values changed in a run, in the order they were first
// touched, by path (names compared without case). Every Commit writes them
// all, so the last one holds the changes of the whole run.
class TChangeSet {
public:
    struct TKeyChange {
        QString Path;
        QStringList Values;
        bool WholeKey = false;
    };
    void Touch(const THive::TTouch& touch);
    bool IsEmpty() const { return FKeys.empty(); }
    const std::vector<TKeyChange>& Keys() const { return FKeys; }

private:
    std::vector<TKeyChange> FKeys;
    QHash<QString, size_t> FIndex;
};
