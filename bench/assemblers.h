#pragma once
// A whole build with the kit (sh asm.bat NAME: the script, qvasm writing
// the listing and labels, pack8xp) against spasm-ng writing its listing and
// labels too (-T -L), on the same generated program shaped like public ones:
// several files, an include laid out like the calculator's standard one,
// bcall macros, sprites. Times are processor time, not the wall clock.

#include <QString>

struct AssemblerTimes {
    double ours = 0, spasm = 0; // median processor milliseconds of one build
    bool spasmFound = false;    // spasm-ng was found and run
    bool sameBytes = false;     // both wrote the same program
};

// spasm-ng as QUORVIN_SPASM names it, on the PATH, or where this machine
// builds it; empty when there is none.
QString findSpasm();

// Builds the program in `dir` `reps` times with each, alternately; `kit`
// holds asm.bat beside qvasm and pack8xp.
AssemblerTimes timeAssemblers(const QString &kit, const QString &spasm, const QString &dir,
                              int reps);
