#include "platform/TShell.h"

#include <QDesktopServices>
#include <QUrl>

namespace {
std::function<void(const QString&)> Opener;
}

void TShell::OpenUrl(const QString& url) {
    if (Opener)
        Opener(url);
    else
        QDesktopServices::openUrl(QUrl(url));
}

void TShell::SetUrlOpener(std::function<void(const QString&)> opener) {
    Opener = std::move(opener);
}
