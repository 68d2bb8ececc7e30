#include "platform/TWindowsVersion.h"
#include "platform/TRegistry.h"

#include <QString>

bool TWindowsVersion::GetVersionEx(TPlatformId& platformId) {
    const QString forced = qEnvironmentVariable("ZEPHYN_PLATFORM").trimmed().toLower();
    if (!forced.isEmpty()) {
        if (forced == QLatin1String("win32s"))
            platformId = VER_PLATFORM_WIN32s;
        else if (forced == QLatin1String("win95"))
            platformId = VER_PLATFORM_WIN32_WINDOWS;
        else if (forced == QLatin1String("nt"))
            platformId = VER_PLATFORM_WIN32_NT;
        else
            return false;
        return true;
    }
    TRegistry registry(THKey::HKEY_LOCAL_MACHINE);
    try {
        platformId =
            registry.KeyExists(QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"))
                ? VER_PLATFORM_WIN32_NT
                : VER_PLATFORM_WIN32_WINDOWS;
    } catch (const std::exception&) {
        return false;
    }
    return true;
}
