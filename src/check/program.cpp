#include "check/program.h"

#include "z80/assembler.h"
#include "z80/lexer.h"
#include "z80/outputs.h"
#include "z80/vocabulary.h"

#include <cstdio>

namespace check {

using z80::isSpace;
using z80::lower; // names fold as the assembler folds them: ASCII, whatever the locale
using z80::trimmed;

namespace {

// A log's text cut at its {EXPRESSION} parts.
bool readLog(std::string_view body, Probe *p, std::string *why) {
    body = trimmed(body);
    if (body.size() < 2 || body.front() != '"' || body.back() != '"') {
        *why = "@log wants its text in double quotes, as ;@log \"a={a} hl={hl}\"";
        return false;
    }
    body = body.substr(1, body.size() - 2);
    std::string text;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] != '{') {
            text += body[i];
            continue;
        }
        const std::size_t close = body.find('}', i);
        if (close == std::string_view::npos) {
            *why = "a { in @log's text is not closed";
            return false;
        }
        Expression e = parseValue(body.substr(i + 1, close - i - 1), why);
        if (!e)
            return false;
        p->log.push_back(std::move(text));
        text.clear();
        p->values.push_back(std::move(e));
        i = close;
    }
    p->log.push_back(std::move(text));
    return true;
}

// The ;@ comments of one file, by line.
std::vector<Probe> probesOf(const std::string &text, const std::string &shown,
                            std::vector<std::string> *errors) {
    std::vector<Probe> found;
    if (text.find(";@") == std::string::npos)
        return found;
    z80::LineSplitter lines(text);
    std::string_view line;
    int number = 0;
    bool inBlock = false;
    while (lines.next(&line)) {
        ++number;
        const std::size_t at = line.find(";@");
        const bool before = inBlock;
        const z80::LexedLine lexed = z80::lex(line, &inBlock);
        if (at == std::string_view::npos || before)
            continue;
        for (const z80::TextSpan &c : lexed.comments) {
            std::string_view comment = line.substr(c.start, c.length);
            if (comment.substr(0, 2) != ";@")
                continue;
            comment.remove_prefix(2);
            Probe p;
            p.at = {shown, number};
            std::string why;
            bool ok = true;
            if (comment.substr(0, 6) == "assert" && comment.size() > 6 && isSpace(comment[6])) {
                p.text = std::string(trimmed(comment.substr(6)));
                ok = bool(p.expression = parseValue(p.text, &why));
            } else if (comment.substr(0, 3) == "log" && comment.size() > 3 && isSpace(comment[3])) {
                p.kind = Probe::Kind::Log;
                p.text = std::string(trimmed(comment.substr(3)));
                ok = readLog(p.text, &p, &why);
            } else {
                continue; // another tool's ;@ comment
            }
            if (ok)
                found.push_back(std::move(p));
            else
                errors->push_back(p.at.text() + ": error: " + why);
        }
    }
    return found;
}

} // namespace

std::optional<std::int64_t> Program::label(const std::string &name) const {
    const auto it = labels.find(lower(name));
    if (it == labels.end())
        return std::nullopt;
    return it->second;
}

Program loadProgram(const std::string &sourcePath, const std::string &shownFolder,
                    z80::FileReader &reader, const z80::Options &options) {
    Program p;
    const auto shown = [&](const std::string &file) { return z80::joinPath(shownFolder, file); };
    p.source = shown(sourcePath.substr(sourcePath.find_last_of('/') + 1));
    const z80::Assembly a = z80::assemble(sourcePath, reader, options);
    for (z80::Diagnostic e : a.errors) {
        if (e.file.empty() || e.file[0] != '/')
            e.file = shown(e.file);
        p.errors.push_back(z80::message(e));
    }
    if (a.followingErrors > 0) // the line that counts them, as the log says it
        p.errors.push_back(z80::errorLines(a).back());
    if (!a.ok())
        return p;
    // What --run would load: the bytes after the BB 6D that marks an assembly program.
    std::size_t skip = a.bytes.size() >= 2 && a.bytes[0] == 0xBB && a.bytes[1] == 0x6D ? 2 : 0;
    p.code.assign(a.bytes.begin() + long(skip), a.bytes.end());
    for (const z80::Assembly::Label &l : a.labels)
        p.labels.emplace(lower(l.name), l.value);

    // Each statement's address, and per file the statements' lines in order.
    p.statementAt.assign(0x10000, -1);
    std::map<std::string, std::map<int, std::uint16_t>> byLine;
    for (const z80::Assembly::Piece &piece : a.pieces) {
        if (!piece.code || piece.size == 0)
            continue;
        const std::uint16_t address = std::uint16_t(piece.address);
        if (p.statementAt[address] < 0) {
            p.statementAt[address] = std::int32_t(p.places.size());
            p.places.push_back({shown(piece.at.file), piece.at.line});
        }
        byLine[piece.at.file].emplace(piece.at.line, address);
    }

    // The checks in the comments of every file the program read.
    const std::string mainFolder = z80::folderOf(sourcePath);
    for (const std::string &path : a.filesRead) {
        const z80::ReadResult read = reader.read(path);
        if (!read.error.empty())
            continue;
        std::string file = path;
        if (mainFolder != "." && file.compare(0, mainFolder.size() + 1, mainFolder + "/") == 0)
            file = file.substr(mainFolder.size() + 1);
        for (Probe &probe : probesOf(read.text, shown(file), &p.errors)) {
            const auto lines = byLine.find(file);
            const auto next = lines == byLine.end() ? decltype(lines->second.end())()
                                                    : lines->second.lower_bound(probe.at.line);
            if (lines == byLine.end() || next == lines->second.end()) {
                p.errors.push_back(probe.at.text() +
                                   ": error: no statement runs at or after this check");
                continue;
            }
            p.probes[next->second].push_back(std::move(probe));
        }
    }
    // The OS calls' names as the program's own include spells them.
    std::string calls;
    for (const z80::Assembly::Label &l : a.labels)
        if (l.name.size() > 1 && l.name[0] == '_' && l.value >= 0 && l.value < 0x8000) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%04Xh", unsigned(l.value));
            calls += l.name + " equ " + hex + "\n";
        }
    p.names.addFromInclude(calls);
    return p;
}

} // namespace check
