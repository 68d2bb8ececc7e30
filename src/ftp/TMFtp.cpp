#include "ftp/TMFtp.h"
#include "platform/TAnsiCodec.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>
#include <array>
#include <utility>

Q_LOGGING_CATEGORY(lcFtp, "zephyn.ftp", QtWarningMsg)

namespace {

// The component's own posted messages.
constexpr int QuitMessage = 1026;
constexpr int ReadyMessage = 1028;

// How long the replies to QUIT and to ABOR are awaited before the connection
// is closed all the same.
constexpr int ClosingReplyMs = 5000;
// So much of the control connection per notification; the rest waits for
// the next turn of the event loop.
constexpr qsizetype MaxReplyBytesPerNotification = 64 * 1024;

// The reply states by name, for the trace.
const std::pair<TReplyState, const char*> StateNames[] = {
    {TReplyState::Greeting, "Greeting"},
    {TReplyState::User, "User"},
    {TReplyState::Pass, "Pass"},
    {TReplyState::Acct, "Acct"},
    {TReplyState::Syst, "Syst"},
    {TReplyState::Pwd, "Pwd"},
    {TReplyState::Pasv, "Pasv"},
    {TReplyState::TypeForExistingFile, "TypeForExistingFile"},
    {TReplyState::TypeForNewFile, "TypeForNewFile"},
    {TReplyState::DataCommand, "DataCommand"},
    {TReplyState::Retr, "Retr"},
    {TReplyState::Cwd, "Cwd"},
    {TReplyState::PwdAfterCwd, "PwdAfterCwd"},
    {TReplyState::Quit, "Quit"},
    {TReplyState::Noop, "Noop"},
    {TReplyState::Idle, "Idle"},
    {TReplyState::RestProbe, "RestProbe"},
    {TReplyState::RestReset, "RestReset"},
    {TReplyState::InitialCwd, "InitialCwd"},
    {TReplyState::ResumeSize, "ResumeSize"},
    {TReplyState::ResumeDataCommand, "ResumeDataCommand"},
    {TReplyState::ResumeRest, "ResumeRest"},
    {TReplyState::TransferSize, "TransferSize"},
    {TReplyState::ProxyOpen, "ProxyOpen"},
    {TReplyState::ProxyHost, "ProxyHost"},
    {TReplyState::ProxyUser, "ProxyUser"},
    {TReplyState::ProxyPass, "ProxyPass"},
    {TReplyState::ProxySite, "ProxySite"},
};

const char* StateName(TReplyState state) {
    for (const auto& [s, name] : StateNames)
        if (s == state)
            return name;
    return "?";
}

const char* const PhaseNames[] = {"Closed",   "Connecting", "LoggingIn",  "Ready",     "Busy",
                                  "Aborting", "Quitting",   "Cancelling", "RetryWait", "Ending"};

const QString BusyText = QStringLiteral("The component is busy doing something");

} // namespace

const QString TMFtp::CannotResumeText =
    QStringLiteral("This site cannot resume broken downloads/uploads");

TMFtp::TMFtp(QObject* owner)
    : TMSocket(owner), FNoopTimer(new QTimer(this)), FClosingTimer(new QTimer(this)),
      FReplyTimer(new QTimer(this)), FData(new TMSocket(this)), FListener(new TMSocket(this)) {
    FNoopTimer->setInterval(30 * 1000);
    connect(FNoopTimer, &QTimer::timeout, this, [this] { KeepAlive(); });
    // A QUIT or an ABOR that gets no reply ends the session all the same.
    FClosingTimer->setSingleShot(true);
    FClosingTimer->setInterval(ClosingReplyMs);
    connect(FClosingTimer, &QTimer::timeout, this, [this] {
        if (HandleValid())
            Disconnect();
    });
    FReplyTimer->setInterval(1000);
    connect(FReplyTimer, &QTimer::timeout, this, [this] { ReplyTimerTick(); });
    OnMessage = [this](int message) { MessageHandler(message); };
    OnConnect = [this](TMSocket&) { ControlConnected(); };
    OnClose = [this](TMSocket&) { ControlClosed(); };
    OnRead = [this](TMSocket&) { ReadReplies(); };
    OnTimeout = [this](TMSocket&) { ControlTimedOut(); };
    FData->OnRead = [this](TMSocket&) { DownloadReader(); };
    FData->OnClose = [this](TMSocket&) { DownloadClosed(); };
}

