#pragma once
// The one whole-file reader every layer uses: it opens without waiting (a
// FIFO never holds up the open), reads only a regular file, and refuses one
// larger than kMaxFileSize, so that no file, however large or strange, is
// read into memory by accident. Plain C++ on the system's calls; the bytes
// go into a std::string or a QByteArray alike.

#include <cerrno>
#include <cstddef>
#include <utility>

namespace base {

// The largest file read whole; larger ones are refused.
constexpr std::size_t kMaxFileSize = std::size_t(64) * 1024 * 1024;

// Why a file was not read; None when it was.
enum class ReadFailure {
    None,
    System,     // the system's error number is in `number`
    Folder,     // the path names a folder
    NotRegular, // a FIFO, a device, a socket...
    TooLarge,   // more than the limit
};

struct FileRead {
    ReadFailure failure = ReadFailure::None;
    int number = 0; // errno, for System
    bool ok() const { return failure == ReadFailure::None; }
};

// Reads from the descriptor `fd` until `buffer` is full or the file ends,
// going on after a signal: the count read, or -1 (errno set). The one read
// loop of the reader and of the platform's safe write.
long long readFully(int fd, char *buffer, std::size_t size);

// A regular file opened for reading, closed when it goes.
class OpenFile {
public:
    explicit OpenFile(const char *path);
    OpenFile(const OpenFile &) = delete;
    OpenFile &operator=(const OpenFile &) = delete;
    ~OpenFile();
    // Why it cannot be read (the limit is not judged here).
    const FileRead &state() const { return m_state; }
    // Its size when it was opened.
    std::size_t size() const { return m_size; }
    // Reads until `buffer` is full or the file ends: the count read, or -1
    // (errno set).
    long long read(char *buffer, std::size_t size);

private:
    int m_fd = -1;
    std::size_t m_size = 0;
    FileRead m_state;
};

// The whole file at `path`, at most `limit` bytes of it; `*bytes` is left
// as it was when the file is not read.
template <class Bytes>
FileRead readWholeFile(const char *path, Bytes *bytes, std::size_t limit = kMaxFileSize) {
    OpenFile f(path);
    if (!f.state().ok())
        return f.state();
    if (f.size() > limit)
        return {ReadFailure::TooLarge, 0};
    // The size the file had, then whatever it grew by since.
    Bytes data;
    data.resize(decltype(data.size())(f.size()));
    const long long got = f.read(data.data(), f.size());
    if (got < 0)
        return {ReadFailure::System, errno};
    data.resize(decltype(data.size())(got));
    if (std::size_t(got) == f.size()) {
        char more[4096];
        for (;;) {
            const long long n = f.read(more, sizeof more);
            if (n < 0)
                return {ReadFailure::System, errno};
            if (n == 0)
                break;
            if (std::size_t(data.size()) + std::size_t(n) > limit)
                return {ReadFailure::TooLarge, 0};
            data.append(more, decltype(data.size())(n));
        }
    }
    *bytes = std::move(data);
    return {};
}

// The first `limit` bytes of the file at `path`, and its whole size.
template <class Bytes>
FileRead readFileStart(const char *path, std::size_t limit, Bytes *bytes, std::size_t *size) {
    OpenFile f(path);
    if (!f.state().ok())
        return f.state();
    Bytes data;
    data.resize(decltype(data.size())(f.size() < limit ? f.size() : limit));
    const long long got = f.read(data.data(), std::size_t(data.size()));
    if (got < 0)
        return {ReadFailure::System, errno};
    data.resize(decltype(data.size())(got));
    *bytes = std::move(data);
    *size = f.size() > std::size_t(got) ? f.size() : std::size_t(got);
    return {};
}

} // namespace base
