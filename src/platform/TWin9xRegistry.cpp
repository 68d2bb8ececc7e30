#include "platform/TWin9xRegistry.h"
#include "platform/TAnsiCodec.h"
#include "platform/TAtomicFile.h"
#include "platform/TExceptions.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libcreg.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString ErrorText(libcreg_error_t* error) {
    char text[512] = {};
    if (error && libcreg_error_sprint(error, text, sizeof text) > 0) {
        libcreg_error_free(&error);
        // The library's last word is the one that says what is wrong.
        const QStringList lines = QString::fromLocal8Bit(text).split(u'\n', Qt::SkipEmptyParts);
        return QStringLiteral("libcreg reports: ") + (lines.isEmpty() ? QString() : lines.last());
    }
    libcreg_error_free(&error);
    return QStringLiteral("libcreg cannot read it");
}

// Reads a CREG file's keys into the tree; returns what went wrong, or empty.
class TCregLoader {
public:
    QString Key(libcreg_key_t* key, TRegKey& into, int depth) {
        if (depth > TRegistryHive::MaxDepth)
            return QStringLiteral("its keys are nested deeper than %1 levels")
                .arg(TRegistryHive::MaxDepth);
        if (++FKeys > 4'000'000)
            return QStringLiteral("it lists more keys than any registry holds");
        libcreg_error_t* error = nullptr;
        int values = 0;
        if (libcreg_key_get_number_of_values(key, &values, &error) != 1)
            return ErrorText(error);
        for (int i = 0; i < values; ++i) {
            libcreg_value_t* value = nullptr;
            if (libcreg_key_get_value_by_index(key, i, &value, &error) != 1)
                return ErrorText(error);
            TRegValue v;
            const QString problem = Value(value, v);
            libcreg_value_free(&value, nullptr);
            if (!problem.isEmpty())
                return problem;
            into.Values.push_back(std::move(v));
        }
        int subKeys = 0;
        if (libcreg_key_get_number_of_sub_keys(key, &subKeys, &error) != 1)
            return ErrorText(error);
        for (int i = 0; i < subKeys; ++i) {
            libcreg_key_t* sub = nullptr;
            if (libcreg_key_get_sub_key_by_index(key, i, &sub, &error) != 1)
                return ErrorText(error);
            QByteArray name;
            QString problem = Name(sub, name);
            if (problem.isEmpty()) {
                const QString text = TAnsiCodec::Decode(name);
                TRegKey* child = into.FindSubKey(text);
                problem = child ? QStringLiteral("the key \"%1\" is listed twice").arg(text)
                                : Key(sub, *into.AddSubKey(text), depth + 1);
            }
            libcreg_key_free(&sub, nullptr);
            if (!problem.isEmpty())
                return problem;
        }
        return QString();
    }

private:
    static QString Name(libcreg_key_t* key, QByteArray& name) {
        libcreg_error_t* error = nullptr;
        size_t size = 0;
        if (libcreg_key_get_name_size(key, &size, &error) != 1)
            return ErrorText(error);
        name = QByteArray(qsizetype(size), '\0');
        if (size > 0 &&
            libcreg_key_get_name(key, reinterpret_cast<uint8_t*>(name.data()), size, &error) != 1)
            return ErrorText(error);
        if (name.endsWith('\0'))
            name.chop(1);
        return QString();
    }

    static QString Value(libcreg_value_t* value, TRegValue& v) {
        libcreg_error_t* error = nullptr;
        size_t size = 0;
        if (libcreg_value_get_name_size(value, &size, &error) != 1)
            return ErrorText(error);
        QByteArray name(qsizetype(size), '\0');
        if (size > 0 &&
            libcreg_value_get_name(value, reinterpret_cast<uint8_t*>(name.data()), size, &error) != 1)
            return ErrorText(error);
        if (name.endsWith('\0'))
            name.chop(1);
        uint32_t type = 0;
        if (libcreg_value_get_value_type(value, &type, &error) != 1 ||
            libcreg_value_get_value_data_size(value, &size, &error) != 1)
            return ErrorText(error);
        QByteArray data(qsizetype(size), '\0');
        if (size > 0 &&
            libcreg_value_get_value_data(value, reinterpret_cast<uint8_t*>(data.data()), size, &error) != 1)
            return ErrorText(error);
        v.Name = TAnsiCodec::Decode(name);
        v.Type = type;
        v.Data = data;
        if (v.IsText()) {
            // Windows 9x keeps strings in the ANSI code page, mostly without a NUL.
            v.RawText = true;
            v.Text = TAnsiCodec::Decode(data);
        }
        return QString();
    }

