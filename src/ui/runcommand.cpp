#include "ui/runcommand.h"

#include "run/debugger.h"
#include "run/keypad.h"
#include "ui/debugsource.h"
#include "ui/runsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QRegularExpression>

#include <cstdio>
#include <map>
#include <memory>
#include <set>

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("run", text);
}

void fail(const QString &text) {
    std::fprintf(stderr, "quorvin: %s\n", qPrintable(text));
}

// A trace stops here, so that a long run cannot fill the disk.
constexpr long kTraceLines = 1000000;

// The application's page mapped at `address` when it is one of its
// pages' addresses, else -1.
int pageAt(const run::Machine &m, std::uint16_t address) {
    return address >= 0x4000 && address < 0x8000 ? m.applicationPageAt4000() : -1;
}

// "9DA0h", or "01:4123h" on an application's page 1.
QString addressText(std::uint16_t address, int page) {
    return page >= 0 ? QString::asprintf("%02X:%04Xh", unsigned(page), address)
                     : QString::asprintf("%04Xh", address);
}

// "9DA0h", "9DA0h (loop+3)", and where the map or listing gives it ", prog.z80:12: djnz loop".
QString placeOf(const DebugSource &info, std::uint16_t address, int page = -1) {
    QString text = addressText(address, page);
    const std::string label = info.labelAt(address, page);
    if (!label.empty())
        text += QStringLiteral(" (%1)").arg(QString::fromStdString(label));
    if (const auto place = info.placeOf(address, page))
        text += QStringLiteral(", %1:%2: %3")
                    .arg(QString::fromStdString(place->file))
                    .arg(place->line)
                    .arg(QString::fromStdString(info.lineText(*place)));
    return text;
}

void printRegisters(const run::Machine &m) {
    using run::Reg;
    std::printf("AF=%04X BC=%04X DE=%04X HL=%04X IX=%04X IY=%04X SP=%04X PC=%04X\n", m.reg(Reg::AF),
                m.reg(Reg::BC), m.reg(Reg::DE), m.reg(Reg::HL), m.reg(Reg::IX), m.reg(Reg::IY),
                m.reg(Reg::SP), m.reg(Reg::PC));
    const unsigned f = m.reg(Reg::AF) & 0xFF;
    std::printf("S=%u Z=%u H=%u P/V=%u N=%u C=%u  interrupts %s  T-states %llu\n", f >> 7 & 1,
                f >> 6 & 1, f >> 4 & 1, f >> 2 & 1, f >> 1 & 1, f & 1,
                m.interruptsEnabled() ? "on" : "off", (unsigned long long)m.cycles());
}

// A --break value: a label of the program, FILE:LINE of its source, or an
// address as 9DA0h, $9DA0 or 0x9DA0, or with an application's page as 01:4123h.
// An application's label or line in 4000h-7FFFh is on its page.
std::optional<DebugSource::Located> breakPlace(const DebugSource &info, QString text) {
    if (const auto a = info.located(text.toStdString()))
        return a;
    static const QRegularExpression paged(QStringLiteral("^([0-9A-Fa-f]{2}):([0-9A-Fa-f]{4})h$"));
    if (const auto m = paged.match(text); m.hasMatch()) {
        const int page = m.captured(1).toInt(nullptr, 16);
        const uint address = m.captured(2).toUInt(nullptr, 16);
        if (address < 0x4000 || address >= 0x8000)
            return std::nullopt;
        return DebugSource::Located{std::uint16_t(address), page};
    }
    if (const qsizetype colon = text.lastIndexOf(u':'); colon > 0) {
        bool ok = false;
        const int line = text.mid(colon + 1).toInt(&ok);
        if (!ok || line < 1)
            return std::nullopt;
        const QString file = text.left(colon);
        auto bound = info.bind(file.toStdString(), line);
        if (!bound) // named from the working folder
            bound = info.bind(QFileInfo(file).absoluteFilePath().toStdString(), line);
        if (!bound)
            return std::nullopt;
        return DebugSource::Located{bound->address, bound->page};
    }
    if (text.startsWith(u'$'))
        text = text.mid(1);
    else if (text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
        text = text.mid(2);
    else if (text.endsWith(u'h', Qt::CaseInsensitive))
        text.chop(1);
    else
        return std::nullopt;
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    if (!ok || value > 0xFFFF)
        return std::nullopt;
    return DebugSource::Located{std::uint16_t(value), -1};
}

} // namespace

