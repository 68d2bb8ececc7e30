#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

// The dial-up adapters' counters, read live from Linux's ppp interfaces and
// laid out as the registry's performance data presents them.
namespace TPerfData {

// A ppp interface that is up, with its counters as the kernel keeps them.
struct TPppInterface {
    QString Name; // "ppp0"
    quint64 TxBytes = 0, RxBytes = 0, TxPackets = 0, RxPackets = 0;
    quint32 Speed = 0; // bit/s when the interface tells it, else 0
};

// /sys/class/net, or $ZEPHYN_SYSFS.
QString SysfsRoot();
bool InterfaceUp(const QString& name);
// The ppp interfaces that are up, by unit number.
std::vector<TPppInterface> UpInterfaces();
// The adapter name of the n-th interface (from 0): "Dial-Up Adapter",
// "Dial-Up Adapter #2", ...
QString AdapterName(int ordinal);

// The RAS port object (906): one instance per interface, counters 872
// (bytes transmitted), 874 (bytes received), 876 and 878 (frames), in the
// performance data block layout of Windows NT.
constexpr uint32_t RasPortObject = 906;
constexpr uint32_t BytesXmitCounter = 872;
constexpr uint32_t BytesRecvCounter = 874;
QByteArray RasPortBlock(const std::vector<TPppInterface>& interfaces);

} // namespace TPerfData
