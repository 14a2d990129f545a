#pragma once
// The kit's one way to write a file: the bytes go to a temporary file in the
// target's own folder, every write is checked and flushed to the disk, and
// only a complete file is renamed over the target (in the same folder, so
// the rename is one step that cannot leave a cut file). On failure nothing
// is left behind and `error` says why.

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kit {

inline bool writeFileWhole(const std::string &path, const std::string &bytes, std::string *error) {
    std::string temp = path + ".tmp-XXXXXX";
    const int fd = ::mkostemp(&temp[0], O_CLOEXEC);
    const auto fail = [&](int number) {
        *error = "cannot write " + path + ": " + std::strerror(number);
        return false;
    };
    if (fd < 0)
        return fail(errno);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const char *data = bytes.data();
    size_t left = bytes.size();
    bool ok = ::fchmod(fd, 0666 & ~mask) == 0;
    while (ok && left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            ok = false;
            break;
        }
        data += n;
        left -= size_t(n);
    }
    ok = ok && ::fsync(fd) == 0;
    const int saved = errno;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    const int number = ok ? errno : saved;
    ::unlink(temp.c_str());
    return fail(number);
}

} // namespace kit
