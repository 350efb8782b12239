// Whole reads and writes on a file descriptor; see fd_io.h.
#include "platform/fd_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

bool ReadAllFd(int fd, std::string* out) {
    out->clear();
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        out->reserve(static_cast<std::size_t>(st.st_size));
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        out->append(buf, static_cast<std::size_t>(n));
    }
}

std::size_t ReadFromStart(int fd, void* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        ssize_t n =
            ::pread(fd, static_cast<char*>(buffer) + got, size - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return got;
}

bool WriteAllFd(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace platform