RunCommandOptions addRunOptions(QCommandLineParser &parser) {
    RunCommandOptions o{
        {QStringLiteral("run"), tr("Run a TI-83 Plus program (.8xp) or application (.8xk) without a window."),
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
         tr("Run a program file even though its checksum says it is damaged.")},
        {QStringLiteral("break"),
         tr("Stop when the program reaches this label, FILE:LINE or address (9DA0h), print "
            "the registers and the source line, and exit with status 3."),
         QStringLiteral("label")},
        {QStringLiteral("trace"),
         tr("Write one line for each instruction run: T-states, address, label and source line."),
         QStringLiteral("file")},
        {QStringLiteral("regs"), tr("Print the registers when the run ends.")},
        {QStringLiteral("model"),
         tr("The calculator to run on: 83p (TI-83 Plus, the default) or 84p (TI-84 Plus)."),
         QStringLiteral("model")},
        {QStringLiteral("send"),
         tr("Put the variables of this file (.8xp, .8xv, .8xl, .8xs...) in the calculator's "
            "memory before the program starts."),
         QStringLiteral("file")},
        {QStringLiteral("watch"),
         tr("Stop after the program or an OS call writes this label's or address's byte, print "
            "the registers, and exit with status 3."),
         QStringLiteral("label")},
        {QStringLiteral("log"),
         tr("At PLACE (a label, FILE:LINE or address) print TEXT with {A}, {HL}, {(HL)}... "
            "filled in, without stopping."),
         QStringLiteral("place=text")},
        {QStringLiteral("watch-read"),
         tr("Stop after the program or an OS call reads this label's or address's byte, print "
            "the registers, and exit with status 3."),
         QStringLiteral("label")}};
    parser.addOptions({o.run, o.keys, o.cycles, o.text, o.screenshot, o.ignoreChecksum, o.breakAt,
                       o.trace, o.regs, o.model, o.send, o.watch, o.log, o.watchRead});
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
    RunSetup setup;
    setup.read.ignoreChecksum = parser.isSet(o.ignoreChecksum);
    if (parser.isSet(o.model)) {
        const auto model = run::modelFromName(parser.value(o.model).toLower().toStdString());
        if (!model) {
            fail(tr("--model wants 83p or 84p, not %1").arg(parser.value(o.model)));
            return 2;
        }
        setup.model = *model;
    }
    setup.send = parser.values(o.send);
    const LoadedRun loaded = loadRun(parser.value(o.run), setup);
    if (!loaded.problem.isEmpty()) {
        fail(tr("--send: %1").arg(loaded.problem));
        return 1;
    }
    if (loaded.checksumWrong)
        fail(tr("%1: the file's checksum is wrong; running it as asked").arg(loaded.name));
    run::Session &session = *loaded.session;
    session.machine().keypad().setScript(keys);
    // What names addresses: the map, a listing or the labels beside the
    // program. A map of other bytes is refused when asked to debug by it.
    DebugSource info;
    {
        std::vector<std::uint8_t> data = loaded.application;
        if (data.empty()) {
            data = {0xBB, 0x6D};
            for (std::size_t i = 0; i < loaded.codeSize; ++i)
                data.push_back(session.machine().read(std::uint16_t(run::Machine::kUserMem + i)));
        }
        std::string error;
        auto found = DebugSource::beside(parser.value(o.run).toStdString(), data,
                                         QDir::currentPath().toStdString(), &error);
        if (found) {
            info = std::move(*found);
        } else if (parser.isSet(o.breakAt) || parser.isSet(o.trace) || parser.isSet(o.log)) {
            fail(QStringLiteral("%1: %2").arg(loaded.name, QString::fromStdString(error)));
            return 1;
        }
    }
    run::HistoryLimits noHistory;
    noHistory.bytes = 0;
    run::Debugger debugger(session, loaded.codeSize, noHistory);
    // A place on an application's page stops only while that page is mapped.
    std::map<std::uint16_t, std::set<int>> breaks;
    for (const QString &at : parser.values(o.breakAt)) {
        const auto place = breakPlace(info, at);
        if (!place) {
            fail(tr("--break wants a label of the program, FILE:LINE of its source with code "
                    "on or after that line, or an address such as 9DA0h (01:4123h on an "
                    "application's page 1), not %1")
                     .arg(at));
            return 2;
        }
        breaks[place->address].insert(place->page);
    }
    for (const auto &[address, pages] : breaks) {
        run::Breakpoint b;
        b.condition = DebugSource::onPages(pages);
        debugger.setBreakpoint(address, b);
    }
    for (const QCommandLineOption *option : {&o.watch, &o.watchRead})
        for (const QString &at : parser.values(*option)) {
            const auto place = breakPlace(info, at);
            if (!place || at.contains(u':')) {
                fail(tr("--%1 wants a label of the program or an address such as 9000h, not %2")
                         .arg(option->names().constFirst(), at));
                return 2;
            }
            if (option == &o.watch)
                debugger.watchWrites(place->address, true);
            else
                debugger.watchReads(place->address, true);
        }
    for (const QString &value : parser.values(o.log)) {
        const qsizetype eq = value.indexOf(u'=');
        const auto place = eq > 0 ? breakPlace(info, value.left(eq)) : std::nullopt;
        if (!place) {
            fail(tr("--log wants PLACE=TEXT, PLACE a label, FILE:LINE or address, not %1")
                     .arg(value));
            return 2;
        }
        run::Breakpoint b;
        b.log = value.mid(eq + 1).toStdString();
        b.condition = DebugSource::onPages({place->page});
        debugger.setBreakpoint(place->address, b);
    }
    debugger.setLog([](const std::string &text) { std::printf("%s\n", text.c_str()); });
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> trace(nullptr, &std::fclose);
    long traced = 0;
    if (parser.isSet(o.trace)) {
        trace.reset(std::fopen(QFile::encodeName(parser.value(o.trace)).constData(), "w"));
        if (!trace) {
            fail(tr("cannot write %1").arg(parser.value(o.trace)));
            return 2;
        }
        debugger.setTrace([&](const run::Machine &m) {
            if (traced++ > kTraceLines)
                return;
            const std::uint16_t pc = m.reg(run::Reg::PC);
            if (traced > kTraceLines) {
                std::fprintf(trace.get(), "(the trace stops after %ld instructions)\n",
                             kTraceLines);
                return;
            }
            const int page = pageAt(m, pc);
            const std::string label = info.labelAt(pc, page);
            const auto place = info.placeOf(pc, page);
            std::fprintf(trace.get(), "%llu\t%s\t%s\t%s\t%s\n", (unsigned long long)m.cycles(),
                         qPrintable(addressText(pc, page)), label.c_str(),
                         place ? (place->file + ":" + std::to_string(place->line)).c_str() : "",
                         place ? info.lineText(*place).c_str() : "");
        });
    }
    const run::Pause pause =
        session.refused() ? run::Pause{run::Pause::Why::Ended, 0, {}} : debugger.run(cycles);
    trace.reset();
    if (pause.why == run::Pause::Why::Breakpoint) {
        std::printf("%s: stopped at %s\n", qPrintable(loaded.name),
                    qPrintable(placeOf(info, pause.pc, pageAt(session.machine(), pause.pc))));
        printRegisters(session.machine());
        return 3;
    }
    if (pause.why == run::Pause::Why::Written || pause.why == run::Pause::Why::Read) {
        const std::string label = info.labelAt(pause.address);
        std::printf("%s: stopped after a %s %s%s, before %s\n", qPrintable(loaded.name),
                    pause.why == run::Pause::Why::Read ? "read of" : "write to",
                    qPrintable(QString::asprintf("%04Xh", pause.address)),
                    label.empty() ? "" : (" (" + label + ")").c_str(),
                    qPrintable(placeOf(info, pause.pc, pageAt(session.machine(), pause.pc))));
        printRegisters(session.machine());
        return 3;
    }
    if (parser.isSet(o.regs))
        printRegisters(session.machine());
    if (parser.isSet(o.text))
        std::printf(
            "%s",
            QString::fromStdU32String(run::homeText(session.machine().lcd())).toUtf8().constData());
    if (parser.isSet(o.screenshot) &&
        !lcdImage(session.machine().lcd()).save(parser.value(o.screenshot), "PNG")) {
        fail(tr("cannot write %1").arg(parser.value(o.screenshot)));
        return 2;
    }
    if (pause.why == run::Pause::Why::Check) {
        fail(QStringLiteral("%1: %2, at %3")
                 .arg(loaded.name, QString::fromStdString(pause.message),
                      placeOf(info, pause.pc, pageAt(session.machine(), pause.pc))));
        return 1;
    }
    const auto &stop = session.stopped();
    if (stop && stop->returned)
        return 0;
    fail(QStringLiteral("%1: %2").arg(loaded.name,
                                      stop ? stopText(*stop, session.machine())
                                           : stillRunningText(cycles, session.machine())));
    return 1;
}
