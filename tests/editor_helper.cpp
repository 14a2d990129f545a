// The editor as a process of its own, for tests that signal it:
//   editor_helper ROOT FILE TEXT: opens FILE under the folder tree ROOT,
//   types TEXT into it without saving, prints "ready" and runs until it ends.

#include "ui/form1.h"

#include "ui/services.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 4)
        return 2;
    QApplication app(argc, argv);
    SystemServices system;
    Form1 window(system.services(QString::fromLocal8Bit(argv[1]), {}));
    window.endOnTerminationSignals();
    window.show();
    if (!window.openFile(QString::fromLocal8Bit(argv[2])))
        return 3;
    window.Text1->SendScintilla(QsciScintillaBase::SCI_DOCUMENTEND);
    window.Text1->SendScintilla(QsciScintillaBase::SCI_ADDTEXT, std::strlen(argv[3]), argv[3]);
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
