#pragma once
// What the windows need from outside, handed in at construction: the root of
// the folder tree, the editor's own folder, and the dialogs and process
// starter (real ones in the program, scripted ones in tests).

#include "platform/dialogs.h"
#include "platform/process.h"

#include <QString>

struct Services {
    QString root;
    QString programFolder;
    MessageBox *messages = nullptr;
    FilePicker *picker = nullptr;
    ProcessStarter *starter = nullptr;
    int resultDelayMs = 5000;  // the result timers' interval
    int analysisDelayMs = 300; // how long typing must pause before the text is analysed
};

// The real dialogs and processes, with the folder tree in the home folder.
struct SystemServices {
    QtMessageBox messages;
    QtFilePicker picker;
    SystemProcessStarter starter;
    Services services(const QString &root, const QString &programFolder) {
        Services s;
        s.root = root;
        s.programFolder = programFolder;
        s.messages = &messages;
        s.picker = &picker;
        s.starter = &starter;
        return s;
    }
};
