#include "ftp/TMSocket.h"

#include <QHostInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

uint16_t WinSockError(int e) {
    switch (e) {
    case 0:
        return 0;
    case EWOULDBLOCK:
    case EINPROGRESS:
    case EALREADY:
        return WSAEWOULDBLOCK;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case ECONNRESET:
    case EPIPE:
        return WSAECONNRESET;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EINVAL:
        return WSAEINVAL;
    case EBADF:
    case ENOTSOCK:
        return WSAENOTSOCK;
    case ENETDOWN:
        return WSAENETDOWN;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ENETRESET:
        return WSAENETRESET;
    default:
        return static_cast<uint16_t>(10000 + e);
    }
}

namespace {

// The lookups of all sockets share one generation counter, so that a result
// that arrives after Disconnect (or a newer Resolve) is recognised and dropped.
quint64 NextLookup() {
    static quint64 counter = 0;
    return ++counter;
}

} // namespace

TMSocket::TMSocket(QObject* owner) : QObject(owner), FTimer(new QTimer(this)) {
    FAddr.sin_family = AF_INET;
    FTimer->setInterval(1000);
    connect(FTimer, &QTimer::timeout, this, [this] { Dispatch(TNote{TNote::Timer}); });
}

TMSocket::~TMSocket() {
    // A pending lookup's answer goes nowhere once its socket is gone. Closing an open handle is the
    // owner's business; a handle left open is still released here rather than leaked.
    ReleaseHandle();
}

void TMSocket::LookupDone() {
    if (OnLookupDone)
        OnLookupDone(*this);
}

void TMSocket::SetServer(const QString& server) {
    FServer = server.trimmed();
    if (FServer.isEmpty())
        return;
    // An address only when it reads as one: "3com.example.test" is a name.
    in_addr address{};
    if (::inet_aton(FServer.toLatin1().constData(), &address) != 0) {
        FAddressText = FServer;
        FHostName.clear();
    } else {
        FHostName = FServer;
        FAddressText.clear();
    }
}

bool TMSocket::CountdownRunning() const {
    return FTimer->isActive();
}

void TMSocket::Record(int errnoValue) {
    const uint16_t code = WinSockError(errnoValue);
    LastSocketError = code == WSAEWOULDBLOCK ? 0 : code;
}

void TMSocket::CreateSocket() {
    if (FFd >= 0)
        return;
    FFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    Record(FFd < 0 ? errno : 0);
    NewHandle(TSocketOptions::TStage::Created);
    ++FGeneration;
    FListening = FConnecting = FReadDelivered = FReadHeld = FCloseQueued = FAcceptPending = false;
}

void TMSocket::NewHandle(TSocketOptions::TStage stage) {
    FRefusedOptions.clear();
    FFiguresAtClose = TConnectionFigures();
    if (FFd < 0)
        return;
    if (stage == TSocketOptions::TStage::Connected)
        OptionsOnConnect();
    else if (Options.Any())
        FRefusedOptions = Options.Apply(FFd, stage);
}

void TMSocket::OptionsOnConnect() {
    if (Options.Any())
        FRefusedOptions << Options.Apply(FFd, TSocketOptions::TStage::Connected);
    FReclamps = Options.ReceiveWindow > 0 ? TSocketOptions::ReclampReceives : 0;
}

int TMSocket::ReleaseHandle() {
    if (FFd < 0)
        return 0;
    DropNotifiers();
    if (SocketConnected)
        FFiguresAtClose = TConnectionFigures::Read(FFd);
    const int error = ::close(FFd) != 0 ? errno : 0;
    FFd = -1;
    ++FGeneration; // what is still queued for the old handle is dropped
    SocketConnected = false;
    FConnecting = false;
    return error;
}

void TMSocket::CloseSilently() {
    ReleaseHandle();
}

void TMSocket::RecreateSocket() {
    CloseSilently();
    CreateSocket();
}