TMFtp::~TMFtp() {
    OnClose = nullptr;
    SetPhase(TSessionPhase::Closed); // a retry being waited for is not made
    if (FRetryLoop)
        FRetryLoop->quit();
    CloseSilently();
}

QString TMFtp::Version() {
    return QStringLiteral("TMFtp 1.0 for Zephyn");
}

quint16 TMFtp::NoopInterval() const {
    return static_cast<quint16>(FNoopTimer->interval() / 1000);
}

void TMFtp::SetNoopInterval(quint16 seconds) {
    FNoopTimer->setInterval(int(seconds) * 1000);
    if (seconds == 0)
        FNoopTimer->stop(); // no keep-alive at all
}

// ---------------------------------------------------------------- reporting

void TMFtp::Info(FtpInfo info, const QString& text) {
    if (OnFtpInfo)
        OnFtpInfo(*this, info, text);
}

QString TMFtp::NeedInfo(TMFtpInfoNeeded need) {
    QString value;
    if (OnFtpNeedInfo)
        OnFtpNeedInfo(*this, need, value);
    return value;
}

void TMFtp::ReportError(FtpError error) {
    FLastError = error;
    if (OnFtpError)
        OnFtpError(*this, error, FLastErrorText);
}

void TMFtp::FatalError(FtpError error) {
    QPointer<TMFtp> self(this);
    // One fatal error per connection: what fails while it closes is its echo.
    if (!FFatalReported) {
        FFatalReported = true;
        ReportError(error);
        if (!self)
            return;
    } else {
        FLastError = error;
    }
    DropTransfer();
    if (SocketConnected)
        Disconnect();
}

void TMFtp::SetSocketOptions(const TSocketOptions& options) {
    Options = options;
    FData->Options = options;
    FListener->Options = options;
}

const TConnectionFigures& TMFtp::DataFigures() const {
    return FData->FiguresAtClose();
}

QStringList TMFtp::RefusedOptions() const {
    QStringList refused = TMSocket::RefusedOptions();
    for (const QString& r : FListener->RefusedOptions() + FData->RefusedOptions())
        if (!refused.contains(r))
            refused << r;
    return refused;
}

bool TMFtp::Classify(TMSocket& socket) {
    const quint16 e = socket.LastSocketError;
    if (e == 0 || e == WSAENOTSOCK) {
        FLastError = ftpeNone;
        return true;
    }
    struct TEntry {
        quint16 Socket;
        FtpError Error;
        const char* Text;
    };
    static const TEntry table[] = {
        {WSAENETDOWN, ftpeNetworkDown, "Network down"},
        {WSAEACCES, ftpeInvalidAddress, "Invalid address specified"},
        {WSAEINVAL, ftpeInternal, ""},
        {WSAENETRESET, ftpeWinsock, "General Winsock Error"},
        {WSAENOBUFS, ftpeWinsock, "General Winsock Error"},
        {WSAECONNABORTED, ftpeConnectionAborted,
         "Connection aborted due to timeout or other failure"},
        {WSAECONNRESET, ftpeConnectionReset, "Connection reset by remote side"},
        {WSAETIMEDOUT, ftpeTimedOut, "Connection timed out"},
        {WSAEMFILE, ftpeNoSockets, "Out of sockets"},
        {WSAENETUNREACH, ftpeNetworkUnreachable, "Network unreachable"},
        {WSAEADDRNOTAVAIL, ftpeAddressNotAvailable, "Address not available"},
        {WSAECONNREFUSED, ftpeConnectionRefused, "Connection Refused"},
        {WSAEHOSTUNREACH, ftpeHostUnreachable, "Host unreachable"},
        {WSAHOST_NOT_FOUND, ftpeResolution, "Address resolution error"},
        {WSATRY_AGAIN, ftpeResolution, "Address resolution error"},
        {WSANO_RECOVERY, ftpeResolution, "Address resolution error"},
        {WSANO_DATA, ftpeResolution, "Address resolution error"},
    };
    FtpError code = ftpeInternal;
    FLastErrorText =
        QStringLiteral("Unexpected internal error in component (WinSock Error Code: %1)").arg(e);
    for (const TEntry& entry : table) {
        if (entry.Socket == e) {
            code = entry.Error;
            FLastErrorText = QString::fromLatin1(entry.Text);
            break;
        }
    }
    FRetriesLeft = -1;
    FatalError(code);
    return false;
}

