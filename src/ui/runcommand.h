#pragma once
// `quorvin --run PROG.8xp [--keys ENTER,CLEAR,2,...] [--cycles N] [--text]
// [--screenshot FILE.png] [--ignore-checksum] [--model 83p|84p] [--send FILE]...
// [--break LABEL|ADDRESS]... [--trace FILE] [--regs] [--watch LABEL|ADDRESS]...
// [--log PLACE=TEXT]... [--watch-read LABEL|ADDRESS]...`: runs a program without a window under the
// debugger's checks and reports how the run ended in the exit status (0: the program returned, 1:
// it failed or ran out of cycles, 2: bad options, 3: it reached a breakpoint).

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <optional>

struct RunCommandOptions {
    QCommandLineOption run, keys, cycles, text, screenshot, ignoreChecksum, breakAt, trace, regs,
        model, send, watch, log, watchRead;
};

RunCommandOptions addRunOptions(QCommandLineParser &parser);
// The exit status of the run, or nothing when --run was not given.
std::optional<int> runFromCommandLine(const QCommandLineParser &parser,
                                      const RunCommandOptions &options);
