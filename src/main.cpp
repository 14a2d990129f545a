// The editor: real dialogs, real processes, the folder tree in the home folder.

#include "core/locations.h"
#include "platform/dialogs.h"
#include "platform/process.h"
#include "ui/form1.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(applicationTitle());
    QtMessageBox messages;
    QtFilePicker picker;
    SystemProcessStarter starter;
    Services services;
    services.root = Locations::defaultRoot();
    services.programFolder = QApplication::applicationDirPath();
    services.messages = &messages;
    services.picker = &picker;
    services.starter = &starter;
    Form1 window(services);
    window.show();
    return app.exec();
}
