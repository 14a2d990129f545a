#include "z80lexer.h"

#include "z80/highlight.h"

#include <Qsci/qsciscintilla.h>

#include <QFontDatabase>
#include <QPalette>

#include <algorithm>
#include <vector>

namespace {

struct Look {
    const char *light, *dark;
    bool bold, italic;
};
// Indexed by z80::Style.
const Look kLooks[z80::kStyleCount] = {
    {nullptr, nullptr, false, false},     // default: the palette's text
    {"#557355", "#98b898", false, true},  // comment
    {"#00309a", "#82aaff", true, false},  // instruction
    {"#7a1f8a", "#d7a0f0", false, false}, // register, condition
    {"#9a4a00", "#ffb070", false, false}, // directive
    {"#b01818", "#ff9090", false, false}, // number
    {"#1f7a1f", "#b5e890", false, false}, // string
    {"#005f87", "#7fd7ff", true, false},  // label
};

} // namespace

Z80Lexer::Z80Lexer(QObject *parent) : QsciLexerCustom(parent) {}

QString Z80Lexer::description(int style) const {
    static const char *const names[z80::kStyleCount] = {
        "Default", "Comment", "Instruction", "Register", "Directive", "Number", "String", "Label"};
    return style >= 0 && style < z80::kStyleCount ? tr(names[style]) : QString();
}

void Z80Lexer::followPalette(const QPalette &palette) {
    const bool dark = palette.color(QPalette::Base).lightness() < 128;
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setDefaultPaper(palette.color(QPalette::Base));
    setDefaultColor(palette.color(QPalette::Text));
    setDefaultFont(fixed);
    for (int style = 0; style < z80::kStyleCount; ++style) {
        const Look &look = kLooks[style];
        setPaper(palette.color(QPalette::Base), style);
        setColor(look.light ? QColor(dark ? look.dark : look.light) : palette.color(QPalette::Text),
                 style);
        QFont font = fixed;
        font.setBold(look.bold);
        font.setItalic(look.italic);
        setFont(font, style);
    }
}

void Z80Lexer::styleText(int start, int end) {
    QsciScintilla *ed = editor();
    if (!ed)
        return;
    const auto send = [ed](unsigned int message, unsigned long w = 0, long l = 0) {
        return long(ed->SendScintilla(message, w, l));
    };
    const long lines = send(QsciScintillaBase::SCI_GETLINECOUNT);
    long line = send(QsciScintillaBase::SCI_LINEFROMPOSITION, (unsigned long)start);
    const long lastLine = send(QsciScintillaBase::SCI_LINEFROMPOSITION, (unsigned long)end);
    int state = line > 0 ? int(send(QsciScintillaBase::SCI_GETLINESTATE, (unsigned long)(line - 1)))
                         : z80::kNoBlock;
    std::vector<z80::Span> spans;
    // Past the lines asked for, go on while a comment block's state changes.
    for (; line < lines; ++line) {
        const long from = send(QsciScintillaBase::SCI_POSITIONFROMLINE, (unsigned long)line);
        const long to = send(QsciScintillaBase::SCI_GETLINEENDPOSITION, (unsigned long)line);
        const long next = line + 1 < lines ? send(QsciScintillaBase::SCI_POSITIONFROMLINE,
                                                  (unsigned long)(line + 1))
                                           : to;
        // Only the start of a very long line gets colours: a key typed in
        // a line of megabytes costs no more than one in a line of a screen.
        const long lexed = std::min(to - from, kMaxColouredLine);
        const auto *text = reinterpret_cast<const char *>(
            ed->SendScintilla(QsciScintillaBase::SCI_GETRANGEPOINTER, (unsigned long)from, lexed));
        const int after = z80::highlightLine(std::string_view(text, size_t(lexed)), state, spans);
        startStyling(from);
        long at = from;
        for (const z80::Span &s : spans) {
            if (long(s.start) + from > at)
                setStyling(int(long(s.start) + from - at), int(z80::Style::Default));
            setStyling(int(s.length), int(s.style));
            at = from + long(s.start + s.length);
        }
        if (next > at)
            setStyling(int(next - at), int(z80::Style::Default));
        const int before = int(send(QsciScintillaBase::SCI_GETLINESTATE, (unsigned long)line));
        send(QsciScintillaBase::SCI_SETLINESTATE, (unsigned long)line, after);
        state = after;
        if (line >= lastLine && before == after)
            break;
    }
}
