#include "ftp/TMFtp.h"
#include "platform/TAnsiCodec.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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

const QString BusyText = QStringLiteral("The component is busy doing something");

QChar At(const QString& s, int i) {
    return i < s.size() ? s[i] : QChar();
}

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
    FRetryCancelled = true;
    if (FRetryLoop)
        FRetryLoop->quit();
    CloseSilently();
    CloseLocalFile();
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

void TMFtp::SetReplyState(TReplyState state) {
    if (state != FReplyState)
        qCDebug(lcFtp) << StateName(FReplyState) << "->" << StateName(state);
    FReplyState = state;
    WatchReplies();
}

bool TMFtp::TransferPending() const {
    return FPending == TPendingCompletion::IndexFileReceived ||
           FPending == TPendingCompletion::FileReceived ||
           FPending == TPendingCompletion::FileStored ||
           FPending == TPendingCompletion::ListingDone;
}

void TMFtp::WatchReplies() {
    // While a reply is awaited or a transfer runs, silence is counted.
    const bool waiting =
        FConnected && TimeOutReply > 0 && (FReplyState != TReplyState::Idle || TransferPending());
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
    FBusy = false;
    FLoggedIn = false;
    ConnectSequence();
}

void TMFtp::ConnectSequence() {
    FRetryWait = false;
    FQuitSent = false;
    if (FBusy) {
        Info(ftpiBusy, BusyText);
        return;
    }
    FSessionOpen = true;
    FFatalReported = false;
    FAborting = false;
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

    // A retry that comes before the greeting still has the proxy as Server.
    if (FViaProxy) {
        SetServer(FRealServer);
        Port = FRealPort;
        FViaProxy = false;
    }
    FProxyInUse = false;
    if (ProxyServer.trimmed().isEmpty()) {
        ProxyType = proxyNone;
    } else if (ProxyType != proxyNone) {
        FRealServer = Server();
        FRealPort = Port;
        SetServer(ProxyServer);
        Port = static_cast<quint16>(ProxyPort);
        FViaProxy = true;
        FProxyInUse = true;
    }
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
    FConnected = true;
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
    for (qsizetype taken = 0; taken < MaxReplyBytesPerNotification;) {
        const qint64 n = Receive(FReplyBuffer.data(), qint64(FReplyBuffer.size()));
        if (!Classify(*this) || n <= 0)
            return;
        taken += n;
        // A reply's time runs from its first byte: a server that sends one
        // byte now and then cannot keep a reply open for ever.
        if (!FReplies.Partial())
            FSilentSeconds = 0;
        const QByteArray bytes = FReplies.Append(FReplyBuffer.data(), n);
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

bool TMFtp::SendRaw(const char* data, int length, bool urgent) {
    QPointer<TMFtp> self(this);
    while (length > 0) {
        const qint64 n = urgent ? SendUrgent(data, length) : Send(data, length);
        if (!Classify(*this))
            return false;
        data += n;
        length -= static_cast<int>(n);
        if (length > 0) {
            QCoreApplication::processEvents();
            if (!self || !HandleValid())
                return false;
        }
    }
    return true;
}

void TMFtp::FirstLoginCommand() {
    const QString port = QString::number(Port);
    switch (FProxyInUse ? ProxyType : proxyNone) {
    case proxyNone:
        SendCommand(QStringLiteral("USER ") + Username, TReplyState::User);
        break;
    case proxyHost:
        SendCommand(QStringLiteral("HOST ") + Server(), TReplyState::ProxyHost);
        break;
    case proxyHostUser:
        SendCommand(QStringLiteral("USER ") + Server() + (Port != 21 ? u':' + port : QString()) +
                        u'!' + Username,
                    TReplyState::User);
        break;
    case proxyOpen:
        SendCommand(QStringLiteral("OPEN ") + Server(), TReplyState::ProxyOpen);
        break;
    case proxySite:
        if (ProxyUsername.isEmpty())
            ProxyUsername = NeedInfo(ftpnUsername);
        SendCommand(QStringLiteral("USER ") + ProxyUsername, TReplyState::ProxyUser);
        break;
    case proxyUserSite:
        SendCommand(QStringLiteral("USER ") + Username + u'@' + Server() +
                        (Port != 21 ? u':' + port : QString()),
                    TReplyState::User);
        break;
    }
}

void TMFtp::ProbeStart() {
    if (ServerType == ftpstAutoDetect)
        SendCommand(QStringLiteral("SYST"), TReplyState::Syst);
    else
        SendCommand(QStringLiteral("REST 100"), TReplyState::RestProbe);
}

void TMFtp::DetectServerType(const QString& line) {
    if (line.startsWith(u'5')) {
        ServerType = ftpstDefault;
        return;
    }
    if (ServerType != ftpstAutoDetect)
        return;
    const QString text = line.mid(4, 99).toUpper();
    ServerType = ftpstDefault;
    struct TEntry {
        const char* Text;
        TMFtpServerType Type;
    };
    static const TEntry table[] = {
        {"UNIX", ftpstUNIX},
        {"BSD", ftpstBSD},
        {"SUNOS", ftpstSunOS},
        {"CLIX", ftpstClix},
        {"ULTRIX", ftpstULTRIX},
        {"MVS", ftpstMVS},
        {"QVT", ftpstQVT},
        {"NCSA", ftpstNCSA},
        {"WFTPD", ftpstWFTPD},
        {"WINDWOS_NT", ftpstMSFTP},
        {"CHAMELEON", ftpstChameleon},
    };
    for (const TEntry& e : table) {
        if (text.contains(QLatin1String(e.Text))) {
            ServerType = e.Type;
            return;
        }
    }
    if (text.contains(QLatin1String("VMS")))
        ServerType = text.contains(QLatin1String("MULTINET")) ? ftpstVmsMultinet : ftpstVmsUcx;
    else if (text.contains(QLatin1String("VM")))
        ServerType = text.contains(QLatin1String("VPS")) ? ftpstVMVPS : ftpstVM;
}

QString TMFtp::QuotedDirectory(const QString& line) {
    const qsizetype first = line.indexOf(u'"');
    const qsizetype second = first < 0 ? -1 : line.indexOf(u'"', first + 1);
    return second < 0 ? QString() : line.mid(first + 1, second - first - 1);
}

QString TMFtp::DriveLetterNormalised(const QString& directory) const {
    if (ServerType != ftpstNetTerm && ServerType != ftpstServU)
        return directory;
    if (directory.startsWith(u'/'))
        return directory.mid(3);
    QString d = directory.mid(2);
    d.replace(u'\\', u'/');
    return d;
}

void TMFtp::Ready() {
    PostMessage(ReadyMessage);
}

void TMFtp::MessageHandler(int message) {
    if (message == QuitMessage) {
        FBusy = false;
        FNoopTimer->stop();
        FLoggedIn = false;
        if (OnFtpQuit)
            OnFtpQuit(*this);
        return;
    }
    if (message != ReadyMessage)
        return;
    QPointer<TMFtp> self(this);
    FBusy = false;
    if (FNoopTimer->interval() > 0 && FSessionOpen)
        FNoopTimer->start();
    if (OnFtpReady)
        OnFtpReady(*this);
    if (!self)
        return;
    if (FAborting) {
        DropTransfer();
        FAborting = false;
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
    if (pending == TPendingCompletion::LoggedIn)
        FLoggedIn = true;
    TEvent* event = events[int(pending)] ? &(this->*events[int(pending)]) : nullptr;
    if (event && *event)
        (*event)(*this);
}

bool TMFtp::BeginOperation() {
    if (FConnected && !FBusy) {
        FBusy = true;
        if (OnFtpBusy)
            OnFtpBusy(*this);
        FNoopTimer->stop();
        FLastError = ftpeNone;
        return true;
    }
    if (FConnected)
        Info(ftpiBusy, BusyText);
    else
        Info(ftpiDisconnected, QStringLiteral("Not connected to the server"));
    return false;
}

void TMFtp::KeepAlive() {
    if (FLoggedIn && !FBusy && FNoopSupported) {
        FBusy = true;
        SendCommand(QStringLiteral("NOOP"), TReplyState::Noop);
    }
}

void TMFtp::Quit() {
    if (BeginOperation() && SendCommand(QStringLiteral("QUIT"), TReplyState::Quit)) {
        FQuitSent = true;
        FClosingTimer->start();
    }
}

void TMFtp::ControlClosed() {
    if (FRetryWait)
        return;
    // After QUIT or during an abort the close is the end; any other time
    // the server hung up on a session that still needed it.
    const bool expected = FQuitSent || FReplyState == TReplyState::Quit ||
                          FClosingTimer->isActive() || FAborting;
    // Nothing of the session outlives its control connection.
    DropTransfer();
    FClosingTimer->stop();
    QPointer<TMFtp> self(this);
    if (!FLoggedIn && FRetriesLeft >= 0 && FLastError != ftpeNone) {
        FConnected = false;
        WatchReplies();
        Info(ftpiRetrying, QStringLiteral("Retrying..."));
        if (!self)
            return;
        FRetryWait = true;
        FRetryCancelled = false;
        if (RetryInterval > 0) {
            // A nested loop keeps the window responsive; Abort ends it at once.
            QEventLoop wait;
            FRetryLoop = &wait;
            QTimer::singleShot(int(RetryInterval) * 1000, &wait, &QEventLoop::quit);
            wait.exec();
            if (!self)
                return;
            FRetryLoop = nullptr;
        }
        if (!FRetryCancelled) {
            ConnectSequence();
            return;
        }
        FRetryWait = false;
    }
    if (!expected && !FFatalReported && FSessionOpen) {
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
    FConnected = false;
    FAborting = false;
    SetReplyState(TReplyState::Idle);
    QPointer<TMFtp> self(this);
    Info(ftpiDisconnected, QStringLiteral("Disconnected"));
    if (!self)
        return;
    FSessionOpen = false;
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
    if (!FSessionOpen)
        return;
    FQuitSent = true; // the close that follows is the abort's, not the server's
    FRetriesLeft = -1;
    FRetryCancelled = true;
    if (FRetryLoop)
        FRetryLoop->quit();
    QPointer<TMFtp> self(this);
    if (HandleValid() || LookupPending())
        Disconnect(); // the close handling ends the session
    else if (!FRetryWait)
        EndSession(); // no connection was ever made (no socket to be had)
    if (self && OnAborted)
        OnAborted(*this);
}

// ------------------------------------------------------------- the replies

void TMFtp::ActOnReply(const QString& line) {
    if (FAborting) {
        OnAbortReply(line);
        return;
    }
    const QChar c = At(line, 0);
    const bool positive = c == u'2';
    switch (FReplyState) {
    case TReplyState::Greeting:
        OnGreetingReply(line);
        return;
    case TReplyState::ProxyOpen:
        if (positive)
            SendCommand(QStringLiteral("USER ") + Username, TReplyState::User);
        else
            FatalError(ftpeServerDown);
        return;
    case TReplyState::ProxyHost:
        if (c == u'3')
            SendCommand(QStringLiteral("USER ") + Username, TReplyState::User);
        else
            FatalError(ftpeServerDown);
        return;
    case TReplyState::ProxyUser:
    case TReplyState::ProxyPass:
        if (positive) {
            SendCommand(QStringLiteral("SITE ") + Server(), TReplyState::ProxySite);
        } else if (c == u'3' && FReplyState == TReplyState::ProxyUser) {
            if (ProxyPassword.isEmpty())
                ProxyPassword = NeedInfo(ftpnPassword);
            SendCommand(QStringLiteral("PASS ") + ProxyPassword, TReplyState::ProxyPass);
        } else {
            FatalError(ftpeAccessDenied);
        }
        return;
    case TReplyState::ProxySite:
        if (positive)
            SendCommand(QStringLiteral("USER ") + Username, TReplyState::User);
        else
            FatalError(ftpeProtocol);
        return;
    case TReplyState::User:
    case TReplyState::Pass:
    case TReplyState::Acct:
        OnLoginReply(line);
        return;
    case TReplyState::Syst:
        DetectServerType(line);
        SendCommand(QStringLiteral("REST 100"), TReplyState::RestProbe);
        return;
    case TReplyState::RestProbe:
        FCanResume = c == u'3';
        if (FCanResume)
            Info(ftpiCanResume, QStringLiteral("This site can resume broken downloads/uploads"));
        else
            Info(ftpiCannotResume, CannotResumeText);
        SendCommand(QStringLiteral("REST 0"), TReplyState::RestReset);
        return;
    case TReplyState::RestReset:
        if (!InitialDirectory.isEmpty())
            SendCommand(QStringLiteral("CWD ") + InitialDirectory, TReplyState::InitialCwd);
        else
            SendCommand(QStringLiteral("PWD"), TReplyState::Pwd);
        return;
    case TReplyState::InitialCwd:
    case TReplyState::Pwd:
        OnLoginDirectoryReply(line);
        return;
    case TReplyState::Quit:
        OnQuitReply(line);
        return;
    case TReplyState::Noop:
        if (line.startsWith(QLatin1String("50")))
            FNoopSupported = false;
        FBusy = false;
        SetReplyState(TReplyState::Idle);
        return;
    case TReplyState::Cwd:
    case TReplyState::PwdAfterCwd:
        OnDirectoryReply(line);
        return;
    case TReplyState::TypeForExistingFile:
        AskResume();
        return;
    case TReplyState::TypeForNewFile:
        if (positive)
            OpenDataConnection(TReplyState::DataCommand);
        else
            FatalError(ftpeProtocol);
        return;
    case TReplyState::Pasv:
        if (!positive)
            FatalError(ftpeProtocol);
        else if (ConnectPassive(line))
            DataConnectionOffered(FStateAfterPasv);
        return;
    case TReplyState::DataCommand:
    case TReplyState::ResumeDataCommand:
        if (positive)
            DataConnectionOffered(FReplyState);
        else
            FatalError(ftpeProtocol);
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
    case TReplyState::ResumeRest:
        if (c == u'3') {
            SendCommand(QStringLiteral("RETR ") + FRemoteName, TReplyState::Retr);
            return;
        }
        RefuseTransfer(ftpiResumeFailed, QStringLiteral("Failed in resuming downloading file"));
        return;
    case TReplyState::Idle:
        return;
    }
}

void TMFtp::OnGreetingReply(const QString& line) {
    FPending = TPendingCompletion::LoggedIn;
    if (!line.startsWith(u'2')) {
        FatalError(ftpeServerDown);
        return;
    }
    if (Username.isEmpty())
        Username = NeedInfo(ftpnUsername);
    if (FViaProxy) {
        SetServer(FRealServer);
        Port = FRealPort;
        FViaProxy = false;
    } else if (ServerType == ftpstAutoDetect &&
               line.contains(QLatin1String("NetTerm FTP server"))) {
        ServerType = ftpstNetTerm;
    }
    FirstLoginCommand();
}

void TMFtp::OnLoginReply(const QString& line) {
    const QChar c = At(line, 0);
    if (c == u'2') {
        ProbeStart();
    } else if (c == u'3' && FReplyState == TReplyState::User) {
        if (Password.isEmpty())
            Password = NeedInfo(ftpnPassword);
        SendCommand(QStringLiteral("PASS ") + Password, TReplyState::Pass);
    } else if (c == u'3' && FReplyState == TReplyState::Pass) {
        if (Account.isEmpty())
            Account = NeedInfo(ftpnAccount);
        SendCommand(QStringLiteral("ACCT ") + Account, TReplyState::Acct);
    } else {
        FatalError(ftpeAccessDenied);
    }
}

void TMFtp::OnLoginDirectoryReply(const QString& line) {
    const bool positive = line.startsWith(u'2');
    if (FReplyState == TReplyState::InitialCwd) {
        if (!positive) {
            SendCommand(QStringLiteral("PWD"), TReplyState::Pwd);
            return;
        }
        FCurrentDirectory = QuotedDirectory(line);
    } else {
        if (!positive) {
            FatalError(ftpeProtocol);
            return;
        }
        FCurrentDirectory = DriveLetterNormalised(QuotedDirectory(line));
    }
    Info(ftpiLoggedIn, QStringLiteral("Logged in"));
    SetReplyState(TReplyState::Idle);
    Ready();
}

void TMFtp::OnQuitReply(const QString& line) {
    FLoggedIn = false;
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
    SetReplyState(TReplyState::Idle);
    Ready();
}

void TMFtp::OnRetrReply(const QString& line) {
    const QChar c = At(line, 0);
    if (c == u'1') {
        FTransferBegun = true;
        const qsizetype open = line.indexOf(u'(');
        if (open >= 0) {
            const qsizetype blank = line.indexOf(u' ', open + 1);
            const QString size = line.mid(open + 1, blank < 0 ? -1 : blank - open - 1);
            bool number = false;
            const qint64 announced = size.toLongLong(&number);
            FAnnouncedSize = number && announced >= 0 && FResumeFrom == 0 ? announced : -1;
            Info(ftpiSize, size);
        } else if (FTransferSize >= 0) {
            // Many servers name no size here ("125 Data connection already
            // open"): SIZE's answer stands in.
            Info(ftpiSize, QString::number(FTransferSize));
        }
    } else if (c == u'2') {
        FReplyDone = true;
        SetReplyState(TReplyState::Idle);
        CompleteTransfer();
    } else {
        // Refused after it had begun (426, 451, ...): the file is not whole.
        if (FTransferBegun)
            FTransferFailure = line;
        RefuseTransfer(ftpiFailed, QStringLiteral("Access denied or file not found"));
    }
}

void TMFtp::OnTransferSizeReply(const QString& line) {
    // Only a plain "213 <digits>" counts; anything else (a refusal, a server
    // without SIZE, a text) leaves the download as it would have been.
    bool number = false;
    const qint64 size = line.startsWith(QLatin1String("213 ")) ? line.mid(4).trimmed().toLongLong(&number)
                                                              : -1;
    FTransferSize = number && size >= 0 ? size : -1;
    OpenDataConnection(TReplyState::DataCommand);
}

void TMFtp::OnSizeReply(const QString& line) {
    if (line.startsWith(QLatin1String("50"))) {
        SizeUnsupported();
        return;
    }
    bool number = false;
    FRemoteSize = line.mid(4).trimmed().toLongLong(&number);
    if (!line.startsWith(u'2') || !number) {
        StartFreshDownload();
        return;
    }
    struct stat st {};
    const qint64 local = ::fstat(FFile, &st) == 0 ? qint64(st.st_size) : 0;
    if (local > FRemoteSize || local == 0) {
        Info(ftpiCannotResume,
             QStringLiteral("I don't know how to resume this file, I will overwrite it."));
        StartFreshDownload();
    } else if (local == FRemoteSize) {
        Info(ftpiAlreadyComplete, QStringLiteral("I am afraid I have nothing to do."));
        CancelDownload();
    } else {
        ::lseek(FFile, local, SEEK_SET);
        FResumeFrom = local;
        OpenDataConnection(TReplyState::ResumeDataCommand);
    }
}

void TMFtp::OnAbortReply(const QString& line) {
    // After ABOR come the aborted command's reply (426, or 226 when it had
    // just finished) and ABOR's own (226 or 225), in either order; both are
    // taken here before the session goes on, so that neither is mistaken
    // for the reply to a later command.
    const QChar c = At(line, 0);
    if (c == u'1')
        return;
    if (FAbortRepliesLeft == 2 && FReplyState == TReplyState::Retr) {
        if (c == u'2') {
            FReplyDone = true;
        } else {
            DisconnectDataSockets();
            CloseLocalFile();
            Info(ftpiFailed, QStringLiteral("Access denied or file not found"));
        }
    }
    if (--FAbortRepliesLeft > 0)
        return;
    FClosingTimer->stop();
    SetReplyState(TReplyState::Idle);
    Ready();
}
