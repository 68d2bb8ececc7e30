#include "platform/TShell.h"

#include <QDesktopServices>
#include <QUrl>

namespace {
std::function<bool(const QString&)> Opener;
}

bool TShell::OpenUrl(const QString& url) {
    return Opener ? Opener(url) : QDesktopServices::openUrl(QUrl(url));
}

void TShell::SetUrlOpener(std::function<bool(const QString&)> opener) {
    Opener = std::move(opener);
}
