// Saves through the safe write for the tests, in a process of its own (which
// a test may start as another user):
//   save_helper --steps TARGET SIZE [SPARE]: writes SIZE bytes of one letter,
//     A then B then A, round after round; at each step of a write it prints
//     the step's number and waits for a line on its standard input.
//   save_helper --once TARGET TEXT [SPARE]: writes TEXT once.
//   save_helper --cut-at-half TARGET TEXT [SPARE]: the same, but from the
//     middle of the write on no file may grow, as when a disk fills.
// A failed write prints its message and exits with 1.

#include "platform/textfile.h"

#include <QByteArray>
#include <QString>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

int main(int argc, char **argv) {
    if (argc < 4 || argc > 5)
        return 2;
    std::signal(SIGXFSZ, SIG_IGN); // a write past a size limit fails instead
    const QString target = QString::fromLocal8Bit(argv[2]);
    WriteOptions options;
    if (argc == 5)
        options.spareFolder = QString::fromLocal8Bit(argv[4]);
    const auto failed = [](const FileError &e) {
        std::printf("%s", e.message().toLocal8Bit().constData());
        return 1;
    };
    if (std::strcmp(argv[1], "--steps") == 0) {
        const qsizetype size = std::atoll(argv[3]);
        options.observer = [](WriteStep s) {
            std::printf("%d\n", int(s));
            std::fflush(stdout);
            char line[16];
            if (!std::fgets(line, sizeof line, stdin))
                std::exit(3);
        };
        for (char letter = 'A';; letter = letter == 'A' ? 'B' : 'A')
            if (auto e = writeWholeFile(target, QByteArray(size, letter), options))
                return failed(*e);
    }
    if (std::strcmp(argv[1], "--cut-at-half") == 0)
        options.observer = [](WriteStep s) {
            struct rlimit none {
                1, 1
            };
            if (s == WriteStep::HalfWritten)
                ::setrlimit(RLIMIT_FSIZE, &none);
        };
    if (auto e = writeWholeFile(target, QByteArray(argv[3]), options))
        return failed(*e);
    return 0;
}
