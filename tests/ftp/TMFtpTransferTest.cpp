#include "ftp/TFtpTestSession.h"
#include "helpers/TFtpServers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTimer>
#include <QDir>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

QByteArray Pattern(int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return bytes;
}

} // namespace

// A scripted server that serves one file: PASV or PORT, TYPE, SIZE, REST and
// RETR, with the final reply before or after the data connection's close.
class TMFtpTransferTest : public TFtpTestSession {
protected:
    void SetUp() override {
        TFtpTestSession::SetUp();
        ScriptLogin();
        Ftp.TransferMode = BinaryTransfer;
        Ftp.Passive = true;
        Peer.OnCommand = [this](TScriptedFtpPeer& peer, const QString& line) {
            const QString word = line.section(u' ', 0, 0);
            if (word == QLatin1String("QUIT")) {
                peer.Send(QStringLiteral("221 Bye\r\n"));
                peer.CloseControl();
            } else if (word == QLatin1String("TYPE")) {
                peer.Send(QStringLiteral("200 Type set\r\n"));
            } else if (word == QLatin1String("PASV")) {
                peer.Send(peer.PassiveReply(PassiveFields) + QStringLiteral("\r\n"));
            } else if (word == QLatin1String("PORT")) {
                peer.Send(QStringLiteral("200 PORT ok\r\n"));
                PortLine = line;
            } else if (word == QLatin1String("SIZE")) {
                peer.Send(SizeReply + QStringLiteral("\r\n"));
            } else if (word == QLatin1String("REST") && Ftp.LoggedIn()) {
                RestFrom = line.section(u' ', 1).toInt();
                peer.Send(QStringLiteral("350 Restarting\r\n"));
            } else if (word == QLatin1String("RETR")) {
                Retr(peer);
            } else if (word == QLatin1String("ABOR")) {
                // The data connection is reset, which the client must not
                // report while it aborts.
                if (peer.Data()) {
                    const linger hard{1, 0};
                    ::setsockopt(int(peer.Data()->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                                 sizeof hard);
                    peer.Data()->abort();
                }
                peer.Send(QStringLiteral("426 Transfer aborted\r\n226 ABOR successful\r\n"));
            } else {
                return false;
            }
            return true;
        };
    }
    void Retr(TScriptedFtpPeer& peer) {
        if (RetrRefused) {
            peer.Send(QStringLiteral("550 No such file\r\n"));
            return;
        }
        if (!PortLine.isEmpty()) {
            if (BeforeActiveConnect)
                BeforeActiveConnect(PortLine);
            peer.ConnectActive(PortLine);
            PortLine.clear();
        }
        if (AtRetr) {
            (void)QTest::qWaitFor([&peer] { return peer.DataConnected(); }, 3000);
            AtRetr();
        }
        peer.Send(OpeningReply + QStringLiteral("\r\n"));
        const QByteArray rest = Content.mid(RestFrom);
        RestFrom = 0;
        if (HoldData) {
            peer.SendData(rest.left(HoldData), false);
            return;
        }
        if (ReplyBeforeClose) {
            peer.Send(QStringLiteral("226 Transfer complete\r\n"));
            peer.SendData(rest);
        } else {
            peer.SendData(rest);
            QTcpSocket* data = peer.Data();
            (void)QTest::qWaitFor(
                [data] { return !data || data->state() == QAbstractSocket::UnconnectedState; },
                3000);
            peer.Send(QStringLiteral("226 Transfer complete\r\n"));
        }
    }
    QString Local() const { return DataDir() + QStringLiteral("/file.bin"); }
    QByteArray LocalBytes() const {
        QFile f(Local());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
    }
    void PutLocal(const QByteArray& bytes) {
        QFile f(Local());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    bool Download() {
        Events.clear();
        Ftp.GetFile(QStringLiteral("file.bin"), Local());
        return WaitFor(QStringLiteral("Ready"));
    }

    QByteArray Content = Pattern(20000);
    QString OpeningReply =
        QStringLiteral("150 Opening BINARY mode data connection for file.bin (1048576 bytes)");
    QString SizeReply = QStringLiteral("213 20000");
    QString PassiveFields = QStringLiteral("127,0,0,1");
    bool ReplyBeforeClose = false;
    bool RetrRefused = false;
    int HoldData = 0;
    int RestFrom = 0;
    QString PortLine;
    std::function<void(const QString&)> BeforeActiveConnect;
    std::function<void()> AtRetr;
};

TEST_F(TMFtpTransferTest, ChangeDirectoryTakesTheQuotedNameOrAsksForIt) {
    Peer.Reply(QStringLiteral("CWD"), {{QStringLiteral("250 \"/pub\" is the current directory")},
                                       {QStringLiteral("250 Directory changed")},
                                       {QStringLiteral("550 No such directory")}});
    Peer.Reply(QStringLiteral("PWD"),
               {{QStringLiteral("257 \"/\"")}, {QStringLiteral("257 \"/incoming\" is current")}});
    ASSERT_TRUE(LogIn());
    const qsizetype login = Peer.Commands.size();
    for (const char* expected : {"/pub", "/incoming", "/incoming"}) {
        Events.clear();
        Ftp.ChangeDirectory(QStringLiteral("somewhere"));
        ASSERT_TRUE(WaitFor(QStringLiteral("DirectoryChanged")));
        EXPECT_EQ(Ftp.CurrentDirectory(), QLatin1String(expected));
    }
    EXPECT_EQ(Peer.Commands.mid(login),
              (QStringList{"CWD somewhere", "CWD somewhere", "PWD", "CWD somewhere"}));
    EXPECT_EQ(Events,
              (QStringList{"info 4 CWD somewhere|", "info 15 Access denied or file not found",
                           "Ready", "DirectoryChanged"}));
}

TEST_F(TMFtpTransferTest, DownloadsInBothReplyOrdersAndSendsTypeOncePerConnection) {
    ASSERT_TRUE(LogIn());
    for (const bool replyFirst : {true, false}) {
        ReplyBeforeClose = replyFirst;
        ASSERT_TRUE(Download()) << replyFirst;
        EXPECT_EQ(Events.count(QStringLiteral("FileReceived")), 1);
        EXPECT_EQ(LocalBytes(), Content) << replyFirst;
        EXPECT_EQ(Ftp.BytesTransferred, quint64(Content.size()));
        EXPECT_TRUE(Events.contains(QStringLiteral("info 14 1048576")));
        EXPECT_TRUE(Events.contains(QStringLiteral("info 10 Transfer done")));
        QFile::remove(Local());
    }
    EXPECT_EQ(Peer.Commands.count(QStringLiteral("TYPE I")), 1);

    // A 150 without "(" takes SIZE's answer; a new connection sends TYPE again.
    OpeningReply = QStringLiteral("150 Here it comes");
    Ftp.Disconnect();
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit")));
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(Download());
    EXPECT_TRUE(Events.contains(QStringLiteral("info 14 20000")));
    EXPECT_EQ(Peer.Commands.count(QStringLiteral("TYPE I")), 2);
    // A refused or odd answer to SIZE gives no size and changes nothing else.
    for (const char* reply : {"550 SIZE not allowed in ASCII mode", "213 lots", "213 -5",
                              "213 99999999999999999999999", "500 Unknown command"}) {
        SizeReply = QString::fromLatin1(reply);
        QFile::remove(Local());
        ASSERT_TRUE(Download()) << reply;
        EXPECT_FALSE(Events.join(u'\n').contains(QStringLiteral("info 14"))) << reply;
        EXPECT_EQ(LocalBytes(), Content) << reply;
    }
}

TEST_F(TMFtpTransferTest, PassiveModeConnectsToTheControlPeerWhateverTheReplyNames) {
    PassiveFields = QStringLiteral("127,0,0,2");
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(Download());
    EXPECT_EQ(LocalBytes(), Content);
    EXPECT_EQ(Peer.DataPeerAddress, QStringLiteral("127.0.0.1"));
}

TEST_F(TMFtpTransferTest, ActiveModeAcceptsOnlyTheServersConnection) {
    Ftp.Passive = false;
    QTcpSocket stranger;
    BeforeActiveConnect = [&stranger](const QString& line) {
        const QStringList f = line.section(u' ', 1).split(u',');
        stranger.bind(QHostAddress(QStringLiteral("127.0.0.2")));
        stranger.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")),
                               quint16(f[4].toInt() * 256 + f[5].toInt()));
        (void)stranger.waitForConnected(3000);
    };
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(Download()) << Events.join(u'\n').toStdString();
    EXPECT_EQ(LocalBytes(), Content);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return stranger.state() == QAbstractSocket::UnconnectedState; }, 3000));
    const QString port = Peer.Commands.filter(QStringLiteral("PORT ")).value(0);
    EXPECT_TRUE(port.startsWith(QStringLiteral("PORT 127,0,0,1,"))) << port.toStdString();
}

