#pragma once
// What each OS call the runner answers does, in one table: its effect, what
// it reads, what it gives back and the registers it may change besides. The
// editor's hover shows it; anything that explains a call reads it here.

#include <string>
#include <string_view>
#include <vector>

namespace run {

struct RomCallDoc {
    std::string name;     // as programs write it: "_PutS"
    std::string what;     // what it does
    std::string inputs;   // empty: none
    std::string outputs;  // empty: none beyond the effect
    std::string destroys; // registers it may change besides its outputs
};

// Every call described, those with a shared pattern (_OP1ToOP2, _OP2Set5,
// _PushRealO1 ...) one by one.
const std::vector<RomCallDoc> &romCallDocs();
// The description of a call by its name (any letter case), or null.
const RomCallDoc *romCallDoc(std::string_view name);
// The description as lines of text: what, In:, Out:, Destroys:.
std::string describe(const RomCallDoc &doc);

} // namespace run
