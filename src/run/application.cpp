// Reading a Flash application for running: the pages from the .8xk file's
// Intel HEX text, then where the calculator starts it. TI's developer guide
// ("Application Header", "Branch Table Placement"): the header is a chain of
// fields inside the first, 80 0Fh, which holds the application's length; the
// field 80 7xh ends it, and execution begins at the address right after.

#include "run/program.h"

#include "z80/flashfile.h"

namespace run {

namespace {

constexpr std::size_t kPage = 0x4000;

} // namespace

Program readApplication(const std::vector<std::uint8_t> &file) {
    Program p;
    if (file.size() > kMaxApplicationFileBytes) {
        p.error = "the file has " + std::to_string(file.size()) +
                  " bytes, more than an application file of " +
                  std::to_string(kMaxApplicationPages) + " pages can have (" +
                  std::to_string(kMaxApplicationFileBytes) + ")";
        return p;
    }
    std::string why;
    const auto bytes = z80::readFlashFile(std::string(file.begin(), file.end()), &p.name, &why);
    if (!bytes) {
        p.error = "the application file is damaged: " + why;
        return p;
    }
    const std::size_t pages = (bytes->size() + kPage - 1) / kPage;
    if (pages == 0) {
        p.error = "the application file holds no bytes";
        return p;
    }
    if (pages > kMaxApplicationPages) {
        p.error = "the application has " + std::to_string(pages) + " pages, more than the " +
                  std::to_string(kMaxApplicationPages) + " of a calculator's whole Flash";
        return p;
    }
    const auto first = z80::readField(*bytes, 0, bytes->size());
    if (!first || first->type != 0x8000) {
        p.error = "the application does not begin with a header (80 0Fh)";
        return p;
    }
    const std::size_t end = std::min(bytes->size(), kPage);
    std::size_t at = first->start, entry = 0;
    int headerPages = 0;
    for (int n = 0; n < 64 && !entry; ++n) {
        const auto f = z80::readField(*bytes, at, end);
        if (!f)
            break;
        if (f->type == 0x8080 && f->size == 1)
            headerPages = (*bytes)[f->start];
        if (f->type == 0x8070)
            entry = f->next;
        at = f->next;
    }
    if (!entry) {
        p.error = "the application's header has no end (the field 80 7xh) on its first page";
        return p;
    }
    if (headerPages != int(pages)) {
        p.error = "the application's header gives " + std::to_string(headerPages) +
                  " page(s) (80 81h), and the file holds " + std::to_string(pages);
        return p;
    }
    p.application = *bytes;
    p.applicationPages = int(pages);
    p.entry = std::uint16_t(0x4000 + entry);
    return p;
}

} // namespace run
