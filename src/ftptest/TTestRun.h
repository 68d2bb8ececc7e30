#pragma once
#include "ftp/TMFtp.h"
#include "ftptest/TTestingPage.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>

class TFtpTestProfiles;
struct TProxySettings;
class TRAS;
class QStatusBar;

// Where a test run stands: the page's Start button and figures follow it.
enum class TTestRunState : int { Idle, Running, Aborting };

// One test download from Start to the history record: the checks, the
// component's configuration and its events, the figures while data arrives.
class TTestRun : public QObject {
    Q_OBJECT
public:
    TTestRun(TTestingPage& page, TMFtp& ftp, TRAS& ras, TFtpTestProfiles& profiles,
             TProxySettings& proxy, QStatusBar* statusBar, QObject* parent = nullptr);

    std::function<void(int throughput)> AddHistoryRecord;
    // The Settings page's values as the test's connections carry them (the
    // values AddHistoryRecord records); unset, a test uses this computer's own.
    std::function<TSocketOptions()> PageSettings;
    // A name the download must not take: one of the program's own files in
    // the data directory (history, profiles, log, their copies, the registry
    // folder, printed charts, the interrupted saves' temporary files).
    static bool IsOwnFile(const QString& name);
    // What is wrong with a profile's host ("name", "name:port"), or empty.
    static QString HostProblem(const QString& host);

    bool FileComplete = false;
    uint32_t StartTicks = 0;
    qint64 BytesReceived = 0;
    int Throughput = 0;

    // A test runs, or is ending after an abort.
    bool Running() const { return FState != TTestRunState::Idle; }
    TTestRunState State() const { return FState; }
    // The user asked to abort this run: what the ending session still
    // reports is no news to them.
    bool AbortRequested() const { return FState == TTestRunState::Aborting; }
    void ResetTestDisplay();
    void btnStartClick();

    void MFtpFtpInfo(FtpInfo info, const QString& text);
    void MFtpFtpNeedInfo(TMFtpInfoNeeded need, QString& value);
    void MFtpFtpError(FtpError error, const QString& text);
    void MFtpLoggedIn();
    void MFtpDirectoryChanged();
    void MFtpFileReceived();
    void MFtpFtpQuit();
    void MFtpAborted();

    static QString ErrorText(int error, const QString& text);
    // The downloaded file: the profile's file name in the data directory.
    QString LocalFile() const;

private:
    void RemoveDownloadedFile();
    void StartTest();
    void UpdateFigures();
    // The bar, the throughput and the time left as last computed.
    void ShowFigures();
    // The settings the test's connections carry, taken at Start and shown.
    void ApplySettings();
    // The line on what the data connection did, when the file is in.
    void ShowReadout();
    void SetState(TTestRunState state);
    void Warn(const QString& text, void (TTestingPage::*focus)());

    TTestingPage& FPage;
    TMFtp& FFtp;
    TRAS& FRAS;
    TFtpTestProfiles& FProfiles;
    TProxySettings& FProxy;
    QStatusBar* FStatusBar;
    TTestRunState FState = TTestRunState::Idle;
    int FProfileIndex = 0;
    int FBarShift = 0; // sizes beyond the bar's range are shown scaled down
    uint32_t FShownTicks = 0;
    // "Test transfer error:" and what went wrong, in an error box.
    static void ShowTestError(const QString& text);
    bool FFileReceived = false;     // this test's file event came
    bool FFailedBeforeFile = false; // an error came before it
    uint32_t FPumpedTicks = 0;
    // What this test's connections carry (none: this computer's own), and
    // where Linux would not take it as asked.
    std::optional<TSocketOptions> FApplied;
    const TSocketOptions* Applied() const { return FApplied ? &*FApplied : nullptr; }
    QStringList FStartNotes;
};
