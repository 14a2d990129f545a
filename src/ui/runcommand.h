#pragma once
// `quorvin --run PROG.8xp [--keys ENTER,CLEAR,2,...] [--cycles N] [--text]
// [--screenshot FILE.png] [--ignore-checksum]`: runs a program without a window and reports how
// the run ended in the exit status (0: the program returned).

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <optional>

struct RunCommandOptions {
    QCommandLineOption run, keys, cycles, text, screenshot, ignoreChecksum;
};

RunCommandOptions addRunOptions(QCommandLineParser &parser);
// The exit status of the run, or nothing when --run was not given.
std::optional<int> runFromCommandLine(const QCommandLineParser &parser,
                                      const RunCommandOptions &options);
