#pragma once
// The fixed folder tree the editor works in. Every location hangs off one
// root: ~/Asm for the user, a temporary folder in tests.

#include <QFileInfo>
#include <QString>

inline const char *const kBuildScriptName = "asm.bat";
inline const char *const kTemplateSuffix = ".txt";
inline const char *const kBuiltProgramSuffix = ".8xp";

class Locations {
public:
    explicit Locations(const QString &root) : m_root(root) {}
    // The folder "Asm" in the user's home folder.
    static QString defaultRoot();

    QString root() const { return m_root; }
    QString settingsFile() const { return m_root + QLatin1String("/TASM/config.ini"); }
    QString templateFolder() const { return m_root + QLatin1String("/TASM/Templates"); }
    QString assemblerLog() const { return m_root + QLatin1String("/TASM/error.log"); }
    // The files the last build read, as the build script leaves them.
    QString buildFileList() const { return m_root + QLatin1String("/TASM/last-build.files"); }
    // Each running build's own log and list of files read, for its editor.
    QString buildOutputFolder() const { return m_root + QLatin1String("/TASM/Builds"); }
    // Which program each file belongs to, as the editor keeps it.
    QString programRecord() const { return m_root + QLatin1String("/TASM/programs.txt"); }
    // The files worked on, newest first, and the line ends of the last one saved.
    QString recentFiles() const { return m_root + QLatin1String("/TASM/recent.txt"); }
    // The editor's breakpoints, a line each: the line number, a tab, the file.
    QString breakpoints() const { return m_root + QLatin1String("/TASM/breakpoints.txt"); }
    // The debug pane's watch expressions, a line each.
    QString watchExpressions() const { return m_root + QLatin1String("/TASM/watches.txt"); }
    // While this file exists, a start with no file named opens an empty document.
    QString noReopen() const { return m_root + QLatin1String("/TASM/reopen-last.off"); }
    // The main window's size and place when it was last closed.
    QString windowGeometry() const { return m_root + QLatin1String("/TASM/window.geometry"); }
    // Where a whole copy of a file is kept while it is written in place.
    QString spareFolder() const { return m_root + QLatin1String("/TASM/Backup"); }
    // The unsaved text of each running editor, kept until it is saved or dropped.
    QString recoveryFolder() const { return m_root + QLatin1String("/TASM/Recovery"); }
    // The names of text kept by a session's end, for the next start to tell.
    QString unsavedRecord() const { return m_root + QLatin1String("/TASM/unsaved.txt"); }
    QString sourceFolder() const { return m_root + QLatin1String("/Source"); }
    QString builtProgramFolder() const { return m_root + QLatin1String("/Exec"); }
    // The file the last build of the program wrote: NAME.8xp, or NAME.8xk
    // for an application, NAME.8xv for an application variable, or another
    // variable's file (a build removes the others first); NAME.8xp when
    // there is none yet.
    QString builtProgram(const QString &programName) const {
        const QString stem = builtProgramFolder() + QLatin1Char('/') + programName;
        for (const char *suffix :
             {".8xk", ".8xv", ".8xs", ".8xi", ".8xn", ".8xl", ".8xm", ".8xd", ".8xc"})
            if (QFileInfo::exists(stem + QLatin1String(suffix)) &&
                !QFileInfo::exists(stem + QLatin1String(kBuiltProgramSuffix)))
                return stem + QLatin1String(suffix);
        return stem + QLatin1String(kBuiltProgramSuffix);
    }
    // The kit's assembler's errors and warnings of a build, as values.
    QString buildDiagnostics(const QString &programName) const {
        return builtProgramFolder() + QLatin1Char('/') + programName + QLatin1String(".diag");
    }

private:
    QString m_root;
};
