#include "locations.h"

#include <QDir>

QString Locations::defaultRoot() {
    return QDir::homePath() + QLatin1String("/Asm");
}
