#include "ftp/TFtpTestSession.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

class TMFtpSessionTest : public TFtpTestSession {};

TEST_F(TMFtpSessionTest, LogsInAfterAMultiLineGreetingWithTheExactCommands) {
    Peer.Greeting = {QStringLiteral("220-Welcome"), QStringLiteral("331 not a reply here"),
                     QStringLiteral("220-still the greeting"), QStringLiteral("220 ready")};
    ScriptLogin();
    ASSERT_TRUE(LogIn());
    EXPECT_EQ(Peer.Received, QByteArray("USER anonymous\r\nPASS me@example.test\r\nSYST\r\n"
                                        "REST 100\r\nREST 0\r\nPWD\r\n"));
    EXPECT_EQ(Events,
              (QStringList{"info 0 127.0.0.1", "info 4 USER anonymous|",
                           "info 4 PASS (want to know) :-P|", "info 4 SYST|", "info 4 REST 100|",
                           "info 6 This site can resume broken downloads/uploads", "info 4 REST 0|",
                           "info 4 PWD|", "info 13 Logged in", "Ready", "LoggedIn"}));
    EXPECT_EQ(Ftp.ServerType, ftpstUNIX);
    EXPECT_EQ(Ftp.CurrentDirectory(), QStringLiteral("/"));
    EXPECT_TRUE(Ftp.LoggedIn());

    Events.clear();
    Ftp.Quit();
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit")));
    EXPECT_EQ(Events, (QStringList{"info 4 QUIT|", "info 1 Disconnected", "Ready", "Quit"}));
    EXPECT_FALSE(Ftp.Connected());
    // Not connected: nothing is sent.
    Events.clear();
    const QByteArray before = Peer.Received;
    Ftp.Quit();
    EXPECT_EQ(Events, QStringList{"info 1 Not connected to the server"});
    EXPECT_EQ(Peer.Received, before);
}

TEST_F(TMFtpSessionTest, TheServerTypeComesFromSystInTableOrder) {
    const std::pair<const char*, TMFtpServerType> cases[] = {
        {"215 UNIX emulated by BSD", ftpstUNIX},
        {"215 BSD-like SunOS", ftpstBSD},
        {"215 OpenVMS with MultiNet", ftpstVmsMultinet},
        {"215 openvms multinet", ftpstVmsMultinet},
        {"215 VMS", ftpstVmsUcx},
        {"215 VM/ESA VPS", ftpstVMVPS},
        {"215 Windows_NT", ftpstDefault},
        {"502 SYST not implemented", ftpstDefault},
        {"550 no", ftpstDefault},
    };
    for (const auto& [reply, type] : cases) {
        TScriptedFtpPeer peer;
        ScriptLogin();
        Ftp.Port = peer.Port();
        peer.Reply(QStringLiteral("USER"), {{QStringLiteral("230 ok")}});
        peer.Reply(QStringLiteral("SYST"), {{QString::fromLatin1(reply)}});
        peer.Reply(QStringLiteral("REST"), {{QStringLiteral("502 no REST")}});
        peer.Reply(QStringLiteral("PWD"), {{QStringLiteral("257 \"/\"")}});
        Ftp.ServerType = ftpstAutoDetect;
        Events.clear();
        ASSERT_TRUE(LogIn()) << reply;
        EXPECT_EQ(Ftp.ServerType, type) << reply;
        EXPECT_TRUE(Events.contains(
            QStringLiteral("info 17 This site cannot resume broken downloads/uploads")));
        Ftp.Disconnect();
        ASSERT_TRUE(WaitFor(QStringLiteral("Quit")));
    }

    // A NetTerm greeting sets the type; a preset type skips SYST.
    TScriptedFtpPeer netterm;
    netterm.Greeting = {QStringLiteral("220 NetTerm FTP server ready")};
    netterm.Reply(QStringLiteral("USER"), {{QStringLiteral("230 ok")}});
    netterm.Reply(QStringLiteral("REST"), {{QStringLiteral("350 ok")}});
    netterm.Reply(QStringLiteral("PWD"), {{QStringLiteral("257 \"/C:/pub\"")}});
    Ftp.Port = netterm.Port();
    Ftp.ServerType = ftpstAutoDetect;
    Events.clear();
    ASSERT_TRUE(LogIn());
    EXPECT_EQ(Ftp.ServerType, ftpstNetTerm);
    EXPECT_EQ(netterm.Commands, (QStringList{"USER anonymous", "REST 100", "REST 0", "PWD"}));
    EXPECT_EQ(Ftp.CurrentDirectory(), QStringLiteral("/pub"));
}

