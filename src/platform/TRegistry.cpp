#include "platform/TRegistry.h"
#include "platform/TExceptions.h"

TRegistry::TRegistry() : FRoot(THKey::HKEY_CURRENT_USER) {}

TRegistry::TRegistry(THKey root) : FRoot(root) {}

void TRegistry::SetRootKey(THKey root) {
    CloseKey();
    FRoot = root;
}

THive& TRegistry::Hive() const {
    return TRegistryStore::Instance().Hive(FRoot);
}

QString TRegistry::Resolve(const QString& key) const {
    const QStringList parts = TRegistryHive::SplitPath(key);
    const QString path = key.startsWith(u'\\') || !FOpen
                             ? parts.join(u'\\')
                             : (TRegistryHive::SplitPath(FPath) + parts).join(u'\\');
    return Hive().Read().Canonical(path);
}

bool TRegistry::OpenKey(const QString& key, bool canCreate) {
    const QString path = Resolve(key);
    if (Hive().Read().Find(path)) {
        FPath = path;
        FOpen = true;
        return true;
    }
    if (!canCreate)
        return false;
    try {
        Hive().Modify({path, QString(), true}, [&](TRegistryHive& hive, THive::TUndo& undo) {
            TRegKey* k = hive.Root.get();
            bool changed = false;
            for (const QString& part : TRegistryHive::SplitPath(path)) {
                TRegKey* sub = k->FindSubKey(part);
                if (!sub) {
                    sub = k->AddSubKey(part);
                    if (!changed)
                        undo.push_back([k, sub] { k->TakeSubKey(sub); });
                    changed = true;
                }
                k = sub;
            }
            return changed;
        });
    } catch (const ERegistryException&) {
        if (!Hive().Read().Find(path))
            return false;
    }
    FPath = path;
    FOpen = true;
    return true;
}

void TRegistry::CloseKey() {
    FOpen = false;
    FPath.clear();
}

const TRegKey* TRegistry::Current() {
    TRegistryHive& hive = Hive().Read();
    return FOpen ? hive.Find(FPath) : hive.Root.get();
}

bool TRegistry::KeyExists(const QString& name) {
    const TRegKey* key = Current();
    return key && Hive().Read().Find(Resolve(name));
}

bool TRegistry::ValueExists(const QString& name) {
    const TRegKey* key = Current();
    return key && key->FindValue(name);
}

quint32 TRegistry::GetDataType(const QString& name) {
    const TRegKey* key = Current();
    const TRegValue* v = key ? key->FindValue(name) : nullptr;
    return v ? v->Type : REG_NONE;
}

QStringList TRegistry::GetKeyNames() {
    QStringList names;
    if (const TRegKey* key = Current())
        for (const auto& sub : key->SubKeys)
            names << sub->Name;
    return names;
}

QStringList TRegistry::GetValueNames() {
    QStringList names;
    if (const TRegKey* key = Current())
        for (const auto& v : key->Values)
            names << v.Name;
    return names;
}

QString TRegistry::ReadString(const QString& name) {
    const TRegKey* key = Current();
    const TRegValue* v = key ? key->FindValue(name) : nullptr;
    if (!v)
        return QString();
    if (v->Type != REG_SZ && v->Type != REG_EXPAND_SZ)
        throw ERegistryException(QStringLiteral("Invalid data type for '%1'").arg(name));
    const qsizetype nul = v->Text.indexOf(QChar(0));
    return nul < 0 ? v->Text : v->Text.left(nul);
}

int TRegistry::ReadInteger(const QString& name) {
    const TRegKey* key = Current();
    const TRegValue* v = key ? key->FindValue(name) : nullptr;
    if (!v)
        throw ERegistryException(QStringLiteral("Failed to get data for '%1'").arg(name));
    if (v->Type != REG_DWORD || v->Data.size() != 4)
        throw ERegistryException(QStringLiteral("Invalid data type for '%1'").arg(name));
    const auto* b = reinterpret_cast<const unsigned char*>(v->Data.constData());
    return static_cast<int>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<unsigned>(b[3]) << 24);
}

QByteArray TRegistry::ReadBinaryData(const QString& name) {
    const TRegKey* key = Current();
    const TRegValue* v = key ? key->FindValue(name) : nullptr;
    if (!v)
        throw ERegistryException(QStringLiteral("Failed to get data for '%1'").arg(name));
    return v->IsText() ? v->Text.toUtf8() : v->Data;
}

void TRegistry::WriteValue(const TRegValue& value) {
    const QString path = FOpen ? FPath : QString();
    try {
        Hive().Modify({path, value.Name}, [&](TRegistryHive& hive, THive::TUndo& undo) {
            TRegKey* key = hive.Find(path);
            if (!key)
                throw ERegistryException(QStringLiteral("key deleted"));
            const int i = key->ValueIndex(value.Name);
            if (i >= 0) {
                if (key->Values[i] == value)
                    return false;
                TRegValue old = key->Values[i];
                TRegValue fresh = value;
                fresh.Name = old.Name; // names keep the case they were made with
                key->Values[i] = fresh;
                undo.push_back([key, i, old] { key->Values[i] = old; });
            } else {
                key->Values.push_back(value);
                undo.push_back([key] { key->Values.pop_back(); });
            }
            return true;
        });
    } catch (const ERegistryException&) {
        throw ERegistryException(QStringLiteral("Failed to set data for '%1'").arg(value.Name));
    }
}

void TRegistry::WriteString(const QString& name, const QString& text) {
    TRegValue v;
    v.Name = name;
    v.Type = REG_SZ;
    v.Text = text;
    WriteValue(v);
}

void TRegistry::WriteInteger(const QString& name, int value) {
    TRegValue v;
    v.Name = name;
    v.Type = REG_DWORD;
    v.Data = QByteArray(4, '\0');
    const auto u = static_cast<quint32>(value);
    for (int b = 0; b < 4; ++b)
        v.Data[b] = static_cast<char>((u >> (8 * b)) & 0xFF);
    WriteValue(v);
}

bool TRegistry::DeleteValue(const QString& name) {
    const QString path = FOpen ? FPath : QString();
    bool deleted = false;
    try {
        Hive().Modify({path, name}, [&](TRegistryHive& hive, THive::TUndo& undo) {
            TRegKey* key = hive.Find(path);
            const int i = key ? key->ValueIndex(name) : -1;
            if (i < 0)
                return false;
            TRegValue old = key->Values[i];
            key->Values.erase(key->Values.begin() + i);
            undo.push_back([key, i, old] { key->Values.insert(key->Values.begin() + i, old); });
            deleted = true;
            return true;
        });
    } catch (const ERegistryException&) {
        return false;
    }
    return deleted;
}

bool TRegistry::DeleteKey(const QString& key) {
    const QString path = Resolve(key);
    bool deleted = false;
    try {
        Hive().Modify({path, QString(), true}, [&](TRegistryHive& hive, THive::TUndo& undo) {
            TRegKey* k = hive.Find(path);
            if (!k || !k->Parent)
                return false;
            TRegKey* parent = k->Parent;
            auto taken = std::make_shared<std::unique_ptr<TRegKey>>(parent->TakeSubKey(k));
            undo.push_back([parent, taken] { parent->InsertSubKey(std::move(*taken)); });
            deleted = true;
            return true;
        });
    } catch (const ERegistryException&) {
        return false;
    }
    return deleted;
}

QString TRegistry::CommitChanges() {
    return Hive().Commit();
}

QString TRegistry::ReadOnlyReason() {
    return Hive().ReadOnlyReason();
}

QString TRegistry::OwnerWarning() {
    return Hive().OwnerWarning();
}
