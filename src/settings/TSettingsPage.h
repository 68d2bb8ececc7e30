#pragma once
#include <QWidget>
#include <memory>

class TParameterSet;
namespace Ui {
class TSettingsPage;
}
class QComboBox;
class QLineEdit;

// The Settings page: a view of the parameter set's active profile and global values.
class TSettingsPage : public QWidget {
    Q_OBJECT
public:
    explicit TSettingsPage(TParameterSet& model, QWidget* parent = nullptr);
    ~TSettingsPage() override;

    QComboBox* cbActiveProfile() const;
    QLineEdit* ebIPAddress() const;

    // Start-up state of the profile controls, before the first display.
    void PrepareStartupState();
    // The display of the model for the active profile.
    void cbActiveProfileChange();

private:
    void SyncProfileItems();
    void SyncActiveProfile(int index);

    TParameterSet& FModel;
    std::unique_ptr<Ui::TSettingsPage> ui;
};
