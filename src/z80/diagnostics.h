#pragma once
// Where a line came from, and the messages about lines as values, in source
// order. Their text forms ("file:line: error: text") are made from these by
// whoever shows them; nothing reads the text back.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

namespace z80 {

// One step of the #macro calls that produced a statement: the macro, and
// the line of its body the statement (or the next call) came from. Steps
// share the calls around them, so a statement deep in macros costs one.
struct MacroStep {
    std::string macro;
    std::string file; // as the user knows it
    int line = 0;
    std::shared_ptr<const MacroStep> outer; // the step whose line made this call
};

// The steps from the outermost call in.
inline std::vector<const MacroStep *> macroChain(const std::shared_ptr<const MacroStep> &inner) {
    std::vector<const MacroStep *> out;
    for (const MacroStep *s = inner.get(); s; s = s->outer.get())
        out.push_back(s);
    std::reverse(out.begin(), out.end());
    return out;
}

struct Origin {
    Origin() = default;
    Origin(std::string f, int l, std::shared_ptr<const MacroStep> m = nullptr)
        : file(std::move(f)), line(l), macro(std::move(m)) {}
    std::string file; // as the user knows it
    int line = 0;
    // The innermost #macro call this line was produced by; null for a line
    // as written.
    std::shared_ptr<const MacroStep> macro;
};

// Where on its line a message points: bytes from the line's start. A column
// of -1 is the whole line (the fault names nothing written on it).
struct Span {
    int column = -1;
    int length = 0;
};

struct Diagnostic {
    enum class Severity { Error, Warning };
    enum class Code { Other, Undefined }; // Undefined: a name nothing defines
    std::string file;                     // as the user knows it
    int line = 0;
    int column = -1, length = 0; // as a Span
    Severity severity = Severity::Error;
    Code code = Code::Other;
    std::string text;
    // What led to it, when something did: the first definition of a name
    // defined again, the #macro line a call's statement came from.
    std::shared_ptr<const Diagnostic> cause;
    bool error() const { return severity == Severity::Error; }
};

// Errors and warnings, each kept with the place in the source it belongs to,
// so that one found late (a label not found ahead) still comes in order.
struct Diagnostics {
    size_t now = 0; // how many source lines have been read so far
    struct Message {
        size_t place;
        Diagnostic said;
        bool cause = false; // it explains the errors after it (an #if left open...)
    };
    std::vector<Message> errors, warnings;

    // A message said already (a #macro's line at each of its uses) is
    // kept once, the first time: the first is the earliest in the source.
    void error(const Origin &at, const std::string &text, size_t place = SIZE_MAX) {
        add(errors, at, Diagnostic::Severity::Error, text, place, {});
    }
    void error(const Origin &at, const std::string &text, size_t place, Span span,
               Diagnostic::Code code = Diagnostic::Code::Other,
               std::shared_ptr<const Diagnostic> cause = nullptr) {
        add(errors, at, Diagnostic::Severity::Error, text, place, span, code, std::move(cause));
    }
    // An error that others after it may only echo: an #if or #macro left
    // open, an unknown directive or macro, an include that is not there.
    void cause(const Origin &at, const std::string &text, size_t place = SIZE_MAX, Span span = {}) {
        if (add(errors, at, Diagnostic::Severity::Error, text, place, span))
            errors.back().cause = true;
    }
    void warning(const Origin &at, const std::string &text, size_t place = SIZE_MAX,
                 Span span = {}) {
        add(warnings, at, Diagnostic::Severity::Warning, text, place, span);
    }
    // In source order; a message that a line gave before (in another pass)
    // is not repeated.
    static std::vector<Diagnostic> inOrder(std::vector<Message> messages) {
        std::stable_sort(messages.begin(), messages.end(),
                         [](const Message &a, const Message &b) { return a.place < b.place; });
        std::vector<Diagnostic> out;
        std::unordered_set<std::string> seen;
        for (Message &m : messages)
            if (seen.insert(key(m.said)).second)
                out.push_back(std::move(m.said));
        return out;
    }

private:
    // False when the message was said already.
    bool add(std::vector<Message> &to, const Origin &at, Diagnostic::Severity severity,
             const std::string &text, size_t place, Span span,
             Diagnostic::Code code = Diagnostic::Code::Other,
             std::shared_ptr<const Diagnostic> cause = nullptr) {
        Diagnostic d{at.file,  at.line, span.column, span.length,
                     severity, code,    text,        std::move(cause)};
        if (!d.cause && at.macro) {
            const MacroStep &inner = *at.macro;
            d.cause = std::make_shared<const Diagnostic>(
                Diagnostic{inner.file, inner.line, -1, 0, severity, Diagnostic::Code::Other,
                           "in #macro " + inner.macro, nullptr});
        }
        if (!m_said.insert(key(d)).second)
            return false;
        to.push_back({place == SIZE_MAX ? now : place, std::move(d)});
        return true;
    }
    static std::string key(const Diagnostic &d) {
        return d.file + '\n' + std::to_string(d.line) + '\n' + (d.error() ? "e" : "w") + d.text;
    }
    std::unordered_set<std::string> m_said;
};

} // namespace z80
