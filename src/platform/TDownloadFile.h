#pragma once
#include <QString>

// The local file a download writes. It is opened never through a link and
// only ever as a plain file: a link, a device or a folder at that name is
// refused, not followed or truncated. A new file is made with O_EXCL and
// mode 0644 less the umask (it holds only what the server sent).
class TDownloadFile {
public:
    TDownloadFile() = default;
    TDownloadFile(const TDownloadFile&) = delete;
    TDownloadFile& operator=(const TDownloadFile&) = delete;
    ~TDownloadFile() { Close(); }

    // false when it cannot be had; ErrorText() then names the file and why.
    bool Open(const QString& path);
    bool IsOpen() const { return FFd >= 0; }
    // Open made the file (nothing stood at that name before).
    bool Created() const { return FCreated; }
    qint64 Size() const;
    // Empties the file and writes from its first byte again.
    bool Truncate();
    // Writes from this offset on (a resumed download).
    void ResumeAt(qint64 offset);
    // The whole block, or false with the reason kept for ErrorText().
    bool Write(const char* data, qint64 length);
    QString ErrorText() const;
    void Close();

    // Deletes the plain file at path; a link or anything else that stands
    // there is left alone.
    static void Remove(const QString& path);

private:
    QString FPath;
    int FFd = -1;
    int FError = 0; // errno of the last failure; -1: not a plain file
    bool FCreated = false;
};
