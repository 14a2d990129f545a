#include "source.h"

#include "vocabulary.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace z80 {

ReadResult DiskReader::read(const std::string &path) {
    ReadResult r;
    switch (const base::FileRead got = base::readWholeFile(path.c_str(), &r.text); got.failure) {
    case base::ReadFailure::None:
        break;
    case base::ReadFailure::System:
        r.error = std::strerror(got.number);
        break;
    case base::ReadFailure::Folder:
        r.error = "it is a folder";
        break;
    case base::ReadFailure::NotRegular:
        r.error = "it is not a regular file";
        break;
    case base::ReadFailure::TooLarge:
        r.error = "it is larger than " + std::to_string(kMaxFileSize / (1024 * 1024)) + " MiB";
        break;
    }
    return r;
}

bool DiskReader::exists(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool DiskReader::ownFolder(const std::string &folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return true; // nothing can be found there anyway
    return !(st.st_mode & S_IWOTH) && (st.st_uid == ::geteuid() || st.st_uid == 0);
}

std::vector<std::string> DiskReader::list(const std::string &folder) {
    std::vector<std::string> names;
    if (DIR *d = ::opendir(folder.c_str())) {
        while (const dirent *e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

ReadResult MemoryReader::read(const std::string &path) {
    const auto it = files.find(path);
    if (it != files.end())
        return {it->second, {}};
    return {{}, exists(path) ? "it is a folder" : "No such file or directory"};
}

bool MemoryReader::exists(const std::string &path) {
    if (files.count(path))
        return true;
    const auto it = files.lower_bound(path + "/");
    return it != files.end() && it->first.compare(0, path.size() + 1, path + "/") == 0;
}

std::vector<std::string> MemoryReader::list(const std::string &folder) {
    std::vector<std::string> names;
    const std::string prefix = folder == "/" ? folder : folder + "/";
    for (const auto &[path, text] : files) {
        if (path.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string name =
            path.substr(prefix.size(), path.find('/', prefix.size()) - prefix.size());
        if (names.empty() || names.back() != name)
            names.push_back(name);
    }
    return names;
}

std::string folderOf(const std::string &path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string joinPath(const std::string &folder, const std::string &name) {
    if (!name.empty() && name[0] == '/')
        return name;
    if (folder.empty() || folder == ".")
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string wholePath(const std::string &mainPath, const std::string &shown) {
    if (!shown.empty() && shown[0] == '/')
        return shown;
    return normalPath(joinPath(folderOf(mainPath), shown));
}

std::string normalPath(const std::string &path) {
    std::vector<std::string> parts;
    size_t i = 0;
    const bool absolute = !path.empty() && path[0] == '/';
    while (i <= path.size()) {
        const size_t slash = std::min(path.find('/', i), path.size());
        const std::string part = path.substr(i, slash - i);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = slash + 1;
    }
    std::string out = absolute ? "/" : "";
    for (size_t k = 0; k < parts.size(); ++k)
        out += (k ? "/" : "") + parts[k];
    return out.empty() ? "." : out;
}

std::vector<std::string> splitLines(const std::string &text) {
    std::vector<std::string> lines;
    LineSplitter split(text);
    for (std::string_view line; split.next(&line);)
        lines.emplace_back(line);
    return lines;
}

std::string resolveFolded(FileReader &reader, const std::string &path) {
    if (reader.exists(path))
        return path;
    const std::string parent = folderOf(path);
    if (parent == path)
        return {};
    const std::string folder = resolveFolded(reader, parent);
    if (folder.empty())
        return {};
    const std::string base = lower(path.substr(path.find_last_of('/') + 1));
    for (const std::string &entry : reader.list(folder))
        if (lower(entry) == base)
            return joinPath(folder, entry);
    return {};
}

std::string findInclude(FileReader &reader, const std::string &name,
                        const std::string &includingFolder, const std::string &mainFolder,
                        const std::vector<std::string> &extraFolders, std::string *othersFolder) {
    if (name.empty())
        return {};
    std::vector<std::string> folders = {includingFolder, mainFolder};
    for (const char *sub : {"include", "inc", "includes", "src", "..", "../include", "../inc",
                            "../includes", "../src"})
        folders.push_back(joinPath(mainFolder, sub));
    folders.push_back(".");
    folders.insert(folders.end(), extraFolders.begin(), extraFolders.end());
    // A whole path is read where it stands; when nothing is there, spasm-ng
    // reads it below each folder it searches ("/inc/ti83plus.inc" in the
    // project's folder).
    if (name[0] == '/') {
        if (std::string path = resolveFolded(reader, normalPath(name)); !path.empty())
            return path;
    }
    const size_t first = name.find_first_not_of('/');
    if (first == std::string::npos)
        return {};
    const std::string below = name.substr(first);
    std::string others;
    for (const std::string &dir : folders)
        if (std::string path = resolveFolded(reader, normalPath(joinPath(dir, below)));
            !path.empty()) {
            if (reader.ownFolder(folderOf(path)))
                return path;
            if (others.empty())
                others = path;
        }
    if (!others.empty() && othersFolder)
        *othersFolder = folderOf(others);
    return others;
}

} // namespace z80
