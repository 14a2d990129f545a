#pragma once
// The .8xk file of a TI-83 Plus application, as TI's link software, TilEm
// and spasm-ng read and write it (RabbitSign's manual gives the layout): a
// 78-byte "**TIFL**" header, then the application in TI's Intel HEX form.
//
// Header: "**TIFL**", version 01 01, flags 01 (hex follows), object type
// 88h, the date as BCD (01 01 19 97, as spasm-ng writes it), the name's
// length and the name (8 bytes, NUL-padded), 23 zero bytes, the calculator
// 73h (TI-83 Plus), the data type 24h (an application), 24 zero bytes, and
// the length of the text that follows (4 bytes, little-endian).
//
// Text: for each page of 16 KB, a record ":02000002PPPPCC" (the page,
// counted from the application's first), then records of 32 bytes at
// addresses from 4000h, ":NNAAAA00DD...CC", each line ended by CR LF; last
// ":00000001FF" without a line end. CC makes each record's bytes sum to 0.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace z80 {

// A field of the application's header (see the kit's appheader.h): the
// chain of fields, each two bytes (the type, whose low four bits are the
// size: 0-Ch the size itself, Dh/Eh/Fh a size in the next 1/2/4 bytes,
// big-endian) and its contents; the field 80 7xh ends the header, and the
// application's code follows it. The kit writes these, the runner reads them.
struct AppField {
    unsigned type = 0; // the two bytes with the size bits cleared: 0x8040 for the name
    std::size_t start = 0, size = 0; // the contents, in bytes from the application's start
    std::size_t next = 0;            // where the field after it starts
};

// The field at `at`, if it and its contents end before `end`.
std::optional<AppField> readField(const std::vector<std::uint8_t> &app, std::size_t at,
                                  std::size_t end);

std::string flashFile(const std::vector<std::uint8_t> &data, const std::string &name);

// The bytes of a .8xk file's application (pages laid end to end) and its
// name; nullopt and `error` on a fault. Bounded: at most 256 pages.
std::optional<std::vector<std::uint8_t>> readFlashFile(const std::string &file, std::string *name,
                                                       std::string *error);

} // namespace z80
