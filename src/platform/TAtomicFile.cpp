#include "platform/TAtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

QString InOutErrorText(int errorNumber) {
    switch (errorNumber) {
    case ENOENT:
        return QStringLiteral("File not found");
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("File access denied");
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return QStringLiteral("Disk full");
    default:
        return QString::fromLocal8Bit(std::strerror(errorNumber));
    }
}

QString FileProblemText(int errorNumber) {
    switch (errorNumber) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QStringLiteral("the disk is full");
    case EROFS:
        return QStringLiteral("the disk or folder is read-only");
    case EACCES:
    case EPERM:
        return QStringLiteral("access is denied (the file or its folder is read-only)");
    case EISDIR:
        return QStringLiteral("it is a folder where a file should be");
    case ENOTDIR:
        return QStringLiteral("a file stands where a folder should be");
    case ENOENT:
        return QStringLiteral("it or its folder does not exist");
    case ELOOP:
        return QStringLiteral("it is a symbolic link, which Zephyn does not follow");
    default:
        return QString::fromLocal8Bit(std::strerror(errorNumber));
    }
}

QString FileErrorMessage(const QString& path, int errorNumber) {
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
                                        FileProblemText(errorNumber));
}

void RaiseInOutError(int errorNumber) {
    throw EInOutError(errorNumber, InOutErrorText(errorNumber));
}

void ReadRecordFile(const QString& path, int recordSize, QByteArray& data) {
    data.clear();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        RaiseInOutError(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        RaiseInOutError(error);
    }
    QByteArray bytes(static_cast<qsizetype>(st.st_size), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, static_cast<size_t>(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            RaiseInOutError(error);
        }
        if (n == 0)
            break; // the file shrank while being read
        got += n;
    }
    ::close(fd);
    bytes.truncate(got);
    const qsizetype whole = got - got % recordSize;
    const bool partial = whole != got;
    bytes.truncate(whole);
    data = std::move(bytes);
    if (partial)
        throw EInOutError(0, QStringLiteral("Read beyond end of file"));
}

void KeepCopy(const QString& path, const QString& copyPath) {
    const QByteArray from = QFile::encodeName(path);
    const QByteArray to = QFile::encodeName(copyPath);
    ::unlink(to.constData());
    errno = 0;
    if (::link(from.constData(), to.constData()) != 0 && !QFile::copy(path, copyPath))
        RaiseInOutError(errno ? errno : EIO);
}

TAtomicFile::TAtomicFile(const QString& path, TFileAccess access) : FPath(path), FAccess(access) {
    const QFileInfo info(path);
    FTemp = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                              QStringLiteral(".XXXXXX"));
    // mkostemp creates with O_EXCL and mode 0600; the lock tells a later
    // start that this file is still being written.
    FFd = ::mkostemp(FTemp.data(), O_CLOEXEC);
    if (FFd < 0)
        RaiseInOutError(errno);
    ::flock(FFd, LOCK_EX | LOCK_NB);
}

TAtomicFile::~TAtomicFile() {
    if (FFd >= 0) {
        ::close(FFd);
        ::unlink(FTemp.constData());
    }
}

void TAtomicFile::Write(const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(FFd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            RaiseInOutError(n < 0 ? errno : ENOSPC);
        data += n;
        size -= n;
    }
}

void TAtomicFile::Sync() {
    mode_t mode = FAccess == TFileAccess::Private ? 0600 : 0644;
    struct stat st {};
    const QString& like = FModeSource.isEmpty() ? FPath : FModeSource;
    if (::stat(QFile::encodeName(like).constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        // Read and write bits only: a data file never takes set-id or sticky bits.
        mode = FAccess == TFileAccess::Private ? (st.st_mode & 0600) : (st.st_mode & 0777);
        // A shared file keeps its owner where this process may give it (root).
        if (FAccess == TFileAccess::Shared && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()))
            (void)!::fchown(FFd, st.st_uid, st.st_gid);
    }
    if (::fchmod(FFd, mode) != 0 || ::fsync(FFd) != 0)
        RaiseInOutError(errno);
    FSynced = true;
}

