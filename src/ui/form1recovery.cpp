// The main window's side of recovery copies: a copy's text taken back into
// the editor, and the end of the program by a signal.

#include "form1.h"

#include "core/recovery.h"
#include "platform/terminationsignals.h"
#include "ui/editor.h"
#include "ui/recoverykeeper.h"

#include <Qsci/qsciscintilla.h>

#include <QCoreApplication>
#include <QFileInfo>

// The copy's text becomes the unsaved text of its document: the file as it
// is on disk is loaded first, so that undo leads back to it and a save goes
// where the text belongs.
bool Form1::recoverText(const RecoveryCopy &copy) {
    if (!maybeSave())
        return false;
    const QFileInfo file(copy.document);
    if (!copy.document.isEmpty() && (file.exists() || file.isSymLink())) {
        if (!openFile(copy.document))
            return false;
    } else {
        setEditorBytes(Text1, {});
        m_file.setCurrentFile(copy.document, copy.encoding, lineEndMode(copy.text));
    }
    Text1->SendScintilla(QsciScintillaBase::SCI_TARGETWHOLEDOCUMENT);
    Text1->SendScintilla(QsciScintillaBase::SCI_REPLACETARGET,
                         static_cast<unsigned long>(copy.text.size()), copy.text.constData());
    Text1->SendScintilla(QsciScintillaBase::SCI_GOTOPOS, 0L);
    return true;
}

void Form1::endBySignal(int signalNumber) {
    m_recovery->keepNow();
    QCoreApplication::exit(128 + signalNumber);
}

void Form1::endOnTerminationSignals() {
    connect(new TerminationSignals(this), &TerminationSignals::received, this, &Form1::endBySignal);
}