void TMSocket::Resolve(const QString& hostName) {
    if (FLookupId != 0)
        return;
    const quint64 lookup = NextLookup();
    FLookupGeneration = lookup;
    FLookupId =
        QHostInfo::lookupHost(hostName.left(67), this, [this, lookup](const QHostInfo& info) {
            TNote note{TNote::Lookup};
            note.Generation = lookup;
            if (info.error() == QHostInfo::NoError) {
                note.Error = WSANO_DATA;
                for (const QHostAddress& a : info.addresses()) {
                    bool ipv4 = false;
                    const quint32 v4 = a.toIPv4Address(&ipv4);
                    if (ipv4) {
                        note.Address = htonl(v4);
                        note.Error = 0;
                        break;
                    }
                }
            } else {
                note.Error =
                    info.error() == QHostInfo::HostNotFound ? WSAHOST_NOT_FOUND : WSATRY_AGAIN;
            }
            Dispatch(note);
        });
    LastSocketError = 0;
    StartCountdown(TimeOutArp);
}

void TMSocket::UseResolvedAddress() {
    FAddr.sin_addr.s_addr = FResolved;
}

void TMSocket::SetAddress(const QString& dotted) {
    // As inet_addr: text that is no address gives 255.255.255.255.
    FAddr.sin_addr.s_addr = ::inet_addr(dotted.left(31).toLatin1().constData());
}

void TMSocket::SetPort(quint16 port) {
    FAddr.sin_port = htons(port);
}

QString TMSocket::AddressText() const {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &FAddr.sin_addr, text, sizeof text);
    return QString::fromLatin1(text);
}

quint16 TMSocket::RemotePort() const {
    return ntohs(FAddr.sin_port);
}

void TMSocket::SetupNotifiers(bool listening) {
    DropNotifiers();
    FListening = listening;
    FReadDelivered = FReadHeld = FCloseQueued = false;
    FReadNotifier = new QSocketNotifier(FFd, QSocketNotifier::Read, this);
    connect(FReadNotifier, &QSocketNotifier::activated, this, [this] { ReadReady(); });
    if (!listening) {
        FWriteNotifier = new QSocketNotifier(FFd, QSocketNotifier::Write, this);
        FWriteNotifier->setEnabled(false);
        connect(FWriteNotifier, &QSocketNotifier::activated, this, [this] { WriteReady(); });
    }
}

void TMSocket::DropNotifiers() {
    // Disabled at once, deleted later: a notifier may be the one whose
    // activation is running now.
    for (QSocketNotifier** n : {&FReadNotifier, &FWriteNotifier}) {
        if (*n) {
            (*n)->setEnabled(false);
            (*n)->disconnect(this);
            (*n)->deleteLater();
            *n = nullptr;
        }
    }
}

void TMSocket::Connect() {
    if (FFd < 0) {
        LastSocketError = WSAENOTSOCK;
        return;
    }
    SetupNotifiers(false);
    FConnecting = true;
    const int r = ::connect(FFd, reinterpret_cast<const sockaddr*>(&FAddr), sizeof FAddr);
    Record(r < 0 ? errno : 0);
    if (LastSocketError != 0) {
        FConnecting = false;
        return;
    }
    FWriteNotifier->setEnabled(true);
    StartCountdown(TimeOutConnect);
}

void TMSocket::Listen() {
    if (FFd < 0) {
        LastSocketError = WSAENOTSOCK;
        return;
    }
    if (::bind(FFd, reinterpret_cast<const sockaddr*>(&FAddr), sizeof FAddr) != 0) {
        Record(errno);
        return;
    }
    SetupNotifiers(true);
    Record(::listen(FFd, 2) != 0 ? errno : 0);
}

void TMSocket::Accept(TMSocket& listener) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = listener.FFd < 0 ? -1
                                    : ::accept4(listener.FFd, reinterpret_cast<sockaddr*>(&peer),
                                                &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    listener.FAcceptPending = false;
    if (listener.FReadNotifier && listener.FReadHeld) {
        listener.FReadHeld = false;
        listener.FReadNotifier->setEnabled(true);
    }
    if (fd < 0) {
        Record(listener.FFd < 0 ? EBADF : errno);
        return;
    }
    CloseSilently();
    FFd = fd;
    NewHandle(TSocketOptions::TStage::Connected);
    ++FGeneration;
    FAddr = peer;
    SocketConnected = true;
    LastSocketError = 0;
    SetupNotifiers(false);
}

