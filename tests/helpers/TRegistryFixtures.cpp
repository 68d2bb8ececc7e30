#include "TRegistryFixtures.h"

#include <QStringList>
#include <algorithm>
#include <cstring>

namespace TRegistryFixtures {

namespace {

void Put16(QByteArray& b, qsizetype at, quint32 v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}
void Put32(QByteArray& b, qsizetype at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}
quint32 Get32(const QByteArray& b, qsizetype at) {
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(quint8(b[at + i])) << (8 * i);
    return v;
}
QByteArray Latin1(const QString& s) {
    return s.toLatin1();
}
qsizetype Round8(qsizetype n) {
    return (n + 7) & ~qsizetype(7);
}

// ---------------------------------------------------------------- regf

constexpr quint32 None = 0xFFFFFFFF;
constexpr quint64 FileTime = 0x01BE3A2C4D5E6F70ULL; // a day in 1998

class TRegfBuilder {
public:
    explicit TRegfBuilder(quint32 minor) : FMinor(minor) {}

    // A cell of payload bytes; its offset, relative to the first bin.
    quint32 Alloc(qsizetype payload) {
        const qsizetype size = Round8(payload + 4);
        if (FBinUsed + size > FBinSize) {
            CloseBin();
            FBinSize = std::max<qsizetype>(4096, (size + 32 + 4095) / 4096 * 4096);
            FBinStart = FBins.size();
            FBins.append(QByteArray(FBinSize, '\0'));
            std::memcpy(FBins.data() + FBinStart, "hbin", 4);
            Put32(FBins, FBinStart + 4, quint32(FBinStart));
            Put32(FBins, FBinStart + 8, quint32(FBinSize));
            Put32(FBins, FBinStart + 20, quint32(FileTime & 0xFFFFFFFF));
            Put32(FBins, FBinStart + 24, quint32(FileTime >> 32));
            FBinUsed = 32;
        }
        const quint32 at = quint32(FBinStart + FBinUsed);
        Put32(FBins, at, quint32(-qint32(size)));
        FBinUsed += size;
        return at;
    }
    QByteArray& Bins() { return FBins; }

    void CloseBin() {
        if (FBinSize > FBinUsed && !FBins.isEmpty())
            Put32(FBins, FBinStart + FBinUsed, quint32(FBinSize - FBinUsed)); // one free cell
    }

