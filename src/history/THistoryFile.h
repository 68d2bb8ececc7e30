#pragma once
#include <QString>

class THistory;

// hist.dat and the older history.dat in the data directory: loaded when the
// data module is created, written when it is destroyed. Failures are shown
// in error boxes, since no main window exists at either moment.
class THistoryFile {
public:
    explicit THistoryFile(THistory& history);

    void LoadHistory();
    void SaveHistory();
    void ImportLegacyHistory();

    QString FileName() const;
    QString LegacyFileName() const;
    QString BackupFileName() const { return FileName() + QStringLiteral(".bak"); }

    // How long the last save took to encode and write, to sync, and to rename.
    struct TSaveTimes {
        qint64 WriteNs = 0;
        qint64 SyncNs = 0;
        qint64 CommitNs = 0;
    };
    TSaveTimes LastSaveTimes;

    // No history file comes anywhere near this size.
    static constexpr qint64 MaxFileBytes = 64LL * 1024 * 1024;

private:
    // hist.dat's whole records; a failure is shown and the records before it kept.
    void ReadHistFile();
    // Replaces hist.dat with the history, atomically; raises EInOutError.
    void WriteHistFile();
    // A hist.dat that could not be read whole keeps its bytes as hist.dat.bak
    // before anything replaces or deletes it.
    void KeepUnreadOriginal();

    THistory& FHistory;
    bool FKeepOriginal = false;
    // The records as hist.dat last held them whole (read or written), to
    // tell a run that changed nothing; empty when it is not known.
    QByteArray FSavedDigest;
    bool FRefused = false; // too large to be a history: never written over
    QByteArray Digest() const;
};
