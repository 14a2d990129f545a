#pragma once
// Where a line came from, and the messages about lines, in source order.

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

namespace z80 {

struct Origin {
    std::string file; // as the user knows it
    int line = 0;
};

// Errors and warnings, each kept with the place in the source it belongs to,
// so that one found late (a label not found ahead) still comes in order.
struct Diagnostics {
    size_t now = 0; // how many source lines have been read so far
    struct Message {
        size_t place;
        std::string text;
        bool cause = false; // it explains the errors after it (an #if left open...)
    };
    std::vector<Message> errors, warnings;

    // A message said already (a #macro's line at each of its uses) is
    // kept once, the first time: the first is the earliest in the source.
    void error(const Origin &at, const std::string &text, size_t place = SIZE_MAX) {
        add(errors, place, say(at, "error", text));
    }
    // An error that others after it may only echo: an #if or #macro left
    // open, an unknown directive or macro, an include that is not there.
    void cause(const Origin &at, const std::string &text, size_t place = SIZE_MAX) {
        errors.push_back({place == SIZE_MAX ? now : place, say(at, "error", text), true});
    }
    void warning(const Origin &at, const std::string &text, size_t place = SIZE_MAX) {
        add(warnings, place, say(at, "warning", text));
    }
    // "file:line: error: text" lines, in source order; a message that a line
    // gave before (a #macro used again and again) is not repeated.
    static std::vector<std::string> inOrder(std::vector<Message> messages) {
        std::stable_sort(messages.begin(), messages.end(),
                         [](const Message &a, const Message &b) { return a.place < b.place; });
        std::vector<std::string> out;
        std::set<std::string> seen;
        for (Message &m : messages)
            if (seen.insert(m.text).second)
                out.push_back(std::move(m.text));
        return out;
    }

private:
    void add(std::vector<Message> &to, size_t place, std::string text) {
        if (m_said.insert(text).second)
            to.push_back({place == SIZE_MAX ? now : place, std::move(text)});
    }
    std::unordered_set<std::string> m_said;
    static std::string say(const Origin &at, const char *kind, const std::string &text) {
        return at.file + ":" + std::to_string(at.line) + ": " + kind + ": " + text;
    }
};

} // namespace z80
