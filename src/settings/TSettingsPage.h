#pragma once
#include "tcpip/TSettingsInForce.h"

#include <QWidget>
#include <initializer_list>
#include <memory>

class TParameterSet;
struct AdapterProfile;
namespace Ui {
class TSettingsPage;
}
class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;

// The Settings page: a view of the parameter set's active profile and global
// values. Every edit goes into the model at once; the page keeps no values.
class TSettingsPage : public QWidget, public TSettingsInForceView {
    Q_OBJECT
public:
    explicit TSettingsPage(TParameterSet& model, QWidget* parent = nullptr);
    ~TSettingsPage() override;

    // The Calculate button lives in the main window's column; the page
    // enables it by the MTU shown.
    void SetCalcButton(QPushButton* button) { FCalc = button; }
    // Calculate works from the MTU shown: not while the MTU is to be removed.
    bool CalcAllowed() const;
    // The first stop for the keyboard: the profile selector, when it can be used.
    void FocusActiveProfile();

    // Start-up state of the NDI cache and profile controls, before the first display.
    void PrepareStartupState();
    // The display of the model for the active profile.
    void cbActiveProfileChange();

    TSettingsInForce SettingsInForce() const override;
    bool UseSettings(const QString& profile, const QString& mtu,
                     const TSettingsInForce& values) override;

    // Takes a custom MTU the user is still typing, as leaving the edit would.
    void CommitPendingEdit();

    void radioRemoveMTUClick();
    void radioFixedMTUClick(const QString& mtu);
    void radioCustomMTUClick();
    void ebCustomMTUEnter();
    void ebCustomMTUExit();
    void tbRWINChange();
    void ebMSSChange();
    void cbTTLChange();
    void cbAutoDiscoverClick();
    void cbBlackHoleClick();
    void cbNdiCacheChange();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ShowRegistrySource();
    void SyncProfileItems();
    void SyncActiveProfile(int index);
    void SetupHints();
    void UpdateMinimumHeight();
    void ConnectHandlers();
    // The program's own changes of controls whose change runs a handler.
    void Check(QAbstractButton* button, bool checked);
    void SetSpinValue(QSpinBox* spin, int value);
    void SetTrackPosition(QSlider* slider, int position);
    void SetCalcEnabled(bool enabled);
    // The button of a fixed MTU (or of the unset one, -1); nullptr for a custom MTU.
    QRadioButton* MTURadio(int mtu) const;
    // The index of value among a list's items, or -1.
    static int ListItem(int value, std::initializer_list<int> items);
    // The active profile's MTU (and IPMTU when in use) from the MTU controls.
    void StoreMTU(AdapterProfile& profile, const QString& mtu, const QString& ipmtu);

    TParameterSet& FModel;
    std::unique_ptr<Ui::TSettingsPage> ui;
    QPushButton* FCalc = nullptr;
};
