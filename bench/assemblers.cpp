#include "assemblers.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdint>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void write(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

// Like the standard include: a header of comments, its #defines and
// .addinstr, thousands of ROM calls as equates with comments, and groups of
// flags with their bits. Equates are written "NAME EQU value" as TI's file
// writes them: thousands of "NAME .equ value" lines take spasm-ng over a
// second, which would measure that, not a build.
QByteArray standardInclude() {
    QByteArray s =
        ";====================\r\n; Include laid out like the standard one\r\n"
        ";====================\r\n#define EQU .EQU\r\n#define equ .EQU\r\n"
        "#define bcall(xxxx)\trst 28h \\ .dw xxxx\r\n#define b_call(xxxx) bcall(xxxx)\r\n"
        ".addinstr B_CALL *       EF   3 NOP 1\r\n"
        "userMem\t\tEQU  9D95h\r\nt2ByteTok\tEQU  0BBh\r\ntAsmCmp\t\tEQU  6Dh\r\n"
        "saveSScreen\tEQU  86ECh\r\n";
    for (int i = 0; i < 2600; ++i)
        s += QStringLiteral("_Call%1\t\tEQU  %2h\t\t;does thing %1, on page %3\r\n")
                 .arg(i)
                 .arg(0x4000 + 3 * i, 4, 16, QLatin1Char('0'))
                 .arg(i % 4)
                 .toLatin1();
    for (int g = 0; g < 80; ++g) {
        s += QStringLiteral(";\r\nflags%1\t\tEQU  %2h\t\t;flag group %1\r\n")
                 .arg(g)
                 .arg(g, 2, 16, QLatin1Char('0'))
                 .toLatin1();
        for (int b = 0; b < 8; ++b)
            s += QStringLiteral("bit%1_%2\t\tEQU  %2\t\t;0=off, 1=on\r\n").arg(g).arg(b).toLatin1();
    }
    return s;
}

// Routines shaped like those of public programs: a comment, a label, a
// variable, a compare and a jump, a ROM call through the bcall macro, a flag
// set, a copy loop on a reusable label, an index store and a call.
QByteArray routines(const char *prefix, int count) {
    QByteArray s;
    for (int i = 0; i < count; ++i)
        s += QStringLiteral("; %1 routine %2: moves things about\r\n%1%2:\r\n"
                            "\tld hl,%1Var%3\r\n\tld a,(hl)\r\n\tcp %4\r\n\tjr nz,%1%2Skip\r\n"
                            "\tb_call(_Call%5)\r\n\tset bit%6_%7,(iy+flags%6)\r\n\tld b,8\r\n"
                            "_:\tld a,(de)\r\n\tor (hl)\r\n\tld (hl),a\r\n\tinc de \\ inc hl\r\n"
                            "\tdjnz -_\r\n%1%2Skip:\r\n\tld (ix+%8),a\r\n\tcall %1%9\r\n"
                            "\tret\r\n\r\n")
                 .arg(prefix)
                 .arg(i)
                 .arg(i % 40)
                 .arg(i % 200)
                 .arg(i * 7 % 2600)
                 .arg(i % 80)
                 .arg(i % 8)
                 .arg(i % 100)
                 .arg((i + 1) % count)
                 .toLatin1();
    return s;
}

// Sprites as rows of binary bytes, and the program's messages.
QByteArray data() {
    QByteArray s;
    std::uint32_t seed = 7;
    for (int i = 0; i < 60; ++i) {
        s += QStringLiteral("sprite%1:\r\n").arg(i).toLatin1();
        for (int r = 0; r < 8; ++r) {
            seed = seed * 1103515245u + 12345u;
            s += QStringLiteral("\t.db %%1\r\n")
                     .arg((seed >> 16) & 0xFF, 8, 2, QLatin1Char('0'))
                     .toLatin1();
        }
    }
    for (int i = 0; i < 80; ++i)
        s += QStringLiteral("msg%1:\t.db \"Message number %1 here\",0\r\n").arg(i).toLatin1();
    return s;
}

