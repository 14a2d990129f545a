#pragma once
// An application's header as a source writes it, for the tests that build
// applications: the fields TI's developer guide lists, as spasm-ng's app.inc
// writes them (length and page count are left for the build to fill), no
// splash screen, the date stamp with a signature left as zeros, and the
// program image field.

#include <string>

inline std::string appHeader(const std::string &name) {
    return " .org $4000\n"
           " .db $80,$0F,0,0,0,0\n"
           " .db $80,$12,1,4\n"
           " .db $80,$40+" +
           std::to_string(name.size()) + ",\"" + name +
           "\"\n"
           " .db $80,$81,0\n"
           " .db $80,$90\n"
           " .db $03,$26,$09,$04,$04,$6F,$1B,$80\n"
           " .db $02,$0D,$40\n"
           " .block 64\n"
           " .db $80,$7F,0,0,0,0\n";
}
