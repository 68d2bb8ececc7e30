#pragma once
#include <QString>

// What the Settings page shows, as a new history record takes it.
struct TSettingsInForce {
    QString RWIN;
    int MSS = 0;
    QString TTL;
    QString NdiCache;
    bool AutoDiscover = false;
    bool BlackHole = false;
};

// The page that shows the settings in force, as the history reaches it: a new
// record reads them, and Use Settings puts a record's back on the page.
class TSettingsInForceView {
public:
    virtual TSettingsInForce SettingsInForce() const = 0;
    // Puts a record's values on the page: its profile (the key's last part),
    // the MTU shown for it and the global values. False, after the warning,
    // when the profile no longer exists on this system.
    virtual bool UseSettings(const QString& profile, const QString& mtu,
                             const TSettingsInForce& values) = 0;

protected:
    ~TSettingsInForceView() = default;
};
