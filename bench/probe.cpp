// Start-up probe: the editor's own start-up (or, with --bare, a bare Qt
// program with an empty editor control), optionally with a file opened,
// printing "painted MAXRSS_KIB" at its first paint and quitting at once.

#include "core/locations.h"
#include "ui/form1.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QFile>
#include <QMainWindow>

#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {
class FirstPaint : public QObject {
protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint) {
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            std::printf("painted %ld\n", usage.ru_maxrss);
            std::fflush(stdout);
            std::quick_exit(0);
        }
        return false;
    }
};
} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const bool bare = args.contains(QLatin1String("--bare"));
    const qsizetype openAt = args.indexOf(QLatin1String("--open"));
    const QString file = openAt > 0 && openAt + 1 < args.size() ? args[openAt + 1] : QString();

    SystemServices system;
    QMainWindow *window = nullptr;
    if (bare) {
        window = new QMainWindow;
        auto *editor = new QsciScintilla;
        editor->setUtf8(true);
        window->setCentralWidget(editor);
        if (!file.isEmpty()) {
            QFile f(file);
            if (!f.open(QIODevice::ReadOnly))
                return 1;
            const QByteArray utf8 = QString::fromLatin1(f.readAll()).toUtf8();
            editor->SendScintilla(QsciScintillaBase::SCI_APPENDTEXT,
                                  static_cast<unsigned long>(utf8.size()), utf8.constData());
        }
    } else {
        // The editor exactly as main.cpp starts it.
        auto *form = new Form1(
            system.services(Locations::defaultRoot(), QApplication::applicationDirPath()));
        if (!file.isEmpty() && !form->open_doc(file))
            return 1;
        window = form;
    }
    FirstPaint filter;
    app.installEventFilter(&filter);
    window->show();
    return app.exec();
}
