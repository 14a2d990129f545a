#include "check/suite.h"

#include <algorithm>
#include <unistd.h>

namespace check {

namespace {

std::string wholePath(const std::string &path, const std::string &working = {}) {
    if (!path.empty() && path[0] == '/')
        return z80::normalPath(path);
    if (!working.empty())
        return z80::normalPath(z80::joinPath(working, path));
    char here[4096];
    if (!getcwd(here, sizeof here))
        return path;
    return z80::normalPath(z80::joinPath(here, path));
}

} // namespace

std::size_t FileResult::failed() const {
    return std::size_t(std::count_if(results.begin(), results.end(),
                                     [](const TestResult &r) { return !r.passed(); })) +
           notRun;
}

std::size_t FileResult::passed() const {
    return results.size() + notRun - failed();
}

std::string programOf(const std::string &testsPath, z80::FileReader &reader,
                      const std::string &workingFolder) {
    const std::string whole = wholePath(testsPath, workingFolder);
    const std::size_t dot = whole.find_last_of('.');
    const std::string stem = dot == std::string::npos ? whole : whole.substr(0, dot);
    for (const char *ext : {".z80", ".asm"}) {
        const std::string found = z80::resolveFolded(reader, stem + ext);
        if (!found.empty())
            return found;
    }
    return {};
}

FileResult runTestsFile(const std::string &path, z80::FileReader &reader,
                        const SuiteOptions &options) {
    FileResult out;
    out.path = path;
    const z80::ReadResult read = reader.read(wholePath(path, options.workingFolder));
    if (!read.error.empty()) {
        out.tests.path = path;
        out.tests.errors.push_back(path + ":1: error: cannot read the tests: " + read.error);
        return out;
    }
    out.tests = parseTests(path, read.text);
    if (!out.tests.ok())
        return out;
    const std::string source = programOf(path, reader, options.workingFolder);
    const std::string folder = z80::folderOf(path);
    std::vector<const Test *> chosen;
    for (const Test &t : out.tests.tests)
        if (options.filter.empty() || t.name.find(options.filter) != std::string::npos)
            chosen.push_back(&t);
    if (chosen.empty())
        return out;
    if (source.empty()) {
        const std::string stem = path.substr(0, path.find_last_of('.'));
        out.notRun = chosen.size();
        out.errors.push_back(path + ":1: error: no program to test: " + stem + ".z80 or " + stem +
                             ".asm is not beside it");
        return out;
    }
    const Program program = loadProgram(source, folder, reader, options.assembler);
    out.program = program.source;
    if (!program.ok()) {
        out.notRun = chosen.size();
        out.errors = program.errors;
        out.errors.push_back(path + ":1: error: the program " + program.source +
                             " has errors, so no test ran");
        return out;
    }
    RunOptions run;
    run.update = options.update;
    run.pictures = options.pictures;
    run.folder = folder;
    run.wholeFolder = z80::folderOf(wholePath(path, options.workingFolder));
    run.cancel = options.cancel;
    for (const Test *t : chosen)
        if (!options.cancel || !options.cancel->load())
            out.results.push_back(runTest(*t, program, path, run));
    return out;
}

} // namespace check
