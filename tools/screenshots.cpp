// Renders the screenshots in docs/ offscreen: the main window on the bundled
// samples with each page in front, and the history record dialog.
#include "app/TdataMain.h"
#include "app/TfrmMain.h"
#include "dialup/TPerformancePage.h"
#include "ftptest/TFtpTestProfile.h"
#include "ftptest/TTestingPage.h"
#include "ftptest/TfrmFtpProfileEdit.h"
#include "helpers/TFtpServers.h"
#include "history/TAnalysisPage.h"
#include "history/THistoryRecord.h"
#include "history/TfrmHistoryEntry.h"
#include "platform/TApplication.h"
#include "platform/TMessageDlg.h"
#include "settings/TSettingsPage.h"
#include "support/TAboutBox1.h"
#include "support/THelpWindow.h"
#include "support/TProgramIcon.h"

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>

namespace {

// Answers every box with OK/Yes, so start-up messages do not wait.
class TAgreeing : public TDialogService {
public:
    int MessageDlg(const QString& text, TMsgDlgType, TMsgDlgButtons buttons) override {
        if (qEnvironmentVariableIsSet("SHOTS_DEBUG"))
            std::fprintf(stderr, "box: %s\n", qPrintable(text));
        return buttons == TMsgDlgButtons::mbYesNo ? mrYes : mrOk;
    }
    bool InputQuery(const QString&, const QString&, QString&) override { return false; }
};

bool Save(QWidget& w, const QString& path) {
    QApplication::processEvents();
    const bool ok = w.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// A fresh data directory whose machine hive is the sample.
void UseHome(const QTemporaryDir& home, const QString& sample) {
    qputenv("ZEPHYN_HOME", QFile::encodeName(home.path()));
    QDir().mkpath(home.path() + QStringLiteral("/registry"));
    const QString hive = home.path() + QStringLiteral("/registry/HKEY_LOCAL_MACHINE.reg");
    QFile::copy(sample, hive);
    QFile::setPermissions(hive, QFile::ReadOwner | QFile::WriteOwner);
}

// The main window on a sample, once per page given.
bool Shoot(const QString& sample, const QString& docs,
           const std::vector<std::pair<int, QString>>& pages, bool withDialog = false) {
    QTemporaryDir home;
    UseHome(home, sample);
    // One test profile, so that the Testing page shows one.
    {
        FtpTestProfile profile;
        profile.SetHost(QStringLiteral("ftp.brindlecove.example"));
        profile.SetPath(QStringLiteral("/pub/test"));
        profile.SetFileName(QStringLiteral("1mb.bin"));
        profile.SetLoginName(QStringLiteral("anonymous"));
        profile.SetPassword(QStringLiteral("user@example.test"));
        QFile prf(home.path() + QStringLiteral("/ftptest.prf"));
        if (prf.open(QIODevice::WriteOnly))
            prf.write(profile.Bytes(), FtpTestProfile::Size);
    }
    bool ok = true;
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    for (const auto& [page, name] : pages) {
        frm.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(page);
        ok = Save(frm, docs + u'/' + name) && ok;
    }
    if (withDialog) {
        TfrmHistoryEntry dialog(data.Parameters, frm.tabshtSettings(), &frm);
        dialog.show();
        dialog.sbtnCopySettingsClick();
        ok = Save(dialog, docs + QStringLiteral("/history-record.png")) && ok;

        TfrmFtpProfileEdit editor(&frm);
        editor.SetFields({QStringLiteral("ftp.brindlecove.example"), QStringLiteral("/pub/test"),
                          QStringLiteral("1mb.bin"), QStringLiteral("anonymous"),
                          QStringLiteral("user@example.test")});
        editor.show();
        ok = Save(editor, docs + QStringLiteral("/profile-editor.png")) && ok;

        TAboutBox1 about(&frm);
        about.show();
        ok = Save(about, docs + QStringLiteral("/about-box.png")) && ok;

        THelpWindow* help = frm.HelpWindow();
        help->ShowTopic(20);
        ok = Save(*help, docs + QStringLiteral("/help-window.png")) && ok;
    }
    return ok;
}

// The Analysis page: the bundled sample's start-up records and a few test
// results, drawn as the first showing draws them (3D bars).
bool ShootAnalysis(const QString& sample, const QString& docs) {
    QTemporaryDir home;
    UseHome(home, sample);
    const struct {
        const char* Name;
        const char* MTU;
        int Throughput;
    } results[] = {{"Initial 0000", "576", 3120},
                   {"08 Dec 2026 09:12:40", "1500", 4870},
                   {"08 Dec 2026 09:31:02", "1500", 5210},
                   {"08 Dec 2026 10:02:55", "576", 3580},
                   {"PPP preset", "1500", 5630}};
    QFile hist(home.path() + QStringLiteral("/hist.dat"));
    if (!hist.open(QIODevice::WriteOnly))
        return false;
    for (const auto& result : results) {
        HistoryRecord r;
        r.SetEntryName(QString::fromLatin1(result.Name));
        r.SetProfile(QStringLiteral("0000"));
        r.SetMaxMTU(QString::fromLatin1(result.MTU));
        r.SetRWIN(QStringLiteral("8760"));
        r.SetTTL(QStringLiteral("64"));
        r.SetMSS(QStringLiteral("1460"));
        r.SetThroughput(result.Throughput);
        hist.write(r.Bytes(), HistoryRecord::Size);
    }
    hist.close();
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    frm.findChild<QTabWidget*>(QStringLiteral("PageControl1"))
        ->setCurrentWidget(frm.tabshtAnalysis());
    return Save(frm, docs + QStringLiteral("/analysis-page.png"));
}

// The Performance page during a collection, over a fake ppp0 whose counters
// grow by about 5 KB a second in and 700 bytes out.
bool ShootPerformance(const QString& sample, const QString& docs) {
    QTemporaryDir home;
    UseHome(home, sample);
    qputenv("ZEPHYN_SYSFS", QFile::encodeName(home.path() + QStringLiteral("/net")));
    qputenv("ZEPHYN_PERFORMANCE_TAB", "1");
    const QString ppp = home.path() + QStringLiteral("/net/ppp0");
    QDir().mkpath(ppp + QStringLiteral("/statistics"));
    auto put = [&](const QString& file, qint64 value, bool hex = false) {
        QFile f(ppp + u'/' + file);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write((hex ? QByteArray("0x") + QByteArray::number(value, 16)
                         : QByteArray::number(value)) +
                    '\n');
    };
    put(QStringLiteral("flags"), 0x1091, true);
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    frm.findChild<QTabWidget*>(QStringLiteral("PageControl1"))
        ->setCurrentWidget(frm.tabshtPerformance());
    TPerformancePage* page = frm.tabshtPerformance();
    const qint64 in[] = {181203, 186950, 191877, 197010, 201533, 206890, 211764,
                         217102, 221948, 227311, 232090, 237465, 242870};
    for (size_t tick = 0; tick < std::size(in); ++tick) {
        put(QStringLiteral("statistics/rx_bytes"), in[tick]);
        put(QStringLiteral("statistics/tx_bytes"), 40120 + 702 * qint64(tick));
        if (tick == 0)
            page->btnStartCollectionClick();
        page->PerfTimerTimer();
    }
    page->PerfTimer->stop();
    const bool ok = Save(frm, docs + QStringLiteral("/performance-page.png"));
    qunsetenv("ZEPHYN_PERFORMANCE_TAB");
    qunsetenv("ZEPHYN_SYSFS");
    return ok;
}

// The Testing page while a download runs, from a slow vsftpd on loopback.
bool ShootDownload(const QString& sample, const QString& docs) {
    QTemporaryDir home, served;
    UseHome(home, sample);
    {
        QFile file(served.path() + QStringLiteral("/4mb.bin"));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QByteArray(4 * 1024 * 1024, 'z'));
    }
    // vsftpd tells the size in its 150 reply, so the bar has its scale.
    QFile::setPermissions(served.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                             QFile::ReadOther | QFile::ExeOther);
    QFile::setPermissions(served.path() + QStringLiteral("/4mb.bin"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    auto server = TFtpServer::Vsftpd(served.path(), 512 * 1024);
    if (!server)
        return false;
    FtpTestProfile profile;
    profile.SetHost(QStringLiteral("127.0.0.1:%1").arg(server->Port));
    profile.SetPath(QStringLiteral("/"));
    profile.SetFileName(QStringLiteral("4mb.bin"));
    profile.SetLoginName(QStringLiteral("anonymous"));
    profile.SetPassword(QStringLiteral("user@example.test"));
    QFile prf(home.path() + QStringLiteral("/ftptest.prf"));
    if (!prf.open(QIODevice::WriteOnly))
        return false;
    prf.write(profile.Bytes(), FtpTestProfile::Size);
    prf.close();
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    frm.findChild<QTabWidget*>(QStringLiteral("PageControl1"))
        ->setCurrentWidget(frm.tabshtTesting());
    frm.tabshtTesting()->findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
    QEventLoop wait;
    QTimer::singleShot(2500, &wait, &QEventLoop::quit);
    wait.exec();
    const bool ok = Save(frm, docs + QStringLiteral("/testing-download.png"));
    frm.tabshtTesting()
        ->findChild<QPushButton*>(QStringLiteral("btnStart"))
        ->click(); // abort; every question is answered yes
    QTimer::singleShot(1500, &wait, &QEventLoop::quit);
    wait.exec();
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The pictures show a machine with dial-up networking installed.
    if (qEnvironmentVariableIsEmpty("ZEPHYN_PPPD"))
        qputenv("ZEPHYN_PPPD", "/bin/true");
    TApplication app(argc, argv);
    // The installed icon's pixel sizes, drawn as the program draws its own.
    if (argc == 3 && std::strcmp(argv[1], "--icons") == 0) {
        const QString dir = QString::fromLocal8Bit(argv[2]);
        bool ok = true;
        for (int size : {48, 256})
            ok = TProgramIcon::Pixmap(size).save(
                     dir + QStringLiteral("/example.brindlecove.Zephyn-%1.png").arg(size)) &&
                 ok;
        return ok ? 0 : 1;
    }
    // --dark: the same pictures under a dark palette, into another folder
    // (for checking contrast; the docs show the default theme).
    if (argc == 4 && std::strcmp(argv[1], "--dark") == 0) {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
        dark.setColor(QPalette::WindowText, QColor(0xe8, 0xe8, 0xe8));
        dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
        dark.setColor(QPalette::AlternateBase, QColor(0x33, 0x33, 0x33));
        dark.setColor(QPalette::Text, QColor(0xe8, 0xe8, 0xe8));
        dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
        dark.setColor(QPalette::ButtonText, QColor(0xe8, 0xe8, 0xe8));
        dark.setColor(QPalette::Highlight, QColor(0x2f, 0x65, 0xca));
        dark.setColor(QPalette::HighlightedText, Qt::white);
        dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
        dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
        dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
        QApplication::setPalette(dark);
        argv[1] = argv[2];
        argv[2] = argv[3];
        argc = 3;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: zephyn_screenshots [--dark] <samples/registry> <folder>\n"
                             "       zephyn_screenshots --icons <folder>\n");
        return 2;
    }
    TAgreeing agreeing;
    SetDialogService(&agreeing);
    const QString samples = QString::fromLocal8Bit(argv[1]);
    const QString docs = QString::fromLocal8Bit(argv[2]);
    bool ok = Shoot(samples + QStringLiteral("/win98.reg"), docs,
                    {{0, QStringLiteral("main-window.png")},
                     {1, QStringLiteral("testing-page.png")},
                     {2, QStringLiteral("history-page.png")}},
                    true);
    ok = ShootPerformance(samples + QStringLiteral("/win98.reg"), docs) && ok;
    ok = ShootAnalysis(samples + QStringLiteral("/win98.reg"), docs) && ok;
    ok = ShootDownload(samples + QStringLiteral("/win98.reg"), docs) && ok;
    ok = Shoot(samples + QStringLiteral("/nt4.reg"), docs,
               {{0, QStringLiteral("settings-page-nt.png")}}) &&
         ok;
    return ok ? 0 : 1;
}
