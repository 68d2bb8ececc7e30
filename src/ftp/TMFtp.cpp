#include "ftp/TMFtp.h"
#include "platform/TAnsiCodec.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The component's own posted messages.
constexpr int QuitMessage = 1026;
constexpr int QuitReplyMs = 5000; // how long QUIT's reply is awaited
constexpr int ReadyMessage = 1028;

constexpr qsizetype MaxReplyReadPerNotification = 64 * 1024;

const QString BusyText = QStringLiteral("The component is busy doing something");
const QString CannotResumeText = QStringLiteral("This site cannot resume broken downloads/uploads");

QChar At(const QString& s, int i) {
    return i < s.size() ? s[i] : QChar();
}

} // namespace

TMFtp::TMFtp(QObject* owner)
    : TMSocket(owner), FNoopTimer(new QTimer(this)), FQuitTimer(new QTimer(this)),
      FData(new TMSocket(this)), FListener(new TMSocket(this)) {
    FNoopTimer->setInterval(30 * 1000);
    // A QUIT that gets no reply ends the session all the same.
    FQuitTimer->setSingleShot(true);
    FQuitTimer->setInterval(QuitReplyMs);
    connect(FQuitTimer, &QTimer::timeout, this, [this] {
        if (FReplyState == TReplyState::Quit && SocketConnected)
            Disconnect();
    });
    connect(FNoopTimer, &QTimer::timeout, this, [this] { KeepAlive(); });
    OnMessage = [this](int message) { MessageHandler(message); };
    OnConnect = [this](TMSocket&) { ControlConnected(); };
    OnClose = [this](TMSocket&) { ControlClosed(); };
    OnRead = [this](TMSocket&) { ReadReplies(); };
    OnTimeout = [this](TMSocket&) { ControlTimedOut(); };
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
    ReportError(error);
    if (!self)
        return;
    if (FData->SocketConnected)
        FData->Disconnect();
    if (FListener->HandleValid())
        FListener->Disconnect();
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
    FReplyState = TReplyState::Greeting;
    LastSocketError = 0;
    FCurrentDirectory.clear();
    FReplies.Clear();
    ++FConnection;
    FLastError = ftpeNone;
    FNoopSupported = FSizeSupported = FRecursiveRmdSupported = true;
    FCanResume = false;
    FLastType.clear();
    --FRetriesLeft;
    RecreateSocket();

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
    FReplyState = TReplyState::Greeting;
    Info(ftpiConnected, FConnectAddress);
    FConnected = true;
    FReplies.Clear();
    FInReply = false;
}

void TMFtp::ControlTimedOut() {
    FLastErrorText = QStringLiteral("Connection timed out");
    FatalError(ftpeTimedOut);
}

void TMFtp::ReadReplies() {
    if (FInReply)
        return;
    QPointer<TMFtp> self(this);
    const quint64 connection = FConnection;
    // At most so much per notification: the rest waits for the next one, so
    // that a flood of replies never keeps the event loop from running.
    for (qsizetype taken = 0; taken < MaxReplyReadPerNotification;) {
        const qint64 n = Receive(FReplyBuffer.data(), qint64(FReplyBuffer.size()));
        if (!Classify(*this))
            return;
        if (n <= 0)
            return;
        taken += n;
        const QByteArray bytes = FReplies.Append(FReplyBuffer.data(), n);
        Info(ftpiReceived, TAnsiCodec::Decode(bytes));
        if (!self || connection != FConnection)
            return;
        QByteArray line;
        TFtpReplyReader::TNext next;
        while ((next = FReplies.Next(line)) == TFtpReplyReader::TNext::Reply) {
            FInReply = true;
            ActOnReply(TAnsiCodec::Decode(line));
            if (!self)
                return;
            FInReply = false;
            // Lines of a connection since closed never act on the next one.
            if (connection != FConnection)
                return;
        }
        if (next == TFtpReplyReader::TNext::ProtocolError) {
            FatalError(ftpeProtocol);
            return;
        }
        if (!HandleValid())
            return;
    }
}

void TMFtp::FeedReply(const char* line, TReplyState state) {
    FReplyState = state;
    ActOnReply(QString::fromLatin1(line));
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
    FReplyState = next;
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
    FNoopTimer->start();
    if (OnFtpReady)
        OnFtpReady(*this);
    if (!self)
        return;
    if (FAborting) {
        FData->Disconnect();
        FListener->Disconnect();
        FAborting = false;
    }
    const TPendingCompletion pending = FPending;
    FPending = TPendingCompletion::None;
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
        FQuitTimer->start();
}

