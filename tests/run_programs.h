#pragma once
// Small programs for the runner's tests, written in assembly and assembled
// with pasmo at test time. `bcall(_Name)` and the OS's names come from the
// runner's own table of calls; RAM names are the usual ones.

#include "run/romtable.h"
#include "run/session.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using Bytes = std::vector<std::uint8_t>;

// The program's bytes from org 9D95h on. A program pasmo refuses (or no
// pasmo) fails the test with pasmo's message and gives no bytes, so that no
// test passes on a program that never ran.
inline Bytes assemble(const QString &body) {
    QString text = QStringLiteral("        org 9D95h\n");
    for (const run::RomCall &c : run::romCalls())
        text += QStringLiteral("%1 equ 0%2h\n").arg(c.name).arg(c.address, 4, 16, QChar('0'));
    text += QStringLiteral("curRow equ 844Bh\ncurCol equ 844Ch\npenCol equ 86D7h\n"
                           "penRow equ 86D8h\nOP1 equ 8478h\nOP2 equ 8483h\nOP3 equ 848Eh\n"
                           "textShadow equ 8508h\nplotSScreen equ 9340h\n");
    static const QRegularExpression bcall(QStringLiteral("bcall\\((\\w+)\\)"));
    text += QString(body).replace(bcall, QStringLiteral("rst 28h\n dw \\1"));
    const auto refused = [](const QString &why) {
        QTest::qFail(qPrintable("pasmo did not assemble the test's program: " + why), __FILE__,
                     __LINE__);
        return Bytes{};
    };
    QTemporaryDir dir;
    QFile src(dir.filePath("p.asm"));
    if (!src.open(QIODevice::WriteOnly))
        return refused(src.errorString());
    src.write(text.toUtf8());
    src.close();
    QProcess pasmo;
    pasmo.start("pasmo", {dir.filePath("p.asm"), dir.filePath("p.bin")});
    if (!pasmo.waitForFinished(30000))
        return refused(pasmo.errorString());
    if (pasmo.exitStatus() != QProcess::NormalExit || pasmo.exitCode() != 0) {
        // pasmo says what it refused on its standard output, with the line's
        // number in the file written here: the line itself goes with it.
        QString said =
            QString::fromLocal8Bit(pasmo.readAllStandardOutput() + pasmo.readAllStandardError())
                .trimmed();
        static const QRegularExpression lineNumber(QStringLiteral("on line (\\d+)"));
        if (const auto m = lineNumber.match(said); m.hasMatch())
            said += " (" + text.split('\n').value(m.captured(1).toInt() - 1).trimmed() + ")";
        return refused(said);
    }
    QFile bin(dir.filePath("p.bin"));
    if (!bin.open(QIODevice::ReadOnly))
        return refused(bin.errorString());
    const QByteArray b = bin.readAll();
    return Bytes(b.begin(), b.end());
}

// Runs the program with a list of keys for at most `cycles` clock cycles;
// one pasmo refused has failed the test already and is not run.
inline std::unique_ptr<run::Session> runAsm(const QString &body, std::vector<int> keys = {},
                                            std::uint64_t cycles = 60000000) {
    run::Program program;
    program.name = "TEST";
    program.code = assemble(body);
    auto session = std::make_unique<run::Session>(program);
    session->machine().keypad().setScript(std::move(keys));
    if (!program.code.empty())
        session->runUntil(cycles);
    return session;
}

inline QString screenText(const run::Session &s) {
    return QString::fromStdU32String(run::homeText(s.machine().lcd()));
}
