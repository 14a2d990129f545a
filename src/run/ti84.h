#pragma once
// What the TI-84 Plus has that the TI-83 Plus has not, as its ports show it
// (WikiTI's port tables, 83Plus:Ports:NN): the speed port 20h (bits 0-1, 0 for
// 6 MHz and anything else for 15 MHz), the model port 21h, the three crystal
// timers at 30h-38h, the clock at 40h-48h, and the USB controller, which
// reads as nothing plugged in (this runner has no USB). The link assistant
// and the ports that only hold what was written keep it. Time is counted in
// the CPU's T-states; when the speed changes, what is due is rescaled so
// the timers keep their real rates.

#include <array>
#include <cstdint>
#include <optional>

namespace run {

class Ti84Ports {
public:
    static constexpr long kSlowHz = 6000000, kFastHz = 15000000;

    long clockHz() const { return (m_speed & 3) ? kFastHz : kSlowHz; }
    // The port's value, for a port this hardware answers.
    std::optional<std::uint8_t> in(std::uint8_t port, std::uint64_t now);
    // Writes a port this hardware answers; false for the others.
    bool out(std::uint8_t port, std::uint8_t v, std::uint64_t now);
    // When the next crystal-timer interrupt is due (~0 for none).
    std::uint64_t nextInterrupt() const;
    // Runs the timers up to `now`; the timers whose interrupt is raised, as
    // port 4's bits 5-7 show them.
    std::uint8_t interrupts(std::uint64_t now);
    // The OS's interrupt handler is done: no timer's interrupt stays raised.
    void acknowledge() {
        for (Timer &t : m_timers)
            t.pending = false;
    }
    // The speed changed at `now` from `fromHz`: what is due comes as many
    // seconds later as before.
    void rescale(std::uint64_t now, long fromHz, long toHz);
    // True for ports of the USB controller (4Ch-57h and 80h-FFh).
    static bool usbPort(std::uint8_t port) {
        return (port >= 0x4C && port <= 0x57) || port >= 0x80;
    }

private:
    struct Timer {
        std::uint8_t control = 0, loop = 0, counter = 0, start = 0;
        bool running = false, expired = false, missed = false, pending = false;
        double next = 0; // T-state of the next tick
    };
    double period(const Timer &t) const; // T-states a tick
    void advance(Timer &t, std::uint64_t now);
    double seconds(std::uint64_t now) const;

    std::array<Timer, 3> m_timers{};
    std::uint8_t m_speed = 0;
    std::array<std::uint8_t, 256> m_latch{};
    // The clock: seconds counted from a start the program sets (40h bit 1
    // loads 41h-44h), running while 40h bit 0 is set.
    std::uint8_t m_clockControl = 0x01;
    std::uint32_t m_clockBase = 0;
    double m_clockFrom = 0; // the running seconds when m_clockBase was loaded
    double m_secondsAt = 0; // seconds run before m_cyclesAt
    std::uint64_t m_cyclesAt = 0;
};

} // namespace run
