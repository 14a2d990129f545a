#include "ui/rename.h"

#include "base/lines.h"
#include "base/utf8.h"
#include "platform/codepage.h"
#include "platform/textfile.h"
#include "platform/textlines.h"
#include "ui/language.h"
#include "z80/vocabulary.h"

#include <Qsci/qsciscintilla.h>

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

namespace {
bool isName(const QString &text) {
    if (text.isEmpty() || !z80::isNameStart(text[0].toLatin1()))
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 128 && z80::isNameChar(char(c.unicode()));
    });
}

// The bytes of a file's lines, as the analysis counts them, with their
// ends and the byte-order mark before the first, so that the file is
// written back as it was but for the names changed.
struct FileLines {
    QByteArray mark;
    QList<QByteArray> lines, ends;

    explicit FileLines(const QByteArray &bytes) {
        base::LineSplitter split({bytes.constData(), size_t(bytes.size())});
        mark = QByteArray(split.mark().data(), qsizetype(split.mark().size()));
        for (std::string_view line, end; split.next(&line, &end);) {
            lines << QByteArray(line.data(), qsizetype(line.size()));
            ends << QByteArray(end.data(), qsizetype(end.size()));
        }
    }
    QByteArray joined() const {
        QByteArray bytes = mark;
        for (qsizetype i = 0; i < lines.size(); ++i)
            bytes += lines[i] + ends[i];
        return bytes;
    }
};

// Whether `name` stands at `column` of `line` as a whole word, any letter case.
bool standsAt(const QByteArray &line, int column, const QByteArray &name) {
    if (column < 0 || column + name.size() > line.size())
        return false;
    if (line.mid(column, name.size()).toLower() != name.toLower())
        return false;
    const bool before = column > 0 && z80::isNameChar(line[column - 1]);
    const bool after =
        column + name.size() < line.size() && z80::isNameChar(line[column + name.size()]);
    return !before && !after;
}
} // namespace

Rename::Rename(QsciScintilla *editor, Language *language, Host host, QWidget *window)
    : QFrame(window, Qt::Popup), field(new QLineEdit(this)), changes(new QListWidget(this)),
      note(new QLabel(this)), m_editor(editor), m_language(language), m_host(std::move(host)) {
    setObjectName(QStringLiteral("rename"));
    setFrameShape(QFrame::StyledPanel);
    field->setObjectName(QStringLiteral("renameField"));
    changes->setObjectName(QStringLiteral("renameChanges"));
    changes->setFocusPolicy(Qt::NoFocus);
    note->setObjectName(QStringLiteral("renameNote"));
    note->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(field);
    layout->addWidget(note);
    layout->addWidget(changes);
    field->installEventFilter(this);
    connect(field, &QLineEdit::textChanged, this, [this] {
        m_listed = false;
        changes->clear();
        note->setText(tr("Enter lists the changes."));
    });
    resize(560, 300);
}

bool Rename::start() {
    const auto analysis = m_language->runner()->last();
    const long position = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    const long start = long(m_editor->SendScintilla(QsciScintillaBase::SCI_WORDSTARTPOSITION,
                                                    (unsigned long)position, 1L));
    const long end = long(m_editor->SendScintilla(QsciScintillaBase::SCI_WORDENDPOSITION,
                                                  (unsigned long)position, 1L));
    const QString word = m_editor->text(int(start), int(end));
    const z80::Definition *d =
        analysis && isName(word) ? analysis->find(word.toStdString()) : nullptr;
    if (!d) {
        m_host.tell(word.isEmpty() ? tr("F2 renames the name under the caret: the caret is on none")
                                   : tr("%1 is defined by no file of the program").arg(word));
        return false;
    }
    m_name = QString::fromStdString(d->name);
    // Every place the name stands: its definition and its uses, checked
    // against the text as it is now.
    m_found.clear();
    m_lines.clear();
    QList<Change> places{{QString::fromStdString(d->file), d->line, d->column}};
    for (const z80::Use &u : analysis->uses)
        if (QString::fromStdString(u.name).compare(m_name, Qt::CaseInsensitive) == 0)
            places << Change{QString::fromStdString(u.file), u.line, u.column};
    const QByteArray name = m_name.toLatin1();
    for (const Change &c : places) {
        const QByteArray line = lineOf(c.file, c.line);
        const bool seen = std::any_of(m_found.begin(), m_found.end(), [&](const Change &f) {
            return f.file == c.file && f.line == c.line && f.column == c.column;
        });
        if (!seen && standsAt(line, c.column, name))
            m_found << c;
    }
    field->setText(m_name);
    field->selectAll();
    move(m_editor->mapToGlobal(QPoint(m_editor->width() / 5, 0)));
    show();
    field->setFocus();
    return true;
}

const Rename::Lines &Rename::linesOf(const QString &file) {
    const QString path = QFileInfo(file).absoluteFilePath();
    if (const auto it = m_lines.find(path); it != m_lines.end())
        return it->second;
    Lines &read = m_lines[path];
    if (path == QFileInfo(m_host.document()).absoluteFilePath()) {
        read.lines = splitLines(m_editor->text().toUtf8());
        read.utf8 = true;
    } else if (QByteArray bytes; !readWholeFile(path, &bytes)) {
        read.lines = splitLines(bytes);
        read.utf8 = base::isUtf8({bytes.constData(), size_t(bytes.size())});
    }
    return read;
}

