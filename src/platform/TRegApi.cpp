#include "platform/TRegApi.h"
#include "platform/TAnsiCodec.h"
#include "platform/TPerfData.h"
#include "platform/TRegistryStore.h"

#include <QHash>
#include <QStringList>
#include <QtEndian>
#include <cstring>
#include <map>

namespace {

struct TOpenKey {
    TRegApi::HKEY Root;
    QString Path; // without a leading backslash
};

std::map<TRegApi::HKEY, TOpenKey>& OpenKeys() {
    static std::map<TRegApi::HKEY, TOpenKey> keys;
    return keys;
}

TRegApi::HKEY NextHandle = 0x1000;

// The PerfStats counters whose collection runs, by lower-case value name,
// and the value each stopped counter was left at.
QHash<QString, bool>& Started() {
    static QHash<QString, bool> started;
    return started;
}
QHash<QString, quint32>& Frozen() {
    static QHash<QString, quint32> frozen;
    return frozen;
}

const QStringList DynKeys{
    QString(), QStringLiteral("perfstats"), QStringLiteral("perfstats\\startstat"),
    QStringLiteral("perfstats\\statdata"), QStringLiteral("perfstats\\stopstat")};

QString Normal(const QString& path) {
    QStringList parts = path.split(u'\\', Qt::SkipEmptyParts);
    return parts.join(u'\\');
}

// The PerfStats values: three counters per ppp interface that is up.
QHash<QString, quint32> DynValues() {
    QHash<QString, quint32> values;
    const auto up = TPerfData::UpInterfaces();
    for (size_t n = 0; n < up.size(); ++n) {
        const QString adapter = TPerfData::AdapterName(int(n)).toLower();
        values.insert(adapter + QStringLiteral("\\totalbytesxmit"), quint32(up[n].TxBytes));
        values.insert(adapter + QStringLiteral("\\totalbytesrecvd"), quint32(up[n].RxBytes));
        values.insert(adapter + QStringLiteral("\\connectspeed"), up[n].Speed);
    }
    return values;
}

long CopyOut(const QByteArray& bytes, uint32_t type, uint32_t* typeOut, uint8_t* data,
             uint32_t* size) {
    if (typeOut)
        *typeOut = type;
    if (!size)
        return data ? TRegApi::ERROR_INVALID_HANDLE : TRegApi::ERROR_SUCCESS;
    const uint32_t room = *size;
    *size = uint32_t(bytes.size());
    if (!data)
        return TRegApi::ERROR_SUCCESS;
    if (room < uint32_t(bytes.size()))
        return TRegApi::ERROR_MORE_DATA;
    std::memcpy(data, bytes.constData(), size_t(bytes.size()));
    return TRegApi::ERROR_SUCCESS;
}

long QueryDynValue(const QString& key, const QString& name, uint32_t* type, uint8_t* data,
                   uint32_t* size) {
    if (!key.startsWith(QLatin1String("perfstats\\")))
        return TRegApi::ERROR_FILE_NOT_FOUND;
    const QString value = name.toLower();
    const QHash<QString, quint32> live = DynValues();
    if (!live.contains(value))
        return TRegApi::ERROR_FILE_NOT_FOUND;
    quint32 number = live.value(value);
    // Reading a counter under StartStat starts its collection, under StopStat
    // stops it; StatData shows a counter only while it is collected.
    if (key.endsWith(QLatin1String("\\statdata"))) {
        if (!Started().value(value))
            number = Frozen().value(value);
    } else if (data) {
        const bool start = key.endsWith(QLatin1String("\\startstat"));
        Started().insert(value, start);
        if (!start)
            Frozen().insert(value, number);
    }
    QByteArray bytes(4, '\0');
    qToLittleEndian(number, bytes.data());
    return CopyOut(bytes, REG_BINARY, type, data, size);
}

const TRegKey* MachineKey(const QString& path) {
    return TRegistryStore::Instance().Hive(THKey::HKEY_LOCAL_MACHINE).Read().Find(path);
}

} // namespace

