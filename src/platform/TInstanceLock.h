#pragma once
#include <QLockFile>
#include <QString>
#include <memory>

// One running copy per data directory: two would overwrite each other's
// history and profiles. The lock is taken over from a copy that died.
class TInstanceLock {
public:
    enum class TResult { Acquired, HeldByAnother, FolderNotWritable, NotALockFile };

    explicit TInstanceLock(const QString& dataDirectory);
    // false when the lock is not this copy's; Result() says why.
    bool Acquire();
    TResult Result() const { return FResult; }
    // For the user, when Acquire failed: what is wrong and what to do.
    QString ProblemText() const;
    QString FileName() const { return FFileName; }

private:
    QString FFileName;
    std::unique_ptr<QLockFile> FLock;
    TResult FResult = TResult::HeldByAnother;
    QString FDetail;
};
