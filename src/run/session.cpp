#include "run/session.h"

#include "run/font.h"

namespace run {

Session::Session(const Program &program, RomNames names, Model model)
    : m_os(std::move(names)), m_machine(std::make_unique<Machine>(m_os, model)) {
    if (!program.error.empty()) {
        m_refused = Stop{false, program.error};
        return;
    }
    if (!program.shell.empty() && program.shell != "Ion" && program.shell != "MirageOS" &&
        program.shell != "Doors CS") {
        m_refused =
            Stop{false, "the program is written for the " + program.shell +
                            " shell; start it from " + program.shell +
                            " on a calculator (this runner starts programs as the "
                            "home screen's Asm( does, and as Ion, MirageOS and Doors CS do)"};
        return;
    }
    m_os.prepare(*m_machine);
    if (!program.application.empty()) {
        startApplication(program, model);
        return;
    }
    m_machine->load(program.code, Os::kExit);
    m_os.startShell(*m_machine, program.shell);
}

// The OS puts applications in the user archive from its highest page down:
// pages 08h-15h on the TI-83 Plus, 08h-29h on the TI-84 Plus (WikiTI, the
// TI-83 Plus's Flash page layout), so a lone application's first page is the
// archive's top one and its next pages the ones below.
void Session::startApplication(const Program &program, Model model) {
    const int top = model == Model::Ti84Plus ? 0x29 : 0x15, room = top - 0x08 + 1;
    if (program.applicationPages > room) {
        m_refused = Stop{false, "the application has " + std::to_string(program.applicationPages) +
                                    " pages, and the " + modelName(model) + "'s archive holds " +
                                    std::to_string(room)};
        return;
    }
    m_machine->loadApplication(program.application, top, program.entry, Os::kExit);
    m_os.startApplication(top, program.applicationPages);
}

std::string Session::send(const VariableFile &file) {
    if (!file.error.empty())
        return file.error;
    for (const Variable &v : file.variables)
        if (std::string error = m_os.addVariable(*m_machine, v); !error.empty())
            return error;
    return {};
}

void Session::runUntil(std::uint64_t cycles) {
    if (!m_refused)
        m_machine->runUntil(cycles);
}

const std::optional<Stop> &Session::stopped() const {
    return m_refused ? m_refused : m_machine->stopped();
}

namespace {

// The cell's pixels as the large font draws them, 6 bits a row, bit 5 leftmost.
std::array<std::uint8_t, 8> cellOf(const Glyph &g) {
    std::array<std::uint8_t, 8> rows{};
    const int dx = g.width < 6 ? 6 - g.width : 0, dy = g.height < 8 ? 8 - g.height : 0;
    for (int y = 0; y < g.height && y + dy < 8; ++y)
        rows[std::size_t(y + dy)] = std::uint8_t((g.rows[std::size_t(y)] >> (2 + dx)) & 0x3F);
    return rows;
}

} // namespace

std::u32string homeText(const Lcd &lcd) {
    return homeText([&lcd](int x, int y) { return lcd.pixel(x, y); });
}

std::u32string homeText(const std::function<bool(int x, int y)> &pixel) {
    static const auto cells = [] {
        std::array<std::array<std::uint8_t, 8>, 256> all{};
        for (int c = 0; c < 256; ++c)
            all[std::size_t(c)] = cellOf(largeGlyph(std::uint8_t(c)));
        return all;
    }();
    std::u32string text;
    for (int row = 0; row < 8; ++row) {
        for (int col = 0; col < 16; ++col) {
            std::array<std::uint8_t, 8> shown{}, inverse{};
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 6; ++x)
                    shown[std::size_t(y)] =
                        std::uint8_t(shown[std::size_t(y)] << 1 | pixel(col * 6 + x, row * 8 + y));
                inverse[std::size_t(y)] = std::uint8_t(~shown[std::size_t(y)] & 0x3F);
            }
            char32_t found = 0x2592;
            const std::array<std::uint8_t, 8> blank{};
            if (shown == blank)
                found = U' ';
            else
                for (int i = 0; i < 255 && found == 0x2592; ++i) {
                    // Printable ASCII first, where the calculator has look-alikes.
                    const std::uint8_t c = std::uint8_t(i < 224 ? i + 0x20 : i - 223);
                    const auto &cell = cells[c];
                    if (cell != blank && (cell == shown || cell == inverse))
                        found = unicodeOf(c);
                }
            text += found;
        }
        text += U'\n';
    }
    return text;
}

} // namespace run
