// An NT hive of any bytes goes through the whole cycle the program runs on
// it: open and read, change a value and add a key, commit, and open again.
// Nothing may crash or hang, and a hive the program wrote must read back
// with the change in it and every other key and value as it was.
#include "platform/TChangeSet.h"
#include "platform/TExceptions.h"
#include "platform/TRegfHive.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "regf cycle: %s\n", what);
    std::abort();
}

bool SameTree(const TRegKey& a, const TRegKey& b) {
    if (a.Name != b.Name || a.Values != b.Values || a.SubKeys.size() != b.SubKeys.size())
        return false;
    for (const auto& sub : a.SubKeys) {
        const TRegKey* other = b.FindSubKey(sub->Name);
        if (!other || !SameTree(*sub, *other))
            return false;
    }
    return true;
}

QString Folder() {
    static const QString folder = [] {
        const QByteArray tmp = qgetenv("TMPDIR").isEmpty() ? QByteArray("/tmp") : qgetenv("TMPDIR");
        const QString path = QString::fromLocal8Bit(tmp) +
                             QStringLiteral("/fuzz-regf-%1").arg(::getpid());
        QDir().mkpath(path);
        return path;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = Folder() + QStringLiteral("/SYSTEM");
    QDir(Folder()).removeRecursively();
    QDir().mkpath(Folder());
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            Fail("cannot write the input");
        file.write(reinterpret_cast<const char*>(data), qsizetype(size));
    }

    TRegfHive hive(path);
    TRegistryHive tree(QStringLiteral("SYSTEM"));
    try {
        hive.Load(*tree.Root);
    } catch (const ERegistryException&) {
        return 0; // refused, as the program refuses it at start
    }
    const TRegistryHive original = [&] {
        TRegistryHive copy(QStringLiteral("SYSTEM"));
        TRegfHive again(path);
        again.Load(*copy.Root);
        return copy;
    }();

    // The writer's kind of change: a DWORD into a key it may have to make.
    TChangeSet changes;
    TRegKey* key = tree.Root->FindSubKey(QStringLiteral("Zephyn"));
    if (!key)
        key = tree.Root->AddSubKey(QStringLiteral("Zephyn"));
    TRegValue mtu;
    mtu.Name = QStringLiteral("MTU");
    mtu.Type = REG_DWORD;
    mtu.Data = QByteArray("\x40\x02\0\0", 4);
    const int at = key->ValueIndex(mtu.Name);
    if (at >= 0)
        key->Values[at] = mtu;
    else
        key->Values.push_back(mtu);
    changes.Touch({QStringLiteral("Zephyn"), mtu.Name, true});
    if (hive.Dirty())
        return 0;
    try {
        hive.Commit(*tree.Root, changes.Keys());
    } catch (const ERegistryException&) {
        return 0; // hivex refused to write it; the file is as it was
    }

    TRegistryHive reread(QStringLiteral("SYSTEM"));
    try {
        TRegfHive(path).Load(*reread.Root);
    } catch (const ERegistryException& e) {
        std::fprintf(stderr, "%s\n", e.what());
        Fail("the hive Zephyn wrote cannot be read again");
    }
    const TRegKey* written = reread.Root->FindSubKey(QStringLiteral("Zephyn"));
    const TRegValue* value = written ? written->FindValue(QStringLiteral("MTU")) : nullptr;
    if (!value || value->Type != REG_DWORD || value->Data != mtu.Data)
        Fail("the written value did not read back");
    // Everything else is as it was, the written key's other values included.
    const TRegKey* before = original.Root->FindSubKey(QStringLiteral("Zephyn"));
    for (const auto& sub : original.Root->SubKeys) {
        if (sub.get() == before)
            continue;
        const TRegKey* other = reread.Root->FindSubKey(sub->Name);
        if (!other || !SameTree(*sub, *other))
            Fail("a key Zephyn did not change reads differently");
    }
    if (original.Root->Values != reread.Root->Values)
        Fail("the root's values changed");
    if (before) {
        for (const TRegValue& v : before->Values)
            if (v.Name.compare(mtu.Name, Qt::CaseInsensitive) != 0 && !written->FindValue(v.Name))
                Fail("a value beside the written one was lost");
    }
    return 0;
}
