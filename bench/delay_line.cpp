// A slow link with delay, in user space: packets move between two TUN
// devices, each in a network namespace of its own, through a token bucket of
// the given rate and a fixed one-way delay, per direction. For each SYN it
// prints a line with the segment size, TTL and DF bit it carried; on SIGUSR1
// it prints, per direction and source port, how many packets after the SYNs
// carried DF ("from-PORT:PACKETS:WITH_DF"), and starts counting afresh.
//
//   delay_line NETNS_A DEV_A NETNS_B DEV_B RATE_BIT_S DELAY_MS [QUEUE_BYTES]
//
// The devices exist already (ip tuntap add mode tun); the namespaces are
// named as ip netns names them (/run/netns/NAME).
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

volatile sig_atomic_t Report = 0;
volatile sig_atomic_t Stop = 0;

int64_t Now() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Opens the TUN device dev inside the namespace ns.
int OpenTun(const char* ns, const char* dev) {
    const int self = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    const std::string path = std::string("/run/netns/") + ns;
    const int target = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (self < 0 || target < 0 || ::setns(target, CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "delay_line: cannot enter %s: %s\n", ns, std::strerror(errno));
        std::exit(1);
    }
    const int fd = ::open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    ifreq ifr{};
    ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(ifr.ifr_name, dev, IFNAMSIZ - 1);
    if (fd < 0 || ::ioctl(fd, TUNSETIFF, &ifr) != 0) {
        std::fprintf(stderr, "delay_line: cannot open %s in %s: %s\n", dev, ns,
                     std::strerror(errno));
        std::exit(1);
    }
    ::setns(self, CLONE_NEWNET);
    ::close(self);
    ::close(target);
    return fd;
}

struct TPacket {
    std::vector<uint8_t> Bytes;
    int64_t Due = 0; // when it leaves the far end of the line
};

// One direction of the line: a token bucket feeding a fixed delay.
struct TDirection {
    const char* Name = "";
    int In = -1, Out = -1;
    double BytesPerNs = 0;
    int64_t Delay = 0;
    double Burst = 1514; // bytes the bucket holds
    size_t QueueLimit = 0;
    double Tokens = 1514;
    int64_t TokensAt = 0;
    std::deque<TPacket> Waiting; // for tokens
    size_t WaitingBytes = 0;
    std::deque<TPacket> OnLine; // in flight, in order of Due
    unsigned long Packets = 0, WithDf = 0, Dropped = 0;
    // After the SYNs, by source port: packets and those with DF.
    std::map<unsigned, std::pair<unsigned long, unsigned long>> BySourcePort;

