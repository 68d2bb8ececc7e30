#pragma once
#include <QWidget>
#include <memory>

class TFtpTestProfiles;
struct TProxySettings;
class FtpTestProfile;
class TRemainingTimeBar;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QToolButton;
namespace Ui {
class TTestingPage;
}

// The Testing page: the test profiles, the proxy settings and the transfer
// progress. The profiles and proxy settings are the data module's; the page
// shows them and writes every edit back at once.
class TTestingPage : public QWidget {
    Q_OBJECT
public:
    TTestingPage(TFtpTestProfiles& profiles, TProxySettings& proxy, QWidget* parent = nullptr);
    ~TTestingPage() override;

    QComboBox* cbFtpHost() const;
    QToolButton* btnFtpAdd() const;
    QToolButton* btnFtpEdit() const;
    QToolButton* btnFtpDelete() const;
    QLineEdit* ebftpPath() const;
    QLineEdit* ebftpFilename() const;
    QLineEdit* ebftpLoginName() const;
    QLineEdit* ebftpPassword() const;
    QLineEdit* ebProxy() const;
    QSpinBox* seProxyPort() const;
    QComboBox* cbProxyType() const;
    QLineEdit* ebProxyUsername() const;
    QLineEdit* ebProxyPassword() const;
    TRemainingTimeBar* pbFtp() const;
    QPushButton* btnStart() const;
    QLabel* lblRemMins() const;
    QLabel* lblActivity() const;
    QLabel* lblAvgXfer() const;

    // The start-up steps: the proxy settings, then the profiles.
    void ShowProxySettings();
    void ShowProfiles();
    // The selected profile, or nullptr.
    const FtpTestProfile* SelectedProfile() const;
    void SetProfileControlsEnabled(bool enabled);

    void cbFtpHostChange();
    void btnFtpAddClick();
    void btnFtpEditClick();
    void btnFtpDeleteClick();
    void seProxyPortChange();

private:
    void FillHosts();
    void ShowProfile(int index);
    void ClearProfileBoxes();

    TFtpTestProfiles& FProfiles;
    TProxySettings& FProxy;
    std::unique_ptr<Ui::TTestingPage> ui;
};
