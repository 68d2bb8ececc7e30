#pragma once
#include "ftptest/TFtpTestProfile.h"
#include "ftptest/TProxySettings.h"
#include "ftptest/TTestSettings.h"
#include "history/THistory.h"
#include "history/THistoryFile.h"
#include "tcpip/TParameterSet.h"

#include <QObject>

// The data module: created first and destroyed last. It owns the model the
// pages view.
class TdataMain : public QObject {
    Q_OBJECT
public:
    // Runs dataMainCreate; a failure it does not handle is shown in an error box.
    TdataMain();
    // Runs dataMainDestroy.
    ~TdataMain() override;

    void dataMainCreate();
    void dataMainDestroy();
    // true when the platform was refused and the program must end.
    bool Refused() const { return FRefused; }

    TParameterSet Parameters;
    THistory History{Parameters};
    THistoryFile HistoryFile{History};
    TProxySettings Proxy;
    TTestSettings TestSettings;
    TFtpTestProfiles FtpTestProfiles;

private:
    bool FRefused = false;
    // What was loaded at creation is written back at destruction, and only then.
    bool FCreated = false;
};
