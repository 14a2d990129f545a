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
    auto text = [&](const std::string &file) -> const std::vector<std::string> & {
        auto it = texts.find(file);
        if (it == texts.end()) {
            const std::string path =
                !file.empty() && file[0] == '/' ? file : joinPath(folderOf(mainPath), file);
            it = texts.emplace(file, splitLines(reader.read(path).text)).first;
        }
        return it->second;
    };
    std::string out;
    std::string current = a.lineFiles.empty() ? std::string() : a.lineFiles.front();
    std::uint32_t end = 0; // after the last piece
    for (const Assembly::Piece &p : a.pieces)
        end = p.address + std::uint32_t(p.size);
    // The lines in the order they were read, each with the bytes its
    // statements placed, at its address (a line without bytes: the next
    // statement's); a line an #if skipped without dashes; none of .nolist's.
    size_t k = 0;
    for (size_t i = 0; i < a.lines.size(); ++i) {
        const ReadLine &l = a.lines[i];
        const size_t place = i + 1;
        std::vector<std::uint8_t> bytes;
        while (k < a.pieces.size() && a.pieces[k].place < place)
            ++k;
        const std::uint32_t address = k < a.pieces.size() ? a.pieces[k].address : end;
        // An application's page, counted from its first, as its bytes lie in
        // pages of 16 KB; a program's is 00.
        const size_t offset = k < a.pieces.size() ? a.pieces[k].offset : a.bytes.size();
        const int page = a.application ? int(std::min<size_t>(offset / kPageSize, 0xFF)) : 0;
        for (; k < a.pieces.size() && a.pieces[k].place == place; ++k)
            bytes.insert(bytes.end(), a.bytes.begin() + std::ptrdiff_t(a.pieces[k].offset),
                         a.bytes.begin() + std::ptrdiff_t(a.pieces[k].offset + a.pieces[k].size));
        if (l.state == ReadLine::Unlisted)
            continue;
        const std::string &file = a.lineFiles[l.file];
        if (file != current)
            out += "Listing for file \"" + file + "\"\n";
        current = file;
        const std::vector<std::string> &lines = text(file);
        out += format("%5d ", l.line, 0) + format("%02X:%04X ", page, address & 0xFFFF);
        size_t b = 0;
        if (l.state == ReadLine::Skipped) {
            out += "            ";
        } else {
            for (; b < bytes.size(); ++b) {
                if (b > 0 && b % 4 == 0)
                    out += "\n              ";
                out += format("%02X ", bytes[b], 0);
            }
            for (; b == 0 || b % 4 != 0; ++b)
                out += "-  ";
        }
        out +=
            (l.line >= 1 && size_t(l.line) <= lines.size() ? lines[size_t(l.line) - 1] : "") + "\n";
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
        // An application's label on a page: the page above its 16 bits, as
        // spasm-ng writes the labels its app.inc places ("$14123": page 1, 4123h).
        const std::uint32_t v =
            l.page >= 0 ? std::uint32_t(l.page) << 16 | (l.value & 0xFFFF) : std::uint32_t(l.value);
        std::snprintf(value, sizeof value, "%.4X", unsigned(v));
        out += l.name + " = $" + value + "\n";
    }
    return out;
}

std::string summary(const Assembly &a) {
    if (a.bytes.empty())
        return "0 bytes.";
    if (a.variable && a.variable->type != 5 && a.variable->type != 6)
        return thousands(a.bytes.size()) + " bytes.";
    if (a.application) {
        const size_t pages = (a.bytes.size() + kPageSize - 1) / kPageSize;
        const size_t left = pages * kPageSize - a.bytes.size();
        return std::to_string(pages) + (pages == 1 ? " page, " : " pages, ") +
               thousands(a.bytes.size()) + " bytes (page " + std::to_string(pages - 1) + " has " +
               thousands(left) + " bytes left).";
    }
    char end[16];
    std::snprintf(end, sizeof end, "%04Xh", unsigned(a.end));
    const std::string room = a.end <= kNoExecution
                                 ? thousands(kNoExecution - a.end) + " bytes below C000h"
                                 : thousands(a.end - kNoExecution) + " bytes past C000h";
    return thousands(a.bytes.size()) + " bytes, code ends at " + end + " (" + room + ").";
}

std::string message(const Diagnostic &d) {
    return d.file + ":" + std::to_string(d.line) + (d.error() ? ": error: " : ": warning: ") +
           d.text;
}

std::vector<std::string> messages(const std::vector<Diagnostic> &list) {
    std::vector<std::string> out;
    out.reserve(list.size());
    for (const Diagnostic &d : list)
        out.push_back(message(d));
    return out;
}

std::vector<std::string> errorLines(const Assembly &a) {
    std::vector<std::string> out = messages(a.errors);
    if (a.followingErrors > 0)
        out.push_back("... and " + std::to_string(a.followingErrors) + " more error" +
                      (a.followingErrors == 1 ? "" : "s") +
                      " after the first above, which may follow from it: mend it and build again");
    return out;
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
