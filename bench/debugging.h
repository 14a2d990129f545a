#pragma once
// The debugger as a user waits on it: the runner flat out under it with 100
// breakpoints and a watched byte, steps back through ten seconds of history,
// what that history holds, and a step in the editor with the paused line
// marked and the debug pane filled, both painted.

#include <QString>

#include <cstdint>
#include <vector>

class Form1;

struct DebuggerTimes {
    double runMs = 0, runCpuMs = 0; // the run of `seconds`: the wall clock, processor time
    double backMs = 0;              // one step back at its end
    double backToBreakMs = 0;       // back to a breakpoint hit in its first second
    double historyMiB = 0;          // the history kept
};

// Medians over `reps` runs of `seconds` of calculator time of `code` (a
// program that loops without end).
DebuggerTimes timeDebugger(const std::vector<std::uint8_t> &code, int seconds, int reps);

// The median milliseconds of one step into in `form`'s editor, of a program
// built in `dir` from a source it opens: the debugger's step, the arrow on
// the line, the pane and both windows painted. Negative when it could not be set up.
double timeDebugStep(Form1 &form, const QString &dir, int steps);
