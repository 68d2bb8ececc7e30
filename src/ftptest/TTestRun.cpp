#include "ftptest/TTestRun.h"
#include "dialup/TRAS.h"
#include "ftptest/TConnectionReadout.h"
#include "ftptest/TFtpTestProfile.h"
#include "ftptest/TProxySettings.h"
#include "ftptest/TRemainingTimeBar.h"
#include "ftptest/TTestingPage.h"
#include "platform/TApplication.h"
#include "platform/TClock.h"
#include "platform/TConvert.h"
#include "platform/TDataDirectory.h"
#include "platform/TDownloadFile.h"
#include "platform/TExceptions.h"
#include "platform/TMessageDlg.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStatusBar>
#include <cmath>

namespace {

bool Ask(const QString& text) {
    return MessageDlg(text, TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) == mrYes;
}

} // namespace

TTestRun::TTestRun(TTestingPage& page, TMFtp& ftp, TRAS& ras, TFtpTestProfiles& profiles,
                   TProxySettings& proxy, QStatusBar* statusBar, QObject* parent)
    : QObject(parent), FPage(page), FFtp(ftp), FRAS(ras), FProfiles(profiles), FProxy(proxy),
      FStatusBar(statusBar) {
    ftp.SetNoopInterval(30);
    ftp.Retries = 3;
    ftp.RetryInterval = 15;
    ftp.ServerType = ftpstAutoDetect;
    ftp.InitialDirectory = QStringLiteral("/");
    ftp.FileMask = QStringLiteral("*.*");
    ftp.Cache = true;
    ftp.CacheExpire = 7;
    ftp.TransferMode = BinaryTransfer;
    ftp.ProxyType = proxyNone;
    ftp.ProxyPort = 21;
    ftp.Passive = false;
    ftp.Port = 21;
    ftp.TimeOutConnect = 30;
    ftp.TimeOutArp = 15;
    // The component reports from inside its own work; what a handler raises
    // goes to the error log, not back into the component.
    ftp.OnFtpInfo = TApplication::Guarded<TMFtp&, FtpInfo, const QString&>(
        [this](TMFtp&, FtpInfo info, const QString& text) { MFtpFtpInfo(info, text); });
    ftp.OnFtpNeedInfo = TApplication::Guarded<TMFtp&, TMFtpInfoNeeded, QString&>(
        [this](TMFtp&, TMFtpInfoNeeded need, QString& value) { MFtpFtpNeedInfo(need, value); });
    ftp.OnFtpError = TApplication::Guarded<TMFtp&, FtpError, const QString&>(
        [this](TMFtp&, FtpError error, const QString& text) { MFtpFtpError(error, text); });
    ftp.OnLoggedIn = TApplication::Guarded<TMFtp&>([this](TMFtp&) { MFtpLoggedIn(); });
    ftp.OnDirectoryChanged =
        TApplication::Guarded<TMFtp&>([this](TMFtp&) { MFtpDirectoryChanged(); });
    ftp.OnFileReceived = TApplication::Guarded<TMFtp&>([this](TMFtp&) { MFtpFileReceived(); });
    ftp.OnFtpQuit = TApplication::Guarded<TMFtp&>([this](TMFtp&) { MFtpFtpQuit(); });
    ftp.OnAborted = TApplication::Guarded<TMFtp&>([this](TMFtp&) { MFtpAborted(); });
    page.OnStartClick = TApplication::Guarded([this] { btnStartClick(); });
    SetState(TTestRunState::Idle);
}

void TTestRun::SetState(TTestRunState state) {
    FState = state;
    FPage.SetRunState(state);
}

QString TTestRun::LocalFile() const {
    // Only a file name: a profile cannot make the download land elsewhere.
    const QString name = QFileInfo(FPage.FileNameText()).fileName();
    return TDataDirectory::FilePath(name.isEmpty() ? QStringLiteral("download.tmp") : name);
}

void TTestRun::ResetTestDisplay() {
    FPage.ResetFigures();
    SetState(TTestRunState::Idle);
}

