#pragma once
// The work one build may do, whatever its source says: files opened, bytes
// and lines read (a macro's lines each time it is used), and tokens the
// macros produce. Each is counted for the whole build, so a source cannot
// run away by breadth (a file that includes itself twice, a macro used twice
// in itself) any more than by depth. The first limit met ends the build.

#include <cstddef>
#include <string>

namespace z80 {

// How deep includes, #macros, run(), macro arguments and #defines used
// before they are written may re-enter the reading of the source, all
// counted together: each level costs stack, so the sum is what is bounded.
constexpr int kMaxNesting = 32;

struct Limits {
    size_t files = 10000;
    size_t bytes = 32 * 1024 * 1024;
    size_t lines = 500000;
    size_t tokens = 1000000;
};

class Budget {
public:
    enum class What { Files, Bytes, Lines, Tokens };

    explicit Budget(const Limits &limits = {}) : m_limits(limits) {}

    // Spends `n` of `what`; false once any limit has been passed.
    bool spend(What what, size_t n) {
        if (m_over)
            return false;
        size_t &used = what == What::Files   ? m_files
                       : what == What::Bytes ? m_bytes
                       : what == What::Lines ? m_lines
                                             : m_tokens;
        used += n;
        if (used > limit(what)) {
            m_over = true;
            m_what = what;
        }
        return !m_over;
    }
    bool exhausted() const { return m_over; }

    // Which limit was met, said for the user.
    std::string message() const {
        switch (m_what) {
        case What::Files:
            return "the build opens more than " + thousands(m_limits.files) +
                   " files (is a file included again and again?)";
        case What::Bytes:
            return "the build reads more than " + thousands(m_limits.bytes / (1024 * 1024)) +
                   " MiB of source (is a file included again and again?)";
        case What::Lines:
            return "the build reads more than " + thousands(m_limits.lines) +
                   " lines, a macro's lines counted each time it is used (do macros use each "
                   "other again and again?)";
        case What::Tokens:
            break;
        }
        return "the macros produce more than " + thousands(m_limits.tokens) +
               " tokens (do their bodies or arguments multiply?)";
    }

private:
    size_t limit(What what) const {
        return what == What::Files   ? m_limits.files
               : what == What::Bytes ? m_limits.bytes
               : what == What::Lines ? m_limits.lines
                                     : m_limits.tokens;
    }
    static std::string thousands(size_t n) {
        std::string digits = std::to_string(n);
        for (size_t i = digits.size(); i > 3; i -= 3)
            digits.insert(i - 3, ",");
        return digits;
    }

    Limits m_limits;
    size_t m_files = 0, m_bytes = 0, m_lines = 0, m_tokens = 0;
    bool m_over = false;
    What m_what = What::Files;
};

} // namespace z80
