#pragma once
#include <QString>
#include <functional>

// Opening a web address in the user's browser, without waiting for it.
namespace TShell {
void OpenUrl(const QString& url);
// Tests replace the opener; nullptr restores the desktop's.
void SetUrlOpener(std::function<void(const QString&)> opener);
} // namespace TShell