TEST_F(TMFtpTransferTest, AnExistingFileIsOverwrittenFromTheStartAndCut) {
    Ftp.OnFtpNeedInfo = nullptr;
    PutLocal(QByteArray(50000, 'o'));
    ASSERT_TRUE(LogIn());
    const qsizetype login = Peer.Commands.size();
    ASSERT_TRUE(Download());
    EXPECT_EQ(LocalBytes(), Content);
    EXPECT_EQ(Peer.Commands.mid(login),
              (QStringList{"TYPE I", "SIZE file.bin", "PASV", "RETR file.bin"}));
}

TEST_F(TMFtpTransferTest, ResumeContinuesFromTheLocalSizeWhenItCan) {
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(Ftp.CanResume());
    NeedAnswers[ftpnResume] = QStringLiteral("Resume");

    // Local 1000 of remote 20000: REST 1000 and the rest appended.
    PutLocal(Content.left(1000));
    ASSERT_TRUE(Download());
    EXPECT_TRUE(Peer.Commands.contains(QStringLiteral("REST 1000")));
    EXPECT_EQ(LocalBytes(), Content);
    EXPECT_TRUE(Events.contains(QStringLiteral("FileReceived")));

    // Already complete: nothing to do, no completion event.
    SizeReply = QStringLiteral("213 1000");
    PutLocal(Content.left(1000));
    ASSERT_TRUE(Download());
    EXPECT_TRUE(Events.contains(QStringLiteral("info 21 I am afraid I have nothing to do.")));
    EXPECT_FALSE(Events.contains(QStringLiteral("FileReceived")));
    EXPECT_EQ(LocalBytes(), Content.left(1000));

    // Local larger than remote: a full download.
    SizeReply = QStringLiteral("213 800");
    ASSERT_TRUE(Download());
    EXPECT_TRUE(Events.contains(
        QStringLiteral("info 17 I don't know how to resume this file, I will overwrite it.")));
    EXPECT_EQ(LocalBytes(), Content);

    // SIZE refused: a full download too, never stuck busy.
    SizeReply = QStringLiteral("500 SIZE not understood");
    PutLocal(Content.left(300));
    ASSERT_TRUE(Download());
    EXPECT_TRUE(Events.contains(
        QStringLiteral("info 17 This site cannot resume broken downloads/uploads")));
    EXPECT_EQ(LocalBytes(), Content);
    EXPECT_FALSE(Ftp.Busy());
}

