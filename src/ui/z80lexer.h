#pragma once
// Colours for Z80 assembly in the editor: instructions, registers and
// conditions, directives, numbers, strings, comments (';', /* */ and #comment
// blocks) and labels. Styling is done as the editor asks for it, for the
// lines it shows; a line's state says which comment block is open after it.

#include <Qsci/qscilexercustom.h>

class Z80Lexer : public QsciLexerCustom {
    Q_OBJECT
public:
    // Bytes of a line that get colours; the rest of a longer line is plain.
    static constexpr long kMaxColouredLine = 10000;
    explicit Z80Lexer(QObject *parent = nullptr);
    const char *language() const override { return "Z80"; }
    QString description(int style) const override;
    void styleText(int start, int end) override;
    // Colours readable on the palette's background, light or dark.
    void followPalette(const QPalette &palette);
};