// ------------------------------------------------------------------ session

void TMFtp::SetPhase(TSessionPhase phase) {
    if (phase != FPhase)
        qCDebug(lcFtp) << "phase" << PhaseNames[int(FPhase)] << "->" << PhaseNames[int(phase)];
    FPhase = phase;
}

bool TMFtp::SessionOpen() const {
    return FPhase != TSessionPhase::Closed && FPhase != TSessionPhase::Ending;
}

bool TMFtp::Connected() const {
    switch (FPhase) {
    case TSessionPhase::LoggingIn:
    case TSessionPhase::Ready:
    case TSessionPhase::Busy:
    case TSessionPhase::Aborting:
    case TSessionPhase::Quitting:
        return true;
    default:
        return false;
    }
}

bool TMFtp::LoggedIn() const {
    return Connected() && FPhase != TSessionPhase::LoggingIn;
}

bool TMFtp::Busy() const {
    return FPhase == TSessionPhase::Busy || FPhase == TSessionPhase::Aborting ||
           FPhase == TSessionPhase::Quitting;
}

void TMFtp::SetReplyState(TReplyState state) {
    if (state != FReplyState)
        qCDebug(lcFtp) << StateName(FReplyState) << "->" << StateName(state);
    FReplyState = state;
    WatchReplies();
}

void TMFtp::WatchReplies() {
    // While a reply is awaited or a transfer runs, silence is counted.
    const bool waiting =
        Connected() && TimeOutReply > 0 && (FReplyState != TReplyState::Idle || TransferPending());
    FSilentSeconds = 0;
    if (!waiting)
        FReplyTimer->stop();
    else if (!FReplyTimer->isActive())
        FReplyTimer->start();
}

void TMFtp::ReplyTimerTick() {
    if (++FSilentSeconds < TimeOutReply)
        return;
    FReplyTimer->stop();
    FLastErrorText = QStringLiteral("Connection timed out");
    FatalError(ftpeTimedOut);
}

void TMFtp::Login() {
    FRetriesLeft = Retries;
    ConnectSequence();
}

void TMFtp::ConnectSequence() {
    SetPhase(TSessionPhase::Connecting);
    FFatalReported = false;
    SetReplyState(TReplyState::Greeting);
    LastSocketError = 0;
    FCurrentDirectory.clear();
    FReplies.Clear();
    ++FConnection;
    FLastError = ftpeNone;
    FNoopSupported = FSizeSupported = true;
    FCanResume = false;
    FLastType.clear();
    --FRetriesLeft;
    RecreateSocket();
    if (!HandleValid()) {
        // No socket to be had (too many open files): reported at once.
        if (LastSocketError == 0 || LastSocketError == WSAENOTSOCK)
            LastSocketError = WSAEMFILE;
        Classify(*this);
        return;
    }

    ChooseRoute();
    if (Server().trimmed().isEmpty()) {
        const QString answer = NeedInfo(ftpnServer).trimmed();
        if (answer.isEmpty()) {
            ReportError(ftpeNoServer);
            Ready();
            return;
        }
        SetServer(answer);
    }
    if (Port == 0)
        Port = 21;
    if (!ServerAddressText().isEmpty()) {
        FConnectAddress = ServerAddressText();
        SetAddress(FConnectAddress);
        SetPort(Port);
        Connect();
    } else {
        Info(ftpiResolving, ServerHostName());
        Resolve(ServerHostName());
    }
    Classify(*this);
}

void TMFtp::LookupDone() {
    if (!Classify(*this))
        return;
    UseResolvedAddress();
    SetPort(Port);
    FConnectAddress = AddressText();
    Info(ftpiConnecting, FConnectAddress);
    Connect();
    Classify(*this);
}

