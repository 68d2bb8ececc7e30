#pragma once
#include <QString>
#include <QStringList>
#include <functional>

// The host name and the computer's own IPv4 addresses.
namespace TWinSock {
// Raises EWinSockError "Winsock.GetHostName failed".
QString GetHostName();
// The IPv4 addresses a name resolves to, dotted, in resolver order; empty if none.
QStringList ResolveIPv4(const QString& hostName);
// The addresses of this host.
QStringList LocalAddresses();

// Tests set where the host name and its addresses come from, so that no test
// asks a name server; nullptr restores the system's.
struct THostSource {
    std::function<int(char* buffer, size_t size)> GetHostName;
    std::function<QStringList(const QString&)> Resolve;
};
void SetHostSource(const THostSource* source);
} // namespace TWinSock