    quint32 WriteKey(const TKey& key, quint32 parent, quint32 sk, bool root) {
        const QByteArray name = Latin1(key.Name);
        const quint32 nk = Alloc(76 + name.size());
        char* p = nullptr;
        auto at = [&](qsizetype o) { return nk + 4 + o; };
        std::memcpy(FBins.data() + at(0), "nk", 2);
        Put16(FBins, at(2), root ? 0x2C : 0x20);
        Put32(FBins, at(4), quint32(FileTime & 0xFFFFFFFF));
        Put32(FBins, at(8), quint32(FileTime >> 32));
        Put32(FBins, at(16), parent);
        Put32(FBins, at(32), None);
        Put32(FBins, at(44), sk);
        Put32(FBins, at(48), None);
        Put16(FBins, at(72), quint32(name.size()));
        std::memcpy(FBins.data() + at(76), name.constData(), size_t(name.size()));
        (void)p;

        // Values.
        quint32 maxValueName = 0, maxValueData = 0;
        Put32(FBins, at(36), quint32(key.Values.size()));
        if (key.Values.empty()) {
            Put32(FBins, at(40), None);
        } else {
            const quint32 list = Alloc(4 * qsizetype(key.Values.size()));
            Put32(FBins, at(40), list);
            for (size_t i = 0; i < key.Values.size(); ++i) {
                const TValue& v = key.Values[i];
                const QByteArray vname = Latin1(v.Name);
                const quint32 vk = Alloc(20 + vname.size());
                Put32(FBins, list + 4 + 4 * qsizetype(i), vk);
                std::memcpy(FBins.data() + vk + 4, "vk", 2);
                Put16(FBins, vk + 6, quint32(vname.size()));
                if (v.Data.size() <= 4) {
                    Put32(FBins, vk + 8, 0x80000000u | quint32(v.Data.size()));
                    std::memcpy(FBins.data() + vk + 12, v.Data.constData(), size_t(v.Data.size()));
                } else {
                    const quint32 data = Alloc(v.Data.size());
                    std::memcpy(FBins.data() + data + 4, v.Data.constData(), size_t(v.Data.size()));
                    Put32(FBins, vk + 8, quint32(v.Data.size()));
                    Put32(FBins, vk + 12, data);
                }
                Put32(FBins, vk + 16, v.Type);
                Put16(FBins, vk + 20, vname.isEmpty() ? 0 : 1);
                std::memcpy(FBins.data() + vk + 24, vname.constData(), size_t(vname.size()));
                maxValueName = std::max(maxValueName, quint32(v.Name.size() * 2));
                maxValueData = std::max(maxValueData, quint32(v.Data.size()));
            }
        }
        Put32(FBins, at(60), maxValueName);
        Put32(FBins, at(64), maxValueData);

        // Subkeys, in the order Windows keeps them: by upper-cased name.
        std::vector<const TKey*> subs;
        for (const TKey& s : key.SubKeys)
            subs.push_back(&s);
        std::sort(subs.begin(), subs.end(), [](const TKey* a, const TKey* b) {
            return a->Name.toUpper() < b->Name.toUpper();
        });
        Put32(FBins, at(20), quint32(subs.size()));
        quint32 maxSubName = 0;
        if (subs.empty()) {
            Put32(FBins, at(28), None);
        } else {
            std::vector<quint32> offsets;
            for (const TKey* s : subs) {
                offsets.push_back(WriteKey(*s, nk, sk, false));
                maxSubName = std::max(maxSubName, quint32(s->Name.size() * 2));
            }
            const quint32 list = Alloc(4 + 8 * qsizetype(subs.size()));
            std::memcpy(FBins.data() + list + 4, FMinor >= 5 ? "lh" : "lf", 2);
            Put16(FBins, list + 6, quint32(subs.size()));
            for (size_t i = 0; i < subs.size(); ++i) {
                const qsizetype e = list + 8 + 8 * qsizetype(i);
                Put32(FBins, e, offsets[i]);
                const QString upper = subs[i]->Name.toUpper();
                if (FMinor >= 5) {
                    quint32 hash = 0;
                    for (QChar c : upper)
                        hash = hash * 37 + c.unicode();
                    Put32(FBins, e + 4, hash);
                } else {
                    const QByteArray hint = Latin1(subs[i]->Name).left(4).leftJustified(4, '\0');
                    std::memcpy(FBins.data() + e + 4, hint.constData(), 4);
                }
            }
            Put32(FBins, at(28), list);
        }
        Put32(FBins, at(52), maxSubName);
        return nk;
    }

