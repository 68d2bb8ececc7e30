#pragma once
#include <QObject>

class TParameterSet;
class TSettingsPage;
class QPushButton;

// The Calculate, Optimal and PPP buttons: recommended values put into the
// model and shown on the Settings page. Nothing reaches the registry here.
class TCalculator : public QObject {
    Q_OBJECT
public:
    TCalculator(TParameterSet& model, TSettingsPage& page, QPushButton* calc,
                QPushButton* optimal, QPushButton* ppp);

    void btnCalcClick();
    void btnOptimalClick();
    void btnPPPClick();

private:
    // Puts a preset's MTU into the active profile, when there is one.
    void SetPresetMTU();

    TParameterSet& FModel;
    TSettingsPage& FPage;
    QPushButton* FCalc;
};
