// Starting and waiting for child programs: posix_spawn with an argument vector, never a shell, so
// that no file name or value can become a command. Used by the service manager (systemctl, the
// supervised service), the elevated re-run and the firewall helper.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct SpawnOptions {
    bool searchPath = false;  // look argv[0] up on PATH when it has no "/"
    bool newSession = false;  // the child leads a session (and process group) of its own
    int outputFd = -1;        // standard output and error go here; -1 means /dev/null
    std::string directory;    // working directory of the child; empty keeps ours
};

// Starts `argv` with standard input from /dev/null and no other descriptor of ours. Returns the
// process id, or -1 with `*error` (when given) set to the errno of the failure (program missing
// or not executable, empty vector, no resources).
pid_t SpawnChild(const std::vector<std::string>& argv, const SpawnOptions& options,
                 int* error = nullptr);

// Waits for a child of ours to end, at most `timeoutMs` on the injectable clock. Each slice also
// yields a little real time, so that a real child makes progress while the clock is virtual.
// True with `*status` (waitpid form) when it ended; false when it is still running.
bool WaitChild(pid_t pid, uint32_t timeoutMs, int* status = nullptr);

// Leaves a child of ours to a background reaper, so that it never lingers as a zombie.
void ReapChildLater(pid_t pid);

// Runs a program to its end and collects what it writes to standard output and error. The wait is
// bounded by `timeoutMs` of real time (a hung child is killed). Returns the exit status, or -1 with
// `*error` set when it could not be started or was killed.
int RunCaptured(const std::vector<std::string>& argv, const SpawnOptions& options,
                uint32_t timeoutMs, std::string* output, int* error = nullptr);

// The full path of an executable file `name` in the directories of PATH; "" when there is none.
std::string FindOnPath(const std::string& name);

// The path of the running executable (from /proc/self/exe); "" when it cannot be read.
std::string OwnExecutablePath();

}  // namespace platform
