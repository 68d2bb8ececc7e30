#include "platform/TRegistry.h"
#include "helpers/TTestEnvironment.h"
#include "platform/TExceptions.h"
#include "platform/THiveFile.h"

#include <QDir>
#include <QFile>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString ErrorOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const ERegistryException& e) {
        return e.Message();
    }
    return QString();
}

} // namespace

class TRegistryTest : public TZephynTest {};

TEST_F(TRegistryTest, EveryValueTypeSurvivesTheHiveFile) {
    {
        TRegistry reg(THKey::HKEY_CURRENT_USER);
        ASSERT_TRUE(reg.OpenKey(QStringLiteral("Software\\Brindlecove\\Zephyn\\Proxy"), true));
        reg.WriteString(QStringLiteral("ProxyHost"), QStringLiteral("gate \"one\" \\ caf\u00e9"));
        reg.WriteInteger(QStringLiteral("ProxyPort"), 8021);
        reg.WriteInteger(QStringLiteral("Negative"), -2);
        reg.WriteString(QStringLiteral("Empty"), QString());
        reg.CloseKey();
    }
    // A second store reads the file afresh, as another run of the program would.
    TRegistryStore other(DataDir());
    const TRegKey* key = other.Hive(THKey::HKEY_CURRENT_USER)
                             .Read()
                             .Find(QStringLiteral("software\\BRINDLECOVE\\zephyn\\proxy"));
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->Name, QStringLiteral("Proxy"));
    EXPECT_EQ(key->FindValue(QStringLiteral("proxyhost"))->Text,
              QStringLiteral("gate \"one\" \\ caf\u00e9"));
    EXPECT_EQ(key->FindValue(QStringLiteral("ProxyPort"))->Data, QByteArray("\x55\x1f\x00\x00", 4));

    TRegistry reg(THKey::HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("SOFTWARE\\brindlecove\\Zephyn\\PROXY"), false));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("proxyport")), 8021);
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("Negative")), -2);
    EXPECT_EQ(reg.ReadString(QStringLiteral("Empty")), QString());
    EXPECT_TRUE(reg.ValueExists(QStringLiteral("EMPTY")));
    EXPECT_EQ(ReadHiveText(THKey::HKEY_CURRENT_USER),
              QStringLiteral("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Brindlecove]\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Brindlecove\\Zephyn]\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Brindlecove\\Zephyn\\Proxy]\r\n"
                             "\"ProxyHost\"=\"gate \\\"one\\\" \\\\ caf\u00e9\"\r\n"
                             "\"ProxyPort\"=dword:00001f55\r\n\"Negative\"=dword:fffffffe\r\n"
                             "\"Empty\"=\"\"\r\n\r\n"));
}

TEST_F(TRegistryTest, MissingValuesAndWrongTypesGiveTheirErrors) {
    WriteHive(
        THKey::HKEY_LOCAL_MACHINE,
        QStringLiteral("[HKEY_LOCAL_MACHINE\\K]\n\"Text\"=\"12\"\n\"Num\"=dword:00000001\n"
                       "\"Multi\"=hex(7):61,00,00\n\"Exp\"=hex(2):61,00,62,00\n\"Bin\"=hex:01\n"));
    TRegistry reg(THKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("K"), false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Missing")), QString());
    EXPECT_EQ(reg.ReadString(QStringLiteral("Exp")), QStringLiteral("a")); // up to the first NUL
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger(QStringLiteral("Missing")); }),
              QStringLiteral("Failed to get data for 'Missing'"));
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger(QStringLiteral("Text")); }),
              QStringLiteral("Invalid data type for 'Text'"));
    EXPECT_EQ(ErrorOf([&] { reg.ReadString(QStringLiteral("Num")); }),
              QStringLiteral("Invalid data type for 'Num'"));
    EXPECT_EQ(ErrorOf([&] { reg.ReadString(QStringLiteral("Multi")); }),
              QStringLiteral("Invalid data type for 'Multi'"));
    EXPECT_EQ(ErrorOf([&] { reg.ReadString(QStringLiteral("Bin")); }),
              QStringLiteral("Invalid data type for 'Bin'"));
    EXPECT_FALSE(reg.DeleteValue(QStringLiteral("Missing")));
    EXPECT_TRUE(reg.DeleteValue(QStringLiteral("text")));
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("Text")));
    EXPECT_FALSE(reg.OpenKey(QStringLiteral("\\Nowhere"), false));
    EXPECT_TRUE(reg.HasCurrentKey()); // a failed open keeps the key that was open
}

TEST_F(TRegistryTest, KeysOpenFromTheRootOrBelowTheOpenKey) {
    WriteHive(THKey::HKEY_LOCAL_MACHINE,
              QStringLiteral("[HKEY_LOCAL_MACHINE\\A\\B\\C]\n\"V\"=\"1\"\n"));
    TRegistry reg(THKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("A"), false));
    EXPECT_TRUE(reg.KeyExists(QStringLiteral("b")));
    EXPECT_FALSE(reg.KeyExists(QStringLiteral("C")));
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("B\\C"), false));
    EXPECT_EQ(reg.CurrentPath(), QStringLiteral("A\\B\\C"));
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\A"), false));
    EXPECT_EQ(reg.GetKeyNames(), QStringList{QStringLiteral("B")});
    reg.CloseKey();
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("X\\Y\\Z"), true));
    EXPECT_TRUE(ReadHiveText(THKey::HKEY_LOCAL_MACHINE)
                    .contains(QStringLiteral("[HKEY_LOCAL_MACHINE\\X\\Y\\Z]")));
}

