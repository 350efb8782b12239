// The user file: the format (header plus sorted 522-byte records) and the handle-based C calls.
//
// Readers take no lock: every change writes a new file beside the old one and renames it over,
// so a reader sees the old or the new file, whole. Writers take an exclusive flock on the file,
// re-read it under the lock when it changed since they last looked, apply their change and rename
// the result over it, so two processes adding users at once both keep theirs. Each open handle
// keeps the parsed records of the file as last seen (shared between handles of one process) and
// a descriptor of that file, which keeps its inode from being reused: a stat that shows the same
// device, inode, size and times therefore proves the copy is current.
#include "libs/zozeziv/user_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "libs/zozeziv/zozeziv.h"
#include "platform/clock.h"
#include "platform/fd_io.h"
#include "platform/file_id.h"

namespace zozeziv {

namespace {

unsigned char Lower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c;
}

std::uint32_t Le32(const char* p) {
    auto b = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
           std::uint32_t{b[3]} << 24;
}

void PutLe(std::string& out, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>(v >> (8 * i)));
    }
}

bool NameLess(const UserRecord& a, const UserRecord& b) {
    return CompareNames(UserName(a), UserName(b)) < 0;
}

template <std::size_t N>
bool Terminate(char (&field)[N]) {
    std::string_view text = FieldText(field);
    bool changed = text.size() == N;
    std::size_t n = text.size() < N ? text.size() : N - 1;
    for (std::size_t i = n; i < N; ++i) {
        changed = changed || field[i] != '\0';
        field[i] = '\0';
    }
    return changed;
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = Lower(static_cast<unsigned char>(a[i]));
        unsigned char y = Lower(static_cast<unsigned char>(b[i]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool NameStartsWith(std::string_view name, std::string_view prefix) {
    return name.size() >= prefix.size() && CompareNames(name.substr(0, prefix.size()), prefix) == 0;
}

bool NormalizeRecord(UserRecord& r) {
    bool changed = Terminate(r.userName);
    changed = Terminate(r.password) || changed;
    changed = Terminate(r.fullName) || changed;
    changed = Terminate(r.restrictIp) || changed;
    changed = Terminate(r.forcedSender) || changed;
    changed = Terminate(r.speedLimit) || changed;
    return changed;
}

UserFileImage ParseUserFile(std::string_view bytes) {
    UserFileImage image;
    if (bytes.empty()) {
        return image;
    }
    if (bytes.size() < 24 || std::memcmp(bytes.data(), kUserFileMagic, 8) != 0) {
        image.state = UserFileState::kForeign;
        return image;
    }
    std::uint32_t version = Le32(bytes.data() + 8);
    std::uint32_t headerSize = Le32(bytes.data() + 12);
    std::uint32_t recordSize = Le32(bytes.data() + 16);
    std::uint32_t count = Le32(bytes.data() + 20);
    bool known = version == kUserFileVersion && headerSize == kUserFileHeaderSize;
    bool later = version > kUserFileVersion && headerSize >= 32;
    if ((!known && !later) || recordSize != USER_RECORD_SIZE || headerSize > bytes.size()) {
        image.state = UserFileState::kForeign;
        return image;
    }
    if (headerSize >= 32) {
        image.serial =
            std::uint64_t{Le32(bytes.data() + 24)} | std::uint64_t{Le32(bytes.data() + 28)} << 32;
    }
    std::size_t body = bytes.size() - headerSize;
    std::size_t whole = body / USER_RECORD_SIZE;
    std::size_t n = std::min<std::size_t>(count, whole);
    bool damaged = whole != count || body % USER_RECORD_SIZE != 0;
    image.records.resize(n);
    if (n > 0) {
        std::memcpy(image.records.data(), bytes.data() + headerSize, n * USER_RECORD_SIZE);
    }
    bool ordered = true;
    for (std::size_t i = 0; i < n; ++i) {
        NormalizeRecord(image.records[i]);
        if (image.records[i].userName[0] == '\0' ||
            (i > 0 && !NameLess(image.records[i - 1], image.records[i]))) {
            ordered = false;
        }
    }
    if (!ordered) {
        // Not as we write it: keep the first record of each name, in name order, and drop records
        // without a name, which no call could reach.
        std::erase_if(image.records, [](const UserRecord& r) { return r.userName[0] == '\0'; });
        std::stable_sort(image.records.begin(), image.records.end(), NameLess);
        auto last = std::unique(image.records.begin(), image.records.end(),
                                [](const UserRecord& a, const UserRecord& b) {
                                    return CompareNames(UserName(a), UserName(b)) == 0;
                                });
        image.records.erase(last, image.records.end());
        damaged = true;
    }
    if (later) {
        image.state = UserFileState::kNewer;
    } else if (damaged) {
        image.state = UserFileState::kDamaged;
    }
    return image;
}

std::string SerializeUserFile(const std::vector<UserRecord>& records, std::uint64_t serial) {
    std::string out;
    out.reserve(kUserFileHeaderSize + records.size() * USER_RECORD_SIZE);
    out.append(kUserFileMagic, 8);
    PutLe(out, kUserFileVersion, 4);
    PutLe(out, kUserFileHeaderSize, 4);
    PutLe(out, USER_RECORD_SIZE, 4);
    PutLe(out, records.size(), 4);
    PutLe(out, serial, 8);
    out.resize(kUserFileHeaderSize, '\0');
    if (!records.empty()) {
        out.append(reinterpret_cast<const char*>(records.data()),
                   records.size() * USER_RECORD_SIZE);
    }
    return out;
}

std::string UserFilePath() {
    char dir[ZOZEZIV_MAX_PATH];
    GetProgramDataDirectory(dir);
    return *dir ? std::string(dir) + ZOZEZIV_USER_FILE : std::string{};
}

namespace {

using platform::FileId;
using platform::FileIdOf;

// The parsed file as one process last saw it, with a descriptor that pins its inode.
struct Snapshot {
    FileId id;
    int fd = -1;
    UserFileImage image;
    Snapshot() = default;
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;
    ~Snapshot() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};
using SnapshotPtr = std::shared_ptr<const Snapshot>;

struct Handle {
    std::string path;
    bool writable = false;
    SnapshotPtr snap;
    SnapshotPtr* latest = nullptr;  // this path's entry of Latest(); entries are never erased
    bool checked = false;           // the file on disk was looked at during tick `checkedTick`
    std::uint64_t checkedTick = 0;
};

std::mutex g_mutex;  // guards everything below; every call holds it throughout
std::uint32_t g_nextHandle = 1;

std::unordered_map<std::uint32_t, Handle>& Handles() {
    static auto* handles = new std::unordered_map<std::uint32_t, Handle>;
    return *handles;
}
// The latest snapshot of each path, so that handles of one process share one copy.
std::unordered_map<std::string, SnapshotPtr>& Latest() {
    static auto* latest = new std::unordered_map<std::string, SnapshotPtr>;
    return *latest;
}

// The whole file from its start.
bool ReadAll(int fd, std::string* out) {
    out->clear();
    return ::lseek(fd, 0, SEEK_SET) == 0 && platform::ReadAllFd(fd, out);
}

// Parses the open file `fd` into a snapshot that keeps `fd` (taking it over, even on failure).
SnapshotPtr SnapshotOf(int fd) {
    auto snap = std::make_shared<Snapshot>();
    snap->fd = fd;
    struct stat st;
    std::string bytes;
    if (::fstat(fd, &st) == 0) {
        snap->id = FileIdOf(st);
    }
    if (!snap->id.exists || !S_ISREG(st.st_mode) || !ReadAll(fd, &bytes)) {
        snap->image.state = UserFileState::kForeign;
        return snap;
    }
    snap->image = ParseUserFile(bytes);
    return snap;
}

const SnapshotPtr& MissingFile() {
    static const auto* missing = new SnapshotPtr(std::make_shared<Snapshot>());
    return *missing;
}

// The snapshot of `path` as it is on disk now, re-read only when it changed; it also becomes the
// latest snapshot of the path that every handle of this process takes up.
SnapshotPtr Current(const std::string& path, const SnapshotPtr& have) {
    SnapshotPtr& latest = Latest()[path];
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        latest = MissingFile();
        return latest;
    }
    FileId id = FileIdOf(st);
    if (have && have->id == id) {
        latest = have;
        return latest;
    }
    if (latest && latest->id == id) {
        return latest;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    latest = fd < 0 ? MissingFile() : SnapshotOf(fd);
    return latest;
}

// The handle with its snapshot brought up to date. A stat is a system call, which costs more than
// the rest of a record read together, so the file on disk is looked at once per millisecond of the
// tick count at most; a change made through any handle of this process is seen at once.
Handle* Find(std::uint32_t handle) {
    auto it = Handles().find(handle);
    if (it == Handles().end()) {
        return nullptr;
    }
    Handle& h = it->second;
    if (*h.latest && *h.latest != h.snap) {
        h.snap = *h.latest;
    }
    std::uint64_t now = platform::TickMs();
    if (!h.checked || now != h.checkedTick) {
        h.snap = Current(h.path, h.snap);
        h.checked = true;
        h.checkedTick = now;
    }
    return &h;
}

// Takes the writers' lock on the file as it is named now, creating it when missing; after waiting
// it checks that nobody renamed another file over it meanwhile.
int LockForWrite(const std::string& path) {
    for (;;) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0664);
        if (fd < 0) {
            return -1;
        }
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        struct stat locked, named;
        if (rc == 0 && ::fstat(fd, &locked) == 0 && ::stat(path.c_str(), &named) == 0 &&
            named.st_ino == locked.st_ino && named.st_dev == locked.st_dev) {
            return fd;
        }
        ::close(fd);
        if (rc != 0) {
            return -1;
        }
    }
}

// Links the damaged file's current content to a free name beside it, so that a rewrite never
// destroys bytes we could not read. False when no copy could be kept.
bool KeepDamagedCopy(const std::string& path) {
    for (int i = 0; i < 100; ++i) {
        std::string name = path + ".damaged" + (i ? "." + std::to_string(i) : std::string{});
        if (::link(path.c_str(), name.c_str()) == 0) {
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

// A change to the records: returns false to leave the file as it is.
using Change = std::function<bool(std::vector<UserRecord>&)>;

// Applies `change` to the file under the writers' lock and replaces the file with the result.
// `writeEmpty` also writes a file that is empty on disk (giving it its header). Fails for files
// we do not write (foreign, newer format) and when the file cannot be replaced.
bool Modify(Handle& h, const Change& change, bool writeEmpty = false) {
    int lockFd = LockForWrite(h.path);
    if (lockFd < 0) {
        return false;
    }
    bool ok = false;
    std::string tmp;
    int tfd = -1;
    do {
        struct stat st;
        if (::fstat(lockFd, &st) != 0) {
            break;
        }
        SnapshotPtr snap = h.snap;
        if (!snap || snap->id != FileIdOf(st)) {
            int fd = ::dup(lockFd);
            if (fd < 0) {
                break;
            }
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            snap = SnapshotOf(fd);
            Latest()[h.path] = snap;
        }
        h.snap = snap;
        const UserFileImage& image = snap->image;
        if (image.state == UserFileState::kForeign || image.state == UserFileState::kNewer) {
            break;
        }
        std::vector<UserRecord> records = image.records;
        bool changed = change(records);
        if (!changed && !(writeEmpty && st.st_size == 0)) {
            ok = writeEmpty;  // opening needs no write; a change that changed nothing failed
            break;
        }
        if (image.state == UserFileState::kDamaged && !KeepDamagedCopy(h.path)) {
            break;
        }
        std::string bytes = SerializeUserFile(records, image.serial + 1);
        std::size_t slash = h.path.rfind('/');
        std::string dir = slash == std::string::npos ? "" : h.path.substr(0, slash + 1);
        std::string base = slash == std::string::npos ? h.path : h.path.substr(slash + 1);
        tmp = dir + "." + base + ".XXXXXX";
        tfd = ::mkostemp(tmp.data(), O_CLOEXEC);
        if (tfd < 0) {
            tmp.clear();
            break;
        }
        if (!platform::WriteAllFd(tfd, bytes) || ::fchmod(tfd, st.st_mode & 07777) != 0) {
            break;
        }
        if (::fchown(tfd, st.st_uid, st.st_gid) != 0) {
            // Only root may give the file away; keeping our own ownership is fine otherwise.
        }
        if (::fsync(tfd) != 0 || ::rename(tmp.c_str(), h.path.c_str()) != 0) {
            break;
        }
        tmp.clear();
        auto fresh = std::make_shared<Snapshot>();
        struct stat written;
        if (::fstat(tfd, &written) == 0) {
            fresh->id = FileIdOf(written);
        }
        fresh->fd = tfd;
        tfd = -1;
        fresh->image.serial = image.serial + 1;
        fresh->image.records = std::move(records);
        h.snap = fresh;
        Latest()[h.path] = fresh;
        ok = true;
    } while (false);
    if (tfd >= 0) {
        ::close(tfd);
    }
    if (!tmp.empty()) {
        ::unlink(tmp.c_str());
    }
    // Explicitly: a snapshot may hold a duplicate of this descriptor, which would keep the lock.
    ::flock(lockFd, LOCK_UN);
    ::close(lockFd);
    return ok;
}

const std::vector<UserRecord>& Records(const Handle& h) {
    return h.snap->image.records;
}

// Position of the first record whose name is not less than `name`.
std::vector<UserRecord>::const_iterator LowerBound(const std::vector<UserRecord>& records,
                                                   std::string_view name) {
    return std::lower_bound(
        records.begin(), records.end(), name,
        [](const UserRecord& r, std::string_view n) { return CompareNames(UserName(r), n) < 0; });
}

UserRecord FromBytes(const char* bytes) {
    UserRecord r;
    std::memcpy(&r, bytes, sizeof r);
    NormalizeRecord(r);
    return r;
}

}  // namespace

}  // namespace zozeziv

using namespace zozeziv;

extern "C" {

int SMSOpenUserFile(uint32_t* handle, int mode) {
    if (!handle) {
        return 0;
    }
    *handle = 0;
    Handle h;
    h.path = UserFilePath();
    h.writable = mode == ZOZEZIV_USERS_READWRITE;
    if (h.path.empty()) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    if (h.writable) {
        if (!Modify(
                h, [](std::vector<UserRecord>&) { return false; }, /*writeEmpty=*/true)) {
            return 0;
        }
    }
    h.latest = &Latest()[h.path];
    h.snap = Current(h.path, h.snap);
    h.checked = true;
    h.checkedTick = platform::TickMs();
    if (h.snap->image.state == UserFileState::kForeign) {
        return 0;
    }
    std::uint32_t id = g_nextHandle;
    while (id == 0 || Handles().count(id)) {
        ++id;
    }
    g_nextHandle = id + 1;
    Handles().emplace(id, std::move(h));
    *handle = id;
    return 1;
}

void SMSCloseUserFile(uint32_t handle) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Handles().erase(handle);
}

int SMSGetRecordCount(uint32_t handle) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Handle* h = Find(handle);
    return h ? static_cast<int>(Records(*h).size()) : 0;
}

int SMSGetUserRecord(uint32_t handle, int index, char* record) {
    if (!record || index < 0) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    Handle* h = Find(handle);
    if (!h || static_cast<std::size_t>(index) >= Records(*h).size()) {
        return 0;
    }
    std::memcpy(record, &Records(*h)[static_cast<std::size_t>(index)], USER_RECORD_SIZE);
    return 1;
}

int SMSFindUserRecord(uint32_t handle, const char* name, char* record) {
    if (!name || !record || !*name) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    Handle* h = Find(handle);
    if (!h) {
        return 0;
    }
    std::string_view n(name);
    auto it = LowerBound(Records(*h), n);
    if (it == Records(*h).end() || CompareNames(UserName(*it), n) != 0) {
        return 0;
    }
    std::memcpy(record, &*it, USER_RECORD_SIZE);
    return 1;
}

int SMSFindFirstUserRecord(uint32_t handle, const char* text, char* record) {
    if (!record) {
        return -1;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    Handle* h = Find(handle);
    if (!h) {
        return -1;
    }
    std::string_view prefix(text ? text : "");
    auto it = LowerBound(Records(*h), prefix);
    if (it == Records(*h).end() || !NameStartsWith(UserName(*it), prefix)) {
        return -1;
    }
    std::memcpy(record, &*it, USER_RECORD_SIZE);
    return static_cast<int>(it - Records(*h).begin());
}

int SMSAddUser(uint32_t handle, const char* record) {
    if (!record) {
        return 0;
    }
    UserRecord add = FromBytes(record);
    if (UserName(add).empty()) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    Handle* h = Find(handle);
    if (!h || !h->writable) {
        return 0;
    }
    return Modify(*h,
                  [&add](std::vector<UserRecord>& records) {
                      auto it = LowerBound(records, UserName(add));
                      if (it != records.end() && CompareNames(UserName(*it), UserName(add)) == 0) {
                          records[static_cast<std::size_t>(it - records.begin())] = add;
                      } else {
                          records.insert(it, add);
                      }
                      return true;
                  })
               ? 1
               : 0;
}

int SMSDeleteUser(uint32_t handle, const char* record) {
    if (!record) {
        return 0;
    }
    UserRecord del = FromBytes(record);
    if (UserName(del).empty()) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    Handle* h = Find(handle);
    if (!h || !h->writable) {
        return 0;
    }
    return Modify(*h,
                  [&del](std::vector<UserRecord>& records) {
                      auto it = LowerBound(records, UserName(del));
                      if (it == records.end() || CompareNames(UserName(*it), UserName(del)) != 0) {
                          return false;
                      }
                      records.erase(it);
                      return true;
                  })
               ? 1
               : 0;
}

}  // extern "C"