TEST_F(TMFtpSessionTest, EachProxyKindSendsItsOwnLoginCommands) {
    struct Case {
        TMFtpProxyType Type;
        quint16 TargetPort;
        QStringList Commands;
    };
    const Case cases[] = {
        {proxyUserSite, 2121, {"USER anonymous@ftp.target.test:2121", "PASS me@example.test"}},
        {proxyUserSite, 21, {"USER anonymous@ftp.target.test", "PASS me@example.test"}},
        {proxyHostUser, 2121, {"USER ftp.target.test:2121!anonymous", "PASS me@example.test"}},
        {proxyHostUser, 21, {"USER ftp.target.test!anonymous", "PASS me@example.test"}},
        {proxyOpen, 21, {"OPEN ftp.target.test", "USER anonymous", "PASS me@example.test"}},
        {proxyHost, 21, {"HOST ftp.target.test", "USER anonymous", "PASS me@example.test"}},
        {proxySite,
         21,
         {"USER proxyuser", "PASS proxypass", "SITE ftp.target.test", "USER anonymous",
          "PASS me@example.test"}},
    };
    for (const Case& c : cases) {
        TScriptedFtpPeer proxy;
        proxy.Reply(QStringLiteral("OPEN"), {{QStringLiteral("220 connected")}});
        proxy.Reply(QStringLiteral("HOST"), {{QStringLiteral("330 host ok, send USER")}});
        proxy.Reply(QStringLiteral("SITE"), {{QStringLiteral("220 connected to target")}});
        proxy.Reply(QStringLiteral("USER"), {{QStringLiteral("331 password")}});
        proxy.Reply(QStringLiteral("PASS"), {{QStringLiteral("230 in")}});
        proxy.Reply(QStringLiteral("REST"), {{QStringLiteral("350 ok")}});
        proxy.Reply(QStringLiteral("PWD"), {{QStringLiteral("257 \"/\"")}});
        Ftp.SetServer(QStringLiteral("ftp.target.test")); // named only, never connected
        Ftp.Port = c.TargetPort;
        Ftp.ProxyType = c.Type;
        Ftp.ProxyServer = QStringLiteral("127.0.0.1");
        Ftp.ProxyPort = proxy.Port();
        Ftp.ProxyUsername = QStringLiteral("proxyuser");
        Ftp.ProxyPassword = QStringLiteral("proxypass");
        Ftp.ServerType = ftpstUNIX;
        Events.clear();
        ASSERT_TRUE(LogIn()) << c.Commands.first().toStdString();
        EXPECT_EQ(proxy.Commands.mid(0, c.Commands.size()), c.Commands);
        // Afterwards Server and Port name the real target again.
        EXPECT_EQ(Ftp.Server(), QStringLiteral("ftp.target.test"));
        EXPECT_EQ(Ftp.Port, c.TargetPort);
        Ftp.Disconnect();
        ASSERT_TRUE(WaitFor(QStringLiteral("Quit")));
    }

    // A proxy type without a proxy server goes straight to the server.
    ScriptLogin();
    Ftp.SetServer(QStringLiteral("127.0.0.1"));
    Ftp.Port = Peer.Port();
    Ftp.ProxyType = proxyUserSite;
    Ftp.ProxyServer = QStringLiteral("  ");
    Events.clear();
    ASSERT_TRUE(LogIn());
    EXPECT_EQ(Peer.Commands.value(0), QStringLiteral("USER anonymous"));
    EXPECT_EQ(Ftp.ProxyType, proxyNone);
}

