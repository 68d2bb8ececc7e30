#include "platform/TInstanceLock.h"
#include "platform/TDataDirectory.h"

#include <QFileInfo>

TInstanceLock::TInstanceLock(const QString& dataDirectory)
    : FFileName(dataDirectory + QStringLiteral("/zephyn.lock")) {}

bool TInstanceLock::Acquire() {
    TDataDirectory::MakePrivateFolder(QFileInfo(FFileName).absolutePath());
    FLock = std::make_unique<QLockFile>(FFileName);
    // Only a holder that is gone makes a lock stale, however old it is: a
    // copy may run for days. (The lock file is made exclusively, so a link
    // standing at its name is never followed.)
    FLock->setStaleLockTime(0);
    return FLock->tryLock(0);
}
