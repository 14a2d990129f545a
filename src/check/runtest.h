#pragma once
// Runs one test on a fresh machine: the program loaded as a run loads it,
// memory set, then the routine called with the registers given (the rest
// filled with a fixed pattern, so a test cannot pass by chance) or the
// program run with its keys, until it returns, a check in the source fails,
// the runner stops it, or the bound of T-states is reached. Then the
// expectations are compared; each failure names the line to look at.

#include "check/pictures.h"
#include "check/program.h"
#include "check/testfile.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace check {

// What the registers hold when a test does not say: recognisable, and such
// that a pushed one returned to lands where the runner can say so.
struct Pattern {
    static constexpr std::uint16_t af = 0xA555, bc = 0x4BC4, de = 0x4DE4, hl = 0x4E14, ix = 0x4A15;
};

struct Failure {
    std::string at; // file:line
    std::string message;
};

struct TestResult {
    std::string name;
    int line = 0;
    std::vector<Failure> failures;
    std::vector<std::string> notes;   // the registers, the last statements run, the logs
    std::vector<std::string> updated; // PNG files --update wrote
    std::uint64_t cycles = 0;
    bool passed() const { return failures.empty(); }
};

struct RunOptions {
    bool update = false; // write the expected pictures that are missing or differ
    PictureFiles *pictures = nullptr;
    std::string folder;      // the tests file's, for the pictures' names as shown
    std::string wholeFolder; // the same, to read and write them
    // Set from another thread to end the run early: the test fails, saying so.
    const std::atomic<bool> *cancel = nullptr;
};

TestResult runTest(const Test &test, const Program &program, const std::string &testsPath,
                   const RunOptions &options);

} // namespace check
