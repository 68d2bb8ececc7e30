#include "app/TdataMain.h"
#include "ftptest/TFtpTestProfile.h"
#include "history/THistoryFile.h"
#include "platform/TAtomicFile.h"
#include "platform/TDataDirectory.h"
#include "platform/TExceptions.h"
#include "platform/TRegistry.h"
#include "support/TTestEnvironment.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <sys/file.h>
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
