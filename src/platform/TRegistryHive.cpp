#include "platform/TRegistryHive.h"
#include "platform/TAnsiCodec.h"
#include "platform/TExceptions.h"

#include <QStringDecoder>
#include <QStringView>
#include <algorithm>

namespace {

const QString V5Header = QStringLiteral("Windows Registry Editor Version 5.00");
const QString V4Header = QStringLiteral("REGEDIT4");

QString Lower(const QString& s) {
    return s.toLower();
}

[[noreturn]] void Fail(qsizetype line, const QString& reason) {
    throw ERegistryException(QStringLiteral("line %1: %2").arg(line).arg(reason));
}

int HexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Reads a quoted text starting at s[pos] == '"', with the escapes \\, \",
// \n, \r and \0. Returns the position after the closing quote, or -1.
qsizetype ReadQuoted(QStringView s, qsizetype pos, QString& out) {
    out.clear();
    for (qsizetype i = pos + 1; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'\\' && i + 1 < s.size()) {
            const QChar e = s[++i];
            out += e == u'n' ? QChar(u'\n') : e == u'r' ? QChar(u'\r') : e == u'0' ? QChar(0) : e;
        } else if (c == u'"') {
            return i + 1;
        } else {
            out += c;
        }
    }
    return -1;
}

QByteArray ParseHexBytes(QStringView s, qsizetype line) {
    QByteArray bytes;
    bytes.reserve(s.size() / 3 + 1);
    for (QStringView part : s.split(u',')) {
        part = part.trimmed();
        if (part.isEmpty())
            continue;
        if (part.size() > 2 || HexDigit(part[0]) < 0 || (part.size() == 2 && HexDigit(part[1]) < 0))
            Fail(line, QStringLiteral("'%1' is not a hexadecimal byte").arg(part.toString()));
        int v = HexDigit(part[0]);
        if (part.size() == 2)
            v = v * 16 + HexDigit(part[1]);
        bytes.append(static_cast<char>(v));
    }
    return bytes;
}

QString DecodeStringBytes(const QByteArray& bytes, bool unicode) {
    if (!unicode)
        return TAnsiCodec::Decode(bytes);
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()),
                              bytes.size() / 2);
}

QByteArray EncodeStringBytes(const QString& text, bool unicode) {
    if (!unicode)
        return TAnsiCodec::Encode(text);
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

void AppendEscaped(QString& out, const QString& s) {
    out += u'"';
    for (QChar c : s) {
        // Line breaks and NULs in a name would break the line they stand on.
        if (c == u'\n' || c == u'\r' || c == QChar(0)) {
            out += c == u'\n'   ? QStringLiteral("\\n")
                   : c == u'\r' ? QStringLiteral("\\r")
                                : QStringLiteral("\\0");
            continue;
        }
        if (c == u'\\' || c == u'"')
            out += u'\\';
        out += c;
    }
    out += u'"';
}

void AppendHex(QString& out, qsizetype prefixLength, const QByteArray& bytes) {
    static const char digits[] = "0123456789abcdef";
    qsizetype column = prefixLength;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += QChar(digits[b >> 4]);
        out += QChar(digits[b & 15]);
        column += 2;
        if (i + 1 < bytes.size()) {
            out += u',';
            ++column;
            if (column > 76) {
                out += QStringLiteral("\\\r\n  ");
                column = 2;
            }
        }
    }
}

void SerializeKey(const TRegKey& key, const QString& path, bool unicode, QString& out) {
    out += u'[';
    out += path;
    out += QStringLiteral("]\r\n");
    for (const TRegValue& v : key.Values) {
        out += TRegistryHive::ValueLine(v, unicode);
        out += QStringLiteral("\r\n");
    }
    out += QStringLiteral("\r\n");
    for (const auto& sub : key.SubKeys)
        SerializeKey(*sub, path + u'\\' + sub->Name, unicode, out);
}

} // namespace

TRegKey* TRegKey::FindSubKey(const QString& name) const {
    return FIndex.value(Lower(name));
}

