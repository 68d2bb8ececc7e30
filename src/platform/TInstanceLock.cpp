#include "platform/TInstanceLock.h"
#include "platform/TAtomicFile.h"
#include "platform/TDataDirectory.h"
#include "platform/TPlainFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <unistd.h>

TInstanceLock::TInstanceLock(const QString& dataDirectory)
    : FFileName(dataDirectory + QStringLiteral("/zephyn.lock")) {}

bool TInstanceLock::Acquire() {
    const QString folder = QFileInfo(FFileName).absolutePath();
    const int made = TDataDirectory::MakePrivateFolder(folder);
    // Something other than a lock file at its name is never taken for a
    // running copy, nor followed.
    FDetail = NotPlainFileText(FFileName);
    if (!FDetail.isEmpty()) {
        FResult = TResult::NotALockFile;
        return false;
    }
    if (made != 0 || ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0) {
        FDetail = FileProblemText(made != 0 ? made : errno);
        FResult = TResult::FolderNotWritable;
        return false;
    }
    FLock = std::make_unique<QLockFile>(FFileName);
    // Only a holder that is gone makes a lock stale, however old it is: a
    // copy may run for days. (The lock file is made exclusively, so a link
    // standing at its name is never followed.)
    FLock->setStaleLockTime(0);
    if (FLock->tryLock(0)) {
        FResult = TResult::Acquired;
        return true;
    }
    if (FLock->error() == QLockFile::LockFailedError) {
        FResult = TResult::HeldByAnother;
    } else {
        // A read-only disk lets access() pass for root but not the write.
        FResult = TResult::FolderNotWritable;
        FDetail = FileProblemText(FLock->error() == QLockFile::PermissionError ? EACCES : EIO);
    }
    return false;
}

QString TInstanceLock::ProblemText() const {
    const QString folder = QFileInfo(FFileName).absolutePath();
    switch (FResult) {
    case TResult::Acquired:
        break;
    case TResult::HeldByAnother:
        return QStringLiteral("Zephyn is already running with the data folder\r\n%1\r\n\r\n"
                              "Switch to that window, or end it before starting another.")
            .arg(folder);
    case TResult::FolderNotWritable:
        return QStringLiteral("Zephyn cannot write into its data folder\r\n%1\r\n(%2).\r\n\r\n"
                              "Make the folder writable, or choose another one with ZEPHYN_HOME.")
            .arg(folder, FDetail);
    case TResult::NotALockFile:
        return QStringLiteral("Zephyn cannot start: its lock file\r\n%1\r\nis %2, not a lock "
                              "file. Remove it, then start Zephyn again.")
            .arg(FFileName, FDetail);
    }
    return QString();
}