TEST_F(TMFtpSessionTest, ARefusedLoginIsRetriedAndThenTheSessionEnds) {
    Peer.Reply(QStringLiteral("USER"), {{QStringLiteral("331 password")}});
    Peer.Reply(QStringLiteral("PASS"), {{QStringLiteral("530 Login incorrect")}});
    Ftp.Retries = 3;
    Ftp.Login();
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit")));
    EXPECT_EQ(Peer.Connections, 4);
    EXPECT_EQ(Events.count(QStringLiteral("error 26 ")), 4);
    EXPECT_EQ(Events.count(QStringLiteral("info 18 Retrying...")), 3);
    EXPECT_EQ(Events.mid(Events.size() - 3), (QStringList{"info 1 Disconnected", "Ready", "Quit"}));
    EXPECT_FALSE(Events.contains(QStringLiteral("LoggedIn")));
}

TEST_F(TMFtpSessionTest, AbortEndsTheRetryWaitAtOnce) {
    Peer.Reply(QStringLiteral("USER"), {{QStringLiteral("530 go away")}});
    Ftp.RetryInterval = 15;
    // The wait runs inside the event handling, so the abort is scheduled from
    // the event that starts it, as a user's click during the wait would come.
    const auto record = Ftp.OnFtpInfo;
    bool waiting = false;
    Ftp.OnFtpInfo = [&](TMFtp& ftp, FtpInfo info, const QString& text) {
        record(ftp, info, text);
        if (info == ftpiRetrying)
            QTimer::singleShot(50, [&] {
                waiting = Ftp.RetryWaitRunning();
                Ftp.Abort();
            });
    };
    Ftp.Login();
    // Ends long before the 15 seconds are up.
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit"), 3000));
    EXPECT_TRUE(waiting);
    EXPECT_TRUE(Events.contains(QStringLiteral("Aborted")));
    EXPECT_EQ(Peer.Connections, 1);
}

TEST_F(TMFtpSessionTest, NoopKeepsAliveUntilTheServerRefusesIt) {
    ScriptLogin();
    Peer.Reply(QStringLiteral("NOOP"), {{QStringLiteral("502 NOOP not implemented")}});
    Ftp.SetNoopInterval(1);
    EXPECT_EQ(Ftp.NoopInterval(), 1);
    ASSERT_TRUE(LogIn());
    QTest::qWait(2600);
    EXPECT_EQ(Peer.Commands.count(QStringLiteral("NOOP")), 1);
    EXPECT_FALSE(Ftp.Busy());
    // 0: no keep-alive at all.
    Peer.Reply(QStringLiteral("NOOP"), {{QStringLiteral("200 ok")}});
    Ftp.SetNoopInterval(0);
    Ftp.ChangeDirectory(QStringLiteral("/"));
    QTest::qWait(1200);
    EXPECT_EQ(Peer.Commands.count(QStringLiteral("NOOP")), 1);
}

TEST_F(TMFtpSessionTest, ARefusedQuitIsAnErrorAndEndsTheSession) {
    ScriptLogin();
    Peer.OnCommand = nullptr;
    Peer.Reply(QStringLiteral("QUIT"), {{QStringLiteral("500 No.")}});
    ASSERT_TRUE(LogIn());
    Events.clear();
    Ftp.Quit();
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit")));
    EXPECT_EQ(Events,
              (QStringList{"info 4 QUIT|", "error 0 ", "info 1 Disconnected", "Ready", "Quit"}));
}

