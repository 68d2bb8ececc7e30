#include "helpers/TTestEnvironment.h"
#include "platform/TAnsiCodec.h"
#include "platform/TConvert.h"
#include "platform/TDataDirectory.h"
#include "platform/TExceptions.h"
#include "platform/TInstanceLock.h"
#include "platform/TMessageDlg.h"
#include "platform/TWinSock.h"
#include "platform/TWindowsVersion.h"

#include "platform/TApplication.h"
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <QProcess>
#include <QSysInfo>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(TConvert, StrToIntTakesDecimalAndHexAndRefusesTheRest) {
    EXPECT_EQ(StrToInt(QStringLiteral("576")), 576);
    EXPECT_EQ(StrToInt(QStringLiteral("  -1")), -1);
    EXPECT_EQ(StrToInt(QStringLiteral("$FF")), 255);
    EXPECT_EQ(StrToInt(QStringLiteral("2147483647")), 2147483647);
    for (const char* bad : {"", "abc", "12 ", "1.5", "2147483648", "-"}) {
        try {
            StrToInt(QString::fromLatin1(bad));
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(),
                      QStringLiteral("'%1' is not a valid integer value").arg(QLatin1String(bad)));
        }
    }
}

TEST(TAnsiCodec, MapsWindows1252BothWays) {
    EXPECT_EQ(TAnsiCodec::Decode(QByteArray("\x80\x9f\xe9\x81", 4)),
              QStringLiteral("\u20ac\u0178\u00e9\u0081"));
    EXPECT_EQ(TAnsiCodec::Encode(QStringLiteral("\u20ac\u00e9\u0416\U0001F600x")),
              QByteArray("\x80\xe9??x"));
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    EXPECT_EQ(TAnsiCodec::Encode(TAnsiCodec::Decode(all)), all);
}

class TPlatformTest : public TZephynTest {};

TEST_F(TPlatformTest, DataDirectoryComesFromZephynHome) {
    EXPECT_EQ(TDataDirectory::Path(), DataDir());
    EXPECT_EQ(TDataDirectory::FilePath(QStringLiteral("hist.dat")),
              DataDir() + QStringLiteral("/hist.dat"));
    qunsetenv("ZEPHYN_HOME");
    // Without it, the build tree's executable folder (it has the marker).
    EXPECT_EQ(TDataDirectory::Path(), QCoreApplication::applicationDirPath());
    qputenv("ZEPHYN_HOME", DataDir().toLocal8Bit());
}

// An installed copy keeps its data in $XDG_DATA_HOME/zephyn, even in a
// writable folder (root's /usr/local/bin); a portable copy beside itself.
TEST_F(TPlatformTest, AnInstalledCopyUsesTheUsersDataFolder) {
    const QString bin = DataDir() + QStringLiteral("/prefix/bin");
    QDir().mkpath(bin);
    const QByteArray xdg = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(DataDir() + QStringLiteral("/xdg")));
    EXPECT_EQ(TDataDirectory::PathFor(QString(), bin), DataDir() + QStringLiteral("/xdg/zephyn"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(DataDir() + QStringLiteral("/xdg/zephyn")).constData(), &st),
              0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    QFile(bin + QStringLiteral("/portable")).open(QIODevice::WriteOnly);
    EXPECT_EQ(TDataDirectory::PathFor(QString(), bin), bin);
    qputenv("XDG_DATA_HOME", xdg);
}

TEST_F(TPlatformTest, PlatformComesFromTheHiveOrTheOverride) {
    TPlatformId id = VER_PLATFORM_WIN32s;
    UseSample(QStringLiteral("nt4.reg"));
    ASSERT_TRUE(TWindowsVersion::GetVersionEx(id));
    EXPECT_EQ(id, VER_PLATFORM_WIN32_NT);
    UseSample(QStringLiteral("win95.reg"));
    ASSERT_TRUE(TWindowsVersion::GetVersionEx(id));
    EXPECT_EQ(id, VER_PLATFORM_WIN32_WINDOWS);
    qputenv("ZEPHYN_PLATFORM", "win32s");
    ASSERT_TRUE(TWindowsVersion::GetVersionEx(id));
    EXPECT_EQ(id, VER_PLATFORM_WIN32s);
    qputenv("ZEPHYN_PLATFORM", "NT");
    ASSERT_TRUE(TWindowsVersion::GetVersionEx(id));
    EXPECT_EQ(id, VER_PLATFORM_WIN32_NT);
    qputenv("ZEPHYN_PLATFORM", "os2");
    EXPECT_FALSE(TWindowsVersion::GetVersionEx(id));
}

TEST_F(TPlatformTest, HostNameFailureRaisesItsError) {
    LocalAddresses = {QStringLiteral("127.0.0.5")};
    EXPECT_EQ(TWinSock::LocalAddresses(), LocalAddresses);
    HostNameFails = true;
    try {
        TWinSock::LocalAddresses();
        ADD_FAILURE() << "no error";
    } catch (const EWinSockError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Winsock.GetHostName failed"));
    }
}

TEST(TWinSock, ResolvesNamesFromTheHostsFile) {
    EXPECT_TRUE(
        TWinSock::ResolveIPv4(QStringLiteral("localhost")).contains(QStringLiteral("127.0.0.1")));
    EXPECT_FALSE(TWinSock::GetHostName().isEmpty());
}