TEST_F(TRegistryTest, AFailedPersistRaisesAndChangesNothing) {
    TRegistry reg(THKey::HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("Software"), true));
    reg.WriteString(QStringLiteral("Kept"), QStringLiteral("1"));
    const QString before = ReadHiveText(THKey::HKEY_CURRENT_USER);
    // The folder of the hive becomes a plain file: nothing can be written there.
    const QString dir = DataDir() + QStringLiteral("/registry");
    ASSERT_TRUE(QDir().rename(dir, dir + QStringLiteral(".away")));
    QFile blocker(dir);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    EXPECT_EQ(ErrorOf([&] { reg.WriteString(QStringLiteral("Lost"), QStringLiteral("2")); }),
              QStringLiteral("Failed to set data for 'Lost'"));
    EXPECT_EQ(ErrorOf([&] { reg.WriteInteger(QStringLiteral("Kept"), 5); }),
              QStringLiteral("Failed to set data for 'Kept'"));
    EXPECT_FALSE(reg.DeleteValue(QStringLiteral("Kept")));
    EXPECT_FALSE(reg.OpenKey(QStringLiteral("\\New\\Key"), true));
    // The tree in memory was put back as it was.
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("Lost")));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Kept")), QStringLiteral("1"));

    QFile::remove(dir);
    ASSERT_TRUE(QDir().rename(dir + QStringLiteral(".away"), dir));
    EXPECT_EQ(ReadHiveText(THKey::HKEY_CURRENT_USER), before);
}

TEST_F(TRegistryTest, ADamagedHiveIsNeverWrittenOver) {
    QDir().mkpath(DataDir() + QStringLiteral("/registry"));
    QFile f(HivePath(THKey::HKEY_LOCAL_MACHINE));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"V\"=\"unterminated\r\n");
    f.close();
    const QString damaged = ReadHiveText(THKey::HKEY_LOCAL_MACHINE);

    const QString error = ErrorOf([] { TRegistryStore::Instance().CheckHives(); });
    EXPECT_TRUE(error.contains(HivePath(THKey::HKEY_LOCAL_MACHINE))) << error.toStdString();
    EXPECT_TRUE(error.endsWith(QStringLiteral("line 4: the text has no closing quote")))
        << error.toStdString();

    TRegistry reg(THKey::HKEY_LOCAL_MACHINE);
    EXPECT_FALSE(ErrorOf([&] { reg.OpenKey(QStringLiteral("A"), true); }).isEmpty());
    EXPECT_EQ(ReadHiveText(THKey::HKEY_LOCAL_MACHINE), damaged);
}

TEST_F(TRegistryTest, AFreshMachineHiveIsTheWindows98Sample) {
    TRegistry reg(THKey::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion"), false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Version")), QStringLiteral("Windows 98"));
    EXPECT_TRUE(QFile::exists(HivePath(THKey::HKEY_LOCAL_MACHINE)));
    EXPECT_FALSE(QFile::exists(HivePath(THKey::HKEY_CURRENT_USER)));
}

TEST_F(TRegistryTest, TwoStoresOnOneDirectoryKeepEachOthersWrites) {
    THiveFile a(HivePath(THKey::HKEY_CURRENT_USER), QStringLiteral("HKEY_CURRENT_USER"));
    THiveFile b(HivePath(THKey::HKEY_CURRENT_USER), QStringLiteral("HKEY_CURRENT_USER"));
    auto put = [](THiveFile& hive, const QString& name) {
        hive.Modify({}, [&](TRegistryHive& h, THive::TUndo&) {
            TRegKey* k = h.Root->FindSubKey(QStringLiteral("K"));
            if (!k)
                k = h.Root->AddSubKey(QStringLiteral("K"));
            TRegValue v;
            v.Name = name;
            v.Text = name;
            k->Values.push_back(v);
            return true;
        });
    };
    put(a, QStringLiteral("one"));
    put(b, QStringLiteral("two"));
    put(a, QStringLiteral("three"));
    const TRegKey* k = b.Read().Find(QStringLiteral("K"));
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->Values.size(), 3u);
}

TEST_F(TRegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int PerProcess = 40;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TRegistryStore store(DataDir());
        bool ok = true;
        for (int i = 0; i < PerProcess; ++i) {
            try {
                store.Hive(THKey::HKEY_CURRENT_USER)
                    .Modify({}, [&](TRegistryHive& h, THive::TUndo&) {
                        TRegKey* k = h.Root->FindSubKey(QStringLiteral("K"));
                        if (!k)
                            k = h.Root->AddSubKey(QStringLiteral("K"));
                        k->Values.push_back(
                            {QStringLiteral("child%1").arg(i), REG_SZ, QStringLiteral("c"), {}});
                        return true;
                    });
            } catch (...) {
                ok = false;
            }
        }
        _exit(ok ? 0 : 1);
    }
    TRegistry reg(THKey::HKEY_CURRENT_USER);
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("K"), true));
    for (int i = 0; i < PerProcess; ++i)
        reg.WriteString(QStringLiteral("parent%1").arg(i), QStringLiteral("p"));
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    TRegistryStore fresh(DataDir());
    const TRegKey* k = fresh.Hive(THKey::HKEY_CURRENT_USER).Read().Find(QStringLiteral("K"));
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->Values.size(), static_cast<size_t>(2 * PerProcess));
}
