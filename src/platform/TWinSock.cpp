#include "platform/TWinSock.h"
#include "platform/TExceptions.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

namespace {
const TWinSock::THostSource* Source = nullptr;
}

QString TWinSock::GetHostName() {
    char buffer[64] = {};
    const int rc = Source && Source->GetHostName ? Source->GetHostName(buffer, sizeof buffer)
                                                 : ::gethostname(buffer, sizeof buffer);
    if (rc != 0)
        throw EWinSockError(QStringLiteral("Winsock.GetHostName failed"));
    buffer[sizeof buffer - 1] = '\0';
    return QString::fromLocal8Bit(buffer);
}

QStringList TWinSock::ResolveIPv4(const QString& hostName) {
    if (Source && Source->Resolve)
        return Source->Resolve(hostName);
    QStringList result;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(hostName.toLocal8Bit().constData(), nullptr, &hints, &list) != 0)
        return result;
    for (addrinfo* a = list; a; a = a->ai_next) {
        char text[INET_ADDRSTRLEN] = {};
        auto* sin = reinterpret_cast<sockaddr_in*>(a->ai_addr);
        if (::inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text))
            result << QString::fromLatin1(text);
    }
    ::freeaddrinfo(list);
    return result;
}

QStringList TWinSock::LocalAddresses() {
    return ResolveIPv4(GetHostName());
}

void TWinSock::SetHostSource(const THostSource* source) {
    Source = source;
}
