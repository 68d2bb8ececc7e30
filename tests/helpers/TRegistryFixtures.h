#pragma once
#include <QByteArray>
#include <QString>
#include <vector>

// Registry files made from scratch for the tests and benchmarks: an NT hive
// (regf) and a Windows 95/98 SYSTEM.DAT (CREG), written from the published
// layouts of both formats. Nothing here comes from a Windows installation.
namespace TRegistryFixtures {

struct TValue {
    QString Name;
    quint32 Type = 1;
    QByteArray Data;
};

struct TKey {
    QString Name;
    std::vector<TValue> Values;
    std::vector<TKey> SubKeys;

    // The key at a backslash path below this one, made along the way.
    TKey& At(const QString& path);
    TKey& Set(const QString& name, quint32 type, const QByteArray& data);
    TKey& SetSz(const QString& name, const QString& text);   // UTF-16LE, NUL-terminated
    TKey& SetAnsi(const QString& name, const QString& text); // Windows-1252, no NUL (CREG)
    TKey& SetDword(const QString& name, quint32 value);
    int KeyCount() const;
};

QByteArray Utf16Sz(const QString& text);
QByteArray Dword(quint32 value);

struct TRegfOptions {
    quint32 Minor = 3; // 3: NT 4.0, 5: XP and later
    quint32 Sequence1 = 7;
    quint32 Sequence2 = 7; // differs from Sequence1 in a hive not shut down cleanly
    QString FileName = QStringLiteral("\\SystemRoot\\System32\\Config\\SYSTEM");
};

// A complete regf hive whose root key holds root's values and subkeys.
QByteArray WriteRegf(const TKey& root, const TRegfOptions& options = {});
// A complete CREG file (SYSTEM.DAT) whose root key holds root's subkeys.
QByteArray WriteCreg(const TKey& root);

// A SYSTEM hive of a Windows NT 4.0 machine with two dial-up adapters: the
// current control set is ControlSet002; ControlSet001 differs from it.
TKey NtSystemHive();
// The SOFTWARE hive that goes with it: the version key and the NetworkCards rules.
TKey NtSoftwareHive();
// HKEY_LOCAL_MACHINE of a Windows 98 machine: NetTrans\0000 TCP/IP (dial-up),
// 0001 NetBEUI, MSTCP and NWLink.
TKey Win98Machine();

// Big trees for the benchmarks: about keyCount keys with values of every type.
TKey BulkTree(int keyCount, bool ansiStrings);

} // namespace TRegistryFixtures
