#pragma once
// A tests file run whole: read and checked, its program (NAME.z80 or
// NAME.asm beside it) assembled in memory, each test run on a fresh machine.

#include "check/program.h"
#include "check/runtest.h"
#include "check/testfile.h"

#include <string>
#include <vector>

namespace check {

struct SuiteOptions {
    std::string filter;  // only the tests whose names hold this text
    bool update = false; // write the expected pictures
    PictureFiles *pictures = nullptr;
    z80::Options assembler;                    // include folders and defines, as a build has them
    std::string workingFolder;                 // relative paths start here; empty: the process's
    const std::atomic<bool> *cancel = nullptr; // set from another thread to stop
};

struct FileResult {
    std::string path;    // the tests file, as named
    std::string program; // its program, as shown; empty when none was found
    TestsFile tests;
    std::vector<std::string> errors; // the program's: not found, or does not assemble
    std::vector<TestResult> results; // of the tests the filter kept, in the file's order
    std::size_t notRun = 0;          // tests the filter kept that could not run (errors)
    bool badTests() const { return !tests.ok(); }
    std::size_t failed() const; // notRun included
    std::size_t passed() const;
};

// `path` as the user named it; the reader gives the files.
FileResult runTestsFile(const std::string &path, z80::FileReader &reader,
                        const SuiteOptions &options);

// The program a tests file tests: NAME.z80 or NAME.asm beside it, in any
// letter case; empty when there is none.
std::string programOf(const std::string &testsPath, z80::FileReader &reader,
                      const std::string &workingFolder = {});

} // namespace check
