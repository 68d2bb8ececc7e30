#pragma once
#include "platform/TRegistryHive.h"

#include <QString>
#include <functional>
#include <vector>

// One registry root as the accessor sees it: a tree in memory that changes
// through Modify. A text hive in the data directory writes every change at
// once; a Windows installation's own files keep the changes and write them
// when Commit runs (Save and Defaults).
class THive {
public:
    using TUndo = std::vector<std::function<void()>>;
    // Runs on the current tree; false when it made no change.
    using TChange = std::function<bool(TRegistryHive&, TUndo&)>;
    // What a change touches: a key (made or removed) or one of its values.
    struct TTouch {
        QString KeyPath;
        QString ValueName;
        bool WholeKey = false;
    };

    virtual ~THive() = default;
    // The current tree; raises ERegistryException when it cannot be read.
    virtual TRegistryHive& Read() = 0;
    // Applies change; a failure undoes it and raises ERegistryException.
    virtual void Modify(const TTouch& touch, const TChange& change) = 0;
    // Writes the kept changes. Returns a note for the user (empty: none);
    // raises ERegistryException naming the file when it cannot.
    virtual QString Commit() { return QString(); }
    // Why nothing may be written (empty: it may).
    virtual QString ReadOnlyReason() { return QString(); }
    // What the user must know before a save: the files written will not
    // keep their owner (empty: nothing).
    virtual QString OwnerWarning() { return QString(); }
    // What the user must know before working with it (empty: nothing).
    virtual QString StartWarning() { return QString(); }
    // The file or folder it comes from.
    virtual QString Location() const = 0;
};
