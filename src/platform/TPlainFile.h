#pragma once
#include <QByteArray>
#include <QString>
#include <sys/stat.h>

// Files of a Windows installation and of the user are read only when they
// are plain files: a FIFO, a device or a socket at a hive's name would block
// the program or feed it endless bytes, and a link may point anywhere.

// What a directory entry is, for a message: "a FIFO (named pipe)", ...
QString EntryKindText(mode_t mode);

// Opens path for reading without following a link and without waiting,
// and checks that it is a plain file. Returns the descriptor (close it),
// with st filled in; or -1 with problem set to what is wrong with it.
int OpenPlainFile(const QString& path, struct stat& st, QString& problem);

// Up to size bytes from the start of an open file (fewer when it is shorter).
QByteArray ReadWhole(int fd, qint64 size);

// What stands at path when it is something other than a plain file (a
// symbolic link included), or empty when it is a plain file or nothing.
QString NotPlainFileText(const QString& path);

// The entry of a folder whose name matches without regard to case (as a
// FAT or NTFS mount may show it either way): its path, or empty.
QString FindEntry(const QString& folder, const QString& name);
// The n-th name a kept copy of a file may take: <name>.bak, <name>.bak1, ...
QString BackupName(const QString& fileName, int n);
// How many backup names there are, from .bak to .bak99.
constexpr int BackupNames = 100;
// An offset in a file, for a message: "0x1A20".
QString OffsetText(qint64 offset);

// A folder locked with flock, so that two copies of the program writing
// into one folder take turns. The lock is the folder itself: nothing is
// created in it. Released when the object goes.
class TFolderLock {
public:
    explicit TFolderLock(const QString& folder);
    ~TFolderLock();
    TFolderLock(const TFolderLock&) = delete;
    TFolderLock& operator=(const TFolderLock&) = delete;

    // Takes the lock, waiting at most timeoutMs for another holder.
    bool Lock(int timeoutMs);
    bool TryLock() { return Lock(0); }
    bool Held() const { return FHeld; }

    // How long a save waits for another copy's save in the same folder.
    static constexpr int SaveWaitMs = 60000;

private:
    int FFd = -1;
    bool FHeld = false;
};
