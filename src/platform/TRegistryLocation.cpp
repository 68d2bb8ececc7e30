#include "platform/TRegistryLocation.h"
#include "platform/TPlainFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The entry of a folder whose name matches without case, or empty.
QString Entry(const QString& folder, const QString& name, bool wantFolder) {
    const QDir dir(folder);
    const auto filters = (wantFolder ? QDir::Dirs : QDir::Files) | QDir::Hidden | QDir::System |
                         QDir::NoDotAndDotDot;
    for (const QFileInfo& info : dir.entryInfoList(filters))
        if (info.fileName().compare(name, Qt::CaseInsensitive) == 0)
            return info.absoluteFilePath();
    return QString();
}

bool LooksLikeRegFile(const QString& path) {
    if (path.endsWith(QStringLiteral(".reg"), Qt::CaseInsensitive))
        return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(80);
    const QByteArray v5 = QByteArrayLiteral("W\0i\0n\0d\0o\0w\0s\0 \0R\0e\0g\0i\0s\0t\0r\0y");
    return head.startsWith("REGEDIT4") || head.startsWith("\xEF\xBB\xBFREGEDIT4") ||
           head.startsWith("Windows Registry Editor") || head.mid(2).startsWith(v5);
}

} // namespace

std::optional<TRegistryLocation> TRegistryLocation::Find(const QString& path, QString& error) {
    const QFileInfo info(path);
    TRegistryLocation location;
    location.Path = path;
    if (!info.exists()) {
        error = QStringLiteral("%1: no such file or folder").arg(path);
        return std::nullopt;
    }
    if (!info.isFile() && !info.isDir()) {
        struct stat st {};
        ::stat(QFile::encodeName(path).constData(), &st);
        error = QStringLiteral("%1: it is %2, not a file or folder").arg(path, EntryKindText(st.st_mode));
        return std::nullopt;
    }
    if (info.isFile()) {
        if (LooksLikeRegFile(path)) {
            location.Kind = TKind::RegFile;
            location.File = info.absoluteFilePath();
            return location;
        }
        error = QStringLiteral("%1: not a registry export (.reg). Name the Windows folder "
                               "instead, or its system32/config folder")
                    .arg(path);
        return std::nullopt;
    }
    // Windows NT: the folder itself (system32/config) or WINNT/system32/config.
    QStringList folders{info.absoluteFilePath()};
    const QString system32 = Entry(info.absoluteFilePath(), QStringLiteral("system32"), true);
    if (!system32.isEmpty()) {
        const QString config = Entry(system32, QStringLiteral("config"), true);
        if (!config.isEmpty())
            folders << config;
    }
    for (const QString& folder : folders) {
        const QString system = Entry(folder, QStringLiteral("SYSTEM"), false);
        const QString software = Entry(folder, QStringLiteral("SOFTWARE"), false);
        if (!system.isEmpty() && !software.isEmpty()) {
            location.Kind = TKind::NtFolder;
            location.File = system;
            location.Software = software;
            return location;
        }
    }
    // Windows 95/98/Me: SYSTEM.DAT in the Windows folder.
    const QString systemDat = Entry(info.absoluteFilePath(), QStringLiteral("SYSTEM.DAT"), false);
    if (!systemDat.isEmpty()) {
        location.Kind = TKind::Win9xFolder;
        location.File = systemDat;
        return location;
    }
    error = QStringLiteral("%1: no Windows registry found there (looked for the SYSTEM and "
                           "SOFTWARE hives of Windows NT, in the folder itself and in "
                           "system32/config, and for SYSTEM.DAT of Windows 95/98/Me)")
                .arg(path);
    return std::nullopt;
}

QString TRegistryLocation::Description() const {
    switch (Kind) {
    case TKind::NtFolder:
        return QStringLiteral("Windows NT hives in %1").arg(QFileInfo(File).absolutePath());
    case TKind::Win9xFolder:
        return QStringLiteral("%1 (read only; Save writes ZEPHYN.REG beside it)").arg(File);
    case TKind::RegFile:
    case TKind::DataDirectory:
        break;
    }
    return File;
}