TEST_F(TMFtpTransferTest, ARefusedRetrEndsWithTheCountSoFar) {
    RetrRefused = true;
    ASSERT_TRUE(LogIn());
    Ftp.BytesTransferred = 0;
    ASSERT_TRUE(Download());
    EXPECT_EQ(Events.mid(Events.indexOf(QStringLiteral("info 4 RETR file.bin|"))),
              (QStringList{"info 4 RETR file.bin|", "info 10 Transfer done",
                           "info 15 Access denied or file not found", "Ready", "FileReceived"}));
    EXPECT_EQ(Ftp.BytesTransferred, 0u);
}

TEST_F(TMFtpTransferTest, AbortSendsTheTelnetSequenceWithTheMarkAsUrgentData) {
    HoldData = 5000;
    RecordProgress = true;
    ASSERT_TRUE(LogIn());
    Events.clear();
    Ftp.GetFile(QStringLiteral("file.bin"), Local());
    ASSERT_TRUE(WaitFor(QStringLiteral("info 8 ")));
    const qsizetype before = Peer.Received.size();
    Ftp.Abort();
    Ftp.Abort(); // a second abort sends nothing
    ASSERT_TRUE(WaitFor(QStringLiteral("FileReceived")));
    // IAC IP, IAC DM with the DM as the urgent byte (so not in the normal
    // stream), ABOR, IAC DM.
    EXPECT_EQ(Peer.Received.mid(before), QByteArray("\xff\xf4\xff"
                                                    "ABOR\r\n\xff\xf2"));
    EXPECT_EQ(Peer.Urgent, QByteArray("\xf2"));
    EXPECT_TRUE(Events.contains(QStringLiteral("info 15 Access denied or file not found")));
    EXPECT_FALSE(Events.join(u'\n').contains(QStringLiteral("error")));
    // The session goes on.
    Events.clear();
    Ftp.Quit();
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit")));
}

