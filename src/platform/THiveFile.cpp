#include "platform/THiveFile.h"
#include "platform/TAtomicFile.h"
#include "platform/TDataDirectory.h"
#include "platform/TExceptions.h"
#include "platform/TPlainFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TLock {
public:
    explicit TLock(const QString& path) {
        // Never through a link: the lock file holds only a generation count.
        Fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                    0600);
        if (Fd >= 0 && ::flock(Fd, LOCK_EX) != 0) {
            ::close(Fd);
            Fd = -1;
        }
    }
    ~TLock() {
        if (Fd >= 0)
            ::close(Fd); // also releases the lock
    }
    int Fd = -1;
};

} // namespace

THiveFile::THiveFile(const QString& path, const QString& rootName, const QByteArray& seed,
                     TFileAccess access, TLockPlace lockPlace)
    : FPath(path), FRootName(rootName), FSeed(seed), FAccess(access), FLockPlace(lockPlace) {}

namespace {

// A hive file marked read-only is left alone, even by root, like a registry
// that refuses writes.
bool MarkedReadOnly(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & 0222) == 0;
}

QString ReadOnlyText(const QString& path) {
    return QStringLiteral("The registry file \"%1\" is read-only").arg(path);
}

} // namespace

QString THiveFile::ReadOnlyReason() {
    return FLockPlace == TLockPlace::Folder && MarkedReadOnly(FPath) ? ReadOnlyText(FPath)
                                                                      : QString();
}

QString THiveFile::OwnerWarning() {
    return FLockPlace == TLockPlace::Folder
               ? TAtomicFile::OwnerNotKeptText(FPath, QStringLiteral("the saved file"))
               : QString();
}

std::optional<TFileIdentity> THiveFile::DiskIdentity() const {
    struct stat st {};
    if (::stat(QFile::encodeName(FPath).constData(), &st) != 0)
        return std::nullopt;
    return TFileIdentity::Of(st);
}

quint64 THiveFile::ReadGeneration(int lockFd) const {
    quint64 generation = 0;
    if (lockFd >= 0 && ::pread(lockFd, &generation, sizeof generation, 0) != sizeof generation)
        generation = 0;
    return generation;
}

void THiveFile::Load() {
    auto identity = DiskIdentity();
    if (!identity) {
        if (!FHive) {
            // A missing file starts from its seed; it is written on the first change,
            // or now when there is a seed, so the user sees the file at once.
            FHive =
                FSeed.isEmpty() ? TRegistryHive(FRootName) : TRegistryHive::Parse(FSeed, FRootName);
            FDamage.clear();
            if (!FSeed.isEmpty()) {
                int error = TDataDirectory::MakePrivateFolder(QFileInfo(FPath).absolutePath());
                TLock lock(FPath + QStringLiteral(".lock"));
                if (error || lock.Fd < 0) {
                    error = error ? error : errno;
                    FHive.reset();
                    throw ERegistryException(
                        QStringLiteral("The registry file %1 could not be written: %2")
                            .arg(FPath, FileProblemText(error)));
                }
                if (!DiskIdentity()) {
                    try {
                        Persist(FSeed);
                    } catch (...) {
                        FHive.reset(); // tried again next time, not taken as written
                        throw;
                    }
                }
            }
        }
        return;
    }
    if (FIdentity && *identity == *FIdentity && FHive && FDamage.isEmpty())
        return;
    FIdentity = identity;
    // Never a FIFO or a device: opening one would wait for ever.
    struct stat st {};
    QString problem;
    const int fd = OpenPlainFile(FPath, st, problem);
    if (fd < 0) {
        FDamage = QStringLiteral("The registry file \"%1\" cannot be opened: %2").arg(FPath, problem);
        return;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        FDamage = QStringLiteral("The registry file \"%1\" cannot be opened").arg(FPath);
        return;
    }
    try {
        FHive = TRegistryHive::Parse(file.readAll(), FRootName);
        FDamage.clear();
    } catch (const ERegistryException& e) {
        FDamage =
            QStringLiteral("The registry file \"%1\" cannot be read, %2").arg(FPath, e.Message());
    }
}

TRegistryHive& THiveFile::Read() {
    Load();
    if (!FDamage.isEmpty())
        throw ERegistryException(FDamage);
    return *FHive;
}

void THiveFile::Modify(const TTouch&, const TChange& change) {
    if (const int error = TDataDirectory::MakePrivateFolder(QFileInfo(FPath).absolutePath()))
        throw ERegistryException(QStringLiteral("The registry file %1 could not be written: %2")
                                     .arg(FPath, FileProblemText(error)));
    const bool inFolder = FLockPlace == TLockPlace::Folder;
    std::optional<TLock> lock;
    std::optional<TFolderLock> folderLock;
    if (inFolder) {
        folderLock.emplace(QFileInfo(FPath).absolutePath());
        if (!folderLock->Lock(TFolderLock::SaveWaitMs))
            throw ERegistryException(
                QStringLiteral("The registry file \"%1\" cannot be written now: another copy of "
                               "Zephyn is still saving into its folder")
                    .arg(FPath));
        // Every write replaces the file, so its identity tells another's write.
    } else {
        lock.emplace(FPath + QStringLiteral(".lock"));
        if (lock->Fd < 0)
            throw ERegistryException(QStringLiteral("The registry file \"%1\" cannot be locked: %2")
                                         .arg(FPath, FileProblemText(errno)));
        const quint64 generation = ReadGeneration(lock->Fd);
        if (generation != FGeneration)
            FIdentity.reset(); // someone else wrote it: read it again
        FGeneration = generation;
    }
    TRegistryHive& hive = Read();
    TUndo undo;
    if (!change(hive, undo))
        return;
    try {
        if (MarkedReadOnly(FPath))
            throw ERegistryException(ReadOnlyText(FPath));
        Persist(hive.Serialize());
    } catch (...) {
        for (auto it = undo.rbegin(); it != undo.rend(); ++it)
            (*it)();
        throw;
    }
    if (!lock)
        return;
    ++FGeneration;
    if (::pwrite(lock->Fd, &FGeneration, sizeof FGeneration, 0) == sizeof FGeneration)
        ::fsync(lock->Fd);
}

void THiveFile::Persist(const QByteArray& bytes) {
    try {
        TAtomicFile::Replace(FPath, bytes, FAccess);
    } catch (const EInOutError& e) {
        throw ERegistryException(QStringLiteral("The registry file %1 could not be written: %2")
                                     .arg(FPath, FileProblemText(e.ErrorNumber)));
    }
    FIdentity = DiskIdentity();
}
