#pragma once
#include <QString>
#include <optional>

// Which machine registry the program edits: the data directory's own
// HKEY_LOCAL_MACHINE.reg, or what a --registry path names. Names of files
// and folders are matched without regard to case, as a FAT or NTFS mount
// may show them either way.
struct TRegistryLocation {
    enum class TKind { DataDirectory, RegFile, NtFolder, Win9xFolder };
    TKind Kind = TKind::DataDirectory;
    QString Path;     // as given
    QString File;     // the .reg file, SYSTEM.DAT, or the NT SYSTEM hive
    QString Software; // the NT SOFTWARE hive

    // What path names; empty, with error set (naming the path and what was
    // looked for), when it names no registry.
    static std::optional<TRegistryLocation> Find(const QString& path, QString& error);
    // For the user: what the window edits.
    QString Description() const;
};
