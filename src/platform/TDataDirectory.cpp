#include "platform/TDataDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <unistd.h>

QString TDataDirectory::Path() {
    const QString home = qEnvironmentVariable("ZEPHYN_HOME");
    if (!home.isEmpty()) {
        QDir().mkpath(home);
        return QDir(home).absolutePath();
    }
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (!exeDir.isEmpty() && ::access(QFile::encodeName(exeDir).constData(), W_OK) == 0)
        return exeDir;
    QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (xdg.isEmpty())
        xdg = QDir::homePath() + QStringLiteral("/.local/share");
    const QString dir = xdg + QStringLiteral("/zephyn");
    QDir().mkpath(dir);
    return dir;
}

QString TDataDirectory::FilePath(const QString& name) {
    return Path() + u'/' + name;
}
