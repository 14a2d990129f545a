// Saves through the safe write for the tests, in a process of its own.
//   save_helper --steps TARGET SIZE: writes SIZE bytes of one letter, A then B
//     then A, round after round; at each step of a write it prints the step's
//     number and waits for a line on its standard input.
//   save_helper --as-me|--as-nobody TARGET TEXT: writes TEXT once, as the
//     user 65534 with --as-nobody (the caller is root then); exit 0 on success.

#include "platform/textfile.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc != 4)
        return 2;
    const QString target = QString::fromLocal8Bit(argv[2]);
    if (std::strcmp(argv[1], "--steps") == 0) {
        const qsizetype size = std::atoll(argv[3]);
        const auto step = [](WriteStep s) {
            std::printf("%d\n", int(s));
            std::fflush(stdout);
            char line[16];
            if (!std::fgets(line, sizeof line, stdin))
                std::exit(3);
        };
        for (char letter = 'A';; letter = letter == 'A' ? 'B' : 'A')
            if (writeWholeFile(target, QByteArray(size, letter), step))
                return 1;
    }
    if (std::strcmp(argv[1], "--as-nobody") == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        return 4;
    return writeWholeFile(target, QByteArray(argv[3])) ? 1 : 0;
}
