#include "ftp/TFtpTestSession.h"
#include "helpers/TFtpServers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <sys/stat.h>

namespace {

const std::pair<const char*, int> Files[] = {{"empty.bin", 0},
                                             {"one.bin", 1},
                                             {"block.bin", 8192},
                                             {"block1.bin", 8193},
                                             {"ten.bin", 10 * 1024 * 1024}};

} // namespace

// The real servers on loopback, each test with its own set started afresh.
class TRealServerTest : public TFtpTestSession {
protected:
    void SetUp() override {
        TFtpTestSession::SetUp();
        ASSERT_TRUE(FServed.isValid());
        ::chmod(QFile::encodeName(FServed.path()).constData(), 0755);
        for (const auto& [name, size] : Files) {
            QByteArray bytes(size, Qt::Uninitialized);
            QRandomGenerator generator(size);
            for (int i = 0; i < size; ++i)
                bytes[i] = static_cast<char>(generator.bounded(256));
            Put(QString::fromLatin1(name), bytes);
        }
        // A long file for aborting: sparse, so it costs nothing to make.
        QFile big(Served(QStringLiteral("big.bin")));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        big.resize(256LL * 1024 * 1024);
        big.close();
        Ftp.TransferMode = BinaryTransfer;
        Ftp.TimeOutConnect = 10;
    }
    QString Served(const QString& name) const { return FServed.path() + u'/' + name; }
    void Put(const QString& name, const QByteArray& bytes) {
        QFile f(Served(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther |
                         QFile::ReadGroup);
    }
    static QByteArray Read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
    }
    void Target(const TFtpServer& server) {
        Ftp.SetServer(QStringLiteral("127.0.0.1"));
        Ftp.Port = server.Port;
        Ftp.ProxyType = proxyNone;
        Ftp.ProxyServer.clear();
    }
    bool Fetch(const QString& name, const QString& local) {
        Events.clear();
        Ftp.GetFile(name, local);
        return WaitFor(QStringLiteral("FileReceived"), 20000);
    }
    void QuitSession() {
        Events.clear();
        Ftp.Quit();
        EXPECT_TRUE(WaitFor(QStringLiteral("Quit")));
    }

    QTemporaryDir FServed;
};

TEST_F(TRealServerTest, LoginProbeKeepAliveAndQuitAgainstBothServers) {
    SKIP_UNLESS_VSFTPD_CAN_RUN();
    auto vsftpd = TFtpServer::Vsftpd(FServed.path());
    auto pyftpd = TFtpServer::Pyftpdlib(FServed.path());
    ASSERT_TRUE(vsftpd && pyftpd);
    for (TFtpServer* server : {vsftpd.get(), pyftpd.get()}) {
        Target(*server);
        Ftp.ServerType = ftpstAutoDetect;
        Ftp.SetNoopInterval(1);
        Events.clear();
        ASSERT_TRUE(LogIn()) << server->Name.toStdString() << "\n"
                             << Events.join(u'\n').toStdString();
        EXPECT_EQ(Ftp.ServerType, ftpstUNIX) << server->Name.toStdString();
        // Stock pyftpdlib refuses REST in ASCII mode, the mode of the probe.
        EXPECT_EQ(Ftp.CanResume(), server == vsftpd.get()) << server->Name.toStdString();
        EXPECT_EQ(Ftp.CurrentDirectory(), QStringLiteral("/"));
        QTest::qWait(1500); // one NOOP goes out and is answered
        EXPECT_TRUE(Events.contains(QStringLiteral("info 4 NOOP|"))) << server->Name.toStdString();
        EXPECT_FALSE(Ftp.Busy());
        EXPECT_FALSE(Events.join(u'\n').contains(QStringLiteral("error")));
        QuitSession();
    }
    // A user with a password.
    Target(*pyftpd);
    Ftp.Username = QStringLiteral("zephyn");
    Ftp.Password = QStringLiteral("secret");
    Events.clear();
    ASSERT_TRUE(LogIn());
    QuitSession();
}

TEST_F(TRealServerTest, FilesOfEverySizeArriveWholeInBothModesFromBothServers) {
    SKIP_UNLESS_VSFTPD_CAN_RUN();
    auto vsftpd = TFtpServer::Vsftpd(FServed.path());
    auto pyftpd = TFtpServer::Pyftpdlib(FServed.path());
    ASSERT_TRUE(vsftpd && pyftpd);
    for (TFtpServer* server : {vsftpd.get(), pyftpd.get()}) {
        for (const bool passive : {true, false}) {
            Target(*server);
            Ftp.Passive = passive;
            Events.clear();
            ASSERT_TRUE(LogIn());
            for (const auto& [name, size] : Files) {
                const QString local = DataDir() + u'/' + QLatin1String(name);
                QFile::remove(local);
                ASSERT_TRUE(Fetch(QString::fromLatin1(name), local))
                    << server->Name.toStdString() << " " << name << " passive " << passive << "\n"
                    << Events.join(u'\n').toStdString();
                EXPECT_EQ(Read(local), Read(Served(QString::fromLatin1(name))))
                    << server->Name.toStdString() << " " << name << " passive " << passive;
                EXPECT_EQ(Ftp.BytesTransferred, quint64(size));
            }
            QuitSession();
        }
    }
}

