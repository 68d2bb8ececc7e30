// Download figures: the same 1 GiB file from vsftpd on loopback to a real
// file, alternately and several times, by TMFtp (passive and active, with
// progress events on), by curl, and by a bare blocking loop of 8 KiB
// recv/write (the ceiling for that block size). Every client runs in a child
// process of its own so that its CPU time and peak memory are its own.
//
// The file lands in a tmpfs folder (/dev/shm) unless --disk is given, so
// that the ratios compare the clients and not the kernel's write-back.
#include "app/TdataMain.h"
#include "app/TfrmMain.h"
#include "ftp/TMFtp.h"
#include "ftptest/TFtpTestProfile.h"
#include "ftptest/TTestRun.h"
#include "ftptest/TTestingPage.h"
#include "helpers/TFtpServers.h"
#include "history/THistoryRecord.h"
#include "platform/TApplication.h"
#include "platform/TMessageDlg.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <sched.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 FileSize = 1024LL * 1024 * 1024;
constexpr int Rounds = 7;

// ---- the clients, each run as `bench_download --client KIND PORT FILE`

// The file the page client fetches: big.bin of 1 GiB, unless BENCH_FILE
// ("name:size") names another (the shaped-link benchmark does).
QString PageFileName() {
    const QString spec = qEnvironmentVariable("BENCH_FILE");
    return spec.isEmpty() ? QStringLiteral("big.bin") : spec.section(u':', 0, 0);
}

// The page client's data directory, beside the file the other clients write.
QString PageHome(const QString& local) {
    return local + QStringLiteral(".page-home");
}

qint64 PageFileSize() {
    const QString spec = qEnvironmentVariable("BENCH_FILE");
    return spec.isEmpty() ? FileSize : spec.section(u':', 1).toLongLong();
}

int RunTMFtp(int argc, char** argv, bool passive, quint16 port, const QString& local) {
    QCoreApplication app(argc, argv);
    TMFtp ftp;
    ftp.SetServer(QStringLiteral("127.0.0.1"));
    ftp.Port = port;
    ftp.Username = QStringLiteral("anonymous");
    ftp.Password = QStringLiteral("bench@example.test");
    ftp.TransferMode = BinaryTransfer;
    ftp.Passive = passive;
    quint64 progress = 0;
    int result = 1;
    ftp.OnFtpInfo = [&](TMFtp& f, FtpInfo info, const QString&) {
        if (info == ftpiProgress)
            progress = f.BytesTransferred; // what the test controller reads at each block
    };
    ftp.OnFtpError = [&](TMFtp&, FtpError e, const QString& text) {
        std::fprintf(stderr, "error %d %s\n", int(e), qPrintable(text));
    };
    ftp.OnLoggedIn = [&](TMFtp& f) { f.GetFile(QStringLiteral("big.bin"), local); };
    ftp.OnFileReceived = [&](TMFtp& f) {
        result = f.BytesTransferred == quint64(FileSize) && progress == quint64(FileSize) ? 0 : 1;
        f.Quit();
    };
    ftp.OnFtpQuit = [&](TMFtp&) { app.quit(); };
    QTimer::singleShot(0, [&] { ftp.Login(); });
    app.exec();
    return result;
}

bool SendLine(int fd, const std::string& line) {
    const std::string l = line + "\r\n";
    return ::send(fd, l.data(), l.size(), 0) == ssize_t(l.size());
}

std::string ReadReply(int fd) {
    std::string reply;
    char c;
    while (::recv(fd, &c, 1, 0) == 1) {
        reply += c;
        if (reply.size() >= 2 && reply.compare(reply.size() - 2, 2, "\r\n") == 0) {
            // A reply ends at a line whose fourth character is a blank.
            const size_t start = reply.rfind("\r\n", reply.size() - 3);
            const std::string last = reply.substr(start == std::string::npos ? 0 : start + 2);
            if (last.size() > 3 && last[3] == ' ')
                return reply;
        }
    }
    return reply;
}

int Connect(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? fd : -1;
}

