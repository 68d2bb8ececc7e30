// A Windows installation's registry files at the sizes real machines have:
// a 16 MB NT SYSTEM hive (about 90,000 keys) and an 8 MB SYSTEM.DAT. Each is
// opened and loaded the way --registry opens it, in a process of its own,
// beside the Debian tool that reads the same file whole (hivexml for the
// hive, cregexport for SYSTEM.DAT); then one changed value is saved into the
// hive. Times are the median of three runs of the whole process; memory is
// each process's peak resident size.
#include "helpers/TRegistryFixtures.h"
#include "platform/TExceptions.h"
#include "platform/TNtRegistry.h"
#include "platform/TWin9xRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace TRegistryFixtures;

namespace {

constexpr int Keys = 90000;
constexpr int Rounds = 3;

struct TRun {
    double Ms = 0;
    long PeakKb = 0;
};

// Runs a program to its end, its output thrown away.
TRun RunProcess(const QByteArray& program, const std::vector<QByteArray>& args) {
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        std::vector<char*> argv{const_cast<char*>(program.constData())};
        for (const QByteArray& a : args)
            argv.push_back(const_cast<char*>(a.constData()));
        argv.push_back(nullptr);
        ::execvp(program.constData(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    TRun run{double(timer.nsecsElapsed()) / 1e6, usage.ru_maxrss};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", program.constData());
        std::exit(1);
    }
    return run;
}

TRun Median(const QByteArray& program, const std::vector<QByteArray>& args) {
    std::vector<TRun> runs;
    for (int i = 0; i < Rounds; ++i)
        runs.push_back(RunProcess(program, args));
    std::sort(runs.begin(), runs.end(), [](const TRun& a, const TRun& b) { return a.Ms < b.Ms; });
    return runs[runs.size() / 2];
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

// The child's work: what --registry does with the folder.
int Child(const QString& mode, const QString& folder) {
    try {
        if (mode == QLatin1String("load-nt")) {
            TNtRegistry nt(folder, folder + QStringLiteral("/SYSTEM"),
                           folder + QStringLiteral("/SOFTWARE"));
            nt.Read();
        } else if (mode == QLatin1String("load-9x")) {
            TWin9xRegistry w(folder + QStringLiteral("/SYSTEM.DAT"), folder + QStringLiteral("/written-imports"));
            w.Read();
        } else if (mode == QLatin1String("save-nt")) {
            TNtRegistry nt(folder, folder + QStringLiteral("/SYSTEM"),
                           folder + QStringLiteral("/SOFTWARE"));
            nt.Read();
            const QString key =
                QStringLiteral("SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters");
            QElapsedTimer timer;
            timer.start();
            nt.Modify({key, QStringLiteral("DefaultTTL")}, [&](TRegistryHive& hive, THive::TUndo&) {
                TRegKey* k = hive.Find(key);
                k->Values[k->ValueIndex(QStringLiteral("DefaultTTL"))].Data = Dword(64);
                return true;
            });
            nt.Commit();
            std::printf("%.1f\n", double(timer.nsecsElapsed()) / 1e6);
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3)
        return Child(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString folder = dir.path();

    TKey system = BulkTree(Keys, false);
    system.Name = QStringLiteral("SYSTEM");
    system.At(QStringLiteral("Select")).SetDword(QStringLiteral("Current"), 1);
    system.At(QStringLiteral("ControlSet001\\Services\\Tcpip\\Parameters"))
        .SetDword(QStringLiteral("DefaultTTL"), 128);
    const QByteArray hive = WriteRegf(system);
    Write(folder + QStringLiteral("/SYSTEM"), hive);
    TKey software{QStringLiteral("SOFTWARE"), {}, {}};
    software.At(QStringLiteral("Microsoft\\Windows NT\\CurrentVersion"))
        .SetSz(QStringLiteral("CurrentVersion"), QStringLiteral("4.0"));
    Write(folder + QStringLiteral("/SOFTWARE"), WriteRegf(software));
    const QByteArray dat = WriteCreg(BulkTree(Keys, true));
    Write(folder + QStringLiteral("/SYSTEM.DAT"), dat);
    std::printf("SYSTEM hive: %.1f MB, %d keys; SYSTEM.DAT: %.1f MB, %d keys\n",
                double(hive.size()) / 1e6, system.KeyCount(), double(dat.size()) / 1e6, Keys);

    const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    const QByteArray where = QFile::encodeName(folder);
    const TRun nt = Median(self, {"load-nt", where});
    const TRun hivexml = Median("hivexml", {where + "/SYSTEM"});
    const TRun w9x = Median(self, {"load-9x", where});
    const TRun cregexport = Median("cregexport", {where + "/SYSTEM.DAT"});
    std::printf(
        "load NT hive:     Zephyn %7.1f ms %6ld MB peak | hivexml    %7.1f ms %6ld MB peak\n",
        nt.Ms, nt.PeakKb / 1024, hivexml.Ms, hivexml.PeakKb / 1024);
    std::printf(
        "load SYSTEM.DAT:  Zephyn %7.1f ms %6ld MB peak | cregexport %7.1f ms %6ld MB peak\n",
        w9x.Ms, w9x.PeakKb / 1024, cregexport.Ms, cregexport.PeakKb / 1024);

    // One changed value saved: the new hive written beside the old one, the
    // first time with SYSTEM.bak, then without.
    std::vector<double> saves;
    for (int i = 0; i < Rounds; ++i) {
        FILE* child = ::popen((self + " save-nt " + where).constData(), "r");
        double ms = 0;
        if (!child || std::fscanf(child, "%lf", &ms) != 1 || ::pclose(child) != 0) {
            std::fprintf(stderr, "the save failed\n");
            return 1;
        }
        saves.push_back(ms);
    }
    std::printf("save with SYSTEM.bak made: %.1f ms; later saves: %.1f ms, %.1f ms\n", saves[0],
                saves[1], saves[2]);
    std::printf("save 16 MB hive: %.0f ms\n", *std::max_element(saves.begin(), saves.end()));
    std::printf("ratio load/hivexml: %.2f\n", nt.Ms / hivexml.Ms);
    std::printf("ratio load/cregexport: %.2f\n", w9x.Ms / cregexport.Ms);
    return 0;
}
