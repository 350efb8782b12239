// The local service supervisor of platform/service_manager.h, for machines without systemd
// (containers, development, the demo, CI). Its registry is R/Services/NAME/ under the data root:
// "service.ini" holds the settings, "state.ini" the process it started (process id and the
// kernel's start time of that process, so a reused id is never taken for the service) and the
// moment a stop was asked for. The registry is never trusted alone: a query checks that the
// recorded process is alive and runs the registered executable, and clears a stale record.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/clock.h"
#include "platform/dirs.h"
#include "platform/ini.h"
#include "platform/service_manager.h"
#include "platform/spawn.h"

namespace platform {
namespace {

constexpr const char* kSettingsFile = "service.ini";
constexpr const char* kStateFile = "state.ini";
constexpr const char* kSection = "Service";
constexpr const char* kStateSection = "State";

bool ValidName(const std::string& service) {
    return !service.empty() && service.find('/') == std::string::npos && service != "." &&
           service != ".." && service.find('\0') == std::string::npos;
}

std::string ServiceDir(const std::string& service) {
    return LocalServiceRegistry() + service + "/";
}

void RealPause(uint32_t ms) {
    SystemTime().sleepMs(SystemTime().ctx, ms);
}

// An exclusive lock on the service's registry directory for one start, stop, query or delete,
// so that two consoles never start two processes for one service.
class DirLock {
  public:
    explicit DirLock(const std::string& dir)
        : fd_(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~DirLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    DirLock(const DirLock&) = delete;
    DirLock& operator=(const DirLock&) = delete;

  private:
    int fd_;
};

struct ProcessRecord {
    pid_t pid = 0;
    unsigned long long startTime = 0;
    long long stopRequested = 0;  // wall seconds; 0 = no stop asked for
};

long long ToNumber(const std::optional<std::string>& text) {
    if (!text || text->empty()) {
        return 0;
    }
    char* end = nullptr;
    long long v = std::strtoll(text->c_str(), &end, 10);
    return end && *end == '\0' && v > 0 ? v : 0;
}

ProcessRecord ReadRecord(const std::string& service) {
    std::string path = ServiceDir(service) + kStateFile;
    ProcessRecord r;
    long long pid = ToNumber(IniRead(path, kStateSection, "Pid"));
    r.pid = pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
    r.startTime =
        static_cast<unsigned long long>(ToNumber(IniRead(path, kStateSection, "StartTime")));
    r.stopRequested = ToNumber(IniRead(path, kStateSection, "StopRequested"));
    return r;
}

bool WriteRecord(const std::string& service, const ProcessRecord& r) {
    IniBatch batch;
    if (r.pid > 0) {
        batch.Set(kStateSection, "Pid", std::to_string(r.pid));
        batch.Set(kStateSection, "StartTime", std::to_string(r.startTime));
    } else {
        batch.DeleteKey(kStateSection, "Pid");
        batch.DeleteKey(kStateSection, "StartTime");
    }
    if (r.stopRequested > 0) {
        batch.Set(kStateSection, "StopRequested", std::to_string(r.stopRequested));
    } else {
        batch.DeleteKey(kStateSection, "StopRequested");
    }
    return IniApply(ServiceDir(service) + kStateFile, batch);
}

std::string RegisteredExecutable(const std::string& service) {
    return IniGetString(ServiceDir(service) + kSettingsFile, kSection, "Executable");
}

// State letter and start time (clock ticks since boot) from /proc/PID/stat; false when gone.
bool ReadProcStat(pid_t pid, char* state, unsigned long long* startTime) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!in || !std::getline(in, text)) {
        return false;
    }
    std::size_t paren = text.rfind(')');
    if (paren == std::string::npos) {
        return false;
    }
    std::istringstream fields(text.substr(paren + 1));
    std::string field;
    // Fields after the command: 3 state, ... 22 starttime.
    for (int index = 3; index <= 22 && fields >> field; ++index) {
        if (index == 3) {
            *state = field.empty() ? '?' : field[0];
        } else if (index == 22) {
            *startTime = std::strtoull(field.c_str(), nullptr, 10);
            return true;
        }
    }
    return false;
}

// Whether `r` names a live process that runs `executable`.
bool ProcessAlive(const ProcessRecord& r, const std::string& executable) {
    if (r.pid <= 0) {
        return false;
    }
    char state = '?';
    unsigned long long start = 0;
    if (!ReadProcStat(r.pid, &state, &start) || (r.startTime != 0 && start != r.startTime)) {
        return false;
    }
    if (state == 'Z' || state == 'X') {
        // The service ended. When we started it, it is our child: reap it (only it, since the
        // start time matched), so that it does not linger as a zombie.
        int status;
        if (r.startTime != 0) {
            ::waitpid(r.pid, &status, WNOHANG);
        }
        return false;
    }
    std::string link(4096, '\0');
    ssize_t n =
        ::readlink(("/proc/" + std::to_string(r.pid) + "/exe").c_str(), link.data(), link.size());
    if (n < 0) {
        // Another user's process: its start time matched, which is as far as we can see.
        return errno == EACCES || errno == EPERM;
    }
    link.resize(static_cast<std::size_t>(n));
    constexpr std::string_view kDeleted = " (deleted)";
    if (link.size() > kDeleted.size() &&
        link.compare(link.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
        link.resize(link.size() - kDeleted.size());
    }
    char resolved[PATH_MAX];
    std::string expected = ::realpath(executable.c_str(), resolved) ? resolved : executable;
    return link == expected || link == executable;
}

// Sends `sig` to the service's process group (it leads its own session), or to the process alone
// when it left that group.
bool SignalService(pid_t pid, int sig) {
    return ::kill(-pid, sig) == 0 || ::kill(pid, sig) == 0;
}

// Waits up to `ms` of real time, in short slices, for the process to end.
bool WaitGone(const ProcessRecord& r, const std::string& executable, uint32_t ms) {
    for (uint32_t waited = 0;; waited += 5) {
        if (!ProcessAlive(r, executable)) {
            return true;
        }
        if (waited >= ms) {
            return false;
        }
        RealPause(5);
    }
}

void Kill(const ProcessRecord& r, const std::string& executable) {
    SignalService(r.pid, SIGKILL);
    WaitGone(r, executable, 2000);
}

bool LcInstalled(const std::string& service) {
    return ValidName(service) && !RegisteredExecutable(service).empty();
}

uint32_t LcOpenManager() {
    std::string registry = LocalServiceRegistry();
    MakeDirectories(registry);
    return DirectoryWritable(registry) ? 0 : EACCES;
}

uint32_t LcOpenService(const std::string& service) {
    if (!LcInstalled(service)) {
        return ENOENT;
    }
    return DirectoryWritable(ServiceDir(service)) ? 0 : EACCES;
}

uint32_t WriteSettings(const ServiceSettings& settings) {
    IniBatch batch;
    batch.Set(kSection, "DisplayName", settings.displayName);
    batch.Set(kSection, "Executable", settings.executable);
    batch.Set(kSection, "StartType", "Automatic");
    if (!IniApply(ServiceDir(settings.name) + kSettingsFile, batch)) {
        return DirectoryWritable(ServiceDir(settings.name)) ? EIO : EACCES;
    }
    return 0;
}

uint32_t LcCreate(const ServiceSettings& settings) {
    if (!ValidName(settings.name) || settings.executable.empty()) {
        return EINVAL;
    }
    if (uint32_t rc = LcOpenManager()) {
        return rc;
    }
    if (LcInstalled(settings.name)) {
        return EEXIST;
    }
    std::string dir = ServiceDir(settings.name);
    if (::mkdir(dir.c_str(), 0775) != 0) {
        struct stat st;
        if (errno != EEXIST) {
            return static_cast<uint32_t>(errno);
        }
        if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            return ENOTDIR;
        }
    }
    return WriteSettings(settings);
}

uint32_t LcChange(const ServiceSettings& settings) {
    if (settings.executable.empty()) {
        return EINVAL;
    }
    if (uint32_t rc = LcOpenService(settings.name)) {
        return rc;
    }
    return WriteSettings(settings);
}

uint32_t LcStart(const std::string& service) {
    if (uint32_t rc = LcOpenService(service)) {
        return rc;
    }
    DirLock lock(ServiceDir(service));
    std::string executable = RegisteredExecutable(service);
    ProcessRecord r = ReadRecord(service);
    if (ProcessAlive(r, executable)) {
        // Running: nothing to do. Stopping: the stop runs its course and the start is refused,
        // rather than reported done for a process that is about to end.
        return r.stopRequested > 0 ? EBUSY : 0;
    }
    SpawnOptions options;
    options.newSession = true;
    options.directory = "/";
    int error = 0;
    pid_t pid = SpawnChild({executable}, options, &error);
    if (pid < 0) {
        // EACCES stands for missing rights; a file we may not execute is "not executable".
        return static_cast<uint32_t>(error == EACCES ? ENOEXEC : error);
    }
    ProcessRecord started;
    started.pid = pid;
    char state;
    ReadProcStat(pid, &state, &started.startTime);
    if (!WriteRecord(service, started)) {
        // A process the registry does not know could never be stopped: do not leave one.
        Kill(started, executable);
        return EACCES;
    }
    return 0;
}

uint32_t LcStop(const std::string& service) {
    if (uint32_t rc = LcOpenService(service)) {
        return rc;
    }
    DirLock lock(ServiceDir(service));
    std::string executable = RegisteredExecutable(service);
    ProcessRecord r = ReadRecord(service);
    if (!ProcessAlive(r, executable)) {
        return ESRCH;  // not running
    }
    if (r.stopRequested == 0) {
        r.stopRequested = static_cast<long long>(WallSeconds());
        if (r.stopRequested <= 0) {
            r.stopRequested = 1;
        }
        WriteRecord(service, r);
    }
    if (!SignalService(r.pid, SIGTERM)) {
        return errno == EPERM ? EACCES : static_cast<uint32_t>(errno);
    }
    // Most services end at once; give them a moment so the first query already sees it.
    WaitGone(r, executable, 200);
    return 0;
}

uint32_t LcRemove(const std::string& service) {
    if (uint32_t rc = LcOpenService(service)) {
        return rc;
    }
    std::string dir = ServiceDir(service);
    {
        DirLock lock(dir);
        ProcessRecord r = ReadRecord(service);
        std::string executable = RegisteredExecutable(service);
        if (ProcessAlive(r, executable)) {
            Kill(r, executable);
        }
        if (DIR* d = ::opendir(dir.c_str())) {
            while (dirent* e = ::readdir(d)) {
                std::string name = e->d_name;
                if (name != "." && name != "..") {
                    ::unlink((dir + name).c_str());
                }
            }
            ::closedir(d);
        }
    }
    if (::rmdir(dir.c_str()) != 0) {
        return static_cast<uint32_t>(errno);
    }
    return 0;
}

bool LcQuery(const std::string& service, ServiceState* state) {
    if (!LcInstalled(service)) {
        return false;
    }
    std::string dir = ServiceDir(service);
    DirLock lock(dir);
    std::string executable = RegisteredExecutable(service);
    ProcessRecord r = ReadRecord(service);
    bool alive = ProcessAlive(r, executable);
    if (alive && r.stopRequested > 0 &&
        static_cast<long long>(WallSeconds()) - r.stopRequested >= kLocalStopGraceSeconds) {
        Kill(r, executable);  // it ignored SIGTERM for the whole grace time
        alive = ProcessAlive(r, executable);
    }
    if (alive) {
        *state = r.stopRequested > 0 ? ServiceState::StopPending : ServiceState::Running;
        return true;
    }
    if (r.pid > 0 || r.stopRequested > 0) {
        WriteRecord(service, ProcessRecord{});  // a stale record; best effort without rights
    }
    *state = ServiceState::Stopped;
    return true;
}

const ServiceManager kLocal{"local",  LcOpenManager, LcOpenService, LcInstalled, LcCreate,
                            LcChange, LcStart,       LcStop,        LcRemove,    LcQuery};

}  // namespace

std::string LocalServiceRegistry() {
    return DataRoot() + "/Services/";
}

const ServiceManager& LocalServiceManager() {
    return kLocal;
}

}  // namespace platform
