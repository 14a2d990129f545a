// Going to places: to a definition and back, to a symbol of the file or
// the program, and the list of a name's references.

#include "language.h"

#include "platform/textfile.h"
#include "platform/textlines.h"
#include "ui/languageparts.h"
#include "ui/symbollist.h"

#include <Qsci/qsciscintilla.h>

#include <QDir>
#include <QFileInfo>

#include <algorithm>

using languageparts::hex;
using languageparts::q;

namespace {

// Through the one file reader: a FIFO or a device put in an include's place
// is refused, never waited on.
QStringList readLines(const QString &path) {
    QByteArray bytes;
    QStringList lines;
    if (!readWholeFile(path, &bytes))
        for (const QByteArray &line : splitLines(bytes))
            lines << QString::fromLatin1(line);
    return lines;
}

} // namespace

void Language::pushPlace() {
    m_back << Place{m_host.currentFile(),
                    long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS))};
    if (m_back.size() > 100)
        m_back.removeFirst();
}

// Opens `file` when it is not the document, then puts the caret at the place.
bool Language::goTo(const QString &file, int line, int column) {
    if (QFileInfo(file).absoluteFilePath() != documentPath() && !m_host.openFile(file))
        return false;
    const long start = long(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE,
                                                    (unsigned long)std::max(0, line - 1)));
    // A place out of sight comes to the middle, with what follows it in view.
    const long shown = long(m_editor->SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN));
    const long first = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE));
    m_editor->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, (unsigned long)(start + column));
    if (line - 1 < first || line - 1 >= first + shown)
        m_editor->SendScintilla(QsciScintillaBase::SCI_VERTICALCENTRECARET);
    else
        m_editor->SendScintilla(QsciScintillaBase::SCI_SCROLLCARET);
    m_editor->setFocus();
    return true;
}

void Language::goToDefinition() {
    if (!m_analysis)
        return;
    const long position = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    const z80::Definition *d = m_analysis->find(wordAt(position).toStdString());
    if (!d)
        return;
    pushPlace();
    if (!goTo(q(d->file), d->line, d->column))
        m_back.removeLast();
}

void Language::goBack() {
    if (m_back.isEmpty())
        return;
    const Place place = m_back.takeLast();
    const QString current = m_host.currentFile();
    if (place.file != current && (place.file.isEmpty() || !m_host.openFile(place.file)))
        return;
    m_editor->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, (unsigned long)place.position);
    m_editor->SendScintilla(QsciScintillaBase::SCI_SCROLLCARET);
}

void Language::goToSymbol(bool widened) {
    if (!m_analysis)
        return;
    const std::string path = m_analysedPath.toStdString();
    QList<SymbolList::Entry> entries;
    const QDir here = QFileInfo(m_analysedPath).absoluteDir();
    for (const z80::Definition &d : m_analysis->definitions) {
        if (d.file != path && !widened)
            continue;
        QString text = q(d.name);
        if (d.value)
            text += QLatin1String(" = ") + hex(*d.value);
        if (d.file != path)
            text += QStringLiteral("   (%1:%2)").arg(here.relativeFilePath(q(d.file))).arg(d.line);
        entries << SymbolList::Entry{text, q(d.file), d.line, d.column};
    }
    m_list->show(entries, m_editor->mapToGlobal(QPoint(m_editor->width() / 4, 0)));
}

void Language::findReferences() {
    if (!m_analysis)
        return;
    const QString word =
        wordAt(long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS)));
    if (word.isEmpty())
        return;
    const QDir here = QFileInfo(m_analysedPath).absoluteDir();
    QList<SymbolList::Entry> entries;
    QHash<QString, QStringList> lines;
    for (const z80::Use &u : m_analysis->uses) {
        if (QString::compare(q(u.name), word, Qt::CaseInsensitive) != 0)
            continue;
        const QString file = q(u.file);
        if (!lines.contains(file))
            lines.insert(file,
                         file == m_analysedPath ? splitLines(m_editor->text()) : readLines(file));
        QString text = lines[file].value(u.line - 1).trimmed();
        entries << SymbolList::Entry{QStringLiteral("%1:%2: %3")
                                         .arg(here.relativeFilePath(file))
                                         .arg(u.line)
                                         .arg(text.isEmpty() ? q(u.name) : text),
                                     file, u.line, u.column};
    }
    m_list->show(entries, m_editor->mapToGlobal(QPoint(m_editor->width() / 4, 0)));
}
