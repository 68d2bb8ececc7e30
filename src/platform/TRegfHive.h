#pragma once
#include "platform/TChangeSet.h"
#include "platform/TFileIdentity.h"
#include "platform/TRegistryHive.h"

#include <QString>

// One Windows NT hive file (regf: SYSTEM, SOFTWARE), read whole into a key
// tree and changed in place with hivex. Only the keys and values a change
// set names are written; every other byte of the hive's content stays.
class TRegfHive {
public:
    explicit TRegfHive(const QString& path) : FPath(path) {}
    const QString& Path() const { return FPath; }

    // Checks the base block and reads every key and value below into.
    // Raises ERegistryException naming the file when it cannot be used.
    void Load(TRegKey& into);
    // The hive was not shut down cleanly: its two sequence numbers differ.
    bool Dirty() const { return FDirty; }
    QString DirtyText() const;

    // Writes the changes (paths relative to the hive's root key) as root now
    // holds them: first a copy of the hive as it was (<name>.bak, unless a
    // plain file is there; the next free <name>.bakN when something else
    // is), then a new hive beside the old one, synced and renamed over it
    // with the old owner and mode. The whole commit holds the folder's lock,
    // so two copies of the program take turns. Raises ERegistryException
    // naming the file; returns a note for the user (empty: none).
    QString Commit(const TRegKey& root, const std::vector<TChangeSet::TKeyChange>& changes);
    // Why the file may not be written (empty: it may).
    QString ReadOnlyReason() const;
    // What the user must know before a commit when the file's owner cannot
    // be kept (empty: it can).
    QString OwnerWarning() const;

    // What is wrong with a base block, or empty; dirty tells a clean hive
    // from one whose last write was cut off.
    static QString CheckBaseBlock(const QByteArray& head, qint64 fileSize, bool& dirty);

private:
    [[noreturn]] void Fail(const QString& reason) const;
    QString KeepBackup(int fd, const struct stat& st);
    bool Writable(const struct stat& st) const;
    QString ReadOnlyText() const;

    QString FPath;
    bool FDirty = false;
    TFileIdentity FIdentity;
};
