#include "platform/TRegfHive.h"
#include "platform/TAtomicFile.h"
#include "platform/TExceptions.h"
#include "platform/TPlainFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <hivex.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

quint32 Get32(const QByteArray& b, qsizetype at) {
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(quint8(b[at + i])) << (8 * i);
    return v;
}

struct TFree {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using TOwned = std::unique_ptr<T, TFree>;

struct TCloseHive {
    void operator()(hive_h* h) const { hivex_close(h); }
};
using THiveHandle = std::unique_ptr<hive_h, TCloseHive>;

class TFd {
public:
    explicit TFd(int fd) : Fd(fd) {}
    ~TFd() {
        if (Fd >= 0)
            ::close(Fd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    QByteArray ProcPath() const { return "/proc/self/fd/" + QByteArray::number(Fd); }
    int Fd;
};

// What hivex's failure means for the user, its own words in brackets.
QString HivexReason(int error) {
    QString plain;
    switch (error) {
    case EFAULT:
    case ERANGE:
        plain = QStringLiteral("a key or value in it points outside its blocks, so the file is "
                               "damaged");
        break;
    case ENOTSUP:
        plain = QStringLiteral("it holds a record of a kind that no Windows hive holds, so the "
                               "file is damaged");
        break;
    case EINVAL:
        plain = QStringLiteral("a record in it has a size or count that does not fit, so the file "
                               "is damaged");
        break;
    case ELOOP:
        plain = QStringLiteral("its list of keys leads back into itself, so the file is damaged");
        break;
    case ENOMEM:
        plain = QStringLiteral("there is not enough memory to read it");
        break;
    default:
        plain = QStringLiteral("its keys and values cannot be read, so the file is damaged");
        break;
    }
    return QStringLiteral("%1 (hivex: %2)").arg(plain, QString::fromLocal8Bit(std::strerror(error)));
}

// The hive bins and the cells in them, walked as the format lays them out:
// what does not fit is said in words (empty when all fits).
QString CheckBins(const QByteArray& file, const QByteArray& head) {
    const qint64 end = 4096 + qint64(Get32(head, 40));
    const qint64 root = 4096 + qint64(Get32(head, 36));
    bool rootFound = false;
    for (qint64 bin = 4096; bin < end;) {
        if (bin + 32 > file.size() || file.mid(bin, 4) != "hbin")
            return QStringLiteral("the block at offset %1 does not begin with \"hbin\", so the "
                                  "file is damaged")
                .arg(OffsetText(bin));
        const quint32 at = Get32(file, bin + 4);
        const quint32 size = Get32(file, bin + 8);
        if (at != bin - 4096)
            return QStringLiteral("the block at offset %1 says that it stands at offset %2, so the "
                                  "file is damaged")
                .arg(OffsetText(bin), OffsetText(4096 + qint64(at)));
        if (size < 4096 || size % 4096 != 0 || bin + size > end || bin + size > file.size())
            return QStringLiteral("the block at offset %1 says that it is %2 bytes long, which does "
                                  "not fit in the file")
                .arg(OffsetText(bin))
                .arg(size);
        for (qint64 cell = bin + 32; cell < bin + size;) {
            const qint32 raw = qint32(Get32(file, cell));
            const qint64 length = raw < 0 ? -qint64(raw) : qint64(raw);
            if (length < 8 || length % 8 != 0 || cell + length > bin + size)
                return QStringLiteral("the cell at offset %1 says that it is %2 bytes long, which "
                                      "does not fit in its block at %3")
                    .arg(OffsetText(cell))
                    .arg(length)
                    .arg(OffsetText(bin));
            rootFound = rootFound || cell == root;
            cell += length;
        }
        bin += size;
    }
    if (!rootFound)
        return QStringLiteral("its root key is said to be at offset %1, where no cell begins, so "
                              "the file is damaged")
            .arg(OffsetText(root));
    return QString();
}

QString Utf16Text(const QByteArray& bytes) {
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()),
                              bytes.size() / 2);
}

// The bytes a value has in a hive: strings as UTF-16 with their terminator.
QByteArray HiveBytes(const TRegValue& v) {
    if (!v.IsText() || v.RawText)
        return v.Data;
    QString text = v.Text;
    if (v.Type != REG_MULTI_SZ)
        text += QChar(0);
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

// hivex hands a value's type over as its enum, but a hive may hold any
// 32-bit number there: it travels as that number, never as an enum value.
static_assert(sizeof(hive_type) == sizeof(quint32));
char* ValueBytes(hive_h* h, hive_value_h v, quint32& type, size_t& length) {
    return hivex_value_value(h, v, reinterpret_cast<hive_type*>(&type), &length);
}

// Reads a hive's keys and values into the tree. A key or value met twice (a
// loop in a damaged hive) or keys nested deeper than any registry allows are
// refused.
class TLoader {
public:
    explicit TLoader(hive_h* h) : FHive(h) {}

    QString Node(hive_node_h node, TRegKey& key, int depth) {
        if (depth > TRegistryHive::MaxDepth)
            return QStringLiteral("its keys are nested deeper than %1 levels")
                .arg(TRegistryHive::MaxDepth);
        if (FSeen.contains(node))
            return QStringLiteral("a key is listed twice, so the file is damaged");
        FSeen.insert(node);
        TOwned<hive_value_h> values(hivex_node_values(FHive, node));
        if (!values)
            return HivexReason(errno);
        for (size_t i = 0; values.get()[i]; ++i) {
            const hive_value_h v = values.get()[i];
            // A value, or a value's data, listed twice would be freed twice
            // by the next write, which hivex does not survive.
            size_t cellLength = 0;
            const hive_value_h cell = hivex_value_data_cell_offset(FHive, v, &cellLength);
            if (FSeenValues.contains(v) || (cell != 0 && FSeenData.contains(cell)))
                return QStringLiteral("a value is listed twice, so the file is damaged");
            FSeenValues.insert(v);
            if (cell != 0)
                FSeenData.insert(cell);
            TOwned<char> name(hivex_value_key(FHive, v));
            quint32 type = 0;
            size_t length = 0;
            TOwned<char> data(ValueBytes(FHive, v, type, length));
            if (!name || !data)
                return HivexReason(errno);
            TRegValue value;
            value.Name = QString::fromUtf8(name.get());
            value.Type = type;
            value.Data = QByteArray(data.get(), static_cast<qsizetype>(length));
            if (value.IsText()) {
                // The exact bytes stay; the text is what readers see.
                value.RawText = true;
                value.Text = Utf16Text(value.Data);
            }
            key.Values.push_back(std::move(value));
        }
        TOwned<hive_node_h> children(hivex_node_children(FHive, node));
        if (!children)
            return HivexReason(errno);
        for (size_t i = 0; children.get()[i]; ++i) {
            TOwned<char> name(hivex_node_name(FHive, children.get()[i]));
            if (!name)
                return HivexReason(errno);
            const QString text = QString::fromUtf8(name.get());
            if (key.FindSubKey(text))
                return QStringLiteral("the key \"%1\" is listed twice, so the file is damaged")
                    .arg(text);
            const QString problem = Node(children.get()[i], *key.AddSubKey(text), depth + 1);
            if (!problem.isEmpty())
                return problem;
        }
        return QString();
    }

private:
    hive_h* FHive;
    QSet<hive_node_h> FSeen;
    QSet<hive_value_h> FSeenValues;
    QSet<hive_value_h> FSeenData;
};

struct TDiskValue {
    QString Name;
    QByteArray Key;
    quint32 Type = 0;
    QByteArray Data;
};

hive_set_value MakeSetValue(const QByteArray& key, quint32 type, const QByteArray& data) {
    hive_set_value v{};
    v.key = const_cast<char*>(key.constData());
    std::memcpy(&v.t, &type, sizeof type);
    v.len = size_t(data.size());
    v.value = const_cast<char*>(data.constData());
    return v;
}

// Applies one key's changes through hivex.
class TApplier {
public:
    explicit TApplier(hive_h* h) : FHive(h) {}

    // The node at a path below the root (0 when missing and not made).
    hive_node_h Node(const QStringList& parts, bool create) {
        hive_node_h node = hivex_root(FHive);
        for (const QString& part : parts) {
            if (!node)
                return 0;
            hive_node_h child = Child(node, part);
            if (!child && create) {
                child = hivex_node_add_child(FHive, node, part.toUtf8().constData());
                if (!child)
                    throw errno;
            }
            node = child;
        }
        return node;
    }

    void SetValue(hive_node_h node, const QString& name, const TRegValue* value) {
        std::vector<TDiskValue> disk = Values(node);
        auto it = std::find_if(disk.begin(), disk.end(), [&](const TDiskValue& d) {
            return d.Name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (value) {
            const QByteArray bytes = HiveBytes(*value);
            const quint32 type = value->Type;
            if (it != disk.end() && it->Type == type && it->Data == bytes)
                return; // as it is on disk: nothing to write
            // A value that is there keeps the name it has.
            const QByteArray key = it != disk.end() ? it->Key : value->Name.toUtf8();
            hive_set_value v = MakeSetValue(key, type, bytes);
            if (hivex_node_set_value(FHive, node, &v, 0) != 0)
                throw errno;
        } else if (it != disk.end()) {
            disk.erase(it);
            std::vector<hive_set_value> rest;
            for (TDiskValue& d : disk)
                rest.push_back(MakeSetValue(d.Key, d.Type, d.Data));
            if (hivex_node_set_values(FHive, node, rest.size(), rest.data(), 0) != 0)
                throw errno;
        }
    }

    void DeleteKey(const QStringList& parts) {
        const hive_node_h node = Node(parts, false);
        if (node && node != hivex_root(FHive) && hivex_node_delete_child(FHive, node) != 0)
            throw errno;
    }

private:
    hive_node_h Child(hive_node_h node, const QString& name) {
        TOwned<hive_node_h> children(hivex_node_children(FHive, node));
        if (!children)
            throw errno;
        for (size_t i = 0; children.get()[i]; ++i) {
            TOwned<char> n(hivex_node_name(FHive, children.get()[i]));
            if (n && QString::fromUtf8(n.get()).compare(name, Qt::CaseInsensitive) == 0)
                return children.get()[i];
        }
        return 0;
    }

    std::vector<TDiskValue> Values(hive_node_h node) {
        std::vector<TDiskValue> out;
        TOwned<hive_value_h> values(hivex_node_values(FHive, node));
        if (!values)
            throw errno;
        for (size_t i = 0; values.get()[i]; ++i) {
            TOwned<char> key(hivex_value_key(FHive, values.get()[i]));
            quint32 type = 0;
            size_t length = 0;
            TOwned<char> data(ValueBytes(FHive, values.get()[i], type, length));
            if (!key || !data)
                throw errno;
            out.push_back(TDiskValue{QString::fromUtf8(key.get()), QByteArray(key.get()), type,
                                     QByteArray(data.get(), qsizetype(length))});
        }
        return out;
    }

    hive_h* FHive;
};

// Where a hive read back from disk differs from the tree it should hold: a
// key or value missing, extra or changed (empty when it is the same). Values
// are compared as the bytes the hive keeps.
QString Difference(const TRegKey& want, const TRegKey& got, const QString& path) {
    if (want.Values.size() != got.Values.size() || want.SubKeys.size() != got.SubKeys.size())
        return path;
    for (const TRegValue& v : want.Values) {
        const TRegValue* other = got.FindValue(v.Name);
        if (!other || other->Type != v.Type || HiveBytes(*other) != HiveBytes(v))
            return path + u'\\' + v.Name;
    }
    for (const auto& sub : want.SubKeys) {
        const TRegKey* other = got.FindSubKey(sub->Name);
        const QString at = path + u'\\' + sub->Name;
        if (!other)
            return at;
        const QString difference = Difference(*sub, *other, at);
        if (!difference.isEmpty())
            return difference;
    }
    return QString();
}

// A file mapped for reading while the object lives: a walk over a large
// hive costs no copy of it. (hivex maps the file for reading just the same.)
struct Mapped {
    Mapped(int fd, qint64 size) : Size(size_t(size)) {
        void* at = size > 0 ? ::mmap(nullptr, Size, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
        if (at != MAP_FAILED) {
            Data = at;
            Bytes = QByteArray::fromRawData(static_cast<const char*>(at), qsizetype(size));
        } else {
            Bytes = ReadWhole(fd, size);
        }
    }
    ~Mapped() {
        if (Data)
            ::munmap(Data, Size);
    }
    Mapped(const Mapped&) = delete;
    Mapped& operator=(const Mapped&) = delete;
    size_t Size;
    void* Data = nullptr;
    QByteArray Bytes;
};

QByteArray ReadHead(int fd) {
    return ReadWhole(fd, 4096);
}

} // namespace

QString TRegfHive::CheckBaseBlock(const QByteArray& head, qint64 fileSize, bool& dirty) {
    dirty = false;
    if (head.size() < 4096 || fileSize < 8192)
        return QStringLiteral("it is too short to be a registry hive (%1 bytes)").arg(fileSize);
    if (!head.startsWith("regf"))
        return QStringLiteral("it is not a Windows NT registry hive");
    const quint32 major = Get32(head, 20);
    const quint32 minor = Get32(head, 24);
    if (major != 1 || minor < 2 || minor > 6)
        return QStringLiteral("its hive version %1.%2 is not one Zephyn knows").arg(major).arg(minor);
    if (Get32(head, 28) != 0)
        return QStringLiteral("it is a log or an alternate copy, not the hive itself");
    quint32 sum = 0;
    for (int i = 0; i < 127; ++i)
        sum ^= Get32(head, 4 * i);
    if (sum == 0xFFFFFFFF)
        sum = 0xFFFFFFFE;
    else if (sum == 0)
        sum = 1;
    if (sum != Get32(head, 508))
        return QStringLiteral("its header checksum is wrong, so the file is damaged");
    const quint32 bins = Get32(head, 40);
    if (bins == 0 || bins % 4096 != 0 || 4096 + qint64(bins) > fileSize)
        return QStringLiteral("it is truncated: its header announces %1 bytes of keys and values, "
                              "but the file holds %2")
            .arg(bins)
            .arg(fileSize - 4096);
    dirty = Get32(head, 4) != Get32(head, 8);
    return QString();
}

QString TRegfHive::DirtyText() const {
    return QStringLiteral("The registry file \"%1\" was not shut down cleanly: Windows stopped "
                          "in the middle of writing it, and its .LOG file holds the rest.")
        .arg(FPath);
}

void TRegfHive::Fail(const QString& reason) const {
    throw ERegistryException(
        QStringLiteral("The registry file \"%1\" cannot be used: %2.").arg(FPath, reason));
}

void TRegfHive::Load(TRegKey& into) {
    // Never through a link, never a FIFO or device, and hivex reads the very
    // file that was checked.
    struct stat st {};
    QString problem;
    TFd fd(OpenPlainFile(FPath, st, problem));
    if (fd.Fd < 0)
        Fail(problem);
    const QByteArray head = ReadHead(fd.Fd);
    problem = CheckBaseBlock(head, st.st_size, FDirty);
    if (problem.isEmpty())
        problem = CheckBins(Mapped(fd.Fd, st.st_size).Bytes, head);
    if (!problem.isEmpty())
        Fail(problem);
    THiveHandle h(hivex_open(fd.ProcPath().constData(), 0));
    if (!h)
        Fail(HivexReason(errno));
    TLoader loader(h.get());
    const QString damage = loader.Node(hivex_root(h.get()), into, 0);
    if (!damage.isEmpty())
        Fail(damage);
    FIdentity = TFileIdentity::Of(st);
}

QString TRegfHive::OwnerWarning() const {
    return TAtomicFile::OwnerNotKeptText(FPath, QStringLiteral("the new hive and its copy"));
}

QString TRegfHive::KeepBackup(int fd, const struct stat& st) {
    const QFileInfo info(FPath);
    const QString folder = info.absolutePath();
    // The oldest copy is the one worth keeping: a plain file there stays.
    // Anything else at that name (a link, a folder) is no copy, and the hive
    // as it was goes to the next free name.
    QString path;
    QStringList notCopies;
    for (int n = 0; n < BackupNames && path.isEmpty(); ++n) {
        const QString wanted = BackupName(info.fileName(), n);
        const QString entry = FindEntry(folder, wanted);
        if (entry.isEmpty()) {
            path = folder + u'/' + wanted;
            break;
        }
        const QString kind = NotPlainFileText(entry);
        if (kind.isEmpty())
            return QString();
        notCopies << QStringLiteral("\"%1\" is %2").arg(entry, kind);
    }
    if (path.isEmpty())
        throw ERegistryException(
            QStringLiteral("The copy of the registry file \"%1\" cannot be kept: %2. Nothing has "
                           "been written.")
                .arg(FPath, notCopies.join(QStringLiteral(", "))));
    try {
        TAtomicFile copy(path, TFileAccess::Shared);
        copy.KeepOwnerAndModeOf(FPath);
        QByteArray buffer(1 << 20, Qt::Uninitialized);
        off_t at = 0;
        while (at < st.st_size) {
            const ssize_t n = ::pread(fd, buffer.data(), size_t(buffer.size()), at);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                RaiseInOutError(n < 0 ? errno : EIO);
            copy.Write(buffer.constData(), n);
            at += n;
        }
        copy.Commit();
    } catch (const EInOutError& e) {
        throw ERegistryException(
            QStringLiteral("The copy of the registry file \"%1\" could not be kept as \"%2\": %3. "
                           "Nothing has been written.")
                .arg(FPath, path, FileProblemText(e.ErrorNumber)));
    }
    if (notCopies.isEmpty())
        return QString();
    return QStringLiteral("%1, not a copy of the hive, so the hive as it was is kept as\r\n%2")
        .arg(notCopies.join(QStringLiteral(", ")), path);
}

bool TRegfHive::Writable(const struct stat& st) const {
    // A hive marked read-only is left alone, even by root, and so is one this
    // process may not write: replacing it would go round its permissions.
    return (st.st_mode & 0222) != 0 &&
           ::faccessat(AT_FDCWD, QFile::encodeName(FPath).constData(), W_OK, AT_EACCESS) == 0;
}

QString TRegfHive::ReadOnlyText() const {
    return QStringLiteral("The registry file \"%1\" is read-only, so Zephyn does not write it.")
        .arg(FPath);
}

QString TRegfHive::ReadOnlyReason() const {
    struct stat st {};
    if (::stat(QFile::encodeName(FPath).constData(), &st) == 0 && !Writable(st))
        return ReadOnlyText();
    return QString();
}

QString TRegfHive::Commit(const TRegKey& root,
                          const std::vector<TChangeSet::TKeyChange>& changes) {
    auto fail = [this](const QString& reason) {
        throw ERegistryException(
            QStringLiteral("The registry file \"%1\" could not be written: %2. It has not been "
                           "changed.")
                .arg(FPath, reason));
    };
    // Another copy of the program saving into this folder finishes first;
    // what it wrote is then seen below as a change on disk.
    TFolderLock lock(QFileInfo(FPath).absolutePath());
    if (!lock.Lock(TFolderLock::SaveWaitMs))
        fail(QStringLiteral("another copy of Zephyn is still saving into its folder; try again "
                            "when it has finished"));
    struct stat st {};
    QString opened;
    TFd fd(OpenPlainFile(FPath, st, opened));
    if (fd.Fd < 0)
        fail(opened);
    if (!Writable(st))
        throw ERegistryException(ReadOnlyText() + QStringLiteral(" Nothing has been written."));
    if (!(TFileIdentity::Of(st) == FIdentity))
        fail(QStringLiteral("it has changed on disk since Zephyn read it; start Zephyn again to "
                            "see what it holds now"));
    bool dirty = false;
    const QString problem = CheckBaseBlock(ReadHead(fd.Fd), st.st_size, dirty);
    if (!problem.isEmpty())
        fail(problem);
    if (dirty)
        fail(QStringLiteral("it was not shut down cleanly"));

    THiveHandle h(hivex_open(fd.ProcPath().constData(), HIVEX_OPEN_WRITE));
    if (!h)
        fail(HivexReason(errno));
    try {
        TApplier apply(h.get());
        for (const TChangeSet::TKeyChange& change : changes) {
            const QStringList parts = TRegistryHive::SplitPath(change.Path);
            const TRegKey* key = &root;
            for (const QString& part : parts)
                key = key ? key->FindSubKey(part) : nullptr;
            if (!key) {
                if (change.WholeKey)
                    apply.DeleteKey(parts);
                continue;
            }
            const hive_node_h node = apply.Node(parts, true);
            for (const QString& name : change.Values)
                apply.SetValue(node, name, key->FindValue(name));
        }
    } catch (int error) {
        fail(HivexReason(error));
    }

    const QString note = KeepBackup(fd.Fd, st);
    try {
        TAtomicFile out(FPath, TFileAccess::Shared);
        out.KeepOwnerAndModeOf(FPath);
        // hivex writes the whole new hive into the temporary file itself.
        if (hivex_commit(h.get(), out.DescriptorPath().constData(), 0) != 0)
            RaiseInOutError(errno);
        // What was written must read back as the tree, every key Zephyn did
        // not touch included: in a damaged hive one cell may stand for two
        // things, and a write to one then changes the other.
        THiveHandle written(hivex_open(out.DescriptorPath().constData(), 0));
        if (!written)
            fail(HivexReason(errno));
        TRegKey reread(root.Name);
        const QString damage = TLoader(written.get()).Node(hivex_root(written.get()), reread, 0);
        if (!damage.isEmpty())
            fail(damage);
        const QString difference = Difference(root, reread, QString());
        if (!difference.isEmpty())
            fail(QStringLiteral("it is damaged: writing the changes into it would also change "
                                "\"%1\"")
                     .arg(difference.mid(1)));
        out.Commit();
    } catch (const EInOutError& e) {
        fail(FileProblemText(e.ErrorNumber));
    }
    struct stat now {};
    if (::lstat(QFile::encodeName(FPath).constData(), &now) == 0)
        FIdentity = TFileIdentity::Of(now);
    return note;
}
