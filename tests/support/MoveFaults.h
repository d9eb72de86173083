// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Faults injected into single steps of a move through the system-call table:
// the route a move has to take (plain rename, link and unlink, copy across file
// systems) and one failing step on it. The primitive's tests strike every move;
// the command tests strike one move in the middle of a batch.
#include "fileops/FileSystem.h"

#include <QByteArray>
#include <string>
#include <vector>

namespace sortello::test {

enum class Route { Rename, LinkThenUnlink, Copy, CopyNamedTemp, CopyReadWrite, CopyNoHardLinks };

struct MoveFault {
    const char* label;
    int error; // what the failed move reports
    void (*arm)(SysCalls&);
    bool intruder = false;    // someone else's file takes the target name meanwhile
    bool growsSource = false; // the source gains SourceGrowth while it is copied
};

// Every fault on each route that takes its step.
struct FaultCase {
    MoveFault fault;
    Route route;
    std::string name() const;
};
std::vector<FaultCase> faultCases();

inline constexpr char SourceGrowth[] = "more";
inline constexpr char IntruderBytes[] = "intruder";

// A table whose moves take the route. The faults armed on it strike only the
// move numbered strikeAt (counted from 1 by the move's first rename), or every
// move when it is 0. Resets the move count.
SysCalls tableFor(Route route, int strikeAt = 0);
SysCalls armedTable(const FaultCase& faultCase, int strikeAt = 0);

// Faults actually injected since the program started; a test that expected
// one and sees no change tested nothing.
long long faultsInjected();

} // namespace sortello::test
