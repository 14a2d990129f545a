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

// The program's bytes from org 9D95h on, or none when pasmo refused it.
inline Bytes assemble(const QString &body) {
    QString text = QStringLiteral("        org 9D95h\n");
    for (const run::RomCall &c : run::romCalls())
        text += QStringLiteral("%1 equ 0%2h\n").arg(c.name).arg(c.address, 4, 16, QChar('0'));
    text += QStringLiteral("curRow equ 844Bh\ncurCol equ 844Ch\npenCol equ 86D7h\n"
                           "penRow equ 86D8h\nOP1 equ 8478h\nOP2 equ 8483h\nOP3 equ 848Eh\n"
                           "textShadow equ 8508h\nplotSScreen equ 9340h\n");
    static const QRegularExpression bcall(QStringLiteral("bcall\\((\\w+)\\)"));
    text += QString(body).replace(bcall, QStringLiteral("rst 28h\n dw \\1"));
    QTemporaryDir dir;
    QFile src(dir.filePath("p.asm"));
    if (!src.open(QIODevice::WriteOnly))
        return {};
    src.write(text.toUtf8());
    src.close();
    QProcess pasmo;
    pasmo.start("pasmo", {dir.filePath("p.asm"), dir.filePath("p.bin")});
    if (!pasmo.waitForFinished(30000) || pasmo.exitCode() != 0) {
        qWarning("%s", pasmo.readAllStandardError().constData());
        return {};
    }
    QFile bin(dir.filePath("p.bin"));
    if (!bin.open(QIODevice::ReadOnly))
        return {};
    const QByteArray b = bin.readAll();
    return Bytes(b.begin(), b.end());
}

// Runs the program with a list of keys for at most `cycles` clock cycles.
inline std::unique_ptr<run::Session> runAsm(const QString &body, std::vector<int> keys = {},
                                            std::uint64_t cycles = 60000000) {
    run::Program program;
    program.name = "TEST";
    program.code = assemble(body);
    auto session = std::make_unique<run::Session>(program);
    session->machine().keypad().setScript(std::move(keys));
    session->runUntil(cycles);
    return session;
}

inline QString screenText(const run::Session &s) {
    return QString::fromStdU32String(run::homeText(s.machine().lcd()));
}
