#include "appheader.h"

#include <cstdio>

namespace kit {
namespace {

std::string hex(const std::vector<std::uint8_t> &b, std::size_t start, std::size_t size) {
    std::string out;
    char two[3];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(two, sizeof two, "%02X", b[start + i]);
        out += two;
    }
    return out;
}

std::string thousands(std::size_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

} // namespace

std::optional<std::size_t> statedLength(const std::vector<std::uint8_t> &bytes) {
    if (bytes.size() < 6 || bytes[0] != 0x80 || bytes[1] != 0x0F)
        return std::nullopt;
    std::size_t n = 0;
    for (std::size_t i = 2; i < 6; ++i)
        n = n << 8 | bytes[i];
    return n + 6;
}

PreparedApp prepareApplication(std::vector<std::uint8_t> bytes) {
    PreparedApp r;
    if (bytes.size() < 6 || bytes[0] != 0x80 || bytes[1] != 0x0F) {
        r.error = "an application starts with its header's length field, 80 0Fh and four bytes";
        return r;
    }
    // The header's fields, up to the program image.
    const std::size_t end = std::min(bytes.size(), kMaxHeader);
    std::optional<AppField> key, name, pages, date, image;
    bool dateSignature = false;
    std::size_t at = 6;
    while (!image) {
        const auto f = readField(bytes, at, end);
        if (!f) {
            r.error = "the header has no program image field (80 7Fh and four bytes) among its "
                      "first 128 bytes, and it must end with one";
            return r;
        }
        switch (f->type) {
        case 0x8010:
            key = f;
            break;
        case 0x8040:
            name = f;
            break;
        case 0x8080:
            pages = f;
            break;
        case 0x0320:
            date = f;
            // The date's signature field follows the date stamp.
            if (const auto s = readField(bytes, f->next, end))
                dateSignature = (s->type & 0xFF00) == 0x0200;
            break;
        case 0x8070:
            image = f;
            break;
        default:
            break;
        }
        at = f->next;
    }
    if (!key || key->size == 0) {
        r.error = "the header has no key number (80 12h 01h 04h for the freeware key)";
        return r;
    }
    r.keyId = hex(bytes, key->start, key->size);
    if (!name || name->size == 0) {
        r.error = "the header has no name (80 48h and 8 characters)";
        return r;
    }
    if (name->size > 8) {
        r.error = "the name field holds " + std::to_string(name->size) +
                  " characters; an application's name has at most 8";
        return r;
    }
    r.name.assign(bytes.begin() + std::ptrdiff_t(name->start),
                  bytes.begin() + std::ptrdiff_t(name->start + name->size));
    for (unsigned char c : r.name)
        if (c < 0x20 || c > 0x7E) {
            r.error = "the name holds a byte that is no character (" +
                      hex(bytes, name->start, name->size) + ")";
            return r;
        }
    if (!pages || pages->size != 1) {
        r.error = "the header has no one-byte page count (80 81h and a byte)";
        return r;
    }
    if (!date || !dateSignature) {
        r.error = "the header has no date stamp (03 26h 09 04h ...) followed by its signature "
                  "(02 0Dh 40h ...), which the calculator needs";
        return r;
    }

    // A length of 55 modulo 64 is hashed wrongly by some boot code.
    if (bytes.size() % 64 == 55)
        bytes.push_back(0);
    const std::size_t size = bytes.size();
    const std::size_t pageCount = (size + kAppPage - 1) / kAppPage;
    if (pageCount > kMaxPages) {
        r.error = "the application is " + std::to_string(pageCount) +
                  " pages; its header counts at most " + std::to_string(kMaxPages);
        return r;
    }
    // The signature may not cross into another page.
    const std::size_t room = pageCount * kAppPage - size;
    const std::size_t signature = 3 + 64 + 2;
    if (room < signature) {
        r.error = "the application ends " + std::to_string(room) + " byte" +
                  (room == 1 ? "" : "s") + " before the end of page " +
                  std::to_string(pageCount - 1) + ", and its signature (up to " +
                  std::to_string(signature) +
                  " bytes) must fit on the last page: make it that much smaller, or start "
                  "another page";
        return r;
    }
    for (std::size_t p = 0; p < size; p += kAppPage)
        if (bytes[p] == 0xFF) {
            r.error = "page " + std::to_string(p / kAppPage) +
                      " begins with FFh: the calculator erases such a page when it "
                      "tidies its archive";
            return r;
        }
    if (pageCount > 1 && size % kAppPage != 0 && size % kAppPage < 1024)
        r.warnings.push_back("the last page holds only " + thousands(size % kAppPage) +
                             " bytes: the application takes a whole page of 16,384 for them");
    const std::size_t length = size - 6;
    for (int i = 0; i < 4; ++i)
        bytes[2 + std::size_t(i)] = std::uint8_t(length >> (8 * (3 - i)));
    bytes[pages->start] = std::uint8_t(pageCount);
    r.pages = int(pageCount);
    r.bytes = std::move(bytes);
    return r;
}

} // namespace kit
