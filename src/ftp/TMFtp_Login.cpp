// The login half of the FTP component: the first commands, the proxy's
// dialogue, the server's kind and the directory it starts in.
#include "ftp/TMFtp.h"

namespace {} // namespace

void TMFtp::FirstLoginCommand() {
    const QString port = QString::number(Port);
    switch (FRoute.ViaProxy ? ProxyType : proxyNone) {
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

void TMFtp::ChooseRoute() {
    // A retry that comes before the greeting still has the proxy as Server.
    RestoreTarget();
    FRoute.ViaProxy = false;
    if (ProxyServer.trimmed().isEmpty()) {
        ProxyType = proxyNone;
    } else if (ProxyType != proxyNone) {
        FRoute.Server = Server();
        FRoute.Port = Port;
        SetServer(ProxyServer);
        Port = static_cast<quint16>(ProxyPort);
        FRoute.TargetHeld = true;
        FRoute.ViaProxy = true;
    }
}

void TMFtp::RestoreTarget() {
    if (!FRoute.TargetHeld)
        return;
    SetServer(FRoute.Server);
    Port = FRoute.Port;
    FRoute.TargetHeld = false;
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

// ------------------------------------------------------------- the replies

void TMFtp::OnGreetingReply(const QString& line) {
    FPending = TPendingCompletion::LoggedIn;
    if (!line.startsWith(u'2')) {
        FatalError(ftpeServerDown);
        return;
    }
    if (Username.isEmpty())
        Username = NeedInfo(ftpnUsername);
    if (FRoute.TargetHeld)
        RestoreTarget();
    else if (ServerType == ftpstAutoDetect && line.contains(QLatin1String("NetTerm FTP server"))) {
        ServerType = ftpstNetTerm;
    }
    FirstLoginCommand();
}

void TMFtp::OnProxyReply(const QString& line) {
    const QChar c = ReplyClass(line);
    const bool positive = c == u'2';
    switch (FReplyState) {
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
    case TReplyState::ProxySite:
        if (positive)
            SendCommand(QStringLiteral("USER ") + Username, TReplyState::User);
        else
            FatalError(ftpeProtocol);
        return;
    default: // the proxy's own login
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
    }
}

void TMFtp::OnLoginReply(const QString& line) {
    const QChar c = ReplyClass(line);
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
    FinishOperation();
}

void TMFtp::OnProbeReply(const QString& line) {
    switch (FReplyState) {
    case TReplyState::Syst:
        DetectServerType(line);
        SendCommand(QStringLiteral("REST 100"), TReplyState::RestProbe);
        return;
    case TReplyState::RestProbe:
        FCanResume = ReplyClass(line) == u'3';
        if (FCanResume)
            Info(ftpiCanResume, QStringLiteral("This site can resume broken downloads/uploads"));
        else
            Info(ftpiCannotResume, CannotResumeText);
        SendCommand(QStringLiteral("REST 0"), TReplyState::RestReset);
        return;
    default: // REST 0 answered: the directory the session starts in
        if (!InitialDirectory.isEmpty())
            SendCommand(QStringLiteral("CWD ") + InitialDirectory, TReplyState::InitialCwd);
        else
            SendCommand(QStringLiteral("PWD"), TReplyState::Pwd);
        return;
    }
}
