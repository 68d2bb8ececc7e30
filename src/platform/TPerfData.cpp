#include "platform/TPerfData.h"
#include "platform/TClock.h"
#include "platform/TWinSock.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <algorithm>

namespace {

quint64 ReadNumber(const QString& path, bool* ok = nullptr) {
    QFile f(path);
    bool good = f.open(QIODevice::ReadOnly);
    const quint64 value = good ? QString::fromLatin1(f.read(64)).trimmed().toULongLong(&good) : 0;
    if (ok)
        *ok = good;
    return good ? value : 0;
}

// Little-endian writing into a block that grows as it is written.
class TBlockWriter {
public:
    QByteArray Bytes;
    int Pos() const { return int(Bytes.size()); }
    void U16(quint16 v) { Append(&v, 2); }
    void U32(quint32 v) { Append(&v, 4); }
    void I32(qint32 v) { Append(&v, 4); }
    void I64(qint64 v) { Append(&v, 8); }
    void Text(const QString& s) { // UTF-16 with its terminating NUL
        for (QChar c : s)
            U16(c.unicode());
        U16(0);
    }
    void Align8() {
        while (Bytes.size() % 8)
            Bytes.append('\0');
    }
    void PatchU32(int at, quint32 v) { qToLittleEndian(v, Bytes.data() + at); }

private:
    template <class T> void Append(const T* v, int n) {
        char b[8];
        qToLittleEndian(*v, b);
        Bytes.append(b, n);
    }
};

constexpr quint32 PERF_COUNTER_RAWCOUNT = 0x00010000;
constexpr quint32 PERF_DETAIL_NOVICE = 100;
constexpr qint32 PERF_NO_UNIQUE_ID = -1;
constexpr int DataBlockSize = 88, ObjectTypeSize = 64, CounterDefinitionSize = 40,
              InstanceDefinitionSize = 24;
constexpr quint32 Counters[] = {TPerfData::BytesXmitCounter, TPerfData::BytesRecvCounter, 876, 878};

} // namespace

QString TPerfData::SysfsRoot() {
    const QString path = qEnvironmentVariable("ZEPHYN_SYSFS");
    return path.isEmpty() ? QStringLiteral("/sys/class/net") : path;
}

