#include "z80/flashfile.h"

#include "base/lines.h"

#include <cstdio>

namespace z80 {
namespace {

constexpr std::size_t kPage = 0x4000;
constexpr std::size_t kFlashHeader = 78;

void put32(std::string &out, std::size_t v) {
    for (int i = 0; i < 4; ++i)
        out += char((v >> (8 * i)) & 0xFF);
}

std::string record(unsigned type, unsigned address, const std::uint8_t *data, std::size_t n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, ":%02X%04X%02X", unsigned(n), address, type);
    std::string line = buf;
    unsigned sum = unsigned(n) + (address >> 8) + (address & 0xFF) + type;
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", data[i]);
        line += buf;
        sum += data[i];
    }
    std::snprintf(buf, sizeof buf, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + buf;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::optional<AppField> readField(const std::vector<std::uint8_t> &app, std::size_t at,
                                  std::size_t end) {
    if (end > app.size() || at + 2 > end)
        return std::nullopt;
    AppField f;
    f.type = (unsigned(app[at]) << 8 | app[at + 1]) & 0xFFF0;
    const unsigned nibble = app[at + 1] & 0x0F;
    std::size_t p = at + 2;
    if (nibble <= 0x0C) {
        f.size = nibble;
    } else {
        const std::size_t width = nibble == 0x0D ? 1 : nibble == 0x0E ? 2 : 4;
        if (p + width > end)
            return std::nullopt;
        for (std::size_t i = 0; i < width; ++i)
            f.size = f.size << 8 | app[p + i];
        p += width;
    }
    f.start = p;
    if (f.size > end - p)
        return std::nullopt;
    f.next = p + f.size;
    return f;
}

std::string flashFile(const std::vector<std::uint8_t> &data, const std::string &name) {
    std::string text;
    for (std::size_t page = 0; page * kPage < data.size(); ++page) {
        const std::uint8_t number[2] = {std::uint8_t(page >> 8), std::uint8_t(page)};
        text += record(2, 0, number, 2) + "\r\n";
        for (std::size_t at = page * kPage; at < data.size() && at < (page + 1) * kPage; at += 32) {
            const std::size_t n = std::min<std::size_t>(32, data.size() - at);
            text += record(0, unsigned(0x4000 + at % kPage), data.data() + at, n) + "\r\n";
        }
    }
    text += ":00000001FF";

    std::string out = "**TIFL**";
    out += '\x01';
    out += '\x01';
    out += '\x01';
    out += '\x88';
    out += std::string("\x01\x01\x19\x97", 4);
    const std::size_t length = std::min<std::size_t>(name.size(), 8);
    out += char(length);
    for (std::size_t i = 0; i < 8; ++i)
        out += i < length ? name[i] : '\0';
    out += std::string(23, '\0');
    out += '\x73';
    out += '\x24';
    out += std::string(24, '\0');
    put32(out, text.size());
    return out + text;
}

std::optional<std::vector<std::uint8_t>> readFlashFile(const std::string &file, std::string *name,
                                                       std::string *error) {
    auto fail = [&](const std::string &why) {
        *error = why;
        return std::nullopt;
    };
    if (file.size() < kFlashHeader || file.compare(0, 8, "**TIFL**") != 0)
        return fail("it does not start with a **TIFL** header of 78 bytes");
    if (std::uint8_t(file[0x31]) != 0x24)
        return fail("its header does not say it holds an application (24h)");
    const std::size_t nameLength = std::min<std::size_t>(std::uint8_t(file[16]), 8);
    *name = file.substr(17, nameLength);
    std::size_t textLength = 0;
    for (int i = 3; i >= 0; --i)
        textLength = textLength << 8 | std::uint8_t(file[0x4A + std::size_t(i)]);
    if (textLength > file.size() - kFlashHeader)
        return fail("its header gives a length past the file's end");
    const std::string text = file.substr(kFlashHeader, textLength);
    std::vector<std::uint8_t> out;
    std::size_t page = 0;
    bool ended = false;
    int line = 0;
    base::LineSplitter records(text);
    for (std::string_view view; !ended && records.next(&view);) {
        ++line;
        const std::string rec(view);
        if (rec.empty())
            continue;
        const std::string where = "record " + std::to_string(line);
        if (rec[0] != ':' || rec.size() < 11 || rec.size() % 2 == 0)
            return fail(where + " is not an Intel HEX record");
        std::vector<std::uint8_t> b;
        for (std::size_t i = 1; i + 1 < rec.size(); i += 2) {
            const int hi = hexDigit(rec[i]), lo = hexDigit(rec[i + 1]);
            if (hi < 0 || lo < 0)
                return fail(where + " holds a character that is no hex digit");
            b.push_back(std::uint8_t(hi * 16 + lo));
        }
        if (b[0] + 5u != b.size())
            return fail(where + " has a count that does not match its length");
        unsigned sum = 0;
        for (std::uint8_t x : b)
            sum += x;
        if (sum & 0xFF)
            return fail(where + " has a wrong checksum");
        const unsigned address = unsigned(b[1]) << 8 | b[2];
        switch (b[3]) {
        case 0: {
            if (address < 0x4000 || address + b[0] > 0x8000)
                return fail(where + " places bytes outside 4000h to 7FFFh");
            const std::size_t offset = page * kPage + (address - 0x4000);
            if (offset + b[0] > out.size())
                out.resize(offset + b[0], 0xFF);
            std::copy(b.begin() + 4, b.end() - 1, out.begin() + std::ptrdiff_t(offset));
            break;
        }
        case 1:
            ended = true;
            break;
        case 2:
        case 4:
            if (b[0] != 2)
                return fail(where + " gives a page in other than two bytes");
            page = std::size_t(b[4]) << 8 | b[5];
            if (page >= 256)
                return fail(where + " names page " + std::to_string(page) +
                            "; an application has at most 255");
            break;
        default:
            return fail(where + " has a record type the calculator's files do not use");
        }
    }
    if (!ended)
        return fail("its text has no end record (:00000001FF)");
    return out;
}

} // namespace z80
