// Brass's file directives (its manual: directives/fopen.htm, fclose.htm,
// fread.htm, fpeek.htm, fseek.htm, fsize.htm, fpos.htm): a file opened
// under a handle, read a byte or a word (low byte first) at a time into a
// label, as a .for loop over its size does to include it with changes.

#include "preprocessor.h"

#include "operands.h"
#include "vocabulary.h"

#include <algorithm>

namespace z80 {
namespace {

constexpr size_t kMaxOpenFiles = 64;

Token token(Kind kind, const std::string &text, std::int64_t value = 0) {
    Token k;
    k.kind = kind;
    k.text = text;
    k.value = value;
    k.spaced = true;
    return k;
}

} // namespace

bool Preprocessor::brassFile(const std::string &word, const std::vector<Token> &t, const Origin &at,
                             const Place &place) {
    const auto parts = items(t, 1, t.size());
    const bool named = !parts.empty() && parts[0].second == parts[0].first + 1 &&
                       t[parts[0].first].kind == Kind::Name;
    const bool closing = word == "fclose";
    if (!named || parts.size() != (closing ? 1u : 2u)) {
        m_diag.error(at, "." + word +
                             (closing ? " takes a file's handle: .fclose fhnd"
                              : word == "fopen"
                                  ? " takes a handle and a file name: .fopen fhnd, \"data.bin\""
                              : word == "fseek"
                                  ? " takes a handle and a position: .fseek fhnd, 0"
                                  : " takes a handle and a label: ." + word + " fhnd, chr"));
        return true;
    }
    const std::string handle = lower(t[parts[0].first].text);
    const auto [b, e] = parts.back();
    if (word == "fopen") {
        if (e != b + 1 || t[b].kind != Kind::String) {
            m_diag.error(at, ".fopen needs a file name in quotes");
            return true;
        }
        if (m_files.size() >= kMaxOpenFiles && !m_files.count(handle)) {
            m_diag.error(at, "more than " + std::to_string(kMaxOpenFiles) +
                                 " files are open at once (is an .fclose missing?)");
            return true;
        }
        std::string path;
        if (const auto file = quotedFile(t[b], at, place, "file", &path))
            m_files[handle] = {file->text, 0};
        return true;
    }
    const auto file = m_files.find(handle);
    if (file == m_files.end()) {
        m_diag.error(at, "." + word + ": no file is open as '" + t[parts[0].first].text + "'");
        return true;
    }
    if (closing) {
        m_files.erase(file);
        return true;
    }
    OpenFile &f = file->second;
    if (word == "fseek") {
        const auto to = valueNow(
            std::vector<Token>(t.begin() + std::ptrdiff_t(b), t.begin() + std::ptrdiff_t(e)), at,
            ".fseek");
        if (to && (*to < 0 || size_t(*to) > f.bytes.size()))
            m_diag.error(at, ".fseek " + std::to_string(*to) + " is outside the file (0 to " +
                                 std::to_string(f.bytes.size()) + ")");
        else if (to)
            f.at = size_t(*to);
        return true;
    }
    if (e != b + 1 || t[b].kind != Kind::Name) {
        m_diag.error(at, "." + word + " takes a label after the handle");
        return true;
    }
    std::int64_t value = 0;
    if (word == "fsize") {
        value = std::int64_t(f.bytes.size());
    } else if (word == "fpos") {
        value = std::int64_t(f.at);
    } else {
        const size_t width = word.back() == 'w' ? 2 : 1;
        if (f.at + width > f.bytes.size()) {
            m_diag.error(at, "." + word + " reads past the end of the file (at " +
                                 std::to_string(f.at) + " of " + std::to_string(f.bytes.size()) +
                                 " bytes)");
            return true;
        }
        for (size_t k = width; k-- > 0;)
            value = value << 8 | static_cast<unsigned char>(f.bytes[f.at + k]);
        if (word == "fread" || word == "freadw")
            f.at += width;
    }
    // The label takes the value as ".set" gives it, again and again.
    made({token(Kind::Name, t[b].text), token(Kind::Dot, ".set"),
          token(Kind::Number, std::to_string(value), value)},
         at);
    return true;
}

} // namespace z80
