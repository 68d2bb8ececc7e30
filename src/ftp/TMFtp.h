#pragma once
#include "ftp/TFtpReplyReader.h"
#include "ftp/TMSocket.h"
#include "platform/TDownloadFile.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <functional>

class QTimer;

enum TMFtpServerType {
    ftpstAutoDetect,
    ftpstDefault,
    ftpstUNIX,
    ftpstULTRIX,
    ftpstClix,
    ftpstChameleon,
    ftpstNCSA,
    ftpstQVT,
    ftpstBSD,
    ftpstSunOS,
    ftpstVmsMultinet,
    ftpstVmsUcx,
    ftpstMVS,
    ftpstVM,
    ftpstVMVPS,
    ftpstMSFTP,
    ftpstNetTerm,
    ftpstServU,
    ftpstWFTPD,
    ftpWarFTPD,
    ftpstNetware,
    ftpstNetPresenz,
};

enum TMFtpProxyType { proxyNone, proxyHost, proxyHostUser, proxyOpen, proxySite, proxyUserSite };

enum TTransferType { AsciiTransfer, BinaryTransfer };

enum FtpInfo {
    ftpiConnected = 0,
    ftpiDisconnected = 1,
    ftpiResolving = 2,
    ftpiReceived = 3,
    ftpiSent = 4,
    ftpiBusy = 5,
    ftpiCanResume = 6,
    ftpiResumeFailed = 7,
    ftpiProgress = 8,
    ftpiTransferDone = 10,
    ftpiLoggedIn = 13,
    ftpiSize = 14,
    ftpiFailed = 15,
    ftpiCannotResume = 17,
    ftpiRetrying = 18,
    ftpiConnecting = 19,
    ftpiAlreadyComplete = 21,
};

enum FtpError {
    ftpeNone = 0,
    ftpeNetworkDown = 1,
    ftpeInvalidAddress = 2,
    ftpeInternal = 3,
    ftpeWinsock = 4,
    ftpeConnectionAborted = 5,
    ftpeConnectionReset = 6,
    ftpeTimedOut = 7,
    ftpeNoSockets = 8,
    ftpeNetworkUnreachable = 9,
    ftpeAddressNotAvailable = 10,
    ftpeConnectionRefused = 11,
    ftpeProtocol = 12,
    ftpeCanceledByHost = 13,
    ftpeUnknown = 14,
    ftpeResolution = 15,
    ftpePrematureDisconnect = 16,
    ftpeHostUnreachable = 17,
    ftpeNoServer = 18,
    ftpeNoProxyServer = 19,
    ftpeFileOpen = 20,
    ftpeFileWrite = 21,
    ftpeFileRead = 22,
    ftpeFileNotFound = 23,
    ftpeConnectTimeOut = 24,
    ftpeServerDown = 25,
    ftpeAccessDenied = 26,
    ftpeDataTransfer = 27,
};

enum TMFtpInfoNeeded {
    ftpnAccount = 0,
    ftpnServer = 1,
    ftpnIndexFile = 2,
    ftpnLocalFile = 3,
    ftpnResume = 4,
    ftpnPassword = 5,
    ftpnUsername = 6,
};

// The command whose reply is awaited; the numbers are the program's own.
enum class TReplyState : int {
    Greeting = 0,
    User = 1,
    Pass = 2,
    Acct = 3,
    Syst = 5,
    Pwd = 6,
    Pasv = 13,
    TypeForExistingFile = 20,
    TypeForNewFile = 21,
    DataCommand = 22,
    Retr = 23,
    Cwd = 51,
    PwdAfterCwd = 52,
    Quit = 60,
    Noop = 90,
    Idle = 100,
    RestProbe = 110,
    RestReset = 111,
    InitialCwd = 112,
    ResumeSize = 120,
    ResumeDataCommand = 122,
    ResumeRest = 123,
    TransferSize = 124,
    ProxyOpen = 900,
    ProxyHost = 901,
    ProxyUser = 910,
    ProxyPass = 911,
    ProxySite = 912,
};

// Which event the next ready message fires.
enum class TPendingCompletion : int {
    None = 0,
    LoggedIn = 1,
    DirectoryChanged = 2,
    DirectoryCreated = 3,
    DirectoryDeleted = 4,
    FileDeleted = 5,
    IndexFileReceived = 6,
    FileReceived = 7,
    FileStored = 8,
    ListingDone = 9,
    FileRenamed = 10,
    DirectoryChanged2 = 11,
};