TEST_F(TMFtpTransferTest, AResetDataConnectionIsFatalUnlessAborting) {
    HoldData = 3000;
    RecordProgress = true;
    Ftp.Retries = 0;
    ASSERT_TRUE(LogIn());
    Ftp.GetFile(QStringLiteral("file.bin"), Local());
    ASSERT_TRUE(WaitFor(QStringLiteral("info 8 ")));
    const linger hard{1, 0};
    const int fd = int(Peer.Data()->socketDescriptor());
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Peer.Data()->abort();
    ASSERT_TRUE(WaitFor(QStringLiteral("error 27 ")));
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit")));
}

// The scripted server's ABOR handling replaced: what it sends on ABOR and on
// QUIT (nothing, when empty), the connection always left open.
class TMFtpAbortTest : public TMFtpTransferTest {
protected:
    void SetUp() override {
        TMFtpTransferTest::SetUp();
        HoldData = 5000;
        // As the Testing page does: QUIT after the file, Abort after an error.
        Ftp.OnFileReceived = [this](TMFtp& ftp) {
            Events << QStringLiteral("FileReceived");
            ftp.Quit();
        };
        Ftp.OnFtpError = [this](TMFtp& ftp, FtpError error, const QString& text) {
            Events << QStringLiteral("error %1 %2").arg(int(error)).arg(text);
            ftp.Abort();
        };
        const auto serve = Peer.OnCommand;
        Peer.OnCommand = [this, serve](TScriptedFtpPeer& peer, const QString& line) {
            if (line.contains(QLatin1String("QUIT"))) {
                peer.Send(OnQuit);
                return true;
            }
            if (line.contains(QLatin1String("ABOR"))) {
                peer.Send(OnAbor);
                if (!AborLater.isEmpty())
                    QTimer::singleShot(50, &peer, [&peer, this] { peer.Send(AborLater); });
                return true;
            }
            return serve(peer, line);
        };
    }
    // Logs in, starts the download and waits for its first block.
    void StartDownload() {
        ASSERT_TRUE(LogIn());
        Events.clear();
        Ftp.BytesTransferred = 0;
        Ftp.GetFile(QStringLiteral("file.bin"), Local());
        ASSERT_TRUE(QTest::qWaitFor([this] { return Ftp.BytesTransferred > 0; }, 3000));
    }
    // Nothing of the session after its OnFtpQuit, for a while.
    void ExpectNothingAfterQuit() {
        const qsizetype n = Events.size();
        QTest::qWait(200);
        EXPECT_EQ(Events.mid(n), QStringList());
        EXPECT_EQ(Events.last(), QStringLiteral("Quit"));
        EXPECT_FALSE(Ftp.Connected());
    }
    QString OnAbor, AborLater, OnQuit;
};

