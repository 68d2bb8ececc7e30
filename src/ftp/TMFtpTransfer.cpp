// The transfer half of the FTP component: the local file, the data
// connection (passive or active), the blocks, the completion and the abort.
#include "ftp/TMFtp.h"
#include "platform/TAtomicFile.h"

#include <QFile>
#include <QPointer>
#include <QTimer>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// So many blocks per data notification; the rest waits for the next turn of
// the event loop.
constexpr int MaxBlocksPerNotification = 64;

} // namespace

// ---------------------------------------------------------------- transfers

void TMFtp::ChangeDirectory(const QString& directory) {
    if (!BeginOperation())
        return;
    FPending = TPendingCompletion::DirectoryChanged;
    FDirectoryRefusal.clear();
    SendCommand(QStringLiteral("CWD ") + directory, TReplyState::Cwd);
}

void TMFtp::GetFile(const QString& remoteName, const QString& localPath) {
    if (!BeginOperation())
        return;
    FPending = TPendingCompletion::FileReceived;
    FRemoteName = remoteName;
    FLocalPath = localPath;
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
    int error = FFile < 0 ? errno : 0;
    if (FFile >= 0 && (::fstat(FFile, &st) != 0 || !S_ISREG(st.st_mode))) {
        error = S_ISDIR(st.st_mode) ? EISDIR : -1;
        CloseLocalFile();
    }
    FCreatedLocalFile = FFile >= 0 && !exists;
    if (FFile < 0) {
        // The local side's refusal, with the file and the reason; the
        // operation ends there, with no word of the server.
        FLastErrorText = error > 0 ? FileErrorMessage(localPath, error)
                                   : localPath + QStringLiteral(": it is not a plain file");
        FPending = TPendingCompletion::None;
        ReportError(ftpeFileOpen);
        Ready();
        return;
    }
    const TReplyState next =
        exists ? TReplyState::TypeForExistingFile : TReplyState::TypeForNewFile;
    FDataDone = false;
    FReplyDone = false;
    FResumeFrom = 0;
    FTransferSize = -1;
    FTransferSizeAsked = false;
    FTransferFailure.clear();
    FTransferBegun = false;
    FAnnouncedSize = -1;
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
    // A fresh download asks for the file's size first (RFC 3659), once.
    if (dataState == TReplyState::DataCommand && !FTransferSizeAsked) {
        FTransferSizeAsked = true;
        SendCommand(QStringLiteral("SIZE ") + FRemoteName, TReplyState::TransferSize);
        return;
    }
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
            // Counted, not stored, from here on. The report names the file
            // and what went wrong ("the disk is full").
            const int error = errno ? errno : ENOSPC;
            CloseLocalFile();
            FLastErrorText = FileErrorMessage(FLocalPath, error);
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
    errno = 0;
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
    if (FReplyDone && FDataDone && !FAborting) {
        if (FAnnouncedSize >= 0 && qint64(BytesTransferred) < FAnnouncedSize)
            FTransferFailure = QStringLiteral("The server announced %1 bytes and sent %2.")
                                   .arg(FAnnouncedSize)
                                   .arg(BytesTransferred);
        Ready();
    }
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
