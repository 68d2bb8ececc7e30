#include "settings/TCalculator.h"
#include "platform/TApplication.h"
#include "platform/TConvert.h"
#include "platform/TMessageDlg.h"
#include "platform/TWidgetHints.h"
#include "settings/TSettingsPage.h"
#include "tcpip/TParameterSet.h"

#include <QPushButton>

TCalculator::TCalculator(TParameterSet& model, TSettingsPage& page, QPushButton* calc,
                         QPushButton* optimal, QPushButton* ppp)
    : QObject(&page), FModel(model), FPage(page), FCalc(calc) {
    SetHint(calc, QStringLiteral("Click this button to calculate optimal settings \rbased in the "
                                 "current MTU setting."));
    SetHint(optimal,
            QStringLiteral("Click this button to calculate optimal settings. \rThese settings "
                           "have been found to work well \rwith a lot of different systems. It is "
                           "recommended \rthat you try these settings before making other "
                           "\rchanges."));
    SetHint(ppp, QStringLiteral("Click this button to calculate optimal settings \ras recommended "
                                "for dial-up PPP connections. \rSettings are in line with the "
                                "recommendations\rof RFC879."));
    connect(calc, &QPushButton::clicked, this, TApplication::Guarded([this] { btnCalcClick(); }));
    connect(optimal, &QPushButton::clicked, this,
            TApplication::Guarded([this] { btnOptimalClick(); }));
    connect(ppp, &QPushButton::clicked, this, TApplication::Guarded([this] { btnPPPClick(); }));
}

void TCalculator::btnCalcClick() {
    if (FModel.ProfileCount <= 0)
        return;
    AdapterProfile* profile = FModel.ActiveEntry();
    if (!profile)
        return;
    if (profile->MTU == QLatin1String("-1")) {
        MessageDlg(QStringLiteral("Cannot calculate settings based on MTU when it\r\nhas been "
                                  "selected for removal"),
                   TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
        FCalc->setEnabled(false);
        return;
    }
    const int mtu = StrToInt(FModel.IPMTUInUse ? profile->IPMTU : profile->MTU);
    FModel.CalculateFromMTU(mtu);
    FPage.cbActiveProfileChange();
}

void TCalculator::SetPresetMTU() {
    if (FModel.ProfileCount <= 0)
        return;
    if (AdapterProfile* profile = FModel.ActiveEntry()) {
        profile->MTU = QStringLiteral("576");
        if (FModel.IPMTUInUse)
            profile->IPMTU = QStringLiteral("576");
    }
}

void TCalculator::btnOptimalClick() {
    SetPresetMTU();
    FModel.MSS = QStringLiteral("536");
    FModel.RWIN = QStringLiteral("2144");
    FModel.TTL = QStringLiteral("0");
    if (FModel.Platform != WinNT)
        FModel.NdiCacheSize = QStringLiteral("16");
    FModel.AutoDiscover = false;
    FModel.BlackHole = false;
    FCalc->setEnabled(true);
    FPage.cbActiveProfileChange();
    FModel.SettingsChanged = true;
}

void TCalculator::btnPPPClick() {
    if (FModel.ProfileCount > 0) {
        SetPresetMTU();
        FCalc->setEnabled(true);
    }
    FModel.MSS = QStringLiteral("536");
    FModel.RWIN = QStringLiteral("4288");
    FModel.TTL = QStringLiteral("32");
    if (FModel.Platform != WinNT)
        FModel.NdiCacheSize = QStringLiteral("0");
    FModel.AutoDiscover = false;
    FModel.BlackHole = false;
    FPage.cbActiveProfileChange();
    FModel.SettingsChanged = true;
}
