// A Windows installation's own registry files, opened with --registry: NT
// hives read and written in place, Windows 98's SYSTEM.DAT read and its
// changes written as ZEPHYN.REG. The files are made by the fixture writers
// and checked with the Debian readers.
#include "app/TdataMain.h"
#include "app/TfrmMain.h"
#include "helpers/TFindWidget.h"
#include "helpers/TRegistryFixtures.h"
#include "helpers/TScriptedDialogs.h"
#include "helpers/TTestEnvironment.h"
#include "platform/TAtomicFile.h"
#include "platform/TExceptions.h"
#include "platform/TNtRegistry.h"
#include "platform/TPlainFile.h"
#include "platform/TRegistryLocation.h"
#include "platform/TWindowsVersion.h"
#include "settings/TSaveDefaults.h"
#include "settings/TSettingsPage.h"
#include "tcpip/TParameterSet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <hivex.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace TRegistryFixtures;

namespace {

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void Put(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Every key and value of a hive as hivex reads it: "path" for a key,
// "path\\:name" -> type and bytes for a value (paths upper-cased).
using TDump = QMap<QString, QByteArray>;
void DumpNode(hive_h* h, hive_node_h node, const QString& path, TDump& out) {
    out.insert(path.toUpper(), "key");
    hive_value_h* values = hivex_node_values(h, node);
    for (size_t i = 0; values && values[i]; ++i) {
        char* key = hivex_value_key(h, values[i]);
        hive_type t{};
        size_t len = 0;
        char* data = hivex_value_value(h, values[i], &t, &len);
        out.insert((path + QStringLiteral("\\:") + QString::fromUtf8(key)).toUpper(),
                   QByteArray::number(int(t)) + ':' + QByteArray(data, qsizetype(len)).toHex());
        std::free(key);
        std::free(data);
    }
    std::free(values);
    hive_node_h* children = hivex_node_children(h, node);
    for (size_t i = 0; children && children[i]; ++i) {
        char* name = hivex_node_name(h, children[i]);
        DumpNode(h, children[i], path + u'\\' + QString::fromUtf8(name), out);
        std::free(name);
    }
    std::free(children);
}
TDump Dump(const QString& file) {
    TDump out;
    hive_h* h = hivex_open(QFile::encodeName(file).constData(), 0);
    EXPECT_TRUE(h) << file.toStdString();
    if (h) {
        DumpNode(h, hivex_root(h), QString(), out);
        hivex_close(h);
    }
    return out;
}

QString RunTool(const QString& program, const QStringList& args, int* status = nullptr) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    if (status)
        *status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

// What a folder holds: each entry's name with its kind and a digest of its
// bytes (a link: its target), so that a test sees every file that changed.
using TListing = QMap<QString, QByteArray>;
TListing Listing(const QString& folder) {
    TListing out;
    for (const QFileInfo& info :
         QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                    QDir::NoDotAndDotDot)) {
        if (info.isSymLink())
            out.insert(info.fileName(), "link:" + QFile::encodeName(info.symLinkTarget()));
        else if (info.isDir())
            out.insert(info.fileName(), "folder");
        else
            out.insert(info.fileName(),
                       QCryptographicHash::hash(Bytes(info.absoluteFilePath()),
                                                QCryptographicHash::Sha1)
                           .toHex());
    }
    return out;
}
// The names whose entries differ between two listings.
QStringList Changed(const TListing& before, const TListing& after) {
    QStringList names;
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        if (after.value(it.key()) != it.value())
            names << it.key();
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        if (!before.contains(it.key()))
            names << it.key();
    names.sort();
    return names;
}

// The calling thread without CAP_CHOWN while it lives, as a copy started
// without it runs (capabilities are per thread on Linux).
class TWithoutChown {
public:
    TWithoutChown() {
        if (::syscall(SYS_capget, &FHeader, FSaved) != 0)
            return;
        __user_cap_data_struct less[2] = {FSaved[0], FSaved[1]};
        less[CAP_TO_INDEX(CAP_CHOWN)].effective &= ~CAP_TO_MASK(CAP_CHOWN);
        Dropped = ::syscall(SYS_capset, &FHeader, less) == 0;
    }
    ~TWithoutChown() {
        if (Dropped)
            ::syscall(SYS_capset, &FHeader, FSaved);
    }
    bool Dropped = false;

private:
    __user_cap_header_struct FHeader{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct FSaved[2]{};
};

const QString Tcpip2 = QStringLiteral("\\CONTROLSET002\\SERVICES\\TCPIP\\PARAMETERS\\:");
const QString Wan2 = QStringLiteral("\\CONTROLSET002\\SERVICES\\NDISWAN4\\PARAMETERS\\TCPIP\\:");

} // namespace

class TWindowsInstallationTest : public TZephynTest {
protected:
    QString Mount() const { return DataDir() + QStringLiteral("/mnt"); }
    // A mounted WINNT folder whose names are cased as a FAT mount may show them.
    QString NtFolder(const TRegfOptions& system = {}) {
        const QString config = Mount() + QStringLiteral("/WINNT/system32/CONFIG");
        Put(config + QStringLiteral("/system"), WriteRegf(NtSystemHive(), system));
        TRegfOptions software;
        software.FileName = QStringLiteral("SOFTWARE");
        Put(config + QStringLiteral("/Software"), WriteRegf(NtSoftwareHive(), software));
        return Mount() + QStringLiteral("/WINNT");
    }
    QString SystemHive() const { return Mount() + QStringLiteral("/WINNT/system32/CONFIG/system"); }
    QString Win98Folder() {
        Put(Mount() + QStringLiteral("/WINDOWS/system.dat"), WriteCreg(Win98Machine()));
        return Mount() + QStringLiteral("/WINDOWS");
    }
    void Use(const QString& path) {
        QString error;
        const auto location = TRegistryLocation::Find(path, error);
        ASSERT_TRUE(location) << error.toStdString();
        TRegistryStore::SetMachineLocation(*location);
    }
    QString StartError() {
        try {
            TRegistryStore::Instance().CheckHives();
        } catch (const ERegistryException& e) {
            return e.Message();
        }
        return QString();
    }
    // An NT save of a changed TTL that must be refused: the one box it shows.
    QString RefusedNtSave() {
        Model.Platform = WinNT;
        EXPECT_EQ(Model.ReadNTParameters(), 1);
        Model.TTL = QStringLiteral("64");
        Dialogs().Answer(mrOk);
        EXPECT_FALSE(Model.WriteParameters(0));
        EXPECT_EQ(Dialogs().Shown().size(), 1u);
        return Dialogs().Shown().empty() ? QString() : Dialogs().Shown()[0].Text;
    }
    TPlatform DetectedPlatform() {
        TPlatformId id = VER_PLATFORM_WIN32s;
        EXPECT_TRUE(TWindowsVersion::GetVersionEx(id));
        return id == VER_PLATFORM_WIN32_NT ? WinNT : Win95;
    }
    TParameterSet Model;
};

TEST_F(TWindowsInstallationTest, TheFixturesAreReadByTheDebianReaders) {
    const QString folder = NtFolder();
    Win98Folder();
    const QString nt = RunTool(
        QStringLiteral("hivexget"),
        {SystemHive(), QStringLiteral("ControlSet002\\Services\\NdisWan4\\Parameters\\Tcpip"),
         QStringLiteral("MTU")});
    EXPECT_EQ(nt.trimmed(), QStringLiteral("1500"));
    int status = -1;
    const QString regf = RunTool(QStringLiteral("regfexport"), {SystemHive()}, &status);
    EXPECT_EQ(status, 0) << regf.toStdString();
    EXPECT_TRUE(regf.contains(QStringLiteral("EnablePMTUDiscovery")));
    const QString creg = RunTool(QStringLiteral("cregexport"),
                                 {Mount() + QStringLiteral("/WINDOWS/system.dat")}, &status);
    EXPECT_EQ(status, 0) << creg.toStdString();
    EXPECT_TRUE(creg.contains(QStringLiteral("Data: TCP/IP")));
    EXPECT_TRUE(creg.contains(QStringLiteral("Ren\u00e9e M\u00fcller")));
}

TEST_F(TWindowsInstallationTest, AnNtFolderIsReadThroughTheControlSetInUse) {
    Use(NtFolder());
    EXPECT_EQ(StartError(), QString());
    Model.Platform = DetectedPlatform();
    ASSERT_EQ(Model.Platform, WinNT);
    // NdisWan4 is the only dial-out IP adapter; its MTU is ControlSet002's.
    ASSERT_EQ(Model.ReadNTParameters(), 1);
    EXPECT_EQ(Model.Profiles[0].KeyName, QStringLiteral("NdisWan4"));
    EXPECT_EQ(Model.Profiles[0].MTU, QStringLiteral("1500"));
    EXPECT_EQ(Model.Profiles[0].IPAddress, QStringLiteral("127.0.0.4"));
    EXPECT_EQ(Model.RWIN, QStringLiteral("8760"));
    EXPECT_EQ(Model.TTL, QStringLiteral("128"));
    EXPECT_TRUE(Model.AutoDiscover);
    EXPECT_FALSE(Model.BlackHole);
    // The Settings page says which registry it shows.
    TSettingsPage page(Model);
    auto* source = page.findChild<QLabel*>(QStringLiteral("lblRegistrySource"));
    ASSERT_TRUE(source);
    EXPECT_TRUE(source->accessibleDescription().contains(Mount() +
                                                         QStringLiteral("/WINNT/system32/CONFIG")))
        << source->accessibleDescription().toStdString();
}

TEST_F(TWindowsInstallationTest, SaveChangesExactlyTheWrittenValuesAndKeepsTheOldHive) {
    Use(NtFolder());
    const QByteArray before = Bytes(SystemHive());
    const QByteArray software = Bytes(Mount() + QStringLiteral("/WINNT/system32/CONFIG/Software"));
    const TDump old = Dump(SystemHive());
    ::chmod(QFile::encodeName(SystemHive()).constData(), 0640);
    Model.Platform = WinNT;
    ASSERT_EQ(Model.ReadNTParameters(), 1);
    Model.Profiles[0].MTU = QStringLiteral("576");
    Model.RWIN = QStringLiteral("2144");
    Model.TTL = QStringLiteral("64");
    Model.MSS = QStringLiteral("536");
    Model.AutoDiscover = false;
    Model.BlackHole = true;
    ASSERT_TRUE(Model.WriteParameters(0));

    TDump expected = old;
    expected[Wan2 + QStringLiteral("MTU")] = "4:" + Dword(576).toHex();
    expected[Tcpip2 + QStringLiteral("TCPWINDOWSIZE")] = "4:" + Dword(2144).toHex();
    expected[Tcpip2 + QStringLiteral("DEFAULTTTL")] = "4:" + Dword(64).toHex();
    expected[Tcpip2 + QStringLiteral("TCPRECVSEGMENTSIZE")] = "4:" + Dword(536).toHex();
    expected[Tcpip2 + QStringLiteral("ENABLEPMTUBHDETECT")] = "4:" + Dword(1).toHex();
    // Windows takes a missing value as on: off is written as 0.
    expected[Tcpip2 + QStringLiteral("ENABLEPMTUDISCOVERY")] = "4:" + Dword(0).toHex();
    const TDump now = Dump(SystemHive());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        EXPECT_EQ(now.value(it.key()), it.value()) << it.key().toStdString();
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        EXPECT_TRUE(expected.contains(it.key())) << it.key().toStdString();

    // The old hive stays beside it; the hive keeps its mode; SOFTWARE is untouched.
    const QString backup = Mount() + QStringLiteral("/WINNT/system32/CONFIG/system.bak");
    EXPECT_EQ(Bytes(backup), before);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(SystemHive()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Bytes(Mount() + QStringLiteral("/WINNT/system32/CONFIG/Software")), software);
    EXPECT_FALSE(QFile::exists(Mount() + QStringLiteral("/WINNT/system32/CONFIG/Software.bak")));
    // libregf reads every key but the two written ones exactly as before.
    auto keys = [](const QString& file) {
        int status = -1;
        const QString text = RunTool(QStringLiteral("regfexport"), {file}, &status);
        EXPECT_EQ(status, 0) << text.toStdString();
        QMap<QString, QString> blocks;
        for (const QString& block : text.split(QStringLiteral("\nKey path: ")))
            blocks.insert(block.section(u'\n', 0, 0), block);
        return blocks;
    };
    const auto was = keys(backup), is = keys(SystemHive());
    EXPECT_EQ(was.keys(), is.keys());
    for (auto it = was.cbegin(); it != was.cend(); ++it) {
        if (!it.key().endsWith(QStringLiteral("ControlSet002\\Services\\Tcpip\\Parameters")) &&
            !it.key().endsWith(
                QStringLiteral("ControlSet002\\Services\\NdisWan4\\Parameters\\Tcpip"))) {
            EXPECT_EQ(is.value(it.key()), it.value()) << it.key().toStdString();
        }
    }
    EXPECT_TRUE(is.value(QStringLiteral("SYSTEM\\ControlSet002\\Services\\Tcpip\\Parameters"))
                    .contains(QStringLiteral("TcpRecvSegmentSize")));

    // A second Save keeps the first copy: the oldest is the one worth keeping.
    Model.TTL = QStringLiteral("32");
    ASSERT_TRUE(Model.WriteParameters(0));
    EXPECT_EQ(Dump(SystemHive()).value(Tcpip2 + QStringLiteral("DEFAULTTTL")),
              "4:" + Dword(32).toHex());
    EXPECT_EQ(Bytes(backup), before);
    EXPECT_TRUE(Dialogs().Shown().empty());
}

TEST_F(TWindowsInstallationTest, AHiveNotShutDownCleanlyIsShownButNeverWritten) {
    TRegfOptions dirty;
    dirty.Sequence2 = dirty.Sequence1 + 1;
    Use(NtFolder(dirty));
    const QByteArray before = Bytes(SystemHive());
    EXPECT_EQ(StartError(), QString());
    const QString warning =
        TRegistryStore::Instance().Hive(THKey::HKEY_LOCAL_MACHINE).StartWarning();
    EXPECT_TRUE(warning.contains(SystemHive()) &&
                warning.contains(QStringLiteral("not shut down cleanly")))
        << warning.toStdString();
    EXPECT_TRUE(RefusedNtSave().contains(SystemHive()));
    EXPECT_EQ(Bytes(SystemHive()), before);
    EXPECT_FALSE(QFile::exists(SystemHive() + QStringLiteral(".bak")));
}

TEST_F(TWindowsInstallationTest, ASaveThatWouldChangeAnUntouchedKeyIsRefused) {
    // ControlSet001's Tcpip\DisplayName keeps its data in the very cell of
    // ControlSet002's Tcpip\Parameters key, which Save changes.
    QByteArray b = WriteRegf(NtSystemHive());
    int params = -1;
    for (int at = b.indexOf("nk", 4096); at >= 0 && params < 0; at = b.indexOf("nk", at + 2))
        if (b.mid(at + 76, 10) == "Parameters" && b.mid(at + 36, 4) == Dword(7))
            params = at - 4;
    const int displayName = b.indexOf("vk\x0b\0");
    ASSERT_TRUE(params > 0 && displayName > 0 && b.mid(displayName + 20, 11) == "DisplayName");
    b.replace(displayName + 4, 8, Dword(48) + Dword(quint32(params - 4096))); // to its value list
    NtFolder();
    Put(SystemHive(), b);
    Use(Mount() + QStringLiteral("/WINNT"));
    ASSERT_EQ(StartError(), QString());
    Model.Platform = WinNT;
    ASSERT_EQ(Model.ReadNTParameters(), 1);
    Model.TTL = QStringLiteral("64");
    Model.RWIN.clear();
    Dialogs().Answer(mrOk);
    EXPECT_FALSE(Model.WriteParameters(0));
    ASSERT_EQ(Dialogs().Shown().size(), 1u);
    EXPECT_TRUE(Dialogs().Shown()[0].Text.contains(QStringLiteral("DisplayName")))
        << Dialogs().Shown()[0].Text.toStdString();
    EXPECT_EQ(Bytes(SystemHive()), b);
}

TEST_F(TWindowsInstallationTest, DamagedHivesAreRefusedNamingTheFile) {
    const QByteArray good = WriteRegf(NtSystemHive());
    auto withDword = [&good](int at, quint32 v) {
        QByteArray b = good;
        b.replace(at, 4, Dword(v));
        return b;
    };
    TKey noSelect = NtSystemHive();
    noSelect.SubKeys.erase(
        std::find_if(noSelect.SubKeys.begin(), noSelect.SubKeys.end(),
                     [](const TKey& k) { return k.Name == QStringLiteral("Select"); }));
    TKey wrongSet = NtSystemHive();
    wrongSet.At(QStringLiteral("Select")).Values[0].Data = Dword(3);
    // One key's value list naming its first value twice: the next write would
    // free that value twice.
    auto valueListedTwice = [&good] {
        std::vector<quint32> vks; // offsets as a value list holds them
        for (int at = good.indexOf("vk", 4096); at >= 0; at = good.indexOf("vk", at + 2))
            vks.push_back(quint32(at - 4 - 4096));
        for (size_t i = 0; i + 1 < vks.size(); ++i) {
            QByteArray b = good;
            const int list = b.indexOf(Dword(vks[i]) + Dword(vks[i + 1]));
            if (list >= 0)
                return b.replace(list + 4, 4, Dword(vks[i]));
        }
        return QByteArray();
    };
    const std::vector<std::pair<QByteArray, QString>> cases{
        {withDword(100, 0x12345678), QStringLiteral("checksum")},
        {valueListedTwice(), QStringLiteral("a value is listed twice")},
        {good.left(good.size() - 4096), QStringLiteral("truncated")},
        {[&] {
             TRegfOptions v;
             v.Minor = 9;
             return WriteRegf(NtSystemHive(), v);
         }(),
         QStringLiteral("version 1.9")},
        {QByteArray(16384, 'x'), QStringLiteral("not a Windows NT registry hive")},
        {QByteArray(good).replace(4096, 4, "xbin"),
         QStringLiteral("the block at offset 0x1000 does not begin with \"hbin\"")},
        {withDword(4096 + 32, quint32(-0x7FFFFFF8)),
         QStringLiteral("the cell at offset 0x1020 says that it is 2147483640 bytes long, which "
                        "does not fit in its block at 0x1000")},
        {WriteRegf(noSelect), QStringLiteral("no Select\\Current")},
        {WriteRegf(wrongSet), QStringLiteral("ControlSet003")},
    };
    for (const auto& [bytes, reason] : cases) {
        NtFolder();
        Put(SystemHive(), bytes);
        Use(Mount() + QStringLiteral("/WINNT"));
        const QString error = StartError();
        EXPECT_TRUE(error.contains(SystemHive()) && error.contains(reason))
            << reason.toStdString() << ": " << error.toStdString();
        EXPECT_FALSE(error.contains(QStringLiteral("reports")));
        EXPECT_EQ(Bytes(SystemHive()), bytes);
    }
    // SYSTEM.DAT: the block that does not fit is named, and the library's
    // words come only in brackets.
    const QByteArray creg = WriteCreg(Win98Machine());
    const qint64 rgdb = creg.indexOf("RGDB");
    QByteArray badKeys = creg, badData = creg, badLength = creg;
    badKeys.replace(0x20, 4, "RGKX");
    badData.replace(rgdb, 4, "RGDX");
    badLength.replace(rgdb + 4, 4, Dword(0x7FFFFFF0));
    const std::vector<std::pair<QByteArray, QString>> win98{
        {badKeys, QStringLiteral("the block of keys at offset 0x20 does not begin with \"RGKN\"")},
        {badData, QStringLiteral("data block 0 at offset 0x%1 does not begin with \"RGDB\"")
                      .arg(QString::number(rgdb, 16).toUpper())},
        {badLength, QStringLiteral("says that it is 2147483632 bytes long, which does not fit")},
    };
    for (const auto& [bytes, reason] : win98) {
        Win98Folder();
        const QString systemDat = Mount() + QStringLiteral("/WINDOWS/system.dat");
        Put(systemDat, bytes);
        Use(Mount() + QStringLiteral("/WINDOWS"));
        const QString error = StartError();
        EXPECT_TRUE(error.contains(systemDat) && error.contains(reason))
            << reason.toStdString() << ": " << error.toStdString();
        EXPECT_FALSE(error.contains(QStringLiteral("reports")));
    }
}

TEST_F(TWindowsInstallationTest, Windows98ChangesGoToZephynRegAndSystemDatStaysAsItWas) {
    Use(Win98Folder());
    const QString systemDat = Mount() + QStringLiteral("/WINDOWS/system.dat");
    const QString import = Mount() + QStringLiteral("/WINDOWS/ZEPHYN.REG");
    const QByteArray before = Bytes(systemDat);
    EXPECT_EQ(DetectedPlatform(), Win95);
    Model.Platform = Win98;
    ASSERT_EQ(Model.ReadWin9xParameters(), 1);
    EXPECT_EQ(Model.Profiles[0].MTU, QStringLiteral("576"));
    EXPECT_EQ(Model.RWIN, QStringLiteral("2144"));
    EXPECT_EQ(Model.TTL, QStringLiteral("64"));
    EXPECT_EQ(Model.NdiCacheSize, QStringLiteral("32"));
    EXPECT_FALSE(QFile::exists(import)); // the reader's IPMTU waits for Save

    Model.Profiles[0].MTU = QStringLiteral("1500");
    Model.RWIN.clear();
    Model.TTL = QStringLiteral("128");
    Dialogs().Answer(mrOk);
    ASSERT_TRUE(Model.WriteParameters(0));
    ASSERT_EQ(Dialogs().Shown().size(), 1u);
    EXPECT_TRUE(Dialogs().Shown()[0].Text.contains(import));
    const QByteArray saved =
        "REGEDIT4\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000]\r\n"
        "\"IPMTU\"=\"0\"\r\n"
        "\"MaxMTU\"=\"1500\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\VxD\\MSTCP]\r\n"
        "\"DefaultRcvWindow\"=-\r\n"
        "\"DefaultTTL\"=\"128\"\r\n"
        "\"PMTUDiscovery\"=\"0\"\r\n\r\n"
        "[HKEY_LOCAL_"
        "MACHINE\\System\\CurrentControlSet\\Services\\VxD\\NWLink\\Ndi\\params\\cachesize]\r\n"
        "\"default\"=\"32\"\r\n\r\n";
    EXPECT_EQ(Bytes(import), saved);

    // Defaults removes what Save wrote; the file holds the whole run.
    QPushButton save, defaults;
    TSaveDefaults flows(Model, &save, &defaults);
    Dialogs().Clear();
    Dialogs().Answer(mrYes);
    Dialogs().Answer(mrOk);
    Dialogs().Answer(mrOk);
    defaults.click();
    QByteArray removed = saved;
    removed.replace("\"MaxMTU\"=\"1500\"", "\"MaxMTU\"=-");
    removed.replace("\"DefaultTTL\"=\"128\"", "\"DefaultTTL\"=-");
    removed.replace("\"PMTUDiscovery\"=\"0\"", "\"PMTUDiscovery\"=-");
    removed.replace("\"default\"=\"32\"", "\"default\"=\"0\"");
    EXPECT_EQ(Bytes(import), removed);
    EXPECT_EQ(Bytes(systemDat), before);
}

TEST_F(TWindowsInstallationTest, ARegFileIsSavedInPlaceInItsOwnEncodingAndMode) {
    UseSample(QStringLiteral("win98.reg"));
    const QString path = Mount() + QStringLiteral("/export.reg");
    QString text = QString::fromLatin1(Bytes(HivePath(THKey::HKEY_LOCAL_MACHINE)));
    text.replace(QStringLiteral("REGEDIT4"),
                 QStringLiteral("Windows Registry Editor Version 5.00"));
    Put(path, QByteArray("\xFF\xFE") +
                  QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
    ::chmod(QFile::encodeName(path).constData(), 0640);
    QFile::remove(HivePath(THKey::HKEY_LOCAL_MACHINE));
    Use(path);
    Model.Platform = Win98;
    ASSERT_EQ(Model.ReadWin9xParameters(), 1);
    Model.TTL = QStringLiteral("99");
    ASSERT_TRUE(Model.WriteParameters(0));
    const QByteArray saved = Bytes(path);
    EXPECT_TRUE(saved.startsWith("\xFF\xFE"));
    const QString savedText = QString::fromUtf16(
        reinterpret_cast<const char16_t*>(saved.constData() + 2), (saved.size() - 2) / 2);
    EXPECT_TRUE(savedText.contains(QStringLiteral("\"DefaultTTL\"=\"99\"")));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // The data directory's own hive is not made.
    EXPECT_FALSE(QFile::exists(HivePath(THKey::HKEY_LOCAL_MACHINE)));
}

TEST_F(TWindowsInstallationTest, TheWindowShowsAndSavesAMountedNtInstallation) {
    Use(NtFolder());
    WriteOneRecordHistory();
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    EXPECT_EQ(frm.windowTitle(), QStringLiteral("Zephyn for Windows [Freeware]"));
    EXPECT_EQ(FindWidget<QComboBox>(frm.tabshtSettings(), "cbActiveProfile")->currentText(),
              QStringLiteral("..\\Tcpip\\NdisWan4"));
    FindWidget<QRadioButton>(frm.tabshtSettings(), "radioRemoveMTU")->click();
    Dialogs().Answer(mrYes); // Are you sure?
    Dialogs().Answer(mrOk);  // saved
    Dialogs().Answer(mrNo);  // no history entry
    Dialogs().Answer(mrOk);  // reboot
    FindWidget<QPushButton>(&frm, "btnSave")->click();
    EXPECT_FALSE(Dump(SystemHive()).contains(Wan2 + QStringLiteral("MTU")));
    EXPECT_EQ(
        Dump(SystemHive())
            .value(QStringLiteral("\\CONTROLSET001\\SERVICES\\NDISWAN4\\PARAMETERS\\TCPIP\\:MTU")),
        "4:" + Dword(1006).toHex());
}

// What Zephyn may leave in a Windows installation's folders: the hive it
// saves, its copy, ZEPHYN.REG and its promised copy; never anything else,
// and never a wait on an entry that is no plain file.

TEST_F(TWindowsInstallationTest, AFifoAtAHiveNameIsRefusedAtOnceSayingWhatItIs) {
    const QString systemDat = Mount() + QStringLiteral("/WINDOWS/system.dat");
    const QString software = Mount() + QStringLiteral("/WINNT/system32/CONFIG/Software");
    for (const QString& fifo : {SystemHive(), software, systemDat}) {
        const QString folder = fifo == systemDat ? Win98Folder() : NtFolder();
        QFile::remove(fifo);
        ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        Use(folder);
        auto error = std::async(std::launch::async, [this] { return StartError(); });
        if (error.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            ADD_FAILURE() << "the start waits on the FIFO " << fifo.toStdString();
            ::close(::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK));
        }
        const QString text = error.get();
        EXPECT_TRUE(text.contains(fifo) &&
                    text.contains(QStringLiteral("it is a FIFO (named pipe), not a plain file")))
            << text.toStdString();
        QFile::remove(fifo);
    }
}

TEST_F(TWindowsInstallationTest, TwoCopiesSavingOneHiveTakeTurnsAndTheLaterIsRefused) {
    NtFolder();
    const QString config = QFileInfo(SystemHive()).absolutePath();
    const QString params = QStringLiteral("SYSTEM\\ControlSet002\\Services\\Tcpip\\Parameters");
    TNtRegistry b(config, SystemHive(), config + QStringLiteral("/Software"));
    b.Modify({params, QStringLiteral("DefaultTTL")}, [&](TRegistryHive& hive, THive::TUndo&) {
        TRegKey* key = hive.Find(params);
        TRegValue& v = key->Values[key->ValueIndex(QStringLiteral("DefaultTTL"))];
        v.Data = Dword(32);
        return true;
    });
    std::future<QString> saved;
    {
        // Copy A is saving: it holds the folder, and its new hive goes in place.
        TFolderLock a(config);
        ASSERT_TRUE(a.TryLock());
        saved = std::async(std::launch::async, [&b] {
            try {
                b.Commit();
            } catch (const ERegistryException& e) {
                return e.Message();
            }
            return QString();
        });
        EXPECT_EQ(saved.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
        TKey withA = NtSystemHive();
        withA.At(QStringLiteral("ControlSet002\\Services\\Tcpip\\Parameters"))
            .SetDword(QStringLiteral("DefaultTTL"), 64);
        TAtomicFile::Replace(SystemHive(), WriteRegf(withA), TFileAccess::Shared);
    }
    const QString error = saved.get();
    EXPECT_TRUE(error.contains(SystemHive()) &&
                error.contains(QStringLiteral("changed on disk since Zephyn read it")))
        << error.toStdString();
    EXPECT_EQ(Dump(SystemHive()).value(Tcpip2 + QStringLiteral("DEFAULTTTL")),
              "4:" + Dword(64).toHex());
    EXPECT_FALSE(Listing(config).contains(QStringLiteral("system.bak")));
}

TEST_F(TWindowsInstallationTest, AKilledSavesLeftoversGoAtTheNextOpenAndNothingElseDoes) {
    NtFolder();
    const QString config = QFileInfo(SystemHive()).absolutePath();
    const QStringList ours{QStringLiteral(".system.AbC123"), QStringLiteral(".system.bak.Xy9Z01"),
                           QStringLiteral(".Software.QQ7QQQ")};
    for (const QString& name : ours + QStringList{QStringLiteral(".system.toolong1"),
                                                 QStringLiteral(".other.ABCDEF"),
                                                 QStringLiteral("system.AbC123")})
        Put(config + u'/' + name, QByteArray(4096, 'x'));
    const TListing before = Listing(config);
    {
        // Another copy is saving there: nothing of its goes.
        TFolderLock other(config);
        ASSERT_TRUE(other.TryLock());
        Use(Mount() + QStringLiteral("/WINNT"));
        ASSERT_EQ(StartError(), QString());
        EXPECT_EQ(Listing(config), before);
    }
    Use(Mount() + QStringLiteral("/WINNT"));
    ASSERT_EQ(StartError(), QString());
    QStringList removed = ours;
    removed.sort();
    EXPECT_EQ(Changed(before, Listing(config)), removed);
}

TEST_F(TWindowsInstallationTest, OnlyAPlainFileCountsAsTheKeptCopyOfTheHive) {
    for (const QString& target : {Mount() + QStringLiteral("/nowhere/SYSTEM"), SystemHive()}) {
        NtFolder();
        const QString config = QFileInfo(SystemHive()).absolutePath();
        QFile::remove(config + QStringLiteral("/system.bak1"));
        QFile::remove(config + QStringLiteral("/system.bak"));
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                            QFile::encodeName(config + QStringLiteral("/system.bak")).constData()),
                  0);
        const QByteArray old = Bytes(SystemHive());
        const TListing before = Listing(config);
        Use(Mount() + QStringLiteral("/WINNT"));
        TParameterSet model;
        model.Platform = WinNT;
        ASSERT_EQ(model.ReadNTParameters(), 1);
        model.TTL = QStringLiteral("64");
        Dialogs().Clear();
        Dialogs().Answer(mrOk); // where the copy went
        ASSERT_TRUE(model.WriteParameters(0));
        EXPECT_EQ(Bytes(config + QStringLiteral("/system.bak1")), old);
        EXPECT_EQ(Changed(before, Listing(config)),
                  (QStringList{QStringLiteral("system"), QStringLiteral("system.bak1")}));
        ASSERT_EQ(Dialogs().Shown().size(), 1u);
        EXPECT_TRUE(Dialogs().Shown()[0].Text.contains(config + QStringLiteral("/system.bak1")))
            << Dialogs().Shown()[0].Text.toStdString();
    }
}

