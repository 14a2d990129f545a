#pragma once
// What the windows need from outside, handed in at construction: the root of
// the folder tree, the editor's own folder, and the dialogs and process
// starter (real ones in the program, scripted ones in tests).

#include <QString>

class MessageBox;
class FilePicker;
class ProcessStarter;

struct Services {
    QString root;
    QString programFolder;
    MessageBox *messages = nullptr;
    FilePicker *picker = nullptr;
    ProcessStarter *starter = nullptr;
    int resultDelayMs = 5000; // the result timers' interval
};
