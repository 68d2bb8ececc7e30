#include "helpers/TFtpServers.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <sys/stat.h>
#include <unistd.h>

quint16 FreePort() {
    // Ports of a range of this process's own (by its pid), so that test
    // processes running side by side never pick the same one; each is checked
    // free before use.
    static int next = 0;
    const int base = 20000 + int(::getpid() % 1500) * 12;
    for (int tries = 0; tries < 12; ++tries) {
        const quint16 port = quint16(base + (next++ % 12));
        QTcpServer probe;
        if (probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), port))
            return port;
    }
    QTcpServer any;
    any.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    return any.serverPort();
}

namespace {

bool WriteText(const QString& path, const QString& text) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(text.toUtf8());
    return true;
}

// A range of ports for one server's data connections, spread by process so
// that test processes running side by side do not share one.
int DataPortBase() {
    return 40000 + int(::getpid() % 1200) * 16;
}

} // namespace

TFtpServer::~TFtpServer() {
    if (FProcess.state() != QProcess::NotRunning) {
        FProcess.terminate();
        if (!FProcess.waitForFinished(3000)) {
            FProcess.kill();
            FProcess.waitForFinished(3000);
        }
    }
}

bool TFtpServer::Running() const {
    return FProcess.state() == QProcess::Running;
}

QString TFtpServer::Log() const {
    QFile f(FDir.path() + QStringLiteral("/log/server.log"));
    const QString log = f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    return log + QString::fromUtf8(const_cast<QProcess&>(FProcess).readAllStandardError());
}

bool TFtpServer::Start(const QString& program, const QStringList& arguments) {
    FProcess.setProcessChannelMode(QProcess::SeparateChannels);
    FProcess.start(program, arguments);
    if (!FProcess.waitForStarted(5000))
        return false;
    // Ready once it accepts a connection (bounded: 10 s).
    for (int i = 0; i < 200; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")), Port);
        if (probe.waitForConnected(50)) {
            probe.abort();
            // A server that could not bind its port exits at once; what
            // answered then was somebody else's.
            QThread::msleep(100);
            return FProcess.state() == QProcess::Running;
        }
        if (FProcess.state() != QProcess::Running)
            return false;
        QThread::msleep(50);
    }
    return false;
}

std::unique_ptr<TFtpServer> TFtpServer::Vsftpd(const QString& dir, int maxRate) {
    auto server = std::make_unique<TFtpServer>();
    server->Name = QStringLiteral("vsftpd");
    server->Port = FreePort();
    QDir().mkpath(QStringLiteral("/var/run/vsftpd/empty"));
    const QString config = server->FDir.path() + QStringLiteral("/vsftpd.conf");
    const int base = DataPortBase();
    WriteText(config, QStringLiteral("listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n"
                                     "listen_port=%1\nbackground=NO\nanonymous_enable=YES\n"
                                     "anon_root=%2\nno_anon_password=NO\nlocal_enable=NO\n"
                                     "write_enable=NO\npasv_enable=YES\npasv_address=127.0.0.1\n"
                                     "pasv_min_port=%3\npasv_max_port=%4\nport_enable=YES\n"
                                     "connect_from_port_20=NO\n"
                                     "secure_chroot_dir=/var/run/vsftpd/empty\nuse_sendfile=YES\n"
                                     "seccomp_sandbox=NO\nxferlog_enable=NO\n"
                                     "anon_max_rate=%5\nasync_abor_enable=YES\n")
                          .arg(server->Port)
                          .arg(dir)
                          .arg(base)
                          .arg(base + 7)
                          .arg(maxRate));
    if (!server->Start(QStringLiteral("/usr/sbin/vsftpd"), {config}))
        return nullptr;
    return server;
}

std::unique_ptr<TFtpServer> TFtpServer::Pyftpdlib(const QString& dir, int rateLimit,
                                                  bool binaryDefault) {
    auto server = std::make_unique<TFtpServer>();
    server->Name = QStringLiteral("pyftpdlib");
    server->Port = FreePort();
    const QString script = server->FDir.path() + QStringLiteral("/server.py");
    WriteText(script,
              QStringLiteral("import sys\n"
                             "from pyftpdlib.authorizers import DummyAuthorizer\n"
                             "from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler\n"
                             "from pyftpdlib.servers import FTPServer\n"
                             "root, port, limit = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])\n"
                             "binary = sys.argv[4] == '1'\n"
                             "auth = DummyAuthorizer()\n"
                             "auth.add_user('zephyn', 'secret', root, perm='elr')\n"
                             "auth.add_anonymous(root)\n"
                             "class Handler(FTPHandler):\n"
                             "    def on_connect(self):\n"
                             "        if binary:\n"
                             "            self._current_type = 'i'\n"
                             "handler = Handler\n"
                             "handler.authorizer = auth\n"
                             "handler.passive_ports = range(%1, %2)\n"
                             "if limit > 0:\n"
                             "    dtp = ThrottledDTPHandler\n"
                             "    dtp.write_limit = limit\n"
                             "    handler.dtp_handler = dtp\n"
                             "server = FTPServer(('127.0.0.1', port), handler)\n"
                             "server.serve_forever()\n")
                  .arg(DataPortBase() + 8)
                  .arg(DataPortBase() + 16));
    if (!server->Start(QStringLiteral("/usr/bin/python3"),
                       {script, dir, QString::number(server->Port), QString::number(rateLimit),
                        binaryDefault ? QStringLiteral("1") : QStringLiteral("0")}))
        return nullptr;
    return server;
}

std::unique_ptr<TFtpServer> TFtpServer::FtpProxy(quint16 targetPort) {
    auto server = std::make_unique<TFtpServer>();
    server->Name = QStringLiteral("ftp-proxy");
    server->Port = FreePort();
    const QString root = server->FDir.path();
    QDir().mkpath(root + QStringLiteral("/log"));
    // The proxy runs as nobody and must write its log and pid file.
    QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadOther | QFile::ExeOther);
    ::chmod(QFile::encodeName(root + QStringLiteral("/log")).constData(), 0777);
    const int base = DataPortBase() + 100 * 16 + (::getpid() % 50) * 40;
    const QString config = root + QStringLiteral("/ftp-proxy.conf");
    WriteText(config, QStringLiteral("[-Global-]\nServerType standalone\nListen 127.0.0.1\n"
                                     "Port %1\nDestinationAddress 127.0.0.1\n"
                                     "DestinationPort %2\nAllowMagicUser yes\n"
                                     "DestinationTransferMode client\n"
                                     "PassiveMinDataPort %3\nPassiveMaxDataPort %4\n"
                                     "ActiveMinDataPort %5\nActiveMaxDataPort %6\n"
                                     "User nobody\nGroup nogroup\nPidFile %7/log/ftp-proxy.pid\n"
                                     "LogDestination %7/log/server.log\nLogLevel INF\n")
                          .arg(server->Port)
                          .arg(targetPort)
                          .arg(base)
                          .arg(base + 15)
                          .arg(base + 20)
                          .arg(base + 35)
                          .arg(root));
    if (!server->Start(QStringLiteral("/usr/sbin/ftp-proxy"),
                       {QStringLiteral("-d"), QStringLiteral("-n"), QStringLiteral("-f"), config}))
        return nullptr;
    return server;
}