void TAtomicFile::Commit() {
    if (!FSynced)
        Sync();
    if (::close(FFd) != 0) {
        const int error = errno;
        FFd = -1;
        ::unlink(FTemp.constData());
        RaiseInOutError(error);
    }
    FFd = -1;
    if (::rename(FTemp.constData(), QFile::encodeName(FPath).constData()) != 0) {
        const int error = errno;
        ::unlink(FTemp.constData());
        RaiseInOutError(error);
    }
    const QByteArray dir = QFile::encodeName(QFileInfo(FPath).absolutePath());
    const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

void TAtomicFile::Replace(const QString& path, const QByteArray& bytes, TFileAccess access) {
    TAtomicFile file(path, access);
    file.Write(bytes);
    file.Commit();
}

namespace {

// Removes the entries of a folder that ours() picks, each only while it is a
// plain file whose writer is gone (a live writer holds its lock) and that
// fresh() also accepts.
int RemoveFrom(const QString& folder, const std::function<bool(const QByteArray&)>& ours,
               const std::function<bool(const struct stat&)>& fresh) {
    int removed = 0;
    const QByteArray dir = QFile::encodeName(folder);
    DIR* d = ::opendir(dir.constData());
    if (!d)
        return 0;
    while (const dirent* entry = ::readdir(d)) {
        const QByteArray name(entry->d_name);
        if (!ours(name))
            continue;
        const QByteArray path = dir + '/' + name;
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && fresh(st) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(d);
    return removed;
}

} // namespace

int TAtomicFile::RemoveLeftovers(const QString& folder) {
    const time_t now = ::time(nullptr);
    return RemoveFrom(
        folder,
        [](const QByteArray& name) {
            // ".<file>.XXXXXX": what the constructor above makes.
            return name.startsWith('.') && name.size() >= 9 && name.at(name.size() - 7) == '.';
        },
        [now](const struct stat& st) {
            // Ours, and not one that another instance has only just made and
            // not yet locked.
            return st.st_uid == ::geteuid() && now - st.st_mtime > 10;
        });
}

namespace {

// The file whose temporary copy an entry is (".<name>.XXXXXX" as mkostemp
// fills it in, six letters or digits), or empty.
QString TemporaryOf(const QByteArray& entry) {
    if (entry.size() < 9 || !entry.startsWith('.') || entry.at(entry.size() - 7) != '.')
        return QString();
    for (char c : entry.right(6))
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return QString();
    return QFile::decodeName(entry.mid(1, entry.size() - 8));
}

bool HasCapChown() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return ::geteuid() == 0;
    return (data[CAP_TO_INDEX(CAP_CHOWN)].effective & CAP_TO_MASK(CAP_CHOWN)) != 0;
}

} // namespace

int TAtomicFile::RemoveLeftoversOf(const QString& folder,
                                   const std::function<bool(const QString& name)>& ours) {
    // The folder's lock is held: no copy of the program is writing there.
    return RemoveFrom(
        folder,
        [&ours](const QByteArray& entry) {
            const QString name = TemporaryOf(entry);
            return !name.isEmpty() && ours(name);
        },
        [](const struct stat&) { return true; });
}

bool TAtomicFile::CanKeepOwner(const struct stat& st) {
    if (st.st_uid == ::geteuid()) {
        if (st.st_gid == ::getegid())
            return true;
        // An owner may give a file to any group it belongs to.
        const int count = ::getgroups(0, nullptr);
        std::vector<gid_t> groups(size_t(count > 0 ? count : 0));
        if (count > 0 && ::getgroups(count, groups.data()) == count)
            for (gid_t g : groups)
                if (g == st.st_gid)
                    return true;
    }
    return HasCapChown();
}

QString TAtomicFile::OwnerNotKeptText(const QString& path, const QString& what) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || CanKeepOwner(st))
        return QString();
    return QStringLiteral("The registry file \"%1\" belongs to %2. Zephyn runs as %3 and cannot "
                          "give a file to another owner: %4 will belong to %3.")
        .arg(path, OwnerText(st.st_uid, st.st_gid), OwnerText(::geteuid(), ::getegid()), what);
}

QString TAtomicFile::OwnerText(uid_t uid, gid_t gid) {
    char buffer[4096];
    passwd pw{};
    passwd* user = nullptr;
    group gr{};
    group* grp = nullptr;
    ::getpwuid_r(uid, &pw, buffer, sizeof buffer, &user);
    const QString userName = user ? QString::fromLocal8Bit(user->pw_name) : QString();
    ::getgrgid_r(gid, &gr, buffer, sizeof buffer, &grp);
    const QString groupName = grp ? QString::fromLocal8Bit(grp->gr_name) : QString();
    const QString u = userName.isEmpty() ? QStringLiteral("uid %1").arg(uid)
                                         : QStringLiteral("%1 (uid %2)").arg(userName).arg(uid);
    const QString g = groupName.isEmpty() ? QStringLiteral("gid %1").arg(gid)
                                          : QStringLiteral("%1 (gid %2)").arg(groupName).arg(gid);
    return QStringLiteral("user %1, group %2").arg(u, g);
}