void TTestRun::Warn(const QString& text, void (TTestingPage::*focus)()) {
    MessageDlg(text, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
    if (focus)
        (FPage.*focus)();
}

void TTestRun::btnStartClick() {
    if (FState == TTestRunState::Aborting)
        return;
    if (FState == TTestRunState::Running) {
        if (!Ask(QStringLiteral("Abort this test transfer?")))
            return;
        FileComplete = false;
        FPage.ShowActivity(QStringLiteral("Aborting test"));
        SetState(TTestRunState::Aborting);
        // Still resolving or connecting, the run is over at once: that is
        // cancelled too, and the session ends through OnFtpQuit.
        if (!FFtp.Connected())
            ResetTestDisplay();
        FFtp.Abort();
        return;
    }

    if (FPage.SelectedProfileIndex() < 0) {
        Warn(FPage.ProfileCount() > 0
                 ? QStringLiteral("Please choose a testing profile first")
                 : QStringLiteral("You first need to enter at least one testing profile!"),
             &TTestingPage::FocusProfiles);
        return;
    }
    const bool proxyHost = !FPage.ProxyHostText().isEmpty();
    const int proxyPort = FPage.ProxyPortValue();
    if (proxyHost && proxyPort == 0) {
        Warn(QStringLiteral("You must specify a port number to use (0 is not valid)!"),
             &TTestingPage::FocusProxyPort);
        return;
    }
    if (proxyHost && (proxyPort < 0 || proxyPort > 65535)) {
        Warn(QStringLiteral("The proxy Port must be a number from 1 to 65535."),
             &TTestingPage::FocusProxyPort);
        return;
    }
    if (proxyPort > 0 && !proxyHost) {
        Warn(QStringLiteral("You've specified a proxy port to use, but have not\r\nspecified the "
                            "name or address of the proxy server.\r\nIf you are going through a "
                            "proxy server, you must\r\nspecify both the server name (or IP "
                            "address) and the\r\nTCP port to use. Otherwise, leave the proxy host "
                            "name\r\nblank and the port number set to 0."),
             &TTestingPage::FocusProxyPort);
        return;
    }
    if (!FPage.ProfileFieldsFilled()) {
        Warn(QStringLiteral("You must specify information for each field in the Ftp\r\nTest "
                            "Settings section before initiating a test!"),
             nullptr);
        return;
    }
    if (const QString problem =
            HostProblem(FProfiles.Items.at(size_t(FPage.SelectedProfileIndex())).Host());
        !problem.isEmpty()) {
        Warn(problem, &TTestingPage::FocusProfiles);
        return;
    }
    // The download lands in the data directory: it must not replace one of
    // the program's own files there.
    const QString local = QFileInfo(LocalFile()).fileName();
    if (IsOwnFile(local)) {
        Warn(QStringLiteral("The test file \"%1\" would replace one of Zephyn's own files in "
                            "%2.\r\nPlease choose a profile whose file has another name.")
                 .arg(local, TDataDirectory::Path()),
             &TTestingPage::FocusFileName);
        return;
    }
    bool online = false;
    if (FRAS.RasAvailable()) {
        FRAS.GetConnections();
        online = !FRAS.Connections().empty();
    }
    if (!online && !Ask(QStringLiteral("Are you connected to the internet?")))
        return;
    StartTest();
}

void TTestRun::StartTest() {
    ResetTestDisplay();
    SetState(TTestRunState::Running);
    // A server that states no size must not inherit the last run's.
    FPage.SetExpectedSize(100);
    FileComplete = false;
    StartTicks = 0;
    BytesReceived = 0;
    Throughput = 0;
    FFtp.BytesTransferred = 0;
    FBarShift = 0;
    FShownTicks = 0;
    FFileReceived = false;
    FFailedBeforeFile = false;

    FProfileIndex = std::max(0, FPage.SelectedProfileIndex());
    const FtpTestProfile& profile = FProfiles.Items.at(size_t(FProfileIndex));
    // A host may name its port ("ftp.example.test:2121"); otherwise 21.
    const QRegularExpressionMatch hostPort =
        QRegularExpression(QStringLiteral("^(.+):(\\d{1,5})$")).match(profile.Host().trimmed());
    if (hostPort.hasMatch() && hostPort.captured(2).toInt() <= 65535) {
        FFtp.SetServer(hostPort.captured(1));
        FFtp.Port = quint16(hostPort.captured(2).toInt());
    } else {
        FFtp.SetServer(profile.Host());
        FFtp.Port = 21;
    }
    FFtp.Password = profile.Password();
    FFtp.Username = profile.LoginName();
    if (!FProxy.ProxyHost.isEmpty()) {
        FFtp.ProxyServer = FProxy.ProxyHost;
        FFtp.ProxyPort = FProxy.ProxyPort;
        FFtp.ProxyType = TProxySettings::ComponentType(FProxy.ProxyType);
        FFtp.ProxyUsername = FProxy.ProxyUsername;
        FFtp.ProxyPassword = FProxy.ProxyPassword;
    } else {
        FFtp.ProxyServer.clear();
        FFtp.ProxyPort = 21;
        FFtp.ProxyUsername.clear();
        FFtp.ProxyPassword.clear();
        FFtp.ProxyType = proxyNone;
    }
    ApplySettings();
    FPage.ShowActivity(QStringLiteral("Resolving host"));
    FFtp.ServerType = ftpstAutoDetect;
    if (FStatusBar)
        FStatusBar->clearMessage();
    FFtp.Login();
}

void TTestRun::ApplySettings() {
    if (FPage.OwnSettingsChecked() || !PageSettings)
        FApplied.reset();
    else
        FApplied = PageSettings();
    FFtp.SetSocketOptions(FApplied.value_or(TSocketOptions()));
    FStartNotes = FApplied ? FApplied->Check() : QStringList();
    FPage.ShowReadout(TConnectionReadout::AtStart(Applied(), FStartNotes));
}

void TTestRun::ShowReadout() {
    // What the real connections refused, when Start told nothing.
    const QStringList notes = FStartNotes.isEmpty() ? FFtp.RefusedOptions() : FStartNotes;
    FPage.ShowReadout(TConnectionReadout::AtEnd(FFtp.DataFigures(), Throughput, Applied(), notes));
}

void TTestRun::MFtpLoggedIn() {
    if (size_t(FProfileIndex) < FProfiles.Items.size())
        FFtp.ChangeDirectory(FProfiles.Items[size_t(FProfileIndex)].Path());
}

void TTestRun::MFtpDirectoryChanged() {
    // A path the server refused: the file there is not the one to measure.
    if (const QString refusal = FFtp.DirectoryRefusal(); !refusal.isEmpty()) {
        ShowTestError(QStringLiteral("The server refused the path:\r\n") + refusal);
        FFtp.Quit();
        return;
    }
    FPage.ShowActivity(QStringLiteral("Downloading file..."));
    StartTicks = TClock::GetTickCount();
    FPage.StartTiming();
    const QString name = size_t(FProfileIndex) < FProfiles.Items.size()
                             ? FProfiles.Items[size_t(FProfileIndex)].FileName()
                             : QString();
    FFtp.GetFile(name, LocalFile());
}

void TTestRun::MFtpFtpInfo(FtpInfo info, const QString& text) {
    switch (info) {
    case ftpiConnected:
    case ftpiConnecting:
        FPage.ShowActivity(QStringLiteral("Connected..."));
        break;
    case ftpiDisconnected:
        FPage.ShowActivity(QStringLiteral("inactive"));
        break;
    case ftpiResolving:
        FPage.ShowActivity(QStringLiteral("Resolving host"));
        break;
    case ftpiProgress:
        UpdateFigures();
        break;
    case ftpiLoggedIn:
        FPage.ShowActivity(QStringLiteral("Changing path..."));
        break;
    case ftpiSize: {
        bool ok = false;
        const qint64 size = text.toLongLong(&ok);
        FBarShift = 0;
        if (ok && size >= 0) {
            while ((size >> FBarShift) > INT_MAX)
                ++FBarShift;
            FPage.SetExpectedSize(int(size >> FBarShift));
        } else {
            FPage.SetExpectedSize(100);
        }
        break;
    }
    default:
        break;
    }
    // The page repaints and an Abort click is seen while data arrives. Each
    // block already returns to the event loop, so for data this is needed
    // only now and then, not 100,000 times a second.
    const uint32_t now = TClock::GetTickCount();
    if (info != ftpiProgress || now - FPumpedTicks >= 50) {
        FPumpedTicks = now;
        QCoreApplication::processEvents();
    }
}

void TTestRun::UpdateFigures() {
    const uint32_t now = TClock::GetTickCount();
    const int32_t elapsed = int32_t(now - StartTicks);
    BytesReceived = qint64(FFtp.BytesTransferred);
    // Within the tick of the start there is nothing to divide by: the figures
    // wait for the next block, the download goes on.
    if (elapsed == 0)
        return;
    try {
        const double rate = BytesReceived / (elapsed / 1000.0);
        // The figure as shown, read back: a rate beyond an integer's range
        // fails as its text would (the text is made only when needed).
        const double rounded = double(std::llround(rate));
        Throughput = rounded > INT_MAX || rounded < INT_MIN
                         ? StrToInt(QString::number(rounded, 'f', 0))
                         : int(rounded);
        // The page shows the figures some ten times a second: painting them
        // for every 8 KiB block would make the screen the bottleneck.
        if (FShownTicks != 0 && now - FShownTicks < 100)
            return;
        FShownTicks = now;
        ShowFigures();
    } catch (const std::exception& e) {
        const QString trace = QStringLiteral("Ftp Trace Error: ") + ExceptionMessage(e) +
                              QStringLiteral("\r\nPlease report to support@brindlecove.example");
        throw Exception(
            QStringLiteral("%1 (%2, line %3)").arg(trace, QStringLiteral("formMain")).arg(2148));
    }
}

void TTestRun::ShowFigures() {
    FPage.ShowThroughput(QString::number(Throughput));
    const int seconds =
        FPage.ShowProgress(int(std::min<qint64>(BytesReceived >> FBarShift, INT_MAX)));
    FPage.ShowRemaining(QString::asprintf("%3.2f mins", seconds / 60.0));
}

void TTestRun::MFtpFtpNeedInfo(TMFtpInfoNeeded, QString&) {
    // Nothing is answered: an existing local file is downloaded afresh.
}

QString TTestRun::ErrorText(int error, const QString& text) {
    switch (static_cast<FtpError>(error)) {
    case ftpeNetworkDown:
        return QStringLiteral("Network is down");
    case ftpeInvalidAddress:
        return QStringLiteral("Invalid host address");
    case ftpeInternal:
        return QStringLiteral("Internal error: ") + text;
    case ftpeWinsock:
        return QStringLiteral("Winsock Error: ") + text;
    case ftpeConnectionAborted:
        return QStringLiteral("Connection aborted by host");
    case ftpeConnectionReset:
        return QStringLiteral("Connection reset by host");
    case ftpeTimedOut:
        return QStringLiteral("Connection timed out");
    case ftpeNoSockets:
        return QStringLiteral("Client system has no sockets available");
    case ftpeNetworkUnreachable:
        return QStringLiteral("Network unreachable");
    case ftpeAddressNotAvailable:
        return QStringLiteral("Requested address is not available");
    case ftpeConnectionRefused:
        return QStringLiteral("Connection refused by host system");
    case ftpeProtocol:
        return QStringLiteral("Fatal protocol error");
    case ftpeCanceledByHost:
        return QStringLiteral("Operation canceled by host system");
    case ftpeUnknown:
        return QStringLiteral("Unknown error (") + text + u')';
    case ftpeResolution:
        return QStringLiteral("Host address resolution error (DNS)");
    case ftpePrematureDisconnect:
        return QStringLiteral("Premature disconnection by host");
    case ftpeHostUnreachable:
        return QStringLiteral("Requested host is unreachable");
    case ftpeNoServer:
        return QStringLiteral("No server available");
    case ftpeNoProxyServer:
        return QStringLiteral("No proxy server available");
    case ftpeFileOpen:
        return QStringLiteral("I/O error opening file: ") + text;
    case ftpeFileWrite:
        return QStringLiteral("I/O error writing file: ") + text;
    case ftpeFileRead:
        return QStringLiteral("I/O error reading file: ") + text;
    case ftpeFileNotFound:
        return QStringLiteral("Requested file not found on host system");
    case ftpeConnectTimeOut:
        return QStringLiteral("Connection time out");
    case ftpeServerDown:
        return QStringLiteral("Requested server reported down");
    case ftpeAccessDenied:
        return QStringLiteral("Your access has been denied");
    case ftpeDataTransfer:
        return QStringLiteral("Error in data transmission");
    default:
        return text.isEmpty() ? QStringLiteral("unknown error") : text;
    }
}

void TTestRun::ShowTestError(const QString& text) {
    MessageDlg(QStringLiteral("Test transfer error:\r\n") + text, TMsgDlgType::mtError,
               TMsgDlgButtons::mbOK);
}

void TTestRun::MFtpFtpError(FtpError error, const QString& text) {
    // Once the user has asked to abort, what the ending session still
    // reports (a server taking the Telnet mark that follows ABOR as part of
    // QUIT, say) is no news to them.
    if (!AbortRequested())
        ShowTestError(ErrorText(int(error), text));
    // Before the file is in, an error means it will not be whole (a full
    // disk, say): no figure is made of it.
    if (!FFileReceived)
        FFailedBeforeFile = true;
    FFtp.Abort();
}

void TTestRun::MFtpFileReceived() {
    FFileReceived = true;
    FPage.ShowRemaining(QStringLiteral("0 mins"));
    if (Throughput > 0)
        FPage.ShowThroughput(QString::number(Throughput)); // the last figure, shown
    if (AbortRequested() || FFailedBeforeFile) {
        // Told already: the file goes, and no statistics follow.
        RemoveDownloadedFile();
        FileComplete = false;
    } else if (const QString failure = FFtp.TransferFailure(); !failure.isEmpty()) {
        // Cut short: no figure of a file that did not arrive whole.
        FPage.ShowActivity(QStringLiteral("Disconnected"));
        ShowTestError(QStringLiteral("The file did not arrive whole:\r\n") + failure);
        RemoveDownloadedFile();
        FileComplete = false;
    } else if (BytesReceived <= 0) {
        // The empty file this test made goes; one that stood there stays.
        if (FFtp.CreatedLocalFile())
            RemoveDownloadedFile();
        FPage.ShowActivity(QStringLiteral("File not found..."));
        MessageDlg(QStringLiteral("The file you requested to download (") + FPage.FileNameText() +
                       QStringLiteral(")\r\nwas not found at the host site. Please check "
                                      "the\r\nspelling and/or confirm the file does exist."),
                   TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        FileComplete = false;
    } else {
        // The last blocks' figures may not have been shown yet: the page
        // shows what the statistics will say, as the last block left them.
        ShowFigures();
        ShowReadout();
        FPage.ShowActivity(QStringLiteral("File received..."));
        FileComplete = true;
    }
    FFtp.Quit();
}

void TTestRun::MFtpFtpQuit() {
    if (FFtp.Connected())
        FFtp.Disconnect();
    FPage.ShowActivity(QStringLiteral("Disconnected"));
    // An aborted session may end without the events that delete the file (a
    // server that never answered ABOR is closed on).
    if (AbortRequested())
        RemoveDownloadedFile();
    if (FileComplete && !AbortRequested() && BytesReceived > 0) {
        if (Ask(QStringLiteral("Transfer Complete!\r\n\r\nTest Transfer Statistics:\r\nBytes "
                               "Transfered: %1\r\nAverage Throughput: %2 bps\r\n\r\nAdd history "
                               "record for this test?")
                    .arg(BytesReceived)
                    .arg(Throughput)) &&
            AddHistoryRecord)
            AddHistoryRecord(Throughput);
        if (Ask(QStringLiteral("Delete the downloaded test file?")))
            RemoveDownloadedFile();
    }
    FileComplete = false;
    ResetTestDisplay();
}

void TTestRun::MFtpAborted() {
    FPage.ShowActivity(QStringLiteral("Test aborted"));
    if (FFtp.Connected())
        FFtp.Disconnect();
    // A file received whole stays for the statistics and the question, even
    // when an error (QUIT refused, say) ended the session.
    if (!FileComplete || AbortRequested())
        RemoveDownloadedFile();
}

void TTestRun::RemoveDownloadedFile() {
    // Only the plain file the download wrote: a link or anything else that
    // stood at that name (and was refused) is left alone.
    TDownloadFile::Remove(LocalFile());
}

QString TTestRun::HostProblem(const QString& host) {
    const QString h = host.trimmed();
    // More than one colon, or brackets: an IPv6 address, which the sockets do not take yet.
    if (h.startsWith(u'[') || h.count(u':') > 1)
        return QStringLiteral("IPv6 addresses are not supported yet (\"%1\").\r\nPlease give "
                              "the server's name or its IPv4 address.")
            .arg(h);
    const qsizetype colon = h.indexOf(u':');
    if (colon < 0)
        return QString();
    bool number = false;
    const int port = h.mid(colon + 1).toInt(&number);
    if (!number || port < 1 || port > 65535 || colon == 0)
        return QStringLiteral("The port in \"%1\" is not valid: after the colon, give a number "
                              "from 1 to 65535.")
            .arg(h);
    return QString();
}

bool TTestRun::IsOwnFile(const QString& name) {
    static const QStringList own{
        QStringLiteral("hist.dat"),
        QStringLiteral("history.dat"),
        QStringLiteral("ftptest.prf"),
        QStringLiteral("zeph_err.log"),
        QStringLiteral("registry"),
        QStringLiteral("zephyn"),
        // The marker of a portable copy: overwritten, the next start would
        // keep its data elsewhere.
        QStringLiteral("portable"),
        QStringLiteral("zephyn.lock"),
    };
    for (const QString& file : own)
        if (name.compare(file, Qt::CaseInsensitive) == 0 ||
            name.startsWith(file + QStringLiteral(".bak"), Qt::CaseInsensitive) ||
            name.startsWith(u'.' + file + u'.', Qt::CaseInsensitive))
            return true;
    return name.startsWith(QStringLiteral("zephyn-chart-"), Qt::CaseInsensitive) &&
           name.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
}
