#pragma once
// The errors and warnings of a build (or of a tests run) as the editor marks
// and walks them: from the values the kit's assembler wrote beside the
// program (Exec/NAME.diag) when this build wrote them, else read from the
// log's lines (another assembler's, or a build script that names no values).

#include <QDateTime>
#include <QList>
#include <QString>

struct BuildProblem {
    QString file;                // whole path
    int line = 0;                // from 1
    int column = -1, length = 0; // bytes from the line's start; -1: the whole line
    bool error = true;
    QString said; // the log's line that says it, as the log shows it
};

// `log` as shown, whose relative names start from `folder`; `values` the
// diagnostics file, read only when it was written at or after `since` (a
// build with no known start reads none).
QList<BuildProblem> buildProblems(const QString &log, const QString &folder, const QString &values,
                                  const QDateTime &since);

// The line of `log` (from 0) that says `problem`, or -1.
int logLineOf(const QString &log, const BuildProblem &problem);
