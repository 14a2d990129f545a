// The editor: real dialogs, real processes, the folder tree in the home folder.
// Options that need no window (--help, --version, --setup-kit) are answered
// before a window system is asked for, and so is --run (a program run
// without a window).

#include "core/kitsetup.h"
#include "core/locations.h"
#include "ui/form1.h"
#include "ui/runcommand.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>

#include <cstdio>

namespace {

struct Start {
    QString file;
    bool done = false;
    int exitCode = 0;
};

Start parseCommandLine(int argc, char *argv[]) {
    QCoreApplication cli(argc, argv);
    QCoreApplication::setApplicationName(applicationTitle());
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVIN_VERSION));
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
    parser.process(cli);
    Start start;
    if (const std::optional<int> status = runFromCommandLine(parser, run))
        return {{}, true, *status};
    if (parser.isSet(setUp)) {
        const QString kit = findKitFolder(QCoreApplication::applicationDirPath());
        if (kit.isEmpty()) {
            std::fprintf(stderr, "%s\n",
                         qPrintable(QCoreApplication::translate(
                                        "main", "No toolchain kit was found beside %1.")
                                        .arg(QCoreApplication::applicationFilePath())));
            return {{}, true, 1};
        }
        const KitReport report = setUpKit(kit, Locations::defaultRoot());
        for (const QString &line : report.lines(kit, Locations::defaultRoot()))
            std::printf("%s\n", qPrintable(line));
        return {{}, true, report.error ? 1 : 0};
    }
    if (!parser.positionalArguments().isEmpty())
        start.file = QFileInfo(parser.positionalArguments().first()).absoluteFilePath();
    return start;
}

} // namespace

int main(int argc, char *argv[]) {
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
    window.show();
    if (report.error)
        system.messages.inform(&window, report.error->message());
    if (!start.file.isEmpty())
        window.openOrCreate(start.file);
    return app.exec();
}