void TMSocket::Disconnect() {
    // A pending lookup is left to finish on its own and its answer dropped
    // (aborting it would leak the toolkit's record of the callback).
    FLookupId = 0;
    FLookupGeneration = 0;
    StartCountdown(0);
    if (FFd < 0)
        return;
    Record(ReleaseHandle());
    if (OnClose)
        Call(OnClose);
}

qint64 TMSocket::SendWith(const char* data, qint64 length, int flags) {
    if (FFd < 0) {
        LastSocketError = WSAENOTSOCK;
        return 0;
    }
    const ssize_t n = ::send(FFd, data, static_cast<size_t>(length), MSG_NOSIGNAL | flags);
    if (n > 0) {
        LastSocketError = 0;
        return n;
    }
    Record(n < 0 ? errno : 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && FWriteNotifier)
        FWriteNotifier->setEnabled(true); // room to send comes as FD_WRITE
    return 0;
}

qint64 TMSocket::Send(const char* data, qint64 length) {
    return SendWith(data, length, 0);
}

qint64 TMSocket::SendUrgent(const char* data, qint64 length) {
    return SendWith(data, length, MSG_OOB);
}

qint64 TMSocket::Receive(char* buffer, qint64 size) {
    if (FFd < 0) {
        LastSocketError = WSAENOTSOCK;
        return 0;
    }
    const ssize_t n = ::recv(FFd, buffer, static_cast<size_t>(size), 0);
    const int error = n < 0 ? errno : 0;
    FReadDelivered = false;
    if (FReadHeld && FReadNotifier && !FCloseQueued) {
        FReadHeld = false;
        FReadNotifier->setEnabled(true);
    }
    if (n > 0) {
        LastSocketError = 0;
        if (FReclamps > 0) {
            --FReclamps;
            Options.Apply(FFd, TSocketOptions::TStage::Receiving);
        }
        return n;
    }
    if (n == 0) {
        // The peer's end of stream: everything before it has been read.
        LastSocketError = 0;
        QueueClose(0);
        return 0;
    }
    Record(error);
    if (LastSocketError != 0)
        QueueClose(LastSocketError);
    return 0;
}

void TMSocket::QueueClose(int error) {
    if (FCloseQueued)
        return;
    FCloseQueued = true;
    if (FReadNotifier) {
        FReadNotifier->setEnabled(false);
        FReadHeld = true;
    }
    const quint64 generation = FGeneration;
    QMetaObject::invokeMethod(
        this,
        [this, generation, error] {
            TNote note{TNote::Socket, FD_CLOSE, error};
            note.Generation = generation;
            Dispatch(note);
        },
        Qt::QueuedConnection);
}

void TMSocket::ReadReady() {
    if (FListening) {
        FReadNotifier->setEnabled(false);
        FReadHeld = true;
        TNote note{TNote::Socket, FD_ACCEPT};
        note.Generation = FGeneration;
        Dispatch(note);
        return;
    }
    if (FConnecting) {
        // Data can be readable in the same turn as the connect completes; the
        // connect is reported first, as WinSock does.
        if (!WriteReady() || FFd < 0)
            return;
    }
    if (FReadDelivered) {
        // Reported and not yet read: no more until the owner receives.
        FReadNotifier->setEnabled(false);
        FReadHeld = true;
        return;
    }
    FReadDelivered = true;
    TNote note{TNote::Socket, FD_READ};
    note.Generation = FGeneration;
    Dispatch(note);
}

