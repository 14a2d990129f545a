#include "variableform.h"

#include "preprocessor.h"
#include "vocabulary.h"

#include <cctype>

namespace z80 {
namespace {

struct Type {
    const char *word;
    std::uint8_t type;
    const char *description, *extension;
    bool sized;
};

constexpr Type kTypes[] = {
    {"real", 0x00, "real number", "8xn", false},
    {"list", 0x01, "list", "8xl", false},
    {"matrix", 0x02, "matrix", "8xm", false},
    {"string", 0x04, "string", "8xs", true},
    {"program", 0x05, "program", "8xp", true},
    {"protected", 0x06, "protected program", "8xp", true},
    {"picture", 0x07, "picture", "8xi", true},
    {"gdb", 0x08, "graph database", "8xd", true},
    {"complex", 0x0C, "complex number", "8xc", false},
    {"appvar", 0x15, "application variable", "8xv", true},
};

std::vector<std::string> words(std::string_view line) {
    std::vector<std::string> out;
    std::string word;
    for (char c : line) {
        if (c == ' ' || c == '\t' || c == ',') {
            if (!word.empty())
                out.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        out.push_back(word);
    return out;
}

// "Str1" -> 1 when `name` is `prefix` and one digit (in any letter case).
int numbered(const std::string &name, const std::string &prefix) {
    if (name.size() != prefix.size() + 1 || lower(name.substr(0, prefix.size())) != lower(prefix) ||
        !std::isdigit(static_cast<unsigned char>(name.back())))
        return -1;
    return name.back() - '0';
}

} // namespace

std::optional<VariableForm> variableComment(std::string_view text, std::string *error) {
    for (std::string_view rest : leadingComments(text, "variable:")) {
        std::vector<std::string> w = words(rest);
        VariableForm form;
        if (!w.empty() && lower(w.back()) == "archived") {
            form.archived = true;
            w.pop_back();
        }
        const Type *type = nullptr;
        for (const Type &t : kTypes)
            if (!w.empty() && lower(w[0]) == t.word)
                type = &t;
        if (!type || w.size() > 2) {
            *error = "'; variable:' takes a type (real, list, matrix, string, program, "
                     "protected, picture, gdb, complex or appvar), then a name and 'archived' "
                     "if wanted";
            return std::nullopt;
        }
        form.type = type->type;
        form.typeName = type->word;
        form.description = type->description;
        form.extension = type->extension;
        form.sized = type->sized;
        if (w.size() == 2)
            form.name = w[1];
        return form;
    }
    return std::nullopt;
}

std::vector<std::uint8_t> variableName(const VariableForm &form, const std::string &fileName,
                                       std::string *error) {
    const std::string name = form.name.empty() ? fileName : form.name;
    std::vector<std::uint8_t> out;
    const auto token = [&](std::uint8_t first, int second) {
        if (second >= 0)
            out = {first, std::uint8_t(second)};
    };
    switch (form.type) {
    case 0x00:
    case 0x0C:
        if (name.size() == 1 && std::isalpha(static_cast<unsigned char>(name[0])))
            out = {std::uint8_t(std::toupper(static_cast<unsigned char>(name[0])))};
        else if (lower(name) == "theta")
            out = {0x5B};
        break;
    case 0x01: {
        const int n = numbered(name, "L");
        token(0x5D, n >= 1 && n <= 6 ? n - 1 : -1);
        break;
    }
    case 0x02:
        if (name.size() == 3 && name[0] == '[' && name[2] == ']' &&
            std::toupper(static_cast<unsigned char>(name[1])) >= 'A' &&
            std::toupper(static_cast<unsigned char>(name[1])) <= 'J')
            out = {0x5C, std::uint8_t(std::toupper(static_cast<unsigned char>(name[1])) - 'A')};
        break;
    case 0x04:
    case 0x07:
    case 0x08: { // Str1..Str9 are 0..8, Str0 is 9; so are pictures and databases
        const int n = numbered(name, form.type == 0x04 ? "Str" : form.type == 0x07 ? "Pic" : "GDB");
        token(form.type == 0x04   ? 0xAA
              : form.type == 0x07 ? 0x60
                                  : 0x61,
              n < 0 ? -1 : (n + 9) % 10);
        break;
    }
    default: { // programs and application variables
        std::string kept;
        for (char c : name)
            if (static_cast<unsigned char>(c) < 0x80 && std::isalnum(static_cast<unsigned char>(c)))
                kept += form.type == 0x15 ? c : char(std::toupper(static_cast<unsigned char>(c)));
        if (!kept.empty() && std::isdigit(static_cast<unsigned char>(kept[0])))
            kept.insert(kept.begin(), form.type == 0x15 ? 'V' : 'P');
        kept = kept.substr(0, 8);
        out.assign(kept.begin(), kept.end());
        break;
    }
    }
    if (out.empty()) {
        *error = "'" + name + "' is no name a " + form.description + " can have";
        return out;
    }
    out.resize(8, 0);
    return out;
}

} // namespace z80
