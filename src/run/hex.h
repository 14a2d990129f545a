#pragma once
// Addresses as the runner's messages write them: four hex digits and an h
// (two for a port).

#include <cstdio>
#include <string>

namespace run {

inline std::string hex4(unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "%04Xh", v & 0xFFFF);
    return b;
}

inline std::string hex2(unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02Xh", v & 0xFF);
    return b;
}

} // namespace run
