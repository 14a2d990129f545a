#include "ui/runkeypad.h"

#include "run/keypad.h"

#include <QGridLayout>
#include <QPushButton>

namespace {

struct PadKey {
    const char *label;
    int scanCode;
};

// Row by row from the top, five to a row; the arrows sit in the third and
// fourth rows' right-hand side, as their cluster does on the calculator.
const PadKey kRows[10][5] = {
    {{"Y=", run::sk::YEqu},
     {"WINDOW", run::sk::Window},
     {"ZOOM", run::sk::Zoom},
     {"TRACE", run::sk::Trace},
     {"GRAPH", run::sk::Graph}},
    {{"2ND", run::sk::Second},
     {"MODE", run::sk::Mode},
     {"DEL", run::sk::Del},
     {"\u25C0", run::sk::Left},
     {"\u25B6", run::sk::Right}},
    {{"ALPHA", run::sk::Alpha},
     {"X,T,\u03B8,n", run::sk::XTThetaN},
     {"STAT", run::sk::Stat},
     {"\u25B2", run::sk::Up},
     {"\u25BC", run::sk::Down}},
    {{"MATH", run::sk::Math},
     {"APPS", run::sk::Apps},
     {"PRGM", run::sk::Prgm},
     {"VARS", run::sk::Vars},
     {"CLEAR", run::sk::Clear}},
    {{"x\u207B\u00B9", run::sk::Recip},
     {"SIN", run::sk::Sin},
     {"COS", run::sk::Cos},
     {"TAN", run::sk::Tan},
     {"^", run::sk::Power}},
    {{"x\u00B2", run::sk::Square},
     {",", run::sk::Comma},
     {"(", run::sk::LParen},
     {")", run::sk::RParen},
     {"\u00F7", run::sk::Div}},
    {{"LOG", run::sk::Log},
     {"7", run::sk::Seven},
     {"8", run::sk::Eight},
     {"9", run::sk::Nine},
     {"\u00D7", run::sk::Mul}},
    {{"LN", run::sk::Ln},
     {"4", run::sk::Four},
     {"5", run::sk::Five},
     {"6", run::sk::Six},
     {"\u2212", run::sk::Sub}},
    {{"STO\u2192", run::sk::Store},
     {"1", run::sk::One},
     {"2", run::sk::Two},
     {"3", run::sk::Three},
     {"+", run::sk::Add}},
    {{"ON", run::sk::On},
     {"0", run::sk::Zero},
     {".", run::sk::DecPnt},
     {"(\u2212)", run::sk::Chs},
     {"ENTER", run::sk::Enter}},
};

} // namespace

RunKeypad::RunKeypad(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("runKeypad"));
    auto *grid = new QGridLayout(this);
    grid->setSpacing(2);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int row = 0; row < 10; ++row)
        for (int col = 0; col < 5; ++col) {
            const PadKey &k = kRows[row][col];
            auto *b = new QPushButton(QString::fromUtf8(k.label), this);
            b->setObjectName(QStringLiteral("runKey%1").arg(k.scanCode, 2, 16, QChar('0')));
            b->setFocusPolicy(Qt::NoFocus); // the keyboard stays the calculator's
            b->setMinimumWidth(44);
            const int code = k.scanCode;
            connect(b, &QPushButton::pressed, this, [this, code] { emit keyPressed(code); });
            connect(b, &QPushButton::released, this, [this, code] { emit keyReleased(code); });
            grid->addWidget(b, row, col);
        }
}
