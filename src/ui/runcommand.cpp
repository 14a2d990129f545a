#include "ui/runcommand.h"

#include "run/keypad.h"
#include "ui/runsupport.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("run", text);
}

void fail(const QString &text) {
    std::fprintf(stderr, "quorvin: %s\n", qPrintable(text));
}

} // namespace

RunCommandOptions addRunOptions(QCommandLineParser &parser) {
    RunCommandOptions o{
        {QStringLiteral("run"), tr("Run a TI-83 Plus program (.8xp) without a window."),
         QStringLiteral("program")},
        {QStringLiteral("keys"),
         tr("Keys to press one after another as the program asks, e.g. ENTER,CLEAR,2,UP,2ND,A."),
         QStringLiteral("keys")},
        {QStringLiteral("cycles"),
         tr("Stop after this many clock cycles (6 million a second; default 60000000)."),
         QStringLiteral("n")},
        {QStringLiteral("text"), tr("Print the home screen as 8 lines of 16 characters.")},
        {QStringLiteral("screenshot"), tr("Write the screen to a PNG file."),
         QStringLiteral("file")},
        {QStringLiteral("ignore-checksum"),
         tr("Run a program file even though its checksum says it is damaged.")}};
    parser.addOptions({o.run, o.keys, o.cycles, o.text, o.screenshot, o.ignoreChecksum});
    return o;
}

std::optional<int> runFromCommandLine(const QCommandLineParser &parser,
                                      const RunCommandOptions &o) {
    if (!parser.isSet(o.run))
        return std::nullopt;
    std::uint64_t cycles = 60000000;
    if (parser.isSet(o.cycles)) {
        bool ok = false;
        cycles = parser.value(o.cycles).toULongLong(&ok);
        if (!ok) {
            fail(tr("--cycles wants a whole number, not %1").arg(parser.value(o.cycles)));
            return 2;
        }
    }
    std::vector<int> keys;
    for (const QString &name : parser.value(o.keys).split(u',', Qt::SkipEmptyParts)) {
        const auto codes = run::keysFromName(name.trimmed().toStdString());
        if (!codes) {
            fail(tr("no calculator key is called %1").arg(name));
            return 2;
        }
        keys.insert(keys.end(), codes->begin(), codes->end());
    }
    run::ReadOptions read;
    read.ignoreChecksum = parser.isSet(o.ignoreChecksum);
    const LoadedRun loaded = loadRun(parser.value(o.run), read);
    if (loaded.checksumWrong)
        fail(tr("%1: the file's checksum is wrong; running it as asked").arg(loaded.name));
    run::Session &session = *loaded.session;
    session.machine().keypad().setScript(keys);
    session.runUntil(cycles);
    if (parser.isSet(o.text))
        std::printf(
            "%s",
            QString::fromStdU32String(run::homeText(session.machine().lcd())).toUtf8().constData());
    if (parser.isSet(o.screenshot) &&
        !lcdImage(session.machine().lcd()).save(parser.value(o.screenshot), "PNG")) {
        fail(tr("cannot write %1").arg(parser.value(o.screenshot)));
        return 2;
    }
    const auto &stop = session.stopped();
    if (stop && stop->returned)
        return 0;
    fail(QStringLiteral("%1: %2").arg(
        loaded.name, stop ? stopText(*stop)
                          : tr("the program was still running after %1 cycles (%2 seconds "
                               "of calculator time)")
                                .arg(cycles)
                                .arg(double(cycles) / run::Machine::kClockHz)));
    return 1;
}
