// Program start-up over posix_spawn; see process.h.
#include "platform/process.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace platform {

bool StartDetached(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0].empty()) {
        return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) {
        return false;
    }
    // Nobody waits for the program, but it must not stay a zombie once it ends.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

bool OpenWithAssociatedProgram(const std::string& path) {
    return StartDetached({"xdg-open", path});
}

}  // namespace platform
