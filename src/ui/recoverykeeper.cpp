#include "recoverykeeper.h"

#include "platform/dialogs.h"
#include "ui/editor.h"

#include <Qsci/qsciscintilla.h>

#include <QFileInfo>
#include <QLocale>
#include <QWidget>

RecoveryKeeper::RecoveryKeeper(QsciScintilla *editor, const QString &folder, MessageBox *messages,
                               Hooks hooks, QWidget *window)
    : QObject(window), m_editor(editor), m_owner(folder), m_messages(messages),
      m_hooks(std::move(hooks)), m_window(window) {
    m_writer.setMaxThreadCount(1);
    m_timer.setSingleShot(true);
    m_timer.setInterval(kDelayMs);
    connect(&m_timer, &QTimer::timeout, this, &RecoveryKeeper::keepSoon);
    connect(editor, &QsciScintilla::textChanged, this, &RecoveryKeeper::changed);
    // Saved, loaded afresh, or undone back to the saved text: nothing to keep.
    connect(editor, &QsciScintilla::modificationChanged, this, [this](bool modified) {
        if (!modified)
            forget();
    });
}

RecoveryKeeper::~RecoveryKeeper() {
    m_writer.waitForDone();
}

// The first change after a write arms the timer; later ones do not push it
// back, so typing without a pause is kept too.
void RecoveryKeeper::changed() {
    if (!m_timer.isActive())
        m_timer.start();
}

RecoveryCopy RecoveryKeeper::snapshot() const {
    const EditorBytes bytes = editorBytes(m_editor);
    return {m_hooks.document(), m_hooks.encoding(), QByteArray(bytes.data, bytes.size),
            QDateTime::currentDateTime()};
}

void RecoveryKeeper::keepSoon() {
    if (!m_editor->isModified())
        return;
    m_writer.start([this, copy = snapshot()] {
        const auto error = m_owner.write(copy);
        const QString why = error ? error->message() : QString();
        QMetaObject::invokeMethod(
            this, [this, why] { written(why); }, Qt::QueuedConnection);
    });
}

void RecoveryKeeper::written(const QString &error) {
    if (error.isEmpty() == !m_failing)
        return;
    m_failing = !error.isEmpty();
    if (m_hooks.keepFailed)
        m_hooks.keepFailed(error);
}

void RecoveryKeeper::keepNow() {
    m_timer.stop();
    m_writer.clear();
    m_writer.waitForDone();
    if (m_editor->isModified())
        m_owner.write(snapshot());
}

void RecoveryKeeper::forget() {
    m_timer.stop();
    m_writer.clear();
    m_writer.waitForDone();
    m_owner.remove();
}

void RecoveryKeeper::offerLeftCopies() {
    if (std::exchange(m_offered, true))
        return;
    for (OrphanedCopy &left : orphanedCopies(QFileInfo(m_owner.copyPath()).absolutePath()))
        if (!offer(left))
            break;
}

// One copy: false when the user wants no more questions now.
bool RecoveryKeeper::offer(OrphanedCopy &left) {
    RecoveryCopy copy;
    if (auto error = left.read(&copy)) {
        m_messages->inform(m_window, error->message());
        return true;
    }
    const QString what = copy.document.isEmpty() ? tr("an untitled document") : copy.document;
    const QString question =
        tr("Quorvin ended without saving %1. Its text from %2 was kept in %3.\n\n"
           "Recover it into the editor, see how it differs from the file, or discard it?")
            .arg(what, QLocale().toString(copy.written, QLocale::ShortFormat), left.path());
    for (;;) {
        switch (m_messages->choose(m_window, question,
                                   {tr("&Recover"), tr("Show &Difference"), tr("&Discard")})) {
        case 0:
            if (!m_hooks.recover(copy))
                return false;
            keepNow(); // the text is ours now; the old copy may go
            left.discard();
            return true;
        case 1: {
            QByteArray onDisk;
            TextEncoding encoding;
            if (copy.document.isEmpty() || readDocument(copy.document, &onDisk, &encoding))
                onDisk.clear();
            m_messages->showText(m_window, tr("Kept text of %1").arg(what),
                                 describeDifference(onDisk, copy.text));
            continue;
        }
        case 2:
            left.discard();
            return true;
        default: // kept for the next start
            return false;
        }
    }
}
