// The font file reader: one pass over the lines, the first fault ends it.

#include "run/fontfile.h"

#include "base/lines.h"
#include "base/utf8.h"

#include <cstdlib>
#include <set>

namespace run {

namespace {

bool isHex(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

// One UTF-8 character, or U+XXXX; 0 when it is neither.
char32_t readShown(std::string_view s) {
    if (s.size() > 2 && s.substr(0, 2) == "U+" && isHex(s.substr(2)) && s.size() <= 8)
        return char32_t(std::strtoul(std::string(s.substr(2)).c_str(), nullptr, 16));
    char32_t c = 0;
    return base::decodeUtf8(s, &c) == s.size() ? c : 0;
}

std::string where(std::string_view name, std::size_t line) {
    return std::string(name) + ":" + std::to_string(line + 1) + ": ";
}

} // namespace

FontFile parseFontFile(std::string_view text, std::string_view name, FontFileShape shape) {
    FontFile file;
    const std::vector<std::string_view> lines = base::splitLines(text);
    std::set<int> seen;
    auto fail = [&](std::size_t line, const std::string &what) {
        file.glyphs.clear();
        file.error = where(name, line) + what;
        return file;
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (line.empty() || line[0] == ';')
            continue;
        if (line.substr(0, 5) != "char ")
            return fail(i, "expected \"char CODE SHOW\", found \"" + std::string(line) + "\"");
        const std::string_view rest = line.substr(5);
        const std::size_t space = rest.find(' ');
        const std::string_view code = rest.substr(0, space);
        if (code.size() != 2 || !isHex(code))
            return fail(i, "the code \"" + std::string(code) + "\" is not two hex digits");
        FontFileGlyph glyph;
        glyph.code = int(std::strtol(std::string(code).c_str(), nullptr, 16));
        if (!seen.insert(glyph.code).second)
            return fail(i, "character " + std::string(code) + " is defined twice");
        glyph.unicode = space == std::string_view::npos ? 0 : readShown(rest.substr(space + 1));
        if (glyph.unicode == 0)
            return fail(i, "character " + std::string(code) +
                               " needs the Unicode character it shows as");
        std::size_t row = i + 1;
        for (; row < lines.size() && !lines[row].empty() &&
               lines[row].find_first_not_of(".#") == std::string_view::npos;
             ++row)
            glyph.rows.emplace_back(lines[row]);
        if (int(glyph.rows.size()) != shape.rows)
            return fail(i, "character " + std::string(code) + " needs " +
                               std::to_string(shape.rows) + " rows, not " +
                               std::to_string(glyph.rows.size()));
        glyph.width = int(glyph.rows.front().size());
        for (std::size_t r = 0; r < glyph.rows.size(); ++r)
            if (int(glyph.rows[r].size()) != glyph.width)
                return fail(i + 1 + r,
                            "character " + std::string(code) + " has rows of different widths");
        if (glyph.width < shape.minWidth || glyph.width > shape.maxWidth)
            return fail(i, "character " + std::string(code) + " is " + std::to_string(glyph.width) +
                               " columns wide, not " + std::to_string(shape.minWidth) + " to " +
                               std::to_string(shape.maxWidth));
        file.glyphs.push_back(std::move(glyph));
        i = row - 1;
    }
    return file;
}

} // namespace run
