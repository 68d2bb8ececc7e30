#include "ftptest/TTestSettings.h"
#include "platform/TExceptions.h"
#include "platform/TRegistry.h"
#include "tcpip/TSettingsInForce.h"

#include <algorithm>

namespace {

const QString OwnSettingsValue = QStringLiteral("OwnSettings");

// A positive decimal value, or 0 for anything the page shows as unset.
int SetValue(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok && value > 0 ? value : 0;
}

} // namespace

QString TTestSettings::KeyPath() {
    return QStringLiteral("Software\\Brindlecove\\Zephyn\\Testing");
}

void TTestSettings::Load() {
    TRegistry reg(THKey::HKEY_CURRENT_USER);
    if (!reg.KeyExists(KeyPath()) || !reg.OpenKey(KeyPath(), false))
        return;
    try {
        OwnSettings = reg.ReadInteger(OwnSettingsValue) != 0;
    } catch (const ERegistryException&) {
        OwnSettings = false; // the default: the page's settings
    }
    reg.CloseKey();
}

void TTestSettings::Save() const {
    TRegistry reg(THKey::HKEY_CURRENT_USER);
    if (!reg.OpenKey(KeyPath(), true))
        return;
    reg.WriteInteger(OwnSettingsValue, OwnSettings ? 1 : 0);
    reg.CloseKey();
}

TSocketOptions TTestSettings::FromPage(const TSettingsInForce& page, const QString& mtu) {
    TSocketOptions o;
    const int mss = std::max(page.MSS, 0);
    const int mtuValue = SetValue(mtu);
    // An MTU of 40 or less leaves no room for a segment: asked as 1 byte, the
    // start check tells that Linux does not take it.
    const int fromMtu = mtuValue > 0 ? std::max(mtuValue - 40, 1) : 0;
    o.SegmentSize = mss > 0 && fromMtu > 0 ? std::min(mss, fromMtu) : std::max(mss, fromMtu);
    o.ReceiveWindow = SetValue(page.RWIN);
    o.TimeToLive = SetValue(page.TTL);
    o.PathMtu = page.AutoDiscover ? TSocketOptions::TPathMtu::Discover
                                  : TSocketOptions::TPathMtu::DontDiscover;
    return o;
}
