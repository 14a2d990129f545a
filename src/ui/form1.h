#pragma once
// The main window: the editor, the menus, the two result timers and the file
// dialog whose FileName is the current file name. It holds the document's
// state; each menu item and timer has one short handler.

#include "platform/dialogs.h"
#include "ui/services.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <optional>

class QsciScintilla;
class QTimer;
class ProcessWatch;
class Form2;
class Form3;
struct FileError;

class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(const Services &services);
    ~Form1() override;

    QsciScintilla *Text1;
    QTimer *Timer1; // result of Make
    QTimer *Timer2; // result of Make and Send
    CommonDialog CommonDialog1;

    // Move text between a file and the editor; false (after reporting) on failure.
    bool open_doc(const QString &filename);
    bool save_doc(const QString &filename);

    Form2 *form2() const { return m_form2.get(); }
    Form3 *form3() const; // null until first used

    // Menu handlers.
    void newdoc_Click(const QByteArray &templatePath);
    void open_Click();
    void save_Click();
    void saveas_Click();
    void exit_Click();
    void selall_Click();
    void prefs_Click();
    void makeprog_Click();
    void makesend_Click();
    void viewout_Click();
    void startcalc_Click();
    void Timer1_Timer();
    void Timer2_Timer();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void applyResizeRule();
    // A build whose result a timer will show: what it was started for and when.
    struct Build {
        QString programName;
        QDateTime started;
        std::shared_ptr<ProcessWatch> watch;
        QMetaObject::Connection waiting; // set while a tick waits for the build to end
    };

    void Form_Load();
    void createActions();
    bool loadText(const QByteArray &nativePath);
    bool maybeSave();
    bool saveWithDialog();
    std::optional<Build> startBuild();
    void armTimer(QTimer *timer, std::optional<Build> &slot, std::optional<Build> build);
    void whenBuildEnded(std::optional<Build> &slot, void (Form1::*finish)());
    void finishMake();
    void finishSend();
    bool showAssemblerLog();
    Form3 *ensureForm3();
    bool startTool(const QString &program, const QStringList &arguments);
    void report(const FileError &error);

    Services m_services;
    std::unique_ptr<Form2> m_form2;
    QPointer<Form3> m_form3;
    QMenu *m_newMenu = nullptr;
    std::optional<Build> m_make;
    std::optional<Build> m_send;
    QList<std::shared_ptr<ProcessWatch>> m_tools; // link programs and emulators not yet ended
};
