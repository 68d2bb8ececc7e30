#include "app/TdataMain.h"
#include "platform/TApplication.h"
#include "platform/TAtomicFile.h"
#include "platform/TDataDirectory.h"
#include "platform/TExceptions.h"
#include "platform/TMessageDlg.h"
#include "platform/TWindowsVersion.h"

TdataMain::TdataMain() {
    setObjectName(QStringLiteral("dataMain"));
    TApplication::Guard([this] { dataMainCreate(); });
}

TdataMain::~TdataMain() {
    TApplication::Guard([this] { dataMainDestroy(); });
}

void TdataMain::dataMainCreate() {
    // What saves interrupted by a crash left behind goes first.
    TAtomicFile::RemoveLeftovers(TDataDirectory::Path());
    TAtomicFile::RemoveLeftovers(TDataDirectory::FilePath(QStringLiteral("registry")));
    Parameters.IPMTUInUse = false;
    TPlatformId platformId = VER_PLATFORM_WIN32_WINDOWS;
    if (TWindowsVersion::GetVersionEx(platformId)) {
        if (platformId == VER_PLATFORM_WIN32s) {
            MessageDlg(
                QStringLiteral("Sorry, this application requires Win95/98 or NT 4.0 to run."),
                TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
            FRefused = true;
            if (auto* app = TApplication::Instance())
                app->Terminate();
            return;
        }
        Parameters.Platform = platformId == VER_PLATFORM_WIN32_NT ? WinNT : Win95;
    }
    if (Parameters.Platform == Win95) {
        TRegistry reg(THKey::HKEY_LOCAL_MACHINE);
        if (reg.OpenKey(QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion"), false)) {
            const QString version = reg.ReadString(QStringLiteral("Version"));
            reg.CloseKey();
            if (version.contains(QLatin1String("98")))
                Parameters.Platform = Win98;
        }
    }
    History.Clear();
    HistoryFile.LoadHistory();
    TApplication::Guard([this] { Proxy.Load(); });
    TApplication::Guard([this] { TestSettings.Load(); });
    FCreated = true;
}

void TdataMain::dataMainDestroy() {
    if (!FCreated)
        return;
    HistoryFile.SaveHistory();
    FtpTestProfiles.Items.clear();
    Parameters.Registry.CloseKey();
    Proxy.Save();
}
