#include "check/report.h"

namespace check {

namespace {

std::string xml(const std::string &s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\n':
            out += "&#10;";
            break;
        default:
            // XML 1.0 has no place for the other control characters.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
                out += c;
        }
    }
    return out;
}

std::string oneLine(std::string s) {
    for (char &c : s)
        if (c == '\n' || c == '\r')
            c = ' ';
    return s;
}

std::string failureLine(const TestResult &r, const Failure &f) {
    return f.at + ": error: " + r.name + ": " + f.message;
}

std::string summary(const Totals &t) {
    return std::to_string(t.passed) + " passed, " + std::to_string(t.failed) + " failed";
}

} // namespace

Totals totals(const std::vector<FileResult> &files) {
    Totals t;
    for (const FileResult &f : files) {
        t.passed += f.passed();
        t.failed += f.failed();
        t.badTests = t.badTests || f.badTests();
    }
    return t;
}

std::vector<std::string> textReport(const std::vector<FileResult> &files) {
    std::vector<std::string> out;
    for (const FileResult &f : files) {
        out.insert(out.end(), f.tests.errors.begin(), f.tests.errors.end());
        out.insert(out.end(), f.errors.begin(), f.errors.end());
        for (const TestResult &r : f.results) {
            for (const Failure &fail : r.failures)
                out.push_back(failureLine(r, fail));
            if (!r.passed())
                for (const std::string &note : r.notes)
                    out.push_back("    " + note);
            for (const std::string &u : r.updated)
                out.push_back("updated " + u);
        }
    }
    out.push_back(summary(totals(files)));
    return out;
}

std::vector<std::string> tapReport(const std::vector<FileResult> &files) {
    std::vector<std::string> out{"TAP version 13"};
    const Totals t = totals(files);
    out.push_back("1.." + std::to_string(t.passed + t.failed));
    std::size_t n = 0;
    for (const FileResult &f : files) {
        for (const std::string &e : f.tests.errors)
            out.push_back("# " + oneLine(e));
        for (const std::string &e : f.errors)
            out.push_back("# " + oneLine(e));
        for (std::size_t i = 0; i < f.notRun; ++i)
            out.push_back("not ok " + std::to_string(++n) + " - " + f.path + " (not run)");
        for (const TestResult &r : f.results) {
            out.push_back((r.passed() ? "ok " : "not ok ") + std::to_string(++n) + " - " +
                          oneLine(r.name));
            if (r.passed())
                continue;
            out.push_back("  ---");
            out.push_back("  message: \"" + oneLine(r.failures.front().message) + "\"");
            out.push_back("  at: \"" + r.failures.front().at + "\"");
            out.push_back("  failures:");
            for (const Failure &fail : r.failures)
                out.push_back("    - \"" + oneLine(failureLine(r, fail)) + "\"");
            out.push_back("  ...");
        }
    }
    out.push_back("# " + summary(t));
    return out;
}

std::string junitReport(const std::vector<FileResult> &files) {
    const Totals t = totals(files);
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites tests=\"" +
                      std::to_string(t.passed + t.failed) + "\" failures=\"" +
                      std::to_string(t.failed) + "\">\n";
    for (const FileResult &f : files) {
        out += "  <testsuite name=\"" + xml(f.path) + "\" tests=\"" +
               std::to_string(f.results.size() + f.notRun) + "\" failures=\"" +
               std::to_string(f.failed()) + "\" errors=\"" + (f.badTests() ? "1" : "0") + "\">\n";
        if (f.badTests()) {
            std::string text;
            for (const std::string &e : f.tests.errors)
                text += e + "\n";
            out += "    <testcase name=\"" + xml(f.path) + "\" classname=\"" + xml(f.path) +
                   "\">\n      <error message=\"" + xml(f.tests.errors.front()) + "\">" +
                   xml(text) + "</error>\n    </testcase>\n";
        }
        if (f.notRun) {
            std::string text;
            for (const std::string &e : f.errors)
                text += e + "\n";
            out += "    <testcase name=\"" + xml(f.path) + "\" classname=\"" + xml(f.path) +
                   "\">\n      <failure message=\"" +
                   xml(f.errors.empty() ? std::string() : f.errors.back()) + "\">" + xml(text) +
                   "</failure>\n    </testcase>\n";
        }
        for (const TestResult &r : f.results) {
            out += "    <testcase name=\"" + xml(r.name) + "\" classname=\"" + xml(f.path) +
                   "\" file=\"" + xml(f.path) + "\" line=\"" + std::to_string(r.line) +
                   "\" time=\"" + std::to_string(double(r.cycles) / 6e6) + "\"";
            if (r.passed()) {
                out += "/>\n";
                continue;
            }
            std::string text;
            for (const Failure &fail : r.failures)
                text += failureLine(r, fail) + "\n";
            for (const std::string &note : r.notes)
                text += "    " + note + "\n";
            out += ">\n      <failure message=\"" + xml(r.failures.front().message) + "\">" +
                   xml(text) + "</failure>\n    </testcase>\n";
        }
        out += "  </testsuite>\n";
    }
    return out + "</testsuites>\n";
}

} // namespace check
