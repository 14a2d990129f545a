#include "ui/testcommand.h"

#include "check/report.h"
#include "core/locations.h"
#include "ui/testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("test", text);
}

void fail(const QString &text) {
    std::fprintf(stderr, "quorvin: %s\n", qPrintable(text));
}

} // namespace

TestCommandOptions addTestOptions(QCommandLineParser &parser) {
    TestCommandOptions o{
        {QStringLiteral("test"),
         tr("Run the tests of the NAME.tests files given (else of every *.tests here) on "
            "their programs, without a window.")},
        {QStringLiteral("filter"), tr("With --test: only the tests whose names hold this text."),
         QStringLiteral("text")},
        {QStringLiteral("tap"), tr("With --test: print the results as TAP.")},
        {QStringLiteral("junit"), tr("With --test: also write the results as JUnit XML."),
         QStringLiteral("file")},
        {QStringLiteral("update"),
         tr("With --test: write the expected pictures that are missing or differ.")}};
    parser.addOptions({o.test, o.filter, o.tap, o.junit, o.update});
    return o;
}

std::optional<int> testFromCommandLine(const QCommandLineParser &parser,
                                       const TestCommandOptions &o) {
    if (!parser.isSet(o.test)) {
        for (const QCommandLineOption *only : {&o.filter, &o.tap, &o.junit, &o.update})
            if (parser.isSet(*only)) {
                fail(tr("--%1 goes with --test").arg(only->names().first()));
                return 2;
            }
        return std::nullopt;
    }
    QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        files = QDir().entryList({QStringLiteral("*.tests")}, QDir::Files, QDir::Name);
        if (files.isEmpty()) {
            fail(tr("no *.tests file in %1; name one: quorvin --test NAME.tests")
                     .arg(QDir::currentPath()));
            return 2;
        }
    }
    PngPictureFiles pictures;
    check::SuiteOptions options;
    options.filter = parser.value(o.filter).toStdString();
    options.update = parser.isSet(o.update);
    options.pictures = &pictures;
    options.assembler = testAssemblerOptions(Locations::defaultRoot());
    z80::DiskReader reader;
    std::vector<check::FileResult> results;
    for (const QString &file : files)
        results.push_back(check::runTestsFile(file.toStdString(), reader, options));
    const check::Totals totals = check::totals(results);
    const auto lines = parser.isSet(o.tap) ? check::tapReport(results) : check::textReport(results);
    for (const std::string &line : lines)
        std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (parser.isSet(o.junit)) {
        QFile xml(parser.value(o.junit));
        const std::string text = check::junitReport(results);
        if (!xml.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            xml.write(text.data(), qint64(text.size())) != qint64(text.size())) {
            fail(tr("cannot write %1").arg(parser.value(o.junit)));
            return 2;
        }
    }
    if (totals.badTests)
        return 2;
    return totals.failed ? 1 : 0;
}
