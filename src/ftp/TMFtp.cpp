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

Q_LOGGING_CATEGORY(lcFtp, "zephyn.ftp", QtWarningMsg)

namespace {

// The component's own posted messages.
constexpr int QuitMessage = 1026;
constexpr int ReadyMessage = 1028;

// How long the replies to QUIT and to ABOR are awaited before the connection
// is closed all the same.
constexpr int ClosingReplyMs = 5000;
// Work per notification: so much of the control connection, so many blocks
// of the data connection; the rest waits for the next turn of the event loop.
constexpr qsizetype MaxReplyBytesPerNotification = 64 * 1024;
constexpr int MaxBlocksPerNotification = 64;

const char* StateName(TReplyState state) {
    switch (state) {
    case TReplyState::Greeting:
        return "Greeting";
    case TReplyState::User:
        return "User";
    case TReplyState::Pass:
        return "Pass";
    case TReplyState::Acct:
        return "Acct";
    case TReplyState::Syst:
        return "Syst";
    case TReplyState::Pwd:
        return "Pwd";
    case TReplyState::Pasv:
        return "Pasv";
    case TReplyState::TypeForExistingFile:
        return "TypeForExistingFile";
    case TReplyState::TypeForNewFile:
        return "TypeForNewFile";
    case TReplyState::DataCommand:
        return "DataCommand";
    case TReplyState::Retr:
        return "Retr";
    case TReplyState::Cwd:
        return "Cwd";
    case TReplyState::PwdAfterCwd:
        return "PwdAfterCwd";
    case TReplyState::Quit:
        return "Quit";
    case TReplyState::Noop:
        return "Noop";
    case TReplyState::Idle:
        return "Idle";
    case TReplyState::RestProbe:
        return "RestProbe";
    case TReplyState::RestReset:
        return "RestReset";
    case TReplyState::InitialCwd:
        return "InitialCwd";
    case TReplyState::ResumeSize:
        return "ResumeSize";
    case TReplyState::ResumeDataCommand:
        return "ResumeDataCommand";
    case TReplyState::ResumeRest:
        return "ResumeRest";
    case TReplyState::ProxyOpen:
        return "ProxyOpen";
    case TReplyState::ProxyHost:
        return "ProxyHost";
    case TReplyState::ProxyUser:
        return "ProxyUser";
    case TReplyState::ProxyPass:
        return "ProxyPass";
    case TReplyState::ProxySite:
        return "ProxySite";
    }
    return "?";
}

const QString BusyText = QStringLiteral("The component is busy doing something");
const QString CannotResumeText = QStringLiteral("This site cannot resume broken downloads/uploads");

QChar At(const QString& s, int i) {
    return i < s.size() ? s[i] : QChar();
}

} // namespace

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
    FtpError code = ftpeInternal;
    QString text;
    switch (e) {
    case WSAENETDOWN:
        code = ftpeNetworkDown;
        text = QStringLiteral("Network down");
        break;
    case WSAEACCES:
        code = ftpeInvalidAddress;
        text = QStringLiteral("Invalid address specified");
        break;
    case WSAEINVAL:
        code = ftpeInternal;
        break;
    case WSAENETRESET:
    case WSAENOBUFS:
        code = ftpeWinsock;
        text = QStringLiteral("General Winsock Error");
        break;
    case WSAECONNABORTED:
        code = ftpeConnectionAborted;
        text = QStringLiteral("Connection aborted due to timeout or other failure");
        break;
    case WSAECONNRESET:
        code = ftpeConnectionReset;
        text = QStringLiteral("Connection reset by remote side");
        break;
    case WSAETIMEDOUT:
        code = ftpeTimedOut;
        text = QStringLiteral("Connection timed out");
        break;
    case WSAEMFILE:
        code = ftpeNoSockets;
        text = QStringLiteral("Out of sockets");
        break;
    case WSAENETUNREACH:
        code = ftpeNetworkUnreachable;
        text = QStringLiteral("Network unreachable");
        break;
    case WSAEADDRNOTAVAIL:
        code = ftpeAddressNotAvailable;
        text = QStringLiteral("Address not available");
        break;
    case WSAECONNREFUSED:
        code = ftpeConnectionRefused;
        text = QStringLiteral("Connection Refused");
        break;
    case WSAEHOSTUNREACH:
        code = ftpeHostUnreachable;
        text = QStringLiteral("Host unreachable");
        break;
    case WSAHOST_NOT_FOUND:
    case WSATRY_AGAIN:
    case WSANO_RECOVERY:
    case WSANO_DATA:
        code = ftpeResolution;
        text = QStringLiteral("Address resolution error");
        break;
    default:
        text = QStringLiteral("Unexpected internal error in component (WinSock Error Code: %1)")
                   .arg(e);
        break;
    }
    FLastErrorText = text;
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
        FSilentSeconds = 0;
        const QByteArray bytes = FReplies.Append(FReplyBuffer.data(), n);
        Info(ftpiReceived, TAnsiCodec::Decode(bytes));
        if (!self || connection != FConnection)
            return;
        QByteArray line;
        TFtpReplyReader::TNext next;
        while ((next = FReplies.Next(line)) == TFtpReplyReader::TNext::Reply) {
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
    TEvent* event = nullptr;
    switch (pending) {
    case TPendingCompletion::None:
        break;
    case TPendingCompletion::LoggedIn:
        FLoggedIn = true;
        event = &OnLoggedIn;
        break;
    case TPendingCompletion::DirectoryChanged:
    case TPendingCompletion::DirectoryChanged2:
        event = &OnDirectoryChanged;
        break;
    case TPendingCompletion::DirectoryCreated:
        event = &OnDirectoryCreated;
        break;
    case TPendingCompletion::DirectoryDeleted:
        event = &OnDirectoryDeleted;
        break;
    case TPendingCompletion::FileDeleted:
        event = &OnFileDeleted;
        break;
    case TPendingCompletion::IndexFileReceived:
        event = &OnIndexFileReceived;
        break;
    case TPendingCompletion::FileReceived:
        event = &OnFileReceived;
        break;
    case TPendingCompletion::FileStored:
        event = &OnFileStored;
        break;
    case TPendingCompletion::ListingDone:
        event = &OnListingDone;
        break;
    case TPendingCompletion::FileRenamed:
        event = &OnFileRenamed;
        break;
    }
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
    if (BeginOperation() && SendCommand(QStringLiteral("QUIT"), TReplyState::Quit))
        FClosingTimer->start();
}