    qint64 FKeys = 0;
};

} // namespace

TWin9xRegistry::TWin9xRegistry(const QString& systemDat) : FPath(systemDat) {}

QString TWin9xRegistry::ImportFile() const {
    return QFileInfo(FPath).absolutePath() + QStringLiteral("/ZEPHYN.REG");
}

TRegistryHive TWin9xRegistry::Load() {
    auto fail = [this](const QString& reason) {
        throw ERegistryException(
            QStringLiteral("The registry file \"%1\" cannot be used: %2.").arg(FPath, reason));
    };
    // Never through a link; libcreg reads the very file that was opened.
    const int fd = ::open(QFile::encodeName(FPath).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        fail(errno == ELOOP ? QStringLiteral("it is a symbolic link, which Zephyn does not follow")
                            : FileProblemText(errno));
    struct stat st {};
    const bool plain = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(fd);
    char signature[4] = {};
    const bool creg = ::pread(fd, signature, 4, 0) == 4 && std::memcmp(signature, "CREG", 4) == 0;
    if (!plain || !creg) {
        ::close(fd);
        fail(!plain ? QStringLiteral("it is not a plain file")
                    : QStringLiteral("it is not a Windows 95/98 registry file"));
    }

    libcreg_file_t* file = nullptr;
    libcreg_error_t* error = nullptr;
    QString problem;
    TRegistryHive hive(QStringLiteral("HKEY_LOCAL_MACHINE"));
    if (libcreg_file_initialize(&file, &error) != 1 ||
        libcreg_file_set_ascii_codepage(file, LIBCREG_CODEPAGE_WINDOWS_1252, &error) != 1 ||
        libcreg_file_open(file, procPath.constData(), LIBCREG_OPEN_READ, &error) != 1) {
        problem = ErrorText(error);
    } else {
        libcreg_key_t* root = nullptr;
        if (libcreg_file_get_root_key(file, &root, &error) != 1) {
            problem = ErrorText(error);
        } else {
            problem = TCregLoader().Key(root, *hive.Root, 0);
            libcreg_key_free(&root, nullptr);
        }
        libcreg_file_close(file, nullptr);
    }
    libcreg_file_free(&file, nullptr);
    ::close(fd);
    if (!problem.isEmpty())
        fail(problem);
    return hive;
}

QByteArray TWin9xRegistry::ImportText() {
    const TRegistryHive& hive = Read();
    QString out = QStringLiteral("REGEDIT4\r\n\r\n");
    for (const TChangeSet::TKeyChange& change : FChanges.Keys()) {
        const TRegKey* key = hive.Find(change.Path);
        // The key's path as the file spells it.
        QStringList names;
        for (const TRegKey* k = key; k && k->Parent; k = k->Parent)
            names.prepend(k->Name);
        const QString path = QStringLiteral("HKEY_LOCAL_MACHINE\\") +
                             (key ? names.join(u'\\') : change.Path);
        if (!key) {
            if (change.WholeKey)
                out += QStringLiteral("[-") + path + QStringLiteral("]\r\n\r\n");
            continue;
        }
        out += u'[' + path + QStringLiteral("]\r\n");
        for (const QString& name : change.Values) {
            if (const TRegValue* v = key->FindValue(name)) {
                TRegValue line = *v;
                if (line.Type == REG_SZ && line.RawText) {
                    // Text as text where it holds no NUL: regedit reads it the same.
                    line.RawText = line.Text.contains(QChar(0));
                }
                out += TRegistryHive::ValueLine(line) + QStringLiteral("\r\n");
            } else {
                // "name"="" less its empty text: "name"=- removes the value.
                TRegValue removed;
                removed.Name = name;
                out += TRegistryHive::ValueLine(removed).chopped(2) + QStringLiteral("-\r\n");
            }
        }
        out += QStringLiteral("\r\n");
    }
    return TAnsiCodec::Encode(out);
}

QString TWin9xRegistry::Commit() {
    if (FChanges.IsEmpty())
        return QString();
    const QString path = ImportFile();
    try {
        TAtomicFile::Replace(path, ImportText(), TFileAccess::Shared);
    } catch (const EInOutError& e) {
        throw ERegistryException(QStringLiteral("The file \"%1\" could not be written: %2.")
                                     .arg(path, FileProblemText(e.ErrorNumber)));
    }
    return QStringLiteral("Zephyn does not change SYSTEM.DAT. Your changes are in\r\n%1\r\n\r\n"
                          "To apply them, start that Windows and double-click ZEPHYN.REG, or "
                          "run: regedit ZEPHYN.REG")
        .arg(path);
}
