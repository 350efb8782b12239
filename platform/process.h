// Starting other programs: always posix_spawn with an argument vector, never a shell, so that no
// file name can become a command.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Starts argv[0] (looked up on PATH when it has no "/") with `argv` and does not wait for it; the
// child is reaped in the background. False when it could not be started (empty vector, program
// not found, no resources).
bool StartDetached(const std::vector<std::string>& argv);

// Opens `path` with the program the desktop associates with it (xdg-open). Does not wait.
bool OpenWithAssociatedProgram(const std::string& path);

}  // namespace platform