TEST_F(TWindowsInstallationTest, AZephynRegOfTheUsersIsKeptAndFoundWhateverItsCase) {
    const QString folder = Win98Folder();
    const QString own = folder + QStringLiteral("/zephyn.reg");
    const QByteArray mine = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Mine]\r\n"
                            "\"Keep\"=\"me\"\r\n\r\n";
    Put(own, mine);
    auto save = [this, &folder](const char* ttl) {
        Use(folder); // a new start each time
        TParameterSet model;
        model.Platform = Win98;
        ASSERT_EQ(model.ReadWin9xParameters(), 1);
        model.TTL = QString::fromLatin1(ttl);
        Dialogs().Clear();
        Dialogs().Answer(mrOk);
        ASSERT_TRUE(model.WriteParameters(0));
        ASSERT_EQ(Dialogs().Shown().size(), 1u);
    };
    const TListing before = Listing(folder);
    save("99");
    const TListing first = Listing(folder);
    EXPECT_EQ(Changed(before, first),
              (QStringList{QStringLiteral("zephyn.reg"), QStringLiteral("zephyn.reg.bak")}));
    EXPECT_EQ(Bytes(own + QStringLiteral(".bak")), mine);
    EXPECT_TRUE(Bytes(own).contains("\"DefaultTTL\"=\"99\""));
    EXPECT_TRUE(Dialogs().Shown()[0].Text.contains(own + QStringLiteral(".bak")))
        << Dialogs().Shown()[0].Text.toStdString();
    // The file Zephyn wrote is its own to replace: no second copy.
    save("98");
    EXPECT_EQ(Changed(first, Listing(folder)), QStringList{QStringLiteral("zephyn.reg")});
    EXPECT_FALSE(Dialogs().Shown()[0].Text.contains(QStringLiteral(".bak")));
}