TEST_F(TPlatformTest, AHandlerFailureStopsTheProgramCodeThatChangedTheControl) {
    QStringList logged;
    Application->OnException = [&](const QString& message) { logged << message; };
    QCheckBox box;
    QObject::connect(&box, &QCheckBox::toggled, &box, [](bool on) {
        TApplication::Guard([on] {
            if (on)
                throw EConvertError(QStringLiteral("'x' is not a valid integer value"));
        });
    });
    // A change the user makes: the failure goes to the application's handler.
    box.click();
    EXPECT_EQ(logged, QStringList{QStringLiteral("'x' is not a valid integer value")});

    // The same change made by the program raises in the program's code.
    box.setChecked(false);
    bool after = false;
    try {
        TApplication::SetFromCode([&] { box.setChecked(true); });
        after = true;
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'x' is not a valid integer value"));
    }
    EXPECT_FALSE(after);
    EXPECT_EQ(logged.size(), 1);
    // A change that runs no failing handler raises nothing, and the scope ends with it.
    EXPECT_NO_THROW(TApplication::SetFromCode([&] { box.setChecked(false); }));
    box.click();
    EXPECT_EQ(logged.size(), 2);
    Application->OnException = nullptr;
}

// A short message never cuts its box's title off.
TEST(TMessageDlg, ADialogIsAsWideAsItsTitle) {
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Zephyn for Windows"));
    box.setText(QStringLiteral("OK?"));
    FitTitle(box);
    box.show();
    EXPECT_GE(box.width(), box.fontMetrics().horizontalAdvance(box.windowTitle()) + 160);
    QDialog plain;
    plain.setWindowTitle(QStringLiteral("Edit the test profile of a server far away"));
    FitTitle(plain);
    EXPECT_GE(plain.minimumWidth(), plain.fontMetrics().horizontalAdvance(plain.windowTitle()));
}

TEST(TMessageDlgIconTest, EveryKindIsDrawnSharpAtTwiceTheScale) {
    for (TMsgDlgType type : {TMsgDlgType::mtWarning, TMsgDlgType::mtError,
                             TMsgDlgType::mtInformation, TMsgDlgType::mtConfirmation}) {
        const QPixmap icon = MessageDlgIcon(type, 32, 2.0);
        EXPECT_EQ(icon.size(), QSize(64, 64));
        EXPECT_EQ(icon.deviceIndependentSize(), QSizeF(32, 32));
        // Drawn at that resolution: the shape fills the middle, the corner stays clear.
        const QImage image = icon.toImage();
        EXPECT_GT(image.pixelColor(32, 44).alpha(), 200);
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
    }
}

TEST_F(TZephynTest, OneCopyPerDataDirectoryAndALockLeftByADeadCopyIsTakenOver) {
    {
        TInstanceLock first(DataDir());
        ASSERT_TRUE(first.Acquire());
        TInstanceLock second(DataDir());
        EXPECT_FALSE(second.Acquire());
    }
    // A copy that died left its lock: the next start takes it over.
    QProcess gone;
    gone.start(QStringLiteral("/bin/true"));
    ASSERT_TRUE(gone.waitForFinished(5000));
    const qint64 deadPid = gone.processId();
    QFile stale(DataDir() + QStringLiteral("/zephyn.lock"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly | QIODevice::Truncate));
    stale.write(QByteArray::number(deadPid == 0 ? 999999 : deadPid) + "\nzephyn\n" +
                QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();
    TInstanceLock next(DataDir());
    EXPECT_TRUE(next.Acquire());
}

TEST_F(TZephynTest, TheLockSaysWhatIsWrongWhenItIsNotAnotherCopy) {
    const QString lockPath = DataDir() + QStringLiteral("/zephyn.lock");
    auto problem = [](const QString& folder) {
        TInstanceLock lock(folder);
        EXPECT_FALSE(lock.Acquire());
        return std::make_pair(lock.Result(), lock.ProblemText());
    };
    // A folder, or a link, where the lock file goes.
    ASSERT_TRUE(QDir().mkpath(lockPath));
    auto [result, text] = problem(DataDir());
    EXPECT_EQ(result, TInstanceLock::TResult::NotALockFile);
    EXPECT_TRUE(text.contains(lockPath) && text.contains(QStringLiteral("is a folder, not a lock file")))
        << text.toStdString();
    ASSERT_TRUE(QDir().rmdir(lockPath));
    ASSERT_EQ(::symlink("/nowhere", QFile::encodeName(lockPath).constData()), 0);
    std::tie(result, text) = problem(DataDir());
    EXPECT_TRUE(text.contains(QStringLiteral("is a symbolic link, not a lock file")))
        << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("already running")));

    // A data folder that cannot be written: read-only for a plain user, a
    // read-only mount for root (who writes past the mode).
    const QString folder = DataDir() + QStringLiteral("/read-only");
    QDir().mkpath(folder);
    bool mounted = false;
    if (::geteuid() == 0)
        mounted = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_RDONLY,
                          "size=64k") == 0;
    else
        ::chmod(QFile::encodeName(folder).constData(), 0500);
    if (::geteuid() != 0 || mounted) {
        std::tie(result, text) = problem(folder);
        EXPECT_EQ(result, TInstanceLock::TResult::FolderNotWritable);
        EXPECT_TRUE(text.contains(folder) && text.contains(QStringLiteral("cannot write into")))
            << text.toStdString();
    }
    if (mounted)
        ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
    ::chmod(QFile::encodeName(folder).constData(), 0700);
}
