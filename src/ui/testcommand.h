#pragma once
// `quorvin --test [FILE.tests ...] [--filter TEXT] [--tap] [--junit FILE.xml]
// [--update]`: runs the tests of the files named, or of every *.tests in the
// working folder, without a window. Exit status 0 when all passed, 1 when
// any failed, 2 for a tests file that cannot be read as one or a bad option.

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <optional>

struct TestCommandOptions {
    QCommandLineOption test, filter, tap, junit, update;
};

TestCommandOptions addTestOptions(QCommandLineParser &parser);
// The exit status, or nothing when --test was not given.
std::optional<int> testFromCommandLine(const QCommandLineParser &parser,
                                       const TestCommandOptions &options);