// Where a session stands in its life; every change goes through SetPhase
// and shows in the trace.
enum class TSessionPhase : int {
    Closed,     // no session: before Login, after the quit message
    Connecting, // looking up the server, connecting
    LoggingIn,  // connected: the login dialogue
    Ready,      // logged in, nothing running
    Busy,       // an operation (or a keep-alive) running
    Aborting,   // a transfer being aborted
    Quitting,   // QUIT sent, or the session aborted: the close is its end
    Cancelling, // the session aborted before its connection was made
    RetryWait,  // waiting to connect again
    Ending,     // disconnected: the ready and the quit messages are posted
};

// The FTP client: its own socket is the control connection; one reply
// handler, keyed by the awaited reply, drives the whole dialogue. It never
// raises to its user: everything is reported through its events.
class TMFtp : public TMSocket {
    Q_OBJECT
public:
    explicit TMFtp(QObject* owner = nullptr);
    ~TMFtp() override;

    // Published properties.
    quint16 NoopInterval() const;
    void SetNoopInterval(quint16 seconds);
    QString Username;
    QString Password;
    QString Account;
    QString ProxyUsername;
    QString ProxyPassword;
    int Retries = 3;
    quint16 RetryInterval = 15;
    TMFtpServerType ServerType = ftpstAutoDetect;
    QString CurrentDirectory() const { return FCurrentDirectory; }
    QString InitialDirectory;
    QString FileMask;
    bool Cache = true;
    int CacheExpire = 7;
    TTransferType TransferMode = AsciiTransfer;
    TMFtpProxyType ProxyType = proxyNone;
    QString ProxyServer;
    int ProxyPort = 21;
    bool Passive = false;
    quint16 Port = 21;
    // Seconds without a byte on the control or the data connection, while a
    // reply is awaited or a transfer runs, after which the session ends with
    // error 7. 0: no limit.
    int TimeOutReply = 120;
    static QString Version();
    // The TCP/IP settings the control connection (or the proxy's), the data
    // connection and PORT's listener carry from the next connection on.
    void SetSocketOptions(const TSocketOptions& options);
    const TSocketOptions& SocketOptions() const { return Options; }
    // The last download's data connection, as it was just before it closed.
    const TConnectionFigures& DataFigures() const;
    // What Linux refused of the options on this session's connections.
    QStringList RefusedOptions() const;

    using TEvent = std::function<void(TMFtp&)>;
    std::function<void(TMFtp&, FtpInfo, const QString&)> OnFtpInfo;
    std::function<void(TMFtp&, TMFtpInfoNeeded, QString&)> OnFtpNeedInfo;
    TEvent OnFtpReady;
    std::function<void(TMFtp&, FtpError, const QString&)> OnFtpError;
    TEvent OnLoggedIn, OnDirectoryChanged, OnDirectoryCreated, OnDirectoryDeleted, OnFileDeleted,
        OnIndexFileReceived, OnFileReceived, OnFileStored, OnListingDone, OnFileRenamed, OnFtpQuit,
        OnFtpBusy, OnAborted;

    // Operations: all return at once; results arrive as events.
    void Login();
    void ChangeDirectory(const QString& directory);
    void GetFile(const QString& remoteName, const QString& localPath);
    void Quit();
    void Abort();

    bool Connected() const;
    // The server's reply when it refused the last ChangeDirectory for good
    // (5xx); empty when it did not.
    const QString& DirectoryRefusal() const { return FDirectoryRefusal; }
    // Why the last download, once begun (150), did not arrive whole: the
    // server's reply refusing it after all, or a shortfall from the size it
    // announced; empty when it arrived whole.
    const QString& TransferFailure() const { return FTransfer.Failure; }
    // The last GetFile made its local file (none stood at that name).
    bool CreatedLocalFile() const { return FFile.Created(); }
    bool Busy() const;
    bool LoggedIn() const;
    TSessionPhase Phase() const { return FPhase; }
    quint64 BytesTransferred = 0;
    TReplyState ReplyState() const { return FReplyState; }
    bool CanResume() const { return FCanResume; }
    bool RetryWaitRunning() const { return FPhase == TSessionPhase::RetryWait; }

