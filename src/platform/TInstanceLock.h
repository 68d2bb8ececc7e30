#pragma once
#include <QLockFile>
#include <QString>
#include <memory>

// One running copy per data directory: two would overwrite each other's
// history and profiles. The lock is taken over from a copy that died.
class TInstanceLock {
public:
    explicit TInstanceLock(const QString& dataDirectory);
    // false when another running copy holds the directory.
    bool Acquire();
    QString FileName() const { return FFileName; }

private:
    QString FFileName;
    std::unique_ptr<QLockFile> FLock;
};
