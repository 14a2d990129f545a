#pragma once
// Sources written to make a build run away: each must end, with its one
// error or its bytes, well within a second, whatever it asks for.

#include <QByteArray>
#include <QString>
#include <vector>

struct HostileSource {
    QString name;    // the case, as the table shows it
    QByteArray text; // the whole source
};

std::vector<HostileSource> hostileSources(bool quick);

// The median milliseconds of `reps` builds of each by `qvasm` in `dir`, as
// whole processes; the floor is a one-line program.
struct HostileTime {
    QString name;
    double ours, floor;
};
std::vector<HostileTime> timeHostile(const QString &qvasm, const QString &dir, bool quick,
                                     int reps);
