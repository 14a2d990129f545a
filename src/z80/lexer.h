#pragma once
// The one lexer of the language: the assembler reads its tokens and the
// editor's colours paint them. Splits one line of source into tokens: names,
// numbers in every form the dialects write ($1A, 1Ah, 0x1A, %1010, 1010b,
// 0000 0101b, 17o), strings, characters, af', directives (".org",
// "#define"), operators and the statement separator '\'. A ';' outside
// literals ends the line; Brass's /* */ comments may span lines. Each token
// knows its span in the raw line, and a literal keeps its raw spelling.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace z80 {

enum class Kind {
    Name,      // label, symbol, instruction, register
    Number,    // value holds it
    String,    // text holds the bytes, escapes already applied
    Char,      // value holds it
    Dot,       // ".org": text holds the whole word
    Hash,      // "#define": text holds the whole word
    Op,        // ( ) , + - * / % & | ^ ~ ! < > = == != <= >= << >> && || : $ [ ]
    Separator, // '\' between statements
};

struct Token {
    Kind kind = Kind::Op;
    std::string text;
    std::int64_t value = 0;
    std::string raw;                 // String and Char: the literal as written, quotes included
    size_t start = 0, length = 0;    // where it stands in the line it was read from
    bool spaced = false;             // a blank (or the line's start) comes before it
    bool bad = false;                // a Number whose digits do not fit its base
    bool elsewhere = false;          // from a macro's text: start and length are not on this line
    std::vector<std::uint32_t> hide; // macros that must not expand this token again
    bool is(Kind k, std::string_view t) const { return kind == k && text == t; }
    bool isOp(std::string_view t) const { return is(Kind::Op, t); }
};

struct TextSpan {
    size_t start = 0, length = 0;
};

struct LexedLine {
    std::vector<Token> tokens;
    std::vector<TextSpan> comments; // ';' to the end, and /* */ parts, in order
    bool startsInColumnOne = false; // the first token stands at the line's start
    std::string error;              // a literal that is not closed, a stray character
};

// `inBlockComment`, when given, says whether a /* comment is open before the
// line, and afterwards whether one is open after it.
LexedLine lex(std::string_view line, bool *inBlockComment = nullptr);

// Whether a line ends a #comment block: its first word is #endcomment.
bool endsCommentBlock(std::string_view line);
// Whether a lexed line opens one: its first token is #comment.
bool opensCommentBlock(const LexedLine &line);

// The text of a token list as it would be written, for messages.
// A number as if it had been written, after a blank.
Token numberToken(std::int64_t value);

std::string spell(const std::vector<Token> &tokens, size_t begin = 0, size_t end = SIZE_MAX);

// Decodes the escapes of a string or character literal: \n \r \t \0 \\ \'
// \" and, for any other letter, the letter itself; `brass` adds Brass's
// \b (backspace) and \f (form feed), which other dialects read as letters.
std::string unescape(std::string_view body, bool brass = false);

} // namespace z80
