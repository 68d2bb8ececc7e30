#include "settings/TSettingsPage.h"
#include "platform/TApplication.h"
#include "platform/TMessageDlg.h"
#include "tcpip/TParameterSet.h"
#include "ui_TSettingsPage.h"

TSettingsPage::TSettingsPage(TParameterSet& model, QWidget* parent)
    : QWidget(parent), FModel(model), ui(std::make_unique<Ui::TSettingsPage>()) {
    ui->setupUi(this);
    const QString profileHint = QStringLiteral(
        "Available Dialup Networking (DUN) 'profiles' found to be\r\nconfigured on your system "
        "for TCP/IP.");
    ui->cbActiveProfile->setToolTip(DisplayText(profileHint));
    ui->cbActiveProfile->setAccessibleDescription(DisplayText(profileHint));
    ui->ebIPAddress->setAccessibleDescription(
        QStringLiteral("The address of the displayed profile"));

    SyncProfileItems();
    connect(&FModel, &TParameterSet::ProfileItemsChanged, this, &TSettingsPage::SyncProfileItems);
    connect(&FModel, &TParameterSet::ActiveProfileChanged, this, &TSettingsPage::SyncActiveProfile);
    // Only the user's choice runs the handler; selecting from code runs none.
    connect(ui->cbActiveProfile, &QComboBox::activated, this, [this](int index) {
        TApplication::Guard([&] {
            FModel.SetActiveProfile(index);
            cbActiveProfileChange();
        });
    });
}

TSettingsPage::~TSettingsPage() = default;

QComboBox* TSettingsPage::cbActiveProfile() const {
    return ui->cbActiveProfile;
}
QLineEdit* TSettingsPage::ebIPAddress() const {
    return ui->ebIPAddress;
}

void TSettingsPage::SyncProfileItems() {
    QSignalBlocker block(ui->cbActiveProfile);
    ui->cbActiveProfile->clear();
    ui->cbActiveProfile->addItems(FModel.ProfileItems());
    ui->cbActiveProfile->setCurrentIndex(FModel.ActiveProfile());
}

void TSettingsPage::SyncActiveProfile(int index) {
    QSignalBlocker block(ui->cbActiveProfile);
    ui->cbActiveProfile->setCurrentIndex(index);
}

void TSettingsPage::PrepareStartupState() {
    if (FModel.ProfileCount == 0) {
        for (QWidget* w :
             {static_cast<QWidget*>(ui->GroupBox1), static_cast<QWidget*>(ui->Label1),
              static_cast<QWidget*>(ui->Label2), static_cast<QWidget*>(ui->Label3),
              static_cast<QWidget*>(ui->cbActiveProfile), static_cast<QWidget*>(ui->ebIPAddress)})
            w->setEnabled(false);
    }
}

void TSettingsPage::cbActiveProfileChange() {
    if (FModel.ProfileCount > 0) {
        int index = FModel.ActiveProfile();
        if (index >= 0 && index < MaxProfiles && FModel.Profiles[index].KeyName.isEmpty() &&
            index + 1 < FModel.ProfileItems().size()) {
            ++index;
            FModel.SetActiveProfile(index);
        }
        if (index < 0 || index >= MaxProfiles)
            return;
        ui->ebIPAddress->setText(FModel.Profiles[index].IPAddress);
    }
}