// vsftpd: 426 for the transfer, a moment later 226 for ABOR, and a 500 for
// the QUIT that follows (it reads the trailing Telnet mark as part of it).
TEST_F(TMFtpAbortTest, AbortRepliesAreTakenBeforeQuitInEitherOrder) {
    for (const char* first : {"426 Transfer aborted\r\n", "226 ABOR successful\r\n"}) {
        OnAbor = QString::fromLatin1(first);
        AborLater = OnAbor.startsWith(u'4') ? QStringLiteral("226 ABOR successful\r\n")
                                            : QStringLiteral("426 Transfer aborted\r\n");
        OnQuit = QStringLiteral("500 Unknown command.\r\n");
        StartDownload();
        const qsizetype commands = Peer.Commands.size();
        QElapsedTimer t;
        t.start();
        Ftp.Abort();
        ASSERT_TRUE(WaitFor(QStringLiteral("Quit"), 3000));
        EXPECT_LT(t.elapsed(), 1500);
        EXPECT_EQ(Peer.Commands.mid(commands), (QStringList{"ABOR", "QUIT"}));
        EXPECT_TRUE(Events.contains(QStringLiteral("FileReceived")));
        // The 500 to QUIT is the one error (the page does not show it after an abort).
        EXPECT_EQ(Events.filter(QStringLiteral("error")), QStringList{"error 0 "});
        ExpectNothingAfterQuit();
    }
}

// A server that ignores ABOR and everything after it is closed on.
TEST_F(TMFtpAbortTest, AnUnansweredAborEndsTheSessionAfterItsWait) {
    StartDownload();
    QElapsedTimer t;
    t.start();
    Ftp.Abort();
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit"), 8000));
    EXPECT_GE(t.elapsed(), 4000);
    ExpectNothingAfterQuit();
}

