#include "ftp/TSocketOptions.h"

#include <QLocale>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <linux/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString Number(qint64 n) {
    return QLocale(QLocale::English).toString(n);
}

bool Set(int fd, int level, int name, int value) {
    return ::setsockopt(fd, level, name, &value, sizeof value) == 0;
}

int Get(int fd, int level, int name) {
    int value = -1;
    socklen_t length = sizeof value;
    return ::getsockopt(fd, level, name, &value, &length) == 0 ? value : -1;
}

// The receive buffer asked for a window: Linux doubles what it is given and
// counts its own bookkeeping in it, and with the bare window's worth it would
// shrink the window at the handshake to what that buffer holds of data. Twice
// the window leaves room for the whole of it; the clamp keeps it to the window.
int BufferFor(int window) {
    return window > INT32_MAX / 2 ? INT32_MAX : window * 2;
}

struct TOption {
    int Level, Name;
    const char* Text;
};
constexpr TOption MaxSeg{IPPROTO_TCP, TCP_MAXSEG, "TCP_MAXSEG"};
constexpr TOption RcvBuf{SOL_SOCKET, SO_RCVBUF, "SO_RCVBUF"};
constexpr TOption Clamp{IPPROTO_TCP, TCP_WINDOW_CLAMP, "TCP_WINDOW_CLAMP"};
constexpr TOption Ttl{IPPROTO_IP, IP_TTL, "IP_TTL"};
constexpr TOption Pmtu{IPPROTO_IP, IP_MTU_DISCOVER, "IP_MTU_DISCOVER"};

} // namespace

QStringList TSocketOptions::Apply(int fd, TStage stage) const {
    QStringList refused;
    auto set = [&](const TOption& o, int value) {
        if (!Set(fd, o.Level, o.Name, value))
            refused << QStringLiteral("Linux refused %1 %2: %3.")
                           .arg(QLatin1String(o.Text))
                           .arg(value)
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
    };
    const int pmtu = PathMtu == TPathMtu::Discover ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
    if (stage == TStage::Created) {
        if (SegmentSize > 0)
            set(MaxSeg, SegmentSize);
        if (ReceiveWindow > 0) {
            // The buffer first: the window scale of the SYN is chosen from it and the clamp.
            set(RcvBuf, BufferFor(ReceiveWindow));
            set(Clamp, ReceiveWindow);
        }
        if (TimeToLive > 0)
            set(Ttl, TimeToLive);
        if (PathMtu != TPathMtu::Default)
            set(Pmtu, pmtu);
        return refused;
    }
    // The handshake fits the clamp to the buffer as it sees it, and Linux
    // keeps the clamp in its own scale, which it changes as the first
    // segments show how much of the buffer data takes: from some 11 kB up
    // for 8,760, measured here. Set again after the handshake and at the
    // first receives, the window is the one asked for. Always set: what
    // getsockopt reads back may match the window while the clamp in force does not.
    if (ReceiveWindow > 0)
        set(Clamp, ReceiveWindow);
    if (stage == TStage::Receiving)
        return refused;
    // An accepted socket's SYN+ACK had DF whatever the listener said; what
    // follows it takes the choice.
    if (PathMtu != TPathMtu::Default)
        set(Pmtu, pmtu);
    return refused;
}

QStringList TSocketOptions::Check() const {
    QStringList notes;
    if (!Any())
        return notes;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return notes;
    // The segment size and the TTL are told below in words; the rest as Linux refused them.
    for (const QString& refused : Apply(fd, TStage::Created))
        if (!refused.contains(QLatin1String(MaxSeg.Text)) &&
            !refused.contains(QLatin1String(Ttl.Text)))
            notes << refused;
    if (SegmentSize > 0) {
        const int taken = Get(fd, MaxSeg.Level, MaxSeg.Name);
        if (taken != SegmentSize)
            notes << QStringLiteral("The connections advertise Linux's own segment size: it takes "
                                    "from 88 to 32,767 bytes only, not %1.")
                         .arg(Number(SegmentSize));
    }
    if (ReceiveWindow > 0) {
        const int clamp = Get(fd, Clamp.Level, Clamp.Name);
        const int buffer = Get(fd, RcvBuf.Level, RcvBuf.Name);
        if (clamp > ReceiveWindow)
            notes << QStringLiteral("The window will be %1 bytes, not %2: it is the least Linux "
                                    "allows.")
                         .arg(Number(clamp), Number(ReceiveWindow));
        else if (buffer >= 0 && buffer < BufferFor(ReceiveWindow))
            notes << QStringLiteral("The window may stay below %1 bytes: Linux gives the "
                                    "connections a receive buffer of %2 bytes only "
                                    "(net.core.rmem_max).")
                         .arg(Number(ReceiveWindow), Number(buffer / 2));
    }
    if (TimeToLive > 0 && Get(fd, Ttl.Level, Ttl.Name) != TimeToLive)
        notes << QStringLiteral("The connections use Linux's own TTL: it takes "
                                "one from 1 to 255 only, not %1.")
                     .arg(TimeToLive);
    ::close(fd);
    return notes;
}

TConnectionFigures TConnectionFigures::FromTcpInfo(const void* data, unsigned length) {
    TConnectionFigures f;
    tcp_info info{};
    if (length < offsetof(tcp_info, tcpi_rcv_ooopack) + sizeof info.tcpi_rcv_ooopack)
        return f;
    std::memcpy(&info, data, std::min<size_t>(length, sizeof info));
    f.Valid = true;
    f.MinRttUs = info.tcpi_min_rtt;
    f.SmoothedRttUs = info.tcpi_rtt;
    f.ReceivedSegment = info.tcpi_rcv_mss;
    // Once both ends use timestamps, Linux counts their option out of its MSS.
    f.AdvertisedMss = info.tcpi_advmss + ((info.tcpi_options & TCPI_OPT_TIMESTAMPS) ? 12 : 0);
    f.OutOfOrder = info.tcpi_rcv_ooopack;
    f.BytesReceived = info.tcpi_bytes_received;
    // Kernels from 6.7 give the window this end advertised last right after
    // the peer's (tcpi_rcv_wnd, which the headers here do not name yet).
    const size_t receiveWindow = offsetof(tcp_info, tcpi_snd_wnd) + sizeof(uint32_t);
    if (length >= receiveWindow + sizeof(uint32_t)) {
        uint32_t window = 0;
        std::memcpy(&window, static_cast<const char*>(data) + receiveWindow, sizeof window);
        f.AdvertisedWindow = window;
    }
    return f;
}

TConnectionFigures TConnectionFigures::Read(int fd) {
    char buffer[512] = {};
    socklen_t length = sizeof buffer;
    if (fd < 0 || ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, buffer, &length) != 0)
        return TConnectionFigures();
    TConnectionFigures f = FromTcpInfo(buffer, length);
    f.TimeToLive = Get(fd, Ttl.Level, Ttl.Name);
    f.PathMtuMode = Get(fd, Pmtu.Level, Pmtu.Name);
    f.WindowClamp = Get(fd, Clamp.Level, Clamp.Name);
    return f;
}
