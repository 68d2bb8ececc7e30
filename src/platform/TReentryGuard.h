#pragma once

// Holds a re-entry flag set for the life of a scope, and clears it however
// the scope ends, a failure included: a flag left set would refuse every
// later call.
class TReentryGuard {
public:
    explicit TReentryGuard(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TReentryGuard() { FFlag = false; }
    TReentryGuard(const TReentryGuard&) = delete;
    TReentryGuard& operator=(const TReentryGuard&) = delete;

private:
    bool& FFlag;
};
