#pragma once
// Small pieces shared by the file reader and writer: a descriptor closed on
// every way out, and whole reads and writes that go on after a signal.

#include <QtGlobal>

#include <cerrno>
#include <unistd.h>

namespace posixfile {

struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    // Closes now; the result of close().
    int close() {
        const int rc = ::close(fd);
        fd = -1;
        return rc;
    }
};

inline bool writeAll(int fd, const char *data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// Reads into `buffer` until it is full or the file ends; the count read, or -1.
inline qsizetype readSome(int fd, char *buffer, qsizetype size) {
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buffer + got, size_t(size - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

} // namespace posixfile
