#pragma once
// What a run of tests says: lines in the form the output window follows
// (`mul.tests:4: error: mul8: 5 times 3: expected HL=000Fh (15), got
// 000Eh (14)`) with the registers and the last statements run under each
// failed test and a last line `N passed, N failed`; or TAP; or JUnit XML.

#include "check/suite.h"

#include <string>
#include <vector>

namespace check {

struct Totals {
    std::size_t passed = 0, failed = 0;
    bool badTests = false; // a tests file could not be read as one
};
Totals totals(const std::vector<FileResult> &files);

std::vector<std::string> textReport(const std::vector<FileResult> &files);
std::vector<std::string> tapReport(const std::vector<FileResult> &files);
std::string junitReport(const std::vector<FileResult> &files);

} // namespace check
