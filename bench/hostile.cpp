#include "hostile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <algorithm>

namespace {

QByteArray repeat(const QByteArray &text, int times) {
    QByteArray out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

double build(const QString &qvasm, const QString &dir, const QByteArray &text) {
    QFile f(dir + "/hostile.z80");
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(text);
    f.close();
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer t;
    t.start();
    p.start(qvasm, {"hostile.z80", "-o", "hostile.bin"});
    p.waitForFinished(120000);
    return t.nsecsElapsed() / 1e6;
}

} // namespace

std::vector<HostileSource> hostileSources(bool quick) {
    std::vector<HostileSource> out;
    // Three lines that run themselves: nesting, not the stack, ends them.
    out.push_back(
        {"3 lines that run() themselves", "#define X \"wr(X)\\nrun()\"\n wr(X)\n run()\n"});
    // A 1 KB macro of 65,536 bytes used 100,000 times: the calculator's
    // limit ends it at the first use.
    QByteArray fills = "#macro f0()\n .fill 65536\n#endmacro\n";
    for (int i = 1; i <= 5; ++i)
        fills += "#macro f" + QByteArray::number(i) + "()\n" +
                 repeat(" f" + QByteArray::number(i - 1) + "()\n", 10) + "#endmacro\n";
    out.push_back({".fill 65536 x 100,000 by macros", fills + " f5()\n"});
    // #defines used before they are written, each using the one before twice.
    QByteArray chain = " .dw L31\n#define L0 7\n";
    for (int i = 1; i <= 31; ++i)
        chain += "#define L" + QByteArray::number(i) + " (L" + QByteArray::number(i - 1) + "+L" +
                 QByteArray::number(i - 1) + ")/2\n";
    out.push_back({"31 late #defines, each used twice", chain});
    // Reusable labels, each line reaching back to the one before.
    const int labels = quick ? 2500 : 250000;
    out.push_back({QStringLiteral("%1 \"_:\" lines reached as -_").arg(labels),
                   repeat("_: .org -_\n", labels)});
    // A #define call nested 20,000 deep in one line.
    out.push_back(
        {"#define call nested 20,000 deep",
         "#define f(x) x\n .db " + repeat("f(", 20000) + "1" + repeat(")", 20000) + "\n"});
    return out;
}

std::vector<HostileTime> timeHostile(const QString &qvasm, const QString &dir, bool quick,
                                     int reps) {
    std::vector<HostileTime> out;
    for (const HostileSource &s : hostileSources(quick)) {
        std::vector<double> ours, floor;
        for (int i = 0; i < reps; ++i) {
            ours.push_back(build(qvasm, dir, s.text));
            floor.push_back(build(qvasm, dir, " nop\n"));
        }
        std::sort(ours.begin(), ours.end());
        std::sort(floor.begin(), floor.end());
        out.push_back({s.name, ours[ours.size() / 2], floor[floor.size() / 2]});
    }
    return out;
}
