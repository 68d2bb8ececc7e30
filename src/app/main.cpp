#include "app/TdataMain.h"
#include "app/TfrmMain.h"
#include "platform/TApplication.h"
#include "platform/TExceptions.h"
#include "platform/TMessageDlg.h"
#include "platform/TRegistryStore.h"

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    app.SetTitle(QStringLiteral("Zephyn for Windows"));
    app.HelpFile = QStringLiteral("Zephyn.hlp");

    // A hive that cannot be read stops the program before anything uses it.
    try {
        TRegistryStore::Instance().CheckHives();
    } catch (const ERegistryException& e) {
        MessageDlg(e.Message() + QStringLiteral("\r\n\r\nZephyn has not changed the file and "
                                                "cannot start until it is mended or removed."),
                   TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        return 1;
    }

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