void TMFtp::ControlClosed() {
    if (FRetryWait)
        return;
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
        const qsizetype open = line.indexOf(u'(');
        if (open >= 0) {
            const qsizetype blank = line.indexOf(u' ', open + 1);
            Info(ftpiSize, line.mid(open + 1, blank < 0 ? -1 : blank - open - 1));
        }
    } else if (c == u'2') {
        FReplyDone = true;
        SetReplyState(TReplyState::Idle);
        CompleteTransfer();
    } else {
        RefuseTransfer(ftpiFailed, QStringLiteral("Access denied or file not found"));
    }
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

// ---------------------------------------------------------------- transfers

void TMFtp::ChangeDirectory(const QString& directory) {
    if (!BeginOperation())
        return;
    FPending = TPendingCompletion::DirectoryChanged;
    SendCommand(QStringLiteral("CWD ") + directory, TReplyState::Cwd);
}

void TMFtp::GetFile(const QString& remoteName, const QString& localPath) {
    if (!BeginOperation())
        return;
    FPending = TPendingCompletion::FileReceived;
    FRemoteName = remoteName;
    if (remoteName.isEmpty()) {
        ReportError(ftpeFileNotFound);
        Ready();
        return;
    }
    if (localPath.isEmpty()) {
        ReportError(ftpeFileOpen);
        Ready();
        return;
    }
    CloseLocalFile();
    const QByteArray path = QFile::encodeName(localPath);
    // Never through a link, and only ever a plain file: a link or a device at
    // that name is refused, not followed or truncated.
    struct stat st {};
    const bool exists = ::lstat(path.constData(), &st) == 0;
    FFile = ::open(path.constData(),
                   O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (exists ? 0 : O_CREAT | O_EXCL),
                   0644);
    if (FFile >= 0 && (::fstat(FFile, &st) != 0 || !S_ISREG(st.st_mode)))
        CloseLocalFile();
    if (FFile < 0) {
        ReportError(ftpeFileOpen);
        Ready();
        return;
    }
    const TReplyState next =
        exists ? TReplyState::TypeForExistingFile : TReplyState::TypeForNewFile;
    FDataDone = false;
    FReplyDone = false;
    FResumeFrom = 0;
    WatchReplies();
    const QString type = TransferMode == BinaryTransfer ? QStringLiteral("I") : QStringLiteral("A");
    if (type != FLastType) {
        FLastType = type;
        SendCommand(QStringLiteral("TYPE ") + type, next);
    } else if (exists) {
        AskResume();
    } else {
        OpenDataConnection(TReplyState::DataCommand);
    }
}

