#include "outputs.h"

#include "vocabulary.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace z80 {
namespace {

std::string format(const char *pattern, int a, unsigned b) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

std::string thousands(std::uint64_t n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

} // namespace

std::string listing(const Assembly &a, FileReader &reader, const std::string &mainPath) {
    std::map<std::string, std::vector<std::string>> texts;
    std::map<std::string, int> next; // the next line of each file to list
    auto text = [&](const std::string &file) -> const std::vector<std::string> & {
        auto it = texts.find(file);
        if (it == texts.end()) {
            const std::string path =
                !file.empty() && file[0] == '/' ? file : joinPath(folderOf(mainPath), file);
            it = texts.emplace(file, splitLines(reader.read(path).text)).first;
        }
        return it->second;
    };
    std::string out, current;
    auto line = [&](const std::string &file, int n, std::uint32_t address,
                    const std::vector<std::uint8_t> &bytes) {
        const std::vector<std::string> &lines = text(file);
        out += format("%5d 00:%04X ", n, address & 0xFFFF);
        size_t k = 0;
        for (; k < bytes.size(); ++k) {
            if (k > 0 && k % 4 == 0)
                out += "\n              ";
            out += format("%02X ", bytes[k], 0);
        }
        for (; k == 0 || k % 4 != 0; ++k)
            out += "-  ";
        out += (n >= 1 && size_t(n) <= lines.size() ? lines[size_t(n) - 1] : "") + "\n";
    };
    std::uint32_t address = 0;
    for (size_t k = 0; k < a.pieces.size();) {
        const Origin &at = a.pieces[k].at;
        std::vector<std::uint8_t> bytes;
        const std::uint32_t start = a.pieces[k].address;
        for (; k < a.pieces.size() && a.pieces[k].at.file == at.file &&
               a.pieces[k].at.line == at.line;
             ++k) {
            const Assembly::Piece &p = a.pieces[k];
            bytes.insert(bytes.end(), a.bytes.begin() + std::ptrdiff_t(p.offset),
                         a.bytes.begin() + std::ptrdiff_t(p.offset + p.size));
            address = p.address + std::uint32_t(p.size);
        }
        if (at.file != current) {
            // Into an include: its parent's lines up to the #include first.
            if (!current.empty() && !next.count(at.file)) {
                int &n = next.emplace(current, 1).first->second;
                const std::vector<std::string> &lines = text(current);
                for (size_t l = size_t(n); l <= lines.size(); ++l)
                    if (lower(lines[l - 1]).find("include") != std::string::npos) {
                        for (; size_t(n) <= l; ++n)
                            line(current, n, start, {});
                        break;
                    }
            }
            if (!current.empty())
                out += "Listing for file \"" + at.file + "\"\n";
            current = at.file;
        }
        int &n = next.emplace(at.file, 1).first->second;
        for (; n < at.line; ++n)
            line(at.file, n, start, {});
        if (n == at.line) {
            line(at.file, n, start, bytes);
            ++n;
        }
    }
    if (!a.pieces.empty()) {
        const std::string main = a.pieces.front().at.file;
        if (current != main)
            out += "Listing for file \"" + main + "\"\n";
        int &n = next.emplace(main, 1).first->second;
        for (; size_t(n) <= text(main).size(); ++n)
            line(main, n, address, {});
    }
    return out;
}

std::string labelFile(const Assembly &a) {
    std::vector<Assembly::Label> labels = a.labels;
    std::stable_sort(labels.begin(), labels.end(),
                     [](const auto &x, const auto &y) { return lower(x.name) < lower(y.name); });
    std::string out;
    char value[16];
    for (const Assembly::Label &l : labels) {
        std::snprintf(value, sizeof value, "%.4X", unsigned(std::uint32_t(l.value)));
        out += l.name + " = $" + value + "\n";
    }
    return out;
}

std::string summary(const Assembly &a) {
    if (a.bytes.empty())
        return "0 bytes.";
    char end[16];
    std::snprintf(end, sizeof end, "%04Xh", unsigned(a.end));
    const std::string room = a.end <= kNoExecution
                                 ? thousands(kNoExecution - a.end) + " bytes below C000h"
                                 : thousands(a.end - kNoExecution) + " bytes past C000h";
    return thousands(a.bytes.size()) + " bytes, code ends at " + end + " (" + room + ").";
}

std::vector<std::string> capped(const std::vector<std::string> &messages, const char *what) {
    constexpr size_t kShown = 50;
    std::vector<std::string> out(
        messages.begin(), messages.begin() + std::ptrdiff_t(std::min(kShown, messages.size())));
    if (messages.size() > kShown)
        out.push_back("... and " + std::to_string(messages.size() - kShown) + " more " + what);
    return out;
}

} // namespace z80
