#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

// One active dial-up connection as the enumeration reports it.
struct ConnectionRecord {
    uint32_t Handle = 0;
    QString EntryName; // the ppp interface, e.g. "ppp0"
};

// Dial-up networking. On Linux that is pppd: the service counts as installed
// when pppd is, and the active connections are the ppp interfaces that are up.
// Holding a connection's handle is bookkeeping only: nothing here ever brings
// a link down. ZEPHYN_PPPD and ZEPHYN_SYSFS point at another pppd and another
// /sys/class/net (tests build a system of their own that way).
class TRAS {
public:
    TRAS();
    ~TRAS();

    int NumConns = 0;
    uint32_t CurRASConn = 0;
    QString CurConnName;
    uint32_t RASConn = 0;
    uint16_t ConnectState = 0;
    uint16_t ConnectError = 0;
    int32_t LastError = 0;
    QString StatusStr;
    const std::vector<ConnectionRecord>& Connections() const { return FConnections; }

    bool RasAvailable();
    int GetConnections();
    int OpenConnection(int position);
    int GetConnectStatus();
    void ReleaseConnection();
    void HangUp();
    QString GetRasErrorText(int code) const;

    // The dial-up adapter's counters (Windows 95/98: HKEY_DYN_DATA PerfStats;
    // Windows NT: the RAS port object of the performance data).
    int Platform = 0; // 0 Windows 95, 1 Windows 98, 2 Windows NT, else another Win32
    int32_t StatsXmit = 0;
    int32_t StatsRecv = 0;
    uint32_t StatsConn = 0;
    QString KeyDUNAdap = QStringLiteral("Dial-Up Adapter");
    QString KeyDUNConn = QStringLiteral("ConnectSpeed");
    QString KeyDUNXmit = QStringLiteral("TotalBytesXmit");
    QString KeyDUNRecv = QStringLiteral("TotalBytesRecvd");
    const QStringList& Adapters() const { return FAdapters; }
    uint32_t PerfBufferSize() const { return FPerfBufferSize; }

    bool EnumPerfAdapters();
    bool ControlStats(bool start, bool selectAdapter);
    bool ReadStats();
    void ResetStats();
    bool QueryStatValue(uintptr_t key, const QString& counter);
    // Windows NT: the largest byte counts of the instances of the RAS port
    // object in a performance data block raise StatsXmit and StatsRecv.
    // false, with nothing changed, for a block whose lengths or offsets
    // reach outside it, or an object of more than 50 counters.
    bool ReadPerfBlock(const QByteArray& block);

    static constexpr int ERROR_INVALID_HANDLE = 6;
    static constexpr int ERROR_INVALID_PORT_HANDLE = 601;
    static constexpr int ERROR_BUFFER_TOO_SMALL = 603;
    static constexpr int ERROR_RAS_NOT_AVAILABLE = 1157;
    static constexpr uint16_t RASCS_Connected = 0x2000;
    static constexpr uint16_t RASCS_Disconnected = 0x2001;

    static QString PppdPath();
    static QString SysfsRoot();

private:
    bool LoadRasApi();
    // The ppp interfaces that are up, in unit order.
    QStringList ActiveInterfaces() const;
    bool ReadWin9xStats();
    bool ReadNTStats();

    int FLoaded = -1; // -1 not tried, 0 unavailable, 1 available
    std::vector<ConnectionRecord> FConnections;
    QStringList FAdapters;
    uint32_t FRawXmit = 0, FRawRecv = 0, FBaseXmit = 0, FBaseRecv = 0;
    uint32_t FPerfBufferSize = 8192;
    bool FReading = false;
};
