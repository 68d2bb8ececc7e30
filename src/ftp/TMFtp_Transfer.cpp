// The transfer half of the FTP component: the local file, the data
// connection (passive or active), the blocks, the completion and the abort.
#include "ftp/TMFtp.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <array>

namespace {

// So many blocks per data notification; the rest waits for the next turn of
// the event loop.
constexpr int MaxBlocksPerNotification = 64;

} // namespace

// ---------------------------------------------------------------- transfers

void TMFtp::GetFile(const QString& remoteName, const QString& localPath) {
    if (!BeginOperation())
        return;
    FPending = TPendingCompletion::FileReceived;
    FTransfer = TTransfer{};
    FTransfer.RemoteName = remoteName;
    FTransfer.LocalPath = localPath;
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
    if (!FFile.Open(localPath)) {
        // The local side's refusal, with the file and the reason; the
        // operation ends there, with no word of the server.
        FLastErrorText = FFile.ErrorText();
        FPending = TPendingCompletion::None;
        ReportError(ftpeFileOpen);
        Ready();
        return;
    }
    const bool exists = !FFile.Created();
    const TReplyState next =
        exists ? TReplyState::TypeForExistingFile : TReplyState::TypeForNewFile;
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
    FTransfer.RemoteSize = 0;
    const QString answer = NeedInfo(ftpnResume);
    if (answer == QLatin1String("Resume")) {
        if (!FCanResume) {
            Info(ftpiCannotResume, CannotResumeText);
            CancelDownload();
        } else if (FSizeSupported) {
            SendCommand(QStringLiteral("SIZE ") + FTransfer.RemoteName, TReplyState::ResumeSize);
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
    if (FFile.IsOpen() && !FFile.Truncate()) {
        ReportError(ftpeFileWrite);
        FFile.Close();
    }
    FTransfer.ResumeFrom = 0;
    OpenDataConnection(TReplyState::DataCommand);
}

void TMFtp::OpenDataConnection(TReplyState dataState) {
    // A fresh download asks for the file's size first (RFC 3659), once.
    if (dataState == TReplyState::DataCommand && !FTransfer.SizeAsked) {
        FTransfer.SizeAsked = true;
        SendCommand(QStringLiteral("SIZE ") + FTransfer.RemoteName, TReplyState::TransferSize);
        return;
    }
    if (Passive) {
        FTransfer.StateAfterPasv = dataState;
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
        SendCommand(QStringLiteral("REST ") + QString::number(FTransfer.ResumeFrom),
                    TReplyState::ResumeRest);
    else
        SendCommand(QStringLiteral("RETR ") + FTransfer.RemoteName, TReplyState::Retr);
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
        if (FPhase == TSessionPhase::Aborting)
            SetPhase(TSessionPhase::Busy);
    } else if (FPhase != TSessionPhase::Aborting && error != WSAENOTSOCK) {
        FatalError(ftpeDataTransfer);
    }
}

void TMFtp::DownloadReader() {
    QPointer<TMFtp> self(this);
    std::array<char, 8192> buffer;
    for (int block = 0; block < MaxBlocksPerNotification; ++block) {
        const qint64 n = FData->Receive(buffer.data(), qint64(buffer.size()));
        const quint16 error = FData->LastSocketError;
        if (error != 0) {
            if (FPhase != TSessionPhase::Aborting && error != WSAENOTSOCK)
                FatalError(ftpeDataTransfer);
            return;
        }
        if (n <= 0)
            return;
        FSilentSeconds = 0;
        // Stored before it is reported, so that nothing the report handler
        // lets happen can come between the block and the file.
        if (FFile.IsOpen() && !FFile.Write(buffer.data(), n)) {
            // Counted, not stored, from here on. The report names the file
            // and what went wrong ("the disk is full").
            FFile.Close();
            FLastErrorText = FFile.ErrorText();
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
    FTransfer.DataDone = true;
    CompleteTransfer();
}

void TMFtp::CompleteTransfer() {
    // Both halves: the final reply and the data connection's close, in either
    // order. An abort finishes through its own replies instead.
    if (FTransfer.ReplyDone && FTransfer.DataDone && FPhase != TSessionPhase::Aborting) {
        if (FTransfer.AnnouncedSize >= 0 && qint64(BytesTransferred) < FTransfer.AnnouncedSize)
            FTransfer.Failure = QStringLiteral("The server announced %1 bytes and sent %2.")
                                    .arg(FTransfer.AnnouncedSize)
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
    FinishOperation();
}

void TMFtp::CloseLocalFile() {
    FFile.Close();
}

void TMFtp::CancelDownload() {
    CloseLocalFile();
    FPending = TPendingCompletion::None;
    FinishOperation();
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

bool TMFtp::TransferPending() const {
    return FPending == TPendingCompletion::IndexFileReceived ||
           FPending == TPendingCompletion::FileReceived ||
           FPending == TPendingCompletion::FileStored ||
           FPending == TPendingCompletion::ListingDone;
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

void TMFtp::AbortTransfer() {
    if (FPhase == TSessionPhase::Aborting || (FTransfer.ReplyDone && FTransfer.DataDone))
        return;
    SetPhase(TSessionPhase::Aborting);
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

// ------------------------------------------------------ the transfer replies

void TMFtp::OnDataSetupReply(const QString& line) {
    const QChar c = ReplyClass(line);
    const bool positive = c == u'2';
    switch (FReplyState) {
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
            DataConnectionOffered(FTransfer.StateAfterPasv);
        return;
    case TReplyState::ResumeRest:
        if (c == u'3')
            SendCommand(QStringLiteral("RETR ") + FTransfer.RemoteName, TReplyState::Retr);
        else
            RefuseTransfer(ftpiResumeFailed, QStringLiteral("Failed in resuming downloading file"));
        return;
    default: // PORT answered (or REST's PORT, to resume)
        if (positive)
            DataConnectionOffered(FReplyState);
        else
            FatalError(ftpeProtocol);
        return;
    }
}

void TMFtp::OnRetrReply(const QString& line) {
    const QChar c = ReplyClass(line);
    if (c == u'1') {
        FTransfer.Begun = true;
        const qsizetype open = line.indexOf(u'(');
        if (open >= 0) {
            const qsizetype blank = line.indexOf(u' ', open + 1);
            const QString size = line.mid(open + 1, blank < 0 ? -1 : blank - open - 1);
            bool number = false;
            const qint64 announced = size.toLongLong(&number);
            FTransfer.AnnouncedSize =
                number && announced >= 0 && FTransfer.ResumeFrom == 0 ? announced : -1;
            Info(ftpiSize, size);
        } else if (FTransfer.Size >= 0) {
            // Many servers name no size here ("125 Data connection already
            // open"): SIZE's answer stands in.
            Info(ftpiSize, QString::number(FTransfer.Size));
        }
    } else if (c == u'2') {
        FTransfer.ReplyDone = true;
        SetReplyState(TReplyState::Idle);
        CompleteTransfer();
    } else {
        // Refused after it had begun (426, 451, ...): the file is not whole.
        if (FTransfer.Begun)
            FTransfer.Failure = line;
        RefuseTransfer(ftpiFailed, QStringLiteral("Access denied or file not found"));
    }
}

void TMFtp::OnTransferSizeReply(const QString& line) {
    // Only a plain "213 <digits>" counts; anything else (a refusal, a server
    // without SIZE, a text) leaves the download as it would have been.
    bool number = false;
    const qint64 size =
        line.startsWith(QLatin1String("213 ")) ? line.mid(4).trimmed().toLongLong(&number) : -1;
    FTransfer.Size = number && size >= 0 ? size : -1;
    OpenDataConnection(TReplyState::DataCommand);
}

void TMFtp::OnSizeReply(const QString& line) {
    if (line.startsWith(QLatin1String("50"))) {
        SizeUnsupported();
        return;
    }
    bool number = false;
    FTransfer.RemoteSize = line.mid(4).trimmed().toLongLong(&number);
    if (!line.startsWith(u'2') || !number) {
        StartFreshDownload();
        return;
    }
    const qint64 local = FFile.Size();
    if (local > FTransfer.RemoteSize || local == 0) {
        Info(ftpiCannotResume,
             QStringLiteral("I don't know how to resume this file, I will overwrite it."));
        StartFreshDownload();
    } else if (local == FTransfer.RemoteSize) {
        Info(ftpiAlreadyComplete, QStringLiteral("I am afraid I have nothing to do."));
        CancelDownload();
    } else {
        FFile.ResumeAt(local);
        FTransfer.ResumeFrom = local;
        OpenDataConnection(TReplyState::ResumeDataCommand);
    }
}

void TMFtp::OnAbortReply(const QString& line) {
    // After ABOR come the aborted command's reply (426, or 226 when it had
    // just finished) and ABOR's own (226 or 225), in either order; both are
    // taken here before the session goes on, so that neither is mistaken
    // for the reply to a later command.
    const QChar c = ReplyClass(line);
    if (c == u'1')
        return;
    if (FAbortRepliesLeft == 2 && FReplyState == TReplyState::Retr) {
        if (c == u'2') {
            FTransfer.ReplyDone = true;
        } else {
            DisconnectDataSockets();
            CloseLocalFile();
            Info(ftpiFailed, QStringLiteral("Access denied or file not found"));
        }
    }
    if (--FAbortRepliesLeft > 0)
        return;
    FClosingTimer->stop();
    FinishOperation();
}
