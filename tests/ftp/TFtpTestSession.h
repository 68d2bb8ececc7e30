#pragma once
// A TMFtp against a scripted peer, with every event it raises recorded as a
// line of text ("info 4 USER me", "error 26 ", "LoggedIn", "Quit", ...).
#include "ftp/TMFtp.h"
#include "helpers/TScriptedFtpPeer.h"
#include "helpers/TTestEnvironment.h"

#include <QTest>

class TFtpTestSession : public TZephynTest {
protected:
    void SetUp() override {
        TZephynTest::SetUp();
        Ftp.SetServer(QStringLiteral("127.0.0.1"));
        Ftp.Port = Peer.Port();
        Ftp.Username = QStringLiteral("anonymous");
        Ftp.Password = QStringLiteral("me@example.test");
        Ftp.TimeOutConnect = 5;
        Ftp.RetryInterval = 0;
        Ftp.OnFtpInfo = [this](TMFtp&, FtpInfo info, const QString& text) {
            if (info == ftpiReceived || (info == ftpiProgress && !RecordProgress))
                return;
            QString shown = text;
            shown.replace(QStringLiteral("\r\n"), QStringLiteral("|"));
            Events << QStringLiteral("info %1 %2").arg(int(info)).arg(shown);
        };
        Ftp.OnFtpError = [this](TMFtp&, FtpError error, const QString& text) {
            Events << QStringLiteral("error %1 %2").arg(int(error)).arg(text);
        };
        Ftp.OnFtpNeedInfo = [this](TMFtp&, TMFtpInfoNeeded need, QString& value) {
            Events << QStringLiteral("need %1").arg(int(need));
            value = NeedAnswers.value(need);
        };
        auto record = [this](const char* name) {
            return [this, name](TMFtp&) { Events << QString::fromLatin1(name); };
        };
        Ftp.OnFtpReady = record("Ready");
        Ftp.OnLoggedIn = record("LoggedIn");
        Ftp.OnDirectoryChanged = record("DirectoryChanged");
        Ftp.OnFileReceived = record("FileReceived");
        Ftp.OnFtpQuit = record("Quit");
        Ftp.OnAborted = record("Aborted");
    }

    // The usual anonymous login: 331, 230, a UNIX SYST, REST accepted, PWD "/".
    void ScriptLogin() {
        Peer.Reply(QStringLiteral("USER"), {{QStringLiteral("331 Send password")}});
        Peer.Reply(QStringLiteral("PASS"), {{QStringLiteral("230 Logged in")}});
        Peer.Reply(QStringLiteral("SYST"), {{QStringLiteral("215 UNIX Type: L8")}});
        Peer.Reply(QStringLiteral("REST"), {{QStringLiteral("350 Restarting at 100")},
                                            {QStringLiteral("350 Restarting at 0")}});
        Peer.Reply(QStringLiteral("PWD"), {{QStringLiteral("257 \"/\" is current")}});
        Peer.Reply(QStringLiteral("QUIT"), {{QStringLiteral("221 Bye")}});
        Peer.OnCommand = [](TScriptedFtpPeer& peer, const QString& line) {
            if (line == QLatin1String("QUIT")) {
                peer.Send(QStringLiteral("221 Bye\r\n"));
                peer.CloseControl();
                return true;
            }
            return false;
        };
    }
    bool WaitFor(const QString& event, int ms = 5000) {
        return WaitUntil([&] { return Events.contains(event); }, ms);
    }
    bool LogIn() {
        Ftp.Login();
        return WaitFor(QStringLiteral("LoggedIn"));
    }
    // The events after the first n, for checking one step at a time.
    QStringList Since(qsizetype n) const { return Events.mid(n); }

    TScriptedFtpPeer Peer;
    TMFtp Ftp;
    QStringList Events;
    QHash<int, QString> NeedAnswers;
    bool RecordProgress = false;
};