// A line of a file (from 1); empty past its end or when it cannot be read.
QByteArray Rename::lineOf(const QString &file, int line) {
    return linesOf(file).lines.value(line - 1);
}

QString Rename::shown(const QString &file, const QByteArray &line) {
    return linesOf(file).utf8 ? QString::fromUtf8(line) : cp1252::decode(line);
}

void Rename::list() {
    changes->clear();
    const QString wanted = field->text().trimmed();
    const auto analysis = m_language->runner()->last();
    if (!isName(wanted)) {
        note->setText(tr("%1 is not a name: a letter, '_' or '.' first, then letters, digits, "
                         "'_' and '.'")
                          .arg(wanted));
        return;
    }
    if (const z80::Definition *other = analysis ? analysis->find(wanted.toStdString()) : nullptr;
        other && wanted.compare(m_name, Qt::CaseInsensitive) != 0) {
        note->setText(tr("%1 is already defined (%2:%3).")
                          .arg(wanted, QFileInfo(QString::fromStdString(other->file)).fileName())
                          .arg(other->line));
        return;
    }
    const QDir here = QFileInfo(m_host.document()).absoluteDir();
    QSet<QString> files;
    for (const Change &c : m_found) {
        QByteArray line = lineOf(c.file, c.line);
        line.replace(c.column, m_name.size(), wanted.toLatin1());
        changes->addItem(QStringLiteral("%1:%2: %3")
                             .arg(here.relativeFilePath(c.file))
                             .arg(c.line)
                             .arg(shown(c.file, line).trimmed()));
        files << c.file;
    }
    note->setText(tr("%1 to %2: %n change(s) in %3 file(s). Enter makes them; Escape leaves "
                     "everything as it is.",
                     nullptr, int(m_found.size()))
                      .arg(m_name, wanted)
                      .arg(files.size()));
    m_listed = true;
}

void Rename::apply() {
    const QString wanted = field->text().trimmed();
    const QByteArray name = wanted.toLatin1();
    const QString document = QFileInfo(m_host.document()).absoluteFilePath();
    std::map<QString, QList<Change>> byFile;
    for (const Change &c : m_found)
        byFile[QFileInfo(c.file).absoluteFilePath()] << c;
    // From the end, so that the places before stay where they are.
    for (auto &[file, list] : byFile)
        std::sort(list.begin(), list.end(), [](const Change &a, const Change &b) {
            return a.line != b.line ? a.line > b.line : a.column > b.column;
        });
    QStringList failed;
    int written = 0;
    for (const auto &[file, list] : byFile) {
        if (file == document)
            continue;
        QByteArray bytes;
        if (auto error = readWholeFile(file, &bytes)) {
            failed << error->message();
            continue;
        }
        FileLines text(bytes);
        QList<QByteArray> &lines = text.lines;
        bool stale = false;
        for (const Change &c : list) {
            if (c.line < 1 || c.line > lines.size() ||
                !standsAt(lines[c.line - 1], c.column, m_name.toLatin1())) {
                stale = true;
                break;
            }
            lines[c.line - 1].replace(c.column, m_name.size(), name);
        }
        if (stale) {
            failed << tr("%1 changed since it was read: left as it is").arg(file);
            continue;
        }
        const QString error = m_host.write(file, text.joined());
        if (!error.isEmpty())
            failed << error;
        else
            ++written;
    }
    if (const auto it = byFile.find(document); it != byFile.end()) {
        m_editor->SendScintilla(QsciScintillaBase::SCI_BEGINUNDOACTION);
        for (const Change &c : it->second) {
            const long start = long(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE,
                                                            (unsigned long)(c.line - 1))) +
                               c.column;
            m_editor->SendScintilla(QsciScintillaBase::SCI_SETTARGETRANGE, (unsigned long)start,
                                    long(start + m_name.toUtf8().size()));
            m_editor->SendScintilla(QsciScintillaBase::SCI_REPLACETARGET, long(name.size()),
                                    name.constData());
        }
        m_editor->SendScintilla(QsciScintillaBase::SCI_ENDUNDOACTION);
    }
    hide();
    m_host.tell(failed.isEmpty() ? tr("Renamed %1 to %2: %3 change(s), %4 other file(s) written")
                                       .arg(m_name, wanted)
                                       .arg(m_found.size())
                                       .arg(written)
                                 : tr("Renamed %1 to %2, but: %3")
                                       .arg(m_name, wanted, failed.join(QLatin1String("; "))));
}

void Rename::hideEvent(QHideEvent *event) {
    m_lines.clear();
    QFrame::hideEvent(event);
}

bool Rename::eventFilter(QObject *watched, QEvent *event) {
    if (watched != field || event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent *>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    if (m_listed)
        apply();
    else
        list();
    return true;
}
