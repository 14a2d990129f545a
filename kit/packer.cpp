#include "packer.h"

#include <cctype>

namespace {
void put16(std::vector<std::uint8_t> &out, std::size_t value) {
    out.push_back(std::uint8_t(value & 0xFF));
    out.push_back(std::uint8_t((value >> 8) & 0xFF));
}
} // namespace

PackResult pack8xp(const std::vector<std::uint8_t> &binary, const std::string &name,
                   const std::string &comment) {
    PackResult r;
    if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) {
        r.error = "the program name \"" + name + "\" must start with a letter";
        return r;
    }
    std::string calcName;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) > 0x7F) {
            r.error = "the program name \"" + name + "\" may hold only letters and digits";
            return r;
        }
        calcName += char(std::toupper(static_cast<unsigned char>(c)));
    }
    if (calcName.size() > 8) {
        r.warnings.push_back("the program name \"" + name +
                             "\" is longer than 8 characters; "
                             "the calculator will show it as " +
                             calcName.substr(0, 8));
        calcName.resize(8);
    }
    const std::size_t n = binary.size();
    if (n > kMaxProgramSize) {
        r.error = "the program is " + std::to_string(n) + " bytes; a program file holds at most " +
                  std::to_string(kMaxProgramSize);
        return r;
    }
    if (n < 2 || binary[0] != 0xBB || binary[1] != 0x6D)
        r.warnings.push_back("the program does not start with BB 6D (db 0BBh,6Dh), "
                             "so the calculator will not run it as an assembly program");

    std::vector<std::uint8_t> data;
    data.reserve(n + 19);
    put16(data, 0x0D);
    put16(data, n + 2);
    data.push_back(0x06);
    for (std::size_t i = 0; i < 8; ++i)
        data.push_back(i < calcName.size() ? std::uint8_t(calcName[i]) : 0);
    data.push_back(0); // version
    data.push_back(0); // flags
    put16(data, n + 2);
    put16(data, n);
    data.insert(data.end(), binary.begin(), binary.end());

    std::vector<std::uint8_t> &f = r.file;
    f.reserve(76 + n);
    const char signature[] = "**TI83F*\x1A\x0A";
    f.insert(f.end(), signature, signature + 10);
    f.push_back(0);
    for (std::size_t i = 0; i < 42; ++i)
        f.push_back(i < comment.size() ? std::uint8_t(comment[i]) : 0);
    put16(f, data.size());
    f.insert(f.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t b : data)
        sum += b;
    put16(f, sum & 0xFFFF);
    return r;
}
