#pragma once
#include <QString>
#include <cstdint>

// The registry's own functions, for the code that reads performance data the
// way the system offers it: handles, sizes and result codes. The machine
// hive is the file-backed one; HKEY_DYN_DATA (the Windows 95/98 PerfStats
// keys) and HKEY_PERFORMANCE_DATA (the Windows NT data block) are produced
// live from the ppp interfaces and are never stored.
namespace TRegApi {

using HKEY = uintptr_t;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004;
constexpr HKEY HKEY_DYN_DATA = 0x80000006;

constexpr uint32_t KEY_READ = 0x20019;
constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;

constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_INVALID_HANDLE = 6;
constexpr long ERROR_MORE_DATA = 234;
constexpr long ERROR_NO_MORE_ITEMS = 259;

long RegOpenKeyEx(HKEY root, const QString& subKey, uint32_t access, HKEY* result);
// With data null only the size is asked for. A buffer that is too small
// answers ERROR_MORE_DATA (with the size needed, except for
// HKEY_PERFORMANCE_DATA, whose caller grows its buffer until it fits).
long RegQueryValueEx(HKEY key, const QString& name, uint32_t* type, uint8_t* data, uint32_t* size);
// The index-th subkey's name, when it fits a buffer of bufferChars
// characters with its terminating NUL (bufferChars - 1 characters at most).
long RegEnumKey(HKEY key, uint32_t index, QString& name, int bufferChars);
long RegQueryInfoKey(HKEY key, uint32_t* subKeys);
long RegCloseKey(HKEY key);

// Forgets which PerfStats counters were started (tests start from scratch).
void ResetDynData();

} // namespace TRegApi