// vsftpd after an abort: a late "226 ABOR successful" is taken for QUIT's
// reply while QUIT itself was lost; the connection stays open on its side.
TEST_F(TMFtpSessionTest, QuitsReplyWhateverItIsOrNoneEndsTheSession) {
    for (const bool answered : {true, false}) {
        ScriptLogin();
        Peer.OnCommand = [answered](TScriptedFtpPeer& peer, const QString& line) {
            if (!line.startsWith(QLatin1String("QUIT")))
                return false;
            if (answered)
                peer.Send(QStringLiteral("226 ABOR successful\r\n"));
            return true; // and the connection is left open
        };
        ASSERT_TRUE(LogIn());
        Events.clear();
        QElapsedTimer t;
        t.start();
        Ftp.Quit();
        ASSERT_TRUE(WaitFor(QStringLiteral("Quit"), 7000)) << answered;
        EXPECT_EQ(Events, (QStringList{"info 4 QUIT|", "info 1 Disconnected", "Ready", "Quit"}));
        EXPECT_LT(t.elapsed(), answered ? 1000 : 6000);
        EXPECT_GE(t.elapsed(), answered ? 0 : 4000); // the 5 s wait for a reply
        EXPECT_FALSE(Ftp.Connected());
    }
}

TEST_F(TMFtpSessionTest, AServerThatNeverGreetsTimesOutAndAbortEndsTheAttempt) {
    Peer.Greeting.clear();
    Ftp.TimeOutConnect = 1;
    Ftp.Login();
    ASSERT_TRUE(WaitFor(QStringLiteral("error 7 Connection timed out"), 4000));
    EXPECT_FALSE(Events.contains(QStringLiteral("Quit")));
    Ftp.Abort();
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit")));
    EXPECT_TRUE(Events.contains(QStringLiteral("Aborted")));
}

TEST_F(TMFtpSessionTest, ARefusedConnectIsReportedAtOnce) {
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        closedPort = probe.serverPort();
    }
    Ftp.Port = closedPort;
    Ftp.TimeOutConnect = 30;
    Ftp.Login();
    ASSERT_TRUE(WaitFor(QStringLiteral("error 11 Connection Refused"), 3000));
    Ftp.Abort();
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit")));
    EXPECT_EQ(Events.count(QStringLiteral("info 1 Disconnected")), 1);
}

TEST_F(TMFtpSessionTest, AbortWhileResolvingEndsTheSessionWithoutALogin) {
    ScriptLogin();
    Ftp.SetServer(QStringLiteral("localhost"));
    Ftp.Login();
    ASSERT_EQ(Events.first(), QStringLiteral("info 2 localhost"));
    Ftp.Abort();
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit")));
    QTest::qWait(300);
    EXPECT_FALSE(Events.contains(QStringLiteral("LoggedIn")));
    EXPECT_EQ(Peer.Connections, 0);
}

TEST_F(TMFtpSessionTest, AFloodOfRepliesDuringASendIsHandledInOrder) {
    // The peer answers USER with every later reply at once, so they arrive
    // while the client is still sending its next commands.
    Peer.OnCommand = [](TScriptedFtpPeer& peer, const QString& line) {
        if (!line.startsWith(QLatin1String("USER")))
            return true;
        peer.Send(QStringLiteral("331 password\r\n230 in\r\n215 UNIX\r\n350 a\r\n350 b\r\n"
                                 "257 \"/flood\"\r\n"));
        return true;
    };
    ASSERT_TRUE(LogIn());
    EXPECT_TRUE(QTest::qWaitFor([this] { return Peer.Commands.size() >= 6; }, 3000));
    EXPECT_EQ(Peer.Commands, (QStringList{"USER anonymous", "PASS me@example.test", "SYST",
                                          "REST 100", "REST 0", "PWD"}));
    EXPECT_EQ(Ftp.CurrentDirectory(), QStringLiteral("/flood"));
}

