#pragma once
#include "platform/TRegistryStore.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// A registry accessor: a root and at most one open key. Reads and writes act
// on the open key; every write is in the hive file when the call returns.
class TRegistry {
public:
    TRegistry();
    explicit TRegistry(THKey root);

    THKey RootKey() const { return FRoot; }
    void SetRootKey(THKey root);

    // A leading backslash starts from the root, as does any path while no key
    // is open. With canCreate, missing keys along the path are made.
    bool OpenKey(const QString& key, bool canCreate);
    void CloseKey();
    QString CurrentPath() const { return FPath; }
    bool HasCurrentKey() const { return FOpen; }

    bool KeyExists(const QString& name);
    bool ValueExists(const QString& name);
    quint32 GetDataType(const QString& name); // REG_NONE when missing
    QStringList GetKeyNames();
    QStringList GetValueNames();

    QString ReadString(const QString& name);
    int ReadInteger(const QString& name);
    QByteArray ReadBinaryData(const QString& name);
    void WriteString(const QString& name, const QString& value);
    void WriteInteger(const QString& name, int value);
    bool DeleteValue(const QString& name);
    bool DeleteKey(const QString& key);

    // Writes what the root's hive keeps until asked (a Windows installation's
    // own files); returns a note for the user, or empty. Raises
    // ERegistryException naming the file when it cannot.
    QString CommitChanges();
    // Why the root's hive must not be written (empty: it may be).
    QString ReadOnlyReason();
    // What the user must know before the root's hive is written (empty: nothing).
    QString OwnerWarning();

private:
    THive& Hive() const;
    QString Resolve(const QString& key) const;
    const TRegKey* Current();
    void WriteValue(const TRegValue& value);

    THKey FRoot;
    bool FOpen = false;
    QString FPath;
};
