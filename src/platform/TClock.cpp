#include "platform/TClock.h"

#include <chrono>

namespace {
TClockSource* CurrentSource = nullptr;
}

uint32_t TClock::GetTickCount() {
    if (CurrentSource)
        return CurrentSource->GetTickCount();
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

QDateTime TClock::Now() {
    return CurrentSource ? CurrentSource->Now() : QDateTime::currentDateTime();
}

void TClock::SetSource(TClockSource* source) {
    CurrentSource = source;
}
