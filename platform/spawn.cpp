// Child programs behind platform/spawn.h: posix_spawn, bounded waits and a background reaper.
#include "platform/spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "platform/clock.h"

extern char** environ;

namespace platform {
namespace {

// A short pause of real time, whatever clock is installed: a real child needs real time to end.
void RealPause(uint32_t ms) {
    SystemTime().sleepMs(SystemTime().ctx, ms);
}

uint64_t RealTick() {
    return SystemTime().tickMs(SystemTime().ctx);
}

}  // namespace

pid_t SpawnChild(const std::vector<std::string>& argv, const SpawnOptions& options, int* error) {
    if (argv.empty() || argv[0].empty()) {
        if (error) {
            *error = EINVAL;
        }
        return -1;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (options.outputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, options.outputFd, 1);
        posix_spawn_file_actions_adddup2(&actions, options.outputFd, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    if (!options.directory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.directory.c_str());
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    // The child starts with every signal at its default and none blocked, whatever we ignore.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (options.newSession) {
        flags |= POSIX_SPAWN_SETSID;
    }
    posix_spawnattr_setflags(&attr, flags);

    pid_t pid = -1;
    int rc = options.searchPath ? posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ)
                                : posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        if (error) {
            *error = rc;
        }
        return -1;
    }
    return pid;
}

bool WaitChild(pid_t pid, uint32_t timeoutMs, int* status) {
    uint64_t start = TickMs();
    for (;;) {
        int st = 0;
        pid_t r = ::waitpid(pid, &st, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) {
            if (status) {
                *status = r == pid ? st : -1;
            }
            return true;
        }
        uint64_t elapsed = TickMs() - start;
        if (elapsed >= timeoutMs) {
            return false;
        }
        uint64_t slice = timeoutMs - elapsed < 50 ? timeoutMs - elapsed : 50;
        SleepMs(static_cast<uint32_t>(slice));
        RealPause(1);
    }
}

void ReapChildLater(pid_t pid) {
    if (pid <= 0) {
        return;
    }
    std::thread([pid] {
        int st;
        while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

int RunCaptured(const std::vector<std::string>& argv, const SpawnOptions& options,
                uint32_t timeoutMs, std::string* output, int* error) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        if (error) {
            *error = errno;
        }
        return -1;
    }
    SpawnOptions opts = options;
    opts.outputFd = fds[1];
    pid_t pid = SpawnChild(argv, opts, error);
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return -1;
    }
    uint64_t deadline = RealTick() + timeoutMs;
    std::string text;
    char buf[4096];
    for (;;) {
        uint64_t now = RealTick();
        if (now >= deadline) {
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        int n = ::poll(&p, 1, static_cast<int>(deadline - now));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        ssize_t got = ::read(fds[0], buf, sizeof buf);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        if (text.size() < 65536) {
            text.append(buf, static_cast<std::size_t>(got));
        }
    }
    ::close(fds[0]);
    int st = 0;
    for (;;) {
        pid_t r = ::waitpid(pid, &st, WNOHANG);
        if (r == pid) {
            break;
        }
        if (r < 0 && errno != EINTR) {
            st = -1;
            break;
        }
        if (RealTick() >= deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
            }
            if (error) {
                *error = ETIMEDOUT;
            }
            return -1;
        }
        RealPause(2);
    }
    if (output) {
        *output = std::move(text);
    }
    if (st == -1 || !WIFEXITED(st)) {
        if (error) {
            *error = ECHILD;
        }
        return -1;
    }
    return WEXITSTATUS(st);
}

std::string FindOnPath(const std::string& name) {
    if (name.empty() || name.find('/') != std::string::npos) {
        return {};
    }
    const char* env = std::getenv("PATH");
    std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    std::size_t begin = 0;
    for (;;) {
        std::size_t end = path.find(':', begin);
        std::string dir = path.substr(begin, end == std::string::npos ? end : end - begin);
        if (dir.empty()) {
            dir.push_back('.');  // an empty entry means the working directory
        }
        std::string candidate = dir + "/" + name;
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (end == std::string::npos) {
            return {};
        }
        begin = end + 1;
    }
}

std::string OwnExecutablePath() {
    std::string buf(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) {
        return {};
    }
    buf.resize(static_cast<std::size_t>(n));
    return buf;
}

}  // namespace platform