void TMFtp::ControlConnected() {
    // A refused or failed connect arrives here too, with its error.
    if (!Classify(*this))
        return;
    Info(ftpiConnected, FConnectAddress);
    SetPhase(TSessionPhase::LoggingIn);
    FReplies.Clear();
    SetReplyState(TReplyState::Greeting);
}

void TMFtp::ControlTimedOut() {
    FLastErrorText = QStringLiteral("Connection timed out");
    FatalError(ftpeTimedOut);
}

void TMFtp::ReadReplies() {
    QPointer<TMFtp> self(this);
    const quint64 connection = FConnection;
    std::array<char, 8192> buffer;
    for (qsizetype taken = 0; taken < MaxReplyBytesPerNotification;) {
        const qint64 n = Receive(buffer.data(), qint64(buffer.size()));
        if (!Classify(*this) || n <= 0)
            return;
        taken += n;
        // A reply's time runs from its first byte: a server that sends one
        // byte now and then cannot keep a reply open for ever.
        if (!FReplies.Partial())
            FSilentSeconds = 0;
        const QByteArray bytes = FReplies.Append(buffer.data(), n);
        Info(ftpiReceived, TAnsiCodec::Decode(bytes));
        if (!self || connection != FConnection)
            return;
        QByteArray line;
        TFtpReplyReader::TNext next;
        while ((next = FReplies.Next(line)) == TFtpReplyReader::TNext::Reply) {
            FSilentSeconds = 0;
            ActOnReply(TAnsiCodec::Decode(line));
            // Lines of a connection since closed never act on the next one.
            if (!self || connection != FConnection || !HandleValid())
                return;
        }
        if (next == TFtpReplyReader::TNext::ProtocolError) {
            FatalError(ftpeProtocol);
            return;
        }
    }
}

bool TMFtp::SendCommand(const QString& text, TReplyState next) {
    const QString line = text + QStringLiteral("\r\n");
    Info(ftpiSent, text.startsWith(QLatin1String("PASS "))
                       ? QStringLiteral("PASS (want to know) :-P\r\n")
                       : line);
    QByteArray bytes = TAnsiCodec::Encode(line);
    QPointer<TMFtp> self(this);
    while (!bytes.isEmpty()) {
        QCoreApplication::processEvents();
        if (!self || !HandleValid())
            return false;
        const qint64 n = Send(bytes.constData(), bytes.size());
        if (!Classify(*this))
            return false;
        bytes.remove(0, n);
    }
    SetReplyState(next);
    return true;
}

void TMFtp::Ready() {
    PostMessage(ReadyMessage);
}

void TMFtp::FinishOperation() {
    SetReplyState(TReplyState::Idle);
    Ready();
}

void TMFtp::MessageHandler(int message) {
    if (message == QuitMessage) {
        FNoopTimer->stop();
        if (FPhase == TSessionPhase::Ending)
            SetPhase(TSessionPhase::Closed);
        if (OnFtpQuit)
            OnFtpQuit(*this);
        return;
    }
    if (message != ReadyMessage)
        return;
    QPointer<TMFtp> self(this);
    if (FPhase == TSessionPhase::Busy)
        SetPhase(TSessionPhase::Ready);
    if (FNoopTimer->interval() > 0 && SessionOpen())
        FNoopTimer->start();
    if (OnFtpReady)
        OnFtpReady(*this);
    if (!self)
        return;
    if (FPhase == TSessionPhase::Aborting) {
        DropTransfer();
        SetPhase(TSessionPhase::Ready);
    }
    const TPendingCompletion pending = FPending;
    FPending = TPendingCompletion::None;
    WatchReplies();
    // The completion events, by pending completion.
    static TEvent TMFtp::*const events[] = {
        nullptr,
        &TMFtp::OnLoggedIn,
        &TMFtp::OnDirectoryChanged,
        &TMFtp::OnDirectoryCreated,
        &TMFtp::OnDirectoryDeleted,
        &TMFtp::OnFileDeleted,
        &TMFtp::OnIndexFileReceived,
        &TMFtp::OnFileReceived,
        &TMFtp::OnFileStored,
        &TMFtp::OnListingDone,
        &TMFtp::OnFileRenamed,
        &TMFtp::OnDirectoryChanged,
    };
    if (pending == TPendingCompletion::LoggedIn && FPhase == TSessionPhase::LoggingIn)
        SetPhase(TSessionPhase::Ready);
    TEvent* event = events[int(pending)] ? &(this->*events[int(pending)]) : nullptr;
    if (event && *event)
        (*event)(*this);
}

