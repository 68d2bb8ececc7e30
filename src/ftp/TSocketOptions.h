#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>

// The TCP/IP settings one connection carries. 0 (or Default) leaves Linux's
// own for that option.
struct TSocketOptions {
    enum class TPathMtu { Default, Discover, DontDiscover };
    int SegmentSize = 0;   // TCP_MAXSEG: the MSS the SYN advertises
    int ReceiveWindow = 0; // SO_RCVBUF and TCP_WINDOW_CLAMP: the most the window may offer
    int TimeToLive = 0;    // IP_TTL
    TPathMtu PathMtu = TPathMtu::Default; // IP_MTU_DISCOVER: the DF bit

    bool Any() const {
        return SegmentSize > 0 || ReceiveWindow > 0 || TimeToLive > 0 ||
               PathMtu != TPathMtu::Default;
    }
    bool operator==(const TSocketOptions&) const = default;

    // When in a socket's life the options go on.
    enum class TStage {
        Created,  // before connect or listen: everything
        Connected, // after connect or accept: the clamp again (the handshake may have
                   // changed it), and the DF choice on an accepted socket
        Receiving  // as the first data arrives: the clamp again
    };
    // How many receives with data set the clamp again after a connect or accept.
    static constexpr int ReclampReceives = 64;
    // Sets them on fd; what Linux refused, one sentence per option ("Linux
    // refused TCP_MAXSEG 50: Invalid argument.").
    QStringList Apply(int fd, TStage stage) const;
    // Where Linux, asked on a new socket, does not take them as they are:
    // one sentence per option, empty when the test can run as asked.
    QStringList Check() const;
};

// What TCP_INFO told of a connection just before it closed.
struct TConnectionFigures {
    bool Valid = false;
    uint32_t MinRttUs = 0;      // the least round trip seen
    uint32_t SmoothedRttUs = 0; // the smoothed round trip
    uint32_t ReceivedSegment = 0; // the largest segment the peer sent, payload only
    uint32_t AdvertisedMss = 0;   // the MSS this end advertised
    int64_t AdvertisedWindow = -1; // the window this end advertised last (-1: the kernel does not say)
    uint32_t OutOfOrder = 0;       // segments that arrived out of order
    uint64_t BytesReceived = 0;
    // The socket's own options as getsockopt read them back (-1: not read).
    int TimeToLive = -1;
    int PathMtuMode = -1; // IP_PMTUDISC_DONT, _DO, ...
    int WindowClamp = -1; // in the kernel's own scale: not comparable byte for byte

    // From the bytes getsockopt(TCP_INFO) gave, length as it returned.
    static TConnectionFigures FromTcpInfo(const void* info, unsigned length);
    // Read from an open TCP socket; not Valid when it cannot be.
    static TConnectionFigures Read(int fd);
};
