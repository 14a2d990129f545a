// Brass's applications (its manual's "TI Application Development"):
// ".binarymode ti8xapp" makes the build an application, ".variablename"
// names it, ".defpage N, SIZE, ORIGIN" defines its pages and ".page N"
// starts one; page 0 leaves its first 128 bytes (".block 128") for the
// header, which the build writes as Brass's AppHeader does: length, key
// 0104, revision 1, build 1, the name padded to 8, page count, no splash
// screen, the date stamp with its signature, the program image field.

#include "assembler.h"

#include "operands.h"
#include "vocabulary.h"

namespace z80 {

namespace {

// The date stamp and its signature, as every application carries them
// (TI's SDK, Brass and spasm-ng's app.inc write these bytes).
constexpr std::uint8_t kDateStamp[] = {
    0x03, 0x26, 0x09, 0x04, 0x04, 0x6F, 0x1B, 0x80, 0x02, 0x0D, 0x40, 0xA1, 0x6B, 0x99, 0xF6,
    0x59, 0xBC, 0x67, 0xF5, 0x85, 0x9C, 0x09, 0x6C, 0x0F, 0xB4, 0x03, 0x9B, 0xC9, 0x03, 0x32,
    0x2C, 0xE0, 0x03, 0x20, 0xE3, 0x2C, 0xF4, 0x2D, 0x73, 0xB4, 0x27, 0xC4, 0xA0, 0x72, 0x54,
    0xB9, 0xEA, 0x7C, 0x3B, 0xAA, 0x16, 0xF6, 0x77, 0x83, 0x7A, 0xEE, 0x1A, 0xD4, 0x42, 0x4C,
    0x6B, 0x8B, 0x13, 0x1F, 0xBB, 0x93, 0x8B, 0xFC, 0x19, 0x1C, 0x3C, 0xEC, 0x4D, 0xE5, 0x75};

constexpr size_t kHeaderRoom = 128;

} // namespace

bool Assembler::brassApplication(const std::string &key, const std::vector<Token> &t, size_t i) {
    if (key == "binarymode") {
        m_brass = true;
        if (i + 1 < t.size() && lower(t[i + 1].text) == "ti8xapp")
            m_brassApp = m_app = true;
        return true;
    }
    if (key == "variablename") {
        m_brass = true;
        // A string, or a bare name ("[%PROJECT_BINARY%]" gives one).
        if (i + 2 == t.size() && (t[i + 1].kind == Kind::String || t[i + 1].kind == Kind::Name)) {
            m_appName = t[i + 1].text;
            m_appNameAt = m_at;
            m_appNamePlace = m_place;
        }
        return true;
    }
    if (key == "defpage") {
        m_brass = true;
        const auto parts = items(t, i + 1, t.size());
        if (parts.size() < 2 || parts.size() > 3) {
            error(".defpage takes a page number, a size and an origin");
            return true;
        }
        const auto number = value(t, parts[0].first, parts[0].second);
        const auto size = value(t, parts[1].first, parts[1].second);
        const auto origin = parts.size() == 3 ? value(t, parts[2].first, parts[2].second)
                                              : std::optional<std::int64_t>(0);
        if (number && size && origin) {
            if (*number < 0 || *number > 255 || *size <= 0 || *size > 0x10000 || *origin < 0 ||
                *origin > 0xFFFF)
                error(".defpage " + std::to_string(*number) +
                      ": a page is numbered 0 to 255, its size 1 to 65536, its origin 0 to 65535");
            else
                m_pages[*number] = Page{*size, *origin};
        }
        return true;
    }
    // TASM's ".page" alone starts a listing page; Brass's names a page.
    if (key != "page" || i + 1 >= t.size())
        return false;
    m_brass = true;
    const auto number = value(t, i + 1, t.size());
    if (!number)
        return true;
    const auto page = m_pages.find(*number);
    if (page == m_pages.end()) {
        error("page " + std::to_string(*number) + " has no .defpage before it");
        return true;
    }
    if (m_page >= 0) {
        if (*number <= m_page) {
            error("page " + std::to_string(*number) + " after page " + std::to_string(m_page) +
                  ": the kit lays pages out in the order written, so they must come in "
                  "increasing order");
            return true;
        }
        // The page before is filled to its size, and any page between:
        // Brass writes every page defined whole, in the order of their
        // numbers, what no statement wrote holding the empty fill (its
        // Binaries.cs, WriteBinary and FixEmptyFill), a page skipped too.
        if (*number > m_page + 1) {
            m_pagesSkipped.insert(m_index);
            // The calculator erases an application's page that begins with
            // FFh (as the packer says): a page of that fill is no page.
            if (m_brassApp && (m_emptyFill & 0xFF) == 0xFF)
                error("page " + std::to_string(m_page + 1) +
                      " is skipped: it would hold only the empty fill FFh, and the calculator "
                      "erases a page that begins with FFh (write on it, or choose another fill "
                      "with .binaryfill)");
        }
        for (std::int64_t p = m_page; p < *number; ++p) {
            const auto before = m_pages.find(p);
            const std::int64_t size = before == m_pages.end() ? 0 : before->second.size;
            const std::int64_t used = p == m_page ? std::int64_t(placed() - m_pageStart) : 0;
            for (std::int64_t k = used; k < size && !m_over; ++k) {
                emitByte(std::uint8_t(m_emptyFill));
                if (placed() > limit())
                    tooLarge();
            }
        }
    }
    m_page = *number;
    m_pageStart = placed();
    m_pc = page->second.origin;
    return true;
}

void Assembler::brassHeader() {
    // Code in the room the header takes would be overwritten by it.
    for (const Assembly::Piece &p : m_pieces)
        if (p.size > 0 && p.offset < kHeaderRoom && p.code) {
            m_at = p.at;
            m_place = p.place;
            error("code in the first 128 bytes of the application, where its header goes: "
                  "start page 0 with .block 128");
            return;
        }
    if (m_out.size() < kHeaderRoom) {
        error("the application is shorter than the 128 bytes its header takes: start page 0 "
              "with .block 128");
        return;
    }
    std::string name = m_appName;
    if (name.empty()) {
        warning("no .variablename names the application: it is called Default");
        name = "Default";
    }
    if (name.size() > 8) {
        m_at = m_appNameAt;
        m_place = m_appNamePlace;
        warning("the application's name '" + name + "' is cut to 8 characters: '" +
                name.substr(0, 8) + "'");
        name.resize(8);
    }
    name.resize(8, ' ');
    std::vector<std::uint8_t> h = {0x80, 0x0F, 0,    0,    0,    0,    0x80, 0x12, 0x01,
                                   0x04, 0x80, 0x21, 0x01, 0x80, 0x31, 0x01, 0x80, 0x48};
    h.insert(h.end(), name.begin(), name.end());
    const size_t pages = (m_out.size() + kPageSize - 1) / kPageSize;
    h.insert(h.end(), {0x80, 0x81, std::uint8_t(pages), 0x80, 0x90});
    h.insert(h.end(), std::begin(kDateStamp), std::end(kDateStamp));
    h.insert(h.end(), {0x80, 0x7F, 0, 0, 0, 0});
    h.resize(kHeaderRoom, 0);
    std::copy(h.begin(), h.end(), m_out.begin());
}

} // namespace z80
