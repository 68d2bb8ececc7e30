#pragma once
#include "platform/TExceptions.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <sys/types.h>

struct stat;

// A failed file operation, with the text users know from the program's
// file handling ("Read beyond end of file", "Disk full", ...).
class EInOutError : public Exception {
public:
    EInOutError(int errorNumber, const QString& message)
        : Exception(message), ErrorNumber(errorNumber) {}
    int ErrorNumber;
};

// The message for an errno value.
QString InOutErrorText(int errorNumber);
// What is wrong with a file, in words a user acts on: the disk is full, the
// folder is read-only, a folder stands where the file should be, ...
QString FileProblemText(int errorNumber);
// "<path>: <problem>".
QString FileErrorMessage(const QString& path, int errorNumber);
[[noreturn]] void RaiseInOutError(int errorNumber);

// Reads a whole file of fixed-size records into data: the whole records go
// to data (resized to their count), and a partial record at the end raises
// "Read beyond end of file" after them, as reading record by record would.
void ReadRecordFile(const QString& path, int recordSize, QByteArray& data);

// Keeps a file's present bytes under a second name (replacing what stood
// there): a hard link where the file system has them, a copy elsewhere.
// Raises EInOutError.
void KeepCopy(const QString& path, const QString& copyPath);

// Who may read a file the program writes. Private files (they may hold
// passwords) are created 0600 and never get wider; a shared file is created
// 0644 and a replaced one keeps the mode it had. The umask plays no part.
enum class TFileAccess { Private, Shared };

// Replaces a file as a whole: the bytes go to a temporary file beside it
// (".<name>.XXXXXX", created exclusively and locked while it is written),
// which is synced and renamed over the target only by Commit. Until then,
// and if anything fails or the process dies, the old file stays as it was.
class TAtomicFile {
public:
    explicit TAtomicFile(const QString& path, TFileAccess access = TFileAccess::Private);
    ~TAtomicFile(); // removes the temporary file unless committed
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    void Write(const char* data, qsizetype size);
    void Write(const QByteArray& bytes) { Write(bytes.constData(), bytes.size()); }
    // The new file takes the owner (where the process may give it) and the
    // mode of another file instead of the target's.
    void KeepOwnerAndModeOf(const QString& path) { FModeSource = path; }
    // The temporary file's name through this process's descriptor, for a
    // library that writes a file by name: it reaches this very file.
    QByteArray DescriptorPath() const { return "/proc/self/fd/" + QByteArray::number(FFd); }
    // Data to disk; Commit runs it when it was not run before.
    void Sync();
    // Renames over the target and syncs the directory.
    void Commit();

    // Writes bytes as the whole new content of path.
    static void Replace(const QString& path, const QByteArray& bytes,
                        TFileAccess access = TFileAccess::Private);
    // Removes the temporary files that interrupted saves left in a folder;
    // one that another process is still writing (it holds its lock) stays.
    static int RemoveLeftovers(const QString& folder);
    // Removes from a folder of the user's the temporary files that an
    // interrupted save left (".<name>.XXXXXX", for the names ours picks).
    // Only for a folder whose TFolderLock the caller holds, so no copy of
    // the program is writing there.
    static int RemoveLeftoversOf(const QString& folder,
                                 const std::function<bool(const QString& name)>& ours);

    // Whether a file written now can be given st's owner and group: the
    // process is that owner (and in that group), or may change owners.
    static bool CanKeepOwner(const struct stat& st);
    // "user alice (uid 1001), group users (gid 100)".
    static QString OwnerText(uid_t uid, gid_t gid);
    // What the user must know before path is replaced when its owner
    // cannot be kept (what: the files that will become the runner's), or
    // empty when it can.
    static QString OwnerNotKeptText(const QString& path, const QString& what);

private:
    QString FPath;
    QString FModeSource;
    TFileAccess FAccess;
    QByteArray FTemp;
    int FFd = -1;
    bool FSynced = false;
};
