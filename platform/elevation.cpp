// The elevated re-run of platform/elevation.h.
#include "platform/elevation.h"

#include <sys/wait.h>

#include "platform/spawn.h"

namespace platform {

bool ElevationAvailable() {
    return !FindOnPath("pkexec").empty();
}

bool RunElevated(const std::string& argument, uint32_t timeoutMs, bool* finished, int* exitStatus) {
    if (finished) {
        *finished = false;
    }
    if (exitStatus) {
        *exitStatus = -1;
    }
    std::string pkexec = FindOnPath("pkexec");
    std::string self = OwnExecutablePath();
    if (pkexec.empty() || self.empty()) {
        return false;
    }
    pid_t pid = SpawnChild({pkexec, self, argument}, SpawnOptions{});
    if (pid < 0) {
        return false;
    }
    int status = 0;
    if (!WaitChild(pid, timeoutMs, &status)) {
        ReapChildLater(pid);
        return true;
    }
    if (finished) {
        *finished = true;
    }
    if (exitStatus && status != -1 && WIFEXITED(status)) {
        *exitStatus = WEXITSTATUS(status);
    }
    return true;
}

}  // namespace platform
