// Files opened with a sharing mode, and deletes that respect it. The console and the gateway
// service share counter files and queue files; both sides follow one rule, kept with advisory
// locks (flock), so that an update of a file by one process is never interleaved with another's:
//
//   - an open that writes and lets others only read (or nothing) takes an exclusive lock;
//   - an open that only reads and lets others only read (or nothing) takes a shared lock, so no
//     writer that denies sharing can come in meanwhile;
//   - an open that writes and lets others read and write takes a shared lock, so that a holder
//     that denied writing keeps the file to itself;
//   - an open that only reads and lets others read and write takes no lock at all;
//   - a delete first takes an exclusive lock; a file held by anyone with a lock is in use.
//
// Locks are never waited for: a lock held elsewhere makes the open fail as a sharing violation and
// the caller decides whether to try again. Locks belong to the open file, so two opens within one
// process conflict just as two processes do.
#pragma once

#include <string>

namespace platform {

enum class FileAccess { kRead, kReadWrite };
// What others may do while the file is open.
enum class FileShare { kNone, kRead, kReadWrite };
enum class FileDisposition {
    kOpenExisting,  // fail when missing
    kOpenAlways,    // create empty when missing
    kCreateAlways,  // create, or empty an existing file once it is locked
    kCreateNew,     // fail when it exists
};

enum class FileOpenError {
    kNone,
    kNotFound,          // the file (or a directory on its path) is missing
    kSharingViolation,  // another open holds a conflicting lock
    kExists,            // kCreateNew on an existing file
    kOther,             // rights, a directory in place of the file, no space ...
};

// An open file; closing it (or destroying the object) releases its lock.
class SharedFile {
  public:
    SharedFile() = default;
    explicit SharedFile(int fd) : fd_(fd) {}
    ~SharedFile() { Close(); }
    SharedFile(SharedFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    SharedFile& operator=(SharedFile&& other) noexcept;
    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void Close();

  private:
    int fd_ = -1;
};

struct SharedOpenResult {
    SharedFile file;
    FileOpenError error = FileOpenError::kNone;
    bool ok() const { return file.IsOpen(); }
};

// Opens `path` by the rule above. New files get mode 0664 (less the umask). After locking, the
// name is checked to still lead to the locked file, so a file deleted and created anew by another
// process in between is never updated through a stale handle (that case reports a sharing
// violation, and a retry opens the new file).
SharedOpenResult OpenShared(const std::string& path, FileAccess access, FileShare share,
                            FileDisposition disposition);

enum class DeleteResult { kDeleted, kMissing, kInUse, kFailed };

// Deletes `path` unless someone holds it with a lock; a directory is never deleted here.
DeleteResult DeleteShared(const std::string& path);

}  // namespace platform