// A line without end past 64 KiB, or a reply of more than 1,000 lines.
TEST_F(TMFtpSessionTest, AnEndlessLineOrReplyIsAProtocolError) {
    QString long_reply = QStringLiteral("220-start\r\n");
    for (int i = 0; i < 1000; ++i)
        long_reply += QStringLiteral("220-more\r\n");
    for (const QString& text : {QString(70 * 1024, u'x'), long_reply}) {
        Events.clear();
        Peer.Greeting.clear();
        Ftp.Retries = 0; // a protocol error is retried otherwise
        const int before = Peer.Connections;
        Ftp.Login();
        ASSERT_TRUE(QTest::qWaitFor([&] { return Peer.Connections > before; }, 3000));
        Peer.Send(text);
        ASSERT_TRUE(WaitFor(QStringLiteral("error 12 ")));
        ASSERT_TRUE(WaitFor(QStringLiteral("Quit")));
    }
}

// A name that is no dotted address is looked up, even when it starts with
// a digit; with no socket to be had (too many open files) the session
// reports error 8 at once, and Abort ends it.
TEST_F(TMFtpSessionTest, NamesAreLookedUpAndNoSocketIsReported) {
    Ftp.SetServer(QStringLiteral("3com.example.test"));
    EXPECT_EQ(Ftp.ServerHostName(), QStringLiteral("3com.example.test"));
    Ftp.SetServer(QStringLiteral("127.0.0.1"));
    EXPECT_EQ(Ftp.ServerAddressText(), QStringLiteral("127.0.0.1"));

    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    std::vector<int> filler;
    rlimit low = old;
    low.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
        filler.push_back(fd);
    Ftp.Login();
    for (int fd : filler)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(Events.value(0), QStringLiteral("error 8 Out of sockets"));
    Ftp.Abort();
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit")));
}

// Every wait on the server has its bound: silence after the greeting or
// after CWD ends the session with error 7, once.
TEST_F(TMFtpSessionTest, ASilentServerTimesOutWhereverItStops) {
    for (const char* word : {"USER", "CWD"}) {
        const QString silentAt = QString::fromLatin1(word);
        ScriptLogin();
        const auto quit = Peer.OnCommand;
        Peer.OnCommand = [quit, silentAt](TScriptedFtpPeer& peer, const QString& line) {
            return line.startsWith(silentAt) || quit(peer, line);
        };
        Ftp.TimeOutReply = 1;
        Ftp.Retries = 0;
        Events.clear();
        Ftp.Login();
        if (silentAt == QLatin1String("CWD")) {
            ASSERT_TRUE(WaitFor(QStringLiteral("LoggedIn")));
            Ftp.ChangeDirectory(QStringLiteral("pub"));
        }
        ASSERT_TRUE(WaitFor(QStringLiteral("Quit"), 4000)) << silentAt.toStdString();
        EXPECT_EQ(Events.count(QStringLiteral("error 7 Connection timed out")), 1);
        EXPECT_FALSE(Ftp.Connected());
    }
}

// A reply dripped a byte at a time is bounded from its first byte.
TEST_F(TMFtpSessionTest, ADrippedReplyTimesOutFromItsFirstByte) {
    ScriptLogin();
    QTimer drip;
    const auto quit = Peer.OnCommand;
    Peer.OnCommand = [quit, &drip](TScriptedFtpPeer& peer, const QString& line) {
        if (!line.startsWith(QLatin1String("CWD")))
            return quit(peer, line);
        peer.Send(QStringLiteral("2"));
        QObject::connect(&drip, &QTimer::timeout, &peer, [&peer] { peer.Send(QStringLiteral("5")); });
        drip.start(300);
        return true;
    };
    Ftp.TimeOutReply = 1;
    Ftp.Retries = 0;
    Ftp.Login();
    ASSERT_TRUE(WaitFor(QStringLiteral("LoggedIn")));
    Events.clear();
    QElapsedTimer t;
    t.start();
    Ftp.ChangeDirectory(QStringLiteral("pub"));
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit"), 5000));
    EXPECT_LT(t.elapsed(), 4000);
    EXPECT_EQ(Events.count(QStringLiteral("error 7 Connection timed out")), 1);
    drip.stop();
}

