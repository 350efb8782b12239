// Sharing-mode opens and deletes over flock; the rule is described in share.h.
#include "platform/share.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

enum class LockKind { kNone, kShared, kExclusive };

LockKind LockFor(FileAccess access, FileShare share) {
    if (share == FileShare::kReadWrite) {
        return access == FileAccess::kRead ? LockKind::kNone : LockKind::kShared;
    }
    if (access == FileAccess::kRead && share == FileShare::kRead) {
        return LockKind::kShared;
    }
    return LockKind::kExclusive;
}

FileOpenError ErrorFromErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            return FileOpenError::kNotFound;
        case EEXIST:
            return FileOpenError::kExists;
        case EWOULDBLOCK:
            return FileOpenError::kSharingViolation;
        default:
            return FileOpenError::kOther;
    }
}

// True when `path` still names the file open on `fd`.
bool StillNamed(int fd, const std::string& path) {
    struct stat byFd {};
    struct stat byName {};
    if (fstat(fd, &byFd) != 0 || stat(path.c_str(), &byName) != 0) {
        return false;
    }
    return byFd.st_dev == byName.st_dev && byFd.st_ino == byName.st_ino;
}

}  // namespace

SharedFile& SharedFile::operator=(SharedFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void SharedFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

SharedOpenResult OpenShared(const std::string& path, FileAccess access, FileShare share,
                            FileDisposition disposition) {
    SharedOpenResult result;
    if (path.empty()) {
        result.error = FileOpenError::kNotFound;
        return result;
    }
    // O_NONBLOCK keeps a FIFO under a file's name from blocking the open; it is refused below.
    int flags = (access == FileAccess::kRead ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NONBLOCK;
    switch (disposition) {
        case FileDisposition::kOpenExisting:
            break;
        case FileDisposition::kOpenAlways:
        case FileDisposition::kCreateAlways:
            flags |= O_CREAT;
            break;
        case FileDisposition::kCreateNew:
            flags |= O_CREAT | O_EXCL;
            break;
    }
    int fd = ::open(path.c_str(), flags, 0664);
    if (fd < 0) {
        result.error = ErrorFromErrno(errno);
        return result;
    }
    SharedFile file(fd);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result.error = FileOpenError::kOther;
        return result;
    }
    LockKind lock = LockFor(access, share);
    if (lock != LockKind::kNone) {
        int op = (lock == LockKind::kShared ? LOCK_SH : LOCK_EX) | LOCK_NB;
        int rc;
        do {
            rc = flock(fd, op);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            result.error = ErrorFromErrno(errno);
            return result;
        }
        if (!StillNamed(fd, path)) {
            // Deleted (and perhaps created anew) while we were locking it.
            result.error = FileOpenError::kSharingViolation;
            return result;
        }
    }
    // Emptied only now that the lock is held: a writer that filled it meanwhile is not ignored.
    if (disposition == FileDisposition::kCreateAlways && ftruncate(fd, 0) != 0) {
        result.error = FileOpenError::kOther;
        return result;
    }
    result.file = std::move(file);
    return result;
}

DeleteResult DeleteShared(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return DeleteResult::kMissing;
        }
        if (errno == ELOOP) {
            // A symbolic link: remove the link itself, nobody can hold a lock on it.
            return ::unlink(path.c_str()) == 0 ? DeleteResult::kDeleted : DeleteResult::kFailed;
        }
        return DeleteResult::kFailed;
    }
    SharedFile file(fd);
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        return DeleteResult::kFailed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK ? DeleteResult::kInUse : DeleteResult::kFailed;
    }
    if (!StillNamed(fd, path)) {
        // Someone else deleted it meanwhile, and may have created a new file under the name.
        struct stat now {};
        return stat(path.c_str(), &now) != 0 && errno == ENOENT ? DeleteResult::kMissing
                                                                : DeleteResult::kInUse;
    }
    if (::unlink(path.c_str()) != 0) {
        return errno == ENOENT ? DeleteResult::kMissing : DeleteResult::kFailed;
    }
    return DeleteResult::kDeleted;
}

}  // namespace platform