void TMFtp::AskResume() {
    FRemoteSize = 0;
    const QString answer = NeedInfo(ftpnResume);
    if (answer == QLatin1String("Resume")) {
        if (!FCanResume) {
            Info(ftpiCannotResume, CannotResumeText);
            CancelDownload();
        } else if (FSizeSupported) {
            SendCommand(QStringLiteral("SIZE ") + FRemoteName, TReplyState::ResumeSize);
        } else {
            SizeUnsupported();
        }
    } else if (answer == QLatin1String("Overwrite") || answer.isEmpty()) {
        StartFreshDownload();
    } else {
        CancelDownload();
    }
}

void TMFtp::SizeUnsupported() {
    // No SIZE here: the download starts again from the first byte.
    FSizeSupported = false;
    Info(ftpiCannotResume, CannotResumeText);
    StartFreshDownload();
}

void TMFtp::StartFreshDownload() {
    // Written from the first byte, and no stale tail of a longer old file.
    if (FFile >= 0) {
        if (::ftruncate(FFile, 0) != 0) {
            ReportError(ftpeFileWrite);
            CloseLocalFile();
        } else {
            ::lseek(FFile, 0, SEEK_SET);
        }
    }
    FResumeFrom = 0;
    OpenDataConnection(TReplyState::DataCommand);
}

void TMFtp::OpenDataConnection(TReplyState dataState) {
    if (Passive) {
        FStateAfterPasv = dataState;
        SendCommand(QStringLiteral("PASV"), TReplyState::Pasv);
        return;
    }
    QString argument;
    if (OpenListener(argument))
        SendCommand(QStringLiteral("PORT ") + argument, dataState);
}

bool TMFtp::OpenListener(QString& argument) {
    const QString local = LocalAddress();
    FListener->RecreateSocket();
    FListener->SetAddress(local);
    FListener->SetPort(0);
    FListener->Listen();
    if (!Classify(*FListener))
        return false;
    const QString address = FListener->LocalAddress();
    const quint16 port = FListener->LocalPort();
    argument = QString(address).replace(u'.', u',') +
               QStringLiteral(",%1,%2").arg(port / 256).arg(port % 256);
    return true;
}

bool TMFtp::ConnectPassive(const QString& line) {
    const qsizetype open = line.indexOf(u'(');
    const qsizetype close = open < 0 ? -1 : line.indexOf(u')', open + 1);
    const QStringList fields = open < 0 || close < 0
                                   ? QStringList()
                                   : line.mid(open + 1, close - open - 1).trimmed().split(u',');
    bool ok = fields.size() == 6;
    int values[6] = {};
    for (int i = 0; ok && i < 6; ++i)
        values[i] = fields[i].trimmed().toInt(&ok);
    const int port = values[4] * 256 + values[5];
    if (!ok || values[4] < 0 || values[4] > 255 || values[5] < 0 || values[5] > 255 || port == 0) {
        FatalError(ftpeProtocol);
        return false;
    }
    // The data connection goes to the server this session talks to, whatever
    // address the reply names: a server cannot send the client elsewhere.
    FData->RecreateSocket();
    FData->SetAddress(AddressText());
    FData->SetPort(static_cast<quint16>(port));
    FData->OnConnect = nullptr;
    FData->Connect();
    if (FData->LastSocketError != 0) {
        FatalError(ftpeDataTransfer);
        return false;
    }
    return true;
}

void TMFtp::DataConnectionOffered(TReplyState dataState) {
    // The data connection is on its way (PORT accepted, or PASV connecting):
    // its events are wired, then RETR (or REST first, to resume) goes out.
    if (Passive) {
        FData->OnConnect = [this](TMSocket&) { DataConnected(); };
    } else {
        FListener->OnAccept = [this](TMSocket&) { DataConnected(); };
        // A server quick to connect may have come before this wiring.
        if (FListener->AcceptPending())
            DataConnected();
    }
    if (dataState == TReplyState::ResumeDataCommand)
        SendCommand(QStringLiteral("REST ") + QString::number(FResumeFrom),
                    TReplyState::ResumeRest);
    else
        SendCommand(QStringLiteral("RETR ") + FRemoteName, TReplyState::Retr);
}

