#pragma once
// One run of one program or application: the machine, the OS answering it,
// and why the run ended. A program the runner cannot start (a shell's, TI-BASIC, a damaged
// file) ends before its first instruction, with the reason.

#include "run/machine.h"
#include "run/os.h"
#include "run/program.h"
#include "run/varfile.h"

#include <functional>
#include <memory>
#include <optional>

namespace run {

class Session {
public:
    explicit Session(const Program &program, RomNames names = {}, Model model = Model::Ti83Plus);
    // Runs until the clock reaches `cycles` T-states in all, or the run ends.
    void runUntil(std::uint64_t cycles);
    const std::optional<Stop> &stopped() const;
    Machine &machine() { return *m_machine; }
    const Machine &machine() const { return *m_machine; }
    Os &os() { return m_os; }
    // Puts the file's variables in the calculator's memory, as a link from a
    // computer would before the program starts; the error, or empty.
    std::string send(const VariableFile &file);
    // True when the program never started (see stopped() for why).
    bool refused() const { return m_refused.has_value(); }

private:
    void startApplication(const Program &program, Model model);

    Os m_os;
    std::unique_ptr<Machine> m_machine;
    std::optional<Stop> m_refused;
};

// The home screen as 8 lines of 16 characters: each 6x8 cell of the display
// read back as the large-font character it shows (inverse too), a space when
// blank, and U+2592 when it shows something else.
std::u32string homeText(const Lcd &lcd);
// The same for any picture of the 96x64 screen, e.g. what a window shows.
std::u32string homeText(const std::function<bool(int x, int y)> &pixel);

} // namespace run
