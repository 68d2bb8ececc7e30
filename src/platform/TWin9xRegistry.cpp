#include "platform/TWin9xRegistry.h"
#include "platform/TAnsiCodec.h"
#include "platform/TAtomicFile.h"
#include "platform/TDataDirectory.h"
#include "platform/TExceptions.h"
#include "platform/TPlainFile.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libcreg.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// libcreg's failure in plain words, its own last word in brackets.
QString ErrorText(libcreg_error_t* error) {
    const QString plain = QStringLiteral("its keys and values cannot be read, so the file is damaged");
    char text[512] = {};
    if (error && libcreg_error_sprint(error, text, sizeof text) > 0) {
        libcreg_error_free(&error);
        // The library's last word is the one that says what is wrong.
        const QStringList lines = QString::fromLocal8Bit(text).split(u'\n', Qt::SkipEmptyParts);
        if (!lines.isEmpty())
            return QStringLiteral("%1 (libcreg: %2)").arg(plain, lines.last().trimmed());
    }
    libcreg_error_free(&error);
    return plain;
}

quint32 Get32(const QByteArray& b, qint64 at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}

// The blocks of a CREG file as its header lays them out: what does not fit
// is said in words (empty when all fits).
QString CheckBlocks(const QByteArray& file) {
    const qint64 size = file.size();
    if (size < 0x40)
        return QStringLiteral("it is too short to be a Windows 95/98 registry file (%1 bytes)")
            .arg(size);
    if (file.mid(0x20, 4) != "RGKN")
        return QStringLiteral("the block of keys at offset 0x20 does not begin with \"RGKN\", so "
                              "the file is damaged");
    const quint32 keys = Get32(file, 0x24);
    if (keys < 0x20 || 0x20 + qint64(keys) > size)
        return QStringLiteral("the block of keys at offset 0x20 says that it is %1 bytes long, "
                              "which does not fit in the file")
            .arg(keys);
    qint64 at = Get32(file, 8);
    const int blocks = quint8(file[16]) | quint8(file[17]) << 8;
    if (at < 0x20 + qint64(keys) || (blocks > 0 && at + 0x20 > size))
        return QStringLiteral("its header says that the data blocks begin at offset %1, which does "
                              "not fit in the file")
            .arg(OffsetText(at));
    for (int i = 0; i < blocks; ++i) {
        if (at + 0x20 > size || file.mid(at, 4) != "RGDB")
            return QStringLiteral("data block %1 at offset %2 does not begin with \"RGDB\", so the "
                                  "file is damaged")
                .arg(i)
                .arg(OffsetText(at));
        const quint32 length = Get32(file, at + 4);
        if (length < 0x20 || at + qint64(length) > size)
            return QStringLiteral("data block %1 at offset %2 says that it is %3 bytes long, which "
                                  "does not fit in the file")
                .arg(i)
                .arg(OffsetText(at))
                .arg(length);
        at += length;
    }
    return QString();
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

TWin9xRegistry::TWin9xRegistry(const QString& systemDat, const QString& writtenRecord)
    : FPath(systemDat), FWrittenRecord(writtenRecord) {}

QString TWin9xRegistry::ImportFile() const {
    // FAT knows no case: a zephyn.reg there is the same file to Windows.
    const QString folder = QFileInfo(FPath).absolutePath();
    const QString there = FindEntry(folder, ImportName);
    return there.isEmpty() ? folder + u'/' + ImportName : there;
}

TRegistryHive TWin9xRegistry::Load() {
    auto fail = [this](const QString& reason) {
        throw ERegistryException(
            QStringLiteral("The registry file \"%1\" cannot be used: %2.").arg(FPath, reason));
    };
    // Never through a link, never a FIFO or device; libcreg reads the very
    // file that was opened.
    struct stat st {};
    QString opened;
    const int fd = OpenPlainFile(FPath, st, opened);
    if (fd < 0)
        fail(opened);
    const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(fd);
    // The file read whole only for the check: libcreg reads it again.
    const QString damage = [&] {
        const QByteArray bytes = ReadWhole(fd, st.st_size);
        return bytes.startsWith("CREG") ? CheckBlocks(bytes)
                                        : QStringLiteral("it is not a Windows 95/98 registry file");
    }();
    if (!damage.isEmpty()) {
        ::close(fd);
        fail(damage);
    }
    RemoveLeftovers();

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

void TWin9xRegistry::RemoveLeftovers() {
    const QString folder = QFileInfo(FPath).absolutePath();
    TFolderLock lock(folder);
    if (lock.TryLock())
        TAtomicFile::RemoveLeftoversOf(folder, [this](const QString& name) {
            return name == QFileInfo(ImportFile()).fileName();
        });
}

QString TWin9xRegistry::Recorded(const QString& path) const {
    QFile record(FWrittenRecord);
    if (!record.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray& line : record.readAll().split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab > 0 && QFile::decodeName(line.mid(tab + 1)) == path)
            return QString::fromLatin1(line.left(tab));
    }
    return QString();
}

void TWin9xRegistry::Record(const QString& path, const QByteArray& bytes) const {
    QByteArray out;
    QFile record(FWrittenRecord);
    if (record.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : record.readAll().split('\n')) {
            const qsizetype tab = line.indexOf('\t');
            if (tab > 0 && QFile::decodeName(line.mid(tab + 1)) != path)
                out += line + '\n';
        }
        record.close();
    }
    out += Digest(bytes).toLatin1() + '\t' + QFile::encodeName(path) + '\n';
    TDataDirectory::MakePrivateFolder(QFileInfo(FWrittenRecord).absolutePath());
    TAtomicFile::Replace(FWrittenRecord, out, TFileAccess::Private);
}

