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

namespace kit {

std::string flashFile(const std::vector<std::uint8_t> &data, const std::string &name);

// The bytes of a .8xk file's application (pages laid end to end) and its
// name; nullopt and `error` on a fault. Bounded: at most 256 pages.
std::optional<std::vector<std::uint8_t>> readFlashFile(const std::string &file, std::string *name,
                                                       std::string *error);

} // namespace kit
