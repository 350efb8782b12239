// The identity of a file's contents as the file system shows it: device, inode, size and the
// modification and change times. Two equal identities mean "unchanged" unless the file was
// rewritten in place within one timestamp tick; callers that cache contents handle that case.
#pragma once

#include <sys/stat.h>

#include <cstdint>

namespace platform {

struct FileId {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    int64_t mtimeNs = 0;
    int64_t ctimeNs = 0;
    bool operator==(const FileId&) const = default;
};

inline FileId FileIdOf(const struct stat& st) {
    FileId id;
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtimeNs = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    id.ctimeNs = int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec;
    return id;
}

}  // namespace platform