TEST_F(TRealServerTest, AnInterruptedDownloadResumesFromPyftpdlib) {
    auto pyftpd = TFtpServer::Pyftpdlib(FServed.path(), 0, true);
    ASSERT_TRUE(pyftpd);
    Target(*pyftpd);
    Ftp.Passive = true;
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(Ftp.CanResume());
    const QString local = DataDir() + QStringLiteral("/ten.bin");
    const QByteArray whole = Read(Served(QStringLiteral("ten.bin")));
    QFile part(local);
    ASSERT_TRUE(part.open(QIODevice::WriteOnly));
    part.write(whole.left(3 * 1024 * 1024 + 17));
    part.close();
    NeedAnswers[ftpnResume] = QStringLiteral("Resume");
    ASSERT_TRUE(Fetch(QStringLiteral("ten.bin"), local));
    EXPECT_TRUE(Events.contains(QStringLiteral("info 4 REST 3145745|")));
    EXPECT_EQ(Read(local), whole);
    EXPECT_EQ(Ftp.BytesTransferred, quint64(whole.size() - (3 * 1024 * 1024 + 17)));
    QuitSession();
}

TEST_F(TRealServerTest, AbortingAVsftpdDownloadLeavesTheSessionUsable) {
    SKIP_UNLESS_VSFTPD_CAN_RUN();
    // Slow enough (4 MB/s) that the abort lands long before the end.
    auto vsftpd = TFtpServer::Vsftpd(FServed.path(), 4 * 1024 * 1024);
    ASSERT_TRUE(vsftpd);
    Target(*vsftpd);
    for (const bool passive : {true, false}) {
        Ftp.Passive = passive;
        Events.clear();
        ASSERT_TRUE(LogIn());
        bool aborted = false;
        const auto record = Ftp.OnFtpInfo;
        Ftp.OnFtpInfo = [&](TMFtp& ftp, FtpInfo info, const QString& text) {
            record(ftp, info, text);
            if (info == ftpiProgress && !aborted) {
                aborted = true;
                ftp.Abort();
            }
        };
        const QString local = DataDir() + QStringLiteral("/big.bin");
        QFile::remove(local);
        ASSERT_TRUE(Fetch(QStringLiteral("big.bin"), local)) << Events.join(u'\n').toStdString();
        Ftp.OnFtpInfo = record;
        EXPECT_TRUE(aborted);
        EXPECT_LT(Ftp.BytesTransferred, 256ull * 1024 * 1024);
        EXPECT_FALSE(Events.join(u'\n').contains(QStringLiteral("error")));
        // The session answers afterwards. (vsftpd reads the Telnet mark sent
        // after ABOR as the start of the next command, so that one command is
        // refused; the session goes on.)
        Events.clear();
        Ftp.ChangeDirectory(QStringLiteral("/"));
        ASSERT_TRUE(WaitFor(QStringLiteral("DirectoryChanged")));
        QuitSession();
    }
}

TEST_F(TRealServerTest, TheUserAtHostProxyReachesVsftpd) {
    SKIP_UNLESS_VSFTPD_CAN_RUN();
    auto vsftpd = TFtpServer::Vsftpd(FServed.path());
    ASSERT_TRUE(vsftpd);
    auto proxy = TFtpServer::FtpProxy(vsftpd->Port);
    ASSERT_TRUE(proxy) << "ftp-proxy did not start";
    for (const bool passive : {true, false}) {
        Ftp.SetServer(QStringLiteral("127.0.0.1"));
        Ftp.Port = vsftpd->Port;
        Ftp.ProxyType = proxyUserSite;
        Ftp.ProxyServer = QStringLiteral("127.0.0.1");
        Ftp.ProxyPort = proxy->Port;
        Ftp.Passive = passive;
        Events.clear();
        ASSERT_TRUE(LogIn()) << Events.join(u'\n').toStdString() << proxy->Log().toStdString();
        EXPECT_TRUE(Events.contains(
            QStringLiteral("info 4 USER anonymous@127.0.0.1:%1|").arg(vsftpd->Port)));
        const QString local = DataDir() + QStringLiteral("/block1.bin");
        QFile::remove(local);
        ASSERT_TRUE(Fetch(QStringLiteral("block1.bin"), local)) << Events.join(u'\n').toStdString();
        EXPECT_EQ(Read(local), Read(Served(QStringLiteral("block1.bin"))));
        QuitSession();
    }
}

// Fifty aborts at varied moments of a session (lookup, login, directory
// change, transfer, QUIT), against vsftpd: each one ends the session.
TEST_F(TRealServerTest, FiftyAbortsAtVariedMomentsEachEndTheSession) {
    SKIP_UNLESS_VSFTPD_CAN_RUN();
    auto vsftpd = TFtpServer::Vsftpd(FServed.path(), 4 * 1024 * 1024);
    ASSERT_TRUE(vsftpd);
    Target(*vsftpd);
    const QString local = DataDir() + QStringLiteral("/big.bin");
    Ftp.OnLoggedIn = [](TMFtp& ftp) { ftp.ChangeDirectory(QStringLiteral("/")); };
    Ftp.OnDirectoryChanged = [local](TMFtp& ftp) { ftp.GetFile(QStringLiteral("big.bin"), local); };
    Ftp.OnFileReceived = [](TMFtp& ftp) { ftp.Quit(); };
    Ftp.OnFtpError = [](TMFtp& ftp, FtpError, const QString&) { ftp.Abort(); };
    QRandomGenerator random(50);
    for (int i = 0; i < 50; ++i) {
        Events.clear();
        Ftp.Passive = i % 2 == 0;
        QFile::remove(local);
        Ftp.Login();
        QTest::qWait(int(random.bounded(60)));
        QElapsedTimer t;
        t.start();
        Ftp.Abort();
        ASSERT_TRUE(WaitFor(QStringLiteral("Quit"), 8000)) << i;
        EXPECT_LT(t.elapsed(), 6000) << i;
        EXPECT_FALSE(Ftp.Connected()) << i;
        EXPECT_FALSE(Ftp.Busy()) << i;
    }
}
