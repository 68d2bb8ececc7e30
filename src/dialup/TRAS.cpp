#include "dialup/TRAS.h"
#include "platform/TReentryGuard.h"
#include "platform/TPerfData.h"
#include "platform/TRegApi.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace {

constexpr size_t MaxConnections = 4;
constexpr uint32_t HandleBase = 0x00520000; // handles are this plus the ppp unit number

} // namespace

TRAS::TRAS() = default;

TRAS::~TRAS() {
    HangUp();
}

QString TRAS::PppdPath() {
    const QString path = qEnvironmentVariable("ZEPHYN_PPPD");
    return path.isEmpty() ? QStringLiteral("/usr/sbin/pppd") : path;
}

QString TRAS::SysfsRoot() {
    return TPerfData::SysfsRoot();
}

bool TRAS::LoadRasApi() {
    if (FLoaded < 0) {
        const QFileInfo pppd(PppdPath());
        FLoaded = pppd.isFile() && pppd.isExecutable() ? 1 : 0;
    }
    return FLoaded == 1;
}

bool TRAS::RasAvailable() {
    if (LoadRasApi())
        return true;
    LastError = ERROR_RAS_NOT_AVAILABLE;
    StatusStr = QStringLiteral("RASAPI32.DLL Not Available");
    return false;
}

QStringList TRAS::ActiveInterfaces() const {
    QStringList up;
    for (const TPerfData::TPppInterface& i : TPerfData::UpInterfaces())
        up << i.Name;
    return up;
}

int TRAS::GetConnections() {
    LastError = ERROR_RAS_NOT_AVAILABLE;
    CurConnName.clear();
    CurRASConn = 0;
    if (!LoadRasApi())
        return ERROR_RAS_NOT_AVAILABLE;
    FConnections.clear();
    const QStringList active = ActiveInterfaces();
    // Room for four connections, as the enumeration's buffer has.
    LastError = active.size() > qsizetype(MaxConnections) ? ERROR_BUFFER_TOO_SMALL : 0;
    NumConns = static_cast<int>(active.size());
    if (NumConns == 0)
        return 0;
    for (const QString& name : active) {
        if (FConnections.size() == MaxConnections)
            break;
        ConnectionRecord record;
        record.EntryName = name;
        record.Handle = HandleBase + name.mid(3).toUInt();
        FConnections.push_back(record);
    }
    CurConnName = FConnections.front().EntryName;
    CurRASConn = FConnections.front().Handle;
    return LastError;
}

int TRAS::OpenConnection(int position) {
    if (RASConn == 0) {
        uint32_t handle = CurRASConn;
        if (handle == 0) {
            LastError = ERROR_INVALID_HANDLE;
            return LastError;
        }
        if (position > 0 && size_t(position) < FConnections.size())
            handle = FConnections[size_t(position)].Handle;
        RASConn = handle;
    }
    return GetConnectStatus();
}

int TRAS::GetConnectStatus() {
    ConnectState = 0;
    if (RASConn == 0)
        return ERROR_INVALID_PORT_HANDLE;
    if (!LoadRasApi())
        return ERROR_RAS_NOT_AVAILABLE;
    const QString name = QStringLiteral("ppp%1").arg(RASConn - HandleBase);
    LastError = 0;
    ConnectError = 0;
    ConnectState = TPerfData::InterfaceUp(name) ? RASCS_Connected : RASCS_Disconnected;
    if (LastError != 0)
        StatusStr = GetRasErrorText(LastError);
    return LastError;
}

void TRAS::ReleaseConnection() {
    RASConn = 0;
    HangUp();
}

void TRAS::HangUp() {
    // The link itself is pppd's and the user's: only the handle is let go.
    RASConn = 0;
    LastError = 0;
}

QString TRAS::GetRasErrorText(int code) const {
    switch (code) {
    case 0:
        return QString();
    case ERROR_INVALID_HANDLE:
        return QStringLiteral("The handle is invalid.");
    case ERROR_INVALID_PORT_HANDLE:
        return QStringLiteral("The port handle is invalid.");
    case ERROR_BUFFER_TOO_SMALL:
        return QStringLiteral("The buffer is too small.");
    case ERROR_RAS_NOT_AVAILABLE:
        return QStringLiteral("RASAPI32.DLL Not Available");
    default:
        return QString::fromLocal8Bit(std::strerror(code));
    }
}

