#pragma once
// Small pieces of the file writer: a descriptor closed on every way out,
// and whole writes that go on after a signal (whole reads: base/wholefile.h).

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

} // namespace posixfile
