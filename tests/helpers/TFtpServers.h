#pragma once
// Real FTP servers and a proxy from Debian, started on 127.0.0.1 by the tests
// themselves and ended by their own process handles (never by name).
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <unistd.h>

// vsftpd starts only as root (it changes its root into the folder it serves);
// a test of it skips itself when the suite runs as anyone else, as a package
// build does.
#define SKIP_UNLESS_VSFTPD_CAN_RUN()                                                               \
    if (::geteuid() != 0)                                                                          \
    GTEST_SKIP() << "vsftpd starts only as root"

class TFtpServer {
public:
    ~TFtpServer();
    bool Running() const;
    qint64 Pid() const { return FProcess.processId(); }
    quint16 Port = 0;
    QString Name;
    QString Log() const;

    // vsftpd, anonymous only, serving dir; maxRate > 0 limits each download
    // (async_abor_enable is on: without it vsftpd reads an urgent ABOR only
    // after the transfer has ended)
    // to that many bytes per second.
    static std::unique_ptr<TFtpServer> Vsftpd(const QString& dir, int maxRate = 0);
    // pyftpdlib: anonymous and the user "zephyn" with the password "secret",
    // serving dir; rateLimit > 0 throttles downloads to that many bytes/s.
    // Stock pyftpdlib refuses REST in ASCII mode, the type a session starts
    // in; binaryDefault starts its sessions in binary mode instead.
    static std::unique_ptr<TFtpServer> Pyftpdlib(const QString& dir, int rateLimit = 0,
                                                 bool binaryDefault = false);
    // ftp-proxy of the USER user@host[:port] kind in front of 127.0.0.1.
    static std::unique_ptr<TFtpServer> FtpProxy(quint16 targetPort);

private:
    bool Start(const QString& program, const QStringList& arguments);
    QTemporaryDir FDir;
    QProcess FProcess;
};

// A port nobody listens on right now.
quint16 FreePort();
