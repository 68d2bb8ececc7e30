#include "app/TdataMain.h"
#include "ftptest/TFtpTestProfile.h"
#include "helpers/TScriptedDialogs.h"
#include "helpers/TTestEnvironment.h"
#include "history/THistoryFile.h"
#include "platform/TAtomicFile.h"
#include "platform/TDataDirectory.h"
#include "platform/TExceptions.h"
#include "platform/TRegistry.h"
#include "platform/TRegistryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

namespace {

mode_t Mode(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

QByteArray Contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
}

// A tmpfs of the test's own: tiny (a full disk) or read-only. Mounting needs
// root, as the suite has on its machines; elsewhere the test is skipped.
struct TMountedFolder {
    QString Path;
    bool Mounted = false;
    TMountedFolder(const QString& path, unsigned long flags, const char* options) : Path(path) {
        QDir().mkpath(path);
        Mounted =
            ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", flags, options) == 0;
    }
    ~TMountedFolder() {
        if (Mounted)
            ::umount2(QFile::encodeName(Path).constData(), MNT_DETACH);
    }
};

QString WriteError(const QString& home) {
    qputenv("ZEPHYN_HOME", QFile::encodeName(home));
    try {
        TRegistryStore::Instance().CheckHives();
    } catch (const ERegistryException& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

} // namespace

class TFileSafetyTest : public TZephynTest {
protected:
    void TearDown() override {
        ::umask(022);
        TZephynTest::TearDown();
    }
};

TEST_F(TFileSafetyTest, FilesWithPasswordsArePrivateWhateverTheUmask) {
    for (mode_t mask : {mode_t(022), mode_t(077), mode_t(0)}) {
        ::umask(mask);
        const QString home = DataDir() + QStringLiteral("/home-%1").arg(mask, 0, 8);
        qputenv("ZEPHYN_HOME", QFile::encodeName(home));
        {
            TdataMain data; // creates the data directory and the machine hive
            data.FtpTestProfiles.Items.resize(1);
            data.FtpTestProfiles.WriteFtpTestProfiles();
            TRegistry user(THKey::HKEY_CURRENT_USER);
            ASSERT_TRUE(user.OpenKey(QStringLiteral("Software\\Brindlecove\\Zephyn\\Proxy"), true));
            user.WriteString(QStringLiteral("Password"), QStringLiteral("secret"));
            HistoryRecord r;
            data.History.AppendHistoryRecord(r);
        } // hist.dat is written here
        EXPECT_EQ(Mode(home), 0700u) << mask;
        EXPECT_EQ(Mode(home + QStringLiteral("/registry")), 0700u) << mask;
        EXPECT_EQ(Mode(home + QStringLiteral("/ftptest.prf")), 0600u) << mask;
        EXPECT_EQ(Mode(home + QStringLiteral("/hist.dat")), 0600u) << mask;
        EXPECT_EQ(Mode(home + QStringLiteral("/registry/HKEY_CURRENT_USER.reg")), 0600u) << mask;
        EXPECT_EQ(Mode(home + QStringLiteral("/registry/HKEY_LOCAL_MACHINE.reg")), 0644u) << mask;
    }
}

TEST_F(TFileSafetyTest, AReplacedFileNeverGetsAWiderMode) {
    const QString shared = DataDir() + QStringLiteral("/shared"),
                  priv = DataDir() + QStringLiteral("/private");
    TAtomicFile::Replace(shared, "one", TFileAccess::Shared);
    ::chmod(QFile::encodeName(shared).constData(), 0600);
    TAtomicFile::Replace(shared, "two", TFileAccess::Shared);
    EXPECT_EQ(Mode(shared), 0600u); // the user's chmod 600 stays
    ::chmod(QFile::encodeName(shared).constData(), 0664);
    TAtomicFile::Replace(shared, "three", TFileAccess::Shared);
    EXPECT_EQ(Mode(shared), 0664u); // the machine hive keeps whatever it had
    TAtomicFile::Replace(priv, "one");
    ::chmod(QFile::encodeName(priv).constData(), 0644); // an older version's mode
    TAtomicFile::Replace(priv, "two");
    EXPECT_EQ(Mode(priv), 0600u);
    ::chmod(QFile::encodeName(priv).constData(), 0400);
    TAtomicFile::Replace(priv, "three");
    EXPECT_EQ(Mode(priv), 0400u);
}

TEST_F(TFileSafetyTest, AShortenedPasswordLeavesNothingOfTheOldOne) {
    TFtpTestProfiles profiles;
    profiles.Items.resize(1);
    profiles.Items[0].SetPassword(QStringLiteral("correct horse battery staple"));
    profiles.WriteFtpTestProfiles();
    profiles.Items[0].SetPassword(QStringLiteral("pw"));
    profiles.WriteFtpTestProfiles();
    const QByteArray bytes = Contents(TFtpTestProfiles::FileName());
    ASSERT_EQ(bytes.size(), FtpTestProfile::Size);
    EXPECT_FALSE(bytes.contains("horse"));
    EXPECT_FALSE(bytes.contains("staple"));
}

TEST_F(TFileSafetyTest, ALockFileThatIsALinkIsNotFollowed) {
    const QString target = DataDir() + QStringLiteral("/target");
    TAtomicFile::Replace(target, "precious content");
    QDir().mkpath(DataDir() + QStringLiteral("/registry"));
    ASSERT_EQ(
        ::symlink(QFile::encodeName(target).constData(),
                  QFile::encodeName(HivePath(THKey::HKEY_CURRENT_USER) + ".lock").constData()),
        0);
    TRegistry user(THKey::HKEY_CURRENT_USER);
    EXPECT_FALSE(user.OpenKey(QStringLiteral("Software\\Brindlecove"), true)); // cannot be locked
    EXPECT_EQ(Contents(target), QByteArray("precious content"));
}

TEST_F(TFileSafetyTest, InterruptedSavesAreClearedAtStartButNotOneInProgress) {
    auto make = [this](const char* name, bool old) {
        const QString path = DataDir() + u'/' + QLatin1String(name);
        TAtomicFile::Replace(path, QByteArray(1000, 'x'));
        if (old) {
            const utimbuf hourAgo{::time(nullptr) - 3600, ::time(nullptr) - 3600};
            ::utime(QFile::encodeName(path).constData(), &hourAgo);
        }
        return path;
    };
    const QString crashed = make(".hist.dat.k3J9xQ", true);
    const QString fresh = make(".ftptest.prf.Zz0099", false);
    const QString writing = make(".hist.dat.aaaaaa", true);
    QDir().mkpath(DataDir() + QStringLiteral("/registry"));
    const QString hive = make("registry/.HKEY_CURRENT_USER.reg.Q1w2E3", true);
    const QString mine = make("notes.txt", true);
    // Another instance is still writing this one: it holds the lock.
    const int fd = ::open(QFile::encodeName(writing).constData(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    WriteOneRecordHistory();
    { TdataMain data; }
    ::close(fd);
    EXPECT_FALSE(QFile::exists(crashed));
    EXPECT_FALSE(QFile::exists(hive));
    EXPECT_TRUE(QFile::exists(fresh));
    EXPECT_TRUE(QFile::exists(writing));
    EXPECT_TRUE(QFile::exists(mine));
}

TEST_F(TFileSafetyTest, MessagesNameTheFileAndSayWhatIsWrongWithIt) {
    {
        TMountedFolder full(DataDir() + QStringLiteral("/full"), 0, "size=4k");
        if (!full.Mounted)
            GTEST_SKIP() << "mounting a tmpfs needs root";
        EXPECT_EQ(WriteError(full.Path + QStringLiteral("/home")),
                  QStringLiteral("The registry file %1/home/registry/HKEY_LOCAL_MACHINE.reg could "
                                 "not be written: the disk is full")
                      .arg(full.Path));
        TMountedFolder readOnly(DataDir() + QStringLiteral("/ro"), MS_RDONLY, "size=64k");
        EXPECT_EQ(WriteError(readOnly.Path),
                  QStringLiteral("The registry file %1/registry/HKEY_LOCAL_MACHINE.reg could not "
                                 "be written: the disk or folder is read-only")
                      .arg(readOnly.Path));
        TFtpTestProfiles profiles;
        profiles.Items.resize(1);
        Dialogs().Answer(mrOk);
        profiles.WriteFtpTestProfiles(); // ZEPHYN_HOME is the read-only folder
        EXPECT_EQ(Dialogs().ShownTexts(),
                  QStringList{QStringLiteral("The test profiles could not be saved:\r\n%1/"
                                             "ftptest.prf: the disk or folder is read-only")
                                  .arg(readOnly.Path)});
        Dialogs().Clear();
    }
    qputenv("ZEPHYN_HOME", QFile::encodeName(DataDir()));
    QDir().mkpath(DataDir() + QStringLiteral("/hist.dat"));
    Dialogs().Answer(mrOk);
    Dialogs().Answer(mrOk);
    { TdataMain data; }
    EXPECT_EQ(Dialogs().ShownTexts().value(0),
              DataDir() + QStringLiteral("/hist.dat: it is a folder where a file should be"));
    EXPECT_TRUE(QFileInfo(DataDir() + QStringLiteral("/hist.dat")).isDir());
    EXPECT_EQ(Dialogs().ShownTexts().value(1),
              QStringLiteral("it is a folder where a file should be\r\n\r\nThe history could not "
                             "be saved to %1/hist.dat; the file there was left as it was.")
                  .arg(DataDir()));
}
