#pragma once
// The errors of a build with their causes first: an error that explains
// others (an #if left open, an unknown directive or macro, an include that
// is not there) is listed first, and the errors after it, which may only
// follow from it, are counted in one line rather than listed.

#include "diagnostics.h"

#include <string>
#include <vector>

namespace z80 {

// The errors to list; *following: how many after the first cause are not.
std::vector<Diagnostic> causesFirst(std::vector<Diagnostics::Message> errors, size_t *following);

} // namespace z80