// The control connection reset, or closed, in the middle of a transfer: one
// error (reset, or the server's hang-up), and the transfer's socket and file
// closed with it.
TEST_F(TMFtpAbortTest, AControlConnectionLostMidTransferEndsEverything) {
    for (const bool reset : {true, false}) {
        StartDownload();
        if (reset) {
            const linger hard{1, 0};
            ::setsockopt(int(Peer.Control()->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard,
                         sizeof hard);
            Peer.Control()->abort();
        } else {
            Peer.CloseControl();
        }
        ASSERT_TRUE(WaitFor(QStringLiteral("Quit"), 3000)) << reset;
        EXPECT_EQ(Events.filter(QStringLiteral("error")).size(), 1)
            << Events.join(u'\n').toStdString();
        EXPECT_TRUE(Events.filter(QStringLiteral("error"))
                        .value(0)
                        .startsWith(reset ? QStringLiteral("error 6 ") : QStringLiteral("error 16 ")));
        // The server goes on sending: nobody takes it any more.
        if (Peer.DataConnected())
            Peer.SendData(Content.mid(5000));
        ExpectNothingAfterQuit();
    }
}

// 226 while the data connection stays open: the reply time-out ends it.
TEST_F(TMFtpAbortTest, ASilentDataConnectionTimesOut) {
    Ftp.TimeOutReply = 1;
    StartDownload();
    Peer.Send(QStringLiteral("226 Transfer complete\r\n"));
    OnAbor = QStringLiteral("426 Transfer aborted\r\n226 ABOR successful\r\n");
    ASSERT_TRUE(WaitFor(QStringLiteral("error 7 Connection timed out"), 3000));
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit"), 3000));
    EXPECT_EQ(Events.filter(QStringLiteral("error")).size(), 1);
    ExpectNothingAfterQuit();
}

TEST_F(TMFtpAbortTest, PassivePortZeroIsAProtocolError) {
    PassiveFields = QStringLiteral("127,0,0,1");
    const auto serve = Peer.OnCommand;
    Peer.OnCommand = [serve](TScriptedFtpPeer& peer, const QString& line) {
        if (!line.startsWith(QLatin1String("PASV")))
            return serve(peer, line);
        peer.Send(QStringLiteral("227 Entering Passive Mode (127,0,0,1,0,0)\r\n"));
        return true;
    };
    ASSERT_TRUE(LogIn());
    Events.clear();
    Ftp.GetFile(QStringLiteral("file.bin"), Local());
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit"), 3000));
    EXPECT_EQ(Events.filter(QStringLiteral("error")), QStringList{"error 12 "});
}

// Every block reaches the file whole, even when the progress handler lets
// everything else run (control replies included) on every block.
TEST_F(TMFtpTransferTest, TwentyMegabytesArriveWholeWhateverTheHandlersDo) {
    Content = Pattern(20 * 1024 * 1024);
    ReplyBeforeClose = true;
    const auto record = Ftp.OnFtpInfo;
    Ftp.OnFtpInfo = [record](TMFtp& ftp, FtpInfo info, const QString& text) {
        record(ftp, info, text);
        if (info == ftpiProgress)
            QCoreApplication::processEvents();
    };
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(Download());
    EXPECT_TRUE(LocalBytes() == Content);
    EXPECT_EQ(Ftp.BytesTransferred, quint64(Content.size()));
}

// A passive data connection that is up is never ended by the connect
// time-out, however long the transfer takes.
TEST_F(TMFtpTransferTest, AnEstablishedDataConnectionOutlivesTheConnectTimeOut) {
    Ftp.TimeOutConnect = 1;
    HoldData = 3000;
    ASSERT_TRUE(LogIn());
    Events.clear();
    Ftp.GetFile(QStringLiteral("file.bin"), Local());
    ASSERT_TRUE(QTest::qWaitFor([this] { return Ftp.BytesTransferred >= 3000; }, 3000));
    QTest::qWait(1600);
    EXPECT_FALSE(Events.contains(QStringLiteral("info 10 Transfer done")));
    Peer.SendData(Content.mid(3000));
    Peer.Send(QStringLiteral("226 Transfer complete\r\n"));
    ASSERT_TRUE(WaitFor(QStringLiteral("FileReceived")));
    EXPECT_EQ(LocalBytes(), Content);
}

namespace {

int Option(int fd, int level, int name) {
    int value = -1;
    socklen_t length = sizeof value;
    return ::getsockopt(fd, level, name, &value, &length) == 0 ? value : -1;
}

// The options of a TCP socket as getsockopt reads them back.
struct TSeen {
    int Ttl, PathMtu, ReceiveBuffer, Mss;
    bool operator==(const TSeen&) const = default;
};
std::ostream& operator<<(std::ostream& os, const TSeen& s) {
    return os << "ttl " << s.Ttl << " pmtu " << s.PathMtu << " rcvbuf " << s.ReceiveBuffer
              << " mss " << s.Mss;
}
TSeen Seen(int fd) {
    return {Option(fd, IPPROTO_IP, IP_TTL), Option(fd, IPPROTO_IP, IP_MTU_DISCOVER),
            Option(fd, SOL_SOCKET, SO_RCVBUF), Option(fd, IPPROTO_TCP, TCP_MAXSEG)};
}

// Every connected TCP socket of this process but the peer's own: the client's.
std::vector<TSeen> ClientSockets(const std::vector<int>& peerFds) {
    std::vector<TSeen> seen;
    for (const QString& entry : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files)) {
        const int fd = entry.toInt();
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        if (std::find(peerFds.begin(), peerFds.end(), fd) != peerFds.end() ||
            Option(fd, SOL_SOCKET, SO_TYPE) != SOCK_STREAM ||
            Option(fd, SOL_SOCKET, SO_ACCEPTCONN) != 0 ||
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
            continue;
        seen.push_back(Seen(fd));
    }
    return seen;
}

} // namespace

// The settings a test carries reach the control and the data connection in
// both modes, and through a proxy: the client's sockets read them back, and the
// server's side sees the segment size the SYN advertised. Unset, Linux's own
// stay.
TEST_F(TMFtpTransferTest, EveryConnectionCarriesTheSocketOptionsAndUnsetLeavesLinuxsOwn) {
    TSocketOptions asked;
    asked.SegmentSize = 536;
    asked.ReceiveWindow = 8760;
    asked.TimeToLive = 37;
    asked.PathMtu = TSocketOptions::TPathMtu::Discover;
    const TSeen carried{37, IP_PMTUDISC_DO, 4 * 8760, 536};
    std::vector<TSeen> client;
    std::vector<int> serverMss;
    AtRetr = [&] {
        std::vector<int> peerFds;
        for (QTcpSocket* s : {Peer.Control(), Peer.Data()})
            if (s) {
                peerFds.push_back(int(s->socketDescriptor()));
                serverMss.push_back(Option(int(s->socketDescriptor()), IPPROTO_TCP, TCP_MAXSEG));
            }
        // In PORT mode the client accepts once its event loop turns.
        (void)QTest::qWaitFor([&] { return ClientSockets(peerFds).size() >= 2; }, 2000);
        client = ClientSockets(peerFds);
    };
    auto run = [&](bool passive, const TSocketOptions& options) {
        client.clear();
        serverMss.clear();
        Ftp.Passive = passive;
        Ftp.SetSocketOptions(options);
        ASSERT_TRUE(LogIn());
        ASSERT_TRUE(Download());
        EXPECT_EQ(LocalBytes(), Content);
        Ftp.Disconnect();
        ASSERT_TRUE(WaitFor(QStringLiteral("Quit")));
    };
    for (const bool passive : {true, false}) {
        run(passive, asked);
        ASSERT_EQ(client.size(), 2u) << passive; // the control and the data connection
        for (TSeen s : client) {
            // Connected, TCP_MAXSEG reads what the segments carry: the SYN's, less
            // the timestamp option both ends use.
            EXPECT_LE(s.Mss, 536) << passive;
            s.Mss = 536;
            EXPECT_EQ(s, carried) << passive;
        }
        ASSERT_EQ(serverMss.size(), 2u);
        for (const int mss : serverMss)
            EXPECT_LE(mss, 536) << passive; // loopback's own is 65,483
        const TConnectionFigures& data = Ftp.DataFigures();
        ASSERT_TRUE(data.Valid) << passive;
        EXPECT_EQ(data.AdvertisedMss, 536u);
        EXPECT_EQ(data.TimeToLive, 37);
        if (data.AdvertisedWindow >= 0) {
            EXPECT_LE(data.AdvertisedWindow, 8760) << passive;
        }
    }

    run(false, TSocketOptions());
    QFile ttl(QStringLiteral("/proc/sys/net/ipv4/ip_default_ttl"));
    ASSERT_TRUE(ttl.open(QIODevice::ReadOnly));
    const int ownTtl = ttl.readAll().trimmed().toInt();
    ASSERT_EQ(client.size(), 2u);
    for (const TSeen& s : client) {
        EXPECT_EQ(s.Ttl, ownTtl);
        EXPECT_NE(s.ReceiveBuffer, 4 * 8760);
        EXPECT_GT(s.Mss, 1400);
    }
    for (const int mss : serverMss)
        EXPECT_GT(mss, 1400);

    // Through a proxy: the connection to the proxy and the one from it.
    auto proxy = TFtpServer::FtpProxy(Peer.Port());
    ASSERT_TRUE(proxy);
    Ftp.ProxyType = proxyUserSite;
    Ftp.ProxyServer = QStringLiteral("127.0.0.1");
    Ftp.ProxyPort = proxy->Port;
    run(false, asked);
    ASSERT_GE(client.size(), 2u) << proxy->Log().toStdString();
    for (TSeen s : client) {
        EXPECT_LE(s.Mss, 536);
        s.Mss = 536;
        EXPECT_EQ(s, carried);
    }
}
