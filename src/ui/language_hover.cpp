// Hover: what the text under the mouse is (a problem, a symbol with its
// value, place, comment and address in the last build, an OS call, an
// instruction's size, time and flags).

#include "language.h"

#include "platform/textfile.h"
#include "platform/textlines.h"
#include "run/romdocs.h"
#include "ui/languageparts.h"
#include "z80/instructionfacts.h"

#include <Qsci/qsciscintilla.h>

#include <QDir>
#include <QFileInfo>
#include <QHelpEvent>
#include <QRegularExpression>
#include <QToolTip>

#include <algorithm>

using languageparts::hex;
using languageparts::message;
using languageparts::q;

namespace {

QString kindName(z80::Definition::Kind kind) {
    switch (kind) {
    case z80::Definition::Kind::Label:
        return QObject::tr("label");
    case z80::Definition::Kind::Equate:
        return QObject::tr("equate");
    case z80::Definition::Kind::Define:
        return QObject::tr("#define");
    case z80::Definition::Kind::Macro:
        return QObject::tr("macro");
    }
    return {};
}

} // namespace

QString Language::hoverText(long position) const {
    if (!m_analysis || position < 0)
        return {};
    const long line = long(
        m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, (unsigned long)position));
    const long column =
        position -
        long(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, (unsigned long)line));
    const std::string path = m_analysedPath.toStdString();
    for (const z80::Diagnostic &p : m_analysis->problems)
        if (p.file == path && p.line == line + 1 && column >= p.column &&
            column < p.column + std::max(1, p.length))
            return message(p);
    const z80::Definition *d = m_analysis->find(wordAt(position).toStdString());
    const run::RomCallDoc *call = run::romCallDoc(romCallAt(position).toStdString());
    if (!d)
        return call ? q(call->name) + QLatin1Char('\n') + q(run::describe(*call))
                    : instructionHover(line, column);
    QString text = q(d->name);
    if (d->value)
        text += QStringLiteral(" = %1 (%2)").arg(hex(*d->value)).arg(*d->value);
    text += QLatin1Char('\n') +
            tr("%1, %2:%3")
                .arg(kindName(d->kind),
                     QDir(QFileInfo(m_analysedPath).absolutePath()).relativeFilePath(q(d->file)))
                .arg(d->line);
    if (d->kind == z80::Definition::Kind::Label)
        if (const auto built = builtAddress(q(d->name)))
            text += QLatin1Char('\n') + tr("in the last build: %1").arg(hex(*built));
    if (!d->comment.empty())
        text += QLatin1Char('\n') + q(d->comment);
    if (call)
        text += (d->name == call->name ? QString() : QLatin1Char('\n') + q(call->name)) +
                QLatin1Char('\n') + q(run::describe(*call));
    return text;
}

// The OS call a word names: the word itself (_PutS), or on bcall, b_call and
// B_CALL the name in the parentheses after it.
QString Language::romCallAt(long position) const {
    long start = 0;
    const QString word = wordAt(position, &start);
    if (word.startsWith(QLatin1Char('_')))
        return word;
    if (word.compare(QLatin1String("bcall"), Qt::CaseInsensitive) != 0 &&
        word.compare(QLatin1String("b_call"), Qt::CaseInsensitive) != 0)
        return {};
    const long end = start + word.size();
    const long lineEnd = long(m_editor->SendScintilla(
        QsciScintillaBase::SCI_GETLINEENDPOSITION,
        m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, (unsigned long)end)));
    QByteArray rest(int(std::min(lineEnd - end, 200L)) + 1, '\0');
    m_editor->SendScintilla(QsciScintillaBase::SCI_GETTEXTRANGE, end, end + rest.size() - 1,
                            rest.data());
    static const QRegularExpression argument(QStringLiteral("^\\s*\\(\\s*(_\\w+)"));
    return argument.match(QString::fromLatin1(rest.constData())).captured(1);
}

// On an instruction: its size, T-states and flags.
QString Language::instructionHover(long line, long column) const {
    QByteArray text(int(m_editor->SendScintilla(QsciScintillaBase::SCI_LINELENGTH, line)) + 1,
                    '\0');
    m_editor->SendScintilla(QsciScintillaBase::SCI_GETLINE, (unsigned long)line, text.data());
    text.truncate(int(qstrnlen(text.constData(), text.size())));
    while (text.endsWith('\n') || text.endsWith('\r'))
        text.chop(1);
    const auto facts =
        z80::instructionFacts(std::string_view(text.constData(), text.size()), size_t(column));
    return facts ? q(z80::describe(*facts)) : QString();
}

// A label's address in the labels file the last good build left.
std::optional<qint64> Language::builtAddress(const QString &label) const {
    const QString path = m_host.builtLabels ? m_host.builtLabels() : QString();
    QByteArray bytes;
    if (path.isEmpty() || readWholeFile(path, &bytes))
        return std::nullopt;
    const QByteArray key = label.toLatin1().toLower() + " = $";
    for (const QByteArray &whole : splitLines(bytes)) {
        const QByteArray line = whole.trimmed();
        bool ok = false;
        const qint64 value = line.mid(key.size()).toLongLong(&ok, 16);
        if (ok && line.toLower().startsWith(key))
            return value;
    }
    return std::nullopt;
}

bool Language::toolTip(QHelpEvent *event) {
    int margins = 0;
    for (int m = 0; m < m_editor->margins(); ++m)
        margins += m_editor->marginWidth(m);
    if (event->pos().x() < margins)
        return false; // the margin's marks answer
    const QString text = hoverText(
        long(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMPOINTCLOSE,
                                     (unsigned long)event->pos().x(), long(event->pos().y()))));
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), text, m_editor->viewport());
    return true;
}
