// The desktop's own programs; see desktop.h.
#include "platform/desktop.h"

#include "platform/spawn.h"

namespace platform {

bool OpenWithAssociatedProgram(const std::string& path) {
    SpawnOptions options;
    options.searchPath = true;
    options.newSession = true;  // the viewer outlives nothing of ours and gets no signal of ours
    pid_t pid = SpawnChild({"xdg-open", path}, options);
    if (pid < 0) {
        return false;
    }
    ReapChildLater(pid);
    return true;
}

}  // namespace platform
