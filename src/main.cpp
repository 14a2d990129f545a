// The editor: real dialogs, real processes, the folder tree in the home folder.

#include "core/locations.h"
#include "ui/form1.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(applicationTitle());
    SystemServices system;
    Form1 window(system.services(Locations::defaultRoot(), QApplication::applicationDirPath()));
    window.show();
    return app.exec();
}
