#pragma once
// MD5 (RFC 1321): the digest a TI-83 Plus application's signature is made
// over.

#include <array>
#include <cstdint>
#include <vector>

namespace kit {

std::array<std::uint8_t, 16> md5(const std::uint8_t *data, std::size_t size);

} // namespace kit