// The ceiling: blocking recv of 8 KiB and write, nothing else.
int RunBareLoop(quint16 port, const char* local) {
    const int control = Connect(port);
    if (control < 0)
        return 1;
    ReadReply(control);
    SendLine(control, "USER anonymous");
    ReadReply(control);
    SendLine(control, "PASS bench@example.test");
    ReadReply(control);
    SendLine(control, "TYPE I");
    ReadReply(control);
    SendLine(control, "PASV");
    const std::string pasv = ReadReply(control);
    int f[6] = {};
    const size_t open = pasv.find('(');
    if (open == std::string::npos || std::sscanf(pasv.c_str() + open + 1, "%d,%d,%d,%d,%d,%d",
                                                 &f[0], &f[1], &f[2], &f[3], &f[4], &f[5]) != 6)
        return 1;
    const int data = Connect(quint16(f[4] * 256 + f[5]));
    SendLine(control, "RETR big.bin");
    ReadReply(control);
    const int out = ::open(local, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    static char buffer[8192];
    qint64 total = 0;
    for (;;) {
        const ssize_t n = ::recv(data, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        if (::write(out, buffer, size_t(n)) != n)
            return 1;
        total += n;
    }
    ::close(out);
    ::close(data);
    ReadReply(control);
    SendLine(control, "QUIT");
    ReadReply(control);
    return total == FileSize ? 0 : 1;
}

// The whole Testing page, offscreen: Start clicked, every question answered
// (online: yes; history record: no; delete the file: no, the parent removes
// it as it does the other clients' files). The longest gap between two turns
// of the event loop while the file arrives goes to the file named by
// BENCH_LATENCY_FILE: how long an Abort click would wait.
class TAnswers : public TDialogService {
public:
    int MessageDlg(const QString& text, TMsgDlgType, TMsgDlgButtons buttons) override {
        // The statistics the page offers, for a driver that reads its figure.
        if (text.startsWith(QLatin1String("Transfer Complete!")))
            std::printf("%s\n", qPrintable(QString(text).replace(QStringLiteral("\r\n"),
                                                                 QStringLiteral(" | "))));
        if (buttons != TMsgDlgButtons::mbYesNo)
            return mrOk;
        return text.startsWith(QLatin1String("Transfer Complete!")) ||
                       text.startsWith(QLatin1String("Delete the downloaded"))
                   ? mrNo
                   : mrYes;
    }
    bool InputQuery(const QString&, const QString&, QString&) override { return false; }
};

// The Settings page as BENCH_SETTINGS gives it ("mtu=576 mss=536 rwin=2144
// ttl=64 pmtu=1"), typed into its fields as a user would leave them, unsaved.
// Without it the test measures with this computer's own settings, as the
// comparisons with curl need.
void SetUpPages(TfrmMain& frm) {
    const QString spec = qEnvironmentVariable("BENCH_SETTINGS");
    // Clicked only when it is not as wanted: the choice is kept per user.
    auto* own = frm.tabshtTesting()->findChild<QCheckBox*>(QStringLiteral("cbOwnSettings"));
    if (own->isChecked() != spec.isEmpty())
        own->click();
    if (spec.isEmpty())
        return;
    QWidget* settings = frm.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->widget(0);
    for (const QString& item : spec.split(u' ', Qt::SkipEmptyParts)) {
        const QString name = item.section(u'=', 0, 0);
        const QString value = item.section(u'=', 1);
        if (name == u"mtu")
            settings->findChild<QRadioButton*>(QStringLiteral("radio") + value)->click();
        else if (name == u"mss")
            settings->findChild<QSpinBox*>(QStringLiteral("seMSS"))->setValue(value.toInt());
        else if (name == u"rwin")
            settings->findChild<QLineEdit*>(QStringLiteral("ebRWIN"))->setText(value);
        else if (name == u"ttl") {
            auto* ttl = settings->findChild<QComboBox*>(QStringLiteral("cbTTL"));
            ttl->setCurrentIndex(ttl->findText(value));
        } else if (name == u"pmtu")
            settings->findChild<QCheckBox*>(QStringLiteral("cbAutoDiscover"))
                ->setChecked(value == u"1");
    }
}

int RunPage(int argc, char** argv, quint16 port, const QString& local) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    TAnswers answers;
    SetDialogService(&answers);
    // The data directory, where the page puts the file, in the same folder
    // as the other clients' file (tmpfs unless --disk): the same writes. The
    // parent removes it, as it removes the other clients' file, outside the
    // timed run: freeing a GiB of tmpfs alone takes a tenth of a second.
    const QString homePath = PageHome(local);
    if (!QDir().mkpath(homePath))
        return 1;
    qputenv("ZEPHYN_HOME", QFile::encodeName(homePath));
    qputenv("ZEPHYN_PPPD", "/bin/true");
    qputenv("ZEPHYN_SYSFS", QFile::encodeName(homePath + QStringLiteral("/net")));
    {
        FtpTestProfile profile;
        const QString host = qEnvironmentVariable("BENCH_HOST", QStringLiteral("127.0.0.1"));
        profile.SetHost(QStringLiteral("%1:%2").arg(host).arg(port));
        profile.SetPath(QStringLiteral("/"));
        profile.SetFileName(PageFileName());
        profile.SetLoginName(QStringLiteral("anonymous"));
        profile.SetPassword(QStringLiteral("bench@example.test"));
        QFile prf(homePath + QStringLiteral("/ftptest.prf"));
        if (!prf.open(QIODevice::WriteOnly))
            return 1;
        prf.write(profile.Bytes(), FtpTestProfile::Size);
        HistoryRecord record; // a history, so that no baseline is made
        QFile hist(homePath + QStringLiteral("/hist.dat"));
        if (!hist.open(QIODevice::WriteOnly))
            return 1;
        hist.write(record.Bytes(), HistoryRecord::Size);
    }
    int result = 1;
    qint64 worstGap = 0;
    {
        TdataMain data;
        TfrmMain frm(data);
        frm.show();
        frm.findChild<QTabWidget*>(QStringLiteral("PageControl1"))
            ->setCurrentWidget(frm.tabshtTesting());
        QElapsedTimer sinceTick;
        QTimer ticker;
        ticker.setInterval(5);
        TTestRun* run = frm.TestRun();
        SetUpPages(frm);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 gap = sinceTick.restart();
            if (run->BytesReceived > 0 && run->BytesReceived < PageFileSize())
                worstGap = std::max(worstGap, gap);
        });
        QTimer::singleShot(0, [&] {
            frm.tabshtTesting()->findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
            sinceTick.start();
            ticker.start();
        });
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (ticker.isActive() && !run->Running()) {
                result = run->BytesReceived == PageFileSize() ? 0 : 1;
                std::printf("readout: %s\n", qPrintable(frm.tabshtTesting()->ReadoutText()));
                app.quit();
            }
        });
        watch.start(20);
        app.exec();
    }
    if (const QByteArray file = qgetenv("BENCH_LATENCY_FILE"); !file.isEmpty()) {
        QFile out(QFile::decodeName(file));
        if (out.open(QIODevice::WriteOnly))
            out.write(QByteArray::number(worstGap));
    }
    return result;
}

