#include "platform/THiveFile.h"
#include "platform/TExceptions.h"

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
        Fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
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

QString SystemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

THiveFile::THiveFile(const QString& path, const QString& rootName, const QByteArray& seed)
    : FPath(path), FRootName(rootName), FSeed(seed) {}

std::optional<THiveFile::TIdentity> THiveFile::DiskIdentity() const {
    struct stat st {};
    if (::stat(QFile::encodeName(FPath).constData(), &st) != 0)
        return std::nullopt;
    return TIdentity{st.st_dev, st.st_ino, st.st_size,
                     st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
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
                QDir().mkpath(QFileInfo(FPath).absolutePath());
                TLock lock(FPath + QStringLiteral(".lock"));
                if (!DiskIdentity())
                    Persist(FSeed);
            }
        }
        return;
    }
    if (FIdentity && *identity == *FIdentity && FHive && FDamage.isEmpty())
        return;
    FIdentity = identity;
    QFile file(FPath);
    if (!file.open(QIODevice::ReadOnly)) {
        FDamage = QStringLiteral("The registry file \"%1\" cannot be opened: %2")
                      .arg(FPath, file.errorString());
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

void THiveFile::Modify(const std::function<bool(TRegistryHive&, TUndo&)>& change) {
    QDir().mkpath(QFileInfo(FPath).absolutePath());
    TLock lock(FPath + QStringLiteral(".lock"));
    if (lock.Fd < 0)
        throw ERegistryException(QStringLiteral("The registry file \"%1\" cannot be locked: %2")
                                     .arg(FPath, SystemError()));
    const quint64 generation = ReadGeneration(lock.Fd);
    if (generation != FGeneration)
        FIdentity.reset(); // someone else wrote it: read it again
    FGeneration = generation;
    TRegistryHive& hive = Read();
    TUndo undo;
    if (!change(hive, undo))
        return;
    try {
        Persist(hive.Serialize());
    } catch (...) {
        for (auto it = undo.rbegin(); it != undo.rend(); ++it)
            (*it)();
        throw;
    }
    ++FGeneration;
    if (::pwrite(lock.Fd, &FGeneration, sizeof FGeneration, 0) == sizeof FGeneration)
        ::fsync(lock.Fd);
}

void THiveFile::Persist(const QByteArray& bytes) {
    const QString dir = QFileInfo(FPath).absolutePath();
    QByteArray tmpl = QFile::encodeName(dir + QStringLiteral("/.") + QFileInfo(FPath).fileName() +
                                        QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0)
        throw ERegistryException(SystemError());
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= n;
    }
    ok = ok && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    const QString error = ok ? QString() : SystemError();
    ::close(fd);
    if (!ok || ::rename(tmpl.constData(), QFile::encodeName(FPath).constData()) != 0) {
        const QString reason = ok ? SystemError() : error;
        ::unlink(tmpl.constData());
        throw ERegistryException(reason);
    }
    const int dirFd =
        ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    FIdentity = DiskIdentity();
}