long TRegApi::RegOpenKeyEx(HKEY root, const QString& subKey, uint32_t, HKEY* result) {
    const QString path = Normal(subKey);
    bool exists = false;
    if (root == HKEY_LOCAL_MACHINE) {
        try {
            exists = MachineKey(path) != nullptr;
        } catch (const std::exception&) {
            exists = false;
        }
    } else if (root == HKEY_DYN_DATA) {
        exists = DynKeys.contains(path.toLower());
    } else {
        return ERROR_INVALID_HANDLE;
    }
    if (!exists)
        return ERROR_FILE_NOT_FOUND;
    *result = NextHandle++;
    OpenKeys()[*result] = {root, path};
    return ERROR_SUCCESS;
}

long TRegApi::RegQueryValueEx(HKEY key, const QString& name, uint32_t* type, uint8_t* data,
                              uint32_t* size) {
    if (key == HKEY_PERFORMANCE_DATA) {
        if (name != QString::number(TPerfData::RasPortObject))
            return ERROR_FILE_NOT_FOUND;
        const QByteArray block = TPerfData::RasPortBlock(TPerfData::UpInterfaces());
        if (!size || !data)
            return ERROR_MORE_DATA;
        if (*size < uint32_t(block.size()))
            return ERROR_MORE_DATA; // the caller grows its buffer and asks again
        return CopyOut(block, REG_BINARY, type, data, size);
    }
    const auto it = OpenKeys().find(key);
    if (it == OpenKeys().end())
        return ERROR_INVALID_HANDLE;
    const TOpenKey& open = it->second;
    if (open.Root == HKEY_DYN_DATA)
        return QueryDynValue(open.Path.toLower(), name, type, data, size);
    try {
        const TRegKey* k = MachineKey(open.Path);
        const TRegValue* v = k ? k->FindValue(name) : nullptr;
        if (!v)
            return ERROR_FILE_NOT_FOUND;
        QByteArray bytes = v->Data;
        if (v->IsText()) {
            bytes = TAnsiCodec::Encode(v->Text);
            bytes.append('\0');
        }
        return CopyOut(bytes, v->Type, type, data, size);
    } catch (const std::exception&) {
        return ERROR_FILE_NOT_FOUND;
    }
}

namespace {

// The names of an open key's subkeys, in order; false for a handle that is not open.
bool SubKeyNames(TRegApi::HKEY key, QStringList& names) {
    const auto it = OpenKeys().find(key);
    if (it == OpenKeys().end())
        return false;
    if (it->second.Root == TRegApi::HKEY_DYN_DATA) {
        const QString prefix = it->second.Path.isEmpty() ? QString() : it->second.Path + u'\\';
        for (const QString& k : DynKeys)
            if (!k.isEmpty() && k.startsWith(prefix.toLower()) &&
                !k.mid(prefix.size()).contains(u'\\'))
                names << k.mid(prefix.size());
        return true;
    }
    try {
        if (const TRegKey* k = MachineKey(it->second.Path))
            for (const auto& sub : k->SubKeys)
                names << sub->Name;
    } catch (const std::exception&) {
    }
    return true;
}

} // namespace

long TRegApi::RegEnumKey(HKEY key, uint32_t index, QString& name, int bufferChars) {
    QStringList names;
    if (!SubKeyNames(key, names))
        return ERROR_INVALID_HANDLE;
    if (index >= uint32_t(names.size()))
        return ERROR_NO_MORE_ITEMS;
    if (names[int(index)].size() >= bufferChars)
        return ERROR_MORE_DATA;
    name = names[int(index)];
    return ERROR_SUCCESS;
}

long TRegApi::RegQueryInfoKey(HKEY key, uint32_t* subKeys) {
    QStringList names;
    if (!SubKeyNames(key, names))
        return ERROR_INVALID_HANDLE;
    *subKeys = uint32_t(names.size());
    return ERROR_SUCCESS;
}

long TRegApi::RegCloseKey(HKEY key) {
    if (key == HKEY_PERFORMANCE_DATA)
        return ERROR_SUCCESS;
    return OpenKeys().erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

void TRegApi::ResetDynData() {
    Started().clear();
    Frozen().clear();
}
