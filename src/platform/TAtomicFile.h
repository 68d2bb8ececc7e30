#pragma once
#include "platform/TExceptions.h"

#include <QByteArray>
#include <QString>

// A failed file operation, with the text users know from the program's
// file handling ("Read beyond end of file", "Disk full", ...).
class EInOutError : public Exception {
public:
    EInOutError(int errorNumber, const QString& message)
        : Exception(message), ErrorNumber(errorNumber) {}
    int ErrorNumber;
};

// The message for an errno value.
QString InOutErrorText(int errorNumber);
[[noreturn]] void RaiseInOutError(int errorNumber);

// Reads a whole file of fixed-size records into data: the whole records go
// to data (resized to their count), and a partial record at the end raises
// "Read beyond end of file" after them, as reading record by record would.
void ReadRecordFile(const QString& path, int recordSize, QByteArray& data);

// Replaces a file as a whole: the bytes go to a temporary file beside it,
// which is synced and renamed over the target only by Commit. Until then,
// and if anything fails or the process dies, the old file stays as it was.
class TAtomicFile {
public:
    explicit TAtomicFile(const QString& path);
    ~TAtomicFile(); // removes the temporary file unless committed
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    void Write(const char* data, qsizetype size);
    void Write(const QByteArray& bytes) { Write(bytes.constData(), bytes.size()); }
    // Data to disk; Commit runs it when it was not run before.
    void Sync();
    // Renames over the target and syncs the directory.
    void Commit();

    // Writes bytes as the whole new content of path.
    static void Replace(const QString& path, const QByteArray& bytes);

private:
    QString FPath;
    QByteArray FTemp;
    int FFd = -1;
    bool FSynced = false;
};
