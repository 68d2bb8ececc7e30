#include "platform/TDownloadFile.h"
#include "platform/TAtomicFile.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool TDownloadFile::Open(const QString& path) {
    Close();
    FPath = path;
    FError = 0;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    const bool exists = ::lstat(name.constData(), &st) == 0;
    FFd = ::open(name.constData(),
                 O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (exists ? 0 : O_CREAT | O_EXCL),
                 0644);
    if (FFd < 0) {
        FError = errno;
    } else if (::fstat(FFd, &st) != 0 || !S_ISREG(st.st_mode)) {
        FError = S_ISDIR(st.st_mode) ? EISDIR : -1;
        Close();
    }
    FCreated = FFd >= 0 && !exists;
    return FFd >= 0;
}

qint64 TDownloadFile::Size() const {
    struct stat st {};
    return FFd >= 0 && ::fstat(FFd, &st) == 0 ? qint64(st.st_size) : 0;
}

bool TDownloadFile::Truncate() {
    if (::ftruncate(FFd, 0) != 0) {
        FError = errno;
        return false;
    }
    ::lseek(FFd, 0, SEEK_SET);
    return true;
}

void TDownloadFile::ResumeAt(qint64 offset) {
    ::lseek(FFd, offset, SEEK_SET);
}

bool TDownloadFile::Write(const char* data, qint64 length) {
    errno = 0;
    for (qint64 written = 0; written < length;) {
        const ssize_t w = ::write(FFd, data + written, static_cast<size_t>(length - written));
        if (w <= 0) {
            // A write of nothing says no more than that there is no room.
            FError = errno ? errno : ENOSPC;
            return false;
        }
        written += w;
    }
    return true;
}

QString TDownloadFile::ErrorText() const {
    return FError > 0 ? FileErrorMessage(FPath, FError)
                      : FPath + QStringLiteral(": it is not a plain file");
}

void TDownloadFile::Close() {
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
}

void TDownloadFile::Remove(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) == 0 && S_ISREG(st.st_mode))
        ::unlink(name.constData());
}
