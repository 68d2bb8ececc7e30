#pragma once
#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>

#include <QTcpSocket>

class QTcpServer;

// An FTP server that plays a scripted dialogue on 127.0.0.1, for the
// dialogues real servers cannot be made to produce. Replies are scripted per
// command word; each use takes the next reply set and the last one repeats.
// Everything the client sends is recorded byte for byte.
class TScriptedFtpPeer : public QObject {
    Q_OBJECT
public:
    TScriptedFtpPeer();
    ~TScriptedFtpPeer() override;

    quint16 Port() const;
    // Lines sent when a client connects; empty: the peer never greets.
    QStringList Greeting{QStringLiteral("220 Scripted peer ready")};
    // The replies for one command word ("USER", "PASS", ...), one set per use.
    void Reply(const QString& word, const QList<QStringList>& replies);
    // Custom handling of a command; true when it replied itself.
    std::function<bool(TScriptedFtpPeer&, const QString& line)> OnCommand;

    QByteArray Received;  // all bytes from the client, every connection
    QByteArray Urgent;    // the urgent (out-of-band) bytes among them
    QStringList Commands; // the command lines, without CR LF
    int Connections = 0;
    QTcpSocket* Control() const { return FControl; }
    void Send(const QString& lines);
    void CloseControl();

    // Data connections. A PASV reply opens a listener on 127.0.0.1 whose
    // address in the reply can be named differently (to check the client
    // ignores it); PORT makes the peer connect to the client.
    QString PassiveReply(const QString& addressFields = QStringLiteral("127,0,0,1"));
    bool ConnectActive(const QString& portLine);
    QTcpSocket* Data() const { return FData; }
    QString DataPeerAddress; // of the last passive data connection
    // Sends bytes on the data connection once it is up, then closes it.
    void SendData(const QByteArray& bytes, bool close = true);
    bool DataConnected() const;

private:
    void Accepted();
    void ReadControl(QTcpSocket* socket);

    QTcpServer* FServer;
    QTcpServer* FDataServer = nullptr;
    QPointer<QTcpSocket> FControl;
    QPointer<QTcpSocket> FData;
    QHash<QString, QList<QStringList>> FReplies;
    QHash<QString, int> FUses;
    QByteArray FPartial;
};