    void LookupDone() override;

private:
    // Session.
    void ConnectSequence();
    void ControlConnected();
    void ReadReplies();
    // Every change of the session's phase, and of the awaited reply, goes
    // through these.
    void SetPhase(TSessionPhase phase);
    void SetReplyState(TReplyState state);
    bool SessionOpen() const;
    // The reply time-out runs while a reply is awaited or a transfer runs.
    void WatchReplies();
    void ReplyTimerTick();
    bool TransferPending() const;
    bool SendCommand(const QString& text, TReplyState next);
    void FirstLoginCommand();
    // The control connection goes to the proxy when one is set.
    void ChooseRoute();
    // Server and Port name the server again, not the proxy.
    void RestoreTarget();
    void ProbeStart();
    void DetectServerType(const QString& line);
    void Ready(); // posts the ready message
    // The operation is over: no reply awaited, and the ready message.
    void FinishOperation();
    void MessageHandler(int message);
    bool BeginOperation();
    void KeepAlive();
    void ControlClosed();
    // "Disconnected", then the ready and the quit messages.
    void EndSession();
    void ControlTimedOut();
    void ReportError(FtpError error);
    void FatalError(FtpError error);
    // false (after the fatal error) when the last socket call failed.
    bool Classify(TMSocket& socket);
    void Info(FtpInfo info, const QString& text);
    QString NeedInfo(TMFtpInfoNeeded need);
    static QString QuotedDirectory(const QString& line);
    // The reply code's first digit ('1' to '5'), or nothing for an empty line.
    static QChar ReplyClass(const QString& line) { return line.isEmpty() ? QChar() : line[0]; }
    QString DriveLetterNormalised(const QString& directory) const;

    // The replies: ActOnReply is the index, by the awaited reply.
    void ActOnReply(const QString& line);
    void OnGreetingReply(const QString& line);
    void OnProxyReply(const QString& line);
    void OnLoginReply(const QString& line);
    void OnProbeReply(const QString& line);
    void OnNoopReply(const QString& line);
    void OnDataSetupReply(const QString& line);
    void OnLoginDirectoryReply(const QString& line);
    void OnQuitReply(const QString& line);
    void OnDirectoryReply(const QString& line);
    void OnRetrReply(const QString& line);
    void OnSizeReply(const QString& line);
    void OnTransferSizeReply(const QString& line);
    void OnAbortReply(const QString& line);

    // Transfers.
    void AskResume();
    void SizeUnsupported();
    void StartFreshDownload();
    void OpenDataConnection(TReplyState dataState);
    bool OpenListener(QString& portArgument);
    bool ConnectPassive(const QString& line);
    void DataConnectionOffered(TReplyState dataState);
    void DataConnected();
    void DownloadReader();
    void DownloadClosed();
    // Fires the completion once the final reply and the data close are in.
    void CompleteTransfer();
    // A refused RETR or REST: the data connection closed, the info, and
    // the ready message.
    void RefuseTransfer(FtpInfo info, const QString& text);
    void CloseLocalFile();
    void CancelDownload();
    void DisconnectDataSockets();
    // Closes the data socket, the listener and the file without any event.
    void DropTransfer();
    void AbortTransfer();
    bool SendRaw(const char* bytes, int length, bool urgent);

    static const QString CannotResumeText;

    // Where the control connection goes.
    struct TRoute {
        QString Server; // the server's own, while Server() and Port name the proxy
        quint16 Port = 21;
        bool TargetHeld = false; // Server() and Port name the proxy now
        bool ViaProxy = false;   // this connection goes through the proxy
    };
    // One download, from GetFile to its completion.
    struct TTransfer {
        QString RemoteName;
        QString LocalPath;
        TReplyState StateAfterPasv = TReplyState::Idle;
        QString Failure;
        bool Begun = false; // 150 came
        qint64 AnnouncedSize = -1;
        bool DataDone = false;
        bool ReplyDone = false;
        qint64 RemoteSize = 0;
        // SIZE's answer for the file about to be fetched (-1: none), for a
        // 150 reply that names no size; asked once per download.
        qint64 Size = -1;
        bool SizeAsked = false;
        qint64 ResumeFrom = 0;
    };

    // Session state.
    TSessionPhase FPhase = TSessionPhase::Closed;
    TReplyState FReplyState = TReplyState::Idle;
    TPendingCompletion FPending = TPendingCompletion::None;
    bool FFatalReported = false; // on this connection, in whatever phase
    int FAbortRepliesLeft = 0;
    bool FCanResume = false;
    bool FNoopSupported = true;
    bool FSizeSupported = true;
    int FRetriesLeft = 0;
    int FSilentSeconds = 0;
    TRoute FRoute;
    QString FLastType;
    TFtpReplyReader FReplies;
    quint64 FConnection = 0; // counts the control connections made
    FtpError FLastError = ftpeNone;
    QString FLastErrorText;
    QString FCurrentDirectory;
    QString FConnectAddress;
    QTimer* const FNoopTimer;
    QTimer* const FClosingTimer; // QUIT's or ABOR's reply awaited
    QTimer* const FReplyTimer;
    class QEventLoop* FRetryLoop = nullptr;
    QString FDirectoryRefusal;

    // Transfer state.
    TMSocket* const FData;
    TMSocket* const FListener;
    TDownloadFile FFile;
    TTransfer FTransfer;
};