bool TMFtp::BeginOperation() {
    if (FPhase == TSessionPhase::Ready) {
        SetPhase(TSessionPhase::Busy);
        if (OnFtpBusy)
            OnFtpBusy(*this);
        FNoopTimer->stop();
        FLastError = ftpeNone;
        return true;
    }
    if (Connected())
        Info(ftpiBusy, BusyText);
    else
        Info(ftpiDisconnected, QStringLiteral("Not connected to the server"));
    return false;
}

void TMFtp::KeepAlive() {
    if (FPhase == TSessionPhase::Ready && FNoopSupported) {
        SetPhase(TSessionPhase::Busy);
        SendCommand(QStringLiteral("NOOP"), TReplyState::Noop);
    }
}

void TMFtp::Quit() {
    if (BeginOperation() && SendCommand(QStringLiteral("QUIT"), TReplyState::Quit)) {
        SetPhase(TSessionPhase::Quitting);
        FClosingTimer->start();
    }
}

void TMFtp::ChangeDirectory(const QString& directory) {
    if (!BeginOperation())
        return;
    FPending = TPendingCompletion::DirectoryChanged;
    FDirectoryRefusal.clear();
    SendCommand(QStringLiteral("CWD ") + directory, TReplyState::Cwd);
}

void TMFtp::ControlClosed() {
    if (FPhase == TSessionPhase::RetryWait)
        return;
    // After QUIT or during an abort the close is the end; any other time
    // the server hung up on a session that still needed it.
    const bool expected = FPhase == TSessionPhase::Quitting ||
                          FPhase == TSessionPhase::Cancelling ||
                          FPhase == TSessionPhase::Aborting || FReplyState == TReplyState::Quit ||
                          FClosingTimer->isActive();
    // Nothing of the session outlives its control connection.
    DropTransfer();
    FClosingTimer->stop();
    QPointer<TMFtp> self(this);
    if (!LoggedIn() && FRetriesLeft >= 0 && FLastError != ftpeNone) {
        SetPhase(TSessionPhase::RetryWait);
        WatchReplies();
        Info(ftpiRetrying, QStringLiteral("Retrying..."));
        if (!self)
            return;
        if (RetryInterval > 0 && FPhase == TSessionPhase::RetryWait) {
            // A nested loop keeps the window responsive; Abort ends it at once.
            QEventLoop wait;
            FRetryLoop = &wait;
            QTimer::singleShot(int(RetryInterval) * 1000, &wait, &QEventLoop::quit);
            wait.exec();
            if (!self)
                return;
            FRetryLoop = nullptr;
        }
        // Abort moves the session on from the wait.
        if (FPhase == TSessionPhase::RetryWait) {
            ConnectSequence();
            return;
        }
    }
    if (!expected && !FFatalReported && SessionOpen()) {
        // Told once: a failure already reported for this connection stands.
        FFatalReported = true;
        FLastErrorText.clear();
        ReportError(ftpePrematureDisconnect);
        if (!self)
            return;
    }
    EndSession();
}

void TMFtp::EndSession() {
    SetPhase(TSessionPhase::Ending);
    SetReplyState(TReplyState::Idle);
    QPointer<TMFtp> self(this);
    Info(ftpiDisconnected, QStringLiteral("Disconnected"));
    if (!self)
        return;
    FPending = TPendingCompletion::None;
    // The ready message before the quit message: nothing of the session
    // comes after its OnFtpQuit.
    Ready();
    PostMessage(QuitMessage);
}

