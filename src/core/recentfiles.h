#pragma once
// The files the user worked on, newest first, kept across restarts for the
// quick list (Ctrl+P) and for reopening the last file at start; and the line
// ends of the file saved last, which new documents take. The record is a
// text file: its first line names the line ends ("CR LF", "LF" or "CR"), each
// further line is a file's whole path in UTF-8.

#include <QString>
#include <QStringList>

class RecentFiles {
public:
    enum class LineEnds { CrLf, Lf, Cr };
    static constexpr int kMaxFiles = 30;

    explicit RecentFiles(const QString &recordFile) : m_file(recordFile) {}

    // Newest first; files that no longer exist are left out.
    QStringList files() const;
    // `path` becomes the newest; with `saved`, its line ends are the ones new
    // documents take. False when the record could not be written (nothing
    // else depends on it).
    bool add(const QString &path, bool saved = false, LineEnds lineEnds = LineEnds::CrLf);
    // CR LF until a file has been saved.
    LineEnds newLineEnds() const;

private:
    QStringList lines() const;

    QString m_file;
};
