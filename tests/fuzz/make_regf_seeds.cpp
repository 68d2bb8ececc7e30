// Writes the seeds of fuzz_regf into a folder: small hives made by the test
// fixture writer, sound and damaged (a wrong checksum, a truncated file, an
// unknown version, a broken cell, a hive not shut down cleanly), so that no
// hive file is kept in the repository.
#include "helpers/TRegistryFixtures.h"

#include <QDir>
#include <QFile>
#include <cstdio>

using namespace TRegistryFixtures;

namespace {

bool Save(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_regf_seeds FOLDER\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    TKey small{QStringLiteral("ROOT"), {}, {}};
    small.At(QStringLiteral("Select")).SetDword(QStringLiteral("Current"), 1);
    small.At(QStringLiteral("ControlSet001\\Services\\Tcpip\\Parameters"))
        .SetDword(QStringLiteral("DefaultTTL"), 128)
        .SetSz(QStringLiteral("Hostname"), QStringLiteral("h"))
        .Set(QStringLiteral("B"), 3, QByteArray(40, 'x'));
    small.At(QStringLiteral("Zephyn"))
        .SetDword(QStringLiteral("Other"), 1)
        .SetDword(QStringLiteral("MTU"), 1500);
    const QByteArray nt4 = WriteRegf(small);
    TRegfOptions xp;
    xp.Minor = 5;
    TRegfOptions dirty;
    dirty.Sequence2 = dirty.Sequence1 + 2;
    TRegfOptions unknown;
    unknown.Minor = 9;
    QByteArray badChecksum = nt4;
    badChecksum[100] = 'Z';
    QByteArray brokenCell = nt4;
    brokenCell[4096 + 32 + 4] = 'x'; // the first cell's signature; the checksum still holds
    const std::pair<const char*, QByteArray> seeds[] = {
        {"small-nt4", nt4},
        {"small-xp", WriteRegf(small, xp)},
        {"dirty", WriteRegf(small, dirty)},
        {"bad-checksum", badChecksum},
        {"truncated", nt4.left(nt4.size() - 4096)},
        {"unknown-version", WriteRegf(small, unknown)},
        {"broken-cell", brokenCell},
        {"system", WriteRegf(NtSystemHive())},
    };
    for (const auto& [name, bytes] : seeds)
        if (!Save(dir + u'/' + QLatin1String(name), bytes))
            return 1;
    return 0;
}
