#include "highlight.h"

#include "lexer.h"
#include "vocabulary.h"

#include <algorithm>

namespace z80 {
namespace {

Style wordStyle(std::string_view word) {
    if (isInstruction(word))
        return Style::Instruction;
    if (isRegister(word) || isCondition(word))
        return Style::Register;
    if (isDirective(word))
        return Style::Directive;
    return Style::Default;
}

Style tokenStyle(const Token &t, bool label) {
    switch (t.kind) {
    case Kind::Name:
        return label ? Style::Label : wordStyle(t.text);
    case Kind::Number:
        return Style::Number;
    case Kind::String:
    case Kind::Char:
        return Style::String;
    case Kind::Dot:
    case Kind::Hash:
        return Style::Directive;
    default:
        return Style::Default;
    }
}

} // namespace

int highlightLine(std::string_view s, int state, std::vector<Span> &spans) {
    spans.clear();
    if (state & kInCommentBlock) {
        spans.push_back({0, s.size(), Style::Comment});
        return endsCommentBlock(s) ? kNoBlock : kInCommentBlock;
    }
    bool slash = state & kInSlashComment;
    const LexedLine lexed = lex(s, &slash);
    const std::vector<Token> &t = lexed.tokens;
    for (size_t i = 0; i < t.size(); ++i) {
        // A name in the first column is a label, with the colon that follows it.
        const bool label = i == 0 && lexed.startsInColumnOne && t[i].kind == Kind::Name;
        const Style style = tokenStyle(t[i], label);
        const size_t start = t[i].start;
        size_t length = t[i].length;
        if (label && i + 1 < t.size() && t[i + 1].isOp(":") && !t[i + 1].spaced)
            length = t[++i].start + 1 - start;
        if (style != Style::Default)
            spans.push_back({start, length, style});
    }
    for (const TextSpan &c : lexed.comments)
        spans.push_back({c.start, c.length, Style::Comment});
    if (opensCommentBlock(lexed)) {
        const size_t after = t[0].start + t[0].length;
        spans.erase(std::remove_if(spans.begin(), spans.end(),
                                   [&](const Span &x) { return x.start >= after; }),
                    spans.end());
        spans.push_back({after, s.size() - after, Style::Comment});
        return kInCommentBlock;
    }
    std::sort(spans.begin(), spans.end(),
              [](const Span &a, const Span &b) { return a.start < b.start; });
    return slash ? kInSlashComment : kNoBlock;
}

} // namespace z80
