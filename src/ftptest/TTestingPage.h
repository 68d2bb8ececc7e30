#pragma once
#include <QWidget>
#include <functional>
#include <memory>

class TFtpTestProfiles;
struct TProxySettings;
struct TFtpProfileFields;
class FtpTestProfile;
namespace Ui {
class TTestingPage;
}

// Where a test run stands; the run owns it (TTestRun.h).
enum class TTestRunState : int;

// The Testing page: the test profiles, the proxy settings and the transfer
// progress. The profiles and proxy settings are the data module's; the page
// shows them and writes every edit back at once.
class TTestingPage : public QWidget {
    Q_OBJECT
public:
    TTestingPage(TFtpTestProfiles& profiles, TProxySettings& proxy, QWidget* parent = nullptr);
    ~TTestingPage() override;

    // What a test run shows on the page.
    void ShowActivity(const QString& text);
    void ShowThroughput(const QString& text);
    void ShowRemaining(const QString& text);
    // The bar: its timing starts, its range is the expected size, and each
    // position gives the seconds it predicts are left (-1: none yet).
    void StartTiming();
    void SetExpectedSize(int size);
    int ExpectedSize() const;
    int ShowProgress(int position);
    // The figures back to zero and the activity "inactive".
    void ResetFigures();
    // The Start button's caption, whether it can be pressed, and whether the
    // profile controls can be used.
    void SetRunState(TTestRunState state);
    // Start (or Abort) pressed.
    std::function<void()> OnStartClick;
    // The line on what the test's connections carried and did (kept until the next Start).
    void ShowReadout(const QString& text);
    QString ReadoutText() const;
    // The switch "measure with this computer's own settings".
    bool OwnSettingsChecked() const;
    void ShowOwnSettings(bool checked);

    // What Start checks, and where the warnings put the focus.
    int SelectedProfileIndex() const;
    int ProfileCount() const;
    QString ProxyHostText() const;
    int ProxyPortValue() const;
    bool ProfileFieldsFilled() const;
    QString FileNameText() const;
    void FocusProfiles();
    void FocusProxyPort();
    void FocusFileName();

    // The start-up steps: the proxy settings, then the profiles.
    void ShowProxySettings();
    void ShowProfiles();
    // The selected profile, or nullptr.
    const FtpTestProfile* SelectedProfile() const;

    void cbFtpHostChange();
    void btnFtpAddClick();
    void btnFtpEditClick();
    void btnFtpDeleteClick();
    void seProxyPortChange();

signals:
    // The user turned the switch.
    void OwnSettingsToggled(bool checked);

protected:
    void changeEvent(QEvent* event) override;

private:
    void FixFigureSizes();
    void FillHosts();
    // The editor's fields into a profile, through its slots' limits.
    static void StoreFields(const TFtpProfileFields& typed, FtpTestProfile& p);
    // Writes the profiles and fills the host list from the file again.
    void SaveProfilesAndShowThem();
    void ShowProfile(int index);
    void ClearProfileBoxes();
    void SetProfileControlsEnabled(bool enabled);

    TFtpTestProfiles& FProfiles;
    TProxySettings& FProxy;
    std::unique_ptr<Ui::TTestingPage> ui;
};