TEST_F(TWindowsInstallationTest, ReadOnlyFilesAreRefusedNamingThemAndARegFileGetsNothingBeside) {
    NtFolder();
    const QString config = QFileInfo(SystemHive()).absolutePath();
    ::chmod(QFile::encodeName(SystemHive()).constData(), 0444);
    TListing before = Listing(config);
    Use(Mount() + QStringLiteral("/WINNT"));
    const QString refused = RefusedNtSave();
    EXPECT_TRUE(refused.contains(SystemHive()) && refused.contains(QStringLiteral("read-only")))
        << refused.toStdString();
    EXPECT_EQ(Listing(config), before);

    // A .reg file: saved, and refused once read-only; nothing else appears.
    UseSample(QStringLiteral("win98.reg"));
    const QString reg = Mount() + QStringLiteral("/machine.reg");
    Put(reg, Bytes(HivePath(THKey::HKEY_LOCAL_MACHINE)));
    before = Listing(Mount());
    Use(reg);
    Model.Platform = Win98;
    ASSERT_EQ(Model.ReadWin9xParameters(), 1);
    Model.TTL = QStringLiteral("99");
    ASSERT_TRUE(Model.WriteParameters(0));
    const TListing saved = Listing(Mount());
    EXPECT_EQ(Changed(before, saved), QStringList{QStringLiteral("machine.reg")});
    ::chmod(QFile::encodeName(reg).constData(), 0444);
    Model.TTL = QStringLiteral("98");
    Dialogs().Clear();
    Dialogs().Answer(mrOk);
    EXPECT_FALSE(Model.WriteParameters(0));
    EXPECT_EQ(Listing(Mount()), saved);
}

