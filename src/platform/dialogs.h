#pragma once
// The message box and the file dialog, behind small interfaces that the
// windows receive at construction, so that tests can script them.

#include <QString>
#include <QStringList>

#include <optional>

class QMessageBox;
class QWidget;

// Modal boxes under the application's title.
class MessageBox {
public:
    enum class Answer { Save, Discard, Cancel };
    virtual ~MessageBox() = default;
    // A text with the single button OK and no icon.
    virtual void inform(QWidget *parent, const QString &text) = 0;
    // A question with Save, Discard and Cancel.
    virtual Answer askSave(QWidget *parent, const QString &text) = 0;
    // A question with a button named `acceptText` and Cancel; true when accepted.
    virtual bool confirm(QWidget *parent, const QString &text, const QString &acceptText) = 0;
    // A whole number between min and max; nothing when the user cancels.
    virtual std::optional<int> askNumber(QWidget *parent, const QString &title,
                                         const QString &label, int value, int min, int max) = 0;
    // One line of text, shown first as `value`; nothing when the user cancels
    // (as a box that asks no one does).
    virtual std::optional<QString> askText(QWidget *, const QString &, const QString &,
                                           const QString &) {
        return std::nullopt;
    }
    // A question with one button for each choice; the index of the one
    // pressed, or -1 when the box was closed or Escape pressed.
    virtual int choose(QWidget *parent, const QString &text, const QStringList &choices) = 0;
    // A long text to read, such as a difference between two texts.
    virtual void showText(QWidget *parent, const QString &title, const QString &text) = 0;
};

// One entry of a file-type filter. `executablesOnly` lists only files the user
// may run (and folders to move through), whatever their names.
struct FileFilter {
    QString description;
    QStringList patterns;
    bool executablesOnly = false;
};

// Parses a filter of the form "desc|patterns|desc|patterns" with patterns
// separated by ';'. "*.*" means every file.
QList<FileFilter> parseFilter(const QString &filter);
// Qt's form: "desc (pat pat);;desc (pat)"; the patterns in the parentheses are
// the ones Qt filters by.
QString toQtFilter(const QList<FileFilter> &filters);

// The suffix a filter's first pattern gives ("z80" for "*.z80"), or empty.
QString filterSuffix(const FileFilter &filter);
// A file name with no extension gets the filter's suffix.
QString withFilterSuffix(const QString &fileName, const FileFilter &filter);

// Shows the system's Open and Save dialogs; nullopt when the user cancels.
class FilePicker {
public:
    virtual ~FilePicker() = default;
    virtual std::optional<QString> getOpenFileName(QWidget *parent,
                                                   const QList<FileFilter> &filters,
                                                   const QString &initialSelection) = 0;
    virtual std::optional<QString> getSaveFileName(QWidget *parent,
                                                   const QList<FileFilter> &filters,
                                                   const QString &initialSelection) = 0;
    // The filter entry (from 0) chosen when the last dialog was accepted.
    virtual int chosenFilter() const { return 0; }
};

// The file dialog object of a window: a filter, a FileName that the user's
// choice sets and a cancel leaves as it was, and the two ways to show it.
class CommonDialog {
public:
    CommonDialog(FilePicker *picker, QWidget *parent) : m_picker(picker), m_parent(parent) {}
    QString Filter;
    QString FileName;
    QString InitDir; // where the dialog opens while FileName is empty
    // Both return whether the user accepted a file.
    bool ShowOpen() { return take(m_picker->getOpenFileName(m_parent, filters(), start())); }
    // A name typed without an extension gets the chosen filter's first one.
    bool ShowSave() {
        const QList<FileFilter> list = filters();
        if (!take(m_picker->getSaveFileName(m_parent, list, start())))
            return false;
        FileName = withFilterSuffix(FileName, list.value(m_picker->chosenFilter()));
        return true;
    }
    QList<FileFilter> filters() const;
    // On a system where programs carry no extension, the first entry lists
    // executable files instead of matching its patterns.
    bool executablesFirst = false;

private:
    // The initial selection: the file, or the folder with a '/' after it.
    QString start() const {
        return FileName.isEmpty() && !InitDir.isEmpty() ? InitDir + QLatin1Char('/') : FileName;
    }
    bool take(const std::optional<QString> &chosen) {
        if (chosen)
            FileName = *chosen;
        return chosen.has_value();
    }
    FilePicker *m_picker;
    QWidget *m_parent;
};

// The real implementations.
class QtMessageBox : public MessageBox {
public:
    void inform(QWidget *parent, const QString &text) override;
    Answer askSave(QWidget *parent, const QString &text) override;
    bool confirm(QWidget *parent, const QString &text, const QString &acceptText) override;
    std::optional<int> askNumber(QWidget *parent, const QString &title, const QString &label,
                                 int value, int min, int max) override;
    std::optional<QString> askText(QWidget *parent, const QString &title, const QString &label,
                                   const QString &value) override;
    int choose(QWidget *parent, const QString &text, const QStringList &choices) override;
    void showText(QWidget *parent, const QString &title, const QString &text) override;
    // Makes a box at least as wide as its title needs beside the window buttons.
    static void fitTitle(QMessageBox *box);
};

class QtFilePicker : public FilePicker {
public:
    int chosenFilter() const override { return m_chosen; }
    std::optional<QString> getOpenFileName(QWidget *parent, const QList<FileFilter> &filters,
                                           const QString &initialSelection) override;
    std::optional<QString> getSaveFileName(QWidget *parent, const QList<FileFilter> &filters,
                                           const QString &initialSelection) override;

private:
    int m_chosen = 0;
};

// The application's title, which every message box carries.
inline QString applicationTitle() {
    return QStringLiteral("Quorvin");
}