void TMFtp::DataConnected() {
    if (!Passive) {
        FData->Accept(*FListener);
        // Only the server of this session may connect.
        if (FData->LastSocketError == 0 && FData->AddressText() != AddressText()) {
            FData->CloseSilently();
            return;
        }
    }
    const quint16 error = FData->LastSocketError;
    if (error == 0) {
        FData->StartCountdown(0); // connected: the connect time-out is over
        BytesTransferred = 0;
        FAborting = false;
    } else if (!FAborting && error != WSAENOTSOCK) {
        FatalError(ftpeDataTransfer);
    }
}

void TMFtp::DownloadReader() {
    QPointer<TMFtp> self(this);
    for (int block = 0; block < MaxBlocksPerNotification; ++block) {
        const qint64 n = FData->Receive(FDataBuffer.data(), qint64(FDataBuffer.size()));
        const quint16 error = FData->LastSocketError;
        if (error != 0) {
            if (!FAborting && error != WSAENOTSOCK)
                FatalError(ftpeDataTransfer);
            return;
        }
        if (n <= 0)
            return;
        FSilentSeconds = 0;
        // Stored before it is reported, so that nothing the report handler
        // lets happen can come between the block and the file.
        if (FFile >= 0 && !WriteBlock(n)) {
            // Counted, not stored, from here on.
            CloseLocalFile();
            ReportError(ftpeFileWrite);
            if (!self)
                return;
        }
        BytesTransferred += static_cast<quint64>(n);
        Info(ftpiProgress, QString());
        if (!self || !FData->HandleValid())
            return;
    }
}

bool TMFtp::WriteBlock(qint64 length) {
    qint64 written = 0;
    while (written < length) {
        const ssize_t w =
            ::write(FFile, FDataBuffer.data() + written, static_cast<size_t>(length - written));
        if (w <= 0)
            return false;
        written += w;
    }
    return true;
}

void TMFtp::DownloadClosed() {
    QPointer<TMFtp> self(this);
    DownloadReader();
    if (!self)
        return;
    DisconnectDataSockets();
    CloseLocalFile();
    Info(ftpiTransferDone, QStringLiteral("Transfer done"));
    if (!self)
        return;
    FDataDone = true;
    CompleteTransfer();
}

void TMFtp::CompleteTransfer() {
    // Both halves: the final reply and the data connection's close, in either
    // order. An abort finishes through its own replies instead.
    if (FReplyDone && FDataDone && !FAborting)
        Ready();
}

void TMFtp::RefuseTransfer(FtpInfo info, const QString& text) {
    QPointer<TMFtp> self(this);
    DisconnectDataSockets();
    CloseLocalFile();
    Info(info, text);
    if (!self)
        return;
    SetReplyState(TReplyState::Idle);
    Ready();
}

void TMFtp::CloseLocalFile() {
    if (FFile >= 0) {
        ::close(FFile);
        FFile = -1;
    }
}

void TMFtp::CancelDownload() {
    CloseLocalFile();
    FPending = TPendingCompletion::None;
    SetReplyState(TReplyState::Idle);
    Ready();
}

void TMFtp::DisconnectDataSockets() {
    FData->Disconnect();
    FListener->Disconnect();
}

void TMFtp::DropTransfer() {
    // Without any event: nothing of a transfer is reported once it is dropped.
    FData->CloseSilently();
    FListener->CloseSilently();
    CloseLocalFile();
}

void TMFtp::AbortTransfer() {
    if (FAborting || (FReplyDone && FDataDone))
        return;
    FAborting = true;
    // The aborted command's reply, unless it is already in, and ABOR's own.
    FAbortRepliesLeft = FReplyState == TReplyState::Idle ? 1 : 2;
    FClosingTimer->start();
    // Telnet interrupt, then the data mark as urgent data, so that the server
    // looks at the control connection even while it is busy sending.
    static const char interrupt[] = {char(255), char(244)};
    static const char mark[] = {char(255), char(242)};
    if (!SendRaw(interrupt, 2, false) || !SendRaw(mark, 2, true))
        return;
    if (!SendCommand(QStringLiteral("ABOR"), FReplyState))
        return;
    SendRaw(mark, 2, false);
}
