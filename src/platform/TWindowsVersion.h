#pragma once

// The Windows version query: which platform the program runs on.
enum TPlatformId {
    VER_PLATFORM_WIN32s = 0,
    VER_PLATFORM_WIN32_WINDOWS = 1,
    VER_PLATFORM_WIN32_NT = 2
};

namespace TWindowsVersion {
// false when the version cannot be told. ZEPHYN_PLATFORM (win32s, win95, nt)
// overrides; otherwise a machine hive with the Windows NT version key is NT.
bool GetVersionEx(TPlatformId& platformId);
} // namespace TWindowsVersion