TEST_F(TWindowsInstallationTest, AnOwnerThatCannotBeKeptIsToldBeforeAnythingIsWritten) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving the hive to another owner needs root";
    NtFolder();
    const QString config = QFileInfo(SystemHive()).absolutePath();
    ASSERT_EQ(::chown(QFile::encodeName(SystemHive()).constData(), 4321, 4321), 0);
    TWithoutChown runner;
    ASSERT_TRUE(runner.Dropped);
    Use(Mount() + QStringLiteral("/WINNT"));
    Model.Platform = WinNT;
    ASSERT_EQ(Model.ReadNTParameters(), 1);
    const TListing before = Listing(config);
    Dialogs().Answer(mrCancel);
    EXPECT_FALSE(Model.MachineRegistryWritable());
    ASSERT_EQ(Dialogs().Shown().size(), 1u);
    const auto& box = Dialogs().Shown()[0];
    EXPECT_EQ(box.Buttons, TMsgDlgButtons::mbOKCancel);
    EXPECT_TRUE(box.Text.contains(SystemHive()) && box.Text.contains(QStringLiteral("uid 4321")) &&
                box.Text.contains(QStringLiteral("uid 0")))
        << box.Text.toStdString();
    EXPECT_EQ(Listing(config), before);
}

TEST_F(TWindowsInstallationTest, AnInstallationKeepsItsOwnAddressesAndSaysWhenItIsReadOnly) {
    // The addresses are this computer's, not that Windows' own.
    LocalAddresses = {QStringLiteral("127.20.30.40")};
    Use(Win98Folder());
    WriteOneRecordHistory();
    {
        TdataMain data;
        TfrmMain frm(data);
        frm.show();
        EXPECT_EQ(data.Parameters.Profiles[0].IPAddress, QStringLiteral("0.0.0.0"));
        // PPP's preset unticks path-MTU discovery, and Save writes it off:
        // Windows takes a missing value as on.
        auto* discover = FindWidget<QCheckBox>(frm.tabshtSettings(), "cbAutoDiscover");
        EXPECT_TRUE(discover->toolTip().contains(QStringLiteral("Windows then uses its default (on)")));
        FindWidget<QPushButton>(&frm, "btnPPP")->click();
        EXPECT_FALSE(discover->isChecked());
        for (int answer : {mrYes, mrOk, mrOk, mrNo, mrOk})
            Dialogs().Answer(answer);
        FindWidget<QPushButton>(&frm, "btnSave")->click();
        EXPECT_TRUE(Bytes(Mount() + QStringLiteral("/WINDOWS/ZEPHYN.REG"))
                        .contains("\"PMTUDiscovery\"=\"0\"\r\n"));
        Dialogs().Clear();
    }
    // A hive Save will not write says so first, whole, on the Settings page.
    TRegfOptions dirty;
    dirty.Sequence2 = dirty.Sequence1 + 1;
    Use(NtFolder(dirty));
    TdataMain data;
    TfrmMain frm(data);
    frm.show();
    auto* line = FindWidget<QLabel>(frm.tabshtSettings(), "lblRegistrySource");
    EXPECT_TRUE(line->accessibleDescription().startsWith(
        QStringLiteral("Read-only: The registry file \"%1\" was not shut down cleanly")
            .arg(SystemHive())))
        << line->accessibleDescription().toStdString();
    EXPECT_TRUE(line->wordWrap());
    EXPECT_EQ(line->text().remove(QChar(0x200B)), line->accessibleDescription());
    EXPECT_GE(line->height(), line->heightForWidth(line->width()));
}