// ---- the parent: runs the clients and prints the figures

struct TRun {
    double Seconds;
    double CpuSeconds;
    double PeakMB;
};

bool RunChild(const QString& program, const QStringList& arguments, TRun& run) {
    std::vector<QByteArray> storage{QFile::encodeName(program)};
    for (const QString& a : arguments)
        storage.push_back(a.toLocal8Bit());
    std::vector<char*> args;
    for (QByteArray& s : storage)
        args.push_back(s.data());
    args.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    const pid_t child = ::fork();
    if (child == 0) {
        // The client on the second core, the server on the first: the
        // scheduler's moves between them would blur the figures.
        if (::sysconf(_SC_NPROCESSORS_ONLN) >= 2) {
            cpu_set_t cores;
            CPU_ZERO(&cores);
            CPU_SET(1, &cores);
            ::sched_setaffinity(0, sizeof cores, &cores);
        }
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) != child)
        return false;
    run.Seconds = timer.nsecsElapsed() / 1e9;
    run.CpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                     usage.ru_stime.tv_usec / 1e6;
    run.PeakMB = usage.ru_maxrss / 1024.0;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--client") == 0) {
        const std::string kind = argv[2];
        const quint16 port = quint16(std::atoi(argv[3]));
        if (kind == "bare")
            return RunBareLoop(port, argv[4]);
        if (kind == "page")
            return RunPage(argc, argv, port, QString::fromLocal8Bit(argv[4]));
        return RunTMFtp(argc, argv, kind == "tmftp-passive", port, QString::fromLocal8Bit(argv[4]));
    }

    QCoreApplication app(argc, argv);
    const bool disk = QCoreApplication::arguments().contains(QStringLiteral("--disk"));
    const bool shm = !disk && QFileInfo(QStringLiteral("/dev/shm")).isWritable();
    QTemporaryDir served;
    ::chmod(QFile::encodeName(served.path()).constData(), 0755);
    {
        // 1 GiB of varied bytes: one random MiB over and over.
        QFile f(served.path() + QStringLiteral("/big.bin"));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        for (int i = 0; i < block.size(); ++i)
            block[i] = char((i * 2654435761u) >> 24);
        for (int i = 0; i < 1024; ++i)
            f.write(block);
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther |
                         QFile::ReadGroup);
    }
    auto vsftpd = TFtpServer::Vsftpd(served.path());
    if (!vsftpd) {
        std::fprintf(stderr, "vsftpd did not start\n");
        return 1;
    }
    if (::sysconf(_SC_NPROCESSORS_ONLN) >= 2) {
        cpu_set_t cores;
        CPU_ZERO(&cores);
        CPU_SET(0, &cores);
        ::sched_setaffinity(pid_t(vsftpd->Pid()), sizeof cores, &cores);
    }
    const QString self = QCoreApplication::applicationFilePath();
    const QString port = QString::number(vsftpd->Port);
    QTemporaryDir target(shm ? QStringLiteral("/dev/shm/zephyn-bench-XXXXXX") : QString());
    const QString local = target.path() + QStringLiteral("/big.bin");
    const std::vector<std::pair<std::string, std::pair<QString, QStringList>>> clients = {
        {"TMFtp passive", {self, {"--client", "tmftp-passive", port, local}}},
        {"TMFtp active", {self, {"--client", "tmftp-active", port, local}}},
        {"curl",
         {QStringLiteral("curl"),
          {"-s", "-o", local, QStringLiteral("ftp://127.0.0.1:%1/big.bin").arg(port)}}},
        {"bare 8 KiB recv/write loop", {self, {"--client", "bare", port, local}}},
        {"Testing page (whole program)", {self, {"--client", "page", port, local}}},
    };
    const QString latencyFile = target.path() + QStringLiteral("/latency");
    qputenv("BENCH_LATENCY_FILE", QFile::encodeName(latencyFile));
    std::vector<double> latencies;
    std::map<std::string, std::vector<TRun>> runs;
    for (int round = 0; round < Rounds; ++round) {
        for (const auto& [name, command] : clients) {
            QFile::remove(local);
            QDir(PageHome(local)).removeRecursively();
            if (!shm)
                ::sync(); // each client starts with the disk written back
            TRun run{};
            if (!RunChild(command.first, command.second, run)) {
                std::fprintf(stderr, "%s failed\n", name.c_str());
                return 1;
            }
            runs[name].push_back(run);
            if (name.rfind("Testing page", 0) == 0) {
                QFile f(latencyFile);
                if (f.open(QIODevice::ReadOnly))
                    latencies.push_back(f.readAll().toDouble());
            }
        }
    }
    QFile::remove(local);
    QDir(PageHome(local)).removeRecursively();

    std::printf("1 GiB from vsftpd on loopback to a file %s, median of %d interleaved runs\n",
                shm ? "in /dev/shm (tmpfs)" : "on disk", Rounds);
    std::printf("  %-28s %9s %12s %9s\n", "client", "MB/s", "CPU s/GiB", "peak MB");
    std::map<std::string, double> rate, cpu;
    for (const auto& [name, command] : clients) {
        std::vector<double> mbps, cpus, peaks;
        for (const TRun& r : runs[name]) {
            mbps.push_back(FileSize / 1e6 / r.Seconds);
            cpus.push_back(r.CpuSeconds);
            peaks.push_back(r.PeakMB);
        }
        rate[name] = Median(mbps);
        cpu[name] = Median(cpus);
        std::printf("  %-28s %9.0f %12.2f %9.1f\n", name.c_str(), rate[name], cpu[name],
                    *std::max_element(peaks.begin(), peaks.end()));
    }
    const std::string ceiling = "bare 8 KiB recv/write loop";
    const std::string page = "Testing page (whole program)";
    const std::string component = "TMFtp active";
    for (const char* mode : {"TMFtp passive", "TMFtp active"}) {
        std::printf("%s ratio vs curl: %.2f\n", mode, rate[mode] / rate["curl"]);
        std::printf("%s ratio vs ceiling: %.2f\n", mode, rate[mode] / rate[ceiling]);
        std::printf("%s CPU vs ceiling: %.2f\n", mode, cpu[mode] / cpu[ceiling]);
    }
    std::printf("Testing page ratio vs curl: %.2f\n", rate[page] / rate["curl"]);
    std::printf("ratio component/ceiling: %.2f\n", rate[component] / rate[ceiling]);
    std::printf("ratio page/component: %.2f\n", rate[page] / rate[component]);
    std::printf("page CPU vs component: %.2f\n", cpu[page] / cpu[component]);
    std::printf("page longest wait: %.0f ms\n",
                latencies.empty() ? -1.0 : *std::max_element(latencies.begin(), latencies.end()));
    return 0;
}
