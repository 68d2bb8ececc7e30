#pragma once
#include <sys/stat.h>
#include <sys/types.h>

// Which file a name stood for, and in which state: another file, or the
// same one written since, compares unequal.
struct TFileIdentity {
    dev_t Dev = 0;
    ino_t Ino = 0;
    off_t Size = -1;
    long long MTimeNs = 0;
    bool operator==(const TFileIdentity&) const = default;

    static TFileIdentity Of(const struct stat& st) {
        return {st.st_dev, st.st_ino, st.st_size,
                st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec};
    }
};
