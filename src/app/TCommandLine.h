#pragma once
#include "platform/TRegistryLocation.h"

#include <QStringList>
#include <optional>

// The program's options: --registry PATH, --help and --version, and the
// toolkit's own. Read whole before the application object exists, so that
// --help and --version work without a display, and a wrong option or a bad
// path ends the program before anything is created.
class TCommandLine {
public:
    // Exit status for a command line the program cannot act on.
    static constexpr int UsageError = 2;

    explicit TCommandLine(const QStringList& arguments);
    // Set when the program must end at once with this status (after --help,
    // --version, or an error printed on stderr).
    std::optional<int> ExitStatus() const { return FExitStatus; }
    // The machine registry --registry names (the data directory's when absent).
    const TRegistryLocation& Registry() const { return FRegistry; }

private:
    std::optional<int> FExitStatus;
    TRegistryLocation FRegistry;
};
