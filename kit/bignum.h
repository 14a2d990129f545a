#pragma once
// Unsigned integers of any size, for the signatures of applications (a
// modulus of at most 512 bits): enough arithmetic to take square roots
// modulo a prime and to check them, nothing more. Values are small, so the
// division is bit by bit.

#include <cstdint>
#include <string>
#include <vector>

namespace kit {

class BigNum {
public:
    BigNum() = default;
    explicit BigNum(std::uint32_t v) {
        if (v)
            m_limbs.push_back(v);
    }
    // Bytes least significant first, as the key files and signatures hold them.
    static BigNum fromLittleEndian(const std::uint8_t *bytes, std::size_t size);
    std::vector<std::uint8_t> toLittleEndian() const; // no trailing zero bytes

    bool isZero() const { return m_limbs.empty(); }
    std::uint32_t low() const { return m_limbs.empty() ? 0 : m_limbs[0]; }
    std::size_t bits() const;
    bool bit(std::size_t i) const;

    friend int compare(const BigNum &a, const BigNum &b);
    friend bool operator==(const BigNum &a, const BigNum &b) { return compare(a, b) == 0; }
    friend bool operator!=(const BigNum &a, const BigNum &b) { return compare(a, b) != 0; }
    friend bool operator<(const BigNum &a, const BigNum &b) { return compare(a, b) < 0; }

    friend BigNum operator+(const BigNum &a, const BigNum &b);
    friend BigNum operator-(const BigNum &a, const BigNum &b); // a >= b
    friend BigNum operator*(const BigNum &a, const BigNum &b);
    friend BigNum operator%(const BigNum &a, const BigNum &m); // m != 0
    BigNum half() const;                                       // this / 2
    BigNum quarter() const { return half().half(); }

private:
    void trim();
    std::vector<std::uint32_t> m_limbs; // least significant first, no zero at the top
};

// base^exponent mod m (m != 0).
BigNum powMod(const BigNum &base, const BigNum &exponent, const BigNum &m);
// x mod m, then m minus that (the negation modulo m), 0 staying 0.
BigNum negMod(const BigNum &x, const BigNum &m);

} // namespace kit
