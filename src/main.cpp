// The editor: real dialogs, real processes, the folder tree in the home folder.
// Options that need no window (--help, --version, --setup-kit) are answered
// before a window system is asked for, and so are --run (a program run
// without a window) and --test (a program's tests).

#include "core/kitsetup.h"
#include "core/locations.h"
#include "ui/form1.h"
#include "ui/runcommand.h"
#include "ui/testcommand.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>

#include <csignal>
#include <cstdio>

namespace {

struct Start {
    QString file;
    bool done = false;
    int exitCode = 0;
    std::optional<FileError> badName; // a file name the editor cannot keep
};

Start parseCommandLine(int argc, char *argv[]) {
    QCoreApplication cli(argc, argv);
    QCoreApplication::setApplicationName(applicationTitle());
    // --version prints the name, this and the licence.
    QCoreApplication::setApplicationVersion(QStringLiteral(
        QUORVIN_VERSION "\n"
                        "Copyright 2026 The Quorvin developers\n"
                        "License GPL-3.0-or-later: GNU GPL version 3 or later "
                        "<https://www.gnu.org/licenses/gpl-3.0.html>.\n"
                        "This is free software: you are free to change and redistribute it.\n"
                        "There is NO WARRANTY, to the extent permitted by law."));
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "main", "An editor for Z80 assembly programs for TI-83 Plus calculators."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QCoreApplication::translate("main", "A source file to open."),
                                 QStringLiteral("[file]"));
    const QCommandLineOption setUp(
        QStringLiteral("setup-kit"),
        QCoreApplication::translate("main", "Put the toolchain kit into ~/Asm (updating the kit's "
                                            "own programs, keeping files you changed) and quit."));
    parser.addOption(setUp);
    const RunCommandOptions run = addRunOptions(parser);
    const TestCommandOptions tests = addTestOptions(parser);
    // An option not known, or one without its value, ends with status 2;
    // then Qt answers --help, --help-all and --version as usual.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "quorvin: %s\n", qPrintable(parser.errorText()));
        return {{}, true, 2, {}};
    }
    parser.process(cli);
    Start start;
    if (const std::optional<int> status = runFromCommandLine(parser, run))
        return {{}, true, *status, {}};
    if (const std::optional<int> status = testFromCommandLine(parser, tests))
        return {{}, true, *status, {}};
    if (parser.isSet(setUp)) {
        const QString kit = findKitFolder(QCoreApplication::applicationDirPath());
        if (kit.isEmpty()) {
            std::fprintf(stderr, "%s\n",
                         qPrintable(QCoreApplication::translate(
                                        "main", "No toolchain kit was found beside %1.")
                                        .arg(QCoreApplication::applicationFilePath())));
            return {{}, true, 1, {}};
        }
        const KitReport report = setUpKit(kit, Locations::defaultRoot());
        for (const QString &line : report.lines(kit, Locations::defaultRoot()))
            std::printf("%s\n", qPrintable(line));
        return {{}, true, report.error ? 1 : 0, {}};
    }
    if (!parser.positionalArguments().isEmpty()) {
        const QString given = parser.positionalArguments().first();
        // Qt gives a name that is not valid UTF-8 with its bad bytes replaced.
        for (int i = 1; i < argc; ++i)
            if (QFile::decodeName(argv[i]) == given && (start.badName = checkNativeName(argv[i])))
                break;
        if (!start.badName)
            start.file = QFileInfo(given).absoluteFilePath();
    }
    return start;
}

} // namespace

int main(int argc, char *argv[]) {
    // An ignored SIGCHLD, inherited from whoever started us, would let the
    // system reap our children before we learn how they ended.
    std::signal(SIGCHLD, SIG_DFL);
    const Start start = parseCommandLine(argc, argv);
    if (start.done)
        return start.exitCode;
    QApplication app(argc, argv);
    QApplication::setApplicationName(applicationTitle());
    QApplication::setApplicationVersion(QStringLiteral(QUORVIN_VERSION));
    // The desktop entry and the icon the package installs.
    QGuiApplication::setDesktopFileName(QStringLiteral("net.quorvin.Quorvin"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("net.quorvin.Quorvin")));
    SystemServices system;
    const QString root = Locations::defaultRoot();
    // A first start, or a newer kit installed: the tree gets it.
    const QString kit = findKitFolder(QApplication::applicationDirPath());
    const bool setUp = !kit.isEmpty() && kitNeedsSetUp(kit, root);
    const KitReport report = setUp ? setUpKit(kit, root) : KitReport();
    Form1 window(system.services(root, QApplication::applicationDirPath()));
    // A closed terminal, kill or Ctrl+C: the unsaved text is kept first.
    window.endOnTerminationSignals();
    // What the kit's set-up kept or could not do, told once, over the window.
    if (const QString notice = report.notice(kit, root); !notice.isEmpty())
        window.informWhenShown(notice);
    if (start.badName)
        window.informWhenShown(start.badName->message());
    window.show();
    if (!start.file.isEmpty())
        window.openOrCreate(start.file);
    else
        window.reopenLastFile();
    return app.exec();
}
