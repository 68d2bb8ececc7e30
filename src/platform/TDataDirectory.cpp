#include "platform/TDataDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

QString TDataDirectory::Path() {
    const QString home = qEnvironmentVariable("ZEPHYN_HOME");
    if (!home.isEmpty()) {
        MakePrivateFolder(home);
        return QDir(home).absolutePath();
    }
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (!exeDir.isEmpty() && ::access(QFile::encodeName(exeDir).constData(), W_OK) == 0)
        return exeDir;
    QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (xdg.isEmpty())
        xdg = QDir::homePath() + QStringLiteral("/.local/share");
    const QString dir = xdg + QStringLiteral("/zephyn");
    MakePrivateFolder(dir);
    return dir;
}

QString TDataDirectory::FilePath(const QString& name) {
    return Path() + u'/' + name;
}

int TDataDirectory::MakePrivateFolder(const QString& path) {
    if (QFileInfo(path).isDir())
        return 0;
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0)
        return errno == EEXIST && QFileInfo(path).isDir() ? 0 : errno;
    ::chmod(name.constData(), 0700); // exactly, whatever the umask
    return 0;
}
