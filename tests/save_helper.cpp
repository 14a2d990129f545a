// Saves again and again until it is killed: each round writes SIZE bytes of one
// letter, A then B then A, to TARGET through the safe write. Prints one line
// when the first round begins, so the test knows when to start killing.

#include "platform/textfile.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    if (argc != 3)
        return 2;
    const QString target = QString::fromLocal8Bit(argv[1]);
    const qsizetype size = std::atoll(argv[2]);
    std::puts("saving");
    std::fflush(stdout);
    for (char letter = 'A';; letter = letter == 'A' ? 'B' : 'A')
        if (writeWholeFile(target, QByteArray(size, letter)))
            return 1;
}