QString TWin9xRegistry::Digest(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString TWin9xRegistry::KeepUsersFile(const QString& path) const {
    struct stat st {};
    QString problem;
    const int fd = OpenPlainFile(path, st, problem);
    if (fd < 0) {
        if (NotPlainFileText(path).isEmpty() && !QFileInfo::exists(path))
            return QString(); // nothing there: nothing to keep
        throw ERegistryException(QStringLiteral("The file \"%1\" is not replaced: %2.").arg(path, problem));
    }
    const QByteArray bytes = ReadWhole(fd, st.st_size);
    ::close(fd);
    if (Digest(bytes) == Recorded(path))
        return QString(); // the one this data directory wrote last
    // Someone else's file: it stays, under the next free name.
    const QString folder = QFileInfo(path).absolutePath();
    for (int n = 0; n < BackupNames; ++n) {
        const QString name = BackupName(QFileInfo(path).fileName(), n);
        if (!FindEntry(folder, name).isEmpty())
            continue;
        const QString copy = folder + u'/' + name;
        try {
            TAtomicFile::Replace(copy, bytes, TFileAccess::Shared);
        } catch (const EInOutError& e) {
            throw ERegistryException(
                QStringLiteral("The file \"%1\", which Zephyn did not write, could not be kept as "
                               "\"%2\": %3. Nothing has been written.")
                    .arg(path, copy, FileProblemText(e.ErrorNumber)));
        }
        return copy;
    }
    throw ERegistryException(QStringLiteral("The file \"%1\", which Zephyn did not write, cannot be "
                                            "kept: %1.bak to %1.bak99 are all taken. Nothing has "
                                            "been written.")
                                 .arg(path));
}

QString TWin9xRegistry::Commit() {
    if (FChanges.IsEmpty())
        return QString();
    TFolderLock lock(QFileInfo(FPath).absolutePath());
    if (!lock.Lock(TFolderLock::SaveWaitMs))
        throw ERegistryException(
            QStringLiteral("Nothing has been written: another copy of Zephyn is still saving "
                           "into %1. Try again when it has finished.")
                .arg(QFileInfo(FPath).absolutePath()));
    const QString path = ImportFile();
    const QString kept = KeepUsersFile(path);
    const QByteArray text = ImportText();
    try {
        TAtomicFile::Replace(path, text, TFileAccess::Shared);
    } catch (const EInOutError& e) {
        throw ERegistryException(QStringLiteral("The file \"%1\" could not be written: %2.")
                                     .arg(path, FileProblemText(e.ErrorNumber)));
    }
    try {
        Record(path, text);
    } catch (const EInOutError&) {
        // Only the next save's question about whose file it is depends on it.
    }
    QString note = QStringLiteral("Zephyn does not change SYSTEM.DAT. Your changes are in\r\n%1\r\n\r\n"
                                  "To apply them, start that Windows and double-click ZEPHYN.REG, "
                                  "or run: regedit ZEPHYN.REG")
                       .arg(path);
    if (!kept.isEmpty())
        note += QStringLiteral("\r\n\r\nThe %1 that was there, which Zephyn did not write, is kept "
                               "as\r\n%2")
                    .arg(QFileInfo(path).fileName(), kept);
    return note;
}
