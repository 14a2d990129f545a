#include "ui/reloadwatch.h"

#include "ui/keytable.h"

#include <Qsci/qsciscintilla.h>

#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

ReloadWatch::ReloadWatch(QsciScintilla *editor, Host host, QWidget *window)
    : QObject(window), m_editor(editor), m_host(std::move(host)),
      m_watcher(new QFileSystemWatcher(this)), m_bar(new QFrame(editor->parentWidget())),
      m_text(new QLabel(m_bar)) {
    setObjectName(QStringLiteral("reloadWatch"));
    // A file replaced by a rename (as git and most editors write) is no longer
    // the one watched: its folder tells of it.
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &ReloadWatch::check);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &ReloadWatch::check);
    window->installEventFilter(this); // and coming back to the window looks again
    editor->installEventFilter(this);

    m_bar->setObjectName(QStringLiteral("reloadBar"));
    m_bar->setFrameShape(QFrame::StyledPanel);
    m_bar->setAutoFillBackground(true);
    m_bar->setBackgroundRole(QPalette::ToolTipBase);
    m_text->setObjectName(QStringLiteral("reloadText"));
    m_text->setForegroundRole(QPalette::ToolTipText);
    m_text->setWordWrap(true);
    m_reloadAction = addKeyAction(window, this, tr("&Reload (lose my edits)"), "reloadFromDisk",
                                  [this] { reload(); });
    m_keepAction =
        addKeyAction(window, this, tr("&Keep my text"), "keepMyText", [this] { keep(); });
    auto *layout = new QHBoxLayout(m_bar);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(m_text, 1);
    for (QAction *a : {m_reloadAction, m_keepAction}) {
        a->setEnabled(false); // their keys only while the bar is up
        auto *button = new QToolButton(m_bar);
        button->setObjectName(a->objectName() + QLatin1String("Button"));
        button->setDefaultAction(a);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setFocusPolicy(Qt::NoFocus); // the keyboard stays in the text
        layout->addWidget(button);
    }
    m_bar->hide();
}

void ReloadWatch::follow(const QString &path) {
    if (path == m_path)
        return;
    m_path = path;
    m_kept.reset();
    m_bar->hide();
    m_reloadAction->setEnabled(false);
    m_keepAction->setEnabled(false);
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    if (path.isEmpty())
        return;
    m_watcher->addPath(path);
    m_watcher->addPath(QFileInfo(path).absolutePath());
}

void ReloadWatch::check() {
    const QString path = m_host.file();
    if (path.isEmpty() || path != m_path || !QFileInfo(path).isFile())
        return;
    if (!m_watcher->files().contains(path))
        m_watcher->addPath(path); // the file was replaced: watch the new one
    if (!m_host.changedOnDisk(path)) {
        m_bar->hide(); // an older change was saved over or undone
        return;
    }
    const auto stamp = fileStamp(path);
    if (m_kept && stamp == m_kept)
        return; // the user keeps the text over this version
    if (!m_editor->isModified()) {
        reload();
        return;
    }
    m_text->setText(tr("%1 has been changed by another program. Reload it (your edits here are "
                       "lost), or keep your text (saving asks before overwriting the file)?")
                        .arg(QFileInfo(path).fileName()));
    m_reloadAction->setEnabled(true);
    m_keepAction->setEnabled(true);
    placeBar();
    m_bar->show();
    m_bar->raise();
}

// Read again, with the caret on the same line and column and the same lines in view.
void ReloadWatch::reload() {
    int line = 0, index = 0;
    m_editor->getCursorPosition(&line, &index);
    const long first = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE));
    const long xOffset = long(m_editor->SendScintilla(QsciScintillaBase::SCI_GETXOFFSET));
    m_bar->hide();
    m_reloadAction->setEnabled(false);
    m_keepAction->setEnabled(false);
    if (!m_host.reload())
        return;
    m_kept.reset();
    line = qMin(line, m_editor->lines() - 1);
    const long start =
        long(m_editor->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, (unsigned long)line));
    const long end = long(
        m_editor->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, (unsigned long)line));
    m_editor->SendScintilla(QsciScintillaBase::SCI_GOTOPOS,
                            (unsigned long)qMin(end, start + long(index)));
    m_editor->SendScintilla(QsciScintillaBase::SCI_SETFIRSTVISIBLELINE, (unsigned long)first);
    m_editor->SendScintilla(QsciScintillaBase::SCI_SETXOFFSET, (unsigned long)xOffset);
    m_host.tell(tr("Reloaded %1: another program changed it").arg(QFileInfo(m_path).fileName()));
}

void ReloadWatch::keep() {
    m_kept = fileStamp(m_path);
    m_bar->hide();
    m_reloadAction->setEnabled(false);
    m_keepAction->setEnabled(false);
    m_host.tell(tr("Kept your text; saving asks before overwriting the changed file"));
}

void ReloadWatch::placeBar() {
    const QRect area = m_editor->geometry();
    const int height = m_bar->heightForWidth(area.width());
    m_bar->setGeometry(area.left(), area.top(), area.width(),
                       height > 0 ? height : m_bar->sizeHint().height());
}

bool ReloadWatch::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::WindowActivate)
        check();
    if (watched == m_editor && event->type() == QEvent::Resize && m_bar->isVisible())
        placeBar();
    return false;
}
