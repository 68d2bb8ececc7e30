#include "ftptest/TProxySettings.h"
#include "platform/TExceptions.h"
#include "platform/TRegistry.h"

namespace {

const char* const Keywords[] = {"", "Open", "User", "UserSite", "Host", "HostUser"};
const TMFtpProxyType Kinds[] = {proxyNone,     proxyOpen, proxySite,
                                proxyUserSite, proxyHost, proxyHostUser};

QString ReadText(TRegistry& reg, const QString& name) {
    try {
        return reg.ReadString(name);
    } catch (const ERegistryException&) {
        return QString();
    }
}

} // namespace

QString TProxySettings::KeyPath() {
    return QStringLiteral("Software\\Brindlecove\\Zephyn\\Proxy");
}

QStringList TProxySettings::TypeEntries() {
    return {QStringLiteral("Standard passthru proxy - no special login required"),
            QStringLiteral("OPEN ftp server name"),
            QStringLiteral("USER login user name"),
            QStringLiteral("USER login user name @ ftp server name"),
            QStringLiteral("HOST ftp server name"),
            QStringLiteral("HOST ftp server name ! login user name")};
}

int TProxySettings::TypeIndex(const QString& keyword) {
    for (int i = 1; i < 6; ++i)
        if (keyword == QLatin1String(Keywords[i]))
            return i;
    return 0;
}

QString TProxySettings::TypeKeyword(int index) {
    return index > 0 && index < 6 ? QString::fromLatin1(Keywords[index]) : QString();
}

TMFtpProxyType TProxySettings::ComponentType(const QString& keyword) {
    return Kinds[TypeIndex(keyword)];
}

void TProxySettings::Load() {
    TRegistry reg(THKey::HKEY_CURRENT_USER);
    if (!reg.KeyExists(KeyPath()) || !reg.OpenKey(KeyPath(), false))
        return;
    // Each value stands alone: one that cannot be read gives empty or 0.
    ProxyHost = ReadText(reg, QStringLiteral("Host"));
    try {
        ProxyPort = reg.ReadInteger(QStringLiteral("Port"));
    } catch (const ERegistryException&) {
        ProxyPort = 0;
    }
    ProxyType = ReadText(reg, QStringLiteral("Type"));
    ProxyUsername = ReadText(reg, QStringLiteral("Username"));
    ProxyPassword = ReadText(reg, QStringLiteral("Password"));
    reg.CloseKey();
}

void TProxySettings::Save() {
    if (ProxyHost.isEmpty()) {
        ProxyPort = 0;
        ProxyType.clear();
        ProxyUsername.clear();
        ProxyPassword.clear();
    }
    TRegistry reg(THKey::HKEY_CURRENT_USER);
    if (!reg.OpenKey(KeyPath(), true))
        return;
    reg.WriteString(QStringLiteral("Host"), ProxyHost);
    reg.WriteInteger(QStringLiteral("Port"), ProxyPort);
    reg.WriteString(QStringLiteral("Type"), ProxyType);
    reg.WriteString(QStringLiteral("Username"), ProxyUsername);
    reg.WriteString(QStringLiteral("Password"), ProxyPassword);
    reg.CloseKey();
}
