#include "packer.h"

#include <cctype>

namespace {
void put16(std::vector<std::uint8_t> &out, std::size_t value) {
    out.push_back(std::uint8_t(value & 0xFF));
    out.push_back(std::uint8_t((value >> 8) & 0xFF));
}
} // namespace

std::string calculatorName(const std::string &name) {
    std::string out;
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x80 && std::isalnum(static_cast<unsigned char>(c)))
            out += char(std::toupper(static_cast<unsigned char>(c)));
    if (out.empty())
        return "PROGRAM";
    if (std::isdigit(static_cast<unsigned char>(out[0])))
        out.insert(out.begin(), 'P');
    return out.substr(0, 8);
}

PackResult pack8xp(const std::vector<std::uint8_t> &binary, const std::string &name,
                   const std::string &comment) {
    PackResult r;
    const std::string calcName = calculatorName(name);
    std::string upper;
    for (char c : name)
        upper += char(std::toupper(static_cast<unsigned char>(c)));
    if (calcName != upper)
        r.warnings.push_back("the calculator will show this program as " + calcName +
                             " (a name there is letters and digits, a letter first, at most 8)");
    const std::size_t n = binary.size();
    if (n > kMaxProgramSize) {
        r.error = "the program is " + std::to_string(n) + " bytes; a program file holds at most " +
                  std::to_string(kMaxProgramSize);
        return r;
    }
    if (n < 2 || binary[0] != 0xBB || binary[1] != 0x6D)
        r.warnings.push_back("the program does not start with BB 6D (db 0BBh,6Dh), "
                             "so the calculator will not run it as an assembly program");
    std::uint8_t nameBytes[8] = {};
    for (std::size_t i = 0; i < 8 && i < calcName.size(); ++i)
        nameBytes[i] = std::uint8_t(calcName[i]);
    PackResult packed = packVariable(binary, nameBytes, 0x06, false, true, comment);
    packed.warnings.insert(packed.warnings.begin(), r.warnings.begin(), r.warnings.end());
    return packed;
}

PackResult packVariable(const std::vector<std::uint8_t> &binary, const std::uint8_t (&name)[8],
                        std::uint8_t type, bool archived, bool sized, const std::string &comment) {
    PackResult r;
    const std::size_t n = binary.size() + (sized ? 2 : 0);
    if (n > 0xFFFF - 17) {
        r.error = "the variable's data is " + std::to_string(n) +
                  " bytes; a variable file holds at most " + std::to_string(0xFFFF - 17);
        return r;
    }
    std::vector<std::uint8_t> data;
    data.reserve(n + 17);
    put16(data, 0x0D);
    put16(data, n);
    data.push_back(type);
    data.insert(data.end(), name, name + 8);
    data.push_back(0);                   // version
    data.push_back(archived ? 0x80 : 0); // flags
    put16(data, n);
    if (sized)
        put16(data, binary.size());
    data.insert(data.end(), binary.begin(), binary.end());

    std::vector<std::uint8_t> &f = r.file;
    f.reserve(74 + n);
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