// A program shaped like public ones: the standard include between .nolist
// and .list, its variables as equates, and three more files of routines,
// sprites and messages; 2,800 lines of its own.
QByteArray program() {
    QByteArray s = ".nolist\r\n#include \"std.inc\"\r\n.list\r\n#define LEVELS 8\r\n";
    for (int i = 0; i < 40; ++i)
        s += QStringLiteral("gameVar%1\t.equ saveSScreen+%2\r\ndrawVar%1\t.equ saveSScreen+%3\r\n")
                 .arg(i)
                 .arg(i * 2)
                 .arg(100 + i * 2)
                 .toLatin1();
    return s + "\t.org userMem-2\r\n\t.db t2ByteTok,tAsmCmp\r\nStart:\r\n\tb_call(_Call1)\r\n"
               "\tB_CALL _Call2\r\n\tcall game0\r\n\tcall draw0\r\n\tret\r\n"
               "#include \"game.z80\"\r\n#include \"draw.z80\"\r\n#include \"data.z80\"\r\n";
}

// The processor time (user and system, in ms) `exe` and every process it
// waits for take: steadier than the wall clock on a machine others share.
double run(const QString &exe, const QStringList &args, const QString &dir,
           const QStringList &environment = {}) {
    std::vector<QByteArray> held;
    held.push_back(QFile::encodeName(exe));
    for (const QString &a : args)
        held.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : held)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    QStringList merged = QProcess::systemEnvironment();
    for (const QString &e : environment) { // replacing the variables of those names
        const QString name = e.left(e.indexOf('=') + 1);
        merged.erase(std::remove_if(merged.begin(), merged.end(),
                                    [&](const QString &x) { return x.startsWith(name); }),
                     merged.end());
        merged << e;
    }
    std::vector<QByteArray> env;
    for (const QString &e : merged)
        env.push_back(e.toLocal8Bit());
    std::vector<char *> envp;
    for (QByteArray &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const QByteArray where = QFile::encodeName(dir);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        if (::chdir(where.constData()) == 0)
            ::execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid)
        return 0;
    const auto ms = [](const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

QString findSpasm() {
    const QString named = qEnvironmentVariable("QUORVIN_SPASM");
    if (!named.isEmpty())
        return QFileInfo(named).isExecutable() ? named : QString();
    const QString onPath = QStandardPaths::findExecutable("spasm");
    if (!onPath.isEmpty())
        return onPath;
    const QString built = "/work/thirdparty/spasm-ng/spasm";
    return QFileInfo(built).isExecutable() ? built : QString();
}

AssemblerTimes timeAssemblers(const QString &kit, const QString &spasm, const QString &dir,
                              int reps) {
    write(dir + "/std.inc", standardInclude());
    write(dir + "/game.z80", routines("game", 60));
    write(dir + "/draw.z80", routines("draw", 50));
    write(dir + "/data.z80", data());
    write(dir + "/prog.z80", program());
    const QStringList environment = {"HOME=" + dir, "QUORVIN_SOURCE=" + dir + "/prog.z80"};
    AssemblerTimes out;
    out.spasmFound = !spasm.isEmpty();
    std::vector<double> ours, theirs;
    for (int i = 0; i < reps; ++i) {
        ours.push_back(run("/bin/sh", {kit + "/asm.bat", "prog"}, dir, environment));
        if (out.spasmFound)
            theirs.push_back(run(spasm, {"-N", "-T", "-L", "prog.z80", "spasm.bin"}, dir));
    }
    out.ours = median(ours);
    if (out.spasmFound) {
        out.spasm = median(theirs);
        const QByteArray program = readAll(dir + "/Asm/Exec/prog.8xp");
        out.sameBytes = program.size() > 76 &&
                        program.mid(74, program.size() - 76) == readAll(dir + "/spasm.bin");
    }
    return out;
}