void TMFtp::ControlClosed() {
    if (FRetryWait)
        return;
    QPointer<TMFtp> self(this);
    if (!FLoggedIn && FRetriesLeft >= 0 && FLastError != ftpeNone) {
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
    FConnected = false;
    FReplyState = TReplyState::Idle;
    Info(ftpiDisconnected, QStringLiteral("Disconnected"));
    if (!self)
        return;
    PostMessage(QuitMessage);
    FPending = TPendingCompletion::None;
    Ready();
}

void TMFtp::Abort() {
    switch (FPending) {
    case TPendingCompletion::None:
    case TPendingCompletion::LoggedIn: {
        if (FLoggedIn)
            return;
        FRetriesLeft = -1;
        FRetryCancelled = true;
        if (FRetryLoop)
            FRetryLoop->quit();
        QPointer<TMFtp> self(this);
        // Cancels a pending lookup or connect too; the close handling ends
        // the session with "Disconnected" and the quit message.
        Disconnect();
        if (self && OnAborted)
            OnAborted(*this);
        return;
    }
    case TPendingCompletion::IndexFileReceived:
    case TPendingCompletion::FileReceived:
    case TPendingCompletion::FileStored:
    case TPendingCompletion::ListingDone:
        AbortTransfer();
        return;
    default:
        return;
    }
}

// ------------------------------------------------------------- the replies

void TMFtp::ActOnReply(const QString& line) {
    const QChar c = At(line, 0);
    const bool positive = c == u'2';
    switch (FReplyState) {
    // Login.
    case TReplyState::Greeting:
        FPending = TPendingCompletion::LoggedIn;
        if (!positive) {
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
        if (positive) {
            SendCommand(QStringLiteral("SITE ") + Server(), TReplyState::ProxySite);
        } else if (c == u'3') {
            if (ProxyPassword.isEmpty())
                ProxyPassword = NeedInfo(ftpnPassword);
            SendCommand(QStringLiteral("PASS ") + ProxyPassword, TReplyState::ProxyPass);
        } else {
            FatalError(ftpeAccessDenied);
        }
        return;
    case TReplyState::ProxyPass:
        if (positive)
            SendCommand(QStringLiteral("SITE ") + Server(), TReplyState::ProxySite);
        else
            FatalError(ftpeAccessDenied);
        return;
    case TReplyState::ProxySite:
        if (positive)
            SendCommand(QStringLiteral("USER ") + Username, TReplyState::User);
        else
            FatalError(ftpeProtocol);
        return;
    case TReplyState::User:
        if (positive) {
            ProbeStart();
        } else if (c == u'3') {
            if (Password.isEmpty())
                Password = NeedInfo(ftpnPassword);
            SendCommand(QStringLiteral("PASS ") + Password, TReplyState::Pass);
        } else {
            FatalError(ftpeAccessDenied);
        }
        return;
    case TReplyState::Pass:
        if (positive) {
            ProbeStart();
        } else if (c == u'3') {
            if (Account.isEmpty())
                Account = NeedInfo(ftpnAccount);
            SendCommand(QStringLiteral("ACCT ") + Account, TReplyState::Acct);
        } else {
            FatalError(ftpeAccessDenied);
        }
        return;
    case TReplyState::Acct:
        if (positive)
            ProbeStart();
        else
            FatalError(ftpeAccessDenied);
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
        if (!positive) {
            SendCommand(QStringLiteral("PWD"), TReplyState::Pwd);
            return;
        }
        FCurrentDirectory = QuotedDirectory(line);
        Info(ftpiLoggedIn, QStringLiteral("Logged in"));
        FReplyState = TReplyState::Idle;
        Ready();
        return;
    case TReplyState::Pwd:
        if (!positive) {
            FatalError(ftpeProtocol);
            return;
        }
        FCurrentDirectory = DriveLetterNormalised(QuotedDirectory(line));
        Info(ftpiLoggedIn, QStringLiteral("Logged in"));
        FReplyState = TReplyState::Idle;
        Ready();
        return;
    case TReplyState::Quit: {
        FLoggedIn = false;
        FReplyState = TReplyState::Idle;
        FQuitTimer->stop();
        QPointer<TMFtp> self(this);
        if (!positive)
            FatalError(ftpeNone);
        // Whatever QUIT's reply is, the session is over: a server that took
        // something else for QUIT (a stray reply to ABOR, say) would
        // otherwise keep the connection open until its idle time-out.
        if (self && SocketConnected)
            Disconnect();
        return;
    }
    case TReplyState::Noop:
        if (line.startsWith(QLatin1String("50")))
            FNoopSupported = false;
        FBusy = false;
        return;

    // Changing the directory.
    case TReplyState::Cwd:
        if (positive && line.contains(u'"')) {
            FCurrentDirectory = QuotedDirectory(line);
            FReplyState = TReplyState::Idle;
            Ready();
        } else if (positive) {
            SendCommand(QStringLiteral("PWD"), TReplyState::PwdAfterCwd);
        } else {
            Info(ftpiFailed, QStringLiteral("Access denied or file not found"));
            FReplyState = TReplyState::Idle;
            Ready();
        }
        return;
    case TReplyState::PwdAfterCwd:
        if (positive)
            FCurrentDirectory = DriveLetterNormalised(QuotedDirectory(line));
        else
            Info(ftpiFailed, QStringLiteral("Access denied or file not found"));
        FReplyState = TReplyState::Idle;
        Ready();
        return;

    // Downloading.
    case TReplyState::TypeForExistingFile: {
        FRemoteSize = 0;
        const QString answer = NeedInfo(ftpnResume);
        if (answer == QLatin1String("Resume")) {
            if (!FCanResume) {
                Info(ftpiCannotResume, CannotResumeText);
                CancelDownload();
            } else if (FSizeSupported) {
                SendCommand(QStringLiteral("SIZE ") + FRemoteName, TReplyState::ResumeSize);
            } else {
                FeedReply("500", TReplyState::ResumeSize);
            }
        } else if (answer == QLatin1String("Overwrite") || answer.isEmpty()) {
            StartFreshDownload(TReplyState::TypeForNewFile);
        } else {
            CancelDownload();
        }
        return;
    }
    case TReplyState::TypeForNewFile:
        if (positive)
            OpenDataConnection(TReplyState::DataCommand);
        else
            FatalError(ftpeProtocol);
        return;
    case TReplyState::Pasv:
        if (!positive) {
            FatalError(ftpeProtocol);
            return;
        }
        if (ConnectPassive(line))
            FeedReply("299", FStateAfterPasv);
        return;
    case TReplyState::DataCommand:
        if (!positive) {
            FatalError(ftpeProtocol);
            return;
        }
        WireDataSocket();
        SendCommand(QStringLiteral("RETR ") + FRemoteName, TReplyState::Retr);
        return;
    case TReplyState::Retr:
        if (c == u'1') {
            const qsizetype open = line.indexOf(u'(');
            if (open >= 0) {
                const qsizetype blank = line.indexOf(u' ', open + 1);
                Info(ftpiSize, line.mid(open + 1, blank < 0 ? -1 : blank - open - 1));
            }
        } else if (positive) {
            FReplyDone = true;
            if (FDataDone)
                Ready();
            FReplyState = TReplyState::Idle;
        } else {
            DisconnectDataSockets();
            CloseLocalFile();
            Info(ftpiFailed, QStringLiteral("Access denied or file not found"));
            FReplyState = TReplyState::Idle;
            Ready();
        }
        return;
    case TReplyState::ResumeSize: {
        if (c == u'5' && At(line, 1) == u'0') {
            // No SIZE here: the download starts again from the first byte.
            FSizeSupported = false;
            Info(ftpiCannotResume, CannotResumeText);
            StartFreshDownload(TReplyState::TypeForNewFile);
            return;
        }
        bool number = false;
        FRemoteSize = line.mid(4).trimmed().toLongLong(&number);
        if (!positive || !number) {
            StartFreshDownload(TReplyState::TypeForNewFile);
            return;
        }
        struct stat st {};
        const qint64 local = ::fstat(FFile, &st) == 0 ? qint64(st.st_size) : 0;
        if (local > FRemoteSize || local == 0) {
            Info(ftpiCannotResume,
                 QStringLiteral("I don't know how to resume this file, I will overwrite it."));
            StartFreshDownload(TReplyState::TypeForNewFile);
        } else if (local == FRemoteSize) {
            Info(ftpiAlreadyComplete, QStringLiteral("I am afraid I have nothing to do."));
            CancelDownload();
        } else {
            ::lseek(FFile, local, SEEK_SET);
            FResumeFrom = local;
            FeedReply("299", TReplyState::ResumeContinue);
        }
        return;
    }
    case TReplyState::ResumeContinue:
        if (positive)
            OpenDataConnection(TReplyState::ResumeDataCommand);
        else
            FatalError(ftpeProtocol);
        return;
    case TReplyState::ResumeDataCommand:
        if (!positive) {
            FatalError(ftpeProtocol);
            return;
        }
        WireDataSocket();
        SendCommand(QStringLiteral("REST ") + QString::number(FResumeFrom),
                    TReplyState::ResumeRest);
        return;
    case TReplyState::ResumeRest:
        if (c == u'3') {
            SendCommand(QStringLiteral("RETR ") + FRemoteName, TReplyState::Retr);
            return;
        }
        DisconnectDataSockets();
        CloseLocalFile();
        Info(ftpiResumeFailed, QStringLiteral("Failed in resuming downloading file"));
        FReplyState = TReplyState::Idle;
        Ready();
        return;
    case TReplyState::Idle:
        return;
    }
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
    FLocalName = localPath;
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
    const QString type = TransferMode == BinaryTransfer ? QStringLiteral("I") : QStringLiteral("A");
    if (type != FLastType) {
        FLastType = type;
        SendCommand(QStringLiteral("TYPE ") + type, next);
    } else {
        FeedReply("299", next);
    }
}

void TMFtp::StartFreshDownload(TReplyState state) {
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
    FeedReply("299", state);
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
    if (!ok || values[4] < 0 || values[4] > 255 || values[5] < 0 || values[5] > 255) {
        FatalError(ftpeProtocol);
        return false;
    }
    // The data connection goes to the server this session talks to, whatever
    // address the reply names: a server cannot send the client elsewhere.
    FData->RecreateSocket();
    FData->SetAddress(AddressText());
    FData->SetPort(static_cast<quint16>(values[4] * 256 + values[5]));
    FData->OnConnect = nullptr;
    FData->Connect();
    if (FData->LastSocketError != 0) {
        FatalError(ftpeDataTransfer);
        return false;
    }
    return true;
}

void TMFtp::WireDataSocket() {
    FData->OnRead = [this](TMSocket&) { DownloadReader(); };
    FData->OnClose = [this](TMSocket&) { DownloadClosed(); };
    FData->OnWrite = nullptr;
    if (Passive) {
        FData->OnConnect = [this](TMSocket&) { DataConnected(); };
    } else {
        FListener->OnAccept = [this](TMSocket&) { DataConnected(); };
        // A server quick to connect may have come before this wiring.
        if (FListener->AcceptPending())
            DataConnected();
    }
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
        BytesTransferred = 0;
        FAborting = false;
    } else if (!FAborting && error != WSAENOTSOCK) {
        FatalError(ftpeDataTransfer);
    }
}

void TMFtp::DownloadReader() {
    const qint64 n = FData->Receive(FDataBuffer.data(), qint64(FDataBuffer.size()));
    const quint16 error = FData->LastSocketError;
    if (error != 0) {
        if (!FAborting && error != WSAENOTSOCK)
            FatalError(ftpeDataTransfer);
        return;
    }
    if (n <= 0)
        return;
    BytesTransferred += static_cast<quint64>(n);
    QPointer<TMFtp> self(this);
    Info(ftpiProgress, QString());
    if (!self || FFile < 0)
        return;
    qint64 written = 0;
    while (written < n) {
        const ssize_t w =
            ::write(FFile, FDataBuffer.data() + written, static_cast<size_t>(n - written));
        if (w <= 0)
            break;
        written += w;
    }
    if (written != n) {
        // Counted, not stored, from here on.
        CloseLocalFile();
        ReportError(ftpeFileWrite);
    }
}

void TMFtp::DownloadClosed() {
    QPointer<TMFtp> self(this);
    if (FData->OnRead)
        DownloadReader();
    if (!self)
        return;
    DisconnectDataSockets();
    CloseLocalFile();
    Info(ftpiTransferDone, QStringLiteral("Transfer done"));
    if (!self)
        return;
    FDataDone = true;
    if (FReplyDone)
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
    FReplyState = TReplyState::Idle;
    Ready();
}

void TMFtp::DisconnectDataSockets() {
    FData->Disconnect();
    FListener->Disconnect();
}

void TMFtp::AbortTransfer() {
    if (FAborting)
        return;
    FAborting = true;
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
