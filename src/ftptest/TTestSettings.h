#pragma once
#include "ftp/TSocketOptions.h"

#include <QString>

struct TSettingsInForce;

// The settings a test's connections carry: the Settings page's, unless the
// user measures with this computer's own (a choice kept per user in the
// registry, loaded with the data module and saved when it changes).
struct TTestSettings {
    bool OwnSettings = false;

    void Load();
    void Save() const;
    static QString KeyPath();

    // The page's values as socket options: the MSS, lowered to the active
    // profile's MTU - 40 when that is smaller; RWIN; TTL; path-MTU discovery.
    // A value shown as unset (empty, "0", "-1") leaves Linux's own.
    static TSocketOptions FromPage(const TSettingsInForce& page, const QString& mtu);
};
