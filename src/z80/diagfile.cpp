#include "diagfile.h"

#include "source.h"

#include <charconv>

namespace z80 {
namespace {

constexpr std::string_view kDiagHeader = "qvdiag 1";

std::string escaped(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool unescaped(std::string_view text, std::string *out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *out += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case 't':
            *out += '\t';
            break;
        case 'n':
            *out += '\n';
            break;
        case '\\':
            *out += '\\';
            break;
        default:
            return false;
        }
    }
    return true;
}

bool number(std::string_view text, int *out) {
    const char *end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, *out);
    return !text.empty() && r.ec == std::errc() && r.ptr == end;
}

} // namespace

std::string writeDiagnostics(const std::vector<Diagnostic> &messages) {
    std::string out(kDiagHeader);
    out += '\n';
    for (const Diagnostic &d : messages)
        out += std::string(d.error() ? "error" : "warning") + '\t' + std::to_string(d.line) + '\t' +
               std::to_string(d.column) + '\t' + std::to_string(d.length) + '\t' + escaped(d.file) +
               '\t' + escaped(d.text) + '\n';
    return out;
}

std::optional<std::vector<Diagnostic>> readDiagnostics(std::string_view text, std::string *error) {
    std::vector<Diagnostic> out;
    LineSplitter split(text);
    std::string_view line;
    int n = 1;
    auto fail = [&](const std::string &why) {
        *error = "line " + std::to_string(n) + ": " + why;
        return std::nullopt;
    };
    if (!split.next(&line) || line != kDiagHeader)
        return fail("this is not a diagnostics file (it does not start with \"qvdiag 1\")");
    for (n = 2; split.next(&line); ++n) {
        if (line.empty())
            continue;
        if (out.size() == kMaxDiagnostics)
            return fail("more than " + std::to_string(kMaxDiagnostics) + " messages");
        std::string_view f[6];
        size_t at = 0;
        for (int k = 0; k < 5; ++k) {
            const size_t tab = line.find('\t', at);
            if (tab == std::string_view::npos)
                return fail("a message needs six fields apart by tabs");
            f[k] = line.substr(at, tab - at);
            at = tab + 1;
        }
        f[5] = line.substr(at);
        Diagnostic d;
        if (f[0] != "error" && f[0] != "warning")
            return fail("a message is an error or a warning");
        d.severity = f[0] == "error" ? Diagnostic::Severity::Error : Diagnostic::Severity::Warning;
        if (!number(f[1], &d.line) || d.line < 1 || !number(f[2], &d.column) || d.column < -1 ||
            !number(f[3], &d.length) || d.length < 0)
            return fail("a message needs a line from 1, a column from -1 and a length from 0");
        if (!unescaped(f[4], &d.file) || d.file.empty() || !unescaped(f[5], &d.text))
            return fail("a file or text is not written as a message's");
        out.push_back(std::move(d));
    }
    return out;
}

} // namespace z80
