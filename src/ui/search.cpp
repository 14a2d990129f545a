#include "search.h"

#include <Qsci/qsciscintilla.h>

namespace {

long send(QsciScintilla *e, unsigned int message, unsigned long w = 0, long l = 0) {
    return long(e->SendScintilla(message, w, l));
}

int flags(const SearchOptions &o) {
    return (o.matchCase ? QsciScintillaBase::SCFIND_MATCHCASE : 0) |
           (o.wholeWord ? QsciScintillaBase::SCFIND_WHOLEWORD : 0);
}

// The first match in [from, to) (a backward search when from > to), or -1.
long search(QsciScintilla *e, const QByteArray &needle, const SearchOptions &o, long from,
            long to) {
    send(e, QsciScintillaBase::SCI_SETSEARCHFLAGS, (unsigned long)flags(o));
    send(e, QsciScintillaBase::SCI_SETTARGETSTART, (unsigned long)from);
    send(e, QsciScintillaBase::SCI_SETTARGETEND, (unsigned long)to);
    return long(e->SendScintilla(QsciScintillaBase::SCI_SEARCHINTARGET,
                                 (unsigned long)needle.size(), needle.constData()));
}

QByteArray targetText(QsciScintilla *e, long start, long end) {
    QByteArray bytes(end - start + 1, '\0');
    e->SendScintilla(QsciScintillaBase::SCI_GETTARGETTEXT, 0UL, bytes.data());
    bytes.chop(1);
    return bytes;
}

} // namespace

bool findNext(QsciScintilla *e, const QString &text, const SearchOptions &o, bool forward) {
    if (text.isEmpty())
        return false;
    const QByteArray needle = text.toUtf8();
    const long length = send(e, QsciScintillaBase::SCI_GETLENGTH);
    const long start = send(e, QsciScintillaBase::SCI_GETSELECTIONSTART);
    const long end = send(e, QsciScintillaBase::SCI_GETSELECTIONEND);
    long found = forward ? search(e, needle, o, end, length) : search(e, needle, o, start, 0);
    if (found < 0 && o.wrap)
        found = forward ? search(e, needle, o, 0, end) : search(e, needle, o, length, start);
    if (found < 0)
        return false;
    const long foundEnd = send(e, QsciScintillaBase::SCI_GETTARGETEND);
    send(e, QsciScintillaBase::SCI_SETSEL, (unsigned long)found, foundEnd);
    send(e, QsciScintillaBase::SCI_SCROLLCARET);
    return true;
}

bool replaceNext(QsciScintilla *e, const QString &text, const QString &replacement,
                 const SearchOptions &o) {
    const long start = send(e, QsciScintillaBase::SCI_GETSELECTIONSTART);
    const long end = send(e, QsciScintillaBase::SCI_GETSELECTIONEND);
    if (start != end && search(e, text.toUtf8(), o, start, end) == start &&
        send(e, QsciScintillaBase::SCI_GETTARGETEND) == end) {
        const QByteArray with = replacement.toUtf8();
        e->SendScintilla(QsciScintillaBase::SCI_REPLACETARGET, (unsigned long)with.size(),
                         with.constData());
        send(e, QsciScintillaBase::SCI_SETSEL, (unsigned long)(start + with.size()),
             start + with.size());
    }
    return findNext(e, text, o, true);
}

ReplaceCount replaceAll(QsciScintilla *e, const QString &text, const QString &replacement,
                        const SearchOptions &o) {
    ReplaceCount count;
    if (text.isEmpty())
        return count;
    const QByteArray needle = text.toUtf8(), with = replacement.toUtf8();
    long from = 0;
    send(e, QsciScintillaBase::SCI_BEGINUNDOACTION);
    for (;;) {
        const long found = search(e, needle, o, from, send(e, QsciScintillaBase::SCI_GETLENGTH));
        if (found < 0)
            break;
        // A match that already reads as its replacement stays untouched, so a
        // Replace All that changes nothing leaves nothing to save.
        ++count.matches;
        const long end = send(e, QsciScintillaBase::SCI_GETTARGETEND);
        if (targetText(e, found, end) != with) {
            e->SendScintilla(QsciScintillaBase::SCI_REPLACETARGET, (unsigned long)with.size(),
                             with.constData());
            ++count.changed;
        }
        from = send(e, QsciScintillaBase::SCI_GETTARGETEND);
    }
    send(e, QsciScintillaBase::SCI_ENDUNDOACTION);
    return count;
}
