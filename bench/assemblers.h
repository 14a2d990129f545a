#pragma once
// The kit's assembler against spasm-ng, both as whole processes on the same
// generated program: 5,000 lines and an include laid out like the
// calculator's standard one.

#include <QString>

struct AssemblerTimes {
    double ours = 0, spasm = 0; // median milliseconds of one build
    bool spasmFound = false;    // spasm-ng was found and run
    bool sameBytes = false;     // both wrote the same program
};

// spasm-ng as QUORVIN_SPASM names it, on the PATH, or where this machine
// builds it; empty when there is none.
QString findSpasm();

// Builds the program in `dir` `reps` times with each, alternately.
AssemblerTimes timeAssemblers(const QString &qvasm, const QString &spasm, const QString &dir,
                              int reps);
