#include "ui/statusline.h"

#include <Qsci/qsciscintilla.h>

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QTimer>

namespace {
// A folder as the user reads it: the home folder as "~".
QString shownFolder(const QString &folder) {
    const QString home = QDir::homePath();
    if (folder == home)
        return QStringLiteral("~");
    if (folder.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + folder.mid(home.size());
    return folder;
}

QString lineEndName(long mode) {
    switch (mode) {
    case QsciScintillaBase::SC_EOL_LF:
        return QStringLiteral("LF");
    case QsciScintillaBase::SC_EOL_CR:
        return QStringLiteral("CR");
    default:
        return QStringLiteral("CR LF");
    }
}

constexpr int kGap = 12; // between two parts
} // namespace

StatusLine::StatusLine(QsciScintilla *editor, Host host, QMenuBar *parent)
    : QWidget(parent), m_editor(editor), m_host(std::move(host)), m_refresh(new QTimer(this)) {
    setObjectName(QStringLiteral("statusLine"));
    auto label = [this](const char *name) {
        auto *l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setTextFormat(Qt::PlainText);
        return l;
    };
    fileLabel = label("statusFile");
    modifiedLabel = label("statusModified");
    positionLabel = label("statusPosition");
    formatLabel = label("statusFormat");
    programLabel = label("statusProgram");
    messageLabel = label("statusMessage");
    // Many changes in one event (a Replace All, a load) are shown once.
    m_refresh->setSingleShot(true);
    m_refresh->setInterval(0);
    connect(m_refresh, &QTimer::timeout, this, &StatusLine::refresh);
    connect(editor, &QsciScintilla::cursorPositionChanged, this, &StatusLine::showPosition);
    connect(editor, &QsciScintilla::modificationChanged, m_refresh, qOverload<>(&QTimer::start));
    connect(editor, &QsciScintilla::textChanged, m_refresh, qOverload<>(&QTimer::start));
    parent->installEventFilter(this);
    refresh();
}

// In the menu bar, right of its last menu: the strip the resize rule leaves
// below the editor is thinner than a line of text under a window manager's
// title bar, and the menu bar's right part is always free.
void StatusLine::place() {
    auto *bar = qobject_cast<QMenuBar *>(parentWidget());
    if (!bar)
        return;
    int left = 0;
    for (QAction *a : bar->actions())
        left = qMax(left, bar->actionGeometry(a).right() + 1);
    left += kGap;
    const int right = bar->width() - kGap;
    setGeometry(left, 0, qMax(0, right - left), bar->height());
}

bool StatusLine::eventFilter(QObject *, QEvent *event) {
    if (event->type() == QEvent::Resize || event->type() == QEvent::Move)
        place();
    return false;
}

void StatusLine::say(const QString &text) {
    m_said = text.simplified();
    messageLabel->setToolTip(text);
    fit();
}

void StatusLine::refresh() {
    const QString file = m_host.file();
    if (file.isEmpty()) {
        fileLabel->setToolTip(tr("Not saved yet"));
        m_name = tr("Untitled");
        m_folder.clear();
    } else {
        const QFileInfo info(file);
        fileLabel->setToolTip(info.absoluteFilePath());
        m_name = info.fileName();
        m_folder = shownFolder(info.absolutePath());
    }
    modifiedLabel->setText(m_editor->isModified() ? tr("Modified") : tr("Unmodified"));
    formatLabel->setText(tr("%1, %2").arg(
        m_host.encoding(),
        lineEndName(long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETEOLMODE)))));
    const QString program = m_host.program();
    programLabel->setText(
        program.isEmpty() ? QString()
        : m_host.namesProgram()
            ? tr("Builds %1 (; main:)").arg(QFileInfo(program).fileName())
            : tr("Builds %1 (which includes it)").arg(QFileInfo(program).fileName()));
    programLabel->setToolTip(program);
    showPosition();
}

void StatusLine::showPosition() {
    int line = 0, index = 0;
    m_editor->getCursorPosition(&line, &index);
    // The column as the user counts it: a tab goes to the next multiple of 8.
    const long position = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    const long column =
        long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETCOLUMN, (unsigned long)position));
    positionLabel->setText(tr("Ln %1, Col %2").arg(line + 1).arg(column + 1));
    fit();
}

void StatusLine::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    fit();
}

// The parts from left to right; while the line is too narrow the least
// needed go first (the format, the program, the message, the modified flag,
// which a "*" after the name then stands for, the position). The file's name
// and folder are cut in the middle, down to the name alone, and the message
// at its end.
void StatusLine::fit() {
    const QFontMetrics metrics = fileLabel->fontMetrics(); // the labels' font, not the bar's
    const QString in = m_folder.isEmpty() ? QString() : tr(" in ");
    QString name = m_name;
    const int least = metrics.horizontalAdvance(m_name + QLatin1Char('*'));
    constexpr int kLeastMessage = 80;
    QLabel *const parts[] = {fileLabel,    modifiedLabel, positionLabel,
                             programLabel, formatLabel,   messageLabel};
    QLabel *const dropOrder[] = {formatLabel, programLabel, messageLabel, modifiedLabel,
                                 positionLabel};
    auto need = [&](QLabel *l) {
        return l == fileLabel      ? least
               : l == messageLabel ? qMin(kLeastMessage, metrics.horizontalAdvance(m_said))
                                   : metrics.horizontalAdvance(l->text());
    };
    QSet<QLabel *> shown;
    for (QLabel *l : parts)
        if (l == fileLabel || l == messageLabel ? true : !l->text().isEmpty())
            shown.insert(l);
    if (m_said.isEmpty())
        shown.remove(messageLabel);
    auto total = [&] {
        int sum = 0;
        for (QLabel *l : parts)
            if (shown.contains(l))
                sum += (sum ? kGap : 0) + need(l);
        return sum;
    };
    for (QLabel *l : dropOrder)
        if (total() > width())
            shown.remove(l);
    if (!shown.contains(modifiedLabel) && m_editor->isModified())
        name += QLatin1Char('*');
    const QString whole = name + in + m_folder;
    // What is left over widens the file's part first, then the message's.
    int spare = qMax(0, width() - total());
    const int fileWidth = qMin(metrics.horizontalAdvance(whole), least + spare);
    spare -= fileWidth - least;
    int x = 0;
    for (QLabel *l : parts) {
        l->setVisible(shown.contains(l));
        if (!shown.contains(l))
            continue;
        int w = need(l);
        if (l == fileLabel) {
            w = fileWidth;
            // The name and as much of the folder as fits; else the name alone.
            const int folderRoom = w - metrics.horizontalAdvance(name + in);
            l->setText(w >= metrics.horizontalAdvance(whole) ? whole
                       // at least the folder's own name after the cut
                       : folderRoom >= metrics.horizontalAdvance(QStringLiteral("~\u2026/") +
                                                                 QFileInfo(m_folder).fileName())
                           ? name + in + metrics.elidedText(m_folder, Qt::ElideMiddle, folderRoom)
                           : name);
            w = qMin(w, metrics.horizontalAdvance(l->text()));
        } else if (l == messageLabel) {
            w = qMax(0, width() - x);
            l->setText(metrics.elidedText(m_said, Qt::ElideRight, w));
        }
        l->setGeometry(x, 0, w, height());
        x += w + kGap;
    }
}
