#pragma once
#include "platform/TAtomicFile.h"
#include "platform/TFileIdentity.h"
#include "platform/THive.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <sys/types.h>

// One hive file on disk and its tree in memory. Every change is persisted at
// once and atomically under a lock shared with other processes; a file changed
// by someone else is read again first, so no one's writes are lost. A file that
// cannot be read is never written over.
class THiveFile : public THive {
public:
    // Where the lock that makes writers take turns lives: a ".lock" file
    // beside the hive (the data directory's own, which also counts the
    // writes), or the hive's folder itself, for a file of the user's beside
    // which nothing else may appear.
    enum class TLockPlace { BesideFile, Folder };
    // seed: the bytes a missing file starts from (empty: an empty hive).
    THiveFile(const QString& path, const QString& rootName, const QByteArray& seed = {},
              TFileAccess access = TFileAccess::Private,
              TLockPlace lockPlace = TLockPlace::BesideFile);
    const QString& Path() const { return FPath; }

    // The current tree; raises ERegistryException when the file cannot be read.
    TRegistryHive& Read() override;
    // Runs change on the current tree under the lock and persists the result
    // (nothing is written when it made no change). A failed write undoes the
    // change and raises ERegistryException.
    void Modify(const TTouch& touch, const TChange& change) override;
    QString Location() const override { return FPath; }
    QString ReadOnlyReason() override;
    QString OwnerWarning() override;

private:
    std::optional<TFileIdentity> DiskIdentity() const;
    void Load();
    void Persist(const QByteArray& bytes);
    quint64 ReadGeneration(int lockFd) const;

    QString FPath;
    QString FRootName;
    QByteArray FSeed;
    TFileAccess FAccess;
    TLockPlace FLockPlace;
    std::optional<TRegistryHive> FHive;
    std::optional<TFileIdentity> FIdentity;
    quint64 FGeneration = 0;
    QString FDamage; // the reason the file cannot be used, when it cannot
};
