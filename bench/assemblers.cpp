#include "assemblers.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <vector>

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
        "userMem\t\tEQU  9D95h\r\nt2ByteTok\tEQU  0BBh\r\ntAsmCmp\t\tEQU  6Dh\r\n";
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

// 5,000 lines: labels, values, ROM calls, flags set and jumps ahead.
QByteArray program() {
    QByteArray s = ".nolist\r\n#include \"std.inc\"\r\n.list\r\n\t.org userMem-2\r\n"
                   "\t.db t2ByteTok, tAsmCmp\r\n";
    for (int i = 0; i < 999; ++i)
        s += QStringLiteral("label%1:\r\n\tld a,%1 & 255\r\n\tb_call(_Call%2)\r\n"
                            "\tset bit%3_%4,(iy+flags%3)\r\n\tjp nz,label%5\r\n")
                 .arg(i)
                 .arg(i % 2600)
                 .arg(i % 80)
                 .arg(i % 8)
                 .arg(i + 1)
                 .toLatin1();
    return s + "label999:\r\n\tret\r\n";
}

double run(const QString &exe, const QStringList &args, const QString &dir) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer t;
    t.start();
    p.start(exe, args);
    p.waitForFinished(60000);
    return t.nsecsElapsed() / 1e6;
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

AssemblerTimes timeAssemblers(const QString &qvasm, const QString &spasm, const QString &dir,
                              int reps) {
    write(dir + "/std.inc", standardInclude());
    write(dir + "/prog.z80", program());
    AssemblerTimes out;
    out.spasmFound = !spasm.isEmpty();
    std::vector<double> ours, theirs;
    for (int i = 0; i < reps; ++i) {
        ours.push_back(run(qvasm, {"prog.z80", "-o", "ours.bin"}, dir));
        if (out.spasmFound)
            theirs.push_back(run(spasm, {"-N", "prog.z80", "spasm.bin"}, dir));
    }
    out.ours = median(ours);
    if (out.spasmFound) {
        out.spasm = median(theirs);
        out.sameBytes = readAll(dir + "/ours.bin") == readAll(dir + "/spasm.bin") &&
                        !readAll(dir + "/ours.bin").isEmpty();
    }
    return out;
}
