#pragma once
#include <QString>
#include <functional>

// Opening a web address in the user's browser, without waiting for it.
namespace TShell {
// false when no browser could be started for it.
bool OpenUrl(const QString& url);
// Tests replace the opener; nullptr restores the desktop's.
void SetUrlOpener(std::function<bool(const QString&)> opener);
} // namespace TShell