TRegKey* TRegKey::AddSubKey(const QString& name) {
    SubKeys.push_back(std::make_unique<TRegKey>(name, this));
    TRegKey* key = SubKeys.back().get();
    FIndex.insert(Lower(name), key);
    return key;
}

std::unique_ptr<TRegKey> TRegKey::TakeSubKey(TRegKey* key) {
    for (auto it = SubKeys.begin(); it != SubKeys.end(); ++it) {
        if (it->get() == key) {
            std::unique_ptr<TRegKey> taken = std::move(*it);
            SubKeys.erase(it);
            FIndex.remove(Lower(taken->Name));
            return taken;
        }
    }
    return nullptr;
}

void TRegKey::InsertSubKey(std::unique_ptr<TRegKey> key) {
    key->Parent = this;
    FIndex.insert(Lower(key->Name), key.get());
    SubKeys.push_back(std::move(key));
}

int TRegKey::ValueIndex(const QString& name) const {
    for (size_t i = 0; i < Values.size(); ++i)
        if (Values[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

const TRegValue* TRegKey::FindValue(const QString& name) const {
    const int i = ValueIndex(name);
    return i < 0 ? nullptr : &Values[i];
}

TRegistryHive::TRegistryHive(const QString& rootName)
    : RootName(rootName), Root(std::make_unique<TRegKey>(rootName)) {}

QStringList TRegistryHive::SplitPath(const QString& path) {
    return path.split(u'\\', Qt::SkipEmptyParts);
}

QString TRegistryHive::Canonical(const QString& path) const {
    QStringList parts = SplitPath(path);
    for (const auto& [link, target] : Links) {
        const QStringList from = SplitPath(link);
        if (parts.size() < from.size())
            continue;
        bool match = true;
        for (qsizetype i = 0; i < from.size() && match; ++i)
            match = parts[i].compare(from[i], Qt::CaseInsensitive) == 0;
        if (match) {
            parts = SplitPath(target) + parts.mid(from.size());
            break;
        }
    }
    return parts.join(u'\\');
}

TRegKey* TRegistryHive::Find(const QString& path) const {
    TRegKey* key = Root.get();
    for (const QString& part : SplitPath(Links.empty() ? path : Canonical(path))) {
        key = key->FindSubKey(part);
        if (!key)
            return nullptr;
    }
    return key;
}

namespace {

// The line without a ';' comment after its data (one inside quotes stays).
QStringView WithoutComment(QStringView s) {
    bool quoted = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (quoted && c == u'\\') {
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (!quoted && c == u';') {
            return s.left(i).trimmed();
        }
    }
    return s.trimmed();
}

bool IsComment(QStringView line) {
    return line.startsWith(u';') || line.startsWith(u'#');
}

// Text that is valid UTF-8 and not plain ASCII was written as UTF-8.
bool LooksLikeUtf8(const QByteArray& bytes) {
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

// The values of one key by lower-case name, so that a key of many values
// still loads in linear time.
class TValueIndex {
public:
    int Find(TRegKey* key, const QString& name) {
        auto it = FIndex.find(key);
        if (it == FIndex.end()) {
            QHash<QString, int> index;
            for (size_t i = 0; i < key->Values.size(); ++i)
                index.insert(key->Values[i].Name.toLower(), int(i));
            it = FIndex.insert(key, index);
        }
        return it->value(name.toLower(), -1);
    }
    void Added(TRegKey* key, const QString& name) {
        if (FIndex.contains(key))
            FIndex[key].insert(name.toLower(), int(key->Values.size()) - 1);
    }
    // After a deletion the indexes are rebuilt as needed (a removed key's
    // address may come back for a new one).
    void Forget() { FIndex.clear(); }

private:
    QHash<TRegKey*, QHash<QString, int>> FIndex;
};

// The text as written: UTF-16 or UTF-8 after their marks, UTF-8 without one,
// or the ANSI code page; lines end in CR LF, LF or CR alone.
QString DecodeHiveText(const QByteArray& bytes, TRegistryHive::TEncoding& encoding) {
    QString text;
    encoding = TRegistryHive::TEncoding::Ansi;
    if (bytes.startsWith("\xFF\xFE")) {
        if (bytes.size() % 2 != 0)
            Fail(1, QStringLiteral("the UTF-16 text ends in the middle of a character"));
        text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                                  (bytes.size() - 2) / 2);
        encoding = TRegistryHive::TEncoding::Utf16;
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.mid(3));
        encoding = TRegistryHive::TEncoding::Utf8Bom;
    } else if (LooksLikeUtf8(bytes)) {
        text = QString::fromUtf8(bytes);
        encoding = TRegistryHive::TEncoding::Utf8;
    } else {
        text = TAnsiCodec::Decode(bytes);
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

// Reads the text format line by line into a hive: the header, then keys
// ("[path]", "[-path]") and their values ("name"=data, @=data, "name"=-).
class THiveParser {
public:
    THiveParser(TRegistryHive& hive, const QString& text, const QString& rootName)
        : FHive(hive), FText(text), FLines(QStringView(FText).split(u'\n')), FRootName(rootName),
          FRootLower(rootName.toLower()) {}

    void Run() {
        bool haveHeader = false;
        for (FLine = 0; FLine < FLines.size(); ++FLine) {
            FLineNo = FLine + 1;
            const QStringView line = FLines[FLine].trimmed();
            if (line.isEmpty() || (IsComment(line) && haveHeader))
                continue;
            if (!haveHeader) {
                ParseHeader(line);
                haveHeader = true;
            } else if (line.startsWith(u'[')) {
                ParseKeyLine(line);
            } else {
                ParseValueLine(line);
            }
        }
        if (!haveHeader)
            Fail(1, QStringLiteral("the file does not begin with \"REGEDIT4\""));
    }

private:
    void ParseHeader(QStringView line) {
        if (line != V4Header && line != V5Header)
            Fail(FLineNo, QStringLiteral("the file does not begin with \"REGEDIT4\""));
        FHive.Unicode = line == V5Header;
    }

    void ParseKeyLine(QStringView line) {
        if (!line.endsWith(u']'))
            Fail(FLineNo, QStringLiteral("the key name has no closing ']'"));
        QStringView path = line.mid(1, line.size() - 2);
        const bool remove = path.startsWith(u'-');
        if (remove)
            path = path.mid(1);
        const qsizetype slash = path.indexOf(u'\\');
        const QStringView root = slash < 0 ? path : path.left(slash);
        if (root.toString().toLower() != FRootLower)
            Fail(FLineNo, QStringLiteral("the key is not under %1").arg(FRootName));
        const QStringList parts =
            slash < 0 ? QStringList() : TRegistryHive::SplitPath(path.mid(slash + 1).toString());
        if (parts.size() > TRegistryHive::MaxDepth)
            Fail(FLineNo, QStringLiteral("the key is nested deeper than %1 levels")
                              .arg(TRegistryHive::MaxDepth));
        FCurrent = remove ? nullptr : MakeKey(parts);
        if (remove)
            RemoveKey(parts);
    }

    TRegKey* MakeKey(const QStringList& parts) {
        TRegKey* key = FHive.Root.get();
        for (const QString& part : parts) {
            TRegKey* sub = key->FindSubKey(part);
            key = sub ? sub : key->AddSubKey(part);
        }
        return key;
    }

    void RemoveKey(const QStringList& parts) {
        TRegKey* key = FHive.Root.get();
        TRegKey* parent = nullptr;
        for (const QString& part : parts) {
            parent = key;
            key = key->FindSubKey(part);
            if (!key)
                return;
        }
        if (parent) {
            parent->TakeSubKey(key);
            FValues.Forget();
        }
    }

    void ParseValueLine(QStringView line) {
        QString name;
        const qsizetype equals = ParseValueName(line, name);
        const QString data = JoinContinuedHex(WithoutComment(line.mid(equals + 1)).toString());
        if (!FCurrent)
            Fail(FLineNo, QStringLiteral("a value stands before any key"));
        if (data == u'-')
            RemoveValue(name);
        else
            StoreValue(ParseData(name, data));
    }

    // "Name" or @, then '=': the position of the '='.
    qsizetype ParseValueName(QStringView line, QString& name) {
        qsizetype pos = 1;
        if (line.startsWith(u'"')) {
            pos = ReadQuoted(line, 0, name);
            if (pos < 0)
                Fail(FLineNo, QStringLiteral("the value name has no closing quote"));
        } else if (!line.startsWith(u'@')) {
            Fail(FLineNo, QStringLiteral("this is neither a key nor a value"));
        }
        while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t'))
            ++pos;
        if (pos >= line.size() || line[pos] != u'=')
            Fail(FLineNo, QStringLiteral("'=' is missing after the value name"));
        return pos;
    }

    // Hexadecimal data may continue over several lines ending in a
    // backslash, with blank and comment lines between them.
    QString JoinContinuedHex(QString data) {
        if (!data.startsWith(QStringLiteral("hex"), Qt::CaseInsensitive))
            return data;
        while (data.endsWith(u'\\')) {
            data.chop(1);
            QStringView next;
            do {
                if (++FLine >= FLines.size())
                    Fail(FLineNo, QStringLiteral("the value continues past the end of the file"));
                next = FLines[FLine].trimmed();
            } while (next.isEmpty() || IsComment(next));
            data += WithoutComment(next);
        }
        return data;
    }

    TRegValue ParseData(const QString& name, const QString& data) {
        TRegValue value;
        value.Name = name;
        if (data.startsWith(u'"'))
            ParseText(data, value);
        else if (data.startsWith(QStringLiteral("dword:"), Qt::CaseInsensitive))
            ParseDword(data.mid(6).trimmed(), value);
        else if (data.startsWith(QStringLiteral("hex"), Qt::CaseInsensitive))
            ParseHex(data, value);
        else
            Fail(FLineNo, QStringLiteral("the value's data is not understood"));
        return value;
    }

    void ParseText(const QString& data, TRegValue& value) {
        const qsizetype end = ReadQuoted(data, 0, value.Text);
        if (end < 0)
            Fail(FLineNo, QStringLiteral("the text has no closing quote"));
        if (!QStringView(data).mid(end).trimmed().isEmpty())
            Fail(FLineNo, QStringLiteral("there is more after the closing quote"));
        value.Type = REG_SZ;
    }

    void ParseDword(const QString& digits, TRegValue& value) {
        bool ok = digits.size() >= 1 && digits.size() <= 8;
        const quint32 d = ok ? digits.toUInt(&ok, 16) : 0;
        if (!ok)
            Fail(FLineNo, QStringLiteral("'%1' is not a double word").arg(digits));
        value.Type = REG_DWORD;
        value.Data = QByteArray(4, '\0');
        for (int b = 0; b < 4; ++b)
            value.Data[b] = static_cast<char>((d >> (8 * b)) & 0xFF);
    }

    void ParseHex(const QString& data, TRegValue& value) {
        const qsizetype colon = data.indexOf(u':');
        if (colon < 0)
            Fail(FLineNo, QStringLiteral("':' is missing after hex"));
        const QString kind = data.mid(3, colon - 3).trimmed();
        quint32 type = REG_BINARY;
        if (!kind.isEmpty()) {
            bool ok = kind.startsWith(u'(') && kind.endsWith(u')');
            if (ok)
                type = kind.mid(1, kind.size() - 2).trimmed().toUInt(&ok, 16);
            if (!ok)
                Fail(FLineNo, QStringLiteral("'%1' is not a value type").arg(kind));
        }
        value.Type = type;
        value.Data = ParseHexBytes(QStringView(data).mid(colon + 1), FLineNo);
        if (value.IsText()) {
            // The bytes stay exactly as they were; the text is what reads see.
            value.RawText = true;
            value.Text = DecodeStringBytes(value.Data, FHive.Unicode);
            // Less its terminator: a NUL before that belongs to the text,
            // as one the text had when it was written.
            if (type != REG_MULTI_SZ && value.Text.endsWith(QChar(0)))
                value.Text.chop(1);
        }
    }

    void RemoveValue(const QString& name) {
        const int i = FValues.Find(FCurrent, name);
        if (i >= 0) {
            FCurrent->Values.erase(FCurrent->Values.begin() + i);
            FValues.Forget();
        }
    }

    void StoreValue(TRegValue value) {
        const QString name = value.Name;
        const int i = FValues.Find(FCurrent, name);
        if (i >= 0) {
            FCurrent->Values[size_t(i)] = std::move(value);
        } else {
            FCurrent->Values.push_back(std::move(value));
            FValues.Added(FCurrent, name);
        }
    }

    TRegistryHive& FHive;
    const QString FText;
    const QList<QStringView> FLines;
    const QString FRootName;
    const QString FRootLower;
    qsizetype FLine = 0;   // the line being read (0-based)
    qsizetype FLineNo = 0; // the line a value began on, for the messages
    TRegKey* FCurrent = nullptr;
    TValueIndex FValues;
};

} // namespace

TRegistryHive TRegistryHive::Parse(const QByteArray& bytes, const QString& rootName) {
    TRegistryHive hive(rootName);
    const QString text = DecodeHiveText(bytes, hive.Encoding);
    THiveParser(hive, text, rootName).Run();
    return hive;
}

QString TRegistryHive::ValueLine(const TRegValue& v, bool unicode) {
    QString out;
    if (v.Name.isEmpty())
        out += u'@';
    else
        AppendEscaped(out, v.Name);
    out += u'=';
    // A string is written as text, line breaks and NULs as escapes, so
    // that every character it has stays in the file's own encoding.
    if (v.Type == REG_SZ && !v.RawText) {
        AppendEscaped(out, v.Text);
    } else if (v.Type == REG_DWORD && v.Data.size() == 4) {
        const quint32 d = static_cast<unsigned char>(v.Data[0]) |
                          static_cast<unsigned char>(v.Data[1]) << 8 |
                          static_cast<unsigned char>(v.Data[2]) << 16 |
                          static_cast<quint32>(static_cast<unsigned char>(v.Data[3])) << 24;
        out += QStringLiteral("dword:%1").arg(d, 8, 16, QChar(u'0'));
    } else {
        QByteArray bytes = v.Data;
        if (v.IsText() && !v.RawText) {
            QString text = v.Text;
            if (v.Type != REG_MULTI_SZ)
                text += QChar(0);
            bytes = EncodeStringBytes(text, unicode);
        }
        out += v.Type == REG_BINARY ? QStringLiteral("hex:")
                                    : QStringLiteral("hex(%1):").arg(v.Type, 0, 16);
        AppendHex(out, out.size(), bytes);
    }
    return out;
}

QByteArray TRegistryHive::Serialize() const {
    QString out;
    out.reserve(64 * 1024);
    out += Unicode ? V5Header : V4Header;
    out += QStringLiteral("\r\n\r\n");
    if (!Root->Values.empty())
        SerializeKey(*Root, RootName, Unicode, out);
    else
        for (const auto& sub : Root->SubKeys)
            SerializeKey(*sub, RootName + u'\\' + sub->Name, Unicode, out);
    switch (Encoding) {
    case TEncoding::Utf16: {
        QByteArray bytes("\xFF\xFE");
        bytes += QByteArray(reinterpret_cast<const char*>(out.utf16()), out.size() * 2);
        return bytes;
    }
    case TEncoding::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
    case TEncoding::Utf8:
        return out.toUtf8();
    case TEncoding::Ansi:
        break;
    }
    QByteArray bytes = TAnsiCodec::Encode(out);
    // Bytes that happen to form UTF-8 would be read back as UTF-8: a last
    // comment with a byte UTF-8 never has (a no-break space) keeps the file
    // in its own code page.
    if (LooksLikeUtf8(bytes))
        bytes += "; code page 1252\xA0\r\n";
    return bytes;
}
