#pragma once
// A watch of the debug pane: an expression (see watchexpr.h) and how its
// value is shown, written after the last comma outside quotes: `,hex` (the
// default), `,dec`, `,bin`, or for the memory at the value `,str` (a
// zero-ended string of the calculator's characters), `,real` (the
// calculator's 9-byte real number) or `,WxH` (a bitmap W pixels wide and H
// rows high, each row whole bytes, the leftmost pixel the high bit, as
// sprites are stored).

#include "run/watchexpr.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace run {

class Watch {
public:
    enum class Format { Hex, Decimal, Binary, String, Real, Bitmap };
    static constexpr int kMaxBitmapSide = 128;
    static constexpr int kMaxString = 64;

    static std::optional<Watch> parse(const std::string &text, const LabelLookup &labels,
                                      std::string *error);

    struct Shown {
        std::string text;
        int width = 0, height = 0;      // a bitmap's size, else 0
        std::vector<std::uint8_t> dark; // width*height, row by row: 1 for a dark pixel
    };
    Shown show(const Machine &m) const;
    Format format() const { return m_format; }

private:
    Watch(WatchExpr e) : m_expr(std::move(e)) {}
    WatchExpr m_expr;
    Format m_format = Format::Hex;
    int m_width = 0, m_height = 0;
};

} // namespace run
