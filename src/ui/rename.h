#pragma once
// F2: renames the label, equate, #define or macro under the caret in every
// file of the program, from the last analysis's definitions and uses. A field
// holds the name; Enter lists every change (file, line, the line as it will
// read), Enter again makes them: the open document as one step of undo, the
// program's other files written safely, each whole or not at all.

#include <QFrame>

#include <functional>
#include <map>

class QLabel;
class QLineEdit;
class QListWidget;
class QsciScintilla;
class Language;

class Rename : public QFrame {
    Q_OBJECT
public:
    struct Host {
        std::function<QString()> document; // the open document's whole path
        std::function<QString(const QString &, const QByteArray &)> write; // error text, or empty
        std::function<void(const QString &)> tell;                         // on the status line
    };
    Rename(QsciScintilla *editor, Language *language, Host host, QWidget *window);

    QLineEdit *field;
    QListWidget *changes;
    QLabel *note;

    // Opens the field for the name under the caret; false (said on the
    // status line) when the caret is on no name the program defines.
    bool start();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *event) override; // lets the lines read go

private:
    struct Change {
        QString file;
        int line;   // from 1
        int column; // bytes from the line's start
    };
    // A file's lines as bytes, as the analysis counted their columns: the
    // open document's from the editor (UTF-8), another file's as it is on
    // disk, each file read once a rename.
    struct Lines {
        QList<QByteArray> lines;
        bool utf8 = false; // how a line is shown: UTF-8, else Windows-1252
    };
    void list();
    void apply();
    const Lines &linesOf(const QString &file);
    QByteArray lineOf(const QString &file, int line);
    QString shown(const QString &file, const QByteArray &line);

    QsciScintilla *m_editor;
    Language *m_language;
    Host m_host;
    QString m_name;        // as defined
    QList<Change> m_found; // every place the name stands, verified
    std::map<QString, Lines> m_lines; // by whole path, for the rename under way
    bool m_listed = false;
};
