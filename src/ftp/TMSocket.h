#pragma once
#include "ftp/TSocketOptions.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <netinet/in.h>

class QSocketNotifier;
class QTimer;

// WinSock notification events, as the program's socket code knows them.
enum TSocketEvent : int {
    FD_READ = 1,
    FD_WRITE = 2,
    FD_ACCEPT = 8,
    FD_CONNECT = 16,
    FD_CLOSE = 32,
};

// WinSock error numbers the socket layer produces.
enum TWinSockError : uint16_t {
    WSAEACCES = 10013,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,
    WSAENOTSOCK = 10038,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAEHOSTUNREACH = 10065,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

// An errno value as its WinSock number.
uint16_t WinSockError(int errnoValue);

// One non-blocking IPv4 TCP socket whose progress (name lookup, connect, data,
// room to send, an incoming connection, the peer's close, the one-second
// countdown) arrives later, from the event loop, as calls of its event slots.
// A socket never runs its slots re-entrantly: what arrives while one of them
// runs (for instance while it processes pending events) waits until it returns.
class TMSocket : public QObject {
    Q_OBJECT
public:
    explicit TMSocket(QObject* owner = nullptr);
    ~TMSocket() override;

    using TSlot = std::function<void(TMSocket&)>;
    // Receives the socket's own posted messages (PostMessage).
    std::function<void(int message)> OnMessage;
    TSlot OnLookupDone, OnConnect, OnClose, OnTimeout, OnRead, OnWrite, OnAccept;

    // Called when a host lookup has finished, successfully or not.
    virtual void LookupDone();

    bool SocketConnected = false;
    quint16 LastSocketError = 0;
    int TimeOutConnect = 30;
    int TimeOutArp = 15;
    // Set on every handle this socket makes (before connect or listen) and
    // takes by accept, and again once connected.
    TSocketOptions Options;
    // What Linux refused of them on the present handle.
    const QStringList& RefusedOptions() const { return FRefusedOptions; }
    // The last connected handle's figures, read just before it closed.
    const TConnectionFigures& FiguresAtClose() const { return FFiguresAtClose; }

    QString Server() const { return FServer; }
    void SetServer(const QString& server);
    // What SetServer made of the server text: exactly one is in use.
    QString ServerAddressText() const { return FAddressText; }
    QString ServerHostName() const { return FHostName; }
    bool HandleValid() const { return FFd >= 0; }
    bool LookupPending() const { return FLookupId != 0; }
    // A listener's connection reported while no OnAccept was set, not yet accepted.
    bool AcceptPending() const { return FAcceptPending; }
    int Countdown() const { return FCountdown; }
    bool CountdownRunning() const;

    void CreateSocket();
    void RecreateSocket();
    void Resolve(const QString& hostName);
    void UseResolvedAddress();
    void SetAddress(const QString& dotted);
    void SetPort(quint16 port);
    QString AddressText() const;
    quint16 RemotePort() const;
    void Connect();
    void Listen();
    void Accept(TMSocket& listener);
    void Disconnect();
    // Closes the handle without any notification.
    void CloseSilently();
    qint64 Send(const char* data, qint64 length);
    qint64 SendUrgent(const char* data, qint64 length);
    qint64 Receive(char* buffer, qint64 size);
    QString LocalAddress();
    quint16 LocalPort();
    void StartCountdown(int seconds);

    // Queues a message for OnMessage, delivered after the running slot returns.
    void PostMessage(int message);

protected:
    QString FServer;

private:
    struct TNote {
        enum TKind { Message, Timer, Lookup, Socket } Kind;
        int Value = 0;
        int Error = 0;
        quint64 Generation = 0;
        quint32 Address = 0;
    };
    void Dispatch(const TNote& note);
    void Handle(const TNote& note);
    // Runs a slot; false when the slot deleted this socket.
    bool Call(TSlot& slot);
    void SetupNotifiers(bool listening);
    void DropNotifiers();
    // A handle made or accepted: nothing refused or measured of it yet, and
    // the options as that stage takes them.
    void NewHandle(TSocketOptions::TStage stage);
    // Connected (by connect or accept): the options again, and the re-clamps to come.
    void OptionsOnConnect();
    // Closes the handle, if any, and marks it invalid; the errno of close.
    int ReleaseHandle();
    void ReadReady();
    // false when it completed a connect that failed.
    bool WriteReady();
    void QueueClose(int error);
    qint64 SendWith(const char* data, qint64 length, int flags);
    void Record(int errnoValue);

    int FFd = -1;
    quint64 FGeneration = 0;
    sockaddr_in FAddr{};
    QString FAddressText;
    QString FHostName;
    quint32 FResolved = 0;
    int FLookupId = 0;
    quint64 FLookupGeneration = 0;
    int FCountdown = 0;
    QTimer* FTimer;
    QSocketNotifier* FReadNotifier = nullptr;
    QSocketNotifier* FWriteNotifier = nullptr;
    bool FListening = false;
    bool FConnecting = false;
    bool FReadDelivered = false; // a read was reported and nothing received since
    bool FReadHeld = false;      // the read notifier is off until the next Receive
    bool FCloseQueued = false;
    bool FAcceptPending = false;
    int FDispatching = 0;
    std::deque<TNote> FDeferred;
    QStringList FRefusedOptions;
    int FReclamps = 0; // receives with data that set the window clamp again
    TConnectionFigures FFiguresAtClose;
};
