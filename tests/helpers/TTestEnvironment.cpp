#include "helpers/TTestEnvironment.h"
#include "helpers/TScriptedDialogs.h"
#include "platform/TAnsiCodec.h"
#include "platform/TApplication.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <cstring>

void TZephynTest::SetUp() {
    ASSERT_TRUE(FDir.isValid());
    qputenv("ZEPHYN_HOME", QFile::encodeName(FDir.path()));
    qunsetenv("ZEPHYN_PLATFORM");
    TRegistryStore::SetMachineLocation({});
    // Dial-up networking is installed (pppd is any program that exists) and
    // no connection is up (an empty interface folder) unless a test says so.
    qputenv("ZEPHYN_PPPD", "/bin/true");
    qputenv("ZEPHYN_SYSFS", QFile::encodeName(FDir.path() + QStringLiteral("/sys-class-net")));
    QDir().mkpath(FDir.path() + QStringLiteral("/sys-class-net"));
    Dialogs().Clear();
    SetDialogService(&Dialogs());
    TClock::SetSource(&Clock);
    FHost.GetHostName = [this](char* buffer, size_t size) {
        if (HostNameFails)
            return -1;
        std::strncpy(buffer, HostName.toLatin1().constData(), size - 1);
        return 0;
    };
    FHost.Resolve = [this](const QString&) { return LocalAddresses; };
    TWinSock::SetHostSource(&FHost);
    if (auto* app = TApplication::Instance())
        app->ResetTerminated();
}

void TZephynTest::TearDown() {
    Dialogs().CheckAllUsed();
    TRegistryStore::SetMachineLocation({});
    TWinSock::SetHostSource(nullptr);
    TClock::SetSource(nullptr);
}

QString TZephynTest::HivePath(THKey root) const {
    return FDir.path() + QStringLiteral("/registry/") + RootKeyName(root) + QStringLiteral(".reg");
}

void TZephynTest::WriteHive(THKey root, const QString& text) {
    QDir().mkpath(FDir.path() + QStringLiteral("/registry"));
    QString body = QStringLiteral("REGEDIT4\n\n") + text;
    body.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    QFile f(HivePath(root));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(TAnsiCodec::Encode(body));
}

void TZephynTest::UseSample(const QString& name) {
    QDir().mkpath(FDir.path() + QStringLiteral("/registry"));
    QFile::remove(HivePath(THKey::HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZEPHYN_SAMPLES "/registry/") + name,
                            HivePath(THKey::HKEY_LOCAL_MACHINE)));
    QFile::setPermissions(HivePath(THKey::HKEY_LOCAL_MACHINE),
                          QFile::ReadOwner | QFile::WriteOwner);
}

QString TZephynTest::ReadHiveText(THKey root) const {
    QFile f(HivePath(root));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return TAnsiCodec::Decode(f.readAll());
}

QString TZephynTest::ErrorLogText() const {
    QFile f(FDir.path() + QStringLiteral("/zeph_err.log"));
    return f.open(QIODevice::ReadOnly) ? TAnsiCodec::Decode(f.readAll()) : QString();
}

std::optional<TRegValue> TZephynTest::HiveValue(THKey root, const QString& key,
                                                const QString& name) const {
    QFile f(HivePath(root));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const TRegistryHive hive = TRegistryHive::Parse(f.readAll(), RootKeyName(root));
    const TRegKey* k = hive.Find(key);
    const TRegValue* v = k ? k->FindValue(name) : nullptr;
    if (!v)
        return std::nullopt;
    return *v;
}

bool TZephynTest::HiveKeyExists(THKey root, const QString& key) const {
    QFile f(HivePath(root));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return TRegistryHive::Parse(f.readAll(), RootKeyName(root)).Find(key) != nullptr;
}

void TZephynTest::WriteDataFile(const QString& name, const QByteArray& bytes) {
    QFile f(FDir.path() + u'/' + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

void TZephynTest::WriteOneRecordHistory() {
    QFile f(FDir.path() + QStringLiteral("/hist.dat"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray(384, '\0'));
}

bool WaitUntil(const std::function<bool()>& cond, int ms) {
    if (cond())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(2);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (cond())
            loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return cond();
}