bool TRAS::EnumPerfAdapters() {
    using namespace TRegApi;
    FAdapters.clear();
    HKEY enumKey = 0, startKey = 0;
    const bool opened =
        RegOpenKeyEx(HKEY_LOCAL_MACHINE,
                     QStringLiteral("System\\CurrentControlSet\\Control\\PerfStats\\Enum"),
                     KEY_READ, &enumKey) == ERROR_SUCCESS &&
        RegOpenKeyEx(HKEY_DYN_DATA, QStringLiteral("PerfStats\\StartStat"), KEY_READ, &startKey) ==
            ERROR_SUCCESS;
    if (opened) {
        uint32_t count = 0;
        RegQueryInfoKey(enumKey, &count);
        for (uint32_t i = 0; i < count; ++i) {
            QString name;
            if (RegEnumKey(enumKey, i, name, 32) != ERROR_SUCCESS)
                continue;
            uint32_t size = 0;
            // Only an adapter with a connection speed is a dial-up adapter.
            if (RegQueryValueEx(startKey, name + u'\\' + KeyDUNConn, nullptr, nullptr, &size) ==
                ERROR_SUCCESS)
                FAdapters << name;
        }
    }
    if (enumKey)
        RegCloseKey(enumKey);
    if (startKey)
        RegCloseKey(startKey);
    std::sort(FAdapters.begin(), FAdapters.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return opened;
}

bool TRAS::QueryStatValue(uintptr_t key, const QString& counter) {
    using namespace TRegApi;
    const QString name = KeyDUNAdap + u'\\' + counter;
    uint32_t size = 0;
    if (RegQueryValueEx(key, name, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return false;
    // The read is what switches the counter on or off; its value is not needed.
    QByteArray buffer(qsizetype(std::max<uint32_t>(size, 1)), '\0');
    return RegQueryValueEx(key, name, nullptr, reinterpret_cast<uint8_t*>(buffer.data()), &size) ==
           ERROR_SUCCESS;
}

bool TRAS::ControlStats(bool start, bool selectAdapter) {
    using namespace TRegApi;
    bool ok = false;
    if (Platform == 2) {
        ok = true;
    } else if (Platform == 0 || Platform == 1) {
        if (selectAdapter) {
            EnumPerfAdapters();
            if (FAdapters.isEmpty())
                return false;
            KeyDUNAdap = FAdapters.front();
        }
        HKEY key = 0;
        if (RegOpenKeyEx(HKEY_DYN_DATA,
                         start ? QStringLiteral("PerfStats\\StartStat")
                               : QStringLiteral("PerfStats\\StopStat"),
                         KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
            return false;
        ok = QueryStatValue(key, KeyDUNXmit) && QueryStatValue(key, KeyDUNRecv) &&
             QueryStatValue(key, KeyDUNConn);
        RegCloseKey(key);
    } else {
        return false;
    }
    if (ok) {
        if (start)
            ok = ReadStats();
        ResetStats();
    }
    return ok;
}

void TRAS::ResetStats() {
    FBaseXmit = FRawXmit;
    FBaseRecv = FRawRecv;
    StatsXmit = 0;
    StatsRecv = 0;
}

bool TRAS::ReadStats() {
    // Only Windows 95, 98 and NT have the counters.
    if (Platform != 0 && Platform != 1 && Platform != 2)
        return false;
    // A read never runs inside another one (the timer ticks on while a
    // message box or the NT read keeps events flowing).
    if (FReading)
        return false;
    const TReentryGuard reading(FReading);
    return Platform == 2 ? ReadNTStats() : ReadWin9xStats();
}

bool TRAS::ReadWin9xStats() {
    using namespace TRegApi;
    HKEY key = 0;
    if (RegOpenKeyEx(HKEY_DYN_DATA, QStringLiteral("PerfStats\\StatData"), KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    auto read = [&](const QString& counter, uint32_t& value) {
        uint8_t bytes[4] = {};
        uint32_t size = 4;
        if (RegQueryValueEx(key, KeyDUNAdap + u'\\' + counter, nullptr, bytes, &size) !=
            ERROR_SUCCESS)
            return false;
        value = qFromLittleEndian<quint32>(bytes);
        return true;
    };
    uint32_t speed = 0;
    const bool ok =
        read(KeyDUNXmit, FRawXmit) && read(KeyDUNRecv, FRawRecv) && read(KeyDUNConn, speed);
    RegCloseKey(key);
    if (!ok)
        return false;
    // A counter that went backwards (a new connection) starts over from 0.
    if (FRawXmit < FBaseXmit)
        ResetStats();
    if (FRawRecv < FBaseRecv)
        ResetStats();
    StatsConn = speed;
    StatsXmit = int32_t(FRawXmit - FBaseXmit);
    StatsRecv = int32_t(FRawRecv - FBaseRecv);
    return true;
}

bool TRAS::ReadNTStats() {
    using namespace TRegApi;
    QByteArray block;
    uint32_t size = 0;
    long result;
    do {
        block.resize(qsizetype(FPerfBufferSize));
        size = FPerfBufferSize;
        result = RegQueryValueEx(HKEY_PERFORMANCE_DATA, QStringLiteral("906"), nullptr,
                                 reinterpret_cast<uint8_t*>(block.data()), &size);
        if (result == ERROR_MORE_DATA)
            FPerfBufferSize += 1024; // kept for the rest of the run
    } while (result == ERROR_MORE_DATA && FPerfBufferSize < (64u << 20));
    if (result != ERROR_SUCCESS)
        return false;
    block.truncate(qsizetype(std::min<uint32_t>(size, uint32_t(block.size()))));
    return ReadPerfBlock(block);
}

namespace {

// Little-endian fields of a block, each checked against the block's end.
class TBlockReader {
public:
    explicit TBlockReader(const QByteArray& block) : FBlock(block) {}
    bool Fits(qint64 offset, qint64 length) const {
        return offset >= 0 && length >= 0 && offset + length <= FBlock.size();
    }
    bool U32(qint64 offset, uint32_t& value) const {
        if (!Fits(offset, 4))
            return false;
        value = qFromLittleEndian<quint32>(FBlock.constData() + offset);
        return true;
    }

private:
    const QByteArray& FBlock;
};

struct TCounterDefinition {
    uint32_t TitleIndex;
    uint32_t Offset;
};

} // namespace

bool TRAS::ReadPerfBlock(const QByteArray& block) {
    const TBlockReader r(block);
    uint32_t headerLength = 0, objects = 0;
    if (block.size() < 100 || !r.U32(24, headerLength) || !r.U32(28, objects) || objects == 0)
        return false;
    int32_t xmit = StatsXmit, recv = StatsRecv;
    qint64 object = headerLength;
    for (uint32_t o = 0; o < objects; ++o) {
        uint32_t total = 0, objectHeader = 0, counters = 0, instancesField = 0;
        if (!r.U32(object, total) || !r.U32(object + 8, objectHeader) ||
            !r.U32(object + 32, counters) || !r.U32(object + 40, instancesField) ||
            !r.Fits(object, total))
            return false;
        if (counters > 50)
            return false;
        std::vector<TCounterDefinition> definitions;
        qint64 definition = object + objectHeader;
        for (uint32_t c = 0; c < counters; ++c) {
            uint32_t length = 0, title = 0, offset = 0;
            if (!r.U32(definition, length) || !r.U32(definition + 4, title) ||
                !r.U32(definition + 36, offset) || length == 0)
                return false;
            definitions.push_back({title, offset});
            definition += length;
        }
        // The window stays responsive while a long block is walked; the
        // block is our own copy, and ReadStats refuses to nest.
        QCoreApplication::processEvents();
        if (!definitions.empty()) {
            const int32_t instances = int32_t(instancesField);
            qint64 counterBlock = definition;
            for (int32_t i = 0; i < std::max(instances, 1); ++i) {
                if (instances >= 1) {
                    uint32_t instanceLength = 0;
                    if (!r.U32(counterBlock, instanceLength) || instanceLength == 0)
                        return false;
                    counterBlock += instanceLength;
                }
                uint32_t blockLength = 0;
                if (!r.U32(counterBlock, blockLength) || !r.Fits(counterBlock, blockLength) ||
                    blockLength == 0)
                    return false;
                for (const TCounterDefinition& d : definitions) {
                    uint32_t value = 0;
                    if (d.TitleIndex != TPerfData::BytesXmitCounter &&
                        d.TitleIndex != TPerfData::BytesRecvCounter)
                        continue;
                    if (d.Offset + 4 > blockLength || !r.U32(counterBlock + d.Offset, value))
                        return false;
                    int32_t& stat = d.TitleIndex == TPerfData::BytesXmitCounter ? xmit : recv;
                    stat = std::max(stat, int32_t(value));
                }
                counterBlock += blockLength;
            }
        }
        if (total == 0)
            return false;
        object += total;
    }
    StatsXmit = xmit;
    StatsRecv = recv;
    return true;
}
