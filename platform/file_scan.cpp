// Directory listings and lock-free short reads of platform/file_scan.h.
#include "platform/file_scan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

EntryType TypeOfStat(const struct stat& st) {
    if (S_ISREG(st.st_mode)) {
        return EntryType::kFile;
    }
    return S_ISDIR(st.st_mode) ? EntryType::kDirectory : EntryType::kOther;
}

}  // namespace

bool ListDirectory(const std::string& directory,
                   const std::function<void(std::string_view name, EntryType type)>& fn) {
    DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
    if (!dir) {
        return false;
    }
    int dfd = ::dirfd(dir);
    for (;;) {
        errno = 0;
        struct dirent* e = ::readdir(dir);
        if (!e) {
            break;  // the end, or a read error: what was listed stands
        }
        EntryType type = EntryType::kOther;
        switch (e->d_type) {
            case DT_REG:
                type = EntryType::kFile;
                break;
            case DT_DIR:
                type = EntryType::kDirectory;
                break;
            case DT_LNK:
            case DT_UNKNOWN: {
                struct stat st;
                if (::fstatat(dfd, e->d_name, &st, 0) == 0) {
                    type = TypeOfStat(st);
                }
                break;
            }
            default:
                break;
        }
        fn(e->d_name, type);
    }
    ::closedir(dir);
    return true;
}

bool ReadFileHead(const std::string& path, std::size_t maxBytes, std::string* out) {
    out->clear();
    // Non-blocking, so that a pipe put where a file should be cannot stall the reader.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    out->resize(maxBytes);
    std::size_t got = 0;
    while (got < maxBytes) {
        ssize_t n = ::read(fd, out->data() + got, maxBytes - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    out->resize(got);
    ::close(fd);
    return true;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace platform
