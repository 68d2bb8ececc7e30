#pragma once
#include "ftp/TMFtp.h"

#include <QString>
#include <QStringList>

// How a test reaches its server: kept per user in the registry, loaded when
// the data module is created and saved when it is destroyed.
struct TProxySettings {
    QString ProxyHost;
    int ProxyPort = 0;
    QString ProxyType; // "", "Open", "User", "UserSite", "Host", "HostUser"
    QString ProxyUsername;
    QString ProxyPassword;

    void Load();
    void Save();

    // The page's six entries, their keywords and the component's kinds.
    static QStringList TypeEntries();
    static int TypeIndex(const QString& keyword); // 0 for empty or unknown
    static QString TypeKeyword(int index);        // empty for 0 or no selection
    static TMFtpProxyType ComponentType(const QString& keyword);
    static QString KeyPath();
};
