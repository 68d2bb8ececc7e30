#include "dialup/TRAS.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    const QString path = qEnvironmentVariable("ZEPHYN_SYSFS");
    return path.isEmpty() ? QStringLiteral("/sys/class/net") : path;
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

bool TRAS::InterfaceUp(const QString& name) const {
    QFile flags(SysfsRoot() + u'/' + name + QStringLiteral("/flags"));
    if (!flags.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const uint value = QString::fromLatin1(flags.readAll()).trimmed().toUInt(&ok, 16);
    return ok && (value & 0x1) != 0; // IFF_UP
}

QStringList TRAS::ActiveInterfaces() const {
    QStringList names =
        QDir(SysfsRoot()).entryList({QStringLiteral("ppp*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator order;
    order.setNumericMode(true);
    std::sort(names.begin(), names.end(),
              [&](const QString& a, const QString& b) { return order.compare(a, b) < 0; });
    QStringList up;
    for (const QString& n : names)
        if (InterfaceUp(n))
            up << n;
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
    LastError = 0;
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
    ConnectState = InterfaceUp(name) ? RASCS_Connected : RASCS_Disconnected;
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
