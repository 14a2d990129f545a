#include "programname.h"

QString programName(const QString &fileName) {
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const qsizetype start = slash + 1;
    if (dot < start)
        return fileName.mid(start);
    return fileName.mid(start, dot - start);
}
