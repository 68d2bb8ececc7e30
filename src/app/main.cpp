#include "app/TCommandLine.h"
#include "app/TdataMain.h"
#include "app/TfrmMain.h"
#include "platform/TApplication.h"
#include "platform/TDataDirectory.h"
#include "platform/TExceptions.h"
#include "platform/TInstanceLock.h"
#include "platform/TMessageDlg.h"
#include "platform/TRegistryStore.h"

#include <QStringList>

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("zephyn"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZEPHYN_VERSION));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const TCommandLine commandLine(arguments);
    if (const auto status = commandLine.ExitStatus())
        return *status;
    TRegistryStore::SetMachineLocation(commandLine.Registry());

    TApplication app(argc, argv);
    app.SetTitle(QStringLiteral("Zephyn for Windows"));
    app.HelpFile = QStringLiteral("Zephyn.hlp");

    TInstanceLock lock(TDataDirectory::Path());
    if (!lock.Acquire()) {
        const bool running = lock.Result() == TInstanceLock::TResult::HeldByAnother;
        MessageDlg(lock.ProblemText(), running ? TMsgDlgType::mtInformation : TMsgDlgType::mtError,
                   TMsgDlgButtons::mbOK);
        return 1;
    }

    // A hive that cannot be read stops the program before anything uses it.
    try {
        TRegistryStore::Instance().CheckHives();
    } catch (const ERegistryException& e) {
        MessageDlg(e.Message() + QStringLiteral("\r\n\r\nZephyn has not changed the file and "
                                                "cannot start until it is mended or removed."),
                   TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        return 1;
    }
    const QString warning =
        TRegistryStore::Instance().Hive(THKey::HKEY_LOCAL_MACHINE).StartWarning();
    if (!warning.isEmpty())
        MessageDlg(warning, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);

    TdataMain dataMain;
    if (dataMain.Refused())
        return 0;
    {
        TfrmMain frmMain(dataMain);
        frmMain.show();
        if (!app.Terminated())
            app.exec();
    }
    return 0;
}