void TMFtp::Abort() {
    if (TransferPending() && SocketConnected && !FFatalReported) {
        AbortTransfer();
        return;
    }
    // Anything else the session is doing, from the lookup to the wait for
    // QUIT's reply, ends with its control connection.
    if (!SessionOpen())
        return;
    const bool waiting = FPhase == TSessionPhase::RetryWait;
    // The close that follows is the abort's, not the server's.
    SetPhase(Connected() ? TSessionPhase::Quitting : TSessionPhase::Cancelling);
    FRetriesLeft = -1;
    if (FRetryLoop)
        FRetryLoop->quit();
    QPointer<TMFtp> self(this);
    if (HandleValid() || LookupPending())
        Disconnect(); // the close handling ends the session
    else if (!waiting)
        EndSession(); // no connection was ever made (no socket to be had)
    if (self && OnAborted)
        OnAborted(*this);
}

// ------------------------------------------------------------- the replies

void TMFtp::ActOnReply(const QString& line) {
    if (FPhase == TSessionPhase::Aborting) {
        OnAbortReply(line);
        return;
    }
    switch (FReplyState) {
    case TReplyState::Greeting:
        OnGreetingReply(line);
        return;
    case TReplyState::ProxyOpen:
    case TReplyState::ProxyHost:
    case TReplyState::ProxyUser:
    case TReplyState::ProxyPass:
    case TReplyState::ProxySite:
        OnProxyReply(line);
        return;
    case TReplyState::User:
    case TReplyState::Pass:
    case TReplyState::Acct:
        OnLoginReply(line);
        return;
    case TReplyState::Syst:
    case TReplyState::RestProbe:
    case TReplyState::RestReset:
        OnProbeReply(line);
        return;
    case TReplyState::InitialCwd:
    case TReplyState::Pwd:
        OnLoginDirectoryReply(line);
        return;
    case TReplyState::Quit:
        OnQuitReply(line);
        return;
    case TReplyState::Noop:
        OnNoopReply(line);
        return;
    case TReplyState::Cwd:
    case TReplyState::PwdAfterCwd:
        OnDirectoryReply(line);
        return;
    case TReplyState::TypeForExistingFile:
    case TReplyState::TypeForNewFile:
    case TReplyState::Pasv:
    case TReplyState::DataCommand:
    case TReplyState::ResumeDataCommand:
    case TReplyState::ResumeRest:
        OnDataSetupReply(line);
        return;
    case TReplyState::Retr:
        OnRetrReply(line);
        return;
    case TReplyState::ResumeSize:
        OnSizeReply(line);
        return;
    case TReplyState::TransferSize:
        OnTransferSizeReply(line);
        return;
    case TReplyState::Idle:
        return;
    }
}

void TMFtp::OnNoopReply(const QString& line) {
    if (line.startsWith(QLatin1String("50")))
        FNoopSupported = false;
    if (FPhase == TSessionPhase::Busy)
        SetPhase(TSessionPhase::Ready);
    SetReplyState(TReplyState::Idle);
}

void TMFtp::OnQuitReply(const QString& line) {
    SetReplyState(TReplyState::Idle);
    FClosingTimer->stop();
    QPointer<TMFtp> self(this);
    if (!line.startsWith(u'2'))
        FatalError(ftpeNone);
    // Whatever QUIT's reply is, the session is over: a server that took
    // something else for QUIT would otherwise keep the connection open until
    // its idle time-out.
    if (self && HandleValid())
        Disconnect();
}

void TMFtp::OnDirectoryReply(const QString& line) {
    const bool positive = line.startsWith(u'2');
    if (FReplyState == TReplyState::Cwd && positive && !line.contains(u'"')) {
        SendCommand(QStringLiteral("PWD"), TReplyState::PwdAfterCwd);
        return;
    }
    if (!positive && FReplyState == TReplyState::Cwd && line.startsWith(u'5'))
        FDirectoryRefusal = line;
    if (!positive)
        Info(ftpiFailed, QStringLiteral("Access denied or file not found"));
    else if (FReplyState == TReplyState::Cwd)
        FCurrentDirectory = QuotedDirectory(line);
    else
        FCurrentDirectory = DriveLetterNormalised(QuotedDirectory(line));
    FinishOperation();
}
