#include "helpers/TScriptedFtpPeer.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <sys/socket.h>

TScriptedFtpPeer::TScriptedFtpPeer() : FServer(new QTcpServer(this)) {
    FServer->listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    connect(FServer, &QTcpServer::newConnection, this, &TScriptedFtpPeer::Accepted);
}

TScriptedFtpPeer::~TScriptedFtpPeer() = default;

quint16 TScriptedFtpPeer::Port() const {
    return FServer->serverPort();
}

void TScriptedFtpPeer::Reply(const QString& word, const QList<QStringList>& replies) {
    FReplies[word] = replies;
    FUses[word] = 0;
}

void TScriptedFtpPeer::Send(const QString& lines) {
    if (FControl)
        FControl->write(lines.toLatin1());
}

void TScriptedFtpPeer::CloseControl() {
    if (FControl)
        FControl->disconnectFromHost();
}

void TScriptedFtpPeer::Accepted() {
    while (QTcpSocket* socket = FServer->nextPendingConnection()) {
        ++Connections;
        FControl = socket;
        // Urgent data stays out of the normal stream, as FTP servers read it.
        const int off = 0;
        const int fd = int(socket->socketDescriptor());
        ::setsockopt(fd, SOL_SOCKET, SO_OOBINLINE, &off, sizeof off);
        auto* urgent = new QSocketNotifier(fd, QSocketNotifier::Exception, socket);
        connect(urgent, &QSocketNotifier::activated, this, [this, fd, urgent] {
            char byte = 0;
            if (::recv(fd, &byte, 1, MSG_OOB) == 1)
                Urgent += byte;
            else
                urgent->setEnabled(false);
        });
        FPartial.clear();
        FUses.clear();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { ReadControl(socket); });
        for (const QString& line : Greeting)
            socket->write((line + QStringLiteral("\r\n")).toLatin1());
    }
}

void TScriptedFtpPeer::ReadControl(QTcpSocket* socket) {
    const QByteArray bytes = socket->readAll();
    Received += bytes;
    FPartial += bytes;
    qsizetype end;
    while ((end = FPartial.indexOf("\r\n")) >= 0) {
        const QString line = QString::fromLatin1(FPartial.left(end));
        FPartial.remove(0, end + 2);
        // Telnet bytes before ABOR are part of the line as received.
        QString command = line;
        command.remove(QRegularExpression(QStringLiteral("[\\x{00ff}\\x{00f4}\\x{00f2}]")));
        Commands << command;
        if (OnCommand && OnCommand(*this, command))
            continue;
        const QString word = command.section(u' ', 0, 0).toUpper();
        const auto it = FReplies.constFind(word);
        QStringList reply{QStringLiteral("500 Unknown command")};
        if (it != FReplies.constEnd() && !it->isEmpty()) {
            const int use = FUses.value(word);
            reply = it->at(std::min<qsizetype>(use, it->size() - 1));
            FUses[word] = use + 1;
        }
        for (const QString& r : reply)
            socket->write((r + QStringLiteral("\r\n")).toLatin1());
    }
}

QString TScriptedFtpPeer::PassiveReply(const QString& addressFields) {
    delete FDataServer;
    FDataServer = new QTcpServer(this);
    FDataServer->listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    connect(FDataServer, &QTcpServer::newConnection, this, [this] {
        if (QTcpSocket* s = FDataServer->nextPendingConnection()) {
            FData = s;
            DataPeerAddress = s->peerAddress().toString();
        }
    });
    const quint16 port = FDataServer->serverPort();
    return QStringLiteral("227 Entering Passive Mode (%1,%2,%3)")
        .arg(addressFields)
        .arg(port / 256)
        .arg(port % 256);
}

bool TScriptedFtpPeer::ConnectActive(const QString& portLine) {
    const QStringList f = portLine.section(u' ', 1).split(u',');
    if (f.size() != 6)
        return false;
    const QString address = f.mid(0, 4).join(u'.');
    // Tests connect only to loopback.
    if (address != QLatin1String("127.0.0.1"))
        return false;
    auto* s = new QTcpSocket(this);
    s->connectToHost(QHostAddress(address), quint16(f[4].toInt() * 256 + f[5].toInt()));
    FData = s;
    return s->waitForConnected(3000);
}

bool TScriptedFtpPeer::DataConnected() const {
    return FData && FData->state() == QAbstractSocket::ConnectedState;
}

void TScriptedFtpPeer::SendData(const QByteArray& bytes, bool close) {
    if (!QTest::qWaitFor([this] { return DataConnected(); }, 3000))
        return;
    FData->write(bytes);
    if (close)
        FData->disconnectFromHost();
}