bool TPerfData::InterfaceUp(const QString& name) {
    QFile flags(SysfsRoot() + u'/' + name + QStringLiteral("/flags"));
    if (!flags.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const uint value = QString::fromLatin1(flags.read(64)).trimmed().toUInt(&ok, 16);
    return ok && (value & 0x1) != 0; // IFF_UP
}

std::vector<TPerfData::TPppInterface> TPerfData::UpInterfaces() {
    QStringList names =
        QDir(SysfsRoot()).entryList({QStringLiteral("ppp*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator order;
    order.setNumericMode(true);
    std::sort(names.begin(), names.end(),
              [&](const QString& a, const QString& b) { return order.compare(a, b) < 0; });
    std::vector<TPppInterface> up;
    for (const QString& name : names) {
        if (!InterfaceUp(name))
            continue;
        const QString dir = SysfsRoot() + u'/' + name;
        TPppInterface i;
        i.Name = name;
        i.TxBytes = ReadNumber(dir + QStringLiteral("/statistics/tx_bytes"));
        i.RxBytes = ReadNumber(dir + QStringLiteral("/statistics/rx_bytes"));
        i.TxPackets = ReadNumber(dir + QStringLiteral("/statistics/tx_packets"));
        i.RxPackets = ReadNumber(dir + QStringLiteral("/statistics/rx_packets"));
        // sysfs gives Mbit/s, or -1 / an error when the driver does not know.
        bool ok = false;
        const quint64 mbits = ReadNumber(dir + QStringLiteral("/speed"), &ok);
        i.Speed = ok && mbits <= 4294 ? quint32(mbits * 1000000) : 0;
        up.push_back(i);
    }
    return up;
}

QString TPerfData::AdapterName(int ordinal) {
    return ordinal == 0 ? QStringLiteral("Dial-Up Adapter")
                        : QStringLiteral("Dial-Up Adapter #%1").arg(ordinal + 1);
}

QByteArray TPerfData::RasPortBlock(const std::vector<TPppInterface>& interfaces) {
    TBlockWriter w;
    const QDateTime now = TClock::Now().toUTC();
    const qint64 ticks = TClock::GetTickCount();
    // 100 ns units since 1601, as the system time is counted.
    const qint64 time100ns = (now.toMSecsSinceEpoch() + 11644473600000LL) * 10000;
    QString host;
    try {
        host = TWinSock::GetHostName().toUpper();
    } catch (const std::exception&) {
    }

    // PERF_DATA_BLOCK
    for (char c : {'P', 'E', 'R', 'F'}) // the signature, four UTF-16 characters
        w.U16(quint16(c));
    w.U32(1); // LittleEndian
    w.U32(1); // Version
    w.U32(1); // Revision
    const int totalAt = w.Pos();
    w.U32(0); // TotalByteLength
    const int headerAt = w.Pos();
    w.U32(0);             // HeaderLength
    w.U32(1);             // NumObjectTypes
    w.I32(RasPortObject); // DefaultObject
    w.U16(quint16(now.date().year()));
    w.U16(quint16(now.date().month()));
    w.U16(quint16(now.date().dayOfWeek() % 7));
    w.U16(quint16(now.date().day()));
    w.U16(quint16(now.time().hour()));
    w.U16(quint16(now.time().minute()));
    w.U16(quint16(now.time().second()));
    w.U16(quint16(now.time().msec()));
    w.Align8();
    w.I64(ticks);     // PerfTime
    w.I64(1000);      // PerfFreq: the tick count is in milliseconds
    w.I64(time100ns); // PerfTime100nSec
    w.U32(quint32((host.size() + 1) * 2));
    w.U32(DataBlockSize); // the system name follows the fixed part
    Q_ASSERT(w.Pos() == DataBlockSize);
    w.Text(host);
    w.Align8();
    w.PatchU32(headerAt, quint32(w.Pos()));

    // PERF_OBJECT_TYPE
    const int object = w.Pos();
    const int counterCount = int(std::size(Counters));
    w.U32(0); // TotalByteLength
    w.U32(quint32(ObjectTypeSize + counterCount * CounterDefinitionSize));
    w.U32(ObjectTypeSize);
    w.U32(RasPortObject);
    w.U32(0); // ObjectNameTitle
    w.U32(RasPortObject + 1);
    w.U32(0); // ObjectHelpTitle
    w.U32(PERF_DETAIL_NOVICE);
    w.U32(quint32(counterCount));
    w.I32(0); // DefaultCounter
    w.I32(qint32(interfaces.size()));
    w.U32(0); // CodePage: names are UTF-16
    w.I64(ticks);
    w.I64(1000);

    // PERF_COUNTER_DEFINITION: 32-bit raw counts after the block's length, 8 aligned.
    for (int c = 0; c < counterCount; ++c) {
        w.U32(CounterDefinitionSize);
        w.U32(Counters[c]);
        w.U32(0);
        w.U32(Counters[c] + 1);
        w.U32(0);
        w.I32(0); // DefaultScale
        w.U32(PERF_DETAIL_NOVICE);
        w.U32(PERF_COUNTER_RAWCOUNT);
        w.U32(4);
        w.U32(quint32(8 + 4 * c));
    }
    const quint32 counterBlockSize = quint32(8 + 4 * counterCount + 7) / 8 * 8;

    for (const TPppInterface& i : interfaces) {
        // PERF_INSTANCE_DEFINITION with its name
        const int instance = w.Pos();
        w.U32(0);
        w.U32(0); // ParentObjectTitleIndex
        w.U32(0); // ParentObjectInstance
        w.I32(PERF_NO_UNIQUE_ID);
        w.U32(InstanceDefinitionSize);
        w.U32(quint32((i.Name.size() + 1) * 2));
        w.Text(i.Name);
        w.Align8();
        w.PatchU32(instance, quint32(w.Pos() - instance));
        // PERF_COUNTER_BLOCK: the old counters were 32 bits wide.
        w.U32(counterBlockSize);
        w.U32(0);
        w.U32(quint32(i.TxBytes));
        w.U32(quint32(i.RxBytes));
        w.U32(quint32(i.TxPackets));
        w.U32(quint32(i.RxPackets));
        w.Align8();
    }
    w.PatchU32(object, quint32(w.Pos() - object));
    w.PatchU32(totalAt, quint32(w.Pos()));
    return w.Bytes;
}
