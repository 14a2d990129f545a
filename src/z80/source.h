#pragma once
// Where the assembler's text comes from: files found through a FileReader,
// which tests replace with one that holds the files in memory.

#include "base/lines.h"
#include "base/wholefile.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace z80 {

// The largest source or include file read; larger ones are refused.
constexpr size_t kMaxFileSize = base::kMaxFileSize;

struct ReadResult {
    std::string text;
    std::string error; // empty when the file was read
};

class FileReader {
public:
    virtual ~FileReader() = default;
    // Reads a regular file of at most kMaxFileSize bytes.
    virtual ReadResult read(const std::string &path) = 0;
    // Whether something exists at `path` (a file, a folder, a device...).
    virtual bool exists(const std::string &path) = 0;
    // The names in a folder; empty when it cannot be listed.
    virtual std::vector<std::string> list(const std::string &folder) = 0;
    // Whether only the user (or the system) can put files into a folder.
    virtual bool ownFolder(const std::string &) { return true; }
};

// The files on disk.
class DiskReader : public FileReader {
public:
    ReadResult read(const std::string &path) override;
    bool exists(const std::string &path) override;
    std::vector<std::string> list(const std::string &folder) override;
    // Not one that everybody may write in, nor one of another user.
    bool ownFolder(const std::string &folder) override;
};

// Files held in memory, by full path.
class MemoryReader : public FileReader {
public:
    std::map<std::string, std::string> files;
    ReadResult read(const std::string &path) override;
    bool exists(const std::string &path) override;
    std::vector<std::string> list(const std::string &folder) override;
};

// Paths, with '/' between names.
std::string folderOf(const std::string &path);
std::string joinPath(const std::string &folder, const std::string &name);
// The whole path of a file a message or the map names as the user knows it:
// below the source's folder, or whole already.
std::string wholePath(const std::string &mainPath, const std::string &shown);
// Removes "." and "name/.." parts.
std::string normalPath(const std::string &path);

// The path as it exists, each name in it matched in any letter case when it
// does not exist as written; empty when there is none.
std::string resolveFolded(FileReader &reader, const std::string &path);
// The file an include names, where the build looks: next to the including
// file, next to the source, in the usual project folders beside the source,
// in the working folder (as spasm-ng and the classic assembler look), then in
// `extraFolders`. A name that differs only in letter case is found too; a
// whole path where nothing is ("/inc/ti83plus.inc") is looked for below
// each of those folders, as spasm-ng looks for it. A folder that others may
// write in (or another user's) comes after all the rest, so that nobody can
// plant a file before the one meant; a file taken from one sets
// `*othersFolder` to it, for a warning.
std::string findInclude(FileReader &reader, const std::string &name,
                        const std::string &includingFolder, const std::string &mainFolder,
                        const std::vector<std::string> &extraFolders,
                        std::string *othersFolder = nullptr);

// The lines of a text, as base::LineSplitter splits them (CR LF, LF and a
// lone CR each end one), each a string of its own.
std::vector<std::string> splitLines(const std::string &text);
using base::LineSplitter;

} // namespace z80
