#pragma once
// Signing a TI-83 Plus application as the calculator checks it (TI's Rabin
// scheme, as RabbitSign's manual and source describe it and spasm-ng's
// signer does it): the MD5 digest of the application (header and code, not
// the signature), read as a little-endian number h, becomes m = 256h + 1;
// with the key's factors p = 3 and q = 7 (mod 8), exactly one of -2m, -m,
// m, 2m (f = 0, 1, 2, 3) is a square modulo n = pq, and the signature is a
// square root s of it. The calculator computes s*s mod n and compares.
//
// The signature follows the application as the field 02 2D, a length
// byte, s (little-endian), then f as a number (00, or 01 and f), padded
// with FFh to 96 bytes without crossing the end of the last page.
//
// The key file is the Rabin form of TI's SDK and RabbitSign ("0104.key"):
// three lines, n, p and q, each two hex digits giving its length in bytes
// (four digits also read) and then the bytes, least significant first.

#include "bignum.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kit {

struct SigningKey {
    BigNum n, p, q;
};

// The calculators check signatures of at most 512 bits.
constexpr std::size_t kMaxModulusBytes = 64;
// The field 02 2D LL, at most 64 bytes of s, then 01 f.
constexpr std::size_t kMaxSignatureBytes = 3 + kMaxModulusBytes + 2;
constexpr std::size_t kSignatureArea = 96;

// Reads a key file's text; on a fault, nullopt and `error` says what is wrong.
std::optional<SigningKey> readKey(const std::string &text, std::string *error);

// The public key n: the key file's first line; nullopt when it is not a
// number in the key format.
std::optional<BigNum> readModulus(const std::string &text);

// The signature field of `app` (its bytes up to the signature); empty and
// `error` set when the key cannot sign it.
std::vector<std::uint8_t> signApplication(const std::vector<std::uint8_t> &app,
                                          const SigningKey &key, std::string *error);

// Whether `signature` (the bytes after the application) is a valid
// signature of `app` under the public key n; `why` says why not.
bool verifyApplication(const std::vector<std::uint8_t> &app,
                       const std::vector<std::uint8_t> &signature, const BigNum &n,
                       std::string *why);

} // namespace kit
