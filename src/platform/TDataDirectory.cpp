#include "platform/TDataDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

QString TDataDirectory::Path() {
    return PathFor(qEnvironmentVariable("ZEPHYN_HOME"), QCoreApplication::applicationDirPath());
}

QString TDataDirectory::PathFor(const QString& home, const QString& executableFolder) {
    if (!home.isEmpty()) {
        MakePrivateFolder(home);
        return QDir(home).absolutePath();
    }
    // A build tree or a portable copy: a file named "portable" beside the
    // executable. An installed copy has none.
    if (!executableFolder.isEmpty() &&
        QFileInfo::exists(executableFolder + QStringLiteral("/portable")))
        return executableFolder;
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
