// Start-up figures: loading a hive the size of a full Windows 98 HKLM export,
// beside a plain read and line split of the same file, and the time from
// nothing to a shown main window on the bundled samples.
#include "app/TdataMain.h"
#include "app/TfrmMain.h"
#include "platform/TAnsiCodec.h"
#include "platform/TApplication.h"
#include "platform/TMessageDlg.h"
#include "platform/TRegistryHive.h"
#include "platform/TWinSock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A synthetic HKLM: deep class and enum trees with the value mix of a real export.
QByteArray BigHive(qsizetype targetBytes) {
    QString text = QStringLiteral("REGEDIT4\r\n\r\n");
    int n = 0;
    while (text.size() < targetBytes) {
        const QString key = QStringLiteral("[HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\{%1-"
                                           "0000-0000-C000-000000000046}\\InprocServer32]\r\n")
                                .arg(n, 8, 16, QChar(u'0'));
        text += key;
        text += QStringLiteral("@=\"C:\\\\WINDOWS\\\\SYSTEM\\\\OLE%1.DLL\"\r\n").arg(n);
        text += QStringLiteral("\"ThreadingModel\"=\"Apartment\"\r\n");
        text += QStringLiteral("\"Flags\"=dword:%1\r\n").arg(n & 0xff, 8, 16, QChar(u'0'));
        if (n % 4 == 0)
            text += QStringLiteral("\"Data\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,"
                                   "11,12,13,14,15,16,\\\r\n  17,18\r\n");
        text += QStringLiteral("\r\n");
        ++n;
    }
    return TAnsiCodec::Encode(text);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

class TAnswerAll : public TDialogService {
public:
    int MessageDlg(const QString&, TMsgDlgType, TMsgDlgButtons b) override {
        return b == TMsgDlgButtons::mbYesNo ? mrYes : mrOk;
    }
    bool InputQuery(const QString&, const QString&, QString&) override { return false; }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QTemporaryDir home;
    qputenv("ZEPHYN_HOME", home.path().toLocal8Bit());
    TApplication app(argc, argv);
    TAnswerAll answers;
    SetDialogService(&answers);
    // No name server is asked: the local address list is fixed.
    TWinSock::THostSource host{
        [](char* b, size_t s) {
            std::strncpy(b, "bench", s);
            return 0;
        },
        [](const QString&) { return QStringList{QStringLiteral("127.0.0.5")}; }};
    TWinSock::SetHostSource(&host);

    const QByteArray hive = BigHive(5 * 1024 * 1024);
    const QString path = home.path() + QStringLiteral("/big.reg");
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(hive);
    }
    std::vector<double> plain, parse, serialize;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer t;
        t.start();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QString text = TAnsiCodec::Decode(f.readAll());
        const auto lines = QStringView(text).split(u'\n');
        plain.push_back(t.nsecsElapsed() / 1e6);
        if (lines.isEmpty())
            return 1;

        t.restart();
        QFile g(path);
        g.open(QIODevice::ReadOnly);
        const TRegistryHive parsed =
            TRegistryHive::Parse(g.readAll(), QStringLiteral("HKEY_LOCAL_MACHINE"));
        parse.push_back(t.nsecsElapsed() / 1e6);

        t.restart();
        const QByteArray out = parsed.Serialize();
        serialize.push_back(t.nsecsElapsed() / 1e6);
        if (out.isEmpty())
            return 1;
    }
    std::printf("Hive of %.1f MB (medians of 7 runs)\n", hive.size() / 1048576.0);
    std::printf("  %-40s %8.1f ms\n", "plain read, decode and line split", Median(plain));
    std::printf("  %-40s %8.1f ms   (target: under 300 ms)\n", "Zephyn hive load", Median(parse));
    std::printf("  %-40s %8.1f ms   (one persisted write)\n", "Zephyn hive write-out",
                Median(serialize));

    // One key of 100,000 values: the load stays linear in the number of values.
    {
        QString text = QStringLiteral("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Wide]\r\n");
        for (int i = 0; i < 100000; ++i)
            text += QStringLiteral("\"Value%1\"=dword:%2\r\n").arg(i).arg(i, 8, 16, QChar(u'0'));
        const QByteArray wide = TAnsiCodec::Encode(text);
        std::vector<double> read, load;
        for (int run = 0; run < 7; ++run) {
            QElapsedTimer t;
            t.start();
            const auto lines = QStringView(TAnsiCodec::Decode(wide)).split(u'\n');
            read.push_back(t.nsecsElapsed() / 1e6);
            t.restart();
            const TRegistryHive parsed =
                TRegistryHive::Parse(wide, QStringLiteral("HKEY_LOCAL_MACHINE"));
            load.push_back(t.nsecsElapsed() / 1e6);
            if (lines.isEmpty() || parsed.Root->SubKeys.empty())
                return 1;
        }
        std::printf("One key of 100,000 values, %.1f MB (medians of 7 runs)\n",
                    wide.size() / 1048576.0);
        std::printf("  %-40s %8.1f ms\n", "plain decode and line split", Median(read));
        std::printf("  %-40s %8.1f ms\n", "Zephyn hive load", Median(load));
    }

    std::vector<double> startup;
    for (int run = 0; run < 5; ++run) {
        QTemporaryDir dir;
        qputenv("ZEPHYN_HOME", dir.path().toLocal8Bit());
        QElapsedTimer t;
        t.start();
        TdataMain data;
        TfrmMain frm(data);
        frm.show();
        QCoreApplication::processEvents();
        startup.push_back(t.nsecsElapsed() / 1e6);
        frm.hide();
    }
    std::printf("Start-up on the Windows 98 sample, fresh data directory (median of 5)\n");
    std::printf("  %-40s %8.1f ms   (target: well under 1000 ms)\n",
                "data module to shown main window", Median(startup));
    return 0;
}
