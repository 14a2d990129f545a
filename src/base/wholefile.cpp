#include "base/wholefile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace base {

OpenFile::OpenFile(const char *path) {
    // O_NONBLOCK: a FIFO must not hang the open; it is refused below.
    m_fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0) {
        m_state = {ReadFailure::System, errno};
        return;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        m_state = {ReadFailure::System, errno};
    else if (S_ISDIR(st.st_mode))
        m_state = {ReadFailure::Folder, EISDIR};
    else if (!S_ISREG(st.st_mode))
        m_state = {ReadFailure::NotRegular, EINVAL};
    else
        m_size = std::size_t(st.st_size);
}

OpenFile::~OpenFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

long long readFully(int fd, char *buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buffer + got, size - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    return (long long)got;
}

long long OpenFile::read(char *buffer, std::size_t size) {
    return readFully(m_fd, buffer, size);
}

} // namespace base
