#include "dialup/TPerformancePage.h"
#include "dialup/TRAS.h"
#include "platform/TMessageDlg.h"

TPerformancePage::TPerformancePage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tabshtPerformance"));
}

bool TPerformancePage::CheckDialUp(TRAS& ras) {
    if (ras.RasAvailable())
        return true;
    MessageDlg(QStringLiteral("RAS/DUN is not installed on your computer. Therefore\r\nperformance "
                              "statistics will not be available using\r\nZephyn. Automatic data "
                              "collection requires RAS/DUN"),
               TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
    return false;
}