// A logged-in session waiting for its directory change is ended by Abort.
TEST_F(TMFtpSessionTest, AbortEndsASessionInAnyState) {
    ScriptLogin();
    const auto quit = Peer.OnCommand;
    Peer.OnCommand = [quit](TScriptedFtpPeer& peer, const QString& line) {
        return line.startsWith(QLatin1String("CWD")) || quit(peer, line);
    };
    ASSERT_TRUE(LogIn());
    Ftp.ChangeDirectory(QStringLiteral("pub"));
    QTest::qWait(50);
    Events.clear();
    Ftp.Abort();
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit"), 1000));
    EXPECT_EQ(Events, (QStringList{"info 1 Disconnected", "Aborted", "Ready", "Quit"}));
}

// A flood of replies never keeps the event loop from running: an abort
// posted during it is handled at once.
TEST_F(TMFtpSessionTest, AnAbortPostedDuringAReplyFloodIsHandledAtOnce) {
    ScriptLogin();
    ASSERT_TRUE(LogIn());
    QString flood;
    for (int i = 0; i < 300000; ++i)
        flood += QStringLiteral("211 noise\r\n");
    Peer.Send(flood);
    QTest::qWait(20); // the flood is arriving
    QElapsedTimer posted;
    qint64 waited = -1;
    posted.start();
    QTimer::singleShot(0, [&] {
        waited = posted.elapsed();
        Ftp.Abort();
    });
    ASSERT_TRUE(WaitFor(QStringLiteral("Quit"), 5000));
    EXPECT_GE(waited, 0);
    EXPECT_LT(waited, 100);
}

// Lines that came after a refusal on a connection never drive the retry's
// new connection; a NUL byte in a reply does not swallow its line end.
TEST_F(TMFtpSessionTest, RepliesActOnlyOnTheirOwnConnection) {
    ScriptLogin();
    Peer.Greeting = {QStringLiteral("220 hello") + QChar(0) + QStringLiteral(" there")};
    const auto quit = Peer.OnCommand;
    Peer.OnCommand = [quit](TScriptedFtpPeer& peer, const QString& line) {
        if (!line.startsWith(QLatin1String("PASS")))
            return quit(peer, line);
        peer.Send(peer.Connections == 1 ? QStringLiteral("530 no\r\n220 stale\r\n")
                                        : QStringLiteral("230 Logged in\r\n"));
        return true;
    };
    Ftp.Retries = 1;
    ASSERT_TRUE(LogIn());
    EXPECT_EQ(Peer.Connections, 2);
    EXPECT_EQ(Peer.Commands.mid(0, 4), (QStringList{"USER anonymous", "PASS me@example.test",
                                                    "USER anonymous", "PASS me@example.test"}));
    const qsizetype connected = Events.lastIndexOf(QStringLiteral("info 0 127.0.0.1"));
    EXPECT_LT(connected, Events.lastIndexOf(QStringLiteral("info 4 USER anonymous|")));
}

// A slot may delete its own socket: nothing of it is touched afterwards
// (the AddressSanitizer build checks that).
TEST_F(TMFtpSessionTest, ASlotMayDeleteItsOwnSocket) {
    for (const bool onConnect : {true, false}) {
        auto* socket = new TMSocket;
        QPointer<TMSocket> watch(socket);
        TMSocket::TSlot remove = [](TMSocket& self) { delete &self; };
        (onConnect ? socket->OnConnect : socket->OnRead) = remove;
        socket->CreateSocket();
        socket->SetAddress(QStringLiteral("127.0.0.1"));
        socket->SetPort(Peer.Port());
        socket->Connect();
        ASSERT_TRUE(QTest::qWaitFor([&] { return watch.isNull(); }, 3000)) << onConnect;
    }
}
