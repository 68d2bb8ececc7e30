#pragma once
#include <QDateTime>
#include <cstdint>

// The program's time: a millisecond tick count and the local time of day.
// Tests replace the source to set both.
class TClockSource {
public:
    virtual ~TClockSource() = default;
    virtual uint32_t GetTickCount() = 0;
    virtual QDateTime Now() = 0;
};

namespace TClock {
uint32_t GetTickCount();
QDateTime Now();
// nullptr restores the system clock.
void SetSource(TClockSource* source);
} // namespace TClock
