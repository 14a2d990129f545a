// Completion: the names an analysis defines and the language's words, by
// a key, by itself after three letters, and the OS calls after b_call(.

#include "language.h"

#include "ui/languageparts.h"
#include "z80/vocabulary.h"

#include <Qsci/qsciscintilla.h>

#include <QKeyEvent>

#include <algorithm>

namespace {

// The order the editor control's list assumes when it ignores case: letters
// folded to upper case, so '_' sorts after them.
bool upperLess(QStringView a, QStringView b) {
    const auto upper = [](QChar c) {
        return c >= QLatin1Char('a') && c <= QLatin1Char('z') ? QChar(c.unicode() - 32) : c;
    };
    for (qsizetype i = 0; i < a.size() && i < b.size(); ++i)
        if (upper(a[i]) != upper(b[i]))
            return upper(a[i]) < upper(b[i]);
    return a.size() < b.size();
}

} // namespace

namespace languageparts {

CompletionLists buildCompletion(const z80::Analysis &analysis) {
    QStringList all, rom;
    QSet<QString> seen;
    for (const z80::Definition &d : analysis.definitions) {
        const QString name = q(d.name);
        if (seen.contains(name.toLower()))
            continue;
        seen.insert(name.toLower());
        const QString item = d.value ? name + QLatin1String(" = ") + hex(*d.value) : name;
        all << item;
        if (d.kind == z80::Definition::Kind::Equate && name.startsWith(QLatin1Char('_')))
            rom << item;
    }
    for (const std::string &w : z80::languageWords())
        if (!seen.contains(q(w)))
            all << q(w);
    std::sort(all.begin(), all.end(), upperLess);
    std::sort(rom.begin(), rom.end(), upperLess);
    return {all, rom};
}

} // namespace languageparts

void Language::complete() {
    const long position = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    long start = position;
    QString word = wordAt(position, &start);
    word.truncate(int(position - start)); // what is typed so far
    // After b_call( and its spellings: the ROM calls only.
    const long line = long(
        m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, (unsigned long)start));
    const long lineStart =
        long(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, (unsigned long)line));
    QByteArray before(int(start - lineStart) + 1, '\0');
    m_editor->SendScintilla(QsciScintillaBase::SCI_GETTEXTRANGE, lineStart, start, before.data());
    before.chop(1);
    const QString lead = QString::fromUtf8(before).trimmed().toLower();
    const bool rom =
        lead.endsWith(QLatin1String("b_call(")) || lead.endsWith(QLatin1String("bcall("));
    const QStringList &items = rom ? m_romCalls : m_completion;
    // Only the entries the word so far begins: a sorted list's one run of them.
    const auto first = std::lower_bound(
        items.begin(), items.end(), word, [](const QString &item, const QString &prefix) {
            return upperLess(QStringView(item).left(prefix.size()), prefix);
        });
    auto last = first;
    while (last != items.end() && last->startsWith(word, Qt::CaseInsensitive) &&
           last - first < kMaxShown)
        ++last;
    m_shownAll = last == items.end() || !last->startsWith(word, Qt::CaseInsensitive);
    if (first == last) {
        m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCCANCEL);
        return;
    }
    const QStringList shown(first, last);
    m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCSHOW, (unsigned long)word.toUtf8().size(),
                            shown.join(QLatin1Char('\n')).toUtf8().constData());
}

// By itself after three letters of a word, and after b_call(.
void Language::charAdded(int ch) {
    if (m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCACTIVE)) {
        // The list holds only what the longer word begins (the control would
        // only move its selection).
        if (z80::isNameChar(char(ch)))
            complete();
        return;
    }
    const long position = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    long start = position;
    QString word = wordAt(position, &start);
    word.truncate(int(position - start));
    if (ch == '(') {
        const long line = long(m_editor->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION,
                                                       (unsigned long)position));
        QByteArray text(int(m_editor->SendScintilla(QsciScintillaBase::SCI_LINELENGTH, line)) + 1,
                        '\0');
        m_editor->SendScintilla(QsciScintillaBase::SCI_GETLINE, (unsigned long)line, text.data());
        const long column =
            position - long(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE,
                                                    (unsigned long)line));
        const QByteArray lead = text.left(int(column)).trimmed().toLower();
        if (lead.endsWith("b_call(") || lead.endsWith("bcall("))
            complete();
    } else if (z80::isNameChar(char(ch)) && position - start >= 3 && !word.isEmpty() &&
               z80::isNameStart(word[0].toLatin1())) {
        complete();
    }
}

// Enter after a word typed out in full starts a new line, as it would with
// no list: the list goes and the key goes on to the text.
bool Language::enterEndsCompletion(QKeyEvent *key) {
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        !m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCACTIVE))
        return false;
    QByteArray entry(int(m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCGETCURRENTTEXT, 0UL,
                                                 static_cast<const char *>(nullptr))) +
                         1,
                     '\0');
    m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCGETCURRENTTEXT, 0UL, entry.data());
    entry.truncate(int(qstrlen(entry.constData())));
    if (entry.indexOf(" = ") >= 0)
        entry.truncate(entry.indexOf(" = "));
    const long position = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    long start = position;
    QString word = wordAt(position, &start);
    word.truncate(int(position - start));
    if (QString::compare(word, QString::fromUtf8(entry), Qt::CaseInsensitive) == 0)
        m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCCANCEL);
    return false;
}

// A chosen entry is written as it was defined, without its value.
void Language::completionChosen(const char *text, int position) {
    m_editor->SendScintilla(QsciScintillaBase::SCI_AUTOCCANCEL);
    QByteArray name(text);
    name.truncate(name.indexOf(" = ") < 0 ? name.size() : name.indexOf(" = "));
    const long caret = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    m_editor->SendScintilla(QsciScintillaBase::SCI_SETSEL, (unsigned long)position, caret);
    m_editor->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, name.constData());
}