bool TMSocket::WriteReady() {
    QPointer<TMSocket> self(this); // a slot may delete this socket
    if (FWriteNotifier)
        FWriteNotifier->setEnabled(false);
    TNote note{TNote::Socket, FD_WRITE};
    note.Generation = FGeneration;
    if (FConnecting) {
        FConnecting = false;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(FFd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        if (error == 0)
            OptionsOnConnect();
        TNote connected{TNote::Socket, FD_CONNECT, WinSockError(error)};
        connected.Generation = FGeneration;
        Dispatch(connected);
        if (!self || error != 0)
            return false;
    }
    Dispatch(note);
    return !self.isNull();
}

void TMSocket::StartCountdown(int seconds) {
    FTimer->stop();
    if (seconds > 0) {
        FCountdown = seconds;
        FTimer->start();
    }
}

void TMSocket::PostMessage(int message) {
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            Dispatch(TNote{TNote::Message, message});
        },
        Qt::QueuedConnection);
}

QString TMSocket::LocalAddress() {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (FFd < 0)
        return QString();
    if (::getsockname(FFd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        Record(errno);
        return QString();
    }
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
    return QString::fromLatin1(text);
}

quint16 TMSocket::LocalPort() {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (FFd < 0)
        return 0;
    if (::getsockname(FFd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        Record(errno);
        return 0;
    }
    return ntohs(local.sin_port);
}

void TMSocket::Dispatch(const TNote& note) {
    if (FDispatching > 0) {
        FDeferred.push_back(note);
        return;
    }
    // A slot may delete its own socket: nothing of it is touched after that.
    QPointer<TMSocket> self(this);
    ++FDispatching;
    Handle(note);
    while (self && !FDeferred.empty()) {
        const TNote next = FDeferred.front();
        FDeferred.pop_front();
        Handle(next);
    }
    if (self)
        --FDispatching;
}

bool TMSocket::Call(TSlot& slot) {
    if (!slot)
        return true;
    QPointer<TMSocket> self(this);
    // A copy runs, so that a slot may replace itself (or its socket's slots).
    TSlot run = slot;
    run(*this);
    return !self.isNull();
}

void TMSocket::Handle(const TNote& note) {
    switch (note.Kind) {
    case TNote::Message:
        if (OnMessage) {
            const auto run = OnMessage;
            run(note.Value);
        }
        return;
    case TNote::Timer:
        if (FCountdown <= 0)
            return;
        if (--FCountdown == 0) {
            FTimer->stop();
            if (OnTimeout)
                Call(OnTimeout);
            else
                Disconnect();
        }
        return;
    case TNote::Lookup:
        if (note.Generation != FLookupGeneration)
            return; // cancelled
        StartCountdown(0);
        LastSocketError = static_cast<quint16>(note.Error);
        if (note.Error == 0)
            FResolved = note.Address;
        FLookupId = 0;
        FLookupGeneration = 0;
        LookupDone();
        return;
    case TNote::Socket:
        break;
    }
    if (note.Generation != FGeneration)
        return; // for a handle closed since
    LastSocketError = static_cast<quint16>(note.Error);
    switch (note.Value) {
    case FD_READ:
        if (OnRead) {
            if (!Call(OnRead))
                return;
        } else if (FFd >= 0) {
            // Nobody reads: still tell the end of stream from data.
            char probe;
            const ssize_t n = ::recv(FFd, &probe, 1, MSG_PEEK);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
                QueueClose(n == 0 ? 0 : WinSockError(errno));
        }
        StartCountdown(0);
        return;
    case FD_WRITE:
        Call(OnWrite);
        return;
    case FD_ACCEPT:
        FAcceptPending = !OnAccept;
        Call(OnAccept);
        return;
    case FD_CONNECT:
        SocketConnected = note.Error == 0;
        // A failed connect is reported at once (its error is in
        // LastSocketError) rather than left to the connect time-out.
        if (!SocketConnected)
            StartCountdown(0);
        Call(OnConnect);
        return;
    case FD_CLOSE:
        ReleaseHandle();
        SocketConnected = false;
        Call(OnClose);
        return;
    default:
        return;
    }
}
