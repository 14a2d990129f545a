#include "currentfile.h"

#include "ui/editor.h"

#include <Qsci/qsciscintilla.h>

#include <QFile>
#include <QFileInfo>

std::optional<FileError> CurrentFile::load(const QString &path, bool untitled) {
    return loadNative(QFile::encodeName(path), untitled);
}

std::optional<FileError> CurrentFile::loadNative(const QByteArray &nativePath, bool untitled) {
    QByteArray utf8;
    TextEncoding encoding;
    if (auto error = readDocument(nativePath, &utf8, &encoding))
        return error;
    setEditorBytes(m_editor, utf8);
    setCurrentFile(untitled ? QString() : QFile::decodeName(nativePath), encoding,
                   lineEndMode(utf8));
    tell(Change::Loaded);
    return std::nullopt;
}

void CurrentFile::startNew(const QString &path) {
    setEditorBytes(m_editor, {});
    setCurrentFile(path, TextEncoding::Windows1252,
                   m_newLineEnds < 0 ? lineEndMode({}) : m_newLineEnds);
    tell(Change::Started);
}

std::optional<FileError> CurrentFile::save(const QString &path, const QString &spareFolder) {
    const EditorBytes text = editorBytes(m_editor);
    if (auto error = writeDocument(path, text.data, text.size, m_encoding, spareFolder)) {
        // A write that failed half-way (a full disk while writing in place)
        // changed the file itself: that version is the one the user knows of.
        if (path == m_stampedPath)
            m_stamp = fileStamp(path);
        return error;
    }
    setCurrentFile(path, m_encoding,
                   int(m_editor->SendScintilla(QsciScintillaBase::SCI_GETEOLMODE)));
    tell(Change::Saved);
    return std::nullopt;
}

bool CurrentFile::is(const QString &file) const {
    return !m_path.isEmpty() && !file.isEmpty() &&
           QFileInfo(m_path).absoluteFilePath() == QFileInfo(file).absoluteFilePath();
}

bool CurrentFile::changedOnDisk(const QString &path) const {
    if (path.isEmpty() || path != m_stampedPath)
        return false;
    const std::optional<FileStamp> now = fileStamp(path);
    return now && now != m_stamp;
}

std::optional<QString> CurrentFile::unchosenTarget(const QString &path) const {
    const QFileInfo target(finalTarget(path));
    const QString where = target.absoluteFilePath();
    if (where == QFileInfo(path).absoluteFilePath())
        return std::nullopt; // no link: the very file chosen
    if (!target.exists() || (path == m_stampedPath && where != m_target))
        return where;
    return std::nullopt;
}

void CurrentFile::setCurrentFile(const QString &path, TextEncoding encoding, int lineEnds) {
    m_path = path;
    m_encoding = encoding;
    m_stampedPath = path;
    m_stamp = path.isEmpty() ? std::nullopt : fileStamp(path);
    m_target = path.isEmpty() ? QString() : QFileInfo(finalTarget(path)).absoluteFilePath();
    m_editor->SendScintilla(QsciScintillaBase::SCI_SETEOLMODE, lineEnds);
    m_editor->SendScintilla(QsciScintillaBase::SCI_SETSAVEPOINT);
}
