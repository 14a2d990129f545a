#include "bignum.h"

#include <algorithm>

namespace kit {

BigNum BigNum::fromLittleEndian(const std::uint8_t *bytes, std::size_t size) {
    BigNum r;
    r.m_limbs.assign((size + 3) / 4, 0);
    for (std::size_t i = 0; i < size; ++i)
        r.m_limbs[i / 4] |= std::uint32_t(bytes[i]) << (8 * (i % 4));
    r.trim();
    return r;
}

std::vector<std::uint8_t> BigNum::toLittleEndian() const {
    std::vector<std::uint8_t> out;
    for (std::uint32_t limb : m_limbs)
        for (int i = 0; i < 4; ++i)
            out.push_back(std::uint8_t(limb >> (8 * i)));
    while (!out.empty() && out.back() == 0)
        out.pop_back();
    return out;
}

void BigNum::trim() {
    while (!m_limbs.empty() && m_limbs.back() == 0)
        m_limbs.pop_back();
}

std::size_t BigNum::bits() const {
    if (m_limbs.empty())
        return 0;
    std::size_t n = (m_limbs.size() - 1) * 32;
    for (std::uint32_t top = m_limbs.back(); top; top >>= 1)
        ++n;
    return n;
}

bool BigNum::bit(std::size_t i) const {
    return i / 32 < m_limbs.size() && (m_limbs[i / 32] >> (i % 32)) & 1;
}

int compare(const BigNum &a, const BigNum &b) {
    if (a.m_limbs.size() != b.m_limbs.size())
        return a.m_limbs.size() < b.m_limbs.size() ? -1 : 1;
    for (std::size_t i = a.m_limbs.size(); i-- > 0;)
        if (a.m_limbs[i] != b.m_limbs[i])
            return a.m_limbs[i] < b.m_limbs[i] ? -1 : 1;
    return 0;
}

BigNum operator+(const BigNum &a, const BigNum &b) {
    BigNum r;
    const std::size_t n = std::max(a.m_limbs.size(), b.m_limbs.size());
    r.m_limbs.resize(n + 1);
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < n; ++i) {
        carry += std::uint64_t(i < a.m_limbs.size() ? a.m_limbs[i] : 0) +
                 (i < b.m_limbs.size() ? b.m_limbs[i] : 0);
        r.m_limbs[i] = std::uint32_t(carry);
        carry >>= 32;
    }
    r.m_limbs[n] = std::uint32_t(carry);
    r.trim();
    return r;
}

BigNum operator-(const BigNum &a, const BigNum &b) {
    BigNum r = a;
    std::int64_t borrow = 0;
    for (std::size_t i = 0; i < r.m_limbs.size(); ++i) {
        std::int64_t d = std::int64_t(r.m_limbs[i]) - borrow -
                         (i < b.m_limbs.size() ? std::int64_t(b.m_limbs[i]) : 0);
        borrow = d < 0;
        r.m_limbs[i] = std::uint32_t(d + (borrow << 32));
    }
    r.trim();
    return r;
}

BigNum operator*(const BigNum &a, const BigNum &b) {
    BigNum r;
    if (a.isZero() || b.isZero())
        return r;
    r.m_limbs.assign(a.m_limbs.size() + b.m_limbs.size(), 0);
    for (std::size_t i = 0; i < a.m_limbs.size(); ++i) {
        std::uint64_t carry = 0;
        for (std::size_t j = 0; j < b.m_limbs.size(); ++j) {
            carry += std::uint64_t(a.m_limbs[i]) * b.m_limbs[j] + r.m_limbs[i + j];
            r.m_limbs[i + j] = std::uint32_t(carry);
            carry >>= 32;
        }
        r.m_limbs[i + b.m_limbs.size()] = std::uint32_t(carry);
    }
    r.trim();
    return r;
}

BigNum operator%(const BigNum &a, const BigNum &m) {
    if (compare(a, m) < 0)
        return a;
    // Bit by bit from the top: r = 2r + bit, less m whenever it reaches m;
    // r stays below 2m, so one limb more than m holds it.
    const std::size_t n = m.m_limbs.size();
    std::vector<std::uint32_t> r(n + 1, 0);
    const auto atLeastM = [&] {
        if (r[n] != 0)
            return true;
        for (std::size_t i = n; i-- > 0;)
            if (r[i] != m.m_limbs[i])
                return r[i] > m.m_limbs[i];
        return true;
    };
    for (std::size_t i = a.bits(); i-- > 0;) {
        std::uint32_t carry = a.bit(i) ? 1 : 0;
        for (std::size_t k = 0; k <= n; ++k) {
            const std::uint32_t top = r[k] >> 31;
            r[k] = r[k] << 1 | carry;
            carry = top;
        }
        if (atLeastM()) {
            std::int64_t borrow = 0;
            for (std::size_t k = 0; k <= n; ++k) {
                const std::int64_t d =
                    std::int64_t(r[k]) - borrow - (k < n ? std::int64_t(m.m_limbs[k]) : 0);
                borrow = d < 0;
                r[k] = std::uint32_t(d + (borrow << 32));
            }
        }
    }
    BigNum out;
    out.m_limbs = std::move(r);
    out.trim();
    return out;
}

BigNum BigNum::half() const {
    BigNum r = *this;
    for (std::size_t i = 0; i < r.m_limbs.size(); ++i) {
        r.m_limbs[i] >>= 1;
        if (i + 1 < r.m_limbs.size())
            r.m_limbs[i] |= r.m_limbs[i + 1] << 31;
    }
    r.trim();
    return r;
}

BigNum powMod(const BigNum &base, const BigNum &exponent, const BigNum &m) {
    BigNum result = BigNum(1) % m;
    const BigNum b = base % m;
    for (std::size_t i = exponent.bits(); i-- > 0;) {
        result = (result * result) % m;
        if (exponent.bit(i))
            result = (result * b) % m;
    }
    return result;
}

BigNum negMod(const BigNum &x, const BigNum &m) {
    const BigNum r = x % m;
    return r.isZero() ? r : m - r;
}

} // namespace kit
