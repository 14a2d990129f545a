#include "appsign.h"

#include "md5.h"

#include "base/lines.h"

#include <cctype>

namespace kit {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = char(std::toupper(static_cast<unsigned char>(c)));
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// "LL" then LL bytes in hex (or "LLLL" and as many), least significant first.
std::optional<BigNum> readNumber(const std::string &line) {
    for (std::size_t digits : {2, 4}) {
        if (line.size() < digits)
            continue;
        std::size_t count = 0;
        bool ok = true;
        for (std::size_t i = 0; i < digits && ok; ++i) {
            const int d = hexDigit(line[i]);
            ok = d >= 0;
            count = count * 16 + std::size_t(d < 0 ? 0 : d);
        }
        if (!ok || count == 0 || line.size() != digits + 2 * count)
            continue;
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = digits; i < line.size() && ok; i += 2) {
            const int hi = hexDigit(line[i]), lo = hexDigit(line[i + 1]);
            ok = hi >= 0 && lo >= 0;
            bytes.push_back(std::uint8_t(hi * 16 + lo));
        }
        if (ok)
            return BigNum::fromLittleEndian(bytes.data(), bytes.size());
    }
    return std::nullopt;
}

// Legendre symbol of a modulo the odd prime p: 1, or -1 (0 when p divides a).
int legendre(const BigNum &a, const BigNum &p) {
    const BigNum r = powMod(a, (p - BigNum(1)).half(), p);
    if (r.isZero())
        return 0;
    return r == BigNum(1) ? 1 : -1;
}

// T_f(h): m = 256h + 1, then -2m, -m, m or 2m modulo n for f = 0..3.
BigNum transform(const BigNum &hash, int f, const BigNum &n) {
    const BigNum m = hash * BigNum(256) + BigNum(1);
    switch (f) {
    case 0:
        return negMod(m + m, n);
    case 1:
        return negMod(m, n);
    case 2:
        return m % n;
    default:
        return (m + m) % n;
    }
}

BigNum digest(const std::vector<std::uint8_t> &app) {
    const auto d = md5(app.data(), app.size());
    return BigNum::fromLittleEndian(d.data(), d.size());
}

// A square root of x modulo the prime p = 3 (mod 4): x^((p+1)/4).
BigNum root(const BigNum &x, const BigNum &p) {
    return powMod(x, (p + BigNum(1)).quarter(), p);
}

// A key file's line without its blanks and tabs.
std::string withoutBlanks(std::string_view line) {
    std::string out;
    for (char c : line)
        if (c != ' ' && c != '\t')
            out += c;
    return out;
}

} // namespace

std::optional<BigNum> readModulus(const std::string &text) {
    base::LineSplitter split(text);
    std::string_view first;
    split.next(&first);
    const auto n = readNumber(withoutBlanks(first));
    if (!n || n->toLittleEndian().size() > kMaxModulusBytes)
        return std::nullopt;
    return n;
}

std::optional<SigningKey> readKey(const std::string &text, std::string *error) {
    std::vector<std::string> lines;
    base::LineSplitter split(text);
    for (std::string_view line; split.next(&line);)
        lines.push_back(withoutBlanks(line));
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    if (lines.size() != 3) {
        *error = "it has " + std::to_string(lines.size()) +
                 " lines; a signing key has three: n, p and q";
        return std::nullopt;
    }
    if (lines[0].size() < 11) {
        *error = "it starts with a key number: it is an RSA key (of the TI-89's kind), which "
                 "cannot sign TI-83 Plus applications";
        return std::nullopt;
    }
    SigningKey key;
    BigNum *parts[3] = {&key.n, &key.p, &key.q};
    const char *names[3] = {"n", "p", "q"};
    for (int i = 0; i < 3; ++i) {
        const auto v = readNumber(lines[std::size_t(i)]);
        if (!v) {
            *error = std::string("line ") + std::to_string(i + 1) + " (" + names[i] +
                     ") is not a length in hex followed by that many bytes in hex";
            return std::nullopt;
        }
        *parts[i] = *v;
    }
    if (key.n.toLittleEndian().size() > kMaxModulusBytes ||
        key.p.toLittleEndian().size() > kMaxModulusBytes ||
        key.q.toLittleEndian().size() > kMaxModulusBytes) {
        *error = "n, p or q has more than 512 bits, more than the calculator checks";
        return std::nullopt;
    }
    if (key.p * key.q != key.n) {
        *error = "p times q is not n";
        return std::nullopt;
    }
    // TI's scheme needs p and q of 3 and 7 modulo 8 (in either order).
    const unsigned pm = key.p.low() % 8, qm = key.q.low() % 8;
    if (pm == 7 && qm == 3)
        std::swap(key.p, key.q);
    else if (!(pm == 3 && qm == 7)) {
        *error = "its factors are not 3 and 7 modulo 8, as the calculator's scheme needs";
        return std::nullopt;
    }
    return key;
}

std::vector<std::uint8_t> signApplication(const std::vector<std::uint8_t> &app,
                                          const SigningKey &key, std::string *error) {
    const BigNum h = digest(app);
    // With p = 3, q = 7 (mod 8): (-1|p) = (-1|q) = -1, (2|p) = -1, (2|q) = 1,
    // so exactly one f makes T_f(h) a square modulo both.
    for (int f = 0; f < 4; ++f) {
        const BigNum x = transform(h, f, key.n);
        if (legendre(x, key.p) != 1 || legendre(x, key.q) != 1)
            continue;
        const BigNum r = root(x % key.p, key.p), s = root(x % key.q, key.q);
        // s + q * ((r - s) * q^-1 mod p), q^-1 = q^(p-2) mod p.
        const BigNum qInverse = powMod(key.q, key.p - BigNum(2), key.p);
        const BigNum difference = (r + key.p - s % key.p) % key.p;
        const BigNum sig = s + key.q * ((difference * qInverse) % key.p);
        std::vector<std::uint8_t> out = {0x02, 0x2D};
        const std::vector<std::uint8_t> bytes = sig.toLittleEndian();
        out.push_back(std::uint8_t(bytes.size()));
        out.insert(out.end(), bytes.begin(), bytes.end());
        if (f == 0) {
            out.push_back(0);
        } else {
            out.push_back(1);
            out.push_back(std::uint8_t(f));
        }
        return out;
    }
    *error = "no square root exists for this application under the key (is it a key of TI's form?)";
    return {};
}

bool verifyApplication(const std::vector<std::uint8_t> &app,
                       const std::vector<std::uint8_t> &signature, const BigNum &n,
                       std::string *why) {
    if (signature.size() < 4 || signature[0] != 0x02 || signature[1] != 0x2D) {
        *why = "no signature field (02 2D) follows the application";
        return false;
    }
    const std::size_t length = signature[2];
    if (length == 0 || 3 + length + 1 > signature.size()) {
        *why = "the signature field is cut short";
        return false;
    }
    const BigNum s = BigNum::fromLittleEndian(signature.data() + 3, length);
    int f = 0;
    const std::uint8_t fLength = signature[3 + length];
    if (fLength == 1 && 3 + length + 2 <= signature.size())
        f = signature[3 + length + 1];
    else if (fLength != 0)
        f = -1;
    if (f < 0 || f > 3) {
        *why = "the signature's f is not 0 to 3";
        return false;
    }
    if ((s * s) % n != transform(digest(app), f, n)) {
        *why = "the signature does not match the application: it was changed after signing, "
               "or signed with another key";
        return false;
    }
    return true;
}

} // namespace kit
