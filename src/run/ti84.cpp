#include "run/ti84.h"

#include <algorithm>
#include <cmath>

namespace run {

namespace {

// Crystal divisors of 32768 Hz for 40h-47h (WikiTI, 83Plus:Ports:30).
constexpr int kCrystal[8] = {3, 33, 328, 3277, 1, 16, 256, 4096};

} // namespace

// Bits 6-7 pick the crystal (01) or the CPU's clock (10, 11); bits 0-5 the
// divisor: for the CPU 1, 2, 4, 8... by the lowest bit set (80h, 81h, 82h,
// 84h...), for the crystal the table.
double Ti84Ports::period(const Timer &t) const {
    const int source = t.control >> 6;
    if (source == 1)
        return double(clockHz()) * kCrystal[t.control & 7] / 32768.0;
    if (source >= 2) {
        const int low = t.control & 0x3F;
        int divisor = 1;
        for (int b = 0; b < 6 && low; ++b)
            if (low >> b & 1) {
                divisor = 2 << b;
                break;
            }
        return divisor;
    }
    return 0;
}

// Every tick counts the counter down; at 0 the timer has expired: it starts
// again from the value written when looping (bit 0 of its loop port), stops
// otherwise, and raises its interrupt when bit 1 asks for one. Counted in
// whole runs of ticks, so a timer at the CPU's clock costs no more than a slow one.
void Ti84Ports::advance(Timer &t, std::uint64_t now) {
    if (!t.running || double(now) < t.next)
        return;
    const double p = period(t);
    if (p <= 0) {
        t.running = false;
        return;
    }
    std::uint64_t ticks = std::uint64_t((double(now) - t.next) / p) + 1;
    t.next += double(ticks) * p;
    const int counter = t.counter ? t.counter : 256;
    if (ticks < std::uint64_t(counter)) {
        t.counter = std::uint8_t(counter - int(ticks));
        return;
    }
    ticks -= std::uint64_t(counter);
    std::uint64_t expiries = 1;
    if (t.loop & 1) {
        const int start = t.start ? t.start : 256;
        expiries += ticks / std::uint64_t(start);
        t.counter = std::uint8_t(start - int(ticks % std::uint64_t(start)));
    } else {
        t.counter = 0;
        t.running = false;
    }
    t.missed = t.missed || t.expired || expiries > 1;
    t.expired = true;
    if (t.loop & 2)
        t.pending = true;
}

double Ti84Ports::seconds(std::uint64_t now) const {
    return m_secondsAt + double(now - m_cyclesAt) / double(clockHz());
}

std::optional<std::uint8_t> Ti84Ports::in(std::uint8_t port, std::uint64_t now) {
    if (port == 0x20)
        return m_speed;
    if (port == 0x21)
        return 0x00; // bits 0-1 clear: a TI-84 Plus, not a Silver Edition
    if (port >= 0x30 && port <= 0x38) {
        Timer &t = m_timers[std::size_t((port - 0x30) / 3)];
        advance(t, now);
        switch ((port - 0x30) % 3) {
        case 0:
            return t.control;
        case 1: // bit 0: expired since the loop port was written; bit 1: again
            return std::uint8_t((t.expired ? 1 : 0) | (t.missed ? 2 : 0));
        default:
            return t.counter;
        }
    }
    if (port == 0x40)
        return m_clockControl;
    if (port >= 0x41 && port <= 0x44)
        return m_latch[port];
    if (port >= 0x45 && port <= 0x48) {
        const double running = (m_clockControl & 1) ? seconds(now) - m_clockFrom : 0;
        const std::uint32_t value = m_clockBase + std::uint32_t(std::max(0.0, running));
        return std::uint8_t(value >> (8 * (port - 0x45)));
    }
    if (usbPort(port))
        return 0x00; // no cable, nothing to report
    if (port >= 0x08 && port < 0x10)
        return port == 0x09 ? std::uint8_t(0x20) : std::uint8_t(0); // the link assistant: idle
    return m_latch[port];
}

bool Ti84Ports::out(std::uint8_t port, std::uint8_t v, std::uint64_t now) {
    if (port == 0x20) {
        const long from = clockHz();
        m_speed = v & 3;
        if (clockHz() != from)
            rescale(now, from, clockHz());
        return true;
    }
    if (port >= 0x30 && port <= 0x38) {
        Timer &t = m_timers[std::size_t((port - 0x30) / 3)];
        advance(t, now);
        switch ((port - 0x30) % 3) {
        case 0:
            t.control = v;
            if (!(v & 0xC0))
                t.running = false;
            break;
        case 1: // writing the loop port acknowledges the timer
            t.loop = v;
            t.expired = t.missed = t.pending = false;
            break;
        default: // writing the counter starts the count
            t.counter = t.start = v;
            t.running = period(t) > 0;
            t.next = double(now) + period(t);
            break;
        }
        return true;
    }
    if (port == 0x40) {
        if ((v & 2) && !(m_clockControl & 2)) { // load 41h-44h into the counter
            m_clockBase = std::uint32_t(m_latch[0x41] | m_latch[0x42] << 8 | m_latch[0x43] << 16 |
                                        std::uint32_t(m_latch[0x44]) << 24);
            m_clockFrom = seconds(now);
        }
        m_clockControl = v;
        return true;
    }
    m_latch[port] = v; // USB, the link assistant and the rest: kept, never acted on
    return true;
}

std::uint64_t Ti84Ports::nextInterrupt() const {
    double due = -1;
    for (const Timer &t : m_timers)
        if (t.running && (t.loop & 2) && !t.pending) {
            const double at = t.next + (double(t.counter ? t.counter : 256) - 1) * period(t);
            due = due < 0 ? at : std::min(due, at);
        }
    return due < 0 ? ~0ull : std::uint64_t(std::ceil(due));
}

std::uint8_t Ti84Ports::interrupts(std::uint64_t now) {
    std::uint8_t bits = 0;
    for (std::size_t i = 0; i < m_timers.size(); ++i) {
        advance(m_timers[i], now);
        if (m_timers[i].pending)
            bits = std::uint8_t(bits | 0x20 << i);
    }
    return bits;
}

void Ti84Ports::rescale(std::uint64_t now, long fromHz, long toHz) {
    m_secondsAt += double(now - m_cyclesAt) / double(fromHz);
    m_cyclesAt = now;
    for (Timer &t : m_timers) {
        // Ticks of the crystal keep their time; ticks of the CPU's clock
        // keep their count of cycles.
        if (t.running && (t.control >> 6) == 1 && t.next > double(now))
            t.next = double(now) + (t.next - double(now)) * double(toHz) / double(fromHz);
    }
}

} // namespace run