    // One security descriptor shared by every key: owner Administrators,
    // group SYSTEM, a DACL granting Everyone full access.
    quint32 WriteSecurity(int references) {
        QByteArray sd(76, '\0');
        sd[0] = 1;
        Put16(sd, 2, 0x8004);
        Put32(sd, 4, 20);  // owner
        Put32(sd, 8, 36);  // group
        Put32(sd, 16, 48); // dacl
        const char admins[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};
        std::memcpy(sd.data() + 20, admins, 16);
        const char system[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
        std::memcpy(sd.data() + 36, system, 12);
        sd[48] = 2;
        Put16(sd, 50, 28);
        Put16(sd, 52, 1);
        sd[56] = 0; // ACCESS_ALLOWED_ACE
        Put16(sd, 58, 20);
        Put32(sd, 60, 0xF003F);
        const char everyone[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
        std::memcpy(sd.data() + 64, everyone, 12);
        const quint32 sk = Alloc(20 + sd.size());
        std::memcpy(FBins.data() + sk + 4, "sk", 2);
        Put32(FBins, sk + 8, sk);
        Put32(FBins, sk + 12, sk);
        Put32(FBins, sk + 16, quint32(references));
        Put32(FBins, sk + 20, quint32(sd.size()));
        std::memcpy(FBins.data() + sk + 24, sd.constData(), size_t(sd.size()));
        return sk;
    }

private:
    quint32 FMinor;
    QByteArray FBins;
    qsizetype FBinStart = 0;
    qsizetype FBinSize = 0;
    qsizetype FBinUsed = 0;
};

// ---------------------------------------------------------------- CREG

struct TCregEntry {
    const TKey* Key;
    quint32 Offset; // in RGKN
    quint32 Parent = None;
    quint32 FirstChild = None;
    quint32 NextSibling = None;
    quint16 Id = 0xFFFF;
    quint16 Block = 0xFFFF;
};

quint32 CregHash(const QByteArray& name) {
    quint32 sum = 0;
    for (char c : name.toUpper())
        if (quint8(c) < 0x80)
            sum += quint8(c);
    return sum;
}

} // namespace

QByteArray Utf16Sz(const QString& text) {
    QByteArray b;
    for (QChar c : text + QChar(0)) {
        b.append(char(c.unicode() & 0xFF));
        b.append(char(c.unicode() >> 8));
    }
    return b;
}

QByteArray Dword(quint32 value) {
    QByteArray b(4, '\0');
    Put32(b, 0, value);
    return b;
}

TKey& TKey::At(const QString& path) {
    TKey* k = this;
    for (const QString& part : path.split(u'\\', Qt::SkipEmptyParts)) {
        auto it = std::find_if(k->SubKeys.begin(), k->SubKeys.end(), [&](const TKey& s) {
            return s.Name.compare(part, Qt::CaseInsensitive) == 0;
        });
        if (it == k->SubKeys.end()) {
            k->SubKeys.push_back(TKey{part, {}, {}});
            k = &k->SubKeys.back();
        } else {
            k = &*it;
        }
    }
    return *k;
}

TKey& TKey::Set(const QString& name, quint32 type, const QByteArray& data) {
    Values.push_back(TValue{name, type, data});
    return *this;
}
TKey& TKey::SetSz(const QString& name, const QString& text) {
    return Set(name, 1, Utf16Sz(text));
}
TKey& TKey::SetAnsi(const QString& name, const QString& text) {
    return Set(name, 1, text.toLatin1());
}
TKey& TKey::SetDword(const QString& name, quint32 value) {
    return Set(name, 4, Dword(value));
}
int TKey::KeyCount() const {
    int n = 1;
    for (const TKey& s : SubKeys)
        n += s.KeyCount();
    return n;
}

QByteArray WriteRegf(const TKey& root, const TRegfOptions& options) {
    TRegfBuilder builder(options.Minor);
    const quint32 sk = builder.WriteSecurity(root.KeyCount());
    const quint32 rootCell = builder.WriteKey(root, 0, sk, true);
    builder.CloseBin();
    const QByteArray& bins = builder.Bins();

    QByteArray base(4096, '\0');
    std::memcpy(base.data(), "regf", 4);
    Put32(base, 4, options.Sequence1);
    Put32(base, 8, options.Sequence2);
    Put32(base, 12, quint32(FileTime & 0xFFFFFFFF));
    Put32(base, 16, quint32(FileTime >> 32));
    Put32(base, 20, 1);
    Put32(base, 24, options.Minor);
    Put32(base, 28, 0);
    Put32(base, 32, 1);
    Put32(base, 36, rootCell);
    Put32(base, 40, quint32(bins.size()));
    Put32(base, 44, 1);
    const QByteArray name = Utf16Sz(options.FileName).left(64);
    std::memcpy(base.data() + 48, name.constData(), size_t(name.size()));
    quint32 sum = 0;
    for (int i = 0; i < 127; ++i)
        sum ^= Get32(base, 4 * i);
    if (sum == 0xFFFFFFFF)
        sum = 0xFFFFFFFE;
    else if (sum == 0)
        sum = 1;
    Put32(base, 508, sum);
    return base + bins;
}

QByteArray WriteCreg(const TKey& root) {
    // The key table: the root first, then every key depth first.
    std::vector<TCregEntry> entries;
    quint32 next = 0x20;
    auto place = [&next]() {
        // An entry never crosses a 4 KiB page of the table.
        if (next / 4096 != (next + 27) / 4096)
            next = (next + 27) / 4096 * 4096;
        const quint32 at = next;
        next += 28;
        return at;
    };
    entries.push_back(TCregEntry{&root, place()});
    // Breadth by parent: walk with an explicit list of (entry index).
    std::vector<size_t> stack{0};
    while (!stack.empty()) {
        const size_t parent = stack.back();
        stack.pop_back();
        const TKey* key = entries[parent].Key;
        size_t previous = SIZE_MAX;
        std::vector<size_t> children;
        for (const TKey& sub : key->SubKeys) {
            entries.push_back(TCregEntry{&sub, place(), entries[parent].Offset});
            const size_t index = entries.size() - 1;
            if (previous == SIZE_MAX)
                entries[parent].FirstChild = entries[index].Offset;
            else
                entries[previous].NextSibling = entries[index].Offset;
            previous = index;
            children.push_back(index);
        }
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            stack.push_back(*it);
    }

    // The data blocks: one name entry per key but the root, in blocks of
    // at most 64 KiB.
    std::vector<QByteArray> blocks;
    QByteArray current;
    quint16 id = 0;
    auto closeBlock = [&]() {
        if (current.isEmpty())
            return;
        qsizetype size = (current.size() + 32 + 20 + 4095) / 4096 * 4096;
        QByteArray block(size, '\0');
        std::memcpy(block.data(), "RGDB", 4);
        Put32(block, 4, quint32(size));
        const qsizetype used = 32 + current.size();
        Put32(block, 8, quint32(size - used));
        Put16(block, 14, quint32(blocks.size()));
        Put32(block, 16, quint32(used));
        Put16(block, 20, quint32(id ? id - 1 : 0));
        Put16(block, 22, id);
        std::memcpy(block.data() + 32, current.constData(), size_t(current.size()));
        // The free rest is one entry of its own.
        Put32(block, used, quint32(size - used));
        Put16(block, used + 4, 0xFFFF);
        Put16(block, used + 6, quint32(blocks.size()));
        Put32(block, used + 8, 0xFFFFFFFF);
        blocks.push_back(block);
        current.clear();
        id = 0;
    };
    for (size_t i = 1; i < entries.size(); ++i) {
        const TKey& key = *entries[i].Key;
        QByteArray entry(20, '\0');
        const QByteArray name = Latin1(key.Name);
        Put16(entry, 12, quint32(name.size()));
        Put16(entry, 14, quint32(key.Values.size()));
        entry += name;
        for (const TValue& v : key.Values) {
            QByteArray value(12, '\0');
            const QByteArray vname = Latin1(v.Name);
            Put32(value, 0, v.Type);
            Put16(value, 8, quint32(vname.size()));
            Put16(value, 10, quint32(v.Data.size()));
            entry += value + vname + v.Data;
        }
        if (!current.isEmpty() && 32 + current.size() + entry.size() + 20 > 65536)
            closeBlock();
        Put32(entry, 0, quint32(entry.size()));
        Put16(entry, 4, id);
        Put16(entry, 6, quint32(blocks.size()));
        Put32(entry, 8, quint32(entry.size()));
        entries[i].Id = id++;
        entries[i].Block = quint16(blocks.size());
        current += entry;
    }
    closeBlock();

    const quint32 rgknSize = std::max<quint32>(8192, (next + 4095) / 4096 * 4096);
    QByteArray rgkn(rgknSize, '\0');
    std::memcpy(rgkn.data(), "RGKN", 4);
    Put32(rgkn, 4, rgknSize);
    Put32(rgkn, 8, 0x20);
    Put32(rgkn, 12, None);
    for (const TCregEntry& e : entries) {
        Put32(rgkn, e.Offset, 0);
        Put32(rgkn, e.Offset + 4, e.Key == &root ? 0 : CregHash(Latin1(e.Key->Name)));
        Put32(rgkn, e.Offset + 8, None);
        Put32(rgkn, e.Offset + 12, e.Parent);
        Put32(rgkn, e.Offset + 16, e.FirstChild);
        Put32(rgkn, e.Offset + 20, e.NextSibling);
        Put16(rgkn, e.Offset + 24, e.Id);
        Put16(rgkn, e.Offset + 26, e.Block);
    }

    QByteArray header(32, '\0');
    std::memcpy(header.data(), "CREG", 4);
    Put16(header, 4, 0);
    Put16(header, 6, 1);
    Put32(header, 8, 0x20 + rgknSize);
    Put16(header, 16, quint32(blocks.size()));
    Put32(header, 20, 0x10000);
    QByteArray file = header + rgkn;
    for (const QByteArray& b : blocks)
        file += b;
    return file;
}

TKey NtSystemHive() {
    TKey root{QStringLiteral("SYSTEM"), {}, {}};
    root.At(QStringLiteral("Select"))
        .SetDword(QStringLiteral("Current"), 2)
        .SetDword(QStringLiteral("Default"), 2)
        .SetDword(QStringLiteral("Failed"), 0)
        .SetDword(QStringLiteral("LastKnownGood"), 1);
    for (int set = 1; set <= 2; ++set) {
        const QString services =
            QStringLiteral("ControlSet%1\\Services\\").arg(set, 3, 10, QChar(u'0'));
        root.At(QStringLiteral("ControlSet%1\\Control\\ComputerName\\ComputerName")
                    .arg(set, 3, 10, QChar(u'0')))
            .SetSz(QStringLiteral("ComputerName"), QStringLiteral("DIALUP"));
        root.At(services + QStringLiteral("E100B1\\Parameters\\Tcpip"))
            .SetSz(QStringLiteral("IPAddress"), QStringLiteral("127.0.0.8"))
            .SetDword(QStringLiteral("EnableDHCP"), 0);
        for (int n = 2; n <= 4; ++n) {
            TKey& tcpip = root.At(services + QStringLiteral("NdisWan%1\\Parameters\\Tcpip").arg(n));
            tcpip
                .Set(QStringLiteral("IPAddress"), 7,
                     Utf16Sz(QStringLiteral("0.0.0.0")) + QByteArray(2, '\0'))
                .SetSz(QStringLiteral("DhcpIPAddress"), QStringLiteral("127.0.0.%1").arg(n))
                .SetDword(QStringLiteral("EnableDHCP"), 1);
            if (n == 4)
                tcpip.SetDword(QStringLiteral("MTU"), set == 2 ? 1500 : 1006);
        }
        root.At(services + QStringLiteral("Tcpip"))
            .SetSz(QStringLiteral("DisplayName"), QStringLiteral("TCP/IP Service"))
            .Set(QStringLiteral("ImagePath"), 2,
                 Utf16Sz(QStringLiteral("System32\\drivers\\tcpip.sys")))
            .SetDword(QStringLiteral("Start"), 1);
        TKey& params = root.At(services + QStringLiteral("Tcpip\\Parameters"));
        params.SetSz(QStringLiteral("Hostname"), QStringLiteral("dialup"))
            .Set(QStringLiteral("SearchList"), 1, Utf16Sz(QString()))
            .Set(QStringLiteral("DatabasePath"), 2,
                 Utf16Sz(QStringLiteral("%SystemRoot%\\System32\\drivers\\etc")))
            .Set(QStringLiteral("Bindings"), 3, QByteArray::fromHex("0102030405060708090a"))
            .SetDword(QStringLiteral("DefaultTTL"), set == 2 ? 128 : 32)
            .SetDword(QStringLiteral("TcpWindowSize"), set == 2 ? 8760 : 4096);
        if (set == 2)
            params.SetDword(QStringLiteral("EnablePMTUDiscovery"), 1);
    }
    root.At(QStringLiteral("Setup"))
        .SetSz(QStringLiteral("SystemPartition"),
               QStringLiteral("\\Device\\Harddisk0\\Partition1"));
    return root;
}

TKey NtSoftwareHive() {
    TKey root{QStringLiteral("SOFTWARE"), {}, {}};
    root.At(QStringLiteral("Microsoft\\Windows NT\\CurrentVersion"))
        .SetSz(QStringLiteral("CurrentVersion"), QStringLiteral("4.0"))
        .SetSz(QStringLiteral("CurrentBuildNumber"), QStringLiteral("1381"))
        .SetSz(QStringLiteral("CSDVersion"), QStringLiteral("Service Pack 6"));
    const char* types[] = {"e100bSys ndisDriver e100bDriver", "ndiswan ndiswandialin",
                           "ndiswan ndiswandialoutnbf", "ndiswan ndiswandialoutip"};
    for (int n = 1; n <= 4; ++n) {
        const QString card =
            QStringLiteral("Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\%1").arg(n);
        root.At(card).SetSz(QStringLiteral("ServiceName"),
                            n == 1 ? QStringLiteral("E100B1") : QStringLiteral("NdisWan%1").arg(n));
        root.At(card + QStringLiteral("\\NetRules"))
            .SetSz(QStringLiteral("type"), QString::fromLatin1(types[n - 1]));
    }
    return root;
}

TKey Win98Machine() {
    TKey root{QString(), {}, {}};
    root.At(QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion"))
        .SetAnsi(QStringLiteral("Version"), QStringLiteral("Windows 98"))
        .SetAnsi(QStringLiteral("VersionNumber"), QStringLiteral("4.10.1998"))
        .SetAnsi(QStringLiteral("RegisteredOwner"), QStringLiteral("Ren\u00e9e M\u00fcller"));
    const QString netTrans =
        QStringLiteral("System\\CurrentControlSet\\Services\\Class\\NetTrans\\");
    root.At(netTrans + QStringLiteral("0000"))
        .SetAnsi(QStringLiteral("DriverDesc"), QStringLiteral("TCP/IP"))
        .SetAnsi(QStringLiteral("IPAddress"), QStringLiteral("0.0.0.0"))
        .SetAnsi(QStringLiteral("IPMask"), QStringLiteral("0.0.0.0"))
        .SetAnsi(QStringLiteral("MaxMTU"), QStringLiteral("576"))
        .SetAnsi(QStringLiteral("DeviceVxDs"),
                 QStringLiteral("vtcp.386,vip.386,vdhcp.386,vnbt.386"));
    root.At(netTrans + QStringLiteral("0001"))
        .SetAnsi(QStringLiteral("DriverDesc"), QStringLiteral("NetBEUI"));
    root.At(QStringLiteral("System\\CurrentControlSet\\Services\\VxD\\MSTCP"))
        .Set(QStringLiteral("Start"), 3, QByteArray(1, '\0'))
        .SetDword(QStringLiteral("Type"), 1)
        .SetAnsi(QStringLiteral("DefaultRcvWindow"), QStringLiteral("2144"))
        .SetAnsi(QStringLiteral("DefaultTTL"), QStringLiteral("64"))
        .SetAnsi(QStringLiteral("PMTUDiscovery"), QStringLiteral("0"))
        .SetAnsi(QStringLiteral("HostName"), QStringLiteral("dialup"));
    root.At(QStringLiteral(
                "System\\CurrentControlSet\\Services\\VxD\\NWLink\\Ndi\\params\\cachesize"))
        .SetAnsi(QStringLiteral("ParamDesc"), QStringLiteral("Cache size"))
        .SetAnsi(QStringLiteral("default"), QStringLiteral("32"));
    return root;
}

TKey BulkTree(int keyCount, bool ansiStrings) {
    TKey root{QStringLiteral("ROOT"), {}, {}};
    // Levels of up to 48 children, as wide as a Services or Enum key.
    int made = 1;
    std::vector<TKey*> level{&root};
    while (made < keyCount) {
        for (TKey* parent : level)
            for (int c = 0; c < 48 && made < keyCount; ++c, ++made)
                parent->SubKeys.push_back(TKey{QStringLiteral("Key%1").arg(made), {}, {}});
        std::vector<TKey*> next;
        for (TKey* parent : level)
            for (TKey& s : parent->SubKeys)
                next.push_back(&s);
        level = next;
    }
    // Every key has a DWORD; strings, binaries and the rarer types are spread
    // over them as in a real SYSTEM hive.
    std::vector<TKey*> all{&root};
    for (size_t i = 0; i < all.size(); ++i) {
        TKey& k = *all[i];
        const int n = int(i);
        k.SetDword(QStringLiteral("Start"), quint32(n));
        const QString text = QStringLiteral("Text %1").arg(n);
        if (n % 3 == 0) {
            if (ansiStrings)
                k.SetAnsi(QStringLiteral("Name"), text);
            else
                k.SetSz(QStringLiteral("Name"), text);
        }
        if (n % 8 == 1)
            k.Set(QStringLiteral("Blob"), 3, QByteArray(8 + n % 24, char(n)));
        if (!ansiStrings) {
            if (n % 16 == 2)
                k.Set(QStringLiteral("Path"), 2,
                      Utf16Sz(QStringLiteral("%SystemRoot%\\x%1").arg(n)));
            if (n % 32 == 3)
                k.Set(QStringLiteral("List"), 7,
                      Utf16Sz(QStringLiteral("a")) + Utf16Sz(QStringLiteral("b")) +
                          QByteArray(2, '\0'));
            if (n % 64 == 4)
                k.Set(QStringLiteral("Big"), 11, QByteArray(8, char(n)));
            if (n % 128 == 5)
                k.Set(QStringLiteral("Nothing"), 0, QByteArray());
        }
        for (TKey& s : k.SubKeys)
            all.push_back(&s);
    }
    return root;
}

} // namespace TRegistryFixtures
