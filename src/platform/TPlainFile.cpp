#include "platform/TPlainFile.h"
#include "platform/TAtomicFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString EntryKindText(mode_t mode) {
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO (named pipe)");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    return QStringLiteral("a plain file");
}

int OpenPlainFile(const QString& path, struct stat& st, QString& problem) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = FileProblemText(errno);
        return -1;
    }
    if (::fstat(fd, &st) != 0) {
        problem = FileProblemText(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        problem = QStringLiteral("it is %1, not a plain file").arg(EntryKindText(st.st_mode));
        ::close(fd);
        return -1;
    }
    // Reads of a plain file block as usual from here on.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

QByteArray ReadWhole(int fd, qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, size_t(bytes.size() - got), got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    return bytes;
}

QString NotPlainFileText(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return QString();
    return EntryKindText(st.st_mode);
}

QString FindEntry(const QString& folder, const QString& name) {
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::System |
                                                       QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return folder + u'/' + entry;
    return QString();
}

QString BackupName(const QString& fileName, int n) {
    return fileName + QStringLiteral(".bak") + (n ? QString::number(n) : QString());
}

QString OffsetText(qint64 offset) {
    return QStringLiteral("0x") + QString::number(offset, 16).toUpper();
}

TFolderLock::TFolderLock(const QString& folder) {
    FFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

TFolderLock::~TFolderLock() {
    if (FFd >= 0)
        ::close(FFd); // also releases the lock
}

bool TFolderLock::Lock(int timeoutMs) {
    if (FHeld)
        return true;
    if (FFd < 0)
        return false;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (::flock(FFd, LOCK_EX | LOCK_NB) == 0)
            return FHeld = true;
        if (errno == ENOLCK || errno == EOPNOTSUPP)
            return true; // a file system without locks: as before there were any
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (waited.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(20);
    }
}
