#pragma once
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

enum TRegDataType : quint32 {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_MULTI_SZ = 7,
};

// A value: string types (1, 2, 7) as text, every other type as raw bytes.
// A string value read from hex data also keeps those bytes exactly
// (terminators, inner NULs, or none at all), and is written back as read.
struct TRegValue {
    QString Name;
    quint32 Type = REG_SZ;
    QString Text;
    QByteArray Data;
    bool RawText = false;
    bool IsText() const { return Type == REG_SZ || Type == REG_EXPAND_SZ || Type == REG_MULTI_SZ; }
    bool operator==(const TRegValue&) const = default;
};

// A key: names are case-preserving and compared without case; order is kept.
class TRegKey {
public:
    explicit TRegKey(const QString& name, TRegKey* parent = nullptr) : Name(name), Parent(parent) {}
    QString Name;
    TRegKey* Parent;
    std::vector<std::unique_ptr<TRegKey>> SubKeys;
    std::vector<TRegValue> Values;

    TRegKey* FindSubKey(const QString& name) const;
    TRegKey* AddSubKey(const QString& name);
    // Detaches the subkey and hands it back (for undo).
    std::unique_ptr<TRegKey> TakeSubKey(TRegKey* key);
    void InsertSubKey(std::unique_ptr<TRegKey> key);
    int ValueIndex(const QString& name) const;
    const TRegValue* FindValue(const QString& name) const;

private:
    QHash<QString, TRegKey*> FIndex;
};

// One registry root held in memory, read from and written to regedit's
// text formats (REGEDIT4, and the UTF-16 "Version 5.00" of later Windows).
class TRegistryHive {
public:
    explicit TRegistryHive(const QString& rootName);
    QString RootName;
    std::unique_ptr<TRegKey> Root;
    // The "Version 5.00" header: hex string data is UTF-16.
    bool Unicode = false;
    // The file's own encoding, which it is written back in.
    enum class TEncoding { Ansi, Utf16, Utf8, Utf8Bom };
    TEncoding Encoding = TEncoding::Ansi;
    // Keys nested deeper than this are refused, as the system refuses them.
    static constexpr int MaxDepth = 512;

    // Keys that stand for others, as Windows links CurrentControlSet to the
    // control set in use: (link path, target path).
    std::vector<std::pair<QString, QString>> Links;

    static QStringList SplitPath(const QString& path);
    // The path with a link at its start replaced by the link's target.
    QString Canonical(const QString& path) const;
    TRegKey* Find(const QString& path) const;

    // Raises ERegistryException "line N: reason" for text it cannot read.
    static TRegistryHive Parse(const QByteArray& bytes, const QString& rootName);
    QByteArray Serialize() const;
    // One value as a line of the text format, without its line end.
    static QString ValueLine(const TRegValue& value, bool unicode = false);
};
