#pragma once
// A Flash application's header, as TI's developer guide for the TI-83 Plus
// describes it and the calculator, RabbitSign and spasm-ng check it: a chain
// of fields, each two bytes (the type, whose low four bits are the size:
// 0-Ch the size itself, Dh/Eh/Fh a size in the next 1/2/4 bytes, big-endian)
// and its contents. The first field, 80 0Fh, holds the length of all that
// follows it up to the signature; the last, 80 7xh, the program image, ends
// the header. Between them: the key number (80 1xh), the name (80 4xh, at
// most 8 characters), the page count (80 81h, one byte), the date stamp
// (03 2xh holding 09 0xh) and its signature (02 0xh), and optional ones
// (revision 80 2xh, build 80 3xh, no splash screen 80 90h...).

#include "z80/flashfile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kit {

using z80::AppField;
using z80::readField;

// What the build made of the application's bytes.
struct PreparedApp {
    std::vector<std::uint8_t> bytes; // length and page count filled in, padded
    std::string name;                // as the header gives it, at most 8 characters
    std::string keyId;               // the key number in hex, "0104"
    int pages = 0;
    std::vector<std::string> warnings;
    std::string error; // empty when the application can be written
};

constexpr std::size_t kAppPage = 0x4000;
constexpr std::size_t kMaxPages = 255; // the page count is one byte
// Where the header must end: TI's tools and Brass reserve 128 bytes for it.
constexpr std::size_t kMaxHeader = 128;

// Checks the header and the pages and fills the length and page count; adds
// a zero byte to a length of 55 modulo 64, which some boot code hashes wrongly
// (RabbitSign's rule).
PreparedApp prepareApplication(std::vector<std::uint8_t> bytes);

// The application's length as its first field states it (the bytes before
// the signature); nullopt when it has no such field.
std::optional<std::size_t> statedLength(const std::vector<std::uint8_t> &bytes);

} // namespace kit
