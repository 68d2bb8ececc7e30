#pragma once
#include "platform/TLoadedRegistry.h"

// HKEY_LOCAL_MACHINE of a Windows 95/98/Me installation: its SYSTEM.DAT,
// read with libcreg and never written (Windows checks the file at every
// boot, and nothing else writes the format). Commit writes the run's
// changes as ZEPHYN.REG beside it, for regedit on that machine to import.
//
// A ZEPHYN.REG there that this data directory did not write (the user's
// own, or another copy's) is kept under the next free ZEPHYN.REG.bak name
// before it is replaced; writtenRecord names the file in the data directory
// that holds a digest of each ZEPHYN.REG it wrote.
class TWin9xRegistry : public TLoadedRegistry {
public:
    TWin9xRegistry(const QString& systemDat, const QString& writtenRecord);

    QString Commit() override;
    QString Location() const override { return FPath; }

    QString ImportFile() const;
    // ZEPHYN.REG's text for the changes so far.
    QByteArray ImportText();

protected:
    TRegistryHive Load() override;

private:
    static inline const QString ImportName = QStringLiteral("ZEPHYN.REG");
    void RemoveLeftovers();
    QString Recorded(const QString& path) const;
    void Record(const QString& path, const QByteArray& bytes) const;
    static QString Digest(const QByteArray& bytes);
    // Keeps the file at path when this data directory did not write it;
    // returns where (empty: nothing kept). Raises ERegistryException.
    QString KeepUsersFile(const QString& path) const;

    QString FPath;
    QString FWrittenRecord;
};