    void Refill(int64_t now) {
        Tokens = std::min(Burst, Tokens + (now - TokensAt) * BytesPerNs);
        TokensAt = now;
    }
    // Moves what the bucket lets through onto the line; the time the next
    // waiting packet will have its tokens, or -1.
    int64_t Release(int64_t now) {
        Refill(now);
        while (!Waiting.empty()) {
            TPacket& p = Waiting.front();
            const double size = double(p.Bytes.size());
            if (Tokens < size)
                return now + int64_t((size - Tokens) / BytesPerNs) + 1;
            Tokens -= size;
            WaitingBytes -= p.Bytes.size();
            p.Due = now + Delay;
            OnLine.push_back(std::move(p));
            Waiting.pop_front();
        }
        return -1;
    }
    void Deliver(int64_t now) {
        while (!OnLine.empty() && OnLine.front().Due <= now) {
            const std::vector<uint8_t>& b = OnLine.front().Bytes;
            if (::write(Out, b.data(), b.size()) < 0 && errno != EAGAIN)
                std::perror("delay_line: write");
            OnLine.pop_front();
        }
    }
    void Take(std::vector<uint8_t> bytes) {
        Observe(bytes);
        if (WaitingBytes + bytes.size() > QueueLimit) {
            ++Dropped;
            return;
        }
        WaitingBytes += bytes.size();
        Waiting.push_back(TPacket{std::move(bytes)});
    }
    void Observe(const std::vector<uint8_t>& b) {
        if (b.size() < 40 || (b[0] >> 4) != 4 || b[9] != IPPROTO_TCP)
            return;
        const size_t ihl = size_t(b[0] & 15) * 4;
        if (b.size() < ihl + 20)
            return;
        const bool df = (b[6] & 0x40) != 0;
        const uint8_t* tcp = b.data() + ihl;
        const bool syn = (tcp[13] & 0x02) != 0;
        if (!syn) {
            ++Packets;
            WithDf += df;
            auto& port = BySourcePort[unsigned(tcp[0] << 8 | tcp[1])];
            ++port.first;
            port.second += df;
            return;
        }
        int mss = -1;
        const size_t offset = size_t(tcp[12] >> 4) * 4;
        for (size_t i = 20; i < offset && ihl + i < b.size();) {
            const uint8_t kind = tcp[i];
            if (kind == 0)
                break;
            if (kind == 1) {
                ++i;
                continue;
            }
            if (ihl + i + 1 >= b.size() || tcp[i + 1] < 2)
                break;
            if (kind == 2 && tcp[i + 1] == 4 && ihl + i + 3 < b.size())
                mss = tcp[i + 2] << 8 | tcp[i + 3];
            i += tcp[i + 1];
        }
        char from[INET_ADDRSTRLEN], to[INET_ADDRSTRLEN];
        ::inet_ntop(AF_INET, b.data() + 12, from, sizeof from);
        ::inet_ntop(AF_INET, b.data() + 16, to, sizeof to);
        std::printf("syn %s %s:%u > %s:%u%s mss %d ttl %u df %d\n", Name, from,
                    tcp[0] << 8 | tcp[1], to, tcp[2] << 8 | tcp[3],
                    (tcp[13] & 0x10) ? " ack" : "", mss, b[8], df ? 1 : 0);
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 7) {
        std::fprintf(stderr,
                     "usage: delay_line NETNS_A DEV_A NETNS_B DEV_B RATE_BIT_S DELAY_MS "
                     "[QUEUE_BYTES]\n");
        return 2;
    }
    const int a = OpenTun(argv[1], argv[2]);
    const int b = OpenTun(argv[3], argv[4]);
    const double rate = std::atof(argv[5]);
    const int64_t delay = int64_t(std::atof(argv[6]) * 1e6);
    const size_t queue = argc > 7 ? size_t(std::atol(argv[7])) : 1u << 20;
    TDirection lines[2];
    lines[0].Name = "a>b";
    lines[0].In = lines[1].Out = a;
    lines[1].Name = "b>a";
    lines[1].In = lines[0].Out = b;
    for (TDirection& d : lines) {
        d.BytesPerNs = rate / 8 / 1e9;
        d.Delay = delay;
        d.QueueLimit = queue;
        d.TokensAt = Now();
    }
    std::signal(SIGUSR1, [](int) { Report = 1; });
    std::signal(SIGTERM, [](int) { Stop = 1; });
    std::signal(SIGINT, [](int) { Stop = 1; });
    std::printf("ready\n");
    std::fflush(stdout);
    std::vector<uint8_t> buffer(65536);
    while (!Stop) {
        if (Report) {
            Report = 0;
            for (TDirection& d : lines) {
                std::printf("after-syn %s packets %lu df %lu dropped %lu", d.Name, d.Packets,
                            d.WithDf, d.Dropped);
                for (const auto& [port, n] : d.BySourcePort)
                    std::printf(" from-%u:%lu:%lu", port, n.first, n.second);
                std::printf("\n");
                d.Packets = d.WithDf = d.Dropped = 0;
                d.BySourcePort.clear();
            }
            std::fflush(stdout);
        }
        const int64_t now = Now();
        int64_t next = now + 100'000'000;
        for (TDirection& d : lines) {
            d.Deliver(now);
            const int64_t tokens = d.Release(now);
            if (tokens >= 0)
                next = std::min(next, tokens);
            if (!d.OnLine.empty())
                next = std::min(next, d.OnLine.front().Due);
        }
        pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        const int64_t wait = std::max<int64_t>(0, next - Now());
        const timespec timeout{time_t(wait / 1'000'000'000), long(wait % 1'000'000'000)};
        if (::ppoll(fds, 2, &timeout, nullptr) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            for (;;) {
                const ssize_t n = ::read(fds[i].fd, buffer.data(), buffer.size());
                if (n <= 0)
                    break;
                lines[i].Take(std::vector<uint8_t>(buffer.begin(), buffer.begin() + n));
            }
        }
    }
    return 0;
}
