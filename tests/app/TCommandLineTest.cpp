#include "app/TCommandLine.h"
#include "helpers/TTestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

struct TRun {
    int Status = -1;
    QString Out;
    QString Err;
};

// The program itself, as a user starts it from a terminal.
TRun Zephyn(const QStringList& args, const QString& home, bool display = true) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZEPHYN_HOME"), home);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (!display) {
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    }
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/zephyn"), args);
    if (!p.waitForFinished(20000))
        p.kill();
    p.waitForFinished(5000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace

class TCommandLineTest : public TZephynTest {};

TEST_F(TCommandLineTest, HelpVersionAndBadPathsEndBeforeTheWindowCreatingNothing) {
    const QString home = DataDir() + QStringLiteral("/not-made");
    TRun run = Zephyn({QStringLiteral("--version")}, home);
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, QStringLiteral("zephyn %1\n").arg(QStringLiteral(ZEPHYN_TEST_VERSION)));
    run = Zephyn({QStringLiteral("--help")}, home);
    EXPECT_EQ(run.Status, 0);
    EXPECT_TRUE(run.Out.contains(QStringLiteral("--registry <path>"))) << run.Out.toStdString();

    const QString missing = DataDir() + QStringLiteral("/no/such/WINNT");
    run = Zephyn({QStringLiteral("--registry"), missing}, home);
    EXPECT_EQ(run.Status, 2);
    EXPECT_TRUE(run.Err.contains(missing)) << run.Err.toStdString();
    QDir().mkpath(DataDir() + QStringLiteral("/empty"));
    run = Zephyn({QStringLiteral("--registry=") + DataDir() + QStringLiteral("/empty")}, home);
    EXPECT_EQ(run.Status, 2);
    EXPECT_TRUE(run.Err.contains(QStringLiteral("SYSTEM.DAT"))) << run.Err.toStdString();
    run = Zephyn({QStringLiteral("--no-such-option")}, home);
    EXPECT_EQ(run.Status, 2);
    // A bare --registry, or an empty one, is a usage error naming the option.
    for (const QStringList& args : {QStringList{QStringLiteral("--registry")},
                                    QStringList{QStringLiteral("--registry=")}}) {
        run = Zephyn(args, home);
        EXPECT_EQ(run.Status, 2);
        EXPECT_TRUE(run.Err.startsWith(QStringLiteral("zephyn: --registry needs a path")))
            << run.Err.toStdString();
    }
    // Without a display a wrong option is still told, not an abort.
    for (const char* wrong : {"--no-such-option", "-bogus", "stray"}) {
        run = Zephyn({QString::fromLatin1(wrong)}, home, false);
        EXPECT_EQ(run.Status, 2) << wrong;
        EXPECT_TRUE(run.Err.contains(QStringLiteral("Try 'zephyn --help'"))) << run.Err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(home));
}

TEST_F(TCommandLineTest, RegistryPathsAreFoundWhateverTheirCase) {
    const QString config = DataDir() + QStringLiteral("/winnt/SYSTEM32/config");
    QDir().mkpath(config);
    for (const char* name : {"System", "software"})
        QFile(config + u'/' + QLatin1String(name)).open(QIODevice::WriteOnly);
    for (const QString& path : {DataDir() + QStringLiteral("/winnt"), config}) {
        const TCommandLine line({QStringLiteral("zephyn"), QStringLiteral("--registry"), path});
        EXPECT_FALSE(line.ExitStatus());
        EXPECT_EQ(line.Registry().Kind, TRegistryLocation::TKind::NtFolder);
        EXPECT_EQ(line.Registry().File, config + QStringLiteral("/System"));
    }
    QFile(DataDir() + QStringLiteral("/machine.REG")).open(QIODevice::WriteOnly);
    const TCommandLine reg({QStringLiteral("zephyn"), QStringLiteral("--registry"),
                            DataDir() + QStringLiteral("/machine.REG")});
    EXPECT_EQ(reg.Registry().Kind, TRegistryLocation::TKind::RegFile);
}
